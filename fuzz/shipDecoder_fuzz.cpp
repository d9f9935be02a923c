// The ship decoder, fed exactly as the server feeds it: any datagram, cut to the receive
// buffer. Besides memory and undefined behaviour, each run checks what must hold whatever
// arrives: a sentence changes only its own fields, no reading ever yields a NaN, a date-and-time
// sentence prints its one line with the time the calendar gives, and nothing else prints.
#include <cerrno>
#include <cinttypes>
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

#include "fuzzSupport.h"
#include "sentences/navigation.h"

namespace {

constexpr std::int64_t hostSeconds = 1717243205;  // 2024-06-01 12:00:05 UTC
std::int64_t fixedClock() {
    return hostSeconds;
}

enum class sentenceKind { none, zda, gga, vtg, hdt };

// Which sentence the text is, found with the C library as a reader of the format would:
// the first strtok field, compared over six characters.
sentenceKind identify(const char *text) {
    std::string copy(text);
    const char *id = std::strtok(copy.data(), ",");
    if (id == nullptr) return sentenceKind::none;
    if (std::strncmp(id, "$GPZDA", 6) == 0) return sentenceKind::zda;
    if (std::strncmp(id, "$GPGGA", 6) == 0) return sentenceKind::gga;
    if (std::strncmp(id, "$GPVTG", 6) == 0) return sentenceKind::vtg;
    if (std::strncmp(id, "$GPHDT", 6) == 0) return sentenceKind::hdt;
    return sentenceKind::none;
}

// Distinct values everywhere, so that any field a sentence touches shows.
shipData presetShip() {
    shipData s{};
    s.zdaSec = 11.25f;
    s.zdaDay = 12;
    s.zdaMonth = 13;
    s.zdaYear = 1914;
    s.zdaHour = 15;
    s.zdaMin = 16;
    s.zdaTime = 17;
    s.ggaHour = 18;
    s.ggaMin = 19;
    s.ggaSec = 20.5f;
    s.lat = -21.125;
    s.lon = 22.375;
    s.numSats = 23;
    s.qual = 24;
    s.alt = 25.5f;
    s.aunits = 'Q';
    s.hdop = 26.75;
    s.cog = 27.5f;
    s.sog = 28.25f;
    s.heading = 29.125;
    return s;
}

#define KEPT(field)                                                        \
    FUZZ_CHECK(kind == owner || fuzz::sameBits(after.field, before.field), \
               std::string(#field " changed by another sentence: ") + fuzz::escaped(text))

void checkOnlyOwnFieldsChanged(sentenceKind kind, const shipData &before, const shipData &after,
                               const std::string &text) {
    sentenceKind owner = sentenceKind::zda;
    KEPT(zdaSec);
    KEPT(zdaDay);
    KEPT(zdaMonth);
    KEPT(zdaYear);
    KEPT(zdaHour);
    KEPT(zdaMin);
    KEPT(zdaTime);
    owner = sentenceKind::gga;
    KEPT(ggaHour);
    KEPT(ggaMin);
    KEPT(ggaSec);
    KEPT(lat);
    KEPT(lon);
    KEPT(numSats);
    KEPT(qual);
    KEPT(alt);
    KEPT(aunits);
    KEPT(hdop);
    owner = sentenceKind::vtg;
    KEPT(cog);
    KEPT(sog);
    owner = sentenceKind::hdt;
    KEPT(heading);
}

// Decimal readings cannot spell a NaN, and no arithmetic on them makes one.
void checkNoNaN(const shipData &s, const std::string &text) {
    const double values[] = {s.zdaSec, s.ggaSec, s.lat, s.lon,    s.alt,
                             s.hdop,   s.cog,    s.sog, s.heading};
    for (double v : values)
        FUZZ_CHECK(!std::isnan(v), "a NaN was stored from " + fuzz::escaped(text));
}

// The date and time the C library's UTC calendar gives for the record's members, or nothing
// where it cannot say (members whose own arithmetic overflows, or its failure value).
bool calendarSeconds(const shipData &s, std::int64_t *seconds, bool *secondsFitInt) {
    double sec = s.zdaSec;
    *secondsFitInt = std::isfinite(sec) && sec > INT_MIN - 1.0 && sec < INT_MAX + 1.0;
    if (!*secondsFitInt) return false;
    if (s.zdaMonth == INT_MIN || s.zdaYear < INT_MIN + 1900) return false;
    std::tm t{};
    t.tm_sec = static_cast<int>(std::trunc(sec));
    t.tm_min = s.zdaMin;
    t.tm_hour = s.zdaHour;
    t.tm_mday = s.zdaDay;
    t.tm_mon = s.zdaMonth - 1;
    t.tm_year = s.zdaYear - 1900;
    errno = 0;
    time_t r = timegm(&t);
    if (r == -1) return false;
    *seconds = r;
    return true;
}

void checkZda(const shipData &after, const std::string &console, const std::string &text) {
    char line[96];
    std::snprintf(line, sizeof line, "zda:%" PRId64 " system:%" PRId64 "\n", after.zdaTime,
                  hostSeconds);
    FUZZ_CHECK(console == line,
               "zda console line " + fuzz::escaped(console) + " for " + fuzz::escaped(text));
    std::int64_t expected = 0;
    bool secondsFit = false;
    if (calendarSeconds(after, &expected, &secondsFit)) {
        FUZZ_CHECK(after.zdaTime == expected, "zdaTime " + std::to_string(after.zdaTime) +
                                                  " but timegm gives " + std::to_string(expected) +
                                                  " for " + fuzz::escaped(text));
    } else if (!secondsFit) {
        FUZZ_CHECK(after.zdaTime == -1,
                   "seconds beyond an int must give -1: " + fuzz::escaped(text));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
    static fuzz::receiveBuffer buffer;
    static fuzz::memoryConsole console;

    buffer.receive(data, size);
    const std::string text(buffer.data());  // the text the decoder may see: up to a zero byte
    const sentenceKind kind = identify(buffer.data());

    const shipData before = presetShip();
    shipData after = before;
    parseShipNMEA(buffer.data(), &after, fixedClock, console.stream());
    const std::string printed = console.take();

    FUZZ_CHECK(buffer.spareByteIsZero(), "the spare byte after the buffer was written");
    checkOnlyOwnFieldsChanged(kind, before, after, text);
    checkNoNaN(after, text);
    if (kind == sentenceKind::zda) {
        checkZda(after, printed, text);
    } else {
        FUZZ_CHECK(printed.empty(),
                   "printed " + fuzz::escaped(printed) + " for " + fuzz::escaped(text));
    }
    return 0;
}
