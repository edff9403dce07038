// The analyzer record: request line, result section, TWAIN state tracking, the banner and the
// caller tag. The structure formatters live with their families; the DAT dispatch in DatAnalyze.
#include "ParaAnalyze.h"

#include <ctime>
#include <string_view>

#include "Platform/Platform.h"

CParaAnalyze g_cParaAnalyze;

// ---- result section -------------------------------------------------------------------------

bool CParaAnalyze::ParaAnalyze(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                               char* pData, TW_UINT16 RC, CTraceText* out, Caller caller, int64_t tookNs) {
    const bool sourceCall = caller == Caller::kSource;
    StoreTriplet(pOrigin, pDest, DG, DAT, MSG, pData, out);
    m_call.RC = RC;
    if (!sourceCall && m_call.MSG == MSG_ENABLEDS && m_nEnableDsInFlight > 0) --m_nEnableDsInFlight;

    NoteSourceIdentity(sourceCall);
    const bool shown = ResultMake(sourceCall, tookNs);
    if (m_call.DAT == DAT_EVENT && !shown) return true;
    DispatchDat();
    if (m_call.RC != TWRC_FAILURE && shown) {
        if (sourceCall)
            UpDateTwainStatusBySource();
        else
            UpDateTwainStatus(m_call.DAT, m_call.MSG, m_call.pData);
        m_pOutBuf->Line(traceformat::kEmptyLine);
        m_pOutBuf->Line(FMT_STRING(traceformat::kStatusLine), m_nTwainStatus);
    }
    return true;
}

// The source's identity: the one it answered a DAT_IDENTITY with, or the one it sends its messages
// from.
void CParaAnalyze::NoteSourceIdentity(bool sourceCall) {
    const TW_IDENTITY* identity = nullptr;
    if (sourceCall)
        identity = m_call.pOrigin;
    else if (m_call.DG == DG_CONTROL && m_call.DAT == DAT_IDENTITY &&
             (m_call.MSG == MSG_GET || m_call.MSG == MSG_OPENDS) && m_call.RC == TWRC_SUCCESS)
        identity = reinterpret_cast<const TW_IDENTITY*>(m_call.pData);
    if (identity != nullptr) FollowSourceManufacturer(identity->Manufacturer, sizeof(identity->Manufacturer));
}

// Only the events that move the state reach the trace; a missing event counts as none, and so
// does the data of any DAT but DAT_EVENT, which holds no TW_EVENT.
static bool IsTrackedEvent(TW_UINT16 dat, const char* pData) {
    if (dat != DAT_EVENT || pData == nullptr) return false;
    const TW_UINT16 message = reinterpret_cast<const TW_EVENT*>(pData)->TWMessage;
    return message == MSG_XFERREADY || message == MSG_CLOSEDSREQ;
}

bool CParaAnalyze::ResultMake(bool sourceCall, int64_t tookNs) {
    // The suppression rules are the application's: every message a source sends is shown.
    if (!sourceCall) {
        if (m_call.DAT == DAT_NULL && m_call.MSG == MSG_XFERREADY) return false;
        if (m_call.MSG == MSG_PROCESSEVENT && (m_call.RC != TWRC_DSEVENT || !IsTrackedEvent(m_call.DAT, m_call.pData)))
            return false;
    }
    if (tookNs >= 0) m_pOutBuf->Line(FMT_STRING(traceformat::kTookLine), static_cast<double>(tookNs) / 1e6);
    static const NameFinder kReturnCodes(twrc_macros);
    m_pOutBuf->Line(FMT_STRING(traceformat::kReturnCodeLine), Name(kReturnCodes, m_call.RC));
    m_pOutBuf->Line(FMT_STRING(traceformat::kDataPointerLine), Low32(m_call.pData));
    return true;
}

// ---- TWAIN state ----------------------------------------------------------------------------

static bool IsImageTransfer(TW_UINT16 dat) { return dat >= DAT_IMAGEMEMXFER && dat <= DAT_IMAGEFILEXFER; }

