// Running navdisplay in the end-to-end tests, the loopback fake it polls in place of the
// server, and reading its web answers. Every wait is bounded.
#pragma once

#include <nlohmann/json.hpp>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "harness.h"

namespace displayTest {

using namespace std::chrono_literals;

// Answers "HEADER" with the header and any other query with the record it was last given, from
// 127.0.0.1:port, unless told to keep silent.
class scriptedServer {
  public:
    explicit scriptedServer(int port);
    ~scriptedServer();
    scriptedServer(const scriptedServer &) = delete;
    scriptedServer &operator=(const scriptedServer &) = delete;

    void answerWith(std::string record);
    void keepSilent(bool silent);

  private:
    void serve();
    int fd_;
    std::mutex mutex_;
    std::string record_;
    std::atomic<bool> silent_{false};
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

inline constexpr int displayPort = 8088;

// Starts navdisplay with its page on 127.0.0.1:8088 and waits until it says so.
std::unique_ptr<e2e::process> startDisplay(const std::vector<std::string> &args);

struct httpReply {
    int status = 0;
    std::string body;
    std::string contentType;
    std::string securityPolicy;
};

// GET http://host:port/path; nullopt when nothing answers.
std::optional<httpReply> httpGet(const std::string &path, int port = displayPort,
                                 const std::string &host = "127.0.0.1");

// Reads /api/latest until `done` holds for it or the time is up; the last one read.
nlohmann::json waitForLatest(const std::function<bool(const nlohmann::json &)> &done,
                             std::chrono::milliseconds limit = 10s);

// Whether /api/latest's record has this host time (LOGHOST.SYSTEM.UTC).
bool showsHostTime(const nlohmann::json &latest, long long hostTime);

}  // namespace displayTest
