// The display in a real browser, inside the test's private network namespace: headless
// Chromium loads the page from navdisplay, which polls the real server fed by the simulator or
// a scripted server. What the tests read is the document a person would see.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <regex>
#include <string>
#include <vector>

#include "browser.h"
#include "displayTestKit.h"
#include "harness.h"
#include "records.h"

#ifndef NAVREPLAY_PATH
#error "NAVREPLAY_PATH must name the navreplay binary"
#endif

namespace {

using namespace displayTest;
using json = nlohmann::json;

const std::string pageUrl = std::string("http://127.0.0.1:") + std::to_string(displayPort) + "/";

class DisplayInBrowser : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_FALSE(chromiumPath().empty())
            << "Chromium is not installed: apt-get install chromium (make test installs it)";
    }

    // The document, after checking that the browser ran and the page raised no error and wrote
    // no unchecked value.
    static std::string pageAsShown(const std::string &url = pageUrl) {
        browserRun run = dumpDom(url);
        EXPECT_TRUE(run.ended && run.status == 0) << run.err;
        EXPECT_NE(run.out.find("id=\"channel-table\""), std::string::npos) << run.out << run.err;
        EXPECT_TRUE(elementHidden(run.out, "page-error")) << elementText(run.out, "page-error");
        for (const std::string &context : unshownWords(run.out)) ADD_FAILURE() << context;
        return run.out;
    }
};

std::unique_ptr<e2e::process> startSimulator() {
    return std::make_unique<e2e::process>(std::vector<std::string>{
        NAVREPLAY_PATH, "--simulate", "--course", "60", "--speed", "10", "--descent-rate", "1"});
}

// Both data ages known and at least `age` seconds.
bool agesAtLeast(const json &latest, double age) {
    if (!latest.is_object() || !latest["record"].is_object()) return false;
    const json &ship = latest["record"]["SHIP.GPS.TIME.AGE"];
    const json &vehicle = latest["record"]["ROV.POSITION.LAT.UTC.AGE"];
    return ship.is_number() && vehicle.is_number() && ship.get<double>() >= age &&
           vehicle.get<double>() >= age;
}

bool hasFreshData(const json &latest, double depthAtLeast) {
    if (!agesAtLeast(latest, -1e9)) return false;
    const json &depth = latest["record"]["ROV.KELTO.DEPTH"];
    return depth.is_number() && depth.get<double>() >= depthAtLeast;
}

double numberIn(const std::string &text) {
    std::smatch m;
    if (!std::regex_search(text, m, std::regex(R"(-?\d+(\.\d+)?)"))) return -1e9;
    return std::stod(m[0]);
}

// The README's picture goes to docs/ only when asked for, so that a test run leaves the tree
// as it was.
std::string screenshotPath() {
    const char *update = std::getenv("TAVRIN_UPDATE_SCREENSHOT");
    return update && std::string(update) == "1" ? DOCS_SCREENSHOT : BUILD_SCREENSHOT;
}

