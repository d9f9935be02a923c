// The navigation data server: ship sentences in on UDP 38002, vehicle sentences in on 20289,
// status queries answered on 8080. One thread, one wait, nothing allocated.
#include <netinet/in.h>
#include <sys/select.h>
#include <sys/socket.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>

#include "loop.h"

int main() {
    // A console reader that goes away must not take the server with it.
    std::signal(SIGPIPE, SIG_IGN);

    serverState st{};
    st.shipfd = createUDPListenSocket(shipPort, inputTimeoutSeconds);
    st.rovfd = createUDPListenSocket(rovPort, inputTimeoutSeconds);

    st.serverfd = socket(AF_INET, SOCK_DGRAM, 0);
    if (st.serverfd < 0) {
        perror("socket creation failed");
        std::exit(1);
    }
    sockaddr_in servaddr{};
    servaddr.sin_family = AF_INET;
    servaddr.sin_port = htons(queryPort);
    servaddr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(st.serverfd, reinterpret_cast<sockaddr *>(&servaddr), sizeof servaddr) < 0) {
        perror("bind failed");
        std::exit(1);
    }
    // select cannot watch a descriptor beyond its set; better to stop now than never serve it.
    if (st.shipfd >= FD_SETSIZE || st.rovfd >= FD_SETSIZE || st.serverfd >= FD_SETSIZE) {
        errno = EMFILE;
        perror("select");
        std::exit(-1);
    }
    watchSockets(st);

    const hostIO io{hostClock, stdout};
    for (;;) {
        if (servePass(st, io) < 0) {
            perror("select");
            std::exit(-1);
        }
    }
}
