#include "loop.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <ctime>

std::int64_t hostClock() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

int createUDPListenSocket(int port, int rcvtimeout) {
    // Neither the socket nor the option is checked: a socket that could not be made fails
    // its bind below, and one without a time-out still works, since every receive is
    // non-blocking.
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    timeval timeout{rcvtimeout, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
    sockaddr_in clientaddr{};
    clientaddr.sin_family = AF_INET;
    clientaddr.sin_port = htons(static_cast<std::uint16_t>(port));
    clientaddr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr *>(&clientaddr), sizeof clientaddr) < 0) {
        perror("bind failed");
        std::exit(1);
    }
    return fd;
}

void watchSockets(serverState &st) {
    std::memset(&st.ship, 0, sizeof st.ship);
    std::memset(&st.rov, 0, sizeof st.rov);
    FD_ZERO(&st.active_fd_set);
    FD_SET(st.serverfd, &st.active_fd_set);
    FD_SET(st.shipfd, &st.active_fd_set);
    FD_SET(st.rovfd, &st.active_fd_set);
    st.maxfd = std::max({st.serverfd, st.shipfd, st.rovfd});
}

namespace {

// Every receive is non-blocking: a readiness report without a datagram behind it costs one
// failed receive, never a stall.
int receiveInto(int fd, char (&buffer)[datagramSize + 1], sockaddr_in *from, socklen_t *len) {
    std::memset(buffer, 0, sizeof buffer);
    return static_cast<int>(
        recvfrom(fd, buffer, datagramSize, MSG_DONTWAIT, reinterpret_cast<sockaddr *>(from), len));
}

void serveQuery(serverState &st, const hostIO &io) {
    socklen_t len = sizeof st.cliaddr;
    int n = receiveInto(st.serverfd, st.tavrin_buffer, &st.cliaddr, &len);
    std::fprintf(io.console, "Received message from client %d\n", n);
    std::fflush(io.console);
    replyToQuery(st.tavrin_buffer, n, queryPeer{st.serverfd, &st.cliaddr, len}, st.ship, st.rov,
                 io.clock, io.console, st.dataString);
}

void takeShipSentence(serverState &st, const hostIO &io) {
    receiveInto(st.shipfd, st.ship_buffer, nullptr, nullptr);
    parseShipNMEA(st.ship_buffer, &st.ship, io.clock, io.console);
}

void takeVehicleSentence(serverState &st, const hostIO &io) {
    int n = receiveInto(st.rovfd, st.rov_buffer, nullptr, nullptr);
    // The echo is best effort: a console that has gone away must not stop the navigation.
    if (n > 0) std::fwrite(st.rov_buffer, 1, static_cast<std::size_t>(n), io.console);
    std::fflush(io.console);
    parseROVData(st.rov_buffer, &st.rov, io.clock);
}

}  // namespace

int servePass(serverState &st, const hostIO &io) {
    fd_set read_fd_set = st.active_fd_set;  // select overwrites the set it is given
    int ready = select(st.maxfd + 1, &read_fd_set, nullptr, nullptr, nullptr);
    if (ready < 0) return ready;
    if (FD_ISSET(st.serverfd, &read_fd_set)) serveQuery(st, io);
    if (FD_ISSET(st.shipfd, &read_fd_set)) takeShipSentence(st, io);
    if (FD_ISSET(st.rovfd, &read_fd_set)) takeVehicleSentence(st, io);
    return ready;
}
