// The micro-benchmarks' entry: Google Benchmark's flags, then the ratio table.
#include <cstdio>

#include "allocationCounter.h"
#include "microBench.h"

int main(int argc, char **argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;

    std::vector<comparison> comparisons;
    registerDecodeBenchmarks(comparisons);
    registerRecordBenchmarks(comparisons);
    int disagreements = checkDecodersAgree() + checkRecordsAgree();
    if (!heapCountingWorks()) std::fprintf(stderr, "heap allocations are not counted here\n");

    ratioReporter reporter(comparisons);
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    if (disagreements > 0) {
        std::printf("\n%d disagreement(s) between the project and the baseline (see above)\n",
                    disagreements);
    }
    return 0;
}
