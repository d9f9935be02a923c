#include "fields.h"

#include <bit>
#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

// Every reading here runs for every field of every datagram, so they walk the text with plain
// pointers, once, and take the usual spelling (digits straight away) by the shortest path.

namespace {

// The C locale's white space, which atoi, atof and sscanf skip before a number: the blank and
// the five control characters from tab to carriage return.
bool isBlank(char c) {
    return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t';
}

bool isDigit(char c) {
    return static_cast<unsigned char>(c - '0') <= 9;
}

unsigned digitValue(char c) {
    return static_cast<unsigned char>(c - '0');
}

const char *skipBlanks(const char *p, const char *end) {
    while (p != end && isBlank(*p)) ++p;
    return p;
}

const char *skipDigits(const char *p, const char *end) {
    while (p != end && isDigit(*p)) ++p;
    return p;
}

// Whether the n characters from p are all digits, and their value; the caller makes sure
// they exist.
bool readDigitRun(const char *p, int n, int *value) {
    int v = 0;
    for (int i = 0; i < n; ++i) {
        if (!isDigit(p[i])) return false;
        v = v * 10 + static_cast<int>(digitValue(p[i]));
    }
    *value = v;
    return true;
}

// The first comma in [p, end), or end. Fields are short but sentences are not, so eight
// characters are tested at a time while eight remain.
const char *findComma(const char *p, const char *end) {
    if constexpr (std::endian::native == std::endian::little) {
        constexpr std::uint64_t commas = 0x2c2c2c2c2c2c2c2cULL;
        constexpr std::uint64_t ones = 0x0101010101010101ULL;
        constexpr std::uint64_t highs = 0x8080808080808080ULL;
        for (; end - p >= 8; p += 8) {
            std::uint64_t chunk;
            std::memcpy(&chunk, p, sizeof chunk);
            std::uint64_t x = chunk ^ commas;  // a comma becomes a zero byte
            // The lowest marked byte is the first zero byte; marks above it may be false.
            std::uint64_t zeros = (x - ones) & ~x & highs;
            if (zeros != 0) return p + std::countr_zero(zeros) / 8;
        }
    }
    while (p != end && *p != ',') ++p;
    return p;
}

// An integer of at most width characters, sign included, after any white space (which does
// not count toward the width): what sscanf's "%2d" or "%3d" reads. On success *p moves past
// it.
bool scanNarrowInteger(const char **p, const char *end, int width, int *value) {
    const char *q = *p;
    if (q == end || !isDigit(*q)) {
        q = skipBlanks(q, end);
        if (q == end || !(isDigit(*q) || *q == '+' || *q == '-')) return false;
    }
    const char *limit = end - q > width ? q + width : end;
    bool negative = *q == '-';
    if (*q == '+' || *q == '-') ++q;
    if (q == limit || !isDigit(*q)) return false;
    int n = 0;  // at most three digits: no overflow
    for (; q != limit && isDigit(*q); ++q) n = n * 10 + static_cast<int>(digitValue(*q));
    *value = negative ? -n : n;
    *p = q;
    return true;
}

constexpr int maxDigits = 19;  // any 19 decimal digits fit in 64 bits

// Adds the digits from p on to *mantissa; returns where they end. Past maxDigits digits the
// value is wrong, and the caller does not use it.
const char *accumulateDigits(const char *p, const char *end, std::uint64_t *mantissa) {
    std::uint64_t m = *mantissa;
    for (; p != end && isDigit(*p); ++p) m = m * 10 + digitValue(*p);
    *mantissa = m;
    return p;
}

// Converts a spelling that scanReal accepted, correctly rounded to T as strtod or strtof
// would. from_chars does the work; only where it reports a value out of range (overflow, or an
// underflow that strtod would still round to a subnormal or zero) does the C library decide,
// on a copy, since it needs a terminated string.
template <typename T>
T convertDecimal(std::string_view spelling) {
    std::string_view digits = spelling;
    if (!digits.empty() && digits.front() == '+') digits.remove_prefix(1);
    T value{};
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value,
                                     std::chars_format::general);
    if (ec == std::errc{} && end == digits.data() + digits.size()) return value;
    // A field lies inside one received datagram, so its spelling never exceeds 1024 bytes
    // and always fits; nothing longer reaches the readings.
    char copy[1100];
    std::size_t n = std::min(spelling.size(), sizeof copy - 1);
    std::memcpy(copy, spelling.data(), n);
    copy[n] = '\0';
    if constexpr (std::is_same_v<T, float>) {
        return std::strtof(copy, nullptr);
    } else {
        return std::strtod(copy, nullptr);
    }
}

