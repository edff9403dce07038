// The cost DS_Entry adds to a forwarded call: a direct call of the operator, DS_Entry with
// tracing off, and DS_Entry with tracing on for a capability negotiation, side by side.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "Platform/Platform.h"
#include "alloc_counter.h"

namespace {

// Answers a MSG_GET of ICAP_PIXELTYPE with a one-value container, as a source would.
class PixelTypeOperator : public CTripletOperator {
public:
    TW_UINT16 OperateTriplet(TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF pData) override {
        TW_CAPABILITY* cap = static_cast<TW_CAPABILITY*>(pData);
        cap->ConType = TWON_ONEVALUE;
        cap->hContainer = m_container;
        return TWRC_SUCCESS;
    }
    int Release() override { return 0; }

    PixelTypeOperator() : m_container(NewHandleClear(sizeof(TW_ONEVALUE))) {
        TW_ONEVALUE* value = static_cast<TW_ONEVALUE*>(HLock(m_container));
        value->ItemType = TWTY_UINT16;
        value->Item = 2;
        HUnlock(m_container);
    }
    ~PixelTypeOperator() override { DisposeHandle(m_container); }

private:
    TW_HANDLE m_container;
};

PixelTypeOperator g_operator;
CTripletOperator* volatile g_direct = &g_operator;

void BM_DirectOperatorCall(benchmark::State& state) {
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, 0, nullptr};
    for (auto _ : state) {
        benchmark::DoNotOptimize(g_direct->OperateTriplet(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    }
}
BENCHMARK(BM_DirectOperatorCall);

void BM_DsEntryTracingOff(benchmark::State& state) {
    g_pcTripletOperator = &g_operator;
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, 0, nullptr};
    for (auto _ : state) {
        benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    }
    g_pcTripletOperator = nullptr;
}
BENCHMARK(BM_DsEntryTracingOff);

void BM_DsEntryTracingOn(benchmark::State& state) {
    g_pcTripletOperator = &g_operator;
    g_pLogFile = OpenTraceFile("/dev/null");
    TW_CAPABILITY cap = {ICAP_PIXELTYPE, 0, nullptr};
    DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);  // the stream's buffer is made once
    const long before = AllocationCount();
    for (auto _ : state) {
        benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    }
    state.counters["allocs_per_call"] =
        benchmark::Counter(static_cast<double>(AllocationCount() - before) / static_cast<double>(state.iterations()));
    fclose(g_pLogFile);
    g_pLogFile = nullptr;
    g_pcTripletOperator = nullptr;
}
BENCHMARK(BM_DsEntryTracingOn);

}  // namespace

BENCHMARK_MAIN();
