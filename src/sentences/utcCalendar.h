// The proleptic Gregorian calendar in UTC, for any 64-bit count of seconds: no time zone, no
// table, no failure for years the C library's broken-down time cannot hold.
#pragma once

#include <cstdint>

// Days from 1970-01-01 to the given date; month 1 to 12, day 1 to 31.
std::int64_t daysFromCivil(std::int64_t year, int month, int day);

struct utcTime {
    std::int64_t year;
    int month;    // 1 to 12
    int day;      // 1 to 31
    int yearDay;  // 0 for 1 January
    int weekDay;  // 0 for Sunday
    int hour;
    int minute;
    int second;
};

// Breaks seconds since the epoch into UTC calendar fields, as gmtime does.
utcTime breakDownUtc(std::int64_t seconds);
