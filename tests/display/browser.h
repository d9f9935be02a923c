// Headless Chromium from the tests: a page's document after its scripts have run a while, or a
// screenshot of it; and small readers for the dumped document. Every run is bounded in time and
// gets a fresh profile, removed afterwards.
#pragma once

#include <chrono>
#include <string>
#include <vector>

namespace displayTest {

// The browser's path, or empty when it is not installed.
std::string chromiumPath();

struct browserRun {
    bool ended = false;  // false: killed at the time limit
    int status = -1;
    std::string out;
    std::string err;
};

browserRun runBrowser(const std::vector<std::string> &options, const std::string &url,
                      std::chrono::seconds limit = std::chrono::seconds(45));

// The document after the page has run for `budget` of its own (virtual) time: it polls and
// draws as it would for a person, without the test waiting that long.
browserRun dumpDom(const std::string &url, int budgetMs = 2500);
browserRun takeScreenshot(const std::string &url, const std::string &path, int width, int height);

// The text inside the element with this id, tags removed; empty when there is none.
std::string elementText(const std::string &dom, const std::string &id);
std::string attributeOf(const std::string &dom, const std::string &id, const std::string &name);
bool elementHidden(const std::string &dom, const std::string &id);
// A cell of the channel table's row for this channel: 0 name, 1 value, 2 unit, 3 reading.
std::string channelCell(const std::string &dom, const std::string &channel, int column);
// Words a script writes when it shows a value it did not check.
std::vector<std::string> unshownWords(const std::string &dom);

}  // namespace displayTest
