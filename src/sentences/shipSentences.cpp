// The ship's sentences. A missing or malformed field leaves its record field as it was, and
// nothing is ever reported: the record keeps the best values the ship has sent so far.
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "fields.h"
#include "navigation.h"
#include "utcCalendar.h"

namespace {

// The sentence's date and time as seconds since the epoch, read as UTC. Members out of their
// usual range carry over as a calendar conversion normalises them (month 0 is December of the
// year before, day 0 the last day of the month before). -1 where the C library's conversion
// fails too: seconds that are no finite int, or a resulting year beyond an int from 1900.
std::int64_t zdaSeconds(const shipData &s) {
    double sec = s.zdaSec;
    if (!(sec > -2147483649.0 && sec < 2147483648.0)) return -1;
    auto seconds = static_cast<std::int64_t>(std::trunc(sec));
    std::int64_t months = (static_cast<std::int64_t>(s.zdaYear) - 1900) * 12 + s.zdaMonth - 1;
    std::int64_t years = months / 12 - (months % 12 < 0);
    int month = static_cast<int>(months - years * 12);
    std::int64_t days = daysFromCivil(years + 1900, month + 1, 1) + s.zdaDay - 1;
    std::int64_t t = days * 86400 + static_cast<std::int64_t>(s.zdaHour) * 3600 +
                     static_cast<std::int64_t>(s.zdaMin) * 60 + seconds;
    // Within a billion years of 1970 the year fits easily; only beyond is it worked out.
    constexpr std::int64_t surelyInRange = std::int64_t{1} << 55;
    if (t > -surelyInRange && t < surelyInRange) return t;
    std::int64_t year = breakDownUtc(t).year - 1900;
    if (year < INT_MIN || year > INT_MAX) return -1;
    return t;
}

// "zda:<time> system:<clock>\n", formatted here rather than by fprintf, whose parsing of the
// format would cost more than decoding the sentence does.
void printZdaLine(std::FILE *console, std::int64_t zdaTime, std::int64_t now) {
    constexpr std::size_t numberWidth = 20;  // -9223372036854775808
    char line[4 + numberWidth + 8 + numberWidth + 1];
    std::memcpy(line, "zda:", 4);
    char *p = std::to_chars(line + 4, line + 4 + numberWidth, zdaTime).ptr;
    std::memcpy(p, " system:", 8);
    p = std::to_chars(p + 8, p + 8 + numberWidth, now).ptr;
    *p++ = '\n';
    std::fwrite(line, 1, static_cast<std::size_t>(p - line), console);
}

// $GPZDA,201530.00,04,07,2002,00,00*60
//        1         2  3  4
void decodeZda(sentenceFields &f, shipData *s, clockFn clock, std::FILE *console) {
    if (auto v = nextField(f); !v.empty()) readTimeOfDay(v, &s->zdaHour, &s->zdaMin, &s->zdaSec);
    if (auto v = nextField(f); !v.empty()) s->zdaDay = readInteger(v);
    if (auto v = nextField(f); !v.empty()) s->zdaMonth = readInteger(v);
    if (auto v = nextField(f); !v.empty()) s->zdaYear = readInteger(v);
    // Converted on every date-and-time sentence, from whatever the record now holds.
    s->zdaTime = zdaSeconds(*s);
    printZdaLine(console, s->zdaTime, clock());
}

// $GPGGA,123519,4807.038,N,01131.000,E,1,08,0.9,545.4,M,46.9,M,,*47
//        1      2        3 4         5 6 7  8   9     10
void decodeGga(sentenceFields &f, shipData *s) {
    if (auto v = nextField(f); !v.empty()) {
        int sec = 0;
        if (readTimeOfDay(v, &s->ggaHour, &s->ggaMin, &sec) == 3)
            s->ggaSec = static_cast<float>(sec);
    }
    // A hemisphere applies only to a coordinate that this sentence has just set.
    bool latSet = false, lonSet = false;
    if (auto v = nextField(f); !v.empty()) latSet = readDegreesMinutes(v, 2, &s->lat);
    if (auto v = nextField(f); latSet) applyHemisphere(v, &s->lat, 'S');
    if (auto v = nextField(f); !v.empty()) lonSet = readDegreesMinutes(v, 3, &s->lon);
    if (auto v = nextField(f); lonSet) applyHemisphere(v, &s->lon, 'W');
    if (auto v = nextField(f); !v.empty()) s->qual = readInteger(v);
    if (auto v = nextField(f); !v.empty()) s->numSats = readInteger(v);
    if (auto v = nextField(f); !v.empty()) s->hdop = readReal(v);
    if (auto v = nextField(f); !v.empty()) s->alt = toSingle(readReal(v));
    if (auto v = nextField(f); !v.empty()) s->aunits = readCharacter(v);
}

// $GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48
//        1     2 3     4 5
// Position 4 is the magnetic unit letter in a complete sentence; the speed in knots follows
// it. When the magnetic course is empty, the speed itself moves up to position 4.
void decodeVtg(sentenceFields &f, shipData *s) {
    if (auto v = nextField(f); !v.empty()) s->cog = toSingle(readReal(v));
    nextField(f);
    nextField(f);
    auto v = nextField(f);
    if (!v.empty() && v.front() == 'M') v = nextField(f);
    if (!v.empty()) s->sog = toSingle(readReal(v));
}

// $GPHDT,274.07,T*03
//        1
void decodeHdt(sentenceFields &f, shipData *s) {
    if (auto v = nextField(f); !v.empty()) s->heading = readReal(v);
}

}  // namespace

void parseShipNMEA(char *buf, shipData *s, clockFn clock, std::FILE *console) {
    sentenceFields f{std::string_view(buf)};
    std::string_view id = nextField(f);
    if (matchSentenceId(id, "$GPZDA")) {
        decodeZda(f, s, clock, console);
    } else if (matchSentenceId(id, "$GPGGA")) {
        decodeGga(f, s);
    } else if (matchSentenceId(id, "$GPVTG")) {
        decodeVtg(f, s);
    } else if (matchSentenceId(id, "$GPHDT")) {
        decodeHdt(f, s);
    }
}
