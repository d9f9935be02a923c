#include "utcCalendar.h"

namespace {

// Division rounding toward minus infinity, so that times before 1970 fall on the right day.
std::int64_t floorDiv(std::int64_t a, std::int64_t b) {
    std::int64_t q = a / b;
    return (a % b != 0 && (a < 0) != (b < 0)) ? q - 1 : q;
}

}  // namespace

// Eras of 400 years repeat exactly, so the date is placed within its era (years starting on
// 1 March, which puts the leap day last) and the era counted separately.
std::int64_t daysFromCivil(std::int64_t year, int month, int day) {
    year -= month <= 2;
    std::int64_t era = floorDiv(year, 400);
    std::int64_t yoe = year - era * 400;
    std::int64_t doy = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

utcTime breakDownUtc(std::int64_t seconds) {
    std::int64_t days = floorDiv(seconds, 86400);
    std::int64_t secOfDay = seconds % 86400;  // not seconds - days * 86400: that can overflow
    if (secOfDay < 0) secOfDay += 86400;

    std::int64_t z = days + 719468;
    std::int64_t era = floorDiv(z, 146097);
    std::int64_t doe = z - era * 146097;
    std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    std::int64_t mp = (5 * doy + 2) / 153;

    utcTime t{};
    t.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    t.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    t.year = yoe + era * 400 + (t.month <= 2);
    t.yearDay = static_cast<int>(days - daysFromCivil(t.year, 1, 1));
    t.weekDay =
        static_cast<int>(days + 4 - floorDiv(days + 4, 7) * 7);  // 1970-01-01 was a Thursday
    t.hour = static_cast<int>(secOfDay / 3600);
    t.minute = static_cast<int>(secOfDay / 60 % 60);
    t.second = static_cast<int>(secOfDay % 60);
    return t;
}
