#include "server/query.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "../sentences/sentenceFixtures.h"
#include "loopbackSocket.h"

namespace {

using fixtures::capturedConsole;
using fixtures::scriptedClock;

std::string record(const shipData &ship, const rovData &rov, std::vector<std::int64_t> clock) {
    scriptedClock::set(std::move(clock));
    static char dataString[recordCapacity];
    std::size_t length = buildStatusRecord(ship, rov, scriptedClock::read, dataString);
    EXPECT_EQ(std::strlen(dataString), length);
    return std::string(dataString, length);
}

std::vector<std::string> fieldsOf(const std::string &text) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        fields.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) return fields;
        start = comma + 1;
    }
}

TEST(HeaderString, IsTheTwentySixChannelNames) {
    EXPECT_EQ(headerString.size(), 512u);
    auto names = fieldsOf(std::string(headerString));
    ASSERT_EQ(names.size(), 26u);
    EXPECT_EQ(names.front(), "LOGHOST.SYSTEM.UTC");
    EXPECT_EQ(names[14], "ROV.POSITION.LAT.UTC");
    EXPECT_EQ(names.back(), "LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE");
    EXPECT_EQ(headerString,
              "LOGHOST.SYSTEM.UTC,SHIP.GPS.TIME,ROV.PRESSURE,ROV.CTD.PRESSURE,SHIP.GPS.LAT,"
              "SHIP.GPS.LON,SHIP.GPS.DIFFERENTIAL,SHIP.GPS.HORIZONTAL_VELOCITY,SHIP.GPS.HDOP,"
              "SHIP.GYRO.DEGREES.UTC,SHIP.GYRO.DEGREES,SHIP.WIND.TRUE_SPEED.UTC,"
              "SHIP.WIND.TRUE_SPEED,SHIP.WIND.TRUE_DIRECTION,ROV.POSITION.LAT.UTC,"
              "ROV.POSITION.LAT,ROV.POSITION.LON,ROV.KELTO.DEPTH,ROV.HEADING,ROV.PITCH,ROV.ROLL,"
              "ROV.ALTITUDE,LOGHOST.SYSTEM.CLOCKTIME.YEAR,LOGHOST.SYSTEM.CLOCKTIME.YEARDAY,"
              "LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING,LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE");
}

TEST(BuildStatusRecord, ZeroedRecordsGiveTheStartUpRecord) {
    std::string text = record(shipData{}, rovData{}, {1709626026});
    EXPECT_EQ(text,
              "1709626026,0,NO_ITEM,NO_ITEM,0.000000,0.000000,0,0.000000,0.000000,0,0.000000,"
              "NO_ITEM,NO_ITEM,NO_ITEM,0.000000,0.000000,0.000000,0.000000,NO_ITEM,NO_ITEM,"
              "NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0");
    EXPECT_EQ(text.size(), 205u);
}

TEST(BuildStatusRecord, CarriesTheDecodedValues) {
    shipData ship{};
    ship.zdaTime = 1709626020;
    ship.lat = -12.5;
    ship.lon = -45.123456789;
    ship.qual = 2;
    ship.sog = 10.1f;
    ship.hdop = 0.9;
    ship.heading = 271.25;
    rovData rov{};
    rov.fixTime = 1709626019;  // held exactly, not rounded to a float's 128-second steps
    rov.lat = -12.500123;
    rov.lon = -45.000321;
    rov.depth = 850.25;
    EXPECT_EQ(record(ship, rov, {1709626026}),
              "1709626026,1709626020,NO_ITEM,NO_ITEM,-12.500000,-45.123457,2,10.100000,0.900000,"
              "1709626020,271.250000,NO_ITEM,NO_ITEM,NO_ITEM,1709626019.000000,-12.500123,"
              "-45.000321,850.250000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 "
              "2024,+0");
}

TEST(BuildStatusRecord, FormsEachFieldAsPrintfWould) {
    shipData ship{};
    ship.sog = 100.3f;  // the float's own value shows
    ship.lat = -0.0;
    ship.zdaTime = -315619200;
    ship.qual = -7;
    ship.heading = std::numeric_limits<double>::infinity();
    rovData rov{};
    rov.depth = -std::numeric_limits<double>::infinity();
    rov.lon = 0.0000005;  // a halfway case: rounds to even
    auto f = fieldsOf(record(ship, rov, {1709626026}));
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(f[7], "100.300003");
    EXPECT_EQ(f[4], "-0.000000");
    EXPECT_EQ(f[1], "-315619200");
    EXPECT_EQ(f[9], "-315619200");
    EXPECT_EQ(f[6], "-7");
    EXPECT_EQ(f[10], "inf");
    EXPECT_EQ(f[17], "-inf");
    char expected[64];
    std::snprintf(expected, sizeof expected, "%f", 0.0000005);
    EXPECT_EQ(f[16], expected);
}

