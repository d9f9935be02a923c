#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>

#include "sentenceFixtures.h"
#include "sentences/navigation.h"
#include "sentences/utcCalendar.h"

namespace {

using fixtures::capturedConsole;
using fixtures::receiveBuffer;
using fixtures::scriptedClock;

// A record with a distinct value in every field, so that a test shows what a sentence left.
shipData presetShip() {
    shipData s{};
    s.zdaSec = 1.5f;
    s.zdaDay = 2;
    s.zdaMonth = 3;
    s.zdaYear = 2004;
    s.zdaHour = 5;
    s.zdaMin = 6;
    s.zdaTime = 77;
    s.ggaHour = 8;
    s.ggaMin = 9;
    s.ggaSec = 10.0f;
    s.lat = 11.25;
    s.lon = 12.75;
    s.numSats = 13;
    s.qual = 14;
    s.alt = 15.5f;
    s.aunits = 'Q';
    s.hdop = 16.25;
    s.cog = 17.5f;
    s.sog = 18.5f;
    s.heading = 19.25;
    return s;
}

void expectSameShip(const shipData &got, const shipData &want, const std::string &sentence) {
    SCOPED_TRACE(sentence);
    EXPECT_EQ(got.zdaSec, want.zdaSec);
    EXPECT_EQ(got.zdaDay, want.zdaDay);
    EXPECT_EQ(got.zdaMonth, want.zdaMonth);
    EXPECT_EQ(got.zdaYear, want.zdaYear);
    EXPECT_EQ(got.zdaHour, want.zdaHour);
    EXPECT_EQ(got.zdaMin, want.zdaMin);
    EXPECT_EQ(got.zdaTime, want.zdaTime);
    EXPECT_EQ(got.ggaHour, want.ggaHour);
    EXPECT_EQ(got.ggaMin, want.ggaMin);
    EXPECT_EQ(got.ggaSec, want.ggaSec);
    EXPECT_EQ(got.lat, want.lat);
    EXPECT_EQ(std::signbit(got.lat), std::signbit(want.lat));
    EXPECT_EQ(got.lon, want.lon);
    EXPECT_EQ(std::signbit(got.lon), std::signbit(want.lon));
    EXPECT_EQ(got.numSats, want.numSats);
    EXPECT_EQ(got.qual, want.qual);
    EXPECT_EQ(got.alt, want.alt);
    EXPECT_EQ(got.aunits, want.aunits);
    EXPECT_EQ(got.hdop, want.hdop);
    EXPECT_EQ(got.cog, want.cog);
    EXPECT_EQ(got.sog, want.sog);
    EXPECT_EQ(got.heading, want.heading);
}

shipData decode(const std::string &sentence, shipData start, capturedConsole &console) {
    receiveBuffer buf(sentence);
    parseShipNMEA(buf.bytes, &start, scriptedClock::read, console.get());
    return start;
}

struct shipCase {
    std::string sentence;
    void (*expect)(shipData &);  // applied to the preset record: what the sentence changes
};

void runShipCases(const std::vector<shipCase> &cases) {
    scriptedClock::set({1000});
    for (const auto &c : cases) {
        capturedConsole console;
        shipData want = presetShip();
        c.expect(want);
        expectSameShip(decode(c.sentence, presetShip(), console), want, c.sentence);
        EXPECT_EQ(console.text(), "") << c.sentence;
    }
}

TEST(ShipGga, SetsTheFixFields) {
    runShipCases({
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 48 + 7.038 / 60.0, s.lon = 11 + 31.0 / 60.0;
             s.qual = 1, s.numSats = 8, s.hdop = 0.9, s.alt = 545.4f, s.aunits = 'M';
         }},
        {"$GPGGA,123519.87,3352.128,S,15112.558,W,1,08,0.9,545.4,M,46.9,M,,*47",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = -(33 + 52.128 / 60.0), s.lon = -(151 + 12.558 / 60.0);
             s.qual = 1, s.numSats = 8, s.hdop = 0.9, s.alt = 545.4f, s.aunits = 'M';
         }},
        {"$GPGGA,123519,3352.128,s,15112.558,w,1,08,0.9,545.4,M,46.9,M,,*47",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 33 + 52.128 / 60.0, s.lon = 151 + 12.558 / 60.0;
             s.qual = 1, s.numSats = 8, s.hdop = 0.9, s.alt = 545.4f, s.aunits = 'M';
         }},
        // A real capture from the Southern Ocean.
        {"$GPGGA,000000.70,2200.112071,S,01756.360200,W,1,10,0.9,1.04,M,,M,,*41",
         [](shipData &s) {
             s.ggaHour = 0, s.ggaMin = 0, s.ggaSec = 0.0f;
             s.lat = -(22 + 0.112071 / 60.0), s.lon = -(17 + 56.3602 / 60.0);
             s.qual = 1, s.numSats = 10, s.hdop = 0.9, s.alt = 1.04f, s.aunits = 'M';
         }},
        {"$GPGGA,123519,0000.000,S,00000.000,W,1,08,0.9,545.4,M,46.9,M,,*47",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = -0.0, s.lon = -0.0;
             s.qual = 1, s.numSats = 8, s.hdop = 0.9, s.alt = 545.4f, s.aunits = 'M';
         }},
    });
}

