// Long options for the companion programs: "--name VALUE" or "--name=VALUE", nothing else.
// Each reading names the option in its complaint, so a usage error says what to fix.
#pragma once

#include <climits>
#include <string>
#include <string_view>

namespace cli {

class argReader {
  public:
    argReader(int argc, char **argv) : argc_(argc), argv_(argv) {}

    // Moves to the next argument; false when there are no more.
    bool next();
    // The option's name, "--name", without any "=VALUE" part.
    std::string_view name() const { return name_; }
    // The complaint of the last reading that failed.
    const std::string &error() const { return error_; }

    // An option that takes no value; false (with a complaint) when one was given.
    bool flag();
    bool text(std::string &out);
    // A decimal number, at least `least` (inclusive) or above it (exclusive), and at most
    // `most`: times stay far inside what the clocks can count.
    bool number(double &out, double least, bool inclusive, double most = 1e9);
    // A whole number from least to most.
    bool count(long long &out, long long least = 1, long long most = LLONG_MAX);
    bool port(int &out);
    // Complains that the argument is no option this program knows.
    bool unknown();

  private:
    bool takeValue(std::string_view &value);
    bool fail(std::string why);

    int argc_;
    char **argv_;
    int index_ = 0;
    std::string_view name_;
    std::string_view inlineValue_;
    bool hasInlineValue_ = false;
    std::string error_;
};

}  // namespace cli
