#include "fields.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <system_error>

namespace {

// The C locale's white space, which atoi, atof and sscanf skip before a number.
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::size_t skipBlanks(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isBlank(text[pos])) ++pos;
    return pos;
}

std::size_t skipDigits(std::string_view text, std::size_t pos) {
    while (pos < text.size() && isDigit(text[pos])) ++pos;
    return pos;
}

// An integer of at most width characters, sign included, after any white space (which does
// not count toward the width): what sscanf's "%2d" or "%3d" reads.
bool scanNarrowInteger(std::string_view text, std::size_t *pos, int width, int *value) {
    std::size_t p = skipBlanks(text, *pos);
    std::size_t end = std::min(text.size(), p + static_cast<std::size_t>(width));
    bool negative = false;
    if (p < end && (text[p] == '+' || text[p] == '-')) {
        negative = text[p] == '-';
        ++p;
    }
    if (p >= end || !isDigit(text[p])) return false;
    int n = 0;  // at most three digits: no overflow
    for (; p < end && isDigit(text[p]); ++p) n = n * 10 + (text[p] - '0');
    *value = negative ? -n : n;
    *pos = p;
    return true;
}

// Length of the longest prefix of text (from pos) that spells a decimal real number: optional
// sign, digits with an optional point and fraction or a point and fraction, and an exponent
// only when a digit follows the e. Zero when there is none.
std::size_t decimalLength(std::string_view text, std::size_t pos) {
    std::size_t p = pos;
    if (p < text.size() && (text[p] == '+' || text[p] == '-')) ++p;
    std::size_t intEnd = skipDigits(text, p);
    bool digits = intEnd > p;
    p = intEnd;
    if (p < text.size() && text[p] == '.') {
        std::size_t fracEnd = skipDigits(text, p + 1);
        if (fracEnd > p + 1) digits = true;
        if (digits) p = fracEnd;
    }
    if (!digits) return 0;
    if (p < text.size() && (text[p] == 'e' || text[p] == 'E')) {
        std::size_t q = p + 1;
        if (q < text.size() && (text[q] == '+' || text[q] == '-')) ++q;
        std::size_t expEnd = skipDigits(text, q);
        if (expEnd > q) p = expEnd;
    }
    return p - pos;
}

// Converts a spelling that decimalLength accepted, correctly rounded to T as strtod or strtof
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

// A real number after any white space, as sscanf's "%f" or "%lf" reads it.
template <typename T>
bool scanReal(std::string_view text, std::size_t pos, T *value) {
    std::size_t p = skipBlanks(text, pos);
    std::size_t n = decimalLength(text, p);
    if (n == 0) return false;
    *value = convertDecimal<T>(text.substr(p, n));
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
    std::string_view &rest = sentence.rest;
    std::size_t start = rest.find_first_not_of(',');
    if (start == std::string_view::npos) {
        rest = {};
        return {};
    }
    std::size_t end = rest.find(',', start);
    std::string_view field = rest.substr(start, end - start);
    rest = end == std::string_view::npos ? std::string_view{} : rest.substr(end + 1);
    return field;
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
    std::size_t p = skipBlanks(field, 0);
    bool negative = false;
    if (p < field.size() && (field[p] == '+' || field[p] == '-')) {
        negative = field[p] == '-';
        ++p;
    }
    // Past this magnitude the result is clamped anyway, so the sum stops growing.
    constexpr long long cap = static_cast<long long>(INT_MAX) + 1;
    long long n = 0;
    for (; p < field.size() && isDigit(field[p]); ++p) {
        if (n < cap) n = n * 10 + (field[p] - '0');
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
