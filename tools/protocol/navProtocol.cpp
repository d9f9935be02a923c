#include "protocol/navProtocol.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <system_error>
#include <utility>

#include "server/query.h"

namespace navproto {

namespace {

// Calls visit(index, piece) for every comma-separated piece and returns how many there were.
template <typename Visit>
std::size_t splitCommas(std::string_view text, Visit visit) {
    std::size_t count = 0;
    std::size_t start = 0;
    for (;;) {
        std::size_t comma = text.find(',', start);
        visit(count++, text.substr(start, comma - start));
        if (comma == std::string_view::npos) return count;
        start = comma + 1;
    }
}

bool isPrintable(std::string_view text) {
    for (char c : text) {
        if (c < 0x20 || c > 0x7e) return false;
    }
    return true;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

bool isNameCharacter(char c) {
    return isDigit(c) || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '.' || c == '_' ||
           c == '-';
}

// -?digits(.digits)?: the server's "%d" and "%f" forms.
bool isDecimal(std::string_view text) {
    std::size_t i = text.starts_with('-') ? 1 : 0;
    std::size_t digits = i;
    while (i < text.size() && isDigit(text[i])) ++i;
    if (i == digits) return false;
    if (i == text.size()) return true;
    if (text[i] != '.') return false;
    std::size_t fraction = ++i;
    while (i < text.size() && isDigit(text[i])) ++i;
    return i > fraction && i == text.size();
}

// JSON forbids leading zeros ("007"); the server never prints them, another sender might.
bool isJsonNumber(std::string_view text) {
    std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
    return isDecimal(text) && !(digits.size() > 1 && digits[0] == '0' && isDigit(digits[1]));
}

bool isNonFinite(std::string_view text) {
    return text == "inf" || text == "-inf" || text == "nan" || text == "-nan";
}

fieldValue classifyField(std::string_view text) {
    if (text == "NO_ITEM") return {text, valueKind::missing, 0};
    if (isNonFinite(text)) return {text, valueKind::nonFinite, NAN};
    if (!isDecimal(text)) return {text, valueKind::text, 0};
    double value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec == std::errc::result_out_of_range) value = text.starts_with('-') ? -INFINITY : INFINITY;
    return {text, valueKind::number, value};
}

std::optional<double> ageBetween(const fieldValue &now, const fieldValue &then) {
    if (now.kind != valueKind::number || then.kind != valueKind::number || then.number == 0) {
        return std::nullopt;
    }
    double age = now.number - then.number;
    if (!std::isfinite(age)) return std::nullopt;
    return age;
}

void appendCsvCell(std::string_view text, std::string &out) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos) {
        out += text;
        return;
    }
    out += '"';
    for (char c : text) {
        if (c == '"') out += '"';
        out += c;
    }
    out += '"';
}

void appendJsonString(std::string_view text, std::string &out) {
    out += '"';
    for (char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned char>(c));
            out += escaped;
        } else {
            out += c;
        }
    }
    out += '"';
}

// Numbers stay numbers, with the server's own digits; a channel without a value and a value
// that JSON cannot carry (infinite, not a number) become null, so every line stays valid JSON.
void appendJsonValue(const fieldValue &field, std::string &out) {
    switch (field.kind) {
        case valueKind::number:
            if (isJsonNumber(field.text)) {
                out += field.text;
            } else if (std::isfinite(field.number)) {
                out += formatShortest(field.number);
            } else {
                out += "null";
            }
            return;
        case valueKind::text:
            appendJsonString(field.text, out);
            return;
        case valueKind::missing:
        case valueKind::nonFinite:
            out += "null";
            return;
    }
}

void appendOptionalNumber(const std::optional<double> &value, std::string_view absent,
                          std::string &out) {
    if (value) {
        out += formatShortest(*value);
    } else {
        out += absent;
    }
}

}  // namespace

const std::array<std::string_view, channelCount> &knownChannels() {
    static const auto names = [] {
        std::array<std::string_view, channelCount> list{};
        splitCommas(headerString, [&](std::size_t i, std::string_view name) {
            if (i < channelCount) list[i] = name;
        });
        return list;
    }();
    return names;
}

bool parseHeader(std::string_view reply, channelHeader &out, std::string &why) {
    if (!isPrintable(reply)) {
        why = "header holds bytes that are not printable text";
        return false;
    }
    std::string problem;
    std::size_t count = splitCommas(reply, [&](std::size_t i, std::string_view name) {
        if (!problem.empty() || i >= channelCount) return;
        if (name.empty()) {
            problem = "header name " + std::to_string(i + 1) + " is empty";
            return;
        }
        for (char c : name) {
            if (!isNameCharacter(c)) {
                problem = "header name " + std::to_string(i + 1) + " '" + std::string(name) +
                          "' is not a channel name";
                return;
            }
        }
        out.names[i] = name;
    });
    if (count != channelCount) {
        why = "header has " + std::to_string(count) + " names, expected " +
              std::to_string(channelCount);
        return false;
    }
    why = problem;
    return problem.empty();
}

