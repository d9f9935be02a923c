// The server's sockets and its one wait loop.
#pragma once

#include <netinet/in.h>
#include <sys/select.h>

#include <cstdint>
#include <cstdio>

#include "../sentences/navigation.h"
#include "query.h"

inline constexpr int shipPort = 38002;
inline constexpr int rovPort = 20289;
inline constexpr int queryPort = 8080;
inline constexpr int inputTimeoutSeconds = 10;
// The most bytes one receive takes; the rest of a longer datagram is lost.
inline constexpr int datagramSize = 1024;

// What the loop touches outside its sockets: the clock and standard output.
struct hostIO {
    clockFn clock;
    std::FILE *console;
};

// Everything the server owns for its whole run; main keeps one, and nothing else is allocated.
struct serverState {
    int serverfd;
    int shipfd;
    int rovfd;
    int maxfd;  // highest of the three: the wait's bound is one more
    fd_set active_fd_set;
    sockaddr_in cliaddr;
    shipData ship;
    rovData rov;
    // One spare byte past each buffer stays zero, so that a full datagram is still a
    // terminated text and nothing reads beyond what was received.
    char tavrin_buffer[datagramSize + 1];
    char ship_buffer[datagramSize + 1];
    char rov_buffer[datagramSize + 1];
    char dataString[recordCapacity];
};

// The host's clock, in whole seconds since the epoch.
std::int64_t hostClock();

// A UDP socket bound to port on every local address, with a receive time-out. Ends the process
// with "bind failed" when the port cannot be had.
int createUDPListenSocket(int port, int rcvtimeout);

// Zeroes the records and watches the three sockets already in st.
void watchSockets(serverState &st);

// One pass of the loop: waits until a socket is readable, then takes one datagram from each
// readable socket, in the order query, ship, vehicle. Returns the wait's result: negative when
// the wait failed (errno tells why), and then nothing was served.
int servePass(serverState &st, const hostIO &io);
