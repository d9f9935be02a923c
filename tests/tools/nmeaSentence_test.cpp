// The checksum against real captured sentences, and the simulated instruments' sentences read
// back through the server's own decoders.
#include "replay/nmeaSentence.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>

#include "replay/simulation.h"
#include "sentences/navigation.h"

namespace {

TEST(Checksum, AgreesWithEveryCapturedSentence) {
    for (const char *name : {"ship-seapath.nmea", "ship-no-fix.nmea"}) {
        std::ifstream log(std::string(TOOLS_TEST_DATA_DIR) + "/" + name);
        ASSERT_TRUE(log) << name;
        std::string line;
        int lines = 0;
        while (std::getline(log, line)) {
            ++lines;
            EXPECT_TRUE(nmea::checksumValid(line)) << name << ": " << line;
        }
        EXPECT_GT(lines, 0) << name;
    }
}

TEST(Checksum, RefusesWhatDoesNotMatch) {
    struct checkCase {
        const char *sentence;
        bool valid;
    };
    const checkCase cases[] = {
        {"$GPHDT,218.83,T*05", true},
        {"$GPVTG,213.66,T,,M,9.4,N,,K,A*1e", true},  // either letter case
        {"$GPHDT,218.83,T*06", false},
        {"$GPHDT,218.84,T*05", false},
        {"$GPHDT,218.83,T", false},
        {"$GPHDT,218.83,T*5", false},
        {"$GPHDT,218.83,T*0G", false},
        {"$GPHDT,218.83,T*05\r\n", false},  // the line end is not part of the sentence
    };
    for (const auto &c : cases) {
        EXPECT_EQ(nmea::checksumValid(c.sentence), c.valid) << c.sentence;
    }
    EXPECT_EQ(nmea::checksum("$GPHDT,218.83,T"), 0x05);
    EXPECT_EQ(nmea::checksum("$GPHDT,218.83,T*99"), 0x05);
}

std::int64_t fixedClock() {
    return 1717243205;
}  // 2024-06-01 12:00:05 UTC

struct decoded {
    shipData ship{};
    rovData rov{};
};

decoded decodeSecond(const sim::simulatedSecond &second) {
    decoded d;
    std::FILE *console = std::fopen("/dev/null", "w");
    for (std::size_t i = 0; i < sim::simulatedSecond::size; ++i) {
        std::string text(second.sentence(i));
        EXPECT_TRUE(nmea::checksumValid(text)) << text;
        EXPECT_LE(text.size() + 2, 82u) << text;  // the standard's limit, line end included
        if (sim::simulatedSecond::streams[i] == sim::stream::ship) {
            parseShipNMEA(text.data(), &d.ship, fixedClock, console);
        } else {
            parseROVData(text.data(), &d.rov, fixedClock);
        }
    }
    std::fclose(console);
    return d;
}

TEST(SimulatedSentences, DecodeToTheSimulatedValues) {
    struct simCase {
        const char *name;
        sim::simulationParams params;
        double elapsed;
    };
    const simCase cases[] = {
        {"defaults, mid-descent", {}, 120},
        {"southern and western, on the bottom", {-33.8688, -151.2093, 225, 8, 30, 1}, 3600},
        {"a minute short of a whole degree rounds into it",
         {10.9999999999, -20.9999999999, 0, 0, 100, 0.5},
         0},
        {"just south of the equator, just west of Greenwich", {-0.0001, -0.0001, 180, 0, 5, 2}, 1},
    };
    const double utc = 1717243199.25;  // 2024-06-01 11:59:59.25 UTC
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::simulatedSecond second;
        sim::buildSecond(c.params, c.elapsed, utc, second);
        sim::simulatedState want = sim::simulateAt(c.params, c.elapsed);
        decoded got = decodeSecond(second);

        // Six decimals of a minute are 1.7e-8 degrees.
        EXPECT_NEAR(got.ship.lat, want.lat, 2e-8);
        EXPECT_NEAR(got.ship.lon, want.lon, 2e-8);
        EXPECT_EQ(got.ship.zdaTime, 1717243199);
        EXPECT_EQ(got.ship.qual, 1);
        EXPECT_FLOAT_EQ(got.ship.sog, static_cast<float>(c.params.speed));
        EXPECT_NEAR(got.ship.cog, c.params.course, 0.005);
        EXPECT_NEAR(got.ship.heading, c.params.course, 0.005);
        EXPECT_NEAR(got.rov.lat, want.lat, 2e-8);
        EXPECT_NEAR(got.rov.lon, want.lon, 2e-8);
        EXPECT_NEAR(got.rov.depth, want.depth, 0.005);
        EXPECT_EQ(got.rov.fixTime, 1717243199.0);
    }
}

TEST(SimulatedSentences, WriteTheFieldsInTheirNmeaForms) {
    sim::simulationParams p{-22.0085, -17.9451, 220.5, 8.7, 1000, 0.5};
    sim::simulatedSecond second;
    sim::buildSecond(p, 0, 1406851399.5, second);  // 2014-08-01 00:03:19.5 UTC
    EXPECT_EQ(second.sentence(0), "$GPZDA,000319.50,01,08,2014,00,00*66");
    EXPECT_EQ(second.sentence(1),
              "$GPGGA,000319.50,2200.510000,S,01756.706000,W,1,10,0.9,15.0,M,0.0,M,,*61");
    EXPECT_EQ(second.sentence(2), "$GPVTG,220.50,T,,M,8.70,N,16.11,K,A*00");
    EXPECT_EQ(second.sentence(3), "$GPHDT,220.50,T*00");
    EXPECT_EQ(second.sentence(4),
              "$GPGGA,000319.50,2200.510000,S,01756.706000,W,1,08,1.0,0.00,M,,M,,*4A");
}

}  // namespace
