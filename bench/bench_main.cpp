// The benchmark program's main: runs the benchmarks as usual, then prints the pairs that are read
// side by side, each as a ratio (or a difference in ns) of the fastest repetitions of the run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

// Keeps the fastest time per call of every benchmark while the console shows the runs.
class FastestReporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            if (run.run_type != Run::RT_Iteration || run.error_occurred || run.iterations == 0) continue;
            const double ns = run.GetAdjustedRealTime() * benchmark::GetTimeUnitMultiplier(benchmark::kNanosecond) /
                              benchmark::GetTimeUnitMultiplier(run.time_unit);
            const std::string name = run.run_name.str();
            const auto found = fastest.find(name);
            if (found == fastest.end() || ns < found->second) fastest[name] = ns;
        }
    }
    std::map<std::string, double> fastest;
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
        if (!header) printf("\nSide by side (fastest repetition of each):\n");
        header = true;
        if (pair.difference)
            printf("  %-44s - %-34s %+8.2f ns  %s\n", pair.measured, pair.against, measured->second - against->second,
                   pair.bound);
        else
            printf("  %-44s / %-34s %8.2fx     %s\n", pair.measured, pair.against, measured->second / against->second,
                   pair.bound);
    }
    return 0;
}