// Powers of ten that T holds exactly, and the integers up to which T holds every one.
template <typename T>
struct exactDecimal;
template <>
struct exactDecimal<double> {
    static constexpr double powers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                        1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                        1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    static constexpr std::uint64_t mantissaLimit = std::uint64_t{1} << 53;
};
template <>
struct exactDecimal<float> {
    static constexpr float powers[] = {1e0f, 1e1f, 1e2f, 1e3f, 1e4f, 1e5f,
                                       1e6f, 1e7f, 1e8f, 1e9f, 1e10f};
    static constexpr std::uint64_t mantissaLimit = std::uint64_t{1} << 24;
};

// A real number after any white space, as sscanf's "%f" or "%lf" reads it: the longest
// prefix that spells one (optional sign, digits with an optional point and fraction or a point
// and fraction, and an exponent only when a digit follows the e). False when there is none.
template <typename T>
bool scanReal(const char *p, const char *end, T *value) {
    using exact = exactDecimal<T>;
    constexpr int maxPower = sizeof exact::powers / sizeof exact::powers[0] - 1;
    p = skipBlanks(p, end);
    const char *start = p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    std::uint64_t mantissa = 0;
    const char *digitsStart = p;
    p = accumulateDigits(p, end, &mantissa);
    auto digitCount = p - digitsStart;
    long fractionDigits = 0;
    if (p != end && *p == '.') {
        const char *fracEnd = accumulateDigits(p + 1, end, &mantissa);
        fractionDigits = fracEnd - (p + 1);
        if (digitCount + fractionDigits == 0) return false;
        digitCount += fractionDigits;
        p = fracEnd;
    } else if (digitCount == 0) {
        return false;
    }
    bool quick = digitCount <= maxDigits;
    if (p != end && (*p == 'e' || *p == 'E')) {
        const char *q = p + 1;
        if (q != end && (*q == '+' || *q == '-')) ++q;
        const char *expEnd = skipDigits(q, end);
        if (expEnd != q) {
            p = expEnd;
            quick = false;
        }
    }
    // Where the digits and the power of ten are both held exactly, one division rounds the
    // quotient correctly, which is all that strtod promises: the same value for far less work.
    if (quick && mantissa <= exact::mantissaLimit && fractionDigits <= maxPower) {
        T magnitude = static_cast<T>(mantissa) / exact::powers[fractionDigits];
        *value = negative ? -magnitude : magnitude;
    } else {
        *value = convertDecimal<T>(std::string_view(start, static_cast<std::size_t>(p - start)));
    }
    return true;
}

// The hour and minute of a time of day; returns how many were stored.
int readHourMinute(const char **p, const char *end, int *hour, int *min) {
    // Four digits, as every receiver sends them, are the hour and minute whatever follows.
    if (end - *p >= 4 && readDigitRun(*p, 2, hour) && readDigitRun(*p + 2, 2, min)) {
        *p += 4;
        return 2;
    }
    if (!scanNarrowInteger(p, end, 2, hour)) return 0;
    if (!scanNarrowInteger(p, end, 2, min)) return 1;
    return 2;
}

}  // namespace

