// navreplay as a program: what reaches the ports, byte for byte, from files and from the
// simulation, and how it stops. Sinks on loopback stand in for the server.
#include <signal.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolRun.h"

namespace {

using namespace toolsE2e;

constexpr int shipPort = 41001;
constexpr int rovPort = 41002;

std::vector<std::string> toPorts(std::vector<std::string> args) {
    args.insert(args.end(),
                {"--ship-port", std::to_string(shipPort), "--rov-port", std::to_string(rovPort)});
    return navreplay(std::move(args));
}

TEST(Navreplay, FastReplaySendsEveryLineInOrderWithItsLineEnd) {
    datagramSink ship(shipPort);
    toolResult r =
        runTool(toPorts({"--ship", dataFile("ship-seapath.nmea"), "--fast", "--count", "150"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_TRUE(r.err.starts_with("navreplay: sent 150 sentences (ship 150, rov 0) in ")) << r.err;
    EXPECT_EQ(r.out, "");

    std::vector<std::string> lines = splitLines(readFile(dataFile("ship-seapath.nmea")));
    std::vector<std::string> got = ship.receive(151, 500ms);
    ASSERT_EQ(got.size(), 150u);
    for (std::size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], lines[i] + "\r\n") << i;
}

TEST(Navreplay, LogLinesAreCleanedAndEachFileGoesToItsPort) {
    tempDir dir;
    std::string shipLog =
        dir.write("ship.nmea",
                  "# a comment line\r\n"
                  "\r\n"
                  "2014-08-01T00:00:00.814000Z $GPZDA,000000.70,01,08,2014,,*6F\r\n"
                  "   $GPHDT,218.83,T*05   \r\n"
                  "2014-08-01T00:00:01.000000Z \n"
                  "$GPHDT,218.84,T*02");  // no line end at all
    std::string rovLog = dir.write("rov.nmea",
                                   "$GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,"
                                   "-32.1,M,,*5C\n");
    struct lineEndCase {
        std::vector<std::string> extra;
        std::string end;
    };
    for (const auto &c : {lineEndCase{{}, "\r\n"}, lineEndCase{{"--no-crlf"}, ""}}) {
        SCOPED_TRACE(c.end.empty() ? "without line ends" : "with CR LF");
        datagramSink ship(shipPort);
        datagramSink rov(rovPort);
        std::vector<std::string> args = {"--ship", shipLog, "--rov", rovLog, "--fast"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        toolResult r = runTool(toPorts(args));
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(
            ship.receive(4, 500ms),
            (std::vector<std::string>{"$GPZDA,000000.70,01,08,2014,,*6F" + c.end,
                                      "$GPHDT,218.83,T*05" + c.end, "$GPHDT,218.84,T*02" + c.end}));
        EXPECT_EQ(rov.receive(2, 500ms),
                  (std::vector<std::string>{"$GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,"
                                            "-250.3,M,-32.1,M,,*5C" +
                                            c.end}));
        EXPECT_TRUE(r.err.starts_with("navreplay: sent 4 sentences (ship 3, rov 1) in ")) << r.err;
    }
}

TEST(Navreplay, LoopStartsTheFileAgainUntilTheCount) {
    tempDir dir;
    std::string log = dir.write("two.nmea", "$GPHDT,1.00,T*0C\n# skipped\n$GPHDT,2.00,T*0F\n");
    datagramSink ship(shipPort);
    toolResult r =
        runTool(toPorts({"--ship", log, "--loop", "--rate", "1000", "--count", "5", "--no-crlf"}));
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(ship.receive(6, 500ms),
              (std::vector<std::string>{"$GPHDT,1.00,T*0C", "$GPHDT,2.00,T*0F", "$GPHDT,1.00,T*0C",
                                        "$GPHDT,2.00,T*0F", "$GPHDT,1.00,T*0C"}));

    // A file with nothing to send ends the replay even when looping.
    std::string empty = dir.write("empty.nmea", "# nothing\n\n");
    toolResult none = runTool(toPorts({"--ship", empty, "--loop", "--fast"}), 10s);
    EXPECT_EQ(none.status, 0);
    EXPECT_TRUE(none.err.starts_with("navreplay: sent 0 sentences")) << none.err;
}

TEST(Navreplay, SimulationSendsValidSentencesToBothPorts) {
    datagramSink ship(shipPort);
    datagramSink rov(rovPort);
    toolResult r = runTool(toPorts({"--simulate", "--fast", "--count", "15", "--echo"}));
    ASSERT_EQ(r.status, 0) << r.err;
    std::vector<std::string> shipGot = ship.receive(13, 500ms);
    std::vector<std::string> rovGot = rov.receive(4, 500ms);
    ASSERT_EQ(shipGot.size(), 12u);
    ASSERT_EQ(rovGot.size(), 3u);
    const char *order[] = {"$GPZDA,", "$GPGGA,", "$GPVTG,", "$GPHDT,"};
    for (std::size_t i = 0; i < shipGot.size(); ++i) {
        EXPECT_TRUE(shipGot[i].starts_with(order[i % 4])) << shipGot[i];
        ASSERT_TRUE(shipGot[i].ends_with("\r\n"));
        EXPECT_TRUE(nmeaChecksumValid(shipGot[i].substr(0, shipGot[i].size() - 2))) << shipGot[i];
    }
    for (const auto &s : rovGot) {
        EXPECT_TRUE(s.starts_with("$GPGGA,")) << s;
        EXPECT_TRUE(nmeaChecksumValid(s.substr(0, s.size() - 2))) << s;
    }
    // The echo shows exactly what went out, stream by stream.
    std::vector<std::string> echoed = splitLines(r.out);
    ASSERT_EQ(echoed.size(), 15u);
    std::size_t s = 0, v = 0;
    for (const auto &line : echoed) {
        if (line.starts_with("ship ")) {
            EXPECT_EQ(line.substr(5) + "\r\n", shipGot.at(s++));
        } else {
            EXPECT_EQ(line.substr(0, 4), "rov ");
            EXPECT_EQ(line.substr(4) + "\r\n", rovGot.at(v++));
        }
    }
}

TEST(Navreplay, StopsAtTheDurationOrOnCtrlC) {
    datagramSink ship(shipPort);
    toolResult timed = runTool(toPorts({"--simulate", "--duration", "0.3"}), 10s);
    EXPECT_EQ(timed.status, 0);
    EXPECT_TRUE(timed.err.starts_with("navreplay: sent ")) << timed.err;
    ship.receive(100, 200ms);  // what the timed run sent

    e2e::process running(toPorts({"--simulate"}));
    ASSERT_EQ(ship.receive(4, 5000ms).size(), 4u);  // the first simulated second
    kill(running.pid(), SIGINT);
    EXPECT_EQ(running.waitExit(5s), 0);
    EXPECT_TRUE(running.err().starts_with("navreplay: sent ")) << running.err();
}

TEST(Navreplay, UsageErrorsGiveStatus2) {
    toolResult help = runTool(navreplay({"--help"}));
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  2  usage error"), std::string::npos);

    struct usageCase {
        std::vector<std::string> args;
        const char *why;
    };
    const usageCase cases[] = {
        {{}, "navreplay: nothing to send: give --ship FILE, --rov FILE or --simulate\n"},
        {{"--simulate", "--ship", "x.nmea"}, "navreplay: --simulate sends no files"},
        {{"--ship", "x.nmea", "--fast", "--rate", "5"}, "navreplay: give one pace"},
        {{"--ship", "x.nmea", "--course", "90"},
         "navreplay: --course sets up the simulation: use it with --simulate\n"},
        {{"--simulate", "--recorded-pace"}, "navreplay: --recorded-pace replays files"},
        {{"--simulate", "--lat", "91"}, "navreplay: --lat needs a number from -89 to 89, not '91'"},
        {{"--ship", "x.nmea", "--rate", "0"},
         "navreplay: --rate needs a number from 0.001 to 1e+09, not '0'\n"},
        {{"--frobnicate"}, "navreplay: unknown option --frobnicate\n"},
    };
    for (const auto &c : cases) {
        toolResult r = runTool(navreplay(c.args));
        EXPECT_EQ(r.status, 2) << (c.args.empty() ? "" : c.args[0]);
        EXPECT_TRUE(r.err.starts_with(c.why)) << r.err;
    }

    toolResult missing = runTool(navreplay({"--ship", "/nonexistent/ship.nmea"}));
    EXPECT_EQ(missing.status, 1);
    EXPECT_EQ(missing.err,
              "navreplay: cannot read /nonexistent/ship.nmea: No such file or directory\n");
}

}  // namespace
