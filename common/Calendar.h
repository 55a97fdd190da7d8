#pragma once

#include <cstdint>

// Dates of the proleptic Gregorian calendar, the calendar of HTTP and mail dates and of ISO
// 8601. Months count from 1 (January), days of the month from 1. Stateless; any thread.

// The number of days from 1970-01-01 to the given date (negative before it).
std::int64_t DaysFrom1970(std::int64_t year, int month, int day);

// The day of the week of the given date, 0 for Sunday to 6 for Saturday.
int DayOfWeek(std::int64_t year, int month, int day);

// The number of days of `month` (1 to 12) in `year`.
int DaysInMonth(std::int64_t year, int month);
