// Records as the server writes them, for the display's tests: the two worked examples of the
// query protocol and variations on them that the decoders can reach.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "server/query.h"

namespace displayTest {

// Both records zeroed: nothing received yet.
inline const std::string zeroedRecord =
    "1709626026,0,NO_ITEM,NO_ITEM,0.000000,0.000000,0,0.000000,0.000000,0,0.000000,NO_ITEM,"
    "NO_ITEM,NO_ITEM,0.000000,0.000000,0.000000,0.000000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,"
    "64,Tue Mar  5 08:07:06 2024,+0";

// Ship time 6 s old, vehicle fix 42 s old, southern and western values.
inline const std::string liveRecord =
    "1709626026,1709626020,NO_ITEM,NO_ITEM,-12.500000,-45.123457,2,10.100000,0.900000,"
    "1709626020,271.250000,NO_ITEM,NO_ITEM,NO_ITEM,1709625984.000000,-12.500123,-45.000321,"
    "850.250000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0";

// What the server sends for "HEADER": the display under test takes it as it is.
inline const std::string serverHeader(headerString);

// A record with some fields replaced: {position counted from 0, text}.
inline std::string recordWith(const std::string &base,
                              const std::vector<std::pair<std::size_t, std::string>> &changes) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = base.find(',', start);
        fields.push_back(base.substr(start, comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    for (const auto &[at, text] : changes) fields.at(at) = text;
    std::string out;
    for (std::size_t i = 0; i < fields.size(); ++i) out += (i ? "," : "") + fields[i];
    return out;
}

}  // namespace displayTest
