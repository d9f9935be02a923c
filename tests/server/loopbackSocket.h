// A UDP socket on 127.0.0.1 with a port of the kernel's choosing, for tests that drive the
// loop's sockets directly.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <string>

inline int loopbackSocket() {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr);
    return fd;
}

// The next datagram on fd, or "<none>" when nothing arrives within a second.
inline std::string receiveReply(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 1000) != 1) return "<none>";
    char buf[8192];
    ssize_t n = recv(fd, buf, sizeof buf, 0);
    return std::string(buf, static_cast<std::size_t>(n));
}
