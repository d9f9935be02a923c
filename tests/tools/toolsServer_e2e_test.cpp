// Both programs against the real server: navreplay feeds it, navquery reads the record back in
// JSON, and every value must be the one carried by the last sentence of its kind that was sent.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "toolRun.h"

namespace {

using namespace toolsE2e;

// The last sentence in `lines` that starts with `prefix`.
std::string lastStartingWith(const std::vector<std::string> &lines, std::string_view prefix) {
    for (auto it = lines.rbegin(); it != lines.rend(); ++it) {
        if (it->starts_with(prefix)) return it->substr(it->find('$'));
    }
    ADD_FAILURE() << "no line starts with " << prefix;
    return {};
}

double jsonNumber(const std::string &json, std::string_view key) {
    std::string v = jsonValue(json, key);
    EXPECT_FALSE(v.empty() || v == "null" || v.starts_with('"')) << key << " in " << json;
    return v.empty() || v == "null" || v.starts_with('"') ? NAN : std::stod(v);
}

std::string queryJson() {
    toolResult r = runTool(navquery({"--format", "json"}));
    EXPECT_EQ(r.status, 0) << r.err;
    std::vector<std::string> lines = splitLines(r.out);
    EXPECT_EQ(lines.size(), 1u) << r.out;
    return lines.empty() ? std::string() : lines.front();
}

// The parts of the record every JSON line has whatever was sent.
void expectRecordShape(const std::string &json) {
    EXPECT_TRUE(json.starts_with("{\"LOGHOST.SYSTEM.UTC\":")) << json;
    EXPECT_TRUE(json.ends_with(",\"LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE\":\"+0\"}")) << json;
    for (const char *missing :
         {"ROV.PRESSURE", "ROV.CTD.PRESSURE", "SHIP.WIND.TRUE_SPEED.UTC", "SHIP.WIND.TRUE_SPEED",
          "SHIP.WIND.TRUE_DIRECTION", "ROV.HEADING", "ROV.PITCH", "ROV.ROLL", "ROV.ALTITUDE"}) {
        EXPECT_EQ(jsonValue(json, missing), "null") << missing;
    }
    std::string stamp = jsonValue(json, "LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING");
    EXPECT_EQ(stamp.size(), 26u) << stamp;  // 24 characters in quotes
}

void expectShipValues(const std::string &json, const std::vector<std::string> &sent) {
    auto zda = nmeaFields(lastStartingWith(sent, "ship $GPZDA"));
    auto gga = nmeaFields(lastStartingWith(sent, "ship $GPGGA"));
    auto vtg = nmeaFields(lastStartingWith(sent, "ship $GPVTG"));
    auto hdt = nmeaFields(lastStartingWith(sent, "ship $GPHDT"));
    std::int64_t zdaTime = utcSeconds(std::stoi(zda[4]), std::stoi(zda[3]), std::stoi(zda[2]),
                                      nmeaSecondsOfDay(zda[1]));
    EXPECT_EQ(jsonValue(json, "SHIP.GPS.TIME"), std::to_string(zdaTime));
    EXPECT_EQ(jsonValue(json, "SHIP.GYRO.DEGREES.UTC"), std::to_string(zdaTime));
    EXPECT_NEAR(jsonNumber(json, "SHIP.GPS.LAT"), nmeaDegrees(gga[2], 2, gga[3]), 1e-6);
    EXPECT_NEAR(jsonNumber(json, "SHIP.GPS.LON"), nmeaDegrees(gga[4], 3, gga[5]), 1e-6);
    EXPECT_EQ(jsonValue(json, "SHIP.GPS.DIFFERENTIAL"), std::to_string(std::stoi(gga[6])));
    EXPECT_NEAR(jsonNumber(json, "SHIP.GPS.HDOP"), std::stod(gga[8]), 1e-6);
    // The speed in knots, held in single precision by the server.
    EXPECT_NEAR(jsonNumber(json, "SHIP.GPS.HORIZONTAL_VELOCITY"), std::stod(vtg[5]), 1e-5);
    EXPECT_NEAR(jsonNumber(json, "SHIP.GYRO.DEGREES"), std::stod(hdt[1]), 1e-6);
}

// A log file's lines as navreplay --echo would show them.
std::vector<std::string> asShipLines(const std::string &log) {
    std::vector<std::string> lines;
    for (const auto &line : splitLines(log)) lines.push_back("ship " + line);
    return lines;
}

TEST(ToolsAgainstServer, ReplayedShipLogReadsBackAsItsLastSentences) {
    tempDir dir;
    auto server = e2e::startServer({.stdoutPath = dir.path("server.out")});
    ASSERT_TRUE(server->alive());

    // Quick, but paced so that the server's socket never overflows and drops the last ones.
    toolResult replay =
        runTool(navreplay({"--ship", dataFile("ship-seapath.nmea"), "--rate", "1000"}));
    ASSERT_EQ(replay.status, 0) << replay.err;
    EXPECT_TRUE(replay.err.starts_with("navreplay: sent 1400 sentences (ship 1400, rov 0) in "))
        << replay.err;

    std::string json = queryJson();
    expectRecordShape(json);
    expectShipValues(json, asShipLines(readFile(dataFile("ship-seapath.nmea"))));
    EXPECT_EQ(jsonValue(json, "SHIP.GPS.TIME"), "1406851399");  // 2014-08-01 00:03:19 UTC
    // No vehicle sentence was sent.
    EXPECT_EQ(jsonValue(json, "ROV.POSITION.LAT.UTC"), "0.000000");
}

TEST(ToolsAgainstServer, SimulatedDiveReadsBackAsItsLastSentences) {
    tempDir dir;
    auto server = e2e::startServer({.stdoutPath = dir.path("server.out")});
    ASSERT_TRUE(server->alive());

    // 100 simulated seconds at 100 a second: the vehicle reaches 30 m after 30 and holds.
    e2e::process replay(navreplay({"--simulate", "--rate", "100", "--count", "500", "--echo",
                                   "--lat", "-33.5", "--lon", "151.25", "--course", "225",
                                   "--speed", "8", "--dive-depth", "30", "--descent-rate", "1"}),
                        {.stdoutPath = dir.path("sent.txt")});
    auto status = replay.waitExit(30s);
    std::string summary = replay.err();
    ASSERT_EQ(status, 0) << summary;
    EXPECT_TRUE(summary.starts_with("navreplay: sent 500 sentences (ship 400, rov 100) in "))
        << summary;

    std::vector<std::string> sent = splitLines(readFile(dir.path("sent.txt")));
    ASSERT_EQ(sent.size(), 500u);
    for (const auto &line : sent) {
        EXPECT_TRUE(nmeaChecksumValid(line.substr(line.find('$')))) << line;
    }
    std::string json = queryJson();
    expectRecordShape(json);
    expectShipValues(json, sent);

    auto gga = nmeaFields(lastStartingWith(sent, "rov $GPGGA"));
    EXPECT_NEAR(jsonNumber(json, "ROV.POSITION.LAT"), nmeaDegrees(gga[2], 2, gga[3]), 1e-6);
    EXPECT_NEAR(jsonNumber(json, "ROV.POSITION.LON"), nmeaDegrees(gga[4], 3, gga[5]), 1e-6);
    EXPECT_EQ(gga[9], "30.00");
    EXPECT_EQ(jsonValue(json, "ROV.KELTO.DEPTH"), "30.000000");
    // The fix time is its time of day on the UTC day that puts it nearest the host clock.
    auto now = static_cast<std::int64_t>(jsonNumber(json, "LOGHOST.SYSTEM.UTC"));
    std::int64_t fix = now - now % 86400 + nmeaSecondsOfDay(gga[1]);
    if (fix - now > 43200) fix -= 86400;
    if (now - fix > 43200) fix += 86400;
    EXPECT_EQ(jsonValue(json, "ROV.POSITION.LAT.UTC"), std::to_string(fix) + ".000000");
}

}  // namespace
