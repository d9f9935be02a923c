#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <fstream>

#include "loadBench.h"

#ifndef TAVRIN_SHIP_CAPTURE
#error "TAVRIN_SHIP_CAPTURE must name the captured ship sentences"
#endif

double secondsNow() {
    using clock = std::chrono::steady_clock;
    return std::chrono::duration<double>(clock::now().time_since_epoch()).count();
}

std::vector<std::string> shipSentences() {
    std::ifstream capture(TAVRIN_SHIP_CAPTURE);
    std::vector<std::string> sentences;
    std::string line;
    while (std::getline(capture, line)) {
        if (!line.empty()) sentences.push_back(line + "\r\n");
    }
    if (sentences.empty()) sentences.push_back("$GPHDT,218.83,T*05\r\n");
    return sentences;
}

namespace {

// NMEA's checksum: the exclusive or of everything between '$' and '*'.
std::string withChecksum(const std::string &body) {
    unsigned sum = 0;
    for (char c : body.substr(1)) sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return body + tail;
}

}  // namespace

// A vehicle drifting along a dive track, one fix a second, descending.
std::vector<std::string> vehicleSentences() {
    std::vector<std::string> sentences;
    for (int i = 0; i < 600; ++i) {
        int t = 12 * 3600 + 34 * 60 + i;
        double latMinutes = 36.1234 + i * 0.00017;
        double lonMinutes = 52.1234 + i * 0.00023;
        double depth = -250.3 - i * 0.37;
        char body[160];
        std::snprintf(body, sizeof body,
                      "$GPGGA,%02d%02d%02d.00,36%07.4f,N,121%07.4f,W,1,08,0.9,%.1f,M,-32.1,M,,",
                      t / 3600, t / 60 % 60, t % 60, latMinutes, lonMinutes, depth);
        sentences.push_back(withChecksum(body));
    }
    return sentences;
}

int connectedSocket(int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<std::uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&to), sizeof to) != 0) std::perror("connect");
    return fd;
}

long sendStream(int fd, const std::vector<std::string> &cycle, long count, double rate,
                double limitSec) {
    double start = secondsNow();
    double deadline = start + limitSec;
    long sent = 0;
    std::size_t next = 0;
    while (sent < count) {
        double now = secondsNow();
        if (now > deadline) break;
        // Paced: send what is due by now, then look at the clock again.
        long due = rate > 0 ? std::min(count, static_cast<long>((now - start) * rate) + 1) : count;
        while (sent < due) {
            const std::string &d = cycle[next];
            next = next + 1 == cycle.size() ? 0 : next + 1;
            if (send(fd, d.data(), d.size(), 0) < 0) {
                // A full send buffer only means waiting; anything else ends the stream.
                if (errno != ENOBUFS && errno != EAGAIN) return sent;
                continue;
            }
            ++sent;
            if (rate <= 0 && (sent & 1023) == 0 && secondsNow() > deadline) return sent;
        }
    }
    return sent;
}