TEST(BuildStatusRecord, ReadsTheClockTwiceAcrossTheTurnOfTheYear) {
    auto f = fieldsOf(record(shipData{}, rovData{}, {1735689599, 1735689600}));
    EXPECT_EQ(scriptedClock::count, 2u);
    EXPECT_EQ(f[0], "1735689599");
    EXPECT_EQ(f[22], "2025");
    EXPECT_EQ(f[23], "0");
    EXPECT_EQ(f[24], "Wed Jan  1 00:00:00 2025");
    EXPECT_EQ(f[25], "+0");
}

TEST(BuildStatusRecord, DayOfYearAndTimestamp) {
    struct Case {
        std::int64_t clock;
        const char *year, *yearDay, *timestamp;
    };
    const Case cases[] = {
        {0, "1970", "0", "Thu Jan  1 00:00:00 1970"},
        {1709626026, "2024", "64", "Tue Mar  5 08:07:06 2024"},
        {1735689599, "2024", "365", "Tue Dec 31 23:59:59 2024"},
        {1704067199, "2023", "364", "Sun Dec 31 23:59:59 2023"},
        {1704067200, "2024", "0", "Mon Jan  1 00:00:00 2024"},
        {1718000000, "2024", "161", "Mon Jun 10 06:13:20 2024"},
        {-1, "1969", "364", "Wed Dec 31 23:59:59 1969"},
        {4102444800, "2100", "0", "Fri Jan  1 00:00:00 2100"},
    };
    for (const auto &c : cases) {
        auto f = fieldsOf(record(shipData{}, rovData{}, {c.clock}));
        EXPECT_EQ(f[22], c.year) << c.clock;
        EXPECT_EQ(f[23], c.yearDay) << c.clock;
        EXPECT_EQ(f[24], c.timestamp) << c.clock;
        // The C library's own text, newline dropped, for the same instant.
        std::time_t t = static_cast<std::time_t>(c.clock);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char text[32];
        asctime_r(&tm, text);
        EXPECT_EQ(f[24] + "\n", text);
    }
}

TEST(BuildStatusRecord, MatchesSnprintfForGeneratedValues) {
    std::mt19937_64 rng(1);
    std::uniform_real_distribution<double> small(-1000.0, 1000.0);
    std::uniform_int_distribution<int> exponent(-30, 320);
    std::uniform_int_distribution<std::uint64_t> bits;
    std::uniform_int_distribution<std::int64_t> ticks(-1'000'000'000'000, 1'000'000'000'000);
    auto value = [&](int kind) -> double {
        switch (kind % 5) {
            case 0:
                return small(rng);
            case 1:
                return std::ldexp(small(rng), exponent(rng) * (kind % 2 ? 1 : -1) / 4);
            case 2: {  // any bit pattern, NaN included
                std::uint64_t b = bits(rng);
                double d;
                std::memcpy(&d, &b, sizeof d);
                return d;
            }
            case 3:
                return std::round(small(rng) * 2e6) / 2e6 + 0.0000005;  // near halfway
            default:
                return static_cast<double>(ticks(rng)) / 1e6;
        }
    };
    for (int i = 0; i < 20000; ++i) {
        shipData ship{};
        rovData rov{};
        ship.zdaTime = ticks(rng);
        ship.qual = static_cast<int>(bits(rng));
        ship.lat = value(i), ship.lon = value(i + 1), ship.hdop = value(i + 2);
        ship.heading = value(i + 3);
        ship.sog = static_cast<float>(small(rng) * (i % 7));
        rov.fixTime = value(i + 4), rov.lat = value(i + 5), rov.lon = value(i + 6);
        rov.depth = value(i + 7);
        std::int64_t clock = ticks(rng) / 100;

        char expected[recordCapacity];
        std::time_t t = static_cast<std::time_t>(clock);
        std::tm tm{};
        gmtime_r(&t, &tm);
        char stamp[64];
        asctime_r(&tm, stamp);
        stamp[std::strlen(stamp) - 1] = '\0';
        std::snprintf(expected, sizeof expected,
                      "%lld,%lld,NO_ITEM,NO_ITEM,%f,%f,%d,%f,%f,%lld,%f,NO_ITEM,NO_ITEM,NO_ITEM,"
                      "%f,%f,%f,%f,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,%d,%d,%s,+0",
                      static_cast<long long>(clock), static_cast<long long>(ship.zdaTime), ship.lat,
                      ship.lon, ship.qual, static_cast<double>(ship.sog), ship.hdop,
                      static_cast<long long>(ship.zdaTime), ship.heading, rov.fixTime, rov.lat,
                      rov.lon, rov.depth, tm.tm_year + 1900, tm.tm_yday, stamp);
        ASSERT_EQ(record(ship, rov, {clock}), expected);
    }
}

