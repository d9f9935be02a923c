#include "common/cliArgs.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <system_error>

namespace cli {

bool argReader::next() {
    if (++index_ >= argc_) return false;
    std::string_view arg = argv_[index_];
    std::size_t eq = arg.find('=');
    hasInlineValue_ = arg.starts_with("--") && eq != std::string_view::npos;
    name_ = hasInlineValue_ ? arg.substr(0, eq) : arg;
    inlineValue_ = hasInlineValue_ ? arg.substr(eq + 1) : std::string_view{};
    return true;
}

bool argReader::fail(std::string why) {
    error_ = std::move(why);
    return false;
}

bool argReader::takeValue(std::string_view &value) {
    if (hasInlineValue_) {
        value = inlineValue_;
        return true;
    }
    if (index_ + 1 >= argc_) return fail(std::string(name_) + " needs a value");
    value = argv_[++index_];
    return true;
}

bool argReader::flag() {
    if (hasInlineValue_) return fail(std::string(name_) + " takes no value");
    return true;
}

bool argReader::text(std::string &out) {
    std::string_view value;
    if (!takeValue(value)) return false;
    if (value.empty()) return fail(std::string(name_) + " needs a value");
    out = value;
    return true;
}

namespace {

std::string showNumber(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

}  // namespace

bool argReader::number(double &out, double least, bool inclusive, double most) {
    std::string_view value;
    if (!takeValue(value)) return false;
    double v = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    bool inRange = (inclusive ? v >= least : v > least) && v <= most;
    if (ec != std::errc{} || end != value.data() + value.size() || !std::isfinite(v) || !inRange) {
        return fail(std::string(name_) + " needs a number " + (inclusive ? "from " : "above ") +
                    showNumber(least) + (inclusive ? " to " : " up to ") + showNumber(most) +
                    ", not '" + std::string(value) + "'");
    }
    out = v;
    return true;
}

bool argReader::count(long long &out, long long least, long long most) {
    std::string_view value;
    if (!takeValue(value)) return false;
    long long v = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc{} || end != value.data() + value.size() || v < least || v > most) {
        std::string upTo = most == LLONG_MAX ? " up" : " to " + std::to_string(most);
        return fail(std::string(name_) + " needs a whole number from " + std::to_string(least) +
                    upTo + ", not '" + std::string(value) + "'");
    }
    out = v;
    return true;
}

bool argReader::port(int &out) {
    std::string_view value;
    if (!takeValue(value)) return false;
    int v = 0;
    auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), v);
    if (ec != std::errc{} || end != value.data() + value.size() || v < 1 || v > 65535) {
        return fail(std::string(name_) + " needs a port from 1 to 65535, not '" +
                    std::string(value) + "'");
    }
    out = v;
    return true;
}

bool argReader::unknown() {
    if (!name_.starts_with("--")) return fail("unexpected argument '" + std::string(name_) + "'");
    return fail("unknown option " + std::string(name_));
}

}  // namespace cli