TEST_F(DisplayInBrowser, ShowsTheSimulatedShipAndTheVehiclesDepth) {
    auto server = e2e::startServer();
    auto simulator = startSimulator();
    auto display = startDisplay({"--interval", "0.5", "--amber-after", "3", "--red-after", "6"});
    json before = waitForLatest([](const json &j) { return hasFreshData(j, 3); }, 20s);
    ASSERT_TRUE(hasFreshData(before, 3)) << before.dump();

    std::string dom = pageAsShown();
    json after = waitForLatest([](const json &) { return true; });

    // The simulated ship steams north-east from 36.75 N 122.05 W at 10 knots, so the page shows
    // a position between the ones navdisplay had before and after the browser ran.
    for (const char *channel : {"SHIP.GPS.LAT", "SHIP.GPS.LON"}) {
        SCOPED_TRACE(channel);
        double shown = std::stod(channelCell(dom, channel, 1));
        EXPECT_GE(shown, before["record"][channel].get<double>());
        EXPECT_LE(shown, after["record"][channel].get<double>());
    }
    EXPECT_EQ(channelCell(dom, "SHIP.GPS.LAT", 2), "° N");
    EXPECT_TRUE(channelCell(dom, "SHIP.GPS.LAT", 3).starts_with("36° 45.0"));
    EXPECT_TRUE(std::regex_match(elementText(dom, "ship-position"),
                                 std::regex("36° 45\\.0\\d\\d′ N  122° 0[23]\\.\\d{3}′ W")))
        << elementText(dom, "ship-position");
    EXPECT_EQ(elementText(dom, "ship-heading"), "60.0° true");

    // The vehicle dives beneath the ship at 1 m/s.
    double depth = numberIn(elementText(dom, "vehicle-depth"));
    EXPECT_GE(depth, before["record"]["ROV.KELTO.DEPTH"].get<double>());
    EXPECT_LE(depth, after["record"]["ROV.KELTO.DEPTH"].get<double>());
    EXPECT_TRUE(elementText(dom, "vehicle-depth").ends_with(" m"));
    EXPECT_EQ(channelCell(dom, "ROV.KELTO.DEPTH", 2), "m");
    EXPECT_EQ(elementText(dom, "vehicle-offset"), "0 m, beneath the ship");

    EXPECT_EQ(attributeOf(dom, "ship-badge", "data-state"), "ok");
    EXPECT_EQ(attributeOf(dom, "vehicle-badge", "data-state"), "ok");
    EXPECT_TRUE(elementHidden(dom, "banner")) << elementText(dom, "banner");
    for (const char *drawn :
         {"class=\"ship-mark\"", "class=\"vehicle-mark\"", "class=\"track-ship\"",
          "class=\"depth-line\"", "id=\"scale-label\""}) {
        EXPECT_NE(dom.find(drawn), std::string::npos) << drawn;
    }

    // A few more seconds of track for the picture.
    waitForLatest([](const json &j) { return hasFreshData(j, 12); }, 20s);
    std::string path = screenshotPath();
    browserRun shot = takeScreenshot(pageUrl, path, 1400, 1100);
    ASSERT_TRUE(shot.ended && shot.status == 0) << shot.err;
    std::ifstream png(path, std::ios::binary);
    std::string signature(8, '\0');
    png.read(signature.data(), 8);
    EXPECT_EQ(signature, "\x89PNG\r\n\x1a\n") << path;
}

TEST_F(DisplayInBrowser, BadgesTurnRedWhenTheFeedStopsAndABannerWhenTheServerDoes) {
    auto server = e2e::startServer();
    auto simulator = startSimulator();
    auto display = startDisplay({"--interval", "0.5", "--amber-after", "2", "--red-after", "4"});
    ASSERT_TRUE(
        hasFreshData(waitForLatest([](const json &j) { return hasFreshData(j, 1); }, 20s), 1));

    simulator->stop();
    json stale = waitForLatest([](const json &j) { return agesAtLeast(j, 5); }, 20s);
    std::string dom = pageAsShown();
    EXPECT_EQ(attributeOf(dom, "ship-badge", "data-state"), "red") << stale.dump();
    EXPECT_EQ(attributeOf(dom, "vehicle-badge", "data-state"), "red") << stale.dump();
    EXPECT_GE(numberIn(elementText(dom, "ship-age")), 5);
    EXPECT_TRUE(elementHidden(dom, "banner")) << elementText(dom, "banner");

    // Thresholds from the address override navdisplay's.
    std::string lenient = pageAsShown(pageUrl + "?amber=100&red=200");
    EXPECT_EQ(attributeOf(lenient, "ship-badge", "data-state"), "ok");
    EXPECT_EQ(attributeOf(lenient, "vehicle-badge", "data-state"), "ok");

    server->stop();
    waitForLatest([](const json &j) { return j["poll"]["outcome"] == "silent"; });
    std::string silent = pageAsShown();
    EXPECT_FALSE(elementHidden(silent, "banner"));
    EXPECT_EQ(attributeOf(silent, "banner", "data-kind"), "failure");
    EXPECT_NE(elementText(silent, "banner").find("server at 127.0.0.1:8080 does not answer"),
              std::string::npos)
        << elementText(silent, "banner");
    // The last values stay on show, and still count as old.
    EXPECT_EQ(channelCell(silent, "SHIP.GPS.LAT", 1), channelCell(dom, "SHIP.GPS.LAT", 1));
    EXPECT_EQ(attributeOf(silent, "ship-badge", "data-state"), "red");
}

