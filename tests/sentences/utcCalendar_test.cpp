#include "sentences/utcCalendar.h"

#include <gtest/gtest.h>

#include <ctime>
#include <random>

namespace {

TEST(BreakDownUtc, KnownInstants) {
    struct Case {
        std::int64_t seconds;
        std::int64_t year;
        int month, day, yearDay, weekDay, hour, minute, second;
    };
    const Case cases[] = {
        {0, 1970, 1, 1, 0, 4, 0, 0, 0},
        {1709626026, 2024, 3, 5, 64, 2, 8, 7, 6},
        {1735689599, 2024, 12, 31, 365, 2, 23, 59, 59},
        {1735689600, 2025, 1, 1, 0, 3, 0, 0, 0},
        {1703980800, 2023, 12, 31, 364, 0, 0, 0, 0},
        {-1, 1969, 12, 31, 364, 3, 23, 59, 59},
        {-315619200, 1960, 1, 1, 0, 5, 0, 0, 0},
        {951782400, 2000, 2, 29, 59, 2, 0, 0, 0},
        {253402300799, 9999, 12, 31, 364, 5, 23, 59, 59},
    };
    for (const auto &c : cases) {
        utcTime t = breakDownUtc(c.seconds);
        EXPECT_EQ(t.year, c.year) << c.seconds;
        EXPECT_EQ(t.month, c.month) << c.seconds;
        EXPECT_EQ(t.day, c.day) << c.seconds;
        EXPECT_EQ(t.yearDay, c.yearDay) << c.seconds;
        EXPECT_EQ(t.weekDay, c.weekDay) << c.seconds;
        EXPECT_EQ(t.hour, c.hour) << c.seconds;
        EXPECT_EQ(t.minute, c.minute) << c.seconds;
        EXPECT_EQ(t.second, c.second) << c.seconds;
    }
}

TEST(BreakDownUtc, AgreesWithGmtimeAcrossCenturies) {
    std::mt19937_64 rng(7);
    std::uniform_int_distribution<std::int64_t> any(-62135596800, 253402300799);  // years 1 to 9999
    for (int i = 0; i < 100000; ++i) {
        std::int64_t s = any(rng);
        std::time_t tt = static_cast<std::time_t>(s);
        std::tm tm{};
        ASSERT_NE(gmtime_r(&tt, &tm), nullptr);
        utcTime t = breakDownUtc(s);
        ASSERT_EQ(t.year, tm.tm_year + 1900) << s;
        ASSERT_EQ(t.month, tm.tm_mon + 1) << s;
        ASSERT_EQ(t.day, tm.tm_mday) << s;
        ASSERT_EQ(t.yearDay, tm.tm_yday) << s;
        ASSERT_EQ(t.weekDay, tm.tm_wday) << s;
        ASSERT_EQ(t.hour * 3600 + t.minute * 60 + t.second,
                  tm.tm_hour * 3600 + tm.tm_min * 60 + tm.tm_sec)
            << s;
        ASSERT_EQ(daysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 +
                      t.second,
                  s);
    }
}

TEST(BreakDownUtc, HoldsTheExtremesOfItsRange) {
    // Far beyond any real clock, but a count of this type must still break down without fault.
    utcTime high = breakDownUtc(INT64_MAX);
    utcTime low = breakDownUtc(INT64_MIN);
    EXPECT_GT(high.year, 292277000000);
    EXPECT_LT(low.year, -292277000000);
    EXPECT_GE(low.weekDay, 0);
    EXPECT_LT(low.weekDay, 7);
}

}  // namespace