TEST(BuildStatusRecord, BuildsTheWidestRecordWhole) {
    shipData ship{};
    rovData rov{};
    ship.lat = ship.lon = ship.hdop = ship.heading = -DBL_MAX;
    rov.fixTime = rov.lat = rov.lon = rov.depth = -DBL_MAX;
    ship.sog = -FLT_MAX;
    ship.zdaTime = INT64_MIN;
    ship.qual = INT32_MIN;
    std::string text = record(ship, rov, {INT64_MIN, INT64_MAX});
    auto f = fieldsOf(text);
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(f[4].size(), 1 + 309 + 7u);
    EXPECT_EQ(f[0], "-9223372036854775808");
    EXPECT_EQ(f[25], "+0");
    EXPECT_GT(text.size(), 2600u);
    EXPECT_LT(text.size(), recordCapacity);
}

// A pair of loopback sockets: the server's and a client's.
class ReplyToQuery : public testing::Test {
  protected:
    int server = socket(AF_INET, SOCK_DGRAM, 0);
    int client = loopbackSocket();
    sockaddr_in clientAddr{};
    capturedConsole console;
    char dataString[recordCapacity];

    void SetUp() override {
        socklen_t len = sizeof clientAddr;
        getsockname(client, reinterpret_cast<sockaddr *>(&clientAddr), &len);
        scriptedClock::set({1709626026});
    }
    void TearDown() override {
        close(server);
        close(client);
    }
    void ask(const std::string &query, int n) {
        char buffer[1025] = {};
        std::memcpy(buffer, query.data(), query.size());
        replyToQuery(buffer, n, queryPeer{server, &clientAddr, sizeof clientAddr}, shipData{},
                     rovData{}, scriptedClock::read, console.get(), dataString);
    }
    std::string reply() { return receiveReply(client); }
};

TEST_F(ReplyToQuery, HeaderQueriesGetTheHeaderAndAFlushedLine) {
    for (std::string query : {"HEADER", "HEADERX", "HEADER\n"}) {
        ask(query, static_cast<int>(query.size()));
        EXPECT_EQ(reply(), headerString) << query;
    }
    EXPECT_EQ(console.flushedText(),
              "sending header to client\nsending header to client\nsending header to client\n");
    EXPECT_EQ(scriptedClock::count, 0u);
}

TEST_F(ReplyToQuery, AnyOtherQueryGetsARecordAndAnUnflushedLine) {
    const std::string expected =
        "1709626026,0,NO_ITEM,NO_ITEM,0.000000,0.000000,0,0.000000,0.000000,0,0.000000,"
        "NO_ITEM,NO_ITEM,NO_ITEM,0.000000,0.000000,0.000000,0.000000,NO_ITEM,NO_ITEM,"
        "NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0";
    std::string zeroInside("HEA\0ER", 6);
    for (std::string query : {std::string("HEAD"), std::string(), std::string("header"),
                              std::string("HEADEr"), zeroInside, std::string("x")}) {
        ask(query, static_cast<int>(query.size()));
        EXPECT_EQ(reply(), expected) << query;
    }
    EXPECT_EQ(console.flushedText(), "");
    std::string lines;
    for (int i = 0; i < 6; ++i) lines += expected + "\n";
    EXPECT_EQ(console.text(), lines);
}

TEST_F(ReplyToQuery, AFailedReceiveIsNotAnswered) {
    ask("", -1);
    EXPECT_EQ(reply(), "<none>");
    EXPECT_EQ(console.text(), "");
}

}  // namespace
