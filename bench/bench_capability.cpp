// The cost of tracing a capability negotiation by the length of its item list: an enumeration of
// ICAP_PIXELTYPE with 10 items against one with 1,000,000 items, traced through DS_Entry; and the
// same 10 items in a block of another allocator, whose size is unknown and which is read through
// the fault-free copy.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"

namespace {

// Answers MSG_GET of ICAP_PIXELTYPE with an enumeration of TWTY_UINT16 pixel types. The container
// is filled once, so the calls measure the trace rather than the source's own work.
class PixelTypeEnumerationOperator : public CTripletOperator {
public:
    PixelTypeEnumerationOperator(TW_UINT32 count, bool foreign)
        : m_foreign(foreign), m_block(nullptr), m_master(nullptr), m_container(nullptr) {
        const size_t size = offsetof(TW_ENUMERATION, ItemList) + count * sizeof(TW_UINT16);
        if (foreign) {
            m_block = static_cast<char*>(calloc(1, size));
            m_master = m_block;
            m_container = ForeignHandle();
        } else {
            m_container = CDSMInterface::AllocMemory(static_cast<TW_UINT32>(size));
        }
        auto* enumeration = static_cast<TW_ENUMERATION*>(CDSMInterface::LockMemory(m_container));
        enumeration->ItemType = TWTY_UINT16;
        enumeration->NumItems = count;
        enumeration->CurrentIndex = 2;
        enumeration->DefaultIndex = 0;
        for (TW_UINT32 i = 0; i < count; ++i) {
            const TW_UINT16 pixelType = static_cast<TW_UINT16>(i % 9);
            memcpy(enumeration->ItemList + i * sizeof(TW_UINT16), &pixelType, sizeof(pixelType));
        }
        CDSMInterface::UnlockMemory(m_container);
    }
    ~PixelTypeEnumerationOperator() override {
        if (m_foreign) free(m_block);
        else CDSMInterface::FreeMemory(m_container);
    }

    TW_UINT16 OperateTriplet(TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF pData) override {
        auto* cap = static_cast<TW_CAPABILITY*>(pData);
        cap->ConType = TWON_ENUMERATION;
        cap->hContainer = m_container;
        return TWRC_SUCCESS;
    }
    int Release() override { return 0; }

private:
#if defined(TRACEWELL_ABI_MACOS)
    TW_HANDLE ForeignHandle() { return &m_master; }
#else
    TW_HANDLE ForeignHandle() { return m_block; }
#endif

    bool m_foreign;
    char* m_block;
    char* m_master;  // the master pointer of the macos handle convention
    TW_HANDLE m_container;
};

void TracedEnumeration(benchmark::State& state, bool foreign) {
    PixelTypeEnumerationOperator source(static_cast<TW_UINT32>(state.range(0)), foreign);
    CTripletOperator* const previousOperator = g_pcTripletOperator;
    FILE* const previousLog = g_pLogFile;
    g_pcTripletOperator = &source;
    g_pLogFile = OpenTraceFile("/dev/null");

    TW_CAPABILITY cap = {ICAP_PIXELTYPE, TWON_DONTCARE16, nullptr};
    DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap);  // the stream's buffer is made once
    for (auto _ : state) {
        benchmark::DoNotOptimize(DS_Entry(nullptr, DG_CONTROL, DAT_CAPABILITY, MSG_GET, &cap));
    }

    fclose(g_pLogFile);
    g_pLogFile = previousLog;
    g_pcTripletOperator = previousOperator;
}
void BM_TracedPixelTypeEnumeration(benchmark::State& state) { TracedEnumeration(state, false); }
BENCHMARK(BM_TracedPixelTypeEnumeration)->Arg(10)->Arg(1000000);

void BM_TracedPixelTypeEnumerationUnknownSize(benchmark::State& state) { TracedEnumeration(state, true); }
BENCHMARK(BM_TracedPixelTypeEnumerationUnknownSize)->Arg(10);

}  // namespace
