// DS_Entry: forwards every triplet to the wrapped source's operator and returns its code
// unchanged; with a trace file open it writes the call's request line before forwarding and its
// result section after. A TWAIN 2 source is handed a DSM_Entry of Tracewell's own, so that the
// messages it sends the application pass here too, traced with the caller tag "DS".
#include "DSEntry.h"

#include <atomic>
#include <cstring>
#include <mutex>

#include "Common/TwainLog/LoadEnvironment.h"
#include "Common/TwainLog/ParaAnalyze.h"
#include "Common/TwainLog/SentCopy.h"
#include "Common/TwainLog/TwainLog.h"
#include "Platform/Platform.h"

CTripletOperator* g_pcTripletOperator = nullptr;

namespace {

// Closed from the start of the unload sequence: calls then return TWRC_FAILURE untraced.
std::atomic<bool> g_bEntryClosed{false};

// One call's text at a time: the analyzer record, the text and its writes. It is never held
// while the source or the Source Manager runs, so a message the source sends from inside a call,
// or from a thread of its own, never waits for the call it stands in. It is the trace file's own
// lock, so that the text is written without taking another.
std::mutex& g_traceLock = g_traceFileLock;

// The Source Manager's DSM_Entry, and the entry points the source is handed instead of the
// Source Manager's: they live as long as the module, since a source may keep the pointer. The
// room holds a later, longer structure than the one known here; a longer one is not believed.
std::atomic<DSMENTRYPROC> g_fnSourceManagerEntry{nullptr};
constexpr size_t kEntryPointsRoom = 1024;
union SourceEntryPoints {
    TW_ENTRYPOINT known;
    unsigned char bytes[kEntryPointsRoom];
};
SourceEntryPoints g_uSourceEntryPoints;

using Caller = CParaAnalyze::Caller;

void WriteText(const CTraceText& text) {
    if (text.Length() != 0) WriteLogFileLocked(reinterpret_cast<const uint8_t*>(text.Data()), text.Length());
}

// A steady reading for how long the source took; only taken when timing is on.
int64_t SteadyNow() { return g_bTraceTiming ? ReadTraceClock().monotonicNs : 0; }

struct Triplet {
    TW_IDENTITY* pOrigin;
    TW_IDENTITY* pDest;
    TW_UINT32 DG;
    TW_UINT16 DAT;
    TW_UINT16 MSG;
    TW_MEMREF pData;
};

// What this load has said of where it runs.
CLoadEnvironment g_loadEnvironment;

// The application's identity and the Source Manager's module, where the trace first meets them.
void NoteEnvironment(const Triplet& t, CTraceText& text) {
    g_loadEnvironment.ShowApplication(t.pOrigin, text);
    if (t.DG != DG_CONTROL || t.DAT != DAT_ENTRYPOINT || t.MSG != MSG_SET || t.pData == nullptr) return;
    TW_ENTRYPOINT given;
    if (PlatformCopyReadable(&given, t.pData, sizeof(given)) == sizeof(given) && given.Size >= sizeof(given))
        g_loadEnvironment.ShowSourceManager(reinterpret_cast<const void*>(given.DSM_Entry), text);
}

void TraceRequest(Caller caller, const Triplet& t) {
    CTraceText text;
    std::lock_guard<std::mutex> lock(g_traceLock);
    if (kTraceNamesItsEnvironment && caller == Caller::kApplication) NoteEnvironment(t, text);
    const bool announced = g_cParaAnalyze.TripletAnalyze(t.pOrigin, t.pDest, t.DG, t.DAT, t.MSG,
                                                         static_cast<char*>(t.pData), &text, caller);
    if (announced && g_bTraceTiming) {
        const TraceClock clock = ReadTraceClock();
        if (kTraceNamesItsEnvironment)
            text.Line(FMT_STRING(traceformat::kTimeLineWithThread), clock.local.tm_hour, clock.local.tm_min,
                      clock.local.tm_sec, clock.microseconds, PlatformThreadId());
        else
            text.Line(FMT_STRING(traceformat::kTimeLine), clock.local.tm_hour, clock.local.tm_min, clock.local.tm_sec,
                      clock.microseconds);
    }
    WriteText(text);
}

// The result section with the values the source changed marked with what the application sent.
void MarkChanges(const Triplet& t, TW_UINT16 rc, CSentCopy& sent, CTraceText& text) {
    CTraceText before;
    g_cParaAnalyze.RenderData(t.DG, t.DAT, t.MSG, sent.Sent(t.pData), rc, &before);
    CTraceText marked;
    const bool changed = MarkWhatTheSourceChanged(text, before, marked, sent.SentHandle(), sent.GivenHandle());
    sent.ReleaseSent();
    if (!changed) return;
    text.Clear();
    text.Write(marked.Data(), marked.Length());
}

void TraceResult(Caller caller, const Triplet& t, TW_UINT16 rc, int64_t tookNs, CSentCopy* changed = nullptr) {
    CTraceText text;
    std::lock_guard<std::mutex> lock(g_traceLock);
    g_cParaAnalyze.ParaAnalyze(t.pOrigin, t.pDest, t.DG, t.DAT, t.MSG, static_cast<char*>(t.pData), rc, &text, caller,
                               g_bTraceTiming ? tookNs : CParaAnalyze::kNotTimed);
    if (changed != nullptr) MarkChanges(t, rc, *changed, text);
    // Text past the limit is not written: the first bytes go out, followed by the notice line.
    text.EndWithCutNotice();
    WriteText(text);

    if (rc == TWRC_FAILURE) {
        text.Clear();
        text.Line(traceformat::kMarkerStart);
        text.Line(traceformat::kMarkerEnd);
        WriteText(text);
    }
}

TW_UINT16 TW_CALLINGCONV TracedSourceManagerEntry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG,
                                                  TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    const DSMENTRYPROC sourceManager = g_fnSourceManagerEntry.load(std::memory_order_acquire);
    if (sourceManager == nullptr) return TWRC_FAILURE;
    if (g_pLogFile == nullptr || g_bEntryClosed.load(std::memory_order_acquire))
        return sourceManager(pOrigin, pDest, DG, DAT, MSG, pData);

