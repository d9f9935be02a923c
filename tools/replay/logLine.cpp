#include "replay/logLine.h"

#include <cstdint>

namespace nmea {

namespace {

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

// Reads `count` digits at `at`; false when any is not a digit.
bool readDigits(std::string_view text, std::size_t at, std::size_t count, int &out) {
    if (at + count > text.size()) return false;
    out = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (!isDigit(text[i])) return false;
        out = out * 10 + (text[i] - '0');
    }
    return true;
}

// Reads ".digits" at `at`, if there is one, as a fraction; returns the position after it.
std::size_t readFraction(std::string_view text, std::size_t at, double &fraction) {
    fraction = 0;
    if (at >= text.size() || text[at] != '.') return at;
    double scale = 0.1;
    std::size_t i = at + 1;
    for (; i < text.size() && isDigit(text[i]); ++i, scale /= 10)
        fraction += (text[i] - '0') * scale;
    return i;
}

// Days from 1970-01-01 to a date of the proleptic Gregorian calendar.
std::int64_t daysSinceEpoch(int year, int month, int day) {
    std::int64_t y = month <= 2 ? year - 1 : year;
    std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    std::int64_t yearOfEra = y - era * 400;
    std::int64_t dayOfYear = (153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1;
    std::int64_t dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
    return era * 146097 + dayOfEra - 719468;
}

// The field at `position` (0 for the identifier) when split strictly at every comma, as NMEA
// counts fields.
std::string_view fieldAt(std::string_view sentence, int position) {
    for (int i = 0; i < position; ++i) {
        std::size_t comma = sentence.find(',');
        if (comma == std::string_view::npos) return {};
        sentence.remove_prefix(comma + 1);
    }
    return sentence.substr(0, sentence.find_first_of(",*"));
}

// hhmmss or hhmmss.ss
std::optional<double> readTimeField(std::string_view field) {
    int h, m, s;
    if (!readDigits(field, 0, 2, h) || !readDigits(field, 2, 2, m) || !readDigits(field, 4, 2, s)) {
        return std::nullopt;
    }
    double fraction;
    if (readFraction(field, 6, fraction) != field.size() || h > 23 || m > 59 || s > 60) {
        return std::nullopt;
    }
    return h * 3600.0 + m * 60.0 + s + fraction;
}

struct timedSentence {
    std::string_view type;  // after the two-letter talker
    int timeField;
};

constexpr timedSentence timedSentences[] = {
    {"ZDA", 1}, {"GGA", 1}, {"RMC", 1}, {"GNS", 1}, {"GST", 1}, {"GBS", 1}, {"GLL", 5},
};

}  // namespace

std::string_view stripTimeStamp(std::string_view line, std::optional<double> &stamp) {
    stamp.reset();
    // 2014-08-01T00:00:00.814000Z
    // 0    5  8  11 14 17 19
    int year, month, day, hour, minute, second;
    bool shaped = line.size() >= 20 && readDigits(line, 0, 4, year) && line[4] == '-' &&
                  readDigits(line, 5, 2, month) && line[7] == '-' && readDigits(line, 8, 2, day) &&
                  line[10] == 'T' && readDigits(line, 11, 2, hour) && line[13] == ':' &&
                  readDigits(line, 14, 2, minute) && line[16] == ':' &&
                  readDigits(line, 17, 2, second);
    if (!shaped) return line;
    double fraction;
    std::size_t end = readFraction(line, 19, fraction);
    if (end >= line.size() || line[end] != 'Z') return line;
    if (month < 1 || month > 12 || day < 1 || day > 31 || hour > 23 || minute > 59 || second > 60) {
        return line;
    }
    std::string_view rest = line.substr(end + 1);
    if (!rest.empty() && !isBlank(rest.front())) return line;  // a longer word, not a stamp
    stamp = static_cast<double>(daysSinceEpoch(year, month, day)) * 86400 + hour * 3600.0 +
            minute * 60.0 + second + fraction;
    return trimBlanks(rest);
}

std::optional<logLine> readLogLine(std::string_view line) {
    line = trimBlanks(line);
    if (line.empty() || line.front() == '#') return std::nullopt;
    logLine result;
    result.sentence = stripTimeStamp(line, result.stamp);
    if (result.sentence.empty()) return std::nullopt;
    return result;
}

std::optional<double> sentenceTimeOfDay(std::string_view sentence) {
    std::string_view id = fieldAt(sentence, 0);
    if (id.size() != 6 || (id[0] != '$' && id[0] != '!')) return std::nullopt;
    for (const auto &timed : timedSentences) {
        if (id.substr(3) == timed.type) return readTimeField(fieldAt(sentence, timed.timeField));
    }
    return std::nullopt;
}

}  // namespace nmea
