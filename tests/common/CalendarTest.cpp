#include "common/Calendar.h"

#include <gtest/gtest.h>

TEST(Calendar, CountsDaysAndWeekdaysAcrossTheCenturies)
{
    const struct
    {
        std::int64_t year;
        int month;
        int day;
        std::int64_t days;
        int weekday;
    } cases[] = {
        {1970, 1, 1, 0, 4},      {1969, 12, 31, -1, 3},  {1994, 11, 6, 9075, 0},
        {2000, 2, 29, 11016, 2}, {2000, 3, 1, 11017, 3}, {2038, 1, 19, 24855, 2},
        {0, 1, 1, -719528, 6},   {0, 2, 29, -719469, 2}, {9999, 12, 31, 2932896, 5},
    };
    for (const auto& date : cases) {
        EXPECT_EQ(DaysFrom1970(date.year, date.month, date.day), date.days) << date.year;
        EXPECT_EQ(DayOfWeek(date.year, date.month, date.day), date.weekday) << date.year;
    }
}

TEST(Calendar, GivesFebruaryItsLeapDayByTheGregorianRule)
{
    EXPECT_EQ(DaysInMonth(2024, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 2), 28);
    EXPECT_EQ(DaysInMonth(1900, 2), 28);
    EXPECT_EQ(DaysInMonth(2000, 2), 29);
    EXPECT_EQ(DaysInMonth(0, 2), 29);
    EXPECT_EQ(DaysInMonth(2023, 4), 30);
    EXPECT_EQ(DaysInMonth(2023, 12), 31);
}
