#include "protocol/queryClient.h"

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "protocol/navProtocol.h"

namespace navproto {

queryClient::queryClient(const sockaddr_in &server, std::chrono::milliseconds timeout, int retries,
                         const volatile std::sig_atomic_t *stop)
    : timeout_(timeout), retries_(retries), stop_(stop) {
    fd_ = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    // Connected, so that only the server's datagrams arrive, and a port where nothing listens
    // is reported by the kernel instead of looking like a slow server.
    if (fd_ >= 0 && connect(fd_, reinterpret_cast<const sockaddr *>(&server), sizeof server) != 0) {
        problem_ = std::strerror(errno);
        close(fd_);
        fd_ = -1;
    }
}

queryClient::~queryClient() {
    if (fd_ >= 0) close(fd_);
}

askResult queryClient::ask(std::string_view query, std::string &reply) {
    if (fd_ < 0) {
        if (problem_.empty()) problem_ = std::strerror(errno);
        return askResult::failed;
    }
    problem_.clear();
    for (int attempt = 0; attempt <= retries_; ++attempt) {
        if (stopRaised()) return askResult::interrupted;
        dropLateReplies();
        // A failed send is one more lost datagram: the wait below runs out and the next try
        // sends again.
        if (send(fd_, query.data(), query.size(), 0) < 0) problem_ = std::strerror(errno);
        if (waitForReply(reply)) return askResult::answered;
        if (stopRaised()) return askResult::interrupted;
    }
    return askResult::noReply;
}

// Waits out one try's time-out. A refusal (nothing listens on the port) does not end the try
// early: the server may be starting, and the next try should find it.
bool queryClient::waitForReply(std::string &reply) {
    auto deadline = std::chrono::steady_clock::now() + timeout_;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return false;
        pollfd ready{fd_, POLLIN, 0};
        int n = poll(&ready, 1, static_cast<int>(left.count()) + 1);
        if (n < 0 && errno == EINTR && stopRaised()) return false;
        if (n <= 0) continue;
        reply.resize(maxReplyBytes);
        ssize_t got = recv(fd_, reply.data(), reply.size(), MSG_DONTWAIT);
        if (got >= 0) {
            reply.resize(static_cast<std::size_t>(got));
            return true;
        }
        if (errno == ECONNREFUSED) problem_ = "nothing listens on that port";
    }
}

// A reply that came after its try ran out would otherwise be taken as the answer to the next
// query, possibly of the other kind.
void queryClient::dropLateReplies() {
    char scrap[1];
    while (recv(fd_, scrap, sizeof scrap, MSG_DONTWAIT | MSG_TRUNC) >= 0 || errno == ECONNREFUSED) {
    }
}

}  // namespace navproto