TEST(ShipGga, EmptyAndMissingFieldsShiftOrStop) {
    runShipCases({
        // The missing latitude hemisphere moves everything after it up one position; W is no
        // longitude, so the longitude stays and no hemisphere applies to it.
        {"$GPGGA,123519,4807.038,,01131.000,W,1,08,0.9,545.4,M,46.9,M,,*47",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 48 + 7.038 / 60.0;
             s.qual = 8, s.numSats = 0, s.hdop = 545.4, s.alt = 0.0f, s.aunits = '4';
         }},
        // A fix without position: neither coordinate field yields both numbers.
        {"$GPGGA,123519,,,,,0,00,,,M,,M,,*66",
         [](shipData &s) { s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f, s.qual = 0; }},
        // A receiver without a fix, as captured.
        {"$GPGGA,,,,,,0,,,,M,,M,,*66", [](shipData &s) { s.ggaHour = 0; }},
        // A stray hemisphere letter must not flip a coordinate this sentence did not set.
        {"$GPGGA,123519,M,S,48,W,1",
         [](shipData &s) { s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f, s.qual = 1; }},
        {"$GPGGA,123519,4807.038,N,01131.000,W",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 48 + 7.038 / 60.0, s.lon = -(11 + 31.0 / 60.0);
         }},
        {"$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M*47",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 48 + 7.038 / 60.0, s.lon = 11 + 31.0 / 60.0;
             s.qual = 1, s.numSats = 8, s.hdop = 0.9, s.alt = 545.4f, s.aunits = 'M';
         }},
        {"$GPGGA,1235", [](shipData &s) { s.ggaHour = 12, s.ggaMin = 35; }},
        {"$GPGGA", [](shipData &) {}},
        {"$GPGGA\r\n", [](shipData &) {}},
        {"$GPGGA2,123519", [](shipData &s) { s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f; }},
        // Two sentences in one datagram: the second one's fields become later positions.
        {"$GPGGA,123519,4807.038,N\r\n$GPHDT,90.0,T",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 48 + 7.038 / 60.0, s.lon = 90.0;
         }},
        // Numbers far beyond their types: an int saturates, a float overflows to infinity.
        {"$GPGGA,123519,4807.038,N,01131.000,E,99999999999,-99999999999,1e999,1e39,M",
         [](shipData &s) {
             s.ggaHour = 12, s.ggaMin = 35, s.ggaSec = 19.0f;
             s.lat = 48 + 7.038 / 60.0, s.lon = 11 + 31.0 / 60.0;
             s.qual = 2147483647, s.numSats = -2147483647 - 1;
             s.hdop = HUGE_VAL, s.alt = HUGE_VALF, s.aunits = 'M';
         }},
    });
}

TEST(ShipVtg, ReadsCourseAndSpeedInKnots) {
    runShipCases({
        {"$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48",
         [](shipData &s) { s.cog = 54.7f, s.sog = 5.5f; }},
        {"$GPVTG,054.7,T,,M,005.5,N,010.2,K*48", [](shipData &s) { s.cog = 54.7f, s.sog = 5.5f; }},
        {"$GPVTG,213.66,T,,M,9.4,N,,K,A*1E", [](shipData &s) { s.cog = 213.66f, s.sog = 9.4f; }},
        {"$GPVTG,100.3,T,,M,100.3,N", [](shipData &s) { s.cog = 100.3f, s.sog = 100.3f; }},
        {"$GPVTG,054.7", [](shipData &s) { s.cog = 54.7f; }},
        {"$GPVTG,054.7,T,034.4,M", [](shipData &s) { s.cog = 54.7f; }},
        {"$GPVTG,,T,,M,005.5,N", [](shipData &s) { s.cog = 0.0f, s.sog = 0.0f; }},
        {"$GPVTG,,T,,M,,N,,K,N*2C", [](shipData &s) { s.cog = 0.0f, s.sog = 0.0f; }},
    });
}

