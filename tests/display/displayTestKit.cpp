#include "displayTestKit.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <httplib.h>

#include "records.h"

#ifndef NAVDISPLAY_PATH
#error "NAVDISPLAY_PATH must name the navdisplay binary"
#endif

namespace displayTest {

scriptedServer::scriptedServer(int port) : fd_(socket(AF_INET, SOCK_DGRAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (bind(fd_, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
        throw std::runtime_error("scriptedServer: bind");
    }
    thread_ = std::thread([this] { serve(); });
}

scriptedServer::~scriptedServer() {
    stop_ = true;
    thread_.join();
    close(fd_);
}

void scriptedServer::answerWith(std::string record) {
    std::lock_guard lock(mutex_);
    record_ = std::move(record);
}

void scriptedServer::keepSilent(bool silent) {
    silent_ = silent;
}

void scriptedServer::serve() {
    char buf[2048];
    while (!stop_) {
        pollfd p{fd_, POLLIN, 0};
        if (poll(&p, 1, 50) <= 0) continue;
        sockaddr_in from{};
        socklen_t len = sizeof from;
        ssize_t n = recvfrom(fd_, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 0 || silent_) continue;
        std::string reply;
        if (n >= 6 && std::string_view(buf, 6) == "HEADER") {
            reply = serverHeader;
        } else {
            std::lock_guard lock(mutex_);
            reply = record_;
        }
        sendto(fd_, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
    }
}

std::unique_ptr<e2e::process> startDisplay(const std::vector<std::string> &args) {
    std::vector<std::string> argv{NAVDISPLAY_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    argv.push_back("--http-port");
    argv.push_back(std::to_string(displayPort));
    auto display = std::make_unique<e2e::process>(argv);
    display->waitForStdout(std::string(":") + std::to_string(displayPort) + "/", 5000ms);
    return display;
}

std::optional<httpReply> httpGet(const std::string &path, int port, const std::string &host) {
    httplib::Client client(host, port);
    client.set_connection_timeout(2);
    client.set_read_timeout(5);
    auto res = client.Get(path);
    if (!res) return std::nullopt;
    return httpReply{res->status, res->body, res->get_header_value("Content-Type"),
                     res->get_header_value("Content-Security-Policy")};
}

nlohmann::json waitForLatest(const std::function<bool(const nlohmann::json &)> &done,
                             std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    nlohmann::json latest;
    for (;;) {
        auto reply = httpGet("/api/latest");
        if (reply && reply->status == 200) {
            latest = nlohmann::json::parse(reply->body, nullptr, false);
            if (!latest.is_discarded() && done(latest)) return latest;
        }
        if (std::chrono::steady_clock::now() > deadline) return latest;
        std::this_thread::sleep_for(50ms);
    }
}

bool showsHostTime(const nlohmann::json &latest, long long hostTime) {
    if (!latest.is_object() || !latest.contains("record")) return false;
    const nlohmann::json &record = latest["record"];
    return record.is_object() && record["LOGHOST.SYSTEM.UTC"] == hostTime;
}

}  // namespace displayTest
