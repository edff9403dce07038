// The cost of the adapter's hop: the virtual scanner as a standard source, its DS_Entry called
// directly, through the adapter's operator, and through DS_Entry with tracing off in front of the
// adapter, side by side. The scanner answers MSG_GET of ICAP_PIXELTYPE from its script.
#include <benchmark/benchmark.h>

#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "Platform/Platform.h"
#include "ScannerHooks.h"

namespace {

// The source and the adapter, loaded once for the whole run.
struct Chain {
    Chain() {
        source = PlatformModuleOpen(BENCH_STANDARD_SOURCE);
        adapter = PlatformModuleOpen(BENCH_ADAPTER);
        if (source != nullptr) {
            entry = reinterpret_cast<DSENTRYPROC>(PlatformModuleSymbol(source, "DS_Entry"));
            const auto script = reinterpret_cast<decltype(&CorvaleScriptTriplet)>(PlatformModuleSymbol(source, "CorvaleScriptTriplet"));
            const TW_CAPABILITY answer = {ICAP_PIXELTYPE, TWON_ONEVALUE, nullptr};
            if (script != nullptr) script(DG_CONTROL, DAT_CAPABILITY, MSG_GET, TWRC_SUCCESS, &answer, sizeof(answer));
            else entry = nullptr;
        }
        const auto factory =
            adapter != nullptr ? reinterpret_cast<CreateCorvaleFn>(PlatformModuleSymbol(adapter, TRACEWELL_FACTORY_NAME)) : nullptr;
        if (factory != nullptr) factory("tracewell.ds", &adapted);
    }
    bool Ready() const { return entry != nullptr && adapted != nullptr; }

    void* source = nullptr;
    void* adapter = nullptr;
    DSENTRYPROC entry = nullptr;
    CTripletOperator* adapted = nullptr;
};

Chain& TheChain() {
    static Chain chain;
    return chain;
}

void BM_StandardSourceDirect(benchmark::State& state) {
    if (!TheChain().Ready()) return state.SkipWithError("the standard source or the adapter cannot be loaded");
    DSENTRYPROC volatile entry = TheChain().entry;
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, 0, nullptr};
    for (auto _ : state) benchmark::DoNotOptimize(entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
}
BENCHMARK(BM_StandardSourceDirect);

void BM_ThroughAdapter(benchmark::State& state) {
    if (!TheChain().Ready()) return state.SkipWithError("the standard source or the adapter cannot be loaded");
    CTripletOperator* volatile adapted = TheChain().adapted;
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, 0, nullptr};
    for (auto _ : state)
        benchmark::DoNotOptimize(adapted->OperateTriplet(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
}
BENCHMARK(BM_ThroughAdapter);

void BM_DsEntryTracingOffThroughAdapter(benchmark::State& state) {
    if (!TheChain().Ready()) return state.SkipWithError("the standard source or the adapter cannot be loaded");
    CTripletOperator* const previous = g_pcTripletOperator;
    g_pcTripletOperator = TheChain().adapted;
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, 0, nullptr};
    for (auto _ : state) benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    g_pcTripletOperator = previous;
}
BENCHMARK(BM_DsEntryTracingOffThroughAdapter);

}  // namespace
