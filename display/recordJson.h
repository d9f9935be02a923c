// The JSON that the page reads. Channel names are the keys; a number stays a number, and a
// value that JSON cannot carry or that the server does not supply ("NO_ITEM", inf, nan) is null,
// so the page never has to parse the server's text.
#pragma once

#include <nlohmann/json.hpp>

#include <array>
#include <string>

#include "displayOptions.h"
#include "displayState.h"
#include "protocol/navProtocol.h"

namespace display {

// The 26 channels under the given names, and the record's own data ages under
// SHIP.GPS.TIME.AGE and ROV.POSITION.LAT.UTC.AGE, as navquery's JSON lines have them.
nlohmann::ordered_json recordToJson(const std::array<std::string, navproto::channelCount> &names,
                                    const navproto::statusRecord &record);

// /api/latest: the last record, how long ago it came, and how the last poll went and how long
// ago, by the display's clock (`now`).
nlohmann::ordered_json latestToJson(const displaySnapshot &snapshot, const std::string &server,
                                    double now);

// /api/history: the samples of a slice, oldest first.
nlohmann::ordered_json historyToJson(const historySlice &slice, std::size_t capacity);

// /api/config: what the page needs to know of navdisplay's options.
nlohmann::ordered_json configToJson(const displayOptions &options, const std::string &server);

// The single text form of every JSON answer: invalid UTF-8 is replaced, never thrown over.
std::string dumpJson(const nlohmann::ordered_json &value);

}  // namespace display
