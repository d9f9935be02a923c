// Data ages as the badges show them: from the record until the display has seen the source
// change, then from the moment it changed; unknown while the source has sent nothing.
#include "dataFreshness.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "displayState.h"
#include "recordJson.h"
#include "records.h"

namespace {

struct step {
    std::string watched;
    std::optional<double> recordAge;
    double host;
    std::optional<double> expected;
};

struct freshnessCase {
    const char *name;
    std::vector<step> steps;
};

TEST(FreshnessWatch, CountsFromTheLastChangeSeen) {
    const freshnessCase cases[] = {
        {"the ship's time: record age first, then seconds since it changed",
         {{"100", 5.0, 105, 5.0},
          {"100", 6.0, 106, 6.0},
          {"107", 0.0, 107, 0.0},
          {"107", 1.0, 108, 1.0},
          {"107", 3.0, 110, 3.0}}},
        {"a vehicle fix time rounded to 128 s: the record's age wanders, the change does not",
         {{"fix a", -50.0, 1000, -50.0},
          {"fix b", -49.0, 1001, 0.0},
          {"fix b", -48.0, 1002, 1.0},
          {"fix c", 78.0, 1003, 0.0},
          {"fix c", 83.0, 1008, 5.0}}},
        {"a server restart: nothing received is unknown, and the next change is the first",
         {{"100", 5.0, 105, 5.0},
          {"101", 5.0, 106, 0.0},
          {"0", std::nullopt, 107, std::nullopt},
          {"108", 2.0, 110, 2.0},
          {"108", 3.0, 111, 3.0},
          {"111", 0.0, 111, 0.0}}},
    };
    for (const freshnessCase &c : cases) {
        SCOPED_TRACE(c.name);
        display::freshnessWatch watch;
        for (std::size_t i = 0; i < c.steps.size(); ++i) {
            const step &s = c.steps[i];
            EXPECT_EQ(watch.update(s.watched, s.recordAge, s.host), s.expected) << "step " << i;
        }
    }
}

navproto::statusRecord parsed(const std::string &reply) {
    navproto::statusRecord record;
    std::string why;
    EXPECT_TRUE(navproto::parseRecord(reply, record, why)) << why;
    return record;
}

// The state watches the ship's date-and-time and, for the vehicle, its whole fix: a vehicle
// whose position moves while its float fix time stands still is still fresh.
TEST(DisplayState, WatchesTheShipTimeAndTheVehicleFix) {
    using displayTest::liveRecord;
    using displayTest::recordWith;
    display::displayState state(10);
    auto answer = [&](const std::string &reply) {
        state.takeAnswer(reply, parsed(reply), 0);
        return state.snapshot().answer->ages;
    };
    answer(recordWith(liveRecord, {{0, "1709626030"}}));
    navproto::dataAges moved =
        answer(recordWith(liveRecord, {{0, "1709626031"}, {16, "-45.000400"}}));
    EXPECT_EQ(moved.vehicle, 0.0);
    EXPECT_EQ(moved.ship, 11.0);  // its time has not changed: the record's age still serves
    navproto::dataAges later =
        answer(recordWith(liveRecord, {{0, "1709626034"}, {1, "1709626034"}, {16, "-45.000400"}}));
    EXPECT_EQ(later.vehicle, 3.0);
    EXPECT_EQ(later.ship, 0.0);
}

}  // namespace
