// The real server binary on its real ports, each test in a network namespace of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <ctime>
#include <string>
#include <thread>

#include "harness.h"

namespace {

using namespace e2e;

constexpr int shipPort = 38002;
constexpr int rovPort = 20289;
constexpr int queryPort = 8080;

const std::string header =
    "LOGHOST.SYSTEM.UTC,SHIP.GPS.TIME,ROV.PRESSURE,ROV.CTD.PRESSURE,SHIP.GPS.LAT,SHIP.GPS.LON,"
    "SHIP.GPS.DIFFERENTIAL,SHIP.GPS.HORIZONTAL_VELOCITY,SHIP.GPS.HDOP,SHIP.GYRO.DEGREES.UTC,"
    "SHIP.GYRO.DEGREES,SHIP.WIND.TRUE_SPEED.UTC,SHIP.WIND.TRUE_SPEED,SHIP.WIND.TRUE_DIRECTION,"
    "ROV.POSITION.LAT.UTC,ROV.POSITION.LAT,ROV.POSITION.LON,ROV.KELTO.DEPTH,ROV.HEADING,ROV.PITCH,"
    "ROV.ROLL,ROV.ALTITUDE,LOGHOST.SYSTEM.CLOCKTIME.YEAR,LOGHOST.SYSTEM.CLOCKTIME.YEARDAY,"
    "LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING,LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE";

std::int64_t now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// Checks the fixed parts of a record and returns its fields.
std::vector<std::string> checkedRecord(const std::string &record, std::int64_t before,
                                       std::int64_t after) {
    auto f = splitFields(record);
    EXPECT_EQ(f.size(), 26u) << record;
    if (f.size() != 26) return f;
    std::int64_t clock = std::stoll(f[0]);
    EXPECT_GE(clock, before);
    EXPECT_LE(clock, after);
    for (int i : {2, 3, 11, 12, 13, 18, 19, 20, 21}) EXPECT_EQ(f[i], "NO_ITEM") << i;
    EXPECT_EQ(f[1], f[9]);
    EXPECT_EQ(f[25], "+0");
    EXPECT_EQ(f[24].size(), 24u);
    return f;
}

// The server's state becomes visible through a status query; ask until a predicate holds, so
// that a test waits for datagrams already sent without sleeping a guessed time.
std::vector<std::string> queryUntil(const udpClient &client,
                                    bool (*done)(const std::vector<std::string> &)) {
    std::vector<std::string> f;
    for (int attempt = 0; attempt < 200; ++attempt) {
        client.send(queryPort, "status");
        auto reply = client.receive();
        if (reply) {
            f = splitFields(*reply);
            if (done(f)) return f;
        }
        std::this_thread::sleep_for(5ms);
    }
    return f;
}

TEST(ServerEndToEnd, AnswersHeaderAndStatusQueries) {
    auto server = startServer();
    udpClient client;

    client.send(queryPort, "HEADER");
    EXPECT_EQ(client.receive().value_or("<none>"), header);
    EXPECT_TRUE(server->waitForStdout("sending header to client\n"));
    EXPECT_EQ(server->out(), "Received message from client 6\nsending header to client\n");

    std::int64_t before = now();
    client.send(queryPort, "status please");
    auto record = client.receive().value_or("<none>");
    std::int64_t after = now();
    auto f = checkedRecord(record, before, after);
    EXPECT_EQ(record.substr(record.find(',')),
              ",0,NO_ITEM,NO_ITEM,0.000000,0.000000,0,0.000000,0.000000,0,0.000000,NO_ITEM,"
              "NO_ITEM,NO_ITEM,0.000000,0.000000,0.000000,0.000000,NO_ITEM,NO_ITEM,NO_ITEM,"
              "NO_ITEM," +
                  f[22] + "," + f[23] + "," + f[24] + ",+0");

    // The record line waits in the buffer until the next flush, which the next query brings.
    EXPECT_TRUE(server->waitForStdout("client 13\n"));
    client.send(queryPort, "HEADER");
    client.receive();
    EXPECT_TRUE(server->waitForStdout(record + "\nReceived message from client 6\nsending header"));
    EXPECT_EQ(server->out(),
              "Received message from client 6\nsending header to client\n"
              "Received message from client 13\n" +
                  record + "\nReceived message from client 6\nsending header to client\n");
}

TEST(ServerEndToEnd, ShipSentencesReachTheRecord) {
    auto server = startServer();
    udpClient client;
    client.send(shipPort, "$GPZDA,201530.00,04,07,2002,00,00*60\r\n");
    client.send(shipPort, "$GPGGA,123519,3352.128,S,15112.558,W,2,08,0.9,545.4,M,46.9,M,,*47\r\n");
    client.send(shipPort, "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n");
    client.send(shipPort, "$GPHDT,274.07,T*03\r\n");
    auto f =
        queryUntil(client, [](const auto &f) { return f.size() == 26 && f[10] != "0.000000"; });
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(f[1], "1025813730");
    EXPECT_EQ(f[4], "-33.868800");
    EXPECT_EQ(f[5], "-151.209300");
    EXPECT_EQ(f[6], "2");
    EXPECT_EQ(f[7], "5.500000");
    EXPECT_EQ(f[8], "0.900000");
    EXPECT_EQ(f[9], "1025813730");
    EXPECT_EQ(f[10], "274.070000");
    EXPECT_TRUE(server->waitForStdout("zda:1025813730 system:"));
}

TEST(ServerEndToEnd, VehicleSentencesAreEchoedAndReachTheRecord) {
    auto server = startServer();
    udpClient client;
    const std::string sentence =
        "$GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,*5C\r\n";
    std::int64_t before = now();
    client.send(rovPort, sentence);
    EXPECT_TRUE(server->waitForStdout(sentence));
    auto f =
        queryUntil(client, [](const auto &f) { return f.size() == 26 && f[17] != "0.000000"; });
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(f[15], "36.602057");
    EXPECT_EQ(f[16], "-121.868723");
    EXPECT_EQ(f[17], "-250.300000");
    // 12:34:56 on the UTC day nearest the clock.
    std::int64_t fix = std::stoll(f[14]);
    EXPECT_EQ(f[14], std::to_string(fix) + ".000000");
    EXPECT_EQ(fix % 86400, 45296);
    EXPECT_LE(std::llabs(fix - before), 43200 + 5);
}

TEST(ServerEndToEnd, ThreeWaitingDatagramsAreServedQueryFirst) {
    auto server = startServer();
    udpClient client;
    // Held still while all three arrive, the server finds them together in one wait.
    server->pause();
    const std::string vehicle = "$GPGGA,120000,3636.1234,N,12152.1234,W,1,08,0.9,-7.5";
    client.send(rovPort, vehicle);
    client.send(shipPort, "$GPHDT,274.07,T");
    client.send(queryPort, "q");
    std::this_thread::sleep_for(100ms);
    server->resume();
    auto record = client.receive().value_or("<none>");
    auto f = splitFields(record);
    ASSERT_EQ(f.size(), 26u);
    EXPECT_EQ(f[10], "0.000000");  // built before the heading was decoded
    EXPECT_EQ(f[17], "0.000000");
    EXPECT_TRUE(server->waitForStdout(vehicle));
    EXPECT_EQ(server->out(), "Received message from client 1\n" + record + "\n" + vehicle);
    f = queryUntil(client, [](const auto &f) { return f.size() == 26 && f[10] != "0.000000"; });
    EXPECT_EQ(f[10], "274.070000");
    EXPECT_EQ(f[17], "-7.500000");
}

TEST(ServerEndToEnd, EmptyFullAndOverlongDatagramsOnEachPort) {
    auto server = startServer();
    udpClient client;
    std::string head = "$GPGGA,120000,3636.1234,N,12152.1234,W,1,08,0.9,";
    std::string full = head + std::string(1024 - head.size() - 2, '0') + "42";

    client.send(rovPort, "");
    client.send(shipPort, "");
    client.send(rovPort, full + "99999");  // only the first 1024 bytes arrive
    EXPECT_TRUE(server->waitForStdout(full));
    EXPECT_EQ(server->out(), full);

    client.send(shipPort, "$GPHDT," + std::string(1024 - 7 - 2, ' ') + "12" + "345");
    auto f =
        queryUntil(client, [](const auto &f) { return f.size() == 26 && f[10] != "0.000000"; });
    EXPECT_EQ(f[10], "12.000000");
    EXPECT_EQ(f[17], "42.000000");

    client.send(queryPort, "");
    auto reply = client.receive().value_or("<none>");
    EXPECT_EQ(splitFields(reply).size(), 26u);
    client.send(queryPort, "HEADER" + std::string(5000, '!'));
    EXPECT_EQ(client.receive().value_or("<none>"), header);
    EXPECT_TRUE(server->waitForStdout("client 1024\nsending header to client\n"));
    EXPECT_NE(server->out().find("Received message from client 0\n"), std::string::npos);
}

TEST(ServerEndToEnd, VehicleEchoCarriesEveryByteAroundAZero) {
    auto server = startServer();
    udpClient client;
    const char raw[] = "$GPGGA,120000,3636.1234,S\0,12152.1234,W,1,08,0.9,-250.3\r\n";
    const std::string datagram(raw, sizeof raw - 1);
    client.send(rovPort, datagram);
    EXPECT_TRUE(server->waitForStdout("-250.3\r\n"));
    EXPECT_EQ(server->out(), datagram);
    auto f =
        queryUntil(client, [](const auto &f) { return f.size() == 26 && f[15] != "0.000000"; });
    EXPECT_EQ(f[15], "-36.602057");
    EXPECT_EQ(f[16], "0.000000");
    EXPECT_EQ(f[17], "0.000000");
}

TEST(ServerEndToEnd, EachTakenPortEndsStartUpWithBindFailed) {
    for (int port : {shipPort, rovPort, queryPort}) {
        int taken = occupyUdpPort(port);
        ASSERT_GE(taken, 0);
        process server({serverPath()});
        EXPECT_EQ(server.waitExit(), 1) << port;
        EXPECT_EQ(server.err(), "bind failed: Address already in use\n") << port;
        EXPECT_EQ(server.readStdout(1, 100ms), "") << port;
        close(taken);
    }
}

TEST(ServerEndToEnd, ServesSocketsBeyondTheFirstTenDescriptors) {
    process::options opts;
    opts.extraDescriptors = 10;
    auto server = startServer(opts);
    ASSERT_TRUE(server->alive());
    udpClient client;
    client.send(shipPort, "$GPHDT,91.5,T");
    client.send(rovPort, "$GPGGA,120000,3636.1234,N,12152.1234,W,1,08,0.9,-5");
    auto f = queryUntil(client, [](const auto &f) {
        return f.size() == 26 && f[10] == "91.500000" && f[17] == "-5.000000";
    });
    EXPECT_EQ(f[10], "91.500000");
    EXPECT_EQ(f[17], "-5.000000");
}

TEST(ServerEndToEnd, KeepsServingWithoutAConsole) {
    for (bool closedAtStart : {true, false}) {
        process::options opts;
        opts.closeStdout = closedAtStart;
        auto server = startServer(opts);
        if (!closedAtStart) server->closeStdoutReader();  // the reader goes away: broken pipe
        udpClient client;
        for (int i = 0; i < 50; ++i) {
            client.send(rovPort, "$GPGGA,120000,3636.1234,N,12152.1234,W,1,08,0.9,-" +
                                     std::to_string(i) + "\r\n");
        }
        client.send(shipPort, "$GPZDA,201530.00,04,07,2002,00,00*60");
        auto f = queryUntil(client, [](const auto &f) {
            return f.size() == 26 && f[17] == "-49.000000" && f[1] == "1025813730";
        });
        EXPECT_EQ(f[17], "-49.000000") << closedAtStart;
        client.send(queryPort, "HEADER");
        EXPECT_EQ(client.receive().value_or("<none>"), header);
        EXPECT_TRUE(server->alive());
    }
}

TEST(ServerEndToEnd, ASessionOfShipAndVehicleSentences) {
    auto server = startServer();
    udpClient client;
    // A second of a real ship's output, then the vehicle below it, then the next second.
    const char *ship[] = {
        "$GPZDA,000000.70,01,08,2014,,*6F",
        "$GPGGA,000000.70,2200.112071,S,01756.360200,W,1,10,0.9,1.04,M,,M,,*41",
        "$GPVTG,213.66,T,,M,9.4,N,,K,A*1E",
        "$GPHDT,218.83,T*05",
        "$PSXN,20,1,0,0,0*3A",
    };
    for (const char *s : ship) client.send(shipPort, std::string(s) + "\r\n");
    client.send(rovPort, "$GPGGA,000001.00,2200.2000,S,01756.4000,W,1,08,0.9,-1500.5,M,,M,,\r\n");
    std::this_thread::sleep_for(300ms);
    client.send(shipPort, "$GPZDA,000001.70,01,08,2014,,*6E\r\n");
    client.send(shipPort, "$GPHDT,219.01,T*05\r\n");
    client.send(rovPort, "$GPGGA,000002.00,2200.2100,S,01756.4100,W,1,08,0.9,-1501.25,M,,M,,\r\n");

    std::int64_t before = now();
    auto f = queryUntil(client, [](const auto &f) {
        return f.size() == 26 && f[10] == "219.010000" && f[17] == "-1501.250000";
    });
    auto record = client.receive(10ms);  // nothing else is waiting
    EXPECT_FALSE(record.has_value());
    ASSERT_EQ(f.size(), 26u);
    checkedRecord(
        [&] {
            std::string joined;
            for (std::size_t i = 0; i < f.size(); ++i) joined += (i ? "," : "") + f[i];
            return joined;
        }(),
        before - 5, now());
    EXPECT_EQ(f[1], "1406851201");
    EXPECT_EQ(f[4], "-22.001868");
    EXPECT_EQ(f[5], "-17.939337");
    EXPECT_EQ(f[6], "1");
    EXPECT_EQ(f[7], "9.400000");
    EXPECT_EQ(f[8], "0.900000");
    EXPECT_EQ(f[9], "1406851201");
    EXPECT_EQ(f[10], "219.010000");
    std::int64_t fix = std::stoll(f[14]);
    EXPECT_EQ(fix % 86400, 2);
    EXPECT_EQ(f[15], "-22.003500");
    EXPECT_EQ(f[16], "-17.940167");
    EXPECT_EQ(f[17], "-1501.250000");
    EXPECT_TRUE(server->waitForStdout("zda:1406851201 system:"));
    EXPECT_NE(server->out().find("zda:1406851200 system:"), std::string::npos);
}

}  // namespace
