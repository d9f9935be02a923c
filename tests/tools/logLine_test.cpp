// Log lines as the replayer reads them: skipping, time-stamp stripping and sentence times.
#include "replay/logLine.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

namespace {

struct lineCase {
    const char *line;
    std::optional<std::string> sentence;  // nothing: the line is skipped
    std::optional<double> stamp;
};

TEST(ReadLogLine, SkipsCommentsAndBlanksAndStripsTimeStamps) {
    const lineCase cases[] = {
        {"2014-08-01T00:00:00.814000Z $GPZDA,000000.70,01,08,2014,,*6F",
         "$GPZDA,000000.70,01,08,2014,,*6F", 1406851200.814},
        {"$GPHDT,218.83,T*05", "$GPHDT,218.83,T*05", std::nullopt},
        {"$GPHDT,218.83,T*05\r\n", "$GPHDT,218.83,T*05", std::nullopt},
        {"  $GPHDT,218.83,T*05  \n", "$GPHDT,218.83,T*05", std::nullopt},
        {"2014-08-01T00:00:00.814000Z \t$GPHDT,218.83,T*05\r", "$GPHDT,218.83,T*05",
         1406851200.814},
        {"2024-02-29T23:59:59Z $GPHDT,1,T", "$GPHDT,1,T", 1709251199.0},  // no fraction
        {"1969-12-31T23:59:59.5Z $GPHDT,1,T", "$GPHDT,1,T", -0.5},
        {"# captured 2014-08-01", std::nullopt, std::nullopt},
        {"  # indented comment", std::nullopt, std::nullopt},
        {"", std::nullopt, std::nullopt},
        {" \t\r\n", std::nullopt, std::nullopt},
        {"2014-08-01T00:00:00.814000Z ", std::nullopt, std::nullopt},  // a stamp alone
        {"2014-08-01T00:00:00.814000Z", std::nullopt, std::nullopt},
        // Not of the stamp's form: the line is sent as it is.
        {"2014-08-01 00:00:00 $GPHDT,1,T", "2014-08-01 00:00:00 $GPHDT,1,T", std::nullopt},
        {"2014-13-01T00:00:00Z $GPHDT,1,T", "2014-13-01T00:00:00Z $GPHDT,1,T", std::nullopt},
        {"2014-08-01T00:00:00.8Zulu $GPHDT", "2014-08-01T00:00:00.8Zulu $GPHDT", std::nullopt},
        {"2014-08-01T00:00 $GPHDT,1,T", "2014-08-01T00:00 $GPHDT,1,T", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        auto got = nmea::readLogLine(c.line);
        ASSERT_EQ(got.has_value(), c.sentence.has_value());
        if (!got) continue;
        EXPECT_EQ(got->sentence, *c.sentence);
        ASSERT_EQ(got->stamp.has_value(), c.stamp.has_value());
        if (c.stamp) {
            EXPECT_NEAR(*got->stamp, *c.stamp, 1e-6);
        }
    }
}

TEST(SentenceTimeOfDay, ReadsTheTimeFieldOfTimedSentences) {
    struct timeCase {
        const char *sentence;
        std::optional<double> seconds;
    };
    const timeCase cases[] = {
        {"$GPZDA,000319.67,01,08,2014,,*62", 199.67},
        {"$GPGGA,235959,2200.511184,S,01756.708772,W,1,10,0.9,3.01,M,,M,,*4D", 86399},
        {"$GNGGA,120000.5,,,,,0,,,,M,,M,,", 43200.5},
        {"$GPRMC,081836,A,3751.65,S,14507.36,E,000.0,360.0,130998,011.3,E*62", 29916},
        {"$GPGLL,4916.45,N,12311.12,W,225444,A", 82484},
        {"$GPHDT,218.29,T*05", std::nullopt},
        {"$PSXN,20,1,0,0,0*3A", std::nullopt},
        {"$GPGGA,,,,,,0,,,,M,,M,,*66", std::nullopt},  // no fix, no time
        {"$GPZDA,25x000,01,08,2014", std::nullopt},
        {"GPZDA,000319.67,01,08,2014", std::nullopt},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.sentence);
        auto got = nmea::sentenceTimeOfDay(c.sentence);
        ASSERT_EQ(got.has_value(), c.seconds.has_value());
        if (got) {
            EXPECT_NEAR(*got, *c.seconds, 1e-9);
        }
    }
}

}  // namespace
