// What the flood and fault tests share: starting the server (optionally under a wrapper such as
// valgrind), telling a well-formed record, a set of sentences whose decoded values are known,
// and the server's resident memory.
//
// Environment:
//   TAVRIN_SOAK_SECONDS     how long the flood lasts (default 10)
//   TAVRIN_SERVER_WRAPPER   a command to run the server under, words separated by blanks,
//                           e.g. "valgrind --tool=memcheck --log-file=memcheck-%p.log"
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "harness.h"

namespace hardening {

using namespace std::chrono_literals;

inline constexpr int shipPort = 38002;
inline constexpr int rovPort = 20289;
inline constexpr int queryPort = 8080;

// Seconds of flood: TAVRIN_SOAK_SECONDS, else the short run's ten.
int floodSeconds();

// Whether the server runs under a wrapper, where start-up and every answer are much slower
// and the resident memory measured is the wrapper's.
bool wrapped();

// Starts the server (under TAVRIN_SERVER_WRAPPER when set) and waits until its query port is
// bound. Returns nullptr when it did not come up.
std::unique_ptr<e2e::process> launchServer(const e2e::process::options &opts = {});

// Ends the server: a wrapper gets SIGTERM and time to write its report; a bare server is
// killed. Returns false when a wrapped server did not end in time.
bool finish(e2e::process &server);

// The resident set of a process in KiB (VmRSS), or -1.
long residentKiB(pid_t pid);

// Why a status record is not well-formed, or nothing when it is: 26 fields, the nine
// placeholders where the system supplies nothing, channels 2 and 10 alike, "+0" last.
std::optional<std::string> recordFault(const std::string &record);

// Sentences with known results, distinct from anything the flood sends as valid sentences.
struct knownSentences {
    std::vector<std::string> ship;
    std::string vehicle;
    // Fields (0-based) and the text each must show once the sentences are decoded.
    std::vector<std::pair<int, std::string>> expected;
};
// The vehicle's fix time is the host's time of day `fixSeconds` (whole seconds since the
// epoch, within a few minutes of now), which the record must show exactly.
knownSentences finalSentences(std::int64_t fixSeconds);

// Sends the known sentences, then asks for status until the record shows every expected field
// or `limit` passes (sending the sentences again each round, since a busy socket may have
// dropped them). Returns the last record received.
std::string settleOn(const e2e::udpClient &client, const knownSentences &known,
                     std::chrono::milliseconds limit);

// The expected fields that `record` does not show, as "field N: got X, want Y" lines.
std::string mismatches(const std::string &record, const knownSentences &known);

}  // namespace hardening
