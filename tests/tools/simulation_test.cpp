// The simulated ship's track and the vehicle's dive, from the parameters alone.
#include "replay/simulation.h"

#include <gtest/gtest.h>

namespace {

TEST(SimulateAt, SteamsAlongTheCourseAndDivesThenHolds) {
    struct simCase {
        const char *name;
        sim::simulationParams params;
        double elapsed;
        double lat;
        double lon;
        double depth;
    };
    const simCase cases[] = {
        {"the start", {10, 20, 45, 5, 100, 0.5}, 0, 10, 20, 0},
        {"60 knots north for an hour: one degree of latitude",
         {10, 20, 0, 60, 100, 0.5},
         3600,
         11,
         20,
         100},
        {"60 knots east at 60 N for an hour: two degrees of longitude",
         {60, 20, 90, 60, 100, 0.5},
         3600,
         60,
         22,
         100},
        // Mid-latitude sailing: the departure is spread over the cosine of the mean latitude.
        {"south-west", {0, 0, 225, 60, 100, 0.5}, 3600, -0.7071068, -0.7071202, 100},
        {"half way down", {0, 0, 0, 0, 1000, 0.5}, 1000, 0, 0, 500},
        {"across the date line", {0, 179.9, 90, 60, 100, 0.5}, 720, 0, -179.9, 100},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        sim::simulatedState s = sim::simulateAt(c.params, c.elapsed);
        EXPECT_NEAR(s.lat, c.lat, 1e-6);
        EXPECT_NEAR(s.lon, c.lon, 1e-6);
        EXPECT_NEAR(s.depth, c.depth, 1e-9);
    }
}

}  // namespace