TEST(ShipHdt, ReadsTheHeadingAndNothingElse) {
    runShipCases({
        {"$GPHDT,274.07,T*03", [](shipData &s) { s.heading = 274.07; }},
        {"$GPHDT,,T*03", [](shipData &s) { s.heading = 0.0; }},
        {"$GPHDT,274.07*03", [](shipData &s) { s.heading = 274.07; }},
        {",,$GPHDT,90.0,T", [](shipData &s) { s.heading = 90.0; }},
        {"$GPHDT,274.07\r\n$GPVTG,1,T", [](shipData &s) { s.heading = 274.07; }},
        {"$GPHDT", [](shipData &) {}},
    });
}

TEST(ShipSentences, OthersChangeNothingAndPrintNothing) {
    runShipCases({
        {"", [](shipData &) {}},
        {",,,,", [](shipData &) {}},
        {"$PSXN,20,1,0,0,0*3A", [](shipData &) {}},
        {"$GNGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47", [](shipData &) {}},
        {"$gpzda,201530.00,04,07,2002,00,00", [](shipData &) {}},
        {"$GPZD", [](shipData &) {}},
        {" $GPHDT,274.07,T", [](shipData &) {}},
        {"\r\n$GPHDT,274.07,T", [](shipData &) {}},
    });
}

TEST(ShipZda, ConvertsTheDateAsUtcAndPrintsItsLine) {
    struct Case {
        std::string sentence;
        int hour, min, day, month, year;
        float sec;
        std::int64_t time;
    };
    const Case cases[] = {
        {"$GPZDA,201530.00,04,07,2002,00,00*60", 20, 15, 4, 7, 2002, 30.0f, 1025813730},
        {"$GPZDA,201530.75,04,07,2002,00,00*60", 20, 15, 4, 7, 2002, 30.75f, 1025813730},
        {"$GPZDA,201530.00,04,00,2002,00,00", 20, 15, 4, 0, 2002, 30.0f, 1007496930},
        {"$GPZDA,000000.00,01,01,1960,00,00", 0, 0, 1, 1, 1960, 0.0f, -315619200},
        {"$GPZDA,000000.70,01,08,2014,,*6F", 0, 0, 1, 8, 2014, 0.7f, 1406851200},
        {"$GPZDA,193913.00,07,09,2018,00,00*63", 19, 39, 7, 9, 2018, 13.0f, 1536349153},
        {"$GPZDA,235959.99,31,12,2024", 23, 59, 31, 12, 2024, 59.99f, 1735689599},
        {"$GPZDA,000000,00,01,2024", 0, 0, 0, 1, 2024, 0.0f, 1703980800},
    };
    for (const auto &c : cases) {
        capturedConsole console;
        scriptedClock::set({1709626026});
        shipData want = presetShip();
        want.zdaHour = c.hour, want.zdaMin = c.min, want.zdaSec = c.sec;
        want.zdaDay = c.day, want.zdaMonth = c.month, want.zdaYear = c.year;
        want.zdaTime = c.time;
        expectSameShip(decode(c.sentence, presetShip(), console), want, c.sentence);
        // Written, not flushed: it reaches the console with the loop's next flush.
        EXPECT_EQ(console.flushedText(), "") << c.sentence;
        EXPECT_EQ(console.text(), "zda:" + std::to_string(c.time) + " system:1709626026\n");
        EXPECT_EQ(scriptedClock::count, 1u);
    }
}

TEST(ShipZda, ConvertsWhatTheRecordHoldsWhenFieldsAreMissing) {
    capturedConsole console;
    scriptedClock::set({5});

    // The identifier alone still converts, from the fields as they stand: on a zeroed record
    // that is day 0 of month 0 of year 0, which is 30 November of the year -1.
    shipData zeroed = decode("$GPZDA", shipData{}, console);
    std::tm tm{};
    tm.tm_year = -1900;
    tm.tm_mon = -1;
    tm.tm_mday = 0;
    EXPECT_EQ(zeroed.zdaTime, static_cast<std::int64_t>(timegm(&tm)));
    EXPECT_EQ(zeroed.zdaTime, daysFromCivil(-1, 11, 30) * 86400);
    EXPECT_EQ(zeroed.zdaYear, 0);
    EXPECT_EQ(zeroed.zdaMonth, 0);

    // An empty time field moves every later field up one position.
    shipData want = presetShip();
    want.zdaHour = 4, want.zdaDay = 7, want.zdaMonth = 2002, want.zdaYear = 0;
    shipData s = decode("$GPZDA,,04,07,2002,00,00", presetShip(), console);
    std::tm expected{};
    expected.tm_year = -1900;
    expected.tm_mon = 2001;
    expected.tm_mday = 7;
    expected.tm_hour = 4;
    expected.tm_min = want.zdaMin;
    expected.tm_sec = 1;
    want.zdaTime = static_cast<std::int64_t>(timegm(&expected));
    expectSameShip(s, want, "empty time field");
}

