#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "sentenceFixtures.h"
#include "sentences/navigation.h"

namespace {

using fixtures::receiveBuffer;
using fixtures::scriptedClock;

rovData presetRov() {
    rovData r{};
    r.hour = 1;
    r.min = 2;
    r.sec = 3;
    r.fixTime = 4.0;
    r.lat = 5.5;
    r.lon = 6.5;
    r.depth = 7.5;
    return r;
}

void expectSameRov(const rovData &got, const rovData &want, const std::string &sentence) {
    SCOPED_TRACE(sentence);
    EXPECT_EQ(got.hour, want.hour);
    EXPECT_EQ(got.min, want.min);
    EXPECT_EQ(got.sec, want.sec);
    EXPECT_EQ(got.fixTime, want.fixTime);
    EXPECT_EQ(got.lat, want.lat);
    EXPECT_EQ(std::signbit(got.lat), std::signbit(want.lat));
    EXPECT_EQ(got.lon, want.lon);
    EXPECT_EQ(std::signbit(got.lon), std::signbit(want.lon));
    EXPECT_EQ(got.depth, want.depth);
}

rovData decode(const std::string &sentence, rovData start, std::int64_t clock) {
    scriptedClock::set({clock});
    receiveBuffer buf(sentence);
    parseROVData(buf.bytes, &start, scriptedClock::read);
    return start;
}

constexpr std::int64_t june1Noon = 1717243205;  // 2024-06-01 12:00:05 UTC
constexpr std::int64_t june1 = 1717200000;      // 2024-06-01 00:00:00 UTC
constexpr double lat3636 = 36 + 36.1234 / 60.0;
constexpr double lon12152 = 121 + 52.1234 / 60.0;

struct rovCase {
    std::string sentence;
    void (*expect)(rovData &);  // applied to the preset record
    bool readsClock;
};

void runRovCases(const std::vector<rovCase> &cases) {
    for (const auto &c : cases) {
        rovData want = presetRov();
        c.expect(want);
        expectSameRov(decode(c.sentence, presetRov(), june1Noon), want, c.sentence);
        EXPECT_EQ(scriptedClock::count, c.readsClock ? 1u : 0u) << c.sentence;
    }
}

TEST(VehicleGga, DecodesACompleteSentence) {
    runRovCases({
        {"$GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,*5C\r\n",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
             r.lat = lat3636, r.lon = -lon12152, r.depth = -250.3;
         },
         true},
        {"$GPGGA,123456.00,0000.0000,S,00000.0000,W,1,08,0.9,850.25,M,,M,,",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
             r.lat = -0.0, r.lon = -0.0, r.depth = 850.25;
         },
         true},
        {"$GPGGA,235959.99,3636.1234,S,12152.1234,E,1,08,0.9,12",
         [](rovData &r) {
             r.hour = 23, r.min = 59, r.sec = 59, r.fixTime = june1 + 86399.0;
             r.lat = -lat3636, r.lon = lon12152, r.depth = 12.0;
         },
         true},
    });
}

TEST(VehicleGga, PlacesTheFixOnTheDayNearestTheClock) {
    struct Case {
        std::int64_t clock;
        std::string time;
        double fixTime;
    };
    const Case cases[] = {
        {june1Noon, "115959.00", 1717243199.0},
        {june1Noon, "120003.00", 1717243203.0},
        {1717286401, "235958.00", 1717286398.0},  // received at 00:00:01: three seconds old
        {1717286399, "000001.00", 1717286401.0},  // received at 23:59:59: two seconds ahead
        {june1, "120000", june1 + 43200.0},       // exactly half a day either way: today
        {june1 + 1, "120000", june1 + 43200.0},
        {june1 - 1 + 86400, "000000", june1 + 86400.0},
        {june1, "990000", june1 + 99 * 3600.0 - 86400},  // moves at most one day
    };
    for (const auto &c : cases) {
        rovData r = decode("$GPGGA," + c.time + ",3636.1234,N", rovData{}, c.clock);
        EXPECT_EQ(r.fixTime, c.fixTime) << c.time << " at " << c.clock;
    }
}

