// The floor for taking sentences: the server's wait-and-receive loop with nothing else in it.
// Waits with select on the same three ports as the server (the query port included, since
// every wait of the server's pays for watching it), takes one datagram from each readable
// input socket with a non-blocking receive, and writes each vehicle datagram raw to standard
// output, as the server does; nothing is decoded and nothing is answered.
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

int bindUdp(int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<std::uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
        std::perror("bind failed");
        std::exit(1);
    }
    return fd;
}

}  // namespace

int main() {
    int shipfd = bindUdp(38002);
    int rovfd = bindUdp(20289);
    int queryfd = bindUdp(8080);
    fd_set active;
    FD_ZERO(&active);
    FD_SET(shipfd, &active);
    FD_SET(rovfd, &active);
    FD_SET(queryfd, &active);
    int maxfd = queryfd;
    char buffer[1024];
    for (;;) {
        fd_set ready = active;
        if (select(maxfd + 1, &ready, nullptr, nullptr, nullptr) < 0) {
            std::perror("select");
            return 1;
        }
        if (FD_ISSET(shipfd, &ready)) {
            recvfrom(shipfd, buffer, sizeof buffer, MSG_DONTWAIT, nullptr, nullptr);
        }
        if (FD_ISSET(rovfd, &ready)) {
            ssize_t n = recvfrom(rovfd, buffer, sizeof buffer, MSG_DONTWAIT, nullptr, nullptr);
            // Written like the server's echo; what becomes of it is not this loop's concern.
            if (n > 0 && write(1, buffer, static_cast<std::size_t>(n)) < 0) continue;
        }
    }
}