bool parseRecord(std::string_view reply, statusRecord &out, std::string &why) {
    if (!isPrintable(reply)) {
        why = "record holds bytes that are not printable text";
        return false;
    }
    std::string problem;
    std::size_t count = splitCommas(reply, [&](std::size_t i, std::string_view text) {
        if (i >= channelCount) return;
        if (i == timestampField || i == timezoneField) {
            out.fields[i] = {text, valueKind::text, 0};
            return;
        }
        out.fields[i] = classifyField(text);
        if (out.fields[i].kind == valueKind::text && problem.empty()) {
            problem = "record field " + std::to_string(i + 1) + " '" + std::string(text) +
                      "' is neither a number nor NO_ITEM";
        }
    });
    if (count != channelCount) {
        why = "record has " + std::to_string(count) + " fields, expected " +
              std::to_string(channelCount);
        return false;
    }
    why = problem;
    return problem.empty();
}

dataAges computeAges(const statusRecord &record) {
    const fieldValue &now = record.fields[hostTimeField];
    return {ageBetween(now, record.fields[shipTimeField]),
            ageBetween(now, record.fields[vehicleTimeField])};
}

bool selectChannels(std::string_view list, const std::vector<std::string_view> &names,
                    std::vector<std::size_t> &positions, std::string &why) {
    std::string unknown;
    splitCommas(list, [&](std::size_t, std::string_view wanted) {
        for (std::size_t i = 0; i < names.size(); ++i) {
            if (names[i] == wanted) {
                positions.push_back(i);
                return;
            }
        }
        unknown += unknown.empty() ? "'" : ", '";
        unknown += wanted;
        unknown += "'";
    });
    if (unknown.empty()) return true;
    why = "unknown channel " + unknown + " (--list-channels shows the names)";
    return false;
}

recordFormatter::recordFormatter(const channelHeader &header, outputOptions options)
    : options_(std::move(options)) {
    if (options_.channels.empty()) {
        for (std::size_t i = 0; i < channelCount; ++i) options_.channels.push_back(i);
    }
    positions_ = options_.channels;
    for (std::size_t i : positions_) names_.push_back(header.names[i]);
    nameWidth_ = std::max(shipAgeName.size(), vehicleAgeName.size());
    for (const auto &name : names_) nameWidth_ = std::max(nameWidth_, name.size());
}

void recordFormatter::appendPreamble(std::string &out) const {
    if (options_.format != outputFormat::csv) return;
    for (std::size_t i = 0; i < names_.size(); ++i) {
        if (i > 0) out += ',';
        appendCsvCell(names_[i], out);
    }
    if (options_.ages) {
        out += ',';
        out += shipAgeName;
        out += ',';
        out += vehicleAgeName;
    }
    out += '\n';
}

void recordFormatter::appendRecord(const statusRecord &record, std::string &out) {
    switch (options_.format) {
        case outputFormat::table:
            if (written_ > 0) out += '\n';
            appendTable(record, out);
            break;
        case outputFormat::csv:
            appendCsv(record, out);
            break;
        case outputFormat::json:
            appendJson(record, out);
            break;
    }
    ++written_;
}

void recordFormatter::appendTable(const statusRecord &record, std::string &out) const {
    auto line = [&](std::string_view name, auto appendValue) {
        out += name;
        out.append(nameWidth_ + 2 - name.size(), ' ');
        appendValue();
        out += '\n';
    };
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        line(names_[i], [&] { out += record.fields[positions_[i]].text; });
    }
    dataAges ages = computeAges(record);
    auto ageText = [&](const std::optional<double> &age) {
        if (!age) {
            out += "none received";
            return;
        }
        out += formatShortest(*age);
        out += " s";
    };
    line(shipAgeName, [&] { ageText(ages.ship); });
    line(vehicleAgeName, [&] { ageText(ages.vehicle); });
}

void recordFormatter::appendCsv(const statusRecord &record, std::string &out) const {
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        if (i > 0) out += ',';
        appendCsvCell(record.fields[positions_[i]].text, out);
    }
    if (options_.ages) {
        dataAges ages = computeAges(record);
        out += ',';
        appendOptionalNumber(ages.ship, "", out);
        out += ',';
        appendOptionalNumber(ages.vehicle, "", out);
    }
    out += '\n';
}

void recordFormatter::appendJson(const statusRecord &record, std::string &out) const {
    out += '{';
    for (std::size_t i = 0; i < positions_.size(); ++i) {
        if (i > 0) out += ',';
        appendJsonString(names_[i], out);
        out += ':';
        appendJsonValue(record.fields[positions_[i]], out);
    }
    if (options_.ages) {
        dataAges ages = computeAges(record);
        if (!positions_.empty()) out += ',';
        appendJsonString(shipAgeName, out);
        out += ':';
        appendOptionalNumber(ages.ship, "null", out);
        out += ',';
        appendJsonString(vehicleAgeName, out);
        out += ':';
        appendOptionalNumber(ages.vehicle, "null", out);
    }
    out += "}\n";
}

std::string formatShortest(double value) {
    char text[32];
    auto [end, ec] = std::to_chars(text, text + sizeof text, value);
    return std::string(text, end);
}

}  // namespace navproto
