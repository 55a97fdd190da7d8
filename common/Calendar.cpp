#include "common/Calendar.h"

namespace {

bool IsLeapYear(std::int64_t year)
{
    return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

} // namespace

std::int64_t DaysFrom1970(std::int64_t year, int month, int day)
{
    // Counted in eras of 400 years (146097 days) from 1 March of year 0, so that the leap day
    // ends a year; 1970-01-01 is day 719468 of that count.
    year -= month <= 2 ? 1 : 0;
    const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
    const std::int64_t yearOfEra = year - era * 400;
    const std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    const std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

int DayOfWeek(std::int64_t year, int month, int day)
{
    // 1970-01-01 was a Thursday.
    return static_cast<int>((DaysFrom1970(year, month, day) % 7 + 11) % 7);
}

int DaysInMonth(std::int64_t year, int month)
{
    static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return month == 2 && IsLeapYear(year) ? 29 : kDays[month - 1];
}
