// navdisplay's command line: defaults, each option, and the mistakes it refuses.
#include "displayOptions.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct optionCase {
    std::vector<std::string> args;
    displayParse outcome;
    std::function<void(const displayOptions &)> check;  // for outcome run
    const char *complaint = "";                         // part of the reason, for usage errors
};

TEST(DisplayOptions, ReadsEveryOptionAndRefusesMistakes) {
    const optionCase cases[] = {
        {{},
         displayParse::run,
         [](const displayOptions &o) {
             EXPECT_EQ(o.host, "127.0.0.1");
             EXPECT_EQ(o.port, 8080);
             EXPECT_EQ(o.intervalSeconds, 1);
             EXPECT_EQ(o.listen, "127.0.0.1");
             EXPECT_EQ(o.httpPort, 8088);
             EXPECT_EQ(o.historySeconds, 3600);
             EXPECT_EQ(o.amberAfter, 5);
             EXPECT_EQ(o.redAfter, 30);
         }},
        {{"--host", "loghost", "--port=9000", "--interval", "0.5", "--timeout", "0.2", "--retries",
          "0", "--listen", "0.0.0.0", "--http-port", "0", "--history", "600", "--amber-after", "2",
          "--red-after=4"},
         displayParse::run,
         [](const displayOptions &o) {
             EXPECT_EQ(o.host, "loghost");
             EXPECT_EQ(o.port, 9000);
             EXPECT_EQ(o.intervalSeconds, 0.5);
             EXPECT_EQ(o.timeoutSeconds, 0.2);
             EXPECT_EQ(o.retries, 0);
             EXPECT_EQ(o.listen, "0.0.0.0");
             EXPECT_EQ(o.httpPort, 0);
             EXPECT_EQ(o.historySeconds, 600);
             EXPECT_EQ(o.amberAfter, 2);
             EXPECT_EQ(o.redAfter, 4);
         }},
        {{"--port", "8080", "--help"}, displayParse::help, nullptr},
        {{"--http-port", "65536"}, displayParse::usageError, nullptr, "--http-port"},
        {{"--port", "0"}, displayParse::usageError, nullptr, "--port"},
        {{"--interval", "0.05"}, displayParse::usageError, nullptr, "--interval"},
        {{"--retries", "101"}, displayParse::usageError, nullptr, "--retries"},
        {{"--history", "86401"}, displayParse::usageError, nullptr, "--history"},
        {{"--amber-after", "10", "--red-after", "10"},
         displayParse::usageError,
         nullptr,
         "--red-after"},
        {{"--amber-after", "0"}, displayParse::usageError, nullptr, "--amber-after"},
        {{"--colour", "red"}, displayParse::usageError, nullptr, "unknown option --colour"},
        {{"--listen"}, displayParse::usageError, nullptr, "--listen needs a value"},
    };
    for (const optionCase &c : cases) {
        std::vector<char *> argv{const_cast<char *>("navdisplay")};
        std::string shown;
        for (const std::string &a : c.args) {
            argv.push_back(const_cast<char *>(a.c_str()));
            shown += " " + a;
        }
        SCOPED_TRACE("navdisplay" + shown);
        displayOptions options;
        std::string why;
        displayParse outcome =
            parseDisplayOptions(static_cast<int>(argv.size()), argv.data(), options, why);
        ASSERT_EQ(outcome, c.outcome) << why;
        if (c.check) c.check(options);
        EXPECT_NE(why.find(c.complaint), std::string::npos) << why;
    }
}

}  // namespace
