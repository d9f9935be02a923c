// The vehicle's position sentence. As with the ship's, a missing or malformed field leaves its
// record field as it was, and nothing is reported.
#include <cstdint>
#include <string_view>

#include "fields.h"
#include "navigation.h"

namespace {

constexpr std::int64_t secondsPerDay = 86400;

// The sentence carries only a time of day, so the date comes from the host clock: the fix is
// placed on the UTC day (yesterday, today or tomorrow) that puts it nearest the clock, so a
// fix sent just before midnight and received just after stays a few seconds old instead of
// jumping a day ahead. A tie keeps today.
std::int64_t fixSeconds(const rovData &r, std::int64_t now) {
    std::int64_t dayStart = now - now % secondsPerDay;
    std::int64_t fix = dayStart + static_cast<std::int64_t>(r.hour) * 3600 +
                       static_cast<std::int64_t>(r.min) * 60 + r.sec;
    std::int64_t offset = fix - now;
    if (offset > secondsPerDay / 2) return fix - secondsPerDay;
    if (offset < -secondsPerDay / 2) return fix + secondsPerDay;
    return fix;
}

}  // namespace

// $GPGGA,123456.00,3636.1234,N,12152.1234,W,1,08,0.9,-250.3,M,-32.1,M,,*5C
//        1         2         3 4          5 6 7  8   9
void parseROVData(char *buf, rovData *r, clockFn clock) {
    sentenceFields f{std::string_view(buf)};
    if (!matchSentenceId(nextField(f), "$GPGGA")) return;
    if (auto v = nextField(f); !v.empty()) {
        readTimeOfDay(v, &r->hour, &r->min, &r->sec);
        r->fixTime = static_cast<double>(fixSeconds(*r, clock()));
    }
    // A hemisphere applies only to a coordinate that this sentence has just set.
    bool latSet = false, lonSet = false;
    if (auto v = nextField(f); !v.empty()) latSet = readDegreesMinutes(v, 2, &r->lat);
    if (auto v = nextField(f); latSet) applyHemisphere(v, &r->lat, 'S');
    if (auto v = nextField(f); !v.empty()) lonSet = readDegreesMinutes(v, 3, &r->lon);
    if (auto v = nextField(f); lonSet) applyHemisphere(v, &r->lon, 'W');
    nextField(f);  // fix quality, satellites and HDOP are not the vehicle's business
    nextField(f);
    nextField(f);
    if (auto v = nextField(f); !v.empty()) r->depth = readReal(v);
}
