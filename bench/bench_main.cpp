// The benchmark program's main: runs the benchmarks as usual, then prints the pairs that are read
// side by side, each as a ratio (or a difference in ns) of the fastest repetitions of the run, in
// real time and in CPU time. It fails when a benchmark could not run (a module that would not
// load, a file that could not be written).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Keeps the fastest real and CPU time per call of every benchmark while the console shows the runs
// (the median when only aggregates are reported). On a busy machine the CPU time, which counts
// the thread's time in the kernel too, is the steadier of the two.
class FastestReporter : public benchmark::ConsoleReporter {
public:
    struct Times {
        double real;
        double cpu;
    };
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.error_occurred) failed.push_back(run.run_name.str() + ": " + run.error_message);
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if ((run.run_type != Run::RT_Iteration && !median) || run.error_occurred || run.iterations == 0) continue;
            const double toNs = benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                                benchmark::GetTimeUnitMultiplier(run.time_unit);
            const Times times = {run.GetAdjustedRealTime() * toNs, run.GetAdjustedCPUTime() * toNs};
            const auto found = fastest.emplace(run.run_name.str(), times);
            if (found.second) continue;
            found.first->second.real = std::min(found.first->second.real, times.real);
            found.first->second.cpu = std::min(found.first->second.cpu, times.cpu);
        }
    }
    std::map<std::string, Times> fastest;
    std::vector<std::string> failed;
};

struct Pair {
    const char* measured;
    const char* against;
    bool difference;  // ns over the other rather than a ratio
    const char* bound;
};

const Pair kPairs[] = {
    {"BM_TracedOneValue_DevNull", "BM_TwoWrites_DevNull", false, "at most 2x"},
    {"BM_TracedOneValue_File", "BM_TwoWrites_File", false, "at most 1.3x"},
    {"BM_TracedEnumeration_DevNull/10", "BM_TracedOneValue_DevNull", false, "at most 1.2x"},
    {"BM_TracedEnumerationUnknownSize_DevNull/10", "BM_TracedEnumeration_DevNull/10", false, ""},
    {"BM_DsEntryTracingOff", "BM_SourceDirect", true, "within 5 ns"},
    {"BM_ThroughAdapter", "BM_StandardSourceDirect", true, ""},
    {"BM_DsEntryTracingOffThroughAdapter", "BM_ThroughAdapter", true, ""},
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    FastestReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();

    bool header = false;
    for (const Pair& pair : kPairs) {
        const auto measured = reporter.fastest.find(pair.measured);
        const auto against = reporter.fastest.find(pair.against);
        if (measured == reporter.fastest.end() || against == reporter.fastest.end()) continue;
        if (!header) printf("\nSide by side (fastest repetition of each)%*s real        cpu\n", 52, "");
        header = true;
        const FastestReporter::Times& a = measured->second;
        const FastestReporter::Times& b = against->second;
        if (pair.difference)
            printf("  %-44s - %-34s %+8.2f ns %+8.2f ns  %s\n", pair.measured, pair.against, a.real - b.real, a.cpu - b.cpu,
                   pair.bound);
        else
            printf("  %-44s / %-34s %8.2fx    %8.2fx     %s\n", pair.measured, pair.against, a.real / b.real, a.cpu / b.cpu,
                   pair.bound);
    }
    for (const std::string& failure : reporter.failed) fprintf(stderr, "failed: %s\n", failure.c_str());
    return reporter.failed.empty() ? 0 : 1;
}
