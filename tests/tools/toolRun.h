// Running the companion programs from the end-to-end tests, and the small loopback fakes they
// talk to in place of the server. Every wait is bounded.
#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "harness.h"

namespace toolsE2e {

using namespace std::chrono_literals;

struct toolResult {
    std::optional<int> status;  // nullopt: did not end in time
    std::string out;
    std::string err;
};

// Runs a program to its end, capturing standard output and error.
toolResult runTool(const std::vector<std::string> &argv, std::chrono::milliseconds limit = 30s);

std::vector<std::string> navquery(std::vector<std::string> args);
std::vector<std::string> navreplay(std::vector<std::string> args);
std::string dataFile(std::string_view name);

// Answers "HEADER" with `header` and any other query with `record`, from 127.0.0.1:port.
class fakeServer {
  public:
    fakeServer(int port, std::string header, std::string record);
    ~fakeServer();
    int headerQueries() const { return headerQueries_; }
    int recordQueries() const { return recordQueries_; }

  private:
    void serve();
    int fd_;
    std::string header_;
    std::string record_;
    std::atomic<bool> stop_{false};
    std::atomic<int> headerQueries_{0};
    std::atomic<int> recordQueries_{0};
    std::thread thread_;
};

// Collects the datagrams sent to 127.0.0.1:port, with room for a few hundred queued ones.
class datagramSink {
  public:
    explicit datagramSink(int port);
    ~datagramSink();
    // Datagrams until `count` have come or none has come for `quiet`.
    std::vector<std::string> receive(std::size_t count, std::chrono::milliseconds quiet = 1000ms);

  private:
    int fd_;
};

// A directory of its own under /tmp, removed with its files at the end.
class tempDir {
  public:
    tempDir();
    ~tempDir();
    std::string path(std::string_view name) const;
    std::string write(std::string_view name, std::string_view text) const;

  private:
    std::string dir_;
};

std::string readFile(const std::string &path);
std::vector<std::string> splitLines(std::string_view text);
// The raw text of a key's value in a one-line JSON object: a number, null, or a quoted string
// with its quotes. Empty when the key is not there.
std::string jsonValue(std::string_view json, std::string_view key);

// Fields of an NMEA sentence as sent: split at every comma, the checksum cut off.
std::vector<std::string> nmeaFields(std::string_view sentence);
// ddmm.mmmm (or dddmm.mmmm) and its hemisphere letter as signed decimal degrees.
double nmeaDegrees(const std::string &value, int degreeDigits, const std::string &hemisphere);
// hhmmss.ss as whole seconds after midnight.
std::int64_t nmeaSecondsOfDay(const std::string &time);
// A date as seconds since the epoch, UTC.
std::int64_t utcSeconds(int year, int month, int day, std::int64_t secondsOfDay);
// XOR of the characters between '$' and '*', compared with the two hex digits after '*'.
bool nmeaChecksumValid(std::string_view sentence);

}  // namespace toolsE2e
