// Running the real server binary on its real ports, inside a network namespace of the test's
// own, so the fixed ports never clash with anything on the host. Every wait is bounded.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "privateNetwork.h"

namespace e2e {

using namespace std::chrono_literals;

using ::enterPrivateNetwork;

// Whether something in this namespace has bound UDP port on any address.
bool udpPortBound(int port);

// A child process with its standard output and error captured through pipes.
class process {
  public:
    struct options {
        bool closeStdout = false;  // start with standard output closed
        int extraDescriptors = 0;  // open this many extra descriptors before exec
        std::string stdoutPath;    // redirect standard output to this file instead of a pipe
    };
    process(const std::vector<std::string> &argv, const options &opts);
    explicit process(const std::vector<std::string> &argv) : process(argv, options{}) {}
    ~process();
    process(const process &) = delete;
    process &operator=(const process &) = delete;

    pid_t pid() const { return pid_; }
    // Reads standard output until it holds at least `bytes` bytes in total or the time is up;
    // returns all output read so far.
    const std::string &readStdout(std::size_t bytes, std::chrono::milliseconds limit = 2000ms);
    // Reads standard output until `text` appears in it or the time is up.
    bool waitForStdout(std::string_view text, std::chrono::milliseconds limit = 2000ms);
    // Everything read from standard output so far (call readStdout or waitForStdout first).
    const std::string &out() const { return out_; }
    // Waits for the process to end; returns its exit status, or nullopt on time-out (or when it
    // was ended by a signal: then -signal).
    std::optional<int> waitExit(std::chrono::milliseconds limit = 3000ms);
    // Standard error, read to its end once the process has ended.
    std::string err();
    bool alive();
    void stop();  // SIGKILL and reap
    // Closes our end of the standard output pipe, as a console reader that goes away would.
    void closeStdoutReader();
    void signal(int sig);
    // Stops the process and returns once it has stopped (SIGSTOP alone only asks); resume()
    // lets it go on.
    void pause();
    void resume();

  private:
    void pump(std::chrono::milliseconds limit, std::size_t bytes, std::string_view text);
    pid_t pid_ = -1;
    int outFd_ = -1;
    int errFd_ = -1;
    std::string out_;
    bool reaped_ = false;
    int status_ = 0;
};

// Starts the server built by this tree and waits until its query port is bound.
std::unique_ptr<process> startServer(const process::options &opts = {});
// The path of the server binary.
std::string serverPath();

// A UDP socket on 127.0.0.1 with an ephemeral port.
class udpClient {
  public:
    udpClient();
    ~udpClient();
    udpClient(const udpClient &) = delete;
    udpClient &operator=(const udpClient &) = delete;
    void send(int port, std::string_view bytes) const;
    // The next datagram, or nullopt after `limit`.
    std::optional<std::string> receive(std::chrono::milliseconds limit = 1000ms) const;
    int fd() const { return fd_; }

  private:
    int fd_;
};

// A UDP socket bound to port on every address, to make a port taken.
int occupyUdpPort(int port);

// Splits a record at its commas.
std::vector<std::string> splitFields(std::string_view record);

}  // namespace e2e