TEST(ShipZda, GivesMinusOneOnlyWhereTheConversionCannotHoldTheDate) {
    struct Case {
        std::string sentence;
        std::int64_t time;
    };
    const Case cases[] = {
        {"$GPZDA,00001e10,01,01,2024", -1},  // seconds beyond an int
        {"$GPZDA,00001e99,01,01,2024", -1},  // infinite seconds
        {"$GPZDA,0000-1e10,01,01,2024", -1},
        {"$GPZDA,000000,01,24001,2147483647", -1},  // year beyond an int from 1900
        {"$GPZDA,000000,01,01,-2147483648", -1},
        {"$GPZDA,000000,01,01,2147483647", daysFromCivil(2147483647, 1, 1) * 86400},
        {"$GPZDA,000000,2147483647,01,2024", (daysFromCivil(2024, 1, 1) + 2147483646) * 86400},
        {"$GPZDA,00002147483520,01,01,1970", 2147483520},  // the largest float below 2^31
    };
    for (const auto &c : cases) {
        capturedConsole console;
        scriptedClock::set({0});
        shipData s = decode(c.sentence, shipData{}, console);
        EXPECT_EQ(s.zdaTime, c.time) << c.sentence;
        EXPECT_EQ(console.text(), "zda:" + std::to_string(c.time) + " system:0\n") << c.sentence;
    }
}

// The conversion must agree with the C library's UTC conversion for any members it can hold,
// out-of-range ones included.
TEST(ShipZda, AgreesWithTimegmOverGeneratedDates) {
    std::mt19937 rng(42);
    std::uniform_int_distribution<int> year(1, 9999), month(-30, 40), day(-400, 400);
    std::uniform_int_distribution<int> hour(-9, 99), minute(-9, 99), second(-9, 99);
    for (int i = 0; i < 20000; ++i) {
        shipData s{};
        s.zdaYear = year(rng), s.zdaMonth = month(rng), s.zdaDay = day(rng);
        s.zdaHour = hour(rng), s.zdaMin = minute(rng);
        int sec = second(rng);
        char sentence[96];
        std::snprintf(sentence, sizeof sentence, "$GPZDA,%02d%02d%d.5,%d,%d,%d", s.zdaHour,
                      s.zdaMin, sec, s.zdaDay, s.zdaMonth, s.zdaYear);
        if (s.zdaHour < 0 || s.zdaMin < 0) continue;  // a sign takes a digit's place
        std::tm tm{};
        tm.tm_year = s.zdaYear - 1900;
        tm.tm_mon = s.zdaMonth - 1;
        tm.tm_mday = s.zdaDay;
        tm.tm_hour = s.zdaHour;
        tm.tm_min = s.zdaMin;
        tm.tm_sec = sec;
        auto expected = static_cast<std::int64_t>(timegm(&tm));
        capturedConsole console;
        shipData got = decode(sentence, shipData{}, console);
        ASSERT_EQ(got.zdaTime, expected) << sentence;
    }
}

TEST(ShipZda, IgnoresTheHostTimeZone) {
    const char *old = std::getenv("TZ");
    std::string saved = old ? old : "";
    for (const char *zone : {"Pacific/Kiritimati", "America/St_Johns", "UTC+11", "EST5EDT"}) {
        setenv("TZ", zone, 1);
        tzset();
        capturedConsole console;
        shipData s = decode("$GPZDA,201530.00,04,07,2002,00,00*60", shipData{}, console);
        EXPECT_EQ(s.zdaTime, 1025813730) << zone;
    }
    if (old) {
        setenv("TZ", saved.c_str(), 1);
    } else {
        unsetenv("TZ");
    }
    tzset();
}

TEST(ShipSentences, AFullDatagramIsReadToItsLastByteAndNoFurther) {
    // 1024 bytes without a terminator: the heading field runs to the last received byte.
    std::string sentence = "$GPHDT," + std::string(1024 - 7 - 3, '0') + "123";
    ASSERT_EQ(sentence.size(), 1024u);
    capturedConsole console;
    shipData s = decode(sentence + "999", presetShip(), console);
    EXPECT_EQ(s.heading, 123.0);
}

}  // namespace
