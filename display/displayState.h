// What the display knows of the server: its channel names, the last record and when it came,
// how the last poll went, and a bounded history of positions and depth for the
// tracks and the chart. The poller writes it and the web handlers read it, on different
// threads, so every access takes the lock and readers get copies.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/navProtocol.h"

namespace display {

// The channels the history keeps: enough for the tracks and the depth chart.
inline constexpr std::array<std::string_view, 8> historyChannels = {
    "LOGHOST.SYSTEM.UTC",   "SHIP.GPS.LAT",     "SHIP.GPS.LON",     "SHIP.GYRO.DEGREES",
    "ROV.POSITION.LAT.UTC", "ROV.POSITION.LAT", "ROV.POSITION.LON", "ROV.KELTO.DEPTH"};

struct historySample {
    std::uint64_t seq;  // counts answered polls from 1, so that a page can ask for what is new
    std::array<std::optional<double>, historyChannels.size()> values;  // empty: no finite value
};

enum class pollOutcome { none, answered, silent, malformed };

struct lastPoll {
    pollOutcome outcome = pollOutcome::none;
    std::string problem;  // why there was no answer, or why it could not be read
    double at = 0;        // display clock, seconds since the epoch
};

struct answeredPoll {
    std::string reply;      // the record as received; parseRecord accepted it
    double receivedAt = 0;  // display clock, seconds since the epoch
};

struct displaySnapshot {
    std::array<std::string, navproto::channelCount> names;
    lastPoll poll;
    std::optional<answeredPoll> answer;
};

struct historySlice {
    std::vector<historySample> samples;
    std::uint64_t newest = 0;  // seq of the newest sample kept, 0 before the first
};

class displayState {
  public:
    explicit displayState(std::size_t historyCapacity);

    bool hasHeader() const;
    void takeHeader(const navproto::channelHeader &header);
    // After a silence: the server may come back as another build, so its names are asked again.
    void forgetHeader();

    // record is parseRecord's reading of reply.
    void takeAnswer(const std::string &reply, const navproto::statusRecord &record, double at);
    void takeFailure(pollOutcome outcome, std::string problem, double at);

    displaySnapshot snapshot() const;
    historySlice samplesAfter(std::uint64_t seq) const;
    std::size_t historyCapacity() const { return capacity_; }

  private:
    mutable std::mutex mutex_;
    std::array<std::string, navproto::channelCount> names_;
    bool hasHeader_ = false;
    lastPoll poll_;
    std::optional<answeredPoll> answer_;
    std::deque<historySample> history_;
    std::size_t capacity_;
    std::uint64_t seq_ = 0;
};

// The record position of a channel the server is built with.
std::size_t channelPosition(std::string_view name);

}  // namespace display