    const Triplet t = {pOrigin, pDest, DG, DAT, MSG, pData};
    TraceRequest(Caller::kSource, t);
    const int64_t start = SteadyNow();
    const TW_UINT16 rc = sourceManager(pOrigin, pDest, DG, DAT, MSG, pData);
    TraceResult(Caller::kSource, t, rc, SteadyNow() - start);
    return rc;
}

// The entry points the source gets for the ones the Source Manager sent: the same bytes, as many
// as their Size announces, but with Tracewell's DSM_Entry. They are read without ever faulting;
// where fewer bytes are readable than announced, or more than the room holds, the Size the source
// reads says how many it got. A structure too short to hold them, or without a DSM_Entry, is
// passed on as it is.
TW_MEMREF InterposeEntryPoints(TW_MEMREF pData) {
    SourceEntryPoints read;
    if (PlatformCopyReadable(read.bytes, pData, sizeof(TW_ENTRYPOINT)) != sizeof(TW_ENTRYPOINT)) return pData;
    const size_t announced = read.known.Size;
    if (announced < sizeof(TW_ENTRYPOINT)) return pData;
    const DSMENTRYPROC sourceManager = read.known.DSM_Entry;
    if (sourceManager == nullptr) return pData;
    const size_t wanted = announced < kEntryPointsRoom ? announced : kEntryPointsRoom;
    const size_t got = sizeof(TW_ENTRYPOINT) + PlatformCopyReadable(read.bytes + sizeof(TW_ENTRYPOINT),
                                                                    static_cast<const char*>(pData) + sizeof(TW_ENTRYPOINT),
                                                                    wanted - sizeof(TW_ENTRYPOINT));
    memset(read.bytes + got, 0, kEntryPointsRoom - got);
    if (got != announced) read.known.Size = static_cast<TW_UINT32>(got);
    // Entry points handed back again (the same structure sent twice) keep the real one.
    if (sourceManager != TracedSourceManagerEntry) g_fnSourceManagerEntry.store(sourceManager, std::memory_order_release);
    read.known.DSM_Entry = TracedSourceManagerEntry;
    g_uSourceEntryPoints = read;
    return &g_uSourceEntryPoints;
}

inline TW_UINT16 Forward(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    CTripletOperator* const op = g_pcTripletOperator;
    return op != nullptr ? op->OperateTriplet(pOrigin, DG, DAT, MSG, pData) : TWRC_FAILURE;
}

// A call whose data the application fills in and the source must leave: what the application
// sent is copied before the call and compared after it.
TW_UINT16 __attribute__((noinline)) ForwardWatched(const Triplet& t) {
    CSentCopy sent;
    sent.Take(t.DG, t.DAT, t.MSG, t.pData);
    const int64_t start = SteadyNow();
    const TW_UINT16 rc = Forward(t.pOrigin, t.DG, t.DAT, t.MSG, t.pData);
    const int64_t took = SteadyNow() - start;
    TraceResult(Caller::kApplication, t, rc, took, sent.Changed(t.pData) ? &sent : nullptr);
    return rc;
}

TW_UINT16 __attribute__((noinline))
ForwardAndTrace(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    if (g_bEntryClosed.load(std::memory_order_acquire)) return TWRC_FAILURE;
    const Triplet t = {pOrigin, nullptr, DG, DAT, MSG, pData};
    TraceRequest(Caller::kApplication, t);

    TW_MEMREF forwarded = pData;
    if (DG == DG_CONTROL && DAT == DAT_ENTRYPOINT && MSG == MSG_SET) forwarded = InterposeEntryPoints(pData);
    if (CSentCopy::Watches(DG, DAT, MSG)) return ForwardWatched(t);
    const int64_t start = SteadyNow();
    const TW_UINT16 rc = Forward(pOrigin, DG, DAT, MSG, forwarded);
    TraceResult(Caller::kApplication, t, rc, SteadyNow() - start);
    return rc;
}

}  // namespace

void OpenEntry() {
    g_fnSourceManagerEntry.store(nullptr);
    g_bEntryClosed.store(false);
}

void CloseEntry() { g_bEntryClosed.store(true); }

DSMENTRYPROC TracedEntryFor(DSMENTRYPROC sourceManager) {
    DSMENTRYPROC none = nullptr;
    if (sourceManager != TracedSourceManagerEntry)
        g_fnSourceManagerEntry.compare_exchange_strong(none, sourceManager, std::memory_order_acq_rel);
    return TracedSourceManagerEntry;
}

void StartLoadEnvironment(const char* tracedSource) {
    std::lock_guard<std::mutex> lock(g_traceLock);
    g_loadEnvironment.Reset();
    if (!kTraceNamesItsEnvironment || g_pLogFile == nullptr) return;
    CTraceText text;
    RenderLoadFacts(GatherLoadFacts(tracedSource, static_cast<long long>(time(nullptr))), text);
    WriteText(text);
}

TW_UINT16 TW_CALLINGCONV DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    // Without a trace file nothing the analyzer computes is ever seen, and the trace file opens
    // and closes only at load and unload: the call is only forwarded.
    if (g_pLogFile == nullptr) return Forward(pOrigin, DG, DAT, MSG, pData);
    return ForwardAndTrace(pOrigin, DG, DAT, MSG, pData);
}
