#include "recordJson.h"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <optional>
#include <system_error>

namespace display {

using json = nlohmann::ordered_json;

namespace {

using navproto::fieldValue;
using navproto::valueKind;

json optionalNumber(const std::optional<double> &value) {
    if (!value || !std::isfinite(*value)) return nullptr;
    return *value;
}

// Integers as integers, so a time reads 1709626026 and not 1709626026.0.
json numberToJson(const fieldValue &field) {
    if (!std::isfinite(field.number)) return nullptr;
    if (field.text.find('.') == std::string_view::npos) {
        std::int64_t whole = 0;
        const char *end = field.text.data() + field.text.size();
        auto [stop, ec] = std::from_chars(field.text.data(), end, whole);
        if (ec == std::errc{} && stop == end) return whole;
    }
    return field.number;
}

json fieldToJson(const fieldValue &field) {
    switch (field.kind) {
        case valueKind::number:
            return numberToJson(field);
        case valueKind::text:
            return std::string(field.text);
        case valueKind::missing:
        case valueKind::nonFinite:
            return nullptr;
    }
    return nullptr;
}

const char *outcomeName(pollOutcome outcome) {
    switch (outcome) {
        case pollOutcome::none:
            return "none";
        case pollOutcome::answered:
            return "answered";
        case pollOutcome::silent:
            return "silent";
        case pollOutcome::malformed:
            return "malformed";
    }
    return "none";
}

}  // namespace

json recordToJson(const std::array<std::string, navproto::channelCount> &names,
                  const navproto::statusRecord &record) {
    json out = json::object();
    for (std::size_t i = 0; i < names.size(); ++i) out[names[i]] = fieldToJson(record.fields[i]);
    navproto::dataAges ages = navproto::computeAges(record);
    out[std::string(navproto::shipAgeName)] = optionalNumber(ages.ship);
    out[std::string(navproto::vehicleAgeName)] = optionalNumber(ages.vehicle);
    return out;
}

json latestToJson(const displaySnapshot &snapshot, const std::string &server, double now) {
    json latest = {
        {"server", server},
        {"poll",
         {{"outcome", outcomeName(snapshot.poll.outcome)},
          {"problem", snapshot.poll.problem},
          {"age", snapshot.poll.outcome == pollOutcome::none ? json(nullptr)
                                                             : json(now - snapshot.poll.at)}}},
        {"record", nullptr},
        {"recordAge", nullptr}};
    if (!snapshot.answer) return latest;
    const answeredPoll &answer = *snapshot.answer;
    navproto::statusRecord record;
    std::string why;
    // Only replies that parsed are kept, so this reads the same record again.
    if (!navproto::parseRecord(answer.reply, record, why)) return latest;
    latest["record"] = recordToJson(snapshot.names, record);
    latest["recordAge"] = now - answer.receivedAt;
    return latest;
}

json historyToJson(const historySlice &slice, std::size_t capacity) {
    json samples = json::array();
    for (const historySample &sample : slice.samples) {
        json item = {{"seq", sample.seq}};
        for (std::size_t i = 0; i < historyChannels.size(); ++i) {
            item[std::string(historyChannels[i])] = optionalNumber(sample.values[i]);
        }
        samples.push_back(std::move(item));
    }
    return {{"newest", slice.newest}, {"capacity", capacity}, {"samples", std::move(samples)}};
}

json configToJson(const displayOptions &options, const std::string &server) {
    return {{"server", server},
            {"interval", options.intervalSeconds},
            {"historySeconds", options.historySeconds},
            {"amberAfter", options.amberAfter},
            {"redAfter", options.redAfter}};
}

std::string dumpJson(const json &value) {
    return value.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace display
