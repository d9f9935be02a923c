#include "displayState.h"

#include <cmath>
#include <utility>

namespace display {

namespace {

using navproto::fieldValue;
using navproto::valueKind;

std::optional<double> finiteNumber(const fieldValue &field) {
    if (field.kind != valueKind::number || !std::isfinite(field.number)) return std::nullopt;
    return field.number;
}

historySample sampleOf(const navproto::statusRecord &record) {
    static const auto positions = [] {
        std::array<std::size_t, historyChannels.size()> at{};
        for (std::size_t i = 0; i < at.size(); ++i) at[i] = channelPosition(historyChannels[i]);
        return at;
    }();
    historySample sample{0, {}};
    for (std::size_t i = 0; i < positions.size(); ++i) {
        sample.values[i] = finiteNumber(record.fields[positions[i]]);
    }
    return sample;
}

}  // namespace

std::size_t channelPosition(std::string_view name) {
    const auto &known = navproto::knownChannels();
    for (std::size_t i = 0; i < known.size(); ++i) {
        if (known[i] == name) return i;
    }
    return known.size();
}

displayState::displayState(std::size_t historyCapacity) : capacity_(historyCapacity) {
    const auto &known = navproto::knownChannels();
    for (std::size_t i = 0; i < known.size(); ++i) names_[i] = known[i];
}

bool displayState::hasHeader() const {
    std::lock_guard lock(mutex_);
    return hasHeader_;
}

void displayState::takeHeader(const navproto::channelHeader &header) {
    std::lock_guard lock(mutex_);
    names_ = header.names;
    hasHeader_ = true;
}

void displayState::forgetHeader() {
    std::lock_guard lock(mutex_);
    hasHeader_ = false;
}

void displayState::takeAnswer(const std::string &reply, const navproto::statusRecord &record,
                              double at) {
    historySample sample = sampleOf(record);
    std::lock_guard lock(mutex_);
    answer_ = answeredPoll{reply, at};
    poll_ = {pollOutcome::answered, {}, at};
    if (capacity_ == 0) return;
    if (history_.size() == capacity_) history_.pop_front();
    sample.seq = ++seq_;
    history_.push_back(sample);
}

void displayState::takeFailure(pollOutcome outcome, std::string problem, double at) {
    std::lock_guard lock(mutex_);
    poll_ = {outcome, std::move(problem), at};
}

displaySnapshot displayState::snapshot() const {
    std::lock_guard lock(mutex_);
    return {names_, poll_, answer_};
}

historySlice displayState::samplesAfter(std::uint64_t seq) const {
    std::lock_guard lock(mutex_);
    historySlice slice;
    slice.newest = history_.empty() ? 0 : history_.back().seq;
    auto first = history_.end();
    while (first != history_.begin() && std::prev(first)->seq > seq) --first;
    slice.samples.assign(first, history_.end());
    return slice;
}

}  // namespace display
