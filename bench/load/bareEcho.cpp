// The floor for answering queries: waits on the query port with select, takes each query with
// a non-blocking receive and answers its sender at once with a fixed reply of the size given
// as the only argument (the size of the server's status record). Nothing is built or printed.
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

int main(int argc, char **argv) {
    std::size_t replySize = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 205;
    char reply[1024];
    if (replySize > sizeof reply) replySize = sizeof reply;
    std::memset(reply, '0', sizeof reply);

    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(8080);
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) < 0) {
        std::perror("bind failed");
        return 1;
    }
    fd_set active;
    FD_ZERO(&active);
    FD_SET(fd, &active);
    char query[1024];
    for (;;) {
        fd_set ready = active;
        if (select(fd + 1, &ready, nullptr, nullptr, nullptr) < 0) {
            std::perror("select");
            return 1;
        }
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd, query, sizeof query, MSG_DONTWAIT,
                             reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0) continue;
        // As with the server, a lost reply is the client's to notice.
        sendto(fd, reply, replySize, 0, reinterpret_cast<sockaddr *>(&from), len);
    }
}
