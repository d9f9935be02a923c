#include "fields.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

// The C locale's white space, which atoi, atof and sscanf skip before a number: the blank and
// the five control characters from tab to carriage return.
bool isBlank(char c) { return c == ' ' || static_cast<unsigned char>(c - '\t') <= '\r' - '\t'; }

bool isDigit(char c) { return static_cast<unsigned char>(c - '0') <= 9; }

const char *skipBlanks(const char *p, const char *end) {
    while (p != end && isBlank(*p)) ++p;
    return p;
}

const char *skipDigits(const char *p, const char *end) {
    while (p != end && isDigit(*p)) ++p;
    return p;
}

// An integer of at most width characters, sign included, after any white space (which does
// not count toward the width): what sscanf's "%2d" or "%3d" reads.
bool scanNarrowInteger(std::string_view text, std::size_t *pos, int width, int *value) {
    const char *end = text.data() + text.size();
    const char *p = skipBlanks(text.data() + *pos, end);
    const char *limit = end - p > width ? p + width : end;
    bool negative = false;
    if (p != limit && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    if (p == limit || !isDigit(*p)) return false;
    int n = 0;  // at most three digits: no overflow
    for (; p != limit && isDigit(*p); ++p) n = n * 10 + (*p - '0');
    *value = negative ? -n : n;
    *pos = static_cast<std::size_t>(p - text.data());
    return true;
}

// A decimal spelling as sscanf's "%f" sees it, with what the quick conversion needs: the
// digits as one integer and the count of fraction digits, as long as they fit.
struct decimalSpelling {
    std::size_t length = 0;  // zero when the text spells no number
    bool negative = false;
    bool exact = true;  // no exponent, and the digits fit in mantissa
    std::uint64_t mantissa = 0;
    int fractionDigits = 0;
};

// The longest prefix of [p, end) that spells a decimal real number: optional sign, digits
// with an optional point and fraction or a point and fraction, and an exponent only when a
// digit follows the e.
decimalSpelling spellDecimal(const char *p, const char *end) {
    constexpr int maxDigits = 19;  // any 19 decimal digits fit in 64 bits
    decimalSpelling d;
    const char *start = p;
    if (p != end && (*p == '+' || *p == '-')) {
        d.negative = *p == '-';
        ++p;
    }
    int digitCount = 0;
    const char *intEnd = p;
    for (; intEnd != end && isDigit(*intEnd); ++intEnd, ++digitCount) {
        d.mantissa = d.mantissa * 10 + static_cast<unsigned>(*intEnd - '0');
    }
    bool digits = intEnd != p;
    p = intEnd;
    if (p != end && *p == '.') {
        const char *fracEnd = p + 1;
        std::uint64_t mantissa = d.mantissa;
        int count = digitCount;
        for (; fracEnd != end && isDigit(*fracEnd); ++fracEnd, ++count) {
            mantissa = mantissa * 10 + static_cast<unsigned>(*fracEnd - '0');
        }
        if (fracEnd != p + 1) digits = true;
        if (digits) {
            d.fractionDigits = static_cast<int>(fracEnd - (p + 1));
            d.mantissa = mantissa;
            digitCount = count;
            p = fracEnd;
        }
    }
    if (!digits) return d;
    if (p != end && (*p == 'e' || *p == 'E')) {
        const char *q = p + 1;
        if (q != end && (*q == '+' || *q == '-')) ++q;
        const char *expEnd = skipDigits(q, end);
        if (expEnd != q) {
            p = expEnd;
            d.exact = false;
        }
    }
    if (digitCount > maxDigits) d.exact = false;
    d.length = static_cast<std::size_t>(p - start);
    return d;
}

// Converts a spelling that spellDecimal accepted, correctly rounded to T as strtod or strtof
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

// Powers of ten that T holds exactly, and the largest integer below which T holds every one.
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

// Where the digits and the power of ten are both held exactly, one division rounds the
// quotient correctly, which is what strtod promises: the same value, for far less work.
template <typename T>
T toReal(const decimalSpelling &d, const char *spelling) {
    using exact = exactDecimal<T>;
    constexpr int maxPower = sizeof exact::powers / sizeof exact::powers[0] - 1;
    if (d.exact && d.mantissa <= exact::mantissaLimit && d.fractionDigits <= maxPower) {
        T value = static_cast<T>(d.mantissa) / exact::powers[d.fractionDigits];
        return d.negative ? -value : value;
    }
    return convertDecimal<T>(std::string_view(spelling, d.length));
}

// A real number after any white space, as sscanf's "%f" or "%lf" reads it.
template <typename T>
bool scanReal(std::string_view text, std::size_t pos, T *value) {
    const char *end = text.data() + text.size();
    const char *p = skipBlanks(text.data() + pos, end);
    decimalSpelling d = spellDecimal(p, end);
    if (d.length == 0) return false;
    *value = toReal<T>(d, p);
    return true;
}

// The hour and minute of a time of day; returns how many were stored.
int readHourMinute(std::string_view field, std::size_t *pos, int *hour, int *min) {
    if (!scanNarrowInteger(field, pos, 2, hour)) return 0;
    if (!scanNarrowInteger(field, pos, 2, min)) return 1;
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
    while (p != end && *p != ',') ++p;
    sentence.rest = p == end ? std::string_view{} : std::string_view(p + 1, end - p - 1);
    return std::string_view(start, static_cast<std::size_t>(p - start));
}

bool matchSentenceId(std::string_view field, std::string_view id) {
    return field.size() >= 6 && id.size() >= 6 && field.substr(0, 6) == id.substr(0, 6);
}

int readTimeOfDay(std::string_view field, int *hour, int *min, int *sec) {
    std::size_t pos = 0;
    int stored = readHourMinute(field, &pos, hour, min);
    if (stored < 2 || !scanNarrowInteger(field, &pos, 2, sec)) return stored;
    return 3;
}

int readTimeOfDay(std::string_view field, int *hour, int *min, float *sec) {
    std::size_t pos = 0;
    int stored = readHourMinute(field, &pos, hour, min);
    if (stored < 2 || !scanReal(field, pos, sec)) return stored;
    return 3;
}

bool readDegreesMinutes(std::string_view field, int degreeChars, double *coordinate) {
    std::size_t pos = 0;
    int degrees = 0;
    double minutes = 0.0;
    if (!scanNarrowInteger(field, &pos, degreeChars, &degrees)) return false;
    if (!scanReal(field, pos, &minutes)) return false;
    *coordinate = degrees + minutes / 60.0;
    return true;
}

void applyHemisphere(std::string_view field, double *coordinate, char negativeLetter) {
    if (!field.empty() && field.front() == negativeLetter) *coordinate = -*coordinate;
}

int readInteger(std::string_view field) {
    const char *end = field.data() + field.size();
    const char *p = skipBlanks(field.data(), end);
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-')) {
        negative = *p == '-';
        ++p;
    }
    // Past this magnitude the result is clamped anyway, so the sum stops growing.
    constexpr long long cap = static_cast<long long>(INT_MAX) + 1;
    long long n = 0;
    for (; p != end && isDigit(*p); ++p) {
        if (n < cap) n = n * 10 + (*p - '0');
    }
    if (negative) return n >= cap ? INT_MIN : static_cast<int>(-n);
    return n > INT_MAX ? INT_MAX : static_cast<int>(n);
}

double readReal(std::string_view field) {
    double value = 0.0;
    scanReal(field, 0, &value);
    return value;
}

char readCharacter(std::string_view field) { return field.empty() ? '\0' : field.front(); }

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
