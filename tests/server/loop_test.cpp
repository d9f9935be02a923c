// One pass of the wait loop at a time, on real loopback sockets with ephemeral ports, with a
// scripted clock and a console whose flushes can be observed.
#include "server/loop.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstring>
#include <string>

#include "../sentences/sentenceFixtures.h"
#include "loopbackSocket.h"

namespace {

using fixtures::capturedConsole;
using fixtures::scriptedClock;

sockaddr_in addressOf(int fd) {
    sockaddr_in addr{};
    socklen_t len = sizeof addr;
    getsockname(fd, reinterpret_cast<sockaddr *>(&addr), &len);
    return addr;
}

class ServePass : public testing::Test {
  protected:
    serverState st{};
    int client = loopbackSocket();
    capturedConsole console;
    hostIO io{scriptedClock::read, nullptr};

    void SetUp() override {
        st.serverfd = loopbackSocket();
        st.shipfd = loopbackSocket();
        st.rovfd = loopbackSocket();
        watchSockets(st);
        io.console = console.get();
        scriptedClock::set({1709626026});
    }
    void TearDown() override {
        close(st.serverfd);
        close(st.shipfd);
        close(st.rovfd);
        close(client);
    }
    void sendTo(int fd, const std::string &bytes) {
        sockaddr_in to = addressOf(fd);
        sendto(client, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
    }
    // Waits (bounded) until fd has a datagram queued, so that a pass is sure to see it.
    void awaitQueued(int fd) {
        pollfd p{fd, POLLIN, 0};
        ASSERT_EQ(poll(&p, 1, 1000), 1);
    }
    std::string reply() { return receiveReply(client); }
};

constexpr const char *zeroRecord =
    "1709626026,0,NO_ITEM,NO_ITEM,0.000000,0.000000,0,0.000000,0.000000,0,0.000000,NO_ITEM,"
    "NO_ITEM,NO_ITEM,0.000000,0.000000,0.000000,0.000000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,64,"
    "Tue Mar  5 08:07:06 2024,+0";

TEST_F(ServePass, ServesQueryThenShipThenVehicleFromOnePass) {
    sendTo(st.rovfd, "$GPGGA,080700,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,,M,,*5C");
    sendTo(st.shipfd, "$GPHDT,274.07,T*03");
    sendTo(st.serverfd, "status?");
    awaitQueued(st.serverfd);
    awaitQueued(st.shipfd);
    awaitQueued(st.rovfd);
    EXPECT_EQ(servePass(st, io), 3);

    // The reply was built before this pass's sentences were decoded.
    EXPECT_EQ(reply(), zeroRecord);
    EXPECT_EQ(st.ship.heading, 274.07);
    EXPECT_EQ(st.rov.depth, -250.3);
    EXPECT_EQ(console.flushedText(),
              std::string("Received message from client 7\n") + zeroRecord +
                  "\n$GPGGA,080700,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,,M,,*5C");

    sendTo(st.serverfd, "again");
    awaitQueued(st.serverfd);
    servePass(st, io);
    auto record = reply();
    EXPECT_NE(record.find(",274.070000,"), std::string::npos) << record;
    EXPECT_NE(record.find(",1709626020.000000,36.602057,-121.868723,-250.300000,"),
              std::string::npos)
        << record;
}

TEST_F(ServePass, TakesOneDatagramPerSocketPerPassInOrderOfArrival) {
    sendTo(st.shipfd, "$GPHDT,1.0,T");
    sendTo(st.shipfd, "$GPHDT,2.0,T");
    awaitQueued(st.shipfd);
    servePass(st, io);
    EXPECT_EQ(st.ship.heading, 1.0);
    awaitQueued(st.shipfd);
    servePass(st, io);
    EXPECT_EQ(st.ship.heading, 2.0);
}

TEST_F(ServePass, HeaderQueryIsAnsweredWithTheHeader) {
    sendTo(st.serverfd, "HEADER");
    awaitQueued(st.serverfd);
    servePass(st, io);
    EXPECT_EQ(reply(), headerString);
    EXPECT_EQ(console.flushedText(), "Received message from client 6\nsending header to client\n");
}

TEST_F(ServePass, EmptyDatagramsOnEachPort) {
    sendTo(st.serverfd, "");
    sendTo(st.shipfd, "");
    sendTo(st.rovfd, "");
    awaitQueued(st.serverfd);
    awaitQueued(st.shipfd);
    awaitQueued(st.rovfd);
    servePass(st, io);
    EXPECT_EQ(reply(), zeroRecord);
    EXPECT_EQ(console.text(), std::string("Received message from client 0\n") + zeroRecord + "\n");
    EXPECT_EQ(st.ship.heading, 0.0);
}

TEST_F(ServePass, FullAndOverlongDatagramsAreCutAt1024Bytes) {
    // A vehicle sentence padded to 1024 bytes and beyond: the echo carries the first 1024, the
    // depth field ends at the 1024th byte.
    std::string head = "$GPGGA,120000,3636.1234,N,12152.1234,W,1,08,0.9,";
    std::string full = head + std::string(1024 - head.size() - 3, '0') + "125";
    ASSERT_EQ(full.size(), 1024u);
    for (const std::string &datagram : {full, full + "999999", full + std::string(3000, '7')}) {
        capturedConsole local;
        io.console = local.get();
        sendTo(st.rovfd, datagram);
        awaitQueued(st.rovfd);
        servePass(st, io);
        EXPECT_EQ(local.flushedText(), full);
        EXPECT_EQ(st.rov.depth, 125.0);
        st.rov.depth = 0.0;
    }
    std::string ship = "$GPHDT," + std::string(1024 - 7 - 2, '0') + "42";
    sendTo(st.shipfd, ship + "123");
    awaitQueued(st.shipfd);
    servePass(st, io);
    EXPECT_EQ(st.ship.heading, 42.0);

    std::string query = "HEADER" + std::string(2000, 'x');
    sendTo(st.serverfd, query);
    awaitQueued(st.serverfd);
    capturedConsole local;
    io.console = local.get();
    servePass(st, io);
    EXPECT_EQ(reply(), headerString);
    EXPECT_EQ(local.flushedText(), "Received message from client 1024\nsending header to client\n");
}

TEST_F(ServePass, VehicleEchoKeepsEveryByteButDecodingStopsAtZero) {
    const char raw[] = "$GPGGA,120000,3636.1234,N,\0,12152.1234,W,1,08,0.9,-3\r\n";
    std::string datagram(raw, sizeof raw - 1);
    st.rov.lon = 99.0;
    st.rov.depth = 98.0;
    sendTo(st.rovfd, datagram);
    awaitQueued(st.rovfd);
    servePass(st, io);
    EXPECT_EQ(console.flushedText(), datagram);
    EXPECT_EQ(st.rov.lat, 36 + 36.1234 / 60.0);
    EXPECT_EQ(st.rov.lon, 99.0);
    EXPECT_EQ(st.rov.depth, 98.0);
}

TEST_F(ServePass, WatchesDescriptorsBeyondTen) {
    // Sockets numbered past the first ten are still served: the wait's bound follows them.
    int spare[12];
    for (int &fd : spare) fd = dup(0);
    int high = loopbackSocket();
    ASSERT_GE(high, 10);
    close(st.shipfd);
    st.shipfd = high;
    watchSockets(st);
    sendTo(st.shipfd, "$GPHDT,9.5,T");
    awaitQueued(st.shipfd);
    EXPECT_EQ(servePass(st, io), 1);
    EXPECT_EQ(st.ship.heading, 9.5);
    for (int fd : spare) close(fd);
}

TEST_F(ServePass, AFailedWaitIsReportedToTheCaller) {
    close(st.rovfd);
    EXPECT_LT(servePass(st, io), 0);
    EXPECT_EQ(errno, EBADF);
    st.rovfd = loopbackSocket();
}

}  // namespace
