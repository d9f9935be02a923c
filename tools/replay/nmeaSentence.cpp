#include "replay/nmeaSentence.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <ctime>

namespace nmea {

namespace {

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// Formats the body after '$' and appends the checksum; the body is always far shorter than the
// buffer.
__attribute__((format(printf, 2, 3))) std::size_t finishSentence(sentenceBuffer &out,
                                                                 const char *format, ...) {
    out[0] = '$';
    va_list args;
    va_start(args, format);
    int body = std::vsnprintf(out + 1, sentenceCapacity - 1, format, args);
    va_end(args);
    std::size_t len = 1 + static_cast<std::size_t>(body);
    std::uint8_t sum = checksum(std::string_view(out, len));
    std::snprintf(out + len, sentenceCapacity - len, "*%02X", sum);
    return len + 3;
}

// Degrees and minutes with six decimals of a minute (about 2 mm), rounded once as a whole so
// that 59.9999999 minutes carries into the next degree instead of printing as 60.
struct degreesMinutes {
    long degrees;
    long microMinutes;  // 0 to 59999999
    char hemisphere;
};

degreesMinutes splitCoordinate(double value, char positive, char negative) {
    long long total = std::llround(std::fabs(value) * 60e6);
    return {static_cast<long>(total / 60000000), static_cast<long>(total % 60000000),
            value < 0 ? negative : positive};
}

// "ddmm.mmmmmm,N,dddmm.mmmmmm,E"
void formatPosition(char *text, std::size_t size, double lat, double lon) {
    degreesMinutes a = splitCoordinate(lat, 'N', 'S');
    degreesMinutes o = splitCoordinate(lon, 'E', 'W');
    std::snprintf(text, size, "%02ld%02ld.%06ld,%c,%03ld%02ld.%06ld,%c", a.degrees,
                  a.microMinutes / 1000000, a.microMinutes % 1000000, a.hemisphere, o.degrees,
                  o.microMinutes / 1000000, o.microMinutes % 1000000, o.hemisphere);
}

// hhmmss.ss, the hundredths truncated so a time never rounds up into the next second.
void formatTime(char *text, std::size_t size, const utcMoment &t) {
    int hundredths = static_cast<int>(std::floor(t.second * 100));
    std::snprintf(text, size, "%02d%02d%02d.%02d", t.hour, t.minute, hundredths / 100,
                  hundredths % 100);
}

}  // namespace

std::uint8_t checksum(std::string_view sentence) {
    std::uint8_t sum = 0;
    std::size_t start = sentence.starts_with('$') || sentence.starts_with('!') ? 1 : 0;
    for (std::size_t i = start; i < sentence.size() && sentence[i] != '*'; ++i) {
        sum ^= static_cast<std::uint8_t>(sentence[i]);
    }
    return sum;
}

bool checksumValid(std::string_view sentence) {
    std::size_t star = sentence.rfind('*');
    if (star == std::string_view::npos || star + 3 != sentence.size()) return false;
    int high = hexDigit(sentence[star + 1]);
    int low = hexDigit(sentence[star + 2]);
    return high >= 0 && low >= 0 && checksum(sentence) == high * 16 + low;
}

utcMoment breakDownUtc(double secondsSinceEpoch) {
    double whole = std::floor(secondsSinceEpoch);
    std::time_t t = static_cast<std::time_t>(whole);
    std::tm tm{};
    gmtime_r(&t, &tm);
    return {tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday,
            tm.tm_hour,        tm.tm_min,     tm.tm_sec + (secondsSinceEpoch - whole)};
}

std::size_t buildZda(sentenceBuffer &out, const utcMoment &t) {
    char time[32];
    formatTime(time, sizeof time, t);
    return finishSentence(out, "GPZDA,%s,%02d,%02d,%04d,00,00", time, t.day, t.month, t.year);
}

std::size_t buildShipGga(sentenceBuffer &out, const utcMoment &t, double lat, double lon) {
    char time[32];
    char where[64];
    formatTime(time, sizeof time, t);
    formatPosition(where, sizeof where, lat, lon);
    return finishSentence(out, "GPGGA,%s,%s,1,10,0.9,15.0,M,0.0,M,,", time, where);
}

std::size_t buildVtg(sentenceBuffer &out, double courseTrue, double knots) {
    return finishSentence(out, "GPVTG,%06.2f,T,,M,%.2f,N,%.2f,K,A", courseTrue, knots,
                          knots * 1.852);
}

std::size_t buildHdt(sentenceBuffer &out, double heading) {
    return finishSentence(out, "GPHDT,%06.2f,T", heading);
}

std::size_t buildVehicleGga(sentenceBuffer &out, const utcMoment &t, double lat, double lon,
                            double depth) {
    char time[32];
    char where[64];
    formatTime(time, sizeof time, t);
    formatPosition(where, sizeof where, lat, lon);
    return finishSentence(out, "GPGGA,%s,%s,1,08,1.0,%.2f,M,,M,,", time, where, depth);
}

}  // namespace nmea