std::string_view nextField(sentenceFields &sentence) {
    const char *p = sentence.rest.data();
    const char *end = p + sentence.rest.size();
    while (p != end && *p == ',') ++p;
    if (p == end) {
        sentence.rest = {};
        return {};
    }
    const char *start = p;
    p = findComma(p, end);
    sentence.rest = p == end ? std::string_view{} : std::string_view(p + 1, end - p - 1);
    return std::string_view(start, static_cast<std::size_t>(p - start));
}

bool matchSentenceId(std::string_view field, std::string_view id) {
    return field.size() >= 6 && id.size() >= 6 && field.substr(0, 6) == id.substr(0, 6);
}

int readTimeOfDay(std::string_view field, int *hour, int *min, int *sec) {
    const char *p = field.data();
    const char *end = p + field.size();
    int stored = readHourMinute(&p, end, hour, min);
    if (stored < 2) return stored;
    if (end - p >= 2 && readDigitRun(p, 2, sec)) return 3;  // two digits, whatever follows
    return scanNarrowInteger(&p, end, 2, sec) ? 3 : 2;
}

int readTimeOfDay(std::string_view field, int *hour, int *min, float *sec) {
    const char *p = field.data();
    const char *end = p + field.size();
    int stored = readHourMinute(&p, end, hour, min);
    if (stored < 2 || !scanReal(p, end, sec)) return stored;
    return 3;
}

bool readDegreesMinutes(std::string_view field, int degreeChars, double *coordinate) {
    const char *p = field.data();
    const char *end = p + field.size();
    int degrees = 0;
    double minutes = 0.0;
    // degreeChars digits in a row are the degrees whatever follows; else the general rule.
    if (end - p >= degreeChars && readDigitRun(p, degreeChars, &degrees)) {
        p += degreeChars;
    } else if (!scanNarrowInteger(&p, end, degreeChars, &degrees)) {
        return false;
    }
    if (!scanReal(p, end, &minutes)) return false;
    *coordinate = degrees + minutes / 60.0;
    return true;
}

void applyHemisphere(std::string_view field, double *coordinate, char negativeLetter) {
    if (!field.empty() && field.front() == negativeLetter) *coordinate = -*coordinate;
}

int readInteger(std::string_view field) {
    const char *p = field.data();
    const char *end = p + field.size();
    bool negative = false;
    if (p != end && !isDigit(*p)) {
        p = skipBlanks(p, end);
        if (p != end && (*p == '+' || *p == '-')) {
            negative = *p == '-';
            ++p;
        }
    }
    // Nine digits cannot overflow, and fields rarely hold more.
    const char *nine = end - p > 9 ? p + 9 : end;
    int n = 0;
    for (; p != nine && isDigit(*p); ++p) n = n * 10 + static_cast<int>(digitValue(*p));
    if (p == end || !isDigit(*p)) return negative ? -n : n;
    // Past this magnitude the result is clamped anyway, so the sum stops growing.
    constexpr long long cap = static_cast<long long>(INT_MAX) + 1;
    long long wide = n;
    for (; p != end && isDigit(*p); ++p) {
        if (wide < cap) wide = wide * 10 + digitValue(*p);
    }
    if (negative) return wide >= cap ? INT_MIN : static_cast<int>(-wide);
    return wide > INT_MAX ? INT_MAX : static_cast<int>(wide);
}

double readReal(std::string_view field) {
    double value = 0.0;
    scanReal(field.data(), field.data() + field.size(), &value);
    return value;
}

char readCharacter(std::string_view field) {
    return field.empty() ? '\0' : field.front();
}

float toSingle(double value) {
    // The midpoint between the largest float and 2^128: from there on, rounding to nearest
    // (ties to even) gives infinity, and the plain conversion would be undefined.
    constexpr double overflow = 0x1.ffffffp+127;
    if (std::fabs(value) >= overflow) {
        constexpr float inf = std::numeric_limits<float>::infinity();
        return value > 0 ? inf : -inf;
    }
    return static_cast<float>(value);
}
