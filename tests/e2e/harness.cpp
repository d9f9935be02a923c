#include "harness.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <net/if.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifndef TAVRIN_SERVER_PATH
#error "TAVRIN_SERVER_PATH must name the server binary"
#endif

namespace e2e {

namespace {

std::chrono::steady_clock::time_point deadlineAfter(std::chrono::milliseconds limit) {
    return std::chrono::steady_clock::now() + limit;
}

int msLeft(std::chrono::steady_clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<int>(left.count()) : 0;
}

}  // namespace

bool udpPortBound(int port) {
    std::ifstream udp("/proc/net/udp");
    std::string line;
    char want[8];
    std::snprintf(want, sizeof want, ":%04X", port);
    while (std::getline(udp, line)) {
        std::istringstream fields(line);
        std::string slot, local;
        fields >> slot >> local;
        if (local.size() > 5 && local.compare(local.size() - 5, 5, want) == 0) return true;
    }
    return false;
}

process::process(const std::vector<std::string> &argv, const options &opts) {
    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    pid_ = fork();
    if (pid_ < 0) throw std::runtime_error("fork");
    if (pid_ == 0) {
        dup2(err[1], 2);
        if (opts.closeStdout) {
            close(1);
        } else if (!opts.stdoutPath.empty()) {
            int fd = open(opts.stdoutPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(fd, 1);
            close(fd);
        } else {
            dup2(out[1], 1);
        }
        for (int i = 0; i < opts.extraDescriptors; ++i) open("/dev/null", O_RDONLY);
        std::vector<char *> args;
        for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
        args.push_back(nullptr);
        execv(args[0], args.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    outFd_ = out[0];
    errFd_ = err[0];
}

process::~process() {
    stop();
    if (outFd_ >= 0) close(outFd_);
    if (errFd_ >= 0) close(errFd_);
}

void process::pump(std::chrono::milliseconds limit, std::size_t bytes, std::string_view text) {
    auto deadline = deadlineAfter(limit);
    for (;;) {
        if (out_.size() >= bytes) return;
        if (!text.empty() && out_.find(text) != std::string::npos) return;
        if (outFd_ < 0) return;
        pollfd p{outFd_, POLLIN, 0};
        int left = msLeft(deadline);
        if (poll(&p, 1, left) <= 0) return;
        char buf[65536];
        ssize_t n = read(outFd_, buf, sizeof buf);
        if (n <= 0) return;
        out_.append(buf, static_cast<std::size_t>(n));
    }
}

const std::string &process::readStdout(std::size_t bytes, std::chrono::milliseconds limit) {
    pump(limit, bytes, {});
    return out_;
}

bool process::waitForStdout(std::string_view text, std::chrono::milliseconds limit) {
    pump(limit, SIZE_MAX, text);
    return out_.find(text) != std::string::npos;
}

std::optional<int> process::waitExit(std::chrono::milliseconds limit) {
    auto deadline = deadlineAfter(limit);
    while (!reaped_) {
        pid_t r = waitpid(pid_, &status_, WNOHANG);
        if (r == pid_) {
            reaped_ = true;
            break;
        }
        if (msLeft(deadline) == 0) return std::nullopt;
        std::this_thread::sleep_for(5ms);
    }
    if (WIFEXITED(status_)) return WEXITSTATUS(status_);
    return -WTERMSIG(status_);
}

std::string process::err() {
    std::string text;
    char buf[4096];
    for (;;) {
        pollfd p{errFd_, POLLIN, 0};
        if (poll(&p, 1, 500) <= 0) break;
        ssize_t n = read(errFd_, buf, sizeof buf);
        if (n <= 0) break;
        text.append(buf, static_cast<std::size_t>(n));
    }
    return text;
}

bool process::alive() {
    if (reaped_) return false;
    return waitpid(pid_, &status_, WNOHANG) == 0 || (reaped_ = true, false);
}

void process::stop() {
    if (pid_ > 0 && !reaped_) {
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        reaped_ = true;
    }
}

void process::closeStdoutReader() {
    if (outFd_ >= 0) close(outFd_);
    outFd_ = -1;
}

void process::signal(int sig) {
    kill(pid_, sig);
}

void process::pause() {
    kill(pid_, SIGSTOP);
    int status = 0;
    waitpid(pid_, &status, WUNTRACED);
}

void process::resume() {
    kill(pid_, SIGCONT);
}

std::string serverPath() {
    return TAVRIN_SERVER_PATH;
}

std::unique_ptr<process> startServer(const process::options &opts) {
    auto server = std::make_unique<process>(std::vector<std::string>{serverPath()}, opts);
    auto deadline = deadlineAfter(5000ms);
    while (!udpPortBound(8080) && server->alive() && msLeft(deadline) > 0) {
        std::this_thread::sleep_for(2ms);
    }
    return server;
}

udpClient::udpClient() : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in self{};
    self.sin_family = AF_INET;
    self.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fd_, reinterpret_cast<sockaddr *>(&self), sizeof self);
    int size = 1 << 20;
    setsockopt(fd_, SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
}

udpClient::~udpClient() {
    close(fd_);
}

void udpClient::send(int port, std::string_view bytes) const {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(static_cast<uint16_t>(port));
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sendto(fd_, bytes.data(), bytes.size(), 0, reinterpret_cast<sockaddr *>(&to), sizeof to);
}

std::optional<std::string> udpClient::receive(std::chrono::milliseconds limit) const {
    pollfd p{fd_, POLLIN, 0};
    if (poll(&p, 1, static_cast<int>(limit.count())) <= 0) return std::nullopt;
    std::string buf(70000, '\0');
    ssize_t n = recv(fd_, buf.data(), buf.size(), 0);
    if (n < 0) return std::nullopt;
    buf.resize(static_cast<std::size_t>(n));
    return buf;
}

int occupyUdpPort(int port) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if (bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

std::vector<std::string> splitFields(std::string_view record) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = record.find(',', start);
        fields.emplace_back(record.substr(start, comma - start));
        if (comma == std::string_view::npos) return fields;
        start = comma + 1;
    }
}

}  // namespace e2e
