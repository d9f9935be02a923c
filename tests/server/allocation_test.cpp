// Serving datagrams and queries must not touch the heap. Every allocation in this process goes
// through the counting wrappers below (operator new included, which calls malloc), so a pass
// that allocates anything, directly or inside the C library, shows up in the count.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "../sentences/sentenceFixtures.h"
#include "loopbackSocket.h"
#include "server/loop.h"

extern "C" {
void *__libc_malloc(size_t);
void *__libc_calloc(size_t, size_t);
void *__libc_realloc(void *, size_t);
void *__libc_memalign(size_t, size_t);

static std::atomic<long> allocations{0};

void *malloc(size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_malloc(n);
}
void *calloc(size_t n, size_t size) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_calloc(n, size);
}
void *realloc(void *p, size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_realloc(p, n);
}
void *memalign(size_t alignment, size_t n) {
    allocations.fetch_add(1, std::memory_order_relaxed);
    return __libc_memalign(alignment, n);
}
}

namespace {

TEST(Allocation, ServingThousandsOfDatagramsAllocatesNothing) {
    static serverState st{};
    st.serverfd = loopbackSocket();
    st.shipfd = loopbackSocket();
    st.rovfd = loopbackSocket();
    watchSockets(st);
    int client = loopbackSocket();
    fixtures::capturedConsole console;
    fixtures::scriptedClock::set({1709626026});
    hostIO io{fixtures::scriptedClock::read, console.get()};

    const std::vector<std::pair<int, std::string>> traffic = {
        {st.shipfd, "$GPZDA,201530.00,04,07,2002,00,00*60"},
        {st.shipfd, "$GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47"},
        {st.shipfd, "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48"},
        {st.shipfd, "$GPHDT,274.07,T*03"},
        {st.shipfd, "$GPHDT,1e999,T*03"},
        {st.shipfd, std::string(1500, ',')},
        {st.rovfd, "$GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,*5C"},
        {st.serverfd, "HEADER"},
        {st.serverfd, "status"},
        {st.serverfd, ""},
    };
    std::vector<sockaddr_in> addresses;
    for (const auto &[fd, bytes] : traffic) {
        sockaddr_in to{};
        socklen_t len = sizeof to;
        getsockname(fd, reinterpret_cast<sockaddr *>(&to), &len);
        addresses.push_back(to);
    }
    char reply[8192];
    auto exchange = [&](std::size_t i) {
        const auto &[fd, bytes] = traffic[i];
        sendto(client, bytes.data(), bytes.size(), 0,
               reinterpret_cast<const sockaddr *>(&addresses[i]), sizeof addresses[i]);
        pollfd p{fd, POLLIN, 0};
        poll(&p, 1, 1000);
        servePass(st, io);
        if (fd == st.serverfd) recv(client, reply, sizeof reply, 0);
    };

    for (std::size_t i = 0; i < traffic.size(); ++i) exchange(i);  // stdio sets up its buffers

    // The counter itself must see an allocation, or its zero below would prove nothing.
    long probeStart = allocations.load();
    static void *volatile probe;
    probe = std::malloc(64);
    std::free(probe);
    ASSERT_GT(allocations.load(), probeStart);

    long before = allocations.load();
    for (int round = 0; round < 300; ++round) {
        for (std::size_t i = 0; i < traffic.size(); ++i) exchange(i);
    }
    long after = allocations.load();
    EXPECT_EQ(after - before, 0);
    EXPECT_EQ(st.ship.heading, HUGE_VAL);
    EXPECT_EQ(st.rov.depth, -250.3);
    close(client);
}

}  // namespace