int CParaAnalyze::UpDateTwainStatus(TW_UINT16 DAT, TW_UINT16 MSG, char* pData) {
    int& state = m_nTwainStatus;
    auto move = [&state](int from, int to) {
        if (state == from) state = to;
    };
    switch (MSG) {
        case MSG_OPENDSM: move(2, 3); break;
        case MSG_CLOSEDSM: move(3, 2); break;
        case MSG_OPENDS: move(3, 4); break;
        case MSG_CLOSEDS: move(4, 3); break;
        case MSG_ENABLEDS: move(4, 5); break;
        case MSG_DISABLEDS:
            if (DAT == DAT_USERINTERFACE) move(5, 4);
            break;
        case MSG_PROCESSEVENT:
            if (DAT == DAT_EVENT) {
                if (m_call.pData == nullptr) break;
                const TW_UINT16 event = reinterpret_cast<const TW_EVENT*>(m_call.pData)->TWMessage;
                if (event == MSG_XFERREADY) move(5, 6);
                if (event == MSG_CLOSEDSREQ) move(5, 4);
                break;
            }
            if (IsImageTransfer(DAT)) move(6, 7);
            break;
        case MSG_GET:
            if (IsImageTransfer(DAT)) move(6, 7);
            break;
        case MSG_ENDXFER:
            if (DAT == DAT_PENDINGXFERS && pData != nullptr && state >= 6)
                state = reinterpret_cast<const TW_PENDINGXFERS*>(pData)->Count != 0 ? 6 : 5;
            break;
        case MSG_RESET:
            if (DAT == DAT_PENDINGXFERS) move(6, 5);
            break;
        default: break;
    }
    return state;
}

// The message a source sends the application: DAT_NULL carries it as the MSG, DAT_CALLBACK and
// DAT_CALLBACK2 with MSG_INVOKE_CALLBACK in their structure; MSG_NULL for any other call.
static TW_UINT16 SourceMessage(TW_UINT16 dat, TW_UINT16 msg, const char* pData) {
    if (dat == DAT_NULL) return msg;
    if (msg != MSG_INVOKE_CALLBACK || pData == nullptr) return MSG_NULL;
    if (dat == DAT_CALLBACK) return static_cast<TW_UINT16>(reinterpret_cast<const TW_CALLBACK*>(pData)->Message);
    if (dat == DAT_CALLBACK2) return static_cast<TW_UINT16>(reinterpret_cast<const TW_CALLBACK2*>(pData)->Message);
    return MSG_NULL;
}

int CParaAnalyze::UpDateTwainStatusBySource() {
    int& state = m_nTwainStatus;
    switch (SourceMessage(m_call.DAT, m_call.MSG, m_call.pData)) {
        case MSG_XFERREADY:
            // Sent from inside the application's MSG_ENABLEDS, before it returned: the source
            // is enabled already.
            if (state == 4 && m_nEnableDsInFlight > 0) state = 5;
            if (state == 5) state = 6;
            break;
        case MSG_CLOSEDSREQ:
        case MSG_CLOSEDSOK:
            if (state == 5) state = 4;
            break;
        default: break;
    }
    return state;
}

// ---- request line ---------------------------------------------------------------------------

namespace {

// Formats joined into one at compile time.
template <size_t... N>
struct Joined {
    char text[(N + ...) - sizeof...(N) + 1];
};

template <size_t... N>
constexpr Joined<N...> Join(const char (&... parts)[N]) {
    Joined<N...> joined{};
    size_t at = 0;
    for (const std::string_view part : {std::string_view(parts, N - 1)...}) {
        for (const char c : part) joined.text[at++] = c;
    }
    return joined;
}

// The request line: sequence number, caller tag and triplet (with the capability), the number and
// the names put between pieces of text.
constexpr auto kRequestLine = Join(traceformat::kRequestSequence, traceformat::kRequestTag, traceformat::kTriplet);
constexpr auto kRequestLineWithCapability =
    Join(traceformat::kRequestSequence, traceformat::kRequestTag, traceformat::kTripletWithCapability);

}  // namespace

bool CParaAnalyze::TripletAnalyze(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT,
                                  TW_UINT16 MSG, char* pData, CTraceText* out, Caller caller) {
    StoreTriplet(pOrigin, pDest, DG, DAT, MSG, pData, out);
    return CreateStringOfTriplet(caller == Caller::kSource);
}

void CParaAnalyze::RenderData(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, char* pData, TW_UINT16 RC,
                              CTraceText* out) {
    const CallRecord call = m_call;
    CTraceText* const output = m_pOutBuf;
    StoreTriplet(call.pOrigin, call.pDest, DG, DAT, MSG, pData, out);
    m_call.RC = RC;
    DispatchDat();
    m_call = call;
    m_pOutBuf = output;
}

void CParaAnalyze::StoreTriplet(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                char* pData, CTraceText* pOutBuf) {
    m_call.pOrigin = pOrigin;
    m_call.pDest = pDest;
    m_call.DG = DG;
    m_call.DAT = DAT;
    m_call.MSG = MSG;
    m_call.pData = pData;
    m_pOutBuf = pOutBuf;
}

