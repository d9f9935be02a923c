// The vehicle decoder, fed exactly as the server feeds it. Each datagram is decoded twice, with
// the host clock at midday and a second after midnight, and each run checks what must hold
// whatever arrives: anything but a "$GPGGA" changes nothing and reads no clock, a missing time
// field reads no clock, the fix lands on the UTC day nearest the clock, and no NaN is stored.
#include <cmath>
#include <cstring>
#include <string>

#include "fuzzSupport.h"
#include "sentences/navigation.h"

namespace {

std::int64_t clockNow = 0;
int clockReads = 0;
std::int64_t countingClock() {
    ++clockReads;
    return clockNow;
}

rovData presetRov() {
    rovData r{};
    r.hour = 31;
    r.min = 32;
    r.sec = 33;
    r.fixTime = 34.0;
    r.lat = -35.5;
    r.lon = 36.25;
    r.depth = -37.75;
    return r;
}

// The C library's view of the text: whether its first strtok field is a "$GPGGA", and whether
// a time field follows it.
void inspect(const char *text, bool *isGga, bool *hasTime) {
    std::string copy(text);
    const char *id = std::strtok(copy.data(), ",");
    *isGga = id != nullptr && std::strncmp(id, "$GPGGA", 6) == 0;
    *hasTime = *isGga && std::strtok(nullptr, ",") != nullptr;
}

void checkUnchanged(const rovData &before, const rovData &after, const std::string &text) {
    FUZZ_CHECK(fuzz::sameBits(before.hour, after.hour) && fuzz::sameBits(before.min, after.min) &&
                   fuzz::sameBits(before.sec, after.sec) &&
                   fuzz::sameBits(before.fixTime, after.fixTime) &&
                   fuzz::sameBits(before.lat, after.lat) && fuzz::sameBits(before.lon, after.lon) &&
                   fuzz::sameBits(before.depth, after.depth),
               "the record changed for " + fuzz::escaped(text));
}

// The fix time is the clock's UTC day plus the time of day, moved by at most one day to the
// placement nearest the clock; a tie keeps the clock's day.
void checkFixTime(const rovData &r, std::int64_t now, const std::string &text) {
    std::int64_t sum = now - now % 86400 + static_cast<std::int64_t>(r.hour) * 3600 +
                       static_cast<std::int64_t>(r.min) * 60 + r.sec;
    double best = static_cast<double>(sum);
    for (std::int64_t day : {-86400, 86400}) {
        std::int64_t other = sum + day;
        auto distance = [now](std::int64_t t) { return t > now ? t - now : now - t; };
        if (distance(other) < distance(static_cast<std::int64_t>(best))) {
            best = static_cast<double>(other);
        }
    }
    FUZZ_CHECK(r.fixTime == best, "fixTime " + std::to_string(r.fixTime) + " where " +
                                      std::to_string(best) +
                                      " is nearest the clock: " + fuzz::escaped(text));
}

void decodeWithClock(char *buffer, std::int64_t now) {
    const std::string text(buffer);
    bool isGga = false, hasTime = false;
    inspect(buffer, &isGga, &hasTime);

    const rovData before = presetRov();
    rovData after = before;
    clockNow = now;
    clockReads = 0;
    parseROVData(buffer, &after, countingClock);

    FUZZ_CHECK(clockReads == (hasTime ? 1 : 0),
               std::to_string(clockReads) + " clock readings for " + fuzz::escaped(text));
    if (!isGga) checkUnchanged(before, after, text);
    if (hasTime) {
        checkFixTime(after, now, text);
    } else {
        FUZZ_CHECK(fuzz::sameBits(before.fixTime, after.fixTime) && before.hour == after.hour &&
                       before.min == after.min && before.sec == after.sec,
                   "time changed without a time field: " + fuzz::escaped(text));
    }
    FUZZ_CHECK(!std::isnan(after.lat) && !std::isnan(after.lon) && !std::isnan(after.depth),
               "a NaN was stored from " + fuzz::escaped(text));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::receiveBuffer buffer;
    for (std::int64_t now : {1717243205, 1717286401}) {  // 2024-06-01 12:00:05, 2024-06-02 00:00:01
        buffer.receive(data, size);
        decodeWithClock(buffer.data(), now);
        FUZZ_CHECK(buffer.spareByteIsZero(), "the spare byte after the buffer was written");
    }
    return 0;
}
