#include <algorithm>
#include <cmath>
#include <cstdio>
#include <iostream>
#include <utility>

#include "microBench.h"

ratioReporter::ratioReporter(std::vector<comparison> comparisons)
    : benchmark::ConsoleReporter(OO_Tabular), comparisons_(std::move(comparisons)) {}

void measureInNanoseconds(benchmark::internal::Benchmark *b) {
    b->Unit(benchmark::kNanosecond);
    b->ComputeStatistics(
        "min", [](const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); });
}

// With repetitions their minimum stands for the benchmark; a single run stands for itself
// until a minimum arrives.
void ratioReporter::ReportRuns(const std::vector<Run> &runs) {
    benchmark::ConsoleReporter::ReportRuns(runs);
    for (const Run &run : runs) {
        if (run.error_occurred) continue;
        bool minimum = run.run_type == Run::RT_Aggregate && run.aggregate_name == "min";
        if (run.run_type == Run::RT_Aggregate && !minimum) continue;
        double allocations = std::nan("");
        if (auto c = run.counters.find(allocationsCounter); c != run.counters.end()) {
            allocations = c->second.value;
        }
        measured m{run.run_name.function_name, run.GetAdjustedCPUTime(), allocations, minimum};
        bool replaced = false;
        for (measured &old : results_) {
            if (old.name != m.name) continue;
            if (minimum || !old.fromMinimum) old = m;
            replaced = true;
        }
        if (!replaced) results_.push_back(m);
    }
}

const ratioReporter::measured *ratioReporter::find(const std::string &name) const {
    for (const measured &m : results_) {
        if (m.name == name) return &m;
    }
    return nullptr;
}

namespace {

std::string allocationText(double allocations) {
    if (std::isnan(allocations)) return "not counted";
    char text[32];
    std::snprintf(text, sizeof text, "%g", allocations);
    return text;
}

}  // namespace

void ratioReporter::Finalize() {
    benchmark::ConsoleReporter::Finalize();
    std::ostream &out = GetOutputStream();
    out << "\n| work | project ns | baseline ns | project/baseline | target | "
           "project allocs/op | baseline allocs/op | |\n"
           "|---|---:|---:|---:|---:|---:|---:|---|\n";
    for (const comparison &c : comparisons_) {
        const measured *project = find(c.name + "/project");
        const measured *baseline = find(c.name + "/baseline");
        if (project == nullptr || baseline == nullptr) continue;
        double ratio = project->cpuNs / baseline->cpuNs;
        char row[256];
        std::snprintf(row, sizeof row, "| %s | %.1f | %.1f | %.3f | <= %.2f | %s | %s | %s |\n",
                      c.name.c_str(), project->cpuNs, baseline->cpuNs, ratio, c.target,
                      allocationText(project->allocations).c_str(),
                      allocationText(baseline->allocations).c_str(),
                      ratio <= c.target ? "met" : "MISSED");
        out << row;
    }
    char row[160];
    if (const measured *copy = find("copyOnly")) {
        std::snprintf(row, sizeof row, "\nThe sentence copy, in every decode row: %.1f ns\n",
                      copy->cpuNs);
        out << row;
    }
    if (const measured *line = find("zdaConsoleLine")) {
        std::snprintf(
            row, sizeof row,
            "The zda console line alone, which both sides of the ZDA rows write: %.1f ns\n",
            line->cpuNs);
        out << row;
    }
    out.flush();
}
