// The status record through the project's buildStatusRecord and through the literal one that
// appends with snprintf, both from the values of the second worked example record.
#include <cstring>
#include <string_view>

#include "literalBaseline.h"
#include "microBench.h"
#include "server/query.h"

namespace {

// 2024-03-05 08:07:06 UTC, for both clock readings.
std::int64_t exampleClock() {
    return 1709626026;
}

shipData exampleShip() {
    shipData ship{};
    ship.zdaTime = 1709626020;
    ship.lat = -12.5;
    ship.lon = -45.123456789;
    ship.qual = 2;
    ship.sog = 10.1f;
    ship.hdop = 0.9;
    ship.heading = 271.25;
    return ship;
}

rovData exampleVehicle() {
    rovData rov{};
    rov.fixTime = 1709625984;
    rov.lat = -12.500123;
    rov.lon = -45.000321;
    rov.depth = 850.25;
    return rov;
}

constexpr std::string_view exampleRecord =
    "1709626026,1709626020,NO_ITEM,NO_ITEM,-12.500000,-45.123457,2,10.100000,0.900000,"
    "1709626020,271.250000,NO_ITEM,NO_ITEM,NO_ITEM,1709625984.000000,-12.500123,-45.000321,"
    "850.250000,NO_ITEM,NO_ITEM,NO_ITEM,NO_ITEM,2024,64,Tue Mar  5 08:07:06 2024,+0";

// One record build per iteration through build, the project's or the literal one, each with
// the buffer size it is written for.
template <std::size_t size,
          std::size_t (*build)(const shipData &, const rovData &, clockFn, char (&)[size])>
void benchRecord(benchmark::State &state) {
    const shipData ship = exampleShip();
    const rovData rov = exampleVehicle();
    char dataString[size];
    auto once = [&] {
        std::size_t n = build(ship, rov, exampleClock, dataString);
        benchmark::DoNotOptimize(n);
        benchmark::DoNotOptimize(dataString);
    };
    state.counters[allocationsCounter] = allocationsPerCall(once);
    for (auto _ : state) {
        once();
        benchmark::ClobberMemory();
    }
}

int checkRecord(const char *side, std::string_view record) {
    if (record == exampleRecord) return 0;
    std::fprintf(stderr, "%s record differs from the worked example:\n  %.*s\n", side,
                 static_cast<int>(record.size()), record.data());
    return 1;
}

}  // namespace

void registerRecordBenchmarks(std::vector<comparison> &comparisons) {
    benchmark::RegisterBenchmark("record/project", benchRecord<recordCapacity, buildStatusRecord>)
        ->Apply(measureInNanoseconds);
    benchmark::RegisterBenchmark("record/baseline",
                                 benchRecord<literalRecordSize, literalBuildStatusRecord>)
        ->Apply(measureInNanoseconds);
    comparisons.push_back({"record", 0.25});
}

int checkRecordsAgree() {
    const shipData ship = exampleShip();
    const rovData rov = exampleVehicle();
    char projectString[recordCapacity];
    char literalString[literalRecordSize];
    std::size_t projectLength = buildStatusRecord(ship, rov, exampleClock, projectString);
    std::size_t literalLength = literalBuildStatusRecord(ship, rov, exampleClock, literalString);
    return checkRecord("project", std::string_view(projectString, projectLength)) +
           checkRecord("baseline", std::string_view(literalString, literalLength));
}
