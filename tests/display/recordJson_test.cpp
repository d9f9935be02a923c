// The JSON the page reads: every record the server can send becomes numbers, strings and nulls
// under the channel names, and the latest and history answers carry what the page needs.
#include "recordJson.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "displayState.h"
#include "records.h"

namespace {

using displayTest::liveRecord;
using displayTest::recordWith;
using displayTest::zeroedRecord;
using json = nlohmann::ordered_json;

std::array<std::string, navproto::channelCount> knownNames() {
    std::array<std::string, navproto::channelCount> names;
    for (std::size_t i = 0; i < names.size(); ++i) names[i] = navproto::knownChannels()[i];
    return names;
}

navproto::statusRecord parsed(const std::string &reply) {
    navproto::statusRecord record;
    std::string why;
    EXPECT_TRUE(navproto::parseRecord(reply, record, why)) << why;
    return record;
}

struct recordCase {
    const char *name;
    std::string record;
    std::vector<std::pair<std::string, std::string>> expected;  // key, value as JSON text
};

TEST(RecordJson, EveryValueBecomesANumberAStringOrNull) {
    const std::string hugeDigits = std::string("1") + std::string(308, '0') + ".000000";
    const recordCase cases[] = {
        {"nothing received yet: zeros stay zeros, placeholders are null, ages unknown",
         zeroedRecord,
         {{"LOGHOST.SYSTEM.UTC", "1709626026"},
          {"SHIP.GPS.TIME", "0"},
          {"ROV.PRESSURE", "null"},
          {"SHIP.GPS.LAT", "0.0"},
          {"SHIP.GPS.DIFFERENTIAL", "0"},
          {"ROV.POSITION.LAT.UTC", "0.0"},
          {"ROV.ALTITUDE", "null"},
          {"LOGHOST.SYSTEM.CLOCKTIME.YEAR", "2024"},
          {"LOGHOST.SYSTEM.CLOCKTIME.YEARDAY", "64"},
          {"LOGHOST.SYSTEM.CLOCKTIME.TIMESTRING", "\"Tue Mar  5 08:07:06 2024\""},
          {"LOGHOST.SYSTEM.CLOCKTIME.TIMEZONE", "\"+0\""},
          {"SHIP.GPS.TIME.AGE", "null"},
          {"ROV.POSITION.LAT.UTC.AGE", "null"}}},
        {"live values, southern and western, with both ages",
         liveRecord,
         {{"SHIP.GPS.TIME", "1709626020"},
          {"SHIP.GPS.LAT", "-12.5"},
          {"SHIP.GPS.LON", "-45.123457"},
          {"SHIP.GPS.DIFFERENTIAL", "2"},
          {"SHIP.GPS.HORIZONTAL_VELOCITY", "10.1"},
          {"SHIP.GPS.HDOP", "0.9"},
          {"SHIP.GYRO.DEGREES", "271.25"},
          {"ROV.POSITION.LAT.UTC", "1709625984.0"},
          {"ROV.POSITION.LAT", "-12.500123"},
          {"ROV.KELTO.DEPTH", "850.25"},
          {"SHIP.GPS.TIME.AGE", "6.0"},
          {"ROV.POSITION.LAT.UTC.AGE", "42.0"}}},
        {"infinities and not-a-number are null; negative zero keeps its sign",
         recordWith(
             liveRecord,
             {{4, "inf"}, {5, "-inf"}, {7, "-nan"}, {8, "nan"}, {10, "-0.000000"}, {17, "inf"}}),
         {{"SHIP.GPS.LAT", "null"},
          {"SHIP.GPS.LON", "null"},
          {"SHIP.GPS.HORIZONTAL_VELOCITY", "null"},
          {"SHIP.GPS.HDOP", "null"},
          {"SHIP.GYRO.DEGREES", "-0.0"},
          {"ROV.KELTO.DEPTH", "null"},
          {"SHIP.GPS.TIME.AGE", "6.0"}}},
        {"a time that is not a number leaves its age unknown",
         recordWith(liveRecord, {{1, "NO_ITEM"}, {14, "inf"}}),
         {{"SHIP.GPS.TIME", "null"},
          {"ROV.POSITION.LAT.UTC", "null"},
          {"SHIP.GPS.TIME.AGE", "null"},
          {"ROV.POSITION.LAT.UTC.AGE", "null"}}},
        {"no host clock: no ages at all",
         recordWith(liveRecord, {{0, "nan"}}),
         {{"LOGHOST.SYSTEM.UTC", "null"},
          {"SHIP.GPS.TIME.AGE", "null"},
          {"ROV.POSITION.LAT.UTC.AGE", "null"}}},
        {"the largest doubles stay numbers, beyond them null; long integers become reals",
         recordWith(liveRecord, {{4, hugeDigits},
                                 {5, std::string("-1") + std::string(400, '0') + ".000000"},
                                 {6, "99999999999999999999"}}),
         {{"SHIP.GPS.LAT", "1e+308"},
          {"SHIP.GPS.LON", "null"},
          {"SHIP.GPS.DIFFERENTIAL", "1e+20"}}},
    };
    for (const recordCase &c : cases) {
        SCOPED_TRACE(c.name);
        json out = display::recordToJson(knownNames(), parsed(c.record));
        for (const auto &[key, value] : c.expected) {
            ASSERT_TRUE(out.contains(key)) << key;
            EXPECT_EQ(display::dumpJson(out[key]), value) << key;
        }
    }
}

TEST(RecordJson, KeysAreTheChannelsInRecordOrderThenTheTwoAges) {
    json out = display::recordToJson(knownNames(), parsed(liveRecord));
    std::vector<std::string> keys;
    for (const auto &item : out.items()) keys.push_back(item.key());
    const auto names = knownNames();
    std::vector<std::string> expected(names.begin(), names.end());
    expected.push_back("SHIP.GPS.TIME.AGE");
    expected.push_back("ROV.POSITION.LAT.UTC.AGE");
    EXPECT_EQ(keys, expected);
}

TEST(LatestJson, BeforeAnyPollEverythingIsUnknown) {
    display::displayState state(10);
    EXPECT_EQ(display::dumpJson(display::latestToJson(state.snapshot(), "127.0.0.1:8080", 50)),
              R"({"server":"127.0.0.1:8080","poll":{"outcome":"none","problem":"","age":null},)"
              R"("record":null,"recordAge":null})");
}

TEST(LatestJson, ASilenceKeepsTheLastRecordAndSaysHowOldItIs) {
    display::displayState state(10);
    state.takeAnswer(liveRecord, parsed(liveRecord), 1000.0);
    state.takeFailure(display::pollOutcome::silent, "no reply in time", 1003.0);
    json latest = display::latestToJson(state.snapshot(), "ship:8080", 1004.5);

    EXPECT_EQ(latest["server"], "ship:8080");
    EXPECT_EQ(latest["poll"]["outcome"], "silent");
    EXPECT_EQ(latest["poll"]["problem"], "no reply in time");
    EXPECT_DOUBLE_EQ(latest["poll"]["age"].get<double>(), 1.5);
    EXPECT_DOUBLE_EQ(latest["recordAge"].get<double>(), 4.5);
    EXPECT_EQ(latest["record"]["ROV.KELTO.DEPTH"], 850.25);
    EXPECT_EQ(latest["record"]["SHIP.GPS.TIME.AGE"], 6.0);
}

TEST(LatestJson, AMalformedReplyIsReportedWithItsReason) {
    display::displayState state(10);
    state.takeFailure(display::pollOutcome::malformed, "record has 3 fields, expected 26", 7.0);
    json latest = display::latestToJson(state.snapshot(), "s:1", 8.0);
    EXPECT_EQ(latest["poll"]["outcome"], "malformed");
    EXPECT_EQ(latest["poll"]["problem"], "record has 3 fields, expected 26");
    EXPECT_TRUE(latest["record"].is_null());
}

TEST(HistoryJson, KeepsTheNewestSamplesUpToItsCapacity) {
    display::displayState state(3);
    for (int i = 1; i <= 5; ++i) {
        std::string depth = std::to_string(100 + i) + ".500000";
        std::string reply = recordWith(liveRecord, {{17, depth}, {4, i == 5 ? "nan" : "1.0"}});
        state.takeAnswer(reply, parsed(reply), 1000.0 + i);
    }
    display::historySlice all = state.samplesAfter(0);
    EXPECT_EQ(all.newest, 5u);
    ASSERT_EQ(all.samples.size(), 3u);
    EXPECT_EQ(all.samples.front().seq, 3u);

    display::historySlice newer = state.samplesAfter(4);
    ASSERT_EQ(newer.samples.size(), 1u);
    EXPECT_EQ(display::dumpJson(display::historyToJson(newer, 3)),
              R"({"newest":5,"capacity":3,"samples":[{"seq":5,"LOGHOST.SYSTEM.UTC":1709626026.0,)"
              R"("SHIP.GPS.LAT":null,"SHIP.GPS.LON":-45.123457,"SHIP.GYRO.DEGREES":271.25,)"
              R"("ROV.POSITION.LAT.UTC":1709625984.0,"ROV.POSITION.LAT":-12.500123,)"
              R"("ROV.POSITION.LON":-45.000321,"ROV.KELTO.DEPTH":105.5}]})");

    EXPECT_TRUE(state.samplesAfter(5).samples.empty());
    EXPECT_EQ(
        display::dumpJson(display::historyToJson(display::displayState(4).samplesAfter(0), 4)),
        R"({"newest":0,"capacity":4,"samples":[]})");
}

TEST(ConfigJson, CarriesTheIntervalHistoryAndThresholds) {
    displayOptions options;
    options.intervalSeconds = 0.5;
    options.amberAfter = 3;
    options.redAfter = 6;
    EXPECT_EQ(display::dumpJson(display::configToJson(options, "127.0.0.1:8080")),
              R"({"server":"127.0.0.1:8080","interval":0.5,"historySeconds":3600.0,)"
              R"("amberAfter":3.0,"redAfter":6.0})");
}

}  // namespace