bool CParaAnalyze::CreateStringOfTriplet(bool sourceCall) {
    if (!sourceCall && (m_call.MSG == MSG_PROCESSEVENT || (m_call.DAT == DAT_NULL && m_call.MSG == MSG_XFERREADY)))
        return false;
    if (!sourceCall && m_call.MSG == MSG_ENABLEDS) ++m_nEnableDsInFlight;

    ++m_lSequenceNo;
    const TraceName tag = sourceCall ? TraceName{traceformat::kSourceTag}
                                     : TraceName{std::string_view(m_szCaller, m_callerLength), m_callerPlain};
    // Fallback texts of names no table holds, each in a buffer of its own.
    char unnamed[4][kNameSize];
    static const NameFinder kGroups(dg_macros), kDats(dat_macros), kVendorDats(dat_kv_macros);
    static const NameFinder kMsgs(msg_macros), kVendorMsgs(msg_kv_macros);
    const TraceName dg = {kGroups.NameOrFallback(static_cast<int32_t>(m_call.DG), unnamed[0])};
    // Another maker's identifiers from 0x8001 up show as the base name and the offset.
    const bool vendorNames = VendorNaming();
    if (IsVendorId(m_call.DAT) && !vendorNames) CustomName("DAT_CUSTOMBASE", m_call.DAT, unnamed[1]);
    if (IsVendorId(m_call.MSG) && !vendorNames) CustomName("MSG_CUSTOMBASE", m_call.MSG, unnamed[2]);
    const TraceName dat = {!IsVendorId(m_call.DAT) ? kDats.NameOrFallback(m_call.DAT, unnamed[1])
                           : vendorNames           ? kVendorDats.NameOrFallback(m_call.DAT, unnamed[1])
                                                   : std::string_view(unnamed[1])};
    const TraceName msg = {!IsVendorId(m_call.MSG) ? kMsgs.NameOrFallback(m_call.MSG, unnamed[2])
                           : vendorNames           ? kVendorMsgs.NameOrFallback(m_call.MSG, unnamed[2])
                                                   : std::string_view(unnamed[2])};
    if (m_call.DAT != DAT_CAPABILITY) {
        m_pOutBuf->Line(FMT_STRING(kRequestLine.text), m_lSequenceNo, tag, dg, dat, msg);
        return true;
    }
    const auto* const cap = reinterpret_cast<const TW_CAPABILITY*>(m_call.pData);
    const TraceName capName = {cap != nullptr ? CapabilityNameOrFallback(cap->Cap, unnamed[3]) : std::string_view()};
    m_pOutBuf->Line(FMT_STRING(kRequestLineWithCapability.text), m_lSequenceNo, tag, dg, dat, msg, capName);
    return true;
}

// ---- banner and caller tag ------------------------------------------------------------------

bool CParaAnalyze::HeaderMake(char* pOutBuf) {
    if (pOutBuf == nullptr) return true;
    struct tm local;
    char stamp[80] = {};
    if (PlatformLocalTime(static_cast<long long>(time(nullptr)), &local)) {
        // The C library's asctime form, without its line end.
        static const char kDays[][4] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
        static const char kMonths[][4] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
        snprintf(stamp, sizeof(stamp), "%.3s %.3s%3d %.2d:%.2d:%.2d %d", kDays[(local.tm_wday % 7 + 7) % 7],
                 kMonths[(local.tm_mon % 12 + 12) % 12], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                 local.tm_year + 1900);
    }
    CTraceText banner;
    banner.Line(traceformat::kBannerRule);
    banner.Line(traceformat::kBannerTitle);
    banner.Line(traceformat::kBannerRule);
    banner.Line(FMT_STRING(traceformat::kBannerTime), stamp);
    // Appended after the text the buffer holds, never past kHeaderBufferSize bytes.
    const size_t held = strnlen(pOutBuf, kHeaderBufferSize - 1);
    const size_t room = kHeaderBufferSize - 1 - held;
    const size_t length = banner.Length() < room ? banner.Length() : room;
    memcpy(pOutBuf + held, banner.Data(), length);
    pOutBuf[held + length] = '\0';
    return true;
}

void CParaAnalyze::Init(const char* tag) {
    if (tag == nullptr) return;
    const size_t length = strnlen(tag, kCallerSize - 1);
    memset(m_szCaller, 0, sizeof(m_szCaller));
    memcpy(m_szCaller, tag, length);
    m_callerLength = length;
    m_callerPlain = PlainLength(m_szCaller, length) == length;
}
