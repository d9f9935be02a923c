// The micro-benchmarks: each piece of the project's per-datagram work beside a literal
// baseline doing the same work, in one binary and one run.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

// One comparison: benchmarks "<name>/project" and "<name>/baseline", and the largest ratio
// of their times that the project aims for (0 where there is no target).
struct comparison {
    std::string name;
    double target;
};

// The counter every benchmark carries: heap allocations per call, counted over a fixed run
// of calls outside the timed loop (NaN where allocations cannot be counted).
inline constexpr const char *allocationsCounter = "allocs_per_op";

// Measures fn's heap allocations per call after one warm-up call, which takes the one-off
// allocations (the console's stdio buffer, the time zone data).
template <typename Fn>
double allocationsPerCall(Fn &&fn);

// Every benchmark here: times in nanoseconds, and besides Google Benchmark's mean and median
// of the repetitions, their minimum, which the ratios use: on a shared machine other work
// only ever adds time.
void measureInNanoseconds(benchmark::internal::Benchmark *b);

// Where the decoders write their console line: /dev/null, shared by both sides.
std::FILE *benchConsole();

void registerDecodeBenchmarks(std::vector<comparison> &comparisons);
void registerRecordBenchmarks(std::vector<comparison> &comparisons);

// Decodes every benchmark sentence and builds the benchmark record both ways and reports on
// stderr where the two sides disagree. Returns the number of disagreements.
int checkDecodersAgree();
int checkRecordsAgree();

// Google Benchmark's usual table, then one row per comparison with the ratio of the two
// minimum CPU times (or of the single runs, without repetitions) and its target.
class ratioReporter : public benchmark::ConsoleReporter {
  public:
    explicit ratioReporter(std::vector<comparison> comparisons);
    void ReportRuns(const std::vector<Run> &runs) override;
    void Finalize() override;

  private:
    struct measured {
        std::string name;
        double cpuNs;
        double allocations;
        bool fromMinimum;
    };
    const measured *find(const std::string &name) const;
    std::vector<comparison> comparisons_;
    std::vector<measured> results_;
};

#include "allocationCounter.h"

#include <cmath>
#include <limits>

template <typename Fn>
double allocationsPerCall(Fn &&fn) {
    constexpr int calls = 10000;
    if (!heapCountingWorks()) return std::numeric_limits<double>::quiet_NaN();
    fn();
    std::uint64_t before = heapAllocations();
    for (int i = 0; i < calls; ++i) fn();
    return static_cast<double>(heapAllocations() - before) / calls;
}