struct edgeCase {
    const char *name;
    std::vector<std::pair<std::size_t, std::string>> fields;  // changed from the live record
    std::vector<std::pair<std::string, std::string>> shown;   // element id, its text
    std::vector<std::pair<std::string, std::string>> cells;   // channel, its value cell
};

// Every row adds to the history too, so later rows draw tracks and a chart over mixed samples.
TEST_F(DisplayInBrowser, RecordsAtTheEdgesNeverShowAnUncheckedValue) {
    const std::string nothing = "—";
    const edgeCase cases[] = {
        {"nothing received yet",
         {{1, "0"},
          {4, "0.000000"},
          {5, "0.000000"},
          {9, "0"},
          {10, "0.000000"},
          {14, "0.000000"},
          {15, "0.000000"},
          {16, "0.000000"},
          {17, "0.000000"}},
         {{"ship-position", nothing},
          {"vehicle-position", "no fix yet"},
          {"vehicle-depth", nothing},
          {"ship-age", "no data"},
          {"vehicle-age", "no data"}},
         {{"SHIP.GPS.LAT", "0.000000"}, {"ROV.PRESSURE", nothing}}},
        {"infinities and not-a-number wherever the decoders can put them",
         {{4, "inf"},
          {5, "-inf"},
          {7, "nan"},
          {8, "-nan"},
          {10, "inf"},
          {15, "nan"},
          {16, "-inf"},
          {17, "inf"}},
         {{"ship-position", nothing},
          {"ship-heading", nothing},
          {"vehicle-depth", nothing},
          {"vehicle-position", "no position in its fix"}},
         {{"SHIP.GPS.LAT", nothing},
          {"SHIP.GPS.HORIZONTAL_VELOCITY", nothing},
          {"ROV.KELTO.DEPTH", nothing}}},
        {"placeholders in channels that usually carry values",
         {{1, "NO_ITEM"}, {9, "NO_ITEM"}, {10, "NO_ITEM"}, {14, "NO_ITEM"}},
         {{"ship-age", "no data"},
          {"vehicle-age", "no data"},
          {"ship-heading", nothing},
          {"vehicle-position", "no fix yet"}},
         {{"SHIP.GPS.TIME", nothing}}},
        {"a ship with a fix and a vehicle without one",
         {{14, "0.000000"}, {15, "0.000000"}, {16, "0.000000"}, {17, "0.000000"}},
         {{"ship-position", "12° 30.000′ S  045° 07.407′ W"},
          {"vehicle-position", "no fix yet"},
          {"vehicle-depth", nothing},
          {"vehicle-offset", nothing}},
         {{"ROV.POSITION.LAT", "0.000000"}}},
        {"values far beyond the globe and any depth",
         {{4, std::string("1") + std::string(300, '0') + ".000000"},
          {17, std::string("-1") + std::string(300, '0') + ".000000"}},
         {{"ship-position", nothing}, {"vehicle-depth", "-1e+300 m"}},
         {{"SHIP.GPS.LAT", "1e+300"}}},
    };
    scriptedServer server(8080);
    auto display = startDisplay({"--interval", "0.2", "--timeout", "0.2"});
    int marker = 10;
    for (const edgeCase &c : cases) {
        SCOPED_TRACE(c.name);
        // The fix quality tells the rows apart, whatever else a row changes.
        std::vector<std::pair<std::size_t, std::string>> fields = c.fields;
        fields.push_back({6, std::to_string(++marker)});
        server.answerWith(recordWith(liveRecord, fields));
        json latest = waitForLatest([&](const json &j) {
            return j["record"].is_object() && j["record"]["SHIP.GPS.DIFFERENTIAL"] == marker;
        });
        ASSERT_EQ(latest["record"]["SHIP.GPS.DIFFERENTIAL"], marker) << latest.dump();

        std::string dom = pageAsShown();
        EXPECT_EQ(channelCell(dom, "SHIP.GPS.DIFFERENTIAL", 1), std::to_string(marker));
        for (const auto &[id, text] : c.shown) EXPECT_EQ(elementText(dom, id), text) << id;
        for (const auto &[channel, text] : c.cells) {
            EXPECT_EQ(channelCell(dom, channel, 1), text) << channel;
        }
    }
}

}  // namespace
