// DS_Entry: forwards every triplet to the wrapped source's operator, returns its code unchanged,
// then appends the call's request line and result section to the trace file.
#include "DSEntry.h"

#include <cstring>

#include "Common/TwainLog/ParaAnalyze.h"
#include "Common/TwainLog/TwainLog.h"

CTripletOperator* g_pcTripletOperator = nullptr;

static void WriteText(const char* text, size_t length) {
    WriteLogFile(reinterpret_cast<const uint8_t*>(text), length);
}

static void WriteMarkers() {
    static bool stack = false;  // true only while the marker block is being written
    if (stack) return;
    stack = true;
    char line[256];
    int length = snprintf(line, sizeof(line), "%s%s", "*** Inspect Error Status Start ***", "\r\n");
    WriteText(line, static_cast<size_t>(length));
    length = snprintf(line, sizeof(line), "%s%s", "*** Inspect Error Status End   ***", "\r\n");
    WriteText(line, static_cast<size_t>(length));
    stack = false;
}

static void __attribute__((noinline))
TraceCall(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData, TW_UINT16 rc) {
    char* data = static_cast<char*>(pData);
    CTraceText text;
    g_cParaAnalyze.TripletAnalyze(pOrigin, nullptr, DG, DAT, MSG, data, &text);
    if (text.Length() != 0) WriteText(text.Data(), text.Length());

    text.Clear();
    g_cParaAnalyze.ParaAnalyze(pOrigin, nullptr, DG, DAT, MSG, data, rc, &text);
    // Text past the limit is not written: the first bytes go out, followed by the notice.
    text.EndWithCutNotice();
    if (text.Length() != 0) WriteText(text.Data(), text.Length());

    if (rc == TWRC_FAILURE) WriteMarkers();
}

static inline TW_UINT16 Forward(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    CTripletOperator* const op = g_pcTripletOperator;
    return op != nullptr ? op->OperateTriplet(pOrigin, DG, DAT, MSG, pData) : TWRC_FAILURE;
}

static TW_UINT16 __attribute__((noinline))
ForwardAndTrace(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    const TW_UINT16 rc = Forward(pOrigin, DG, DAT, MSG, pData);
    TraceCall(pOrigin, DG, DAT, MSG, pData, rc);
    return rc;
}

TW_UINT16 DS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData) {
    // Without a trace file nothing the analyzer computes is ever seen, and the trace file opens
    // and closes only at load and unload: the call is only forwarded.
    if (g_pLogFile == nullptr) return Forward(pOrigin, DG, DAT, MSG, pData);
    return ForwardAndTrace(pOrigin, DG, DAT, MSG, pData);
}
