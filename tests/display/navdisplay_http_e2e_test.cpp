// navdisplay end to end over HTTP, polling a scripted server on loopback inside the test's
// private network namespace: the JSON answers for a table of records, the bounded history,
// silence and malformed replies, the page, the address it serves on, and a clean stop.
#include <gtest/gtest.h>

#include <signal.h>

#include <string>
#include <utility>
#include <vector>

#include "displayTestKit.h"
#include "harness.h"
#include "records.h"

namespace {

using namespace displayTest;
using json = nlohmann::json;

const std::vector<std::string> quickPolls = {"--interval", "0.2", "--timeout", "0.2"};

struct servedCase {
    const char *name;
    std::string record;
    std::vector<std::pair<std::string, std::string>> expected;  // key in the record, JSON text
};

TEST(NavdisplayHttp, ServesEachRecordUnderTheChannelNames) {
    scriptedServer server(8080);
    auto display = startDisplay(quickPolls);
    const servedCase cases[] = {
        {"nothing received yet",
         recordWith(zeroedRecord, {{0, "1709626001"}}),
         {{"SHIP.GPS.TIME", "0"},
          {"ROV.PRESSURE", "null"},
          {"SHIP.GPS.LAT", "0.0"},
          {"LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING", "\"Tue Mar  5 08:07:06 2024\""},
          {"SHIP.GPS.TIME.AGE", "null"},
          {"ROV.POSITION.LAT.UTC.AGE", "null"}}},
        {"live values and both ages",
         recordWith(liveRecord, {{0, "1709626026"}}),
         {{"LOGHOST.SYSTEM.UTC", "1709626026"},
          {"SHIP.GPS.LON", "-45.123457"},
          {"SHIP.GYRO.DEGREES", "271.25"},
          {"ROV.KELTO.DEPTH", "850.25"},
          {"SHIP.GPS.TIME.AGE", "6.0"},
          {"ROV.POSITION.LAT.UTC.AGE", "42.0"}}},
        {"infinities and not-a-number",
         recordWith(liveRecord, {{0, "1709626027"}, {4, "inf"}, {8, "-nan"}, {17, "-inf"}}),
         {{"SHIP.GPS.LAT", "null"}, {"SHIP.GPS.HDOP", "null"}, {"ROV.KELTO.DEPTH", "null"}}},
        {"a ship with a fix and a vehicle without one",
         recordWith(liveRecord, {{0, "1709626028"},
                                 {14, "0.000000"},
                                 {15, "0.000000"},
                                 {16, "0.000000"},
                                 {17, "0.000000"}}),
         {{"SHIP.GPS.LAT", "-12.5"},
          {"ROV.POSITION.LAT.UTC", "0.0"},
          {"ROV.POSITION.LAT.UTC.AGE", "null"}}},
    };
    for (const servedCase &c : cases) {
        SCOPED_TRACE(c.name);
        long long host = std::stoll(c.record.substr(0, c.record.find(',')));
        server.answerWith(c.record);
        json latest = waitForLatest([&](const json &j) { return showsHostTime(j, host); });
        ASSERT_TRUE(showsHostTime(latest, host)) << latest.dump();
        EXPECT_EQ(latest["server"], "127.0.0.1:8080");
        EXPECT_EQ(latest["poll"]["outcome"], "answered");
        EXPECT_EQ(latest["record"].size(), 28u);
        for (const auto &[key, value] : c.expected) {
            EXPECT_EQ(latest["record"][key].dump(), value) << key;
        }
    }
}

TEST(NavdisplayHttp, HistoryIsBoundedAndServedFromASequenceNumber) {
    scriptedServer server(8080);
    server.answerWith(liveRecord);
    std::vector<std::string> args = quickPolls;
    args.insert(args.end(), {"--history", "2"});  // 2 s at 0.2 s: 10 samples
    auto display = startDisplay(args);

    json history;
    for (int i = 0; i < 100; ++i) {
        auto reply = httpGet("/api/history");
        ASSERT_TRUE(reply);
        history = json::parse(reply->body);
        if (history["newest"].get<int>() >= 14) break;
        std::this_thread::sleep_for(100ms);
    }
    ASSERT_GE(history["newest"].get<int>(), 14) << history.dump();
    EXPECT_EQ(history["capacity"], 10);
    const json &samples = history["samples"];
    ASSERT_EQ(samples.size(), 10u);
    int newest = history["newest"];
    EXPECT_EQ(samples.back()["seq"], newest);
    EXPECT_EQ(samples.front()["seq"], newest - 9);
    EXPECT_EQ(samples.back()["ROV.KELTO.DEPTH"], 850.25);

    json newer =
        json::parse(httpGet(std::string("/api/history?after=") + std::to_string(newest))->body);
    for (const json &sample : newer["samples"]) EXPECT_GT(sample["seq"].get<int>(), newest);
    json unreadable = json::parse(httpGet("/api/history?after=soon")->body);
    EXPECT_EQ(unreadable["samples"].size(), 10u);
}

TEST(NavdisplayHttp, SilenceAndMalformedRepliesAreReportedAndTheLastRecordKept) {
    scriptedServer server(8080);
    server.answerWith(liveRecord);
    auto display = startDisplay(quickPolls);
    ASSERT_TRUE(showsHostTime(
        waitForLatest([](const json &j) { return showsHostTime(j, 1709626026); }), 1709626026));

    server.keepSilent(true);
    json silent = waitForLatest([](const json &j) { return j["poll"]["outcome"] == "silent"; });
    ASSERT_EQ(silent["poll"]["outcome"], "silent") << silent.dump();
    EXPECT_FALSE(silent["poll"]["problem"].get<std::string>().empty());
    EXPECT_TRUE(showsHostTime(silent, 1709626026));
    EXPECT_GT(silent["recordAge"].get<double>(), 0);

    server.answerWith("hello");
    server.keepSilent(false);
    json malformed =
        waitForLatest([](const json &j) { return j["poll"]["outcome"] == "malformed"; });
    ASSERT_EQ(malformed["poll"]["outcome"], "malformed") << malformed.dump();
    EXPECT_EQ(malformed["poll"]["problem"], "record has 1 fields, expected 26");

    server.answerWith(recordWith(liveRecord, {{0, "1709626040"}}));
    json back = waitForLatest([](const json &j) { return showsHostTime(j, 1709626040); });
    EXPECT_EQ(back["poll"]["outcome"], "answered") << back.dump();
}

TEST(NavdisplayHttp, NoServerAtAllIsSilenceWithoutARecord) {
    auto display = startDisplay({"--port", "8079", "--interval", "0.2", "--timeout", "0.2"});
    json latest = waitForLatest([](const json &j) { return j["poll"]["outcome"] == "silent"; });
    EXPECT_EQ(latest["poll"]["outcome"], "silent") << latest.dump();
    EXPECT_EQ(latest["poll"]["problem"], "nothing listens on that port");
    EXPECT_TRUE(latest["record"].is_null());
    EXPECT_TRUE(latest["recordAge"].is_null());
}

TEST(NavdisplayHttp, ServesThePageItsPartsAndTheConfiguration) {
    auto display = startDisplay({"--amber-after", "3", "--red-after", "7", "--interval", "0.5"});
    auto page = httpGet("/");
    ASSERT_TRUE(page);
    EXPECT_EQ(page->status, 200);
    EXPECT_EQ(page->contentType, "text/html; charset=utf-8");
    EXPECT_NE(page->securityPolicy.find("default-src 'self'"), std::string::npos);
    EXPECT_NE(page->body.find("<script src=\"/display.js\""), std::string::npos);

    auto script = httpGet("/display.js");
    ASSERT_TRUE(script);
    EXPECT_EQ(script->status, 200);
    EXPECT_EQ(script->contentType, "text/javascript; charset=utf-8");
    EXPECT_EQ(httpGet("/elsewhere.js")->status, 404);

    auto config = httpGet("/api/config");
    ASSERT_TRUE(config);
    EXPECT_EQ(config->contentType, "application/json");
    EXPECT_EQ(config->body, R"({"server":"127.0.0.1:8080","interval":0.5,"historySeconds":3600.0,)"
                            R"("amberAfter":3.0,"redAfter":7.0})");
}

// 127.0.0.2 is this host too, but not the address navdisplay was told to serve on.
TEST(NavdisplayHttp, ServesOnLoopbackOnlyUnlessToldOtherwise) {
    {
        auto display = startDisplay({});
        EXPECT_TRUE(httpGet("/api/config", displayPort, "127.0.0.1"));
        EXPECT_FALSE(httpGet("/api/config", displayPort, "127.0.0.2"));
    }
    auto everywhere = startDisplay({"--listen", "0.0.0.0"});
    auto reply = httpGet("/api/config", displayPort, "127.0.0.2");
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->status, 200);
}

TEST(NavdisplayHttp, StopsCleanlyOnSigterm) {
    scriptedServer server(8080);
    server.answerWith(liveRecord);
    auto display = startDisplay(quickPolls);
    waitForLatest([](const json &j) { return showsHostTime(j, 1709626026); });
    display->signal(SIGTERM);
    EXPECT_EQ(display->waitExit(5000ms), 0) << display->err();
}

TEST(NavdisplayHttp, RefusesAPortItCannotBind) {
    auto first = startDisplay({});
    auto second = startDisplay({});
    EXPECT_EQ(second->waitExit(5000ms), 1);
    EXPECT_NE(second->err().find("cannot serve the page on 127.0.0.1 port 8088"),
              std::string::npos);
}

}  // namespace
