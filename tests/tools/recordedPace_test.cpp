// When each line of a log falls due at the recorded pace, as seconds after the start.
#include "replay/recordedPace.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace {

using nmea::lineTime;

std::optional<lineTime> ofDay(double s) {
    return lineTime{s, false};
}
std::optional<lineTime> stamp(double s) {
    return lineTime{s, true};
}
constexpr std::optional<lineTime> untimed = std::nullopt;

struct paceCase {
    const char *name;
    std::vector<std::optional<lineTime>> lines;
    std::vector<double> due;
};

TEST(RecordedPace, SpacesLinesAsRecorded) {
    const paceCase cases[] = {
        {"a 1 Hz burst: untimed lines go with the timed line before them",
         {ofDay(0.70), ofDay(0.70), untimed, untimed, ofDay(1.70), ofDay(1.70), untimed},
         {0, 0, 0, 0, 1, 1, 1}},
        {"lines before the first time go at once", {untimed, ofDay(500), ofDay(502)}, {0, 0, 2}},
        {"time stamps with dates", {stamp(1406851200.814), stamp(1406851201.314)}, {0, 0.5}},
        {"midnight passes", {ofDay(86399), ofDay(86399.5), ofDay(0.5), ofDay(1)}, {0, 0.5, 1.5, 2}},
        {"a small step back goes at once and shifts nothing after it",
         {ofDay(10), ofDay(9.5), ofDay(11)},
         {0, 0, 1}},
        {"a step back of over a minute starts afresh from that line",
         {ofDay(1000), ofDay(1001), ofDay(10), ofDay(12)},
         {0, 1, 1, 3}},
        {"once stamps appear, sentence times no longer count",
         {ofDay(5), stamp(1000), ofDay(99), stamp(1002.5)},
         {0, 0, 0, 2.5}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        nmea::recordedPace pace;
        ASSERT_EQ(c.lines.size(), c.due.size());
        for (std::size_t i = 0; i < c.lines.size(); ++i) {
            EXPECT_NEAR(pace.due(c.lines[i]), c.due[i], 1e-9) << "line " << i;
        }
    }
}

TEST(RecordedPace, RestartBeginsANewRoundAtZero) {
    nmea::recordedPace pace;
    pace.due(ofDay(100));
    EXPECT_EQ(pace.due(ofDay(130)), 30);
    pace.restart();
    EXPECT_EQ(pace.due(ofDay(100)), 0);
    EXPECT_EQ(pace.due(ofDay(101)), 1);
}

}  // namespace
