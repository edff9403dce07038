// What DS_Entry costs, side by side with what it must at least cost: the traced one-value MSG_GET
// against two writes of the same bytes, to the null device and to a real file; the 10-item
// enumeration against the one-value call; the pass-through with tracing off against a direct call
// of the source. Every traced benchmark reports its heap allocations per call.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "BenchFiles.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "Platform/Platform.h"
#include "ScriptedSource.h"
#include "alloc_counter.h"

namespace {

// The trace grows by every call; a real file is emptied every so many calls, outside the timing.
constexpr benchmark::IterationCount kCallsBetweenTruncations = 1 << 16;

void ReportAllocations(benchmark::State& state, long before) {
    state.counters["allocs_per_call"] = benchmark::Counter(static_cast<double>(AllocationCount() - before) /
                                                           static_cast<double>(state.iterations()));
}

// MSG_GET of ICAP_PIXELTYPE traced through DS_Entry to `path`; items 0 is a one-value container.
void TracedGet(benchmark::State& state, const char* path, TW_UINT32 items, bool foreign = false) {
    ScriptedSource source(items, foreign);
    TraceTo to(path);
    if (g_pLogFile == nullptr) return state.SkipWithError("the trace file cannot be opened");
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
    DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);  // the stream is set up by the first call
    const bool truncate = std::string(path) != kNullDevice;
    benchmark::IterationCount calls = 0;
    const long before = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
        if (truncate && ++calls % kCallsBetweenTruncations == 0) {
            state.PauseTiming();
            if (!EmptyFile(g_pLogFile)) state.SkipWithError("the trace file cannot be emptied");
            state.ResumeTiming();
        }
    }
    ReportAllocations(state, before);
}

// The two writes of a traced one-value MSG_GET's bytes, to a file opened as the trace is and
// written as the trace is written.
void TwoWrites(benchmark::State& state, const char* path) {
    const TracedCallText& text = OneValueCallText();
    if (text.resultSection.empty()) return state.SkipWithError("no traced call text was captured");
    FILE* file = OpenTraceFile(path);
    if (file == nullptr) return state.SkipWithError("the file cannot be opened");
    const bool truncate = std::string(path) != kNullDevice;
    benchmark::IterationCount calls = 0;
    int error = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(PlatformWriteStream(file, text.requestLine.data(), text.requestLine.size(), &error));
        benchmark::DoNotOptimize(PlatformWriteStream(file, text.resultSection.data(), text.resultSection.size(), &error));
        if (truncate && ++calls % kCallsBetweenTruncations == 0) {
            state.PauseTiming();
            if (!EmptyFile(file)) state.SkipWithError("the file cannot be emptied");
            state.ResumeTiming();
        }
    }
    if (error != 0) state.SkipWithError("a write failed");
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(text.requestLine.size() + text.resultSection.size()));
    fclose(file);
}

void BM_TracedOneValue_DevNull(benchmark::State& state) { TracedGet(state, kNullDevice, 0); }
BENCHMARK(BM_TracedOneValue_DevNull);
void BM_TwoWrites_DevNull(benchmark::State& state) { TwoWrites(state, kNullDevice); }
BENCHMARK(BM_TwoWrites_DevNull);

void BM_TracedOneValue_File(benchmark::State& state) {
    ScratchFile file;
    TracedGet(state, file.Path(), 0);
}
BENCHMARK(BM_TracedOneValue_File);
void BM_TwoWrites_File(benchmark::State& state) {
    ScratchFile file;
    TwoWrites(state, file.Path());
}
BENCHMARK(BM_TwoWrites_File);

void BM_TracedEnumeration_DevNull(benchmark::State& state) {
    TracedGet(state, kNullDevice, static_cast<TW_UINT32>(state.range(0)));
}
BENCHMARK(BM_TracedEnumeration_DevNull)->Arg(10)->Arg(1000000);

// The same 10 items in a block of another allocator, read through the fault-free copy.
void BM_TracedEnumerationUnknownSize_DevNull(benchmark::State& state) {
    TracedGet(state, kNullDevice, static_cast<TW_UINT32>(state.range(0)), true);
}
BENCHMARK(BM_TracedEnumerationUnknownSize_DevNull)->Arg(10);

void BM_SourceDirect(benchmark::State& state) {
    ScriptedSource source;
    CTripletOperator* volatile scanner = source.Scanner();
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
    for (auto _ : state) {
        benchmark::DoNotOptimize(scanner->OperateTriplet(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    }
}
BENCHMARK(BM_SourceDirect);

void BM_DsEntryTracingOff(benchmark::State& state) {
    ScriptedSource source;
    TraceTo off(nullptr);
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
    for (auto _ : state) {
        benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    }
}
BENCHMARK(BM_DsEntryTracingOff);

}  // namespace
