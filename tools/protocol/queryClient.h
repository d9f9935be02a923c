// Asking the server over UDP: one query datagram, one reply datagram, with a time-out per try
// and a number of retries, since either datagram can be lost.
#pragma once

#include <netinet/in.h>

#include <chrono>
#include <csignal>
#include <string>
#include <string_view>

namespace navproto {

enum class askResult {
    answered,
    noReply,      // no reply within the time-out, on any try
    interrupted,  // the stop flag was raised while waiting
    failed,       // no socket could be made
};

class queryClient {
  public:
    // stop may be null; when it is raised during a wait, ask returns interrupted.
    queryClient(const sockaddr_in &server, std::chrono::milliseconds timeout, int retries,
                const volatile std::sig_atomic_t *stop = nullptr);
    ~queryClient();
    queryClient(const queryClient &) = delete;
    queryClient &operator=(const queryClient &) = delete;

    // Sends query and waits for the server's reply, up to 1 + retries tries. The reply is the
    // whole datagram, up to maxReplyBytes.
    askResult ask(std::string_view query, std::string &reply);

    // Why the last ask did not get an answer, for the message ("nothing listens there").
    const std::string &problem() const { return problem_; }

  private:
    bool waitForReply(std::string &reply);
    void dropLateReplies();
    bool stopRaised() const { return stop_ != nullptr && *stop_ != 0; }

    int fd_ = -1;
    std::chrono::milliseconds timeout_;
    int retries_;
    const volatile std::sig_atomic_t *stop_;
    std::string problem_;
};

}  // namespace navproto
