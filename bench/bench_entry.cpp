// What DS_Entry costs, side by side with what it must at least cost: the traced one-value MSG_GET
// against two write(2) of the same bytes, to /dev/null and to a real file; the 10-item enumeration
// against the one-value call; the pass-through with tracing off against a direct call of the
// source. Every traced benchmark reports its heap allocations per call.
#include <fcntl.h>
#include <unistd.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "ScriptedSource.h"
#include "alloc_counter.h"

namespace {

// The trace grows by every call; a real file is emptied every so many calls, outside the timing.
constexpr benchmark::IterationCount kCallsBetweenTruncations = 1 << 16;

// A file in a temporary directory of its own, removed with its directory.
class TemporaryFile {
public:
    TemporaryFile() {
        char dir[] = "/tmp/tracewell-bench-XXXXXX";
        if (mkdtemp(dir) != nullptr) m_dir = dir;
        m_path = m_dir + "/trace.log";
    }
    ~TemporaryFile() {
        unlink(m_path.c_str());
        rmdir(m_dir.c_str());
    }
    const char* Path() const { return m_path.c_str(); }

private:
    std::string m_dir;
    std::string m_path;
};

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
    const bool truncate = std::string(path) != "/dev/null";
    benchmark::IterationCount calls = 0;
    const long before = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
        if (truncate && ++calls % kCallsBetweenTruncations == 0) {
            state.PauseTiming();
            if (ftruncate(fileno(g_pLogFile), 0) != 0) state.SkipWithError("the trace file cannot be emptied");
            state.ResumeTiming();
        }
    }
    ReportAllocations(state, before);
}

// The two write(2) calls of a traced one-value MSG_GET's bytes, to a file opened as the trace is.
void TwoWrites(benchmark::State& state, const char* path) {
    const TracedCallText& text = OneValueCallText();
    if (text.resultSection.empty()) return state.SkipWithError("no traced call text was captured");
    const int fd = open(path, O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) return state.SkipWithError("the file cannot be opened");
    const bool truncate = std::string(path) != "/dev/null";
    benchmark::IterationCount calls = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(write(fd, text.requestLine.data(), text.requestLine.size()));
        benchmark::DoNotOptimize(write(fd, text.resultSection.data(), text.resultSection.size()));
        if (truncate && ++calls % kCallsBetweenTruncations == 0) {
            state.PauseTiming();
            if (ftruncate(fd, 0) != 0) state.SkipWithError("the file cannot be emptied");
            state.ResumeTiming();
        }
    }
    state.SetBytesProcessed(state.iterations() *
                            static_cast<int64_t>(text.requestLine.size() + text.resultSection.size()));
    close(fd);
}

void BM_TracedOneValue_DevNull(benchmark::State& state) { TracedGet(state, "/dev/null", 0); }
BENCHMARK(BM_TracedOneValue_DevNull);
void BM_TwoWrites_DevNull(benchmark::State& state) { TwoWrites(state, "/dev/null"); }
BENCHMARK(BM_TwoWrites_DevNull);

void BM_TracedOneValue_File(benchmark::State& state) {
    TemporaryFile file;
    TracedGet(state, file.Path(), 0);
}
BENCHMARK(BM_TracedOneValue_File);
void BM_TwoWrites_File(benchmark::State& state) {
    TemporaryFile file;
    TwoWrites(state, file.Path());
}
BENCHMARK(BM_TwoWrites_File);

void BM_TracedEnumeration_DevNull(benchmark::State& state) {
    TracedGet(state, "/dev/null", static_cast<TW_UINT32>(state.range(0)));
}
BENCHMARK(BM_TracedEnumeration_DevNull)->Arg(10)->Arg(1000000);

// The same 10 items in a block of another allocator, read through the fault-free copy.
void BM_TracedEnumerationUnknownSize_DevNull(benchmark::State& state) {
    TracedGet(state, "/dev/null", static_cast<TW_UINT32>(state.range(0)), true);
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