TEST(VehicleGga, EmptyFieldsShiftTheDepth) {
    const std::string head = "$GPGGA,123456.00,3636.1234,N,12152.1234,W";
    auto fix = [](rovData &r) {
        r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
        r.lat = lat3636, r.lon = -lon12152;
    };
    struct Case {
        std::string tail;
        bool depthSet;
    };
    const Case cases[] = {
        {",,,,-250.3,M,-32.1,M,,", true},     // reads the second M: 0
        {",1,08,,-250.3,M,-32.1,M,,", true},  // reads the altitude unit: 0
        {",1,08,0.9,,M,-32.1,M,,", true},     // reads the altitude unit: 0
        {",,,,-250.3", false},                // nothing left at the depth's position
    };
    for (const auto &c : cases) {
        rovData want = presetRov();
        fix(want);
        if (c.depthSet) want.depth = 0.0;
        expectSameRov(decode(head + c.tail, presetRov(), june1Noon), want, c.tail);
    }
}

TEST(VehicleGga, EmptyTimeFieldReadsTheLatitudeAsTime) {
    // 3636.1234 read as a time gives hour 36 and minute 36; the seconds keep their value, and
    // every later field is read one position early.
    rovData want = presetRov();
    want.hour = 36, want.min = 36;
    want.fixTime = june1 + 36 * 3600.0 + 36 * 60 + 3 - 86400;  // nearest the clock: yesterday
    want.depth = 0.0;                                          // from the altitude unit M
    expectSameRov(decode("$GPGGA,,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,",
                         presetRov(), june1Noon),
                  want, "empty time field");
}

TEST(VehicleGga, ASentenceCutShortUpdatesWhatItHolds) {
    auto time = [](rovData &r) {
        r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
    };
    runRovCases({
        {"$GPGGA", [](rovData &) {}, false},
        {"$GPGGA,", [](rovData &) {}, false},
        {"$GPGGA,1234", [](rovData &r) { r.hour = 12, r.min = 34, r.fixTime = june1 + 45243.0; },
         true},
        {"$GPGGA,123456", time, true},
        {"$GPGGA,123456,3636.1234",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0, r.lat = lat3636;
         },
         true},
        {"$GPGGA,123456,3636.1234,S",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0, r.lat = -lat3636;
         },
         true},
        {"$GPGGA,123456,3636.1234,S,12152.1234",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
             r.lat = -lat3636, r.lon = lon12152;
         },
         true},
        {"$GPGGA,123456,3636.1234,S,12152.1234,W,1,08,0.9",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
             r.lat = -lat3636, r.lon = -lon12152;
         },
         true},
        // Coordinates without both numbers are left alone, and so is their hemisphere.
        {"$GPGGA,123456,36,S,M,W,1,08,0.9,5",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0, r.depth = 5.0;
         },
         true},
        {"$GPGGA,123456,3636.1234,N,12152.1234,W,1,08,0.9,1e999",
         [](rovData &r) {
             r.hour = 12, r.min = 34, r.sec = 56, r.fixTime = june1 + 45296.0;
             r.lat = lat3636, r.lon = -lon12152, r.depth = HUGE_VAL;
         },
         true},
    });
}

TEST(VehicleGga, OtherSentencesAreIgnoredWithoutReadingTheClock) {
    runRovCases({
        {"", [](rovData &) {}, false},
        {",,,", [](rovData &) {}, false},
        {"$GPZDA,201530.00,04,07,2002,00,00*60", [](rovData &) {}, false},
        {"$GNGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3", [](rovData &) {}, false},
        {"$gpgga,123456.00,3636.1234,N", [](rovData &) {}, false},
        {"$GPGG,123456.00", [](rovData &) {}, false},
        {"\r\n$GPGGA,123456.00", [](rovData &) {}, false},
    });
}

TEST(VehicleGga, AZeroByteEndsTheText) {
    std::string sentence = "$GPGGA,123456,3636.1234,N";
    sentence += '\0';
    sentence += ",12152.1234,W,1,08,0.9,-250.3";
    rovData want = presetRov();
    want.hour = 12, want.min = 34, want.sec = 56, want.fixTime = june1 + 45296.0,
    want.lat = lat3636;
    expectSameRov(decode(sentence, presetRov(), june1Noon), want, "zero byte");
}

}  // namespace
