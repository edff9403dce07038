// The checker's walk through a session: its own state machine, and the rules on capabilities,
// transfers and condition codes.
#include "Checker.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Common/TwainLog/TraceFormat.h"
#include "SessionSummary.h"

namespace tracecheck {

using tracereport::Field;
using tracereport::Notice;
using tracereport::NoticeKind;
using tracereport::TraceCall;

namespace {

// The states in which an application may send each triplet to a source. "*" stands for every
// message of the DAT.
struct StateRow {
    const char* dg;
    const char* dat;
    const char* msg;
    int first, last;
};

const StateRow kStates[] = {
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_GET", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_GETCURRENT", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_GETDEFAULT", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_QUERYSUPPORT", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_GETHELP", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_GETLABEL", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_GETLABELENUM", 4, 7},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_SET", 4, 4},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_SETCONSTRAINT", 4, 4},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_RESET", 4, 4},
    {"DG_CONTROL", "DAT_CAPABILITY", "MSG_RESETALL", 4, 4},
    {"DG_CONTROL", "DAT_CUSTOMDSDATA", "MSG_GET", 4, 4},
    {"DG_CONTROL", "DAT_CUSTOMDSDATA", "MSG_SET", 4, 4},
    {"DG_CONTROL", "DAT_DEVICEEVENT", "MSG_GET", 4, 7},
    {"DG_CONTROL", "DAT_ENTRYPOINT", "MSG_SET", 3, 3},
    {"DG_CONTROL", "DAT_EVENT", "MSG_PROCESSEVENT", 5, 7},
    {"DG_CONTROL", "DAT_FILESYSTEM", "*", 4, 6},
    {"DG_CONTROL", "DAT_IDENTITY", "MSG_GET", 3, 7},
    {"DG_CONTROL", "DAT_IDENTITY", "MSG_OPENDS", 3, 3},
    {"DG_CONTROL", "DAT_IDENTITY", "MSG_CLOSEDS", 4, 4},
    {"DG_CONTROL", "DAT_METRICS", "MSG_GET", 4, 7},
    {"DG_CONTROL", "DAT_PASSTHRU", "MSG_PASSTHRU", 4, 7},
    {"DG_CONTROL", "DAT_PENDINGXFERS", "MSG_GET", 4, 7},
    {"DG_CONTROL", "DAT_PENDINGXFERS", "MSG_ENDXFER", 6, 7},
    {"DG_CONTROL", "DAT_PENDINGXFERS", "MSG_RESET", 6, 6},
    {"DG_CONTROL", "DAT_PENDINGXFERS", "MSG_STOPFEEDER", 6, 6},
    {"DG_CONTROL", "DAT_SETUPFILEXFER", "MSG_GET", 4, 6},
    {"DG_CONTROL", "DAT_SETUPFILEXFER", "MSG_GETDEFAULT", 4, 6},
    {"DG_CONTROL", "DAT_SETUPFILEXFER", "MSG_SET", 4, 6},
    {"DG_CONTROL", "DAT_SETUPFILEXFER", "MSG_RESET", 4, 4},
    {"DG_CONTROL", "DAT_SETUPMEMXFER", "MSG_GET", 4, 6},
    {"DG_CONTROL", "DAT_STATUS", "MSG_GET", 4, 7},
    {"DG_CONTROL", "DAT_STATUSUTF8", "MSG_GET", 4, 7},
    {"DG_CONTROL", "DAT_TWAINDIRECT", "MSG_SETTASK", 4, 4},
    {"DG_CONTROL", "DAT_USERINTERFACE", "MSG_ENABLEDS", 4, 4},
    {"DG_CONTROL", "DAT_USERINTERFACE", "MSG_ENABLEDSUIONLY", 4, 4},
    {"DG_CONTROL", "DAT_USERINTERFACE", "MSG_DISABLEDS", 5, 5},
    {"DG_CONTROL", "DAT_XFERGROUP", "MSG_GET", 4, 6},
    {"DG_CONTROL", "DAT_XFERGROUP", "MSG_SET", 6, 6},
    {"DG_IMAGE", "DAT_CIECOLOR", "MSG_GET", 4, 6},
    {"DG_IMAGE", "DAT_EXTIMAGEINFO", "MSG_GET", 7, 7},
    {"DG_IMAGE", "DAT_GRAYRESPONSE", "MSG_SET", 4, 4},
    {"DG_IMAGE", "DAT_GRAYRESPONSE", "MSG_RESET", 4, 4},
    {"DG_IMAGE", "DAT_ICCPROFILE", "MSG_GET", 6, 7},
    {"DG_IMAGE", "DAT_IMAGEFILEXFER", "MSG_GET", 6, 6},
    {"DG_IMAGE", "DAT_IMAGEINFO", "MSG_GET", 6, 7},
    {"DG_IMAGE", "DAT_IMAGELAYOUT", "MSG_GET", 4, 6},
    {"DG_IMAGE", "DAT_IMAGELAYOUT", "MSG_GETDEFAULT", 4, 6},
    {"DG_IMAGE", "DAT_IMAGELAYOUT", "MSG_SET", 4, 4},
    {"DG_IMAGE", "DAT_IMAGELAYOUT", "MSG_RESET", 4, 4},
    {"DG_IMAGE", "DAT_IMAGEMEMFILEXFER", "MSG_GET", 6, 7},
    {"DG_IMAGE", "DAT_IMAGEMEMXFER", "MSG_GET", 6, 7},
    {"DG_IMAGE", "DAT_IMAGENATIVEXFER", "MSG_GET", 6, 6},
    {"DG_IMAGE", "DAT_JPEGCOMPRESSION", "MSG_GET", 4, 6},
    {"DG_IMAGE", "DAT_JPEGCOMPRESSION", "MSG_GETDEFAULT", 4, 6},
    {"DG_IMAGE", "DAT_JPEGCOMPRESSION", "MSG_SET", 4, 4},
    {"DG_IMAGE", "DAT_JPEGCOMPRESSION", "MSG_RESET", 4, 4},
    {"DG_IMAGE", "DAT_PALETTE8", "MSG_GET", 4, 6},
    {"DG_IMAGE", "DAT_PALETTE8", "MSG_GETDEFAULT", 4, 6},
    {"DG_IMAGE", "DAT_PALETTE8", "MSG_SET", 4, 4},
    {"DG_IMAGE", "DAT_PALETTE8", "MSG_RESET", 4, 4},
    {"DG_IMAGE", "DAT_RGBRESPONSE", "MSG_SET", 4, 4},
    {"DG_IMAGE", "DAT_RGBRESPONSE", "MSG_RESET", 4, 4},
    {"DG_AUDIO", "DAT_AUDIOFILEXFER", "MSG_GET", 6, 6},
    {"DG_AUDIO", "DAT_AUDIONATIVEXFER", "MSG_GET", 6, 6},
    {"DG_AUDIO", "DAT_AUDIOINFO", "MSG_GET", 6, 7},
};

const StateRow* FindStates(const TraceCall& call) {
    for (const StateRow& row : kStates) {
        if (call.dg == row.dg && call.dat == row.dat && (strcmp(row.msg, "*") == 0 || call.msg == row.msg))
            return &row;
    }
    return nullptr;
}

// The item type the standard gives each capability, for the capabilities whose type is one.
const std::map<std::string, std::string>& CapabilityTypes() {
    static const std::map<std::string, std::string> kTypes = {
        {"CAP_XFERCOUNT", "TWTY_INT16"},          {"CAP_SUPPORTEDCAPS", "TWTY_UINT16"},
        {"CAP_EXTENDEDCAPS", "TWTY_UINT16"},      {"CAP_FEEDERENABLED", "TWTY_BOOL"},
        {"CAP_FEEDERLOADED", "TWTY_BOOL"},        {"CAP_AUTOFEED", "TWTY_BOOL"},
        {"CAP_CLEARPAGE", "TWTY_BOOL"},           {"CAP_FEEDPAGE", "TWTY_BOOL"},
        {"CAP_REWINDPAGE", "TWTY_BOOL"},          {"CAP_INDICATORS", "TWTY_BOOL"},
        {"CAP_PAPERDETECTABLE", "TWTY_BOOL"},     {"CAP_UICONTROLLABLE", "TWTY_BOOL"},
        {"CAP_DEVICEONLINE", "TWTY_BOOL"},        {"CAP_AUTOSCAN", "TWTY_BOOL"},
        {"CAP_THUMBNAILSENABLED", "TWTY_BOOL"},   {"CAP_DUPLEXENABLED", "TWTY_BOOL"},
        {"CAP_ENABLEDSUIONLY", "TWTY_BOOL"},      {"CAP_CUSTOMDSDATA", "TWTY_BOOL"},
        {"CAP_DUPLEX", "TWTY_UINT16"},            {"CAP_JOBCONTROL", "TWTY_UINT16"},
        {"CAP_LANGUAGE", "TWTY_UINT16"},          {"CAP_DEVICEEVENT", "TWTY_UINT16"},
        {"CAP_AUTHOR", "TWTY_STR128"},            {"CAP_CAPTION", "TWTY_STR255"},
        {"CAP_TIMEDATE", "TWTY_STR32"},           {"CAP_SERIALNUMBER", "TWTY_STR255"},
        {"ICAP_COMPRESSION", "TWTY_UINT16"},      {"ICAP_PIXELTYPE", "TWTY_UINT16"},
        {"ICAP_UNITS", "TWTY_UINT16"},            {"ICAP_XFERMECH", "TWTY_UINT16"},
        {"ICAP_BITDEPTH", "TWTY_UINT16"},         {"ICAP_BITORDER", "TWTY_UINT16"},
        {"ICAP_IMAGEFILEFORMAT", "TWTY_UINT16"},  {"ICAP_ORIENTATION", "TWTY_UINT16"},
        {"ICAP_PLANARCHUNKY", "TWTY_UINT16"},     {"ICAP_PIXELFLAVOR", "TWTY_UINT16"},
        {"ICAP_SUPPORTEDSIZES", "TWTY_UINT16"},   {"ICAP_LIGHTPATH", "TWTY_UINT16"},
        {"ICAP_LIGHTSOURCE", "TWTY_UINT16"},      {"ICAP_BITDEPTHREDUCTION", "TWTY_UINT16"},
        {"ICAP_XRESOLUTION", "TWTY_FIX32"},       {"ICAP_YRESOLUTION", "TWTY_FIX32"},
        {"ICAP_XNATIVERESOLUTION", "TWTY_FIX32"}, {"ICAP_YNATIVERESOLUTION", "TWTY_FIX32"},
        {"ICAP_PHYSICALWIDTH", "TWTY_FIX32"},     {"ICAP_PHYSICALHEIGHT", "TWTY_FIX32"},
        {"ICAP_BRIGHTNESS", "TWTY_FIX32"},        {"ICAP_CONTRAST", "TWTY_FIX32"},
        {"ICAP_GAMMA", "TWTY_FIX32"},             {"ICAP_HIGHLIGHT", "TWTY_FIX32"},
        {"ICAP_SHADOW", "TWTY_FIX32"},            {"ICAP_ROTATION", "TWTY_FIX32"},
        {"ICAP_THRESHOLD", "TWTY_FIX32"},         {"ICAP_XSCALING", "TWTY_FIX32"},
        {"ICAP_YSCALING", "TWTY_FIX32"},          {"ICAP_FRAMES", "TWTY_FRAME"},
        {"ICAP_AUTOBRIGHT", "TWTY_BOOL"},         {"ICAP_UNDEFINEDIMAGESIZE", "TWTY_BOOL"},
        {"ICAP_TILES", "TWTY_BOOL"},              {"ICAP_EXTIMAGEINFO", "TWTY_BOOL"},
        {"ICAP_MAXFRAMES", "TWTY_UINT16"},        {"ICAP_JPEGQUALITY", "TWTY_INT16"},
    };
    return kTypes;
}

// The TWQC_ flag of a capability message; 0 for the others.
long QueryFlag(const std::string& msg) {
    static const std::pair<const char*, long> kFlags[] = {{"MSG_GET", 0x1},        {"MSG_SET", 0x2},
                                                          {"MSG_GETDEFAULT", 0x4}, {"MSG_GETCURRENT", 0x8},
                                                          {"MSG_RESET", 0x10},     {"MSG_SETCONSTRAINT", 0x20}};
    for (const auto& f : kFlags) {
        if (msg == f.first) return f.second;
    }
    return 0;
}

const char* QueryFlagName(long flag) {
    switch (flag) {
        case 0x1: return "TWQC_GET";
        case 0x2: return "TWQC_SET";
        case 0x4: return "TWQC_GETDEFAULT";
        case 0x8: return "TWQC_GETCURRENT";
        case 0x10: return "TWQC_RESET";
        case 0x20: return "TWQC_SETCONSTRAINT";
    }
    return "?";
}

bool EndsWith(const std::string& s, const std::string& suffix) {
    return s.size() >= suffix.size() && s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::string Value(const TraceCall& call, const std::string& structure, const std::string& key) {
    const Field* f = call.Find(structure, key);
    return f != nullptr ? f->value : std::string();
}

// A number the trace printed: an integer (decimal or 0x hex) or a fixed-point value.
bool Number(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    *value = hex ? static_cast<double>(strtoull(text.c_str(), &end, 16)) : strtod(text.c_str(), &end);
    return end != nullptr && *end == '\0' && std::isfinite(*value);
}

bool Integer(const std::string& text, long long* value) {
    double d;
    if (!Number(text, &d) || d != std::floor(d) || std::fabs(d) > 1e15) return false;
    *value = static_cast<long long>(d);
    return true;
}

// Fixed-point values print with three decimals: closer than that is the same value.
bool Same(const std::string& a, const std::string& b) {
    double x, y;
    if (Number(a, &x) && Number(b, &y)) return std::fabs(x - y) < 0.0015;
    return a == b;
}

// The container a capability call shows ("TW_ONEVALUE", ...), or "".
std::string ContainerOf(const TraceCall& call) {
    static const char* const kContainers[] = {"TW_ONEVALUE", "TW_ENUMERATION", "TW_RANGE", "TW_ARRAY"};
    for (const std::string& path : call.paths) {
        for (const char* c : kContainers) {
            if (EndsWith(path, c)) return c;
        }
    }
    return "";
}

std::vector<std::string> Items(const TraceCall& call) {
    std::vector<std::string> items;
    for (const Field& f : call.fields) {
        if (EndsWith(call.PathOf(f), "/ItemList")) items.push_back(f.value);
    }
    return items;
}

std::string CapabilityOf(const TraceCall& call) {
    return call.cap.empty() ? Value(call, "TW_CAPABILITY", "Cap") : call.cap;
}

bool IsStatus(const TraceCall& call) {
    return call.dg == "DG_CONTROL" && (call.dat == "DAT_STATUS" || call.dat == "DAT_STATUSUTF8") &&
           call.msg == "MSG_GET";
}

bool Succeeded(const TraceCall& call) { return call.rc == "TWRC_SUCCESS" || call.rc == "TWRC_CHECKSTATUS"; }

std::string StateText(int first, int last) {
    if (first == last) return "state " + std::to_string(first);
    return "states " + std::to_string(first) + " to " + std::to_string(last);
}

std::string SeqText(long long seq) {
    char text[32];
    snprintf(text, sizeof(text), "[%05lld]", seq);
    return text;
}

bool IsImageTransfer(const TraceCall& call) {
    return call.msg == "MSG_GET" &&
           ((call.dg == "DG_IMAGE" && (call.dat == "DAT_IMAGENATIVEXFER" || call.dat == "DAT_IMAGEFILEXFER" ||
                                       call.dat == "DAT_IMAGEMEMXFER" || call.dat == "DAT_IMAGEMEMFILEXFER")) ||
            (call.dg == "DG_AUDIO" && (call.dat == "DAT_AUDIONATIVEXFER" || call.dat == "DAT_AUDIOFILEXFER")));
}

}  // namespace

void CChecker::Reset() {
    m_load = LoadFindings();
    m_ordinal = 0;
    m_lastSeq = -1;
    m_nested.clear();
    m_state = -1;
    m_uiOnly = false;
    m_epoch = 0;
    m_caps.clear();
    m_listed.clear();
    m_haveListed = false;
    m_extended.clear();
    m_failure = OpenFailure();
    m_callOutOfState = false;
    m_started = false;
    NewTransfer();
    m_expectedPending = -1;
    m_pendingSeq = -1;
}

void CChecker::OnLoadStart(const std::string& file, long, int loadIndex) {
    Reset();
    m_load.file = file;
    m_load.index = loadIndex;
}

void CChecker::OnNotice(const Notice& notice) {
    // Calls missing from the trace: what was known of the session may no longer hold.
    if (notice.kind != NoticeKind::SequenceGap) return;
    m_state = -1;
    m_failure.open = false;
    m_expectedPending = -1;
    ++m_epoch;
}

void CChecker::OnCall(const TraceCall& call) {
    const long ordinal = ++m_ordinal;
    // Tracing starts with the Source Manager open: a load whose first call is [00001] starts in 3.
    if (!m_started && call.seq >= 0) {
        m_started = true;
        if (call.seq <= call.depth + 1) m_state = 3;
    }
    // A call made inside another (a source's message from within the application's call) comes
    // first; it is taken once the call it was made in is known.
    if (call.depth > 0) {
        // A source that sends without end from its own thread while one call stays open: the
        // oldest are taken as they come, in the state as it is.
        if (m_nested.size() >= kMaxNested) {
            const std::pair<TraceCall, long> oldest = std::move(m_nested.front());
            m_nested.erase(m_nested.begin());
            Process(oldest.first, oldest.second);
        }
        m_nested.emplace_back(call, ordinal);
        return;
    }
    ProcessEnclosing(call, ordinal);
}

void CChecker::ProcessEnclosing(const TraceCall& call, long ordinal) {
    if (m_nested.empty()) {
        Process(call, ordinal);
        return;
    }
    std::vector<std::pair<TraceCall, long>> nested;
    nested.swap(m_nested);
    // The enclosing call was sent before its nested calls were made: its state is the one before
    // them. The source's messages inside MSG_ENABLEDS come from a source that is enabled.
    const int before = m_state;
    const Finding at = At(call, ordinal);
    if (call.caller != "DS" && call.seq >= 0) {
        CheckState(call, at, before);
        Status(call, at);
    }
    if (call.caller != "DS") Changed(call, at);
    const bool enabling = call.dat == "DAT_USERINTERFACE" &&
                          (call.msg == "MSG_ENABLEDS" || call.msg == "MSG_ENABLEDSUIONLY") && Succeeded(call);
    if (enabling) {
        m_state = 5;
        m_uiOnly = call.msg == "MSG_ENABLEDSUIONLY";
    }
    for (const auto& n : nested) Process(n.first, n.second);
    if (!enabling) m_state = After(call, m_state);
    if (call.dat == "DAT_CAPABILITY") CapabilityCall(call, at);
    Transfer(call, at);
    if (call.seq >= 0) m_lastSeq = call.seq;
}

Finding CChecker::At(const TraceCall& call, long ordinal) const {
    Finding f;
    f.line = call.firstLine;
    f.seq = call.seq;
    f.afterSeq = call.seq < 0 ? m_lastSeq : -1;
    f.ordinal = ordinal;
    if (call.seq < 0 && call.caller.empty()) {
        f.call = "event";
    } else {
        f.call = (call.caller == "DS" ? "[DS] " : "") + call.Triplet();
        const std::string cap = call.dat == "DAT_CAPABILITY" ? CapabilityOf(call) : "";
        if (!cap.empty()) f.call += " (" + cap + ")";
    }
    return f;
}

void CChecker::Report(const char* id, const Finding& at, const std::string& what) {
    if (m_load.findings.size() >= kMaxFindings) {
        ++m_load.dropped;
        return;
    }
    Finding f = at;
    f.rule = FindRule(id);
    f.what = what;
    m_load.findings.push_back(std::move(f));
}

// What the trace marks as changed by the source: a value with what was sent beside it, or the
// structure as sent following the one returned.
void CChecker::Changed(const TraceCall& call, const Finding& at) {
    static const std::string kSentBlock = [] {
        const std::string_view open = traceformat::Unindented(traceformat::kSentBlockOpen);
        return std::string(open.substr(0, open.find(" = ")));
    }();
    for (const Field& f : call.fields) {
        if (!f.sent.empty()) {
            const std::string& path = call.PathOf(f);
            Report("TW-DATA-0001", at,
                   (path.empty() ? "" : path + "/") + f.key + " is " + f.value + " after the call; the application sent " +
                       f.sent);
            return;
        }
        if (call.PathOf(f).compare(0, kSentBlock.size(), kSentBlock) == 0) {
            Report("TW-DATA-0001", at, "the structure the source returned is not the one the application sent");
            return;
        }
    }
}

void CChecker::Process(const TraceCall& call, long ordinal) {
    const Finding at = At(call, ordinal);
    const int before = m_state;
    if (call.caller != "DS") Changed(call, at);
    if (call.seq < 0 && call.caller.empty()) {
        // An event the source took: the message it carries comes from the source.
        const std::string msg = Value(call, "TW_EVENT", "TWMessage");
        if (call.rc == "TWRC_DSEVENT") SourceMessage(msg, at);
        if (call.rc == "TWRC_DSEVENT" && msg == "MSG_XFERREADY" && before == 5) {
            m_state = 6;
            NewTransfer();
        }
        if (m_state < 0 && call.state > 0) m_state = call.state;
        return;
    }
    if (call.caller == "DS") {
        if (call.dat == "DAT_NULL") {
            SourceMessage(call.msg, at);
            if (call.msg == "MSG_XFERREADY" && before == 5) {
                m_state = 6;
                NewTransfer();
            }
        }
        return;
    }
    CheckState(call, at, before);
    Status(call, at);
    m_state = After(call, before);
    if (call.dat == "DAT_CAPABILITY") CapabilityCall(call, at);
    Transfer(call, at);
    if (call.seq >= 0) m_lastSeq = call.seq;
}

void CChecker::SourceMessage(const std::string& msg, const Finding& at) {
    if (m_state < 0) return;
    const std::string in = " while the session is in state " + std::to_string(m_state);
    if (msg == "MSG_XFERREADY" && m_state != 5) {
        Report("TW-STATE-0005", at,
               "the source announced a transfer (MSG_XFERREADY)" + in +
                   (m_state == 4 ? ": it is not enabled" : ": a transfer is pending already"));
    } else if (msg == "MSG_CLOSEDSOK" && !(m_state == 5 && m_uiOnly)) {
        Report("TW-STATE-0006", at,
               "the source sent MSG_CLOSEDSOK" + in +
                   (m_state >= 5 ? ", enabled with MSG_ENABLEDS, not MSG_ENABLEDSUIONLY" : ": it is not enabled"));
    } else if (msg == "MSG_CLOSEDSREQ" && m_state < 5) {
        Report("TW-STATE-0007", at, "the source asked to be closed (MSG_CLOSEDSREQ)" + in + ": it is not enabled");
    }
}

void CChecker::CheckState(const TraceCall& call, const Finding& at, int before) {
    m_callOutOfState = false;
    if (before < 0) return;
    const StateRow* row = FindStates(call);
    if (row == nullptr || (before >= row->first && before <= row->last)) return;
    if (call.dat == "DAT_CAPABILITY" && before >= 5 && before <= 7 &&
        (call.msg == "MSG_SET" || call.msg == "MSG_SETCONSTRAINT" || call.msg == "MSG_RESET") &&
        m_extended.count(CapabilityOf(call)) > 0)
        return;
    const bool manager = call.dat == "DAT_ENTRYPOINT";
    Report(manager ? "TW-STATE-0004" : "TW-STATE-0001", at,
           "sent in state " + std::to_string(before) + "; it is valid only in " + StateText(row->first, row->last));
    if (call.rc.empty() || call.unfinished) return;
    if (call.rc != "TWRC_FAILURE")
        Report("TW-STATE-0002", at,
               "sent in state " + std::to_string(before) + ", the source answered " + call.rc +
                   " instead of TWRC_FAILURE with TWCC_SEQERROR");
    else
        m_callOutOfState = true;
}

int CChecker::After(const TraceCall& call, int before) {
    const std::string& msg = call.msg;
    const std::string& dat = call.dat;
    const bool ok = call.rc == "TWRC_SUCCESS" || call.rc == "TWRC_CHECKSTATUS";
    int after = before;
    if (dat == "DAT_IDENTITY" && msg == "MSG_OPENDS" && ok) {
        after = 4;
    } else if (dat == "DAT_IDENTITY" && msg == "MSG_CLOSEDS" && ok) {
        after = 3;
    } else if (dat == "DAT_USERINTERFACE" && (msg == "MSG_ENABLEDS" || msg == "MSG_ENABLEDSUIONLY") && ok) {
        after = 5;
        m_uiOnly = msg == "MSG_ENABLEDSUIONLY";
    } else if (dat == "DAT_USERINTERFACE" && msg == "MSG_DISABLEDS" && ok) {
        after = 4;
        m_uiOnly = false;
    } else if (dat == "DAT_PENDINGXFERS" && msg == "MSG_ENDXFER" && ok) {
        long long count;
        after = Integer(Value(call, "TW_PENDINGXFERS", "Count"), &count) && count == 0 ? 5 : 6;
    } else if (dat == "DAT_PENDINGXFERS" && msg == "MSG_RESET" && ok) {
        after = 5;
    } else if (IsImageTransfer(call)) {
        const bool memory = dat == "DAT_IMAGEMEMXFER" || dat == "DAT_IMAGEMEMFILEXFER";
        if (call.rc == "TWRC_XFERDONE" || call.rc == "TWRC_CANCEL" || (memory && call.rc == "TWRC_SUCCESS")) after = 7;
    }
    // A load that starts inside a session takes the state its first call shows.
    if (after < 0 && call.state > 0) after = call.state;
    return after;
}

// The condition code that answers the last failure, and the failures never asked about.
void CChecker::Status(const TraceCall& call, const Finding& at) {
    if (m_failure.open) {
        m_failure.open = false;
        const OpenFailure failed = m_failure;
        if (!IsStatus(call)) {
            Report("TW-STATUS-0001", failed.at,
                   "the call failed and the application's next call, " + SeqText(at.seq) + " " + at.call +
                       ", is not DG_CONTROL/DAT_STATUS/MSG_GET: the reason is lost");
        } else if (call.rc == "TWRC_SUCCESS") {
            const std::string cc = Value(call, "TW_STATUS", "ConditionCode");
            if (cc == "TWCC_SUCCESS") {
                Report("TW-STATUS-0002", at,
                       "the source reports TWCC_SUCCESS right after " + SeqText(failed.at.seq) + " " + failed.at.call +
                           " failed");
            } else if (!cc.empty()) {
                if (failed.outOfState && cc != "TWCC_SEQERROR")
                    Report("TW-STATE-0003", failed.at,
                           "sent out of its states, the source refused it with " + cc + " instead of TWCC_SEQERROR");
                if (!failed.cap.empty() && cc == "TWCC_CAPBADOPERATION" && failed.queryFlag != 0 &&
                    (m_caps.size() < kMaxCapabilities || m_caps.count(failed.cap) > 0)) {
                    Capability& cap = m_caps[failed.cap];
                    cap.refusedAsBadOperation |= failed.queryFlag;
                    Contradiction(cap, failed.cap, failed.queryFlag, false, failed.at);
                }
                if (failed.getOfListed && cc == "TWCC_CAPUNSUPPORTED")
                    Report("TW-CAP-0007", failed.at,
                           "the source lists " + failed.cap + " in CAP_SUPPORTEDCAPS but refused MSG_GET of it with "
                           "TWCC_CAPUNSUPPORTED");
            }
        }
    }
    if (call.Failed() && !IsStatus(call)) {
        m_failure = OpenFailure();
        m_failure.open = true;
        m_failure.at = at;
        m_failure.outOfState = m_callOutOfState;
        if (call.dat == "DAT_CAPABILITY") {
            m_failure.cap = CapabilityOf(call);
            m_failure.queryFlag = QueryFlag(call.msg);
            m_failure.getOfListed = call.msg == "MSG_GET" && m_haveListed && m_listed.count(m_failure.cap) > 0;
        }
    }
}

void CChecker::Contradiction(Capability& cap, const std::string& name, long flag, bool succeeded, const Finding& at) {
    if (cap.querySupport < 0 || (cap.reported & flag) != 0) return;
    const bool claimed = (cap.querySupport & flag) != 0;
    if (succeeded == claimed) return;
    cap.reported |= flag;
    const std::string query = "its MSG_QUERYSUPPORT " + SeqText(cap.querySeq);
    if (succeeded)
        Report("TW-CAP-0006", at,
               "the source carried out " + std::string("MSG_") + (QueryFlagName(flag) + 5) + " of " + name +
                   " though " + query + " left " + QueryFlagName(flag) + " out");
    else
        Report("TW-CAP-0006", at,
               "the source refused " + std::string("MSG_") + (QueryFlagName(flag) + 5) + " of " + name +
                   " as a bad operation (TWCC_CAPBADOPERATION) though " + query + " named " + QueryFlagName(flag));
}

void CChecker::CapabilityCall(const TraceCall& call, const Finding& at) {
    const std::string name = CapabilityOf(call);
    if (name.empty() || (m_caps.size() >= kMaxCapabilities && m_caps.count(name) == 0)) return;
    Capability& cap = m_caps[name];
    const std::string& msg = call.msg;
    const bool ok = Succeeded(call);

    if (msg == "MSG_QUERYSUPPORT" && call.rc == "TWRC_SUCCESS") {
        long long flags;
        if (ContainerOf(call) == "TW_ONEVALUE" && Integer(Value(call, "TW_ONEVALUE", "Item"), &flags)) {
            cap.querySupport = static_cast<long>(flags);
            cap.querySeq = call.seq;
            for (long flag = 1; flag <= 0x20; flag <<= 1) {
                if ((cap.succeeded & flag) != 0) Contradiction(cap, name, flag, true, at);
                if ((cap.refusedAsBadOperation & flag) != 0) Contradiction(cap, name, flag, false, at);
            }
        }
    }
    const long flag = QueryFlag(msg);
    if (ok && flag != 0) {
        cap.succeeded |= flag;
        Contradiction(cap, name, flag, true, at);
    }

    const bool answer = msg == "MSG_GET" || msg == "MSG_GETCURRENT" || msg == "MSG_GETDEFAULT" || msg == "MSG_RESET" ||
                        msg == "MSG_QUERYSUPPORT";
    const bool setting = msg == "MSG_SET" || msg == "MSG_SETCONSTRAINT";
    if ((answer && ok) || setting) Container(call, name, answer, at);

    if (name == "CAP_SUPPORTEDCAPS" && msg == "MSG_GET" && ok && !call.cut && ContainerOf(call) == "TW_ARRAY") {
        const std::vector<std::string> items = Items(call);
        m_listed = std::set<std::string>(items.begin(), items.end());
        m_haveListed = true;
    }

    const std::string container = ContainerOf(call);
    // A value the application set and the source accepted as it was.
    if (setting && call.rc == "TWRC_SUCCESS") {
        const std::string value = container == "TW_ONEVALUE" ? Value(call, "TW_ONEVALUE", "Item") : "";
        if (msg == "MSG_SET" && !value.empty() && cap.allowedEpoch == m_epoch) {
            double v;
            bool allowed = true;
            std::string what;
            if (cap.haveRange && Number(value, &v)) {
                const double k = cap.step > 0 ? std::round((v - cap.min) / cap.step) : 0;
                allowed = v >= cap.min - 0.0015 && v <= cap.max + 0.0015 &&
                          (cap.step <= 0 || std::fabs(v - cap.min - k * cap.step) < 0.0015);
            } else if (!cap.haveRange && !cap.allowed.empty()) {
                allowed = std::any_of(cap.allowed.begin(), cap.allowed.end(),
                                      [&](const std::string& item) { return Same(item, value); });
            }
            if (!allowed)
                Report("TW-CAP-0009", at,
                       "the source accepted " + name + " = " + value + " with TWRC_SUCCESS, a value outside those its "
                       "MSG_GET " + SeqText(cap.allowedSeq) + " allowed");
        }
        ++m_epoch;
        cap.setPending = msg == "MSG_SET" && !value.empty();
        cap.setValue = value;
        cap.setSeq = call.seq;
        cap.setEpoch = m_epoch;
        if (name == "CAP_EXTENDEDCAPS") {
            const std::vector<std::string> items = container == "TW_ONEVALUE" ? std::vector<std::string>{value}
                                                                               : Items(call);
            m_extended = std::set<std::string>(items.begin(), items.end());
        }
        return;
    }
    if ((msg == "MSG_RESET" || msg == "MSG_RESETALL" || setting) && ok) ++m_epoch;
    if (!ok) return;
    // The value a source reports back after a set with nothing in between that could change it.
    if ((msg == "MSG_GETCURRENT" || msg == "MSG_GET") && cap.setPending && cap.setEpoch == m_epoch) {
        cap.setPending = false;
        const std::string current = tracereport::ContainerValue(call);
        if (!current.empty() && !Same(current, cap.setValue))
            Report("TW-CAP-0008", at,
                   name + " was set to " + cap.setValue + " at " + SeqText(cap.setSeq) +
                       " and the source answered TWRC_SUCCESS; " + msg + " now reports " + current);
    }
    if (msg == "MSG_GET" && !call.cut) {
        cap.allowedEpoch = -1;
        cap.haveRange = false;
        cap.allowed.clear();
        if (container == "TW_ENUMERATION") {
            long long n;
            cap.allowed = Items(call);
            if (Integer(Value(call, "TW_ENUMERATION", "NumItems"), &n) && n == static_cast<long long>(cap.allowed.size()))
                cap.allowedEpoch = m_epoch;
        } else if (container == "TW_RANGE") {
            cap.haveRange = Number(Value(call, "TW_RANGE", "MinValue"), &cap.min) &&
                            Number(Value(call, "TW_RANGE", "MaxValue"), &cap.max) &&
                            Number(Value(call, "TW_RANGE", "StepSize"), &cap.step);
            if (cap.haveRange) cap.allowedEpoch = m_epoch;
        }
        cap.allowedSeq = call.seq;
    }
}

// A container against itself and against its capability's type. `fromSource`: the source's
// answer; otherwise what the application set.
void CChecker::Container(const TraceCall& call, const std::string& name, bool fromSource, const Finding& at) {
    const std::string container = ContainerOf(call);
    if (container.empty()) return;
    const std::string itemType = Value(call, container, "ItemType");
    std::string expected;
    if (call.msg == "MSG_QUERYSUPPORT") {
        expected = "TWTY_INT32";
    } else {
        const auto it = CapabilityTypes().find(name);
        if (it != CapabilityTypes().end()) expected = it->second;
    }
    if (!expected.empty() && !itemType.empty() && itemType != expected) {
        if (fromSource)
            Report("TW-CAP-0004", at,
                   "the source answered " + call.msg + " of " + name + " with items of " + itemType + "; " +
                       (call.msg == "MSG_QUERYSUPPORT" ? "MSG_QUERYSUPPORT answers" : name + " is") + " " + expected);
        else
            Report("TW-CAP-0005", at,
                   "the application set " + name + " with items of " + itemType + "; " + name + " is " + expected);
    }
    if (!fromSource) return;
    if (container == "TW_ENUMERATION") {
        long long n, current, def;
        if (!Integer(Value(call, container, "NumItems"), &n)) return;
        for (const auto& index : {std::make_pair("CurrentIndex", &current), std::make_pair("DefaultIndex", &def)}) {
            if (Integer(Value(call, container, index.first), index.second) && (*index.second >= n || *index.second < 0))
                Report("TW-CAP-0001", at,
                       name + ": the enumeration's " + index.first + " is " + std::to_string(*index.second) +
                           ", but it holds " + std::to_string(n) + (n == 1 ? " item" : " items"));
        }
    } else if (container == "TW_RANGE") {
        double min, max, step;
        const std::string minText = Value(call, container, "MinValue"), maxText = Value(call, container, "MaxValue");
        if (!Number(minText, &min) || !Number(maxText, &max)) return;
        if (min > max) {
            Report("TW-CAP-0002", at, name + ": the range's MinValue " + minText + " is above its MaxValue " + maxText);
            return;
        }
        const std::string stepText = Value(call, container, "StepSize");
        if (!Number(stepText, &step)) return;
        for (const char* key : {"CurrentValue", "DefaultValue"}) {
            const std::string text = Value(call, container, key);
            double v;
            if (!Number(text, &v)) continue;
            bool reached = v >= min - 0.0015 && v <= max + 0.0015;
            if (reached && step > 0) {
                const double k = std::round((v - min) / step);
                reached = std::fabs(v - min - k * step) < 0.0015;
            } else if (reached && step <= 0) {
                reached = std::fabs(v - min) < 0.0015;
            }
            if (!reached)
                Report("TW-CAP-0003", at,
                       name + ": the range's " + key + " " + text + " is not reached from " + minText + " to " +
                           maxText + " in steps of " + stepText);
        }
    }
}

void CChecker::NewTransfer() {
    m_haveImageInfo = false;
    m_imageWidth = m_imageLength = m_bitsPerPixel = -1;
    m_rows = 0;
    m_stripsWhole = true;
    m_stripsOrdered = true;
    m_rowReported = false;
}

void CChecker::Transfer(const TraceCall& call, const Finding& at) {
    const std::string& dat = call.dat;
    if (dat == "DAT_USERINTERFACE" && Succeeded(call)) {
        NewTransfer();
        m_expectedPending = -1;
        return;
    }
    if (call.dg == "DG_IMAGE" && dat == "DAT_IMAGEINFO" && call.msg == "MSG_GET" && call.rc == "TWRC_SUCCESS") {
        m_haveImageInfo = true;
        const std::string s = "TW_IMAGEINFO";
        if (!Integer(Value(call, s, "ImageWidth"), &m_imageWidth)) m_imageWidth = -1;
        if (!Integer(Value(call, s, "ImageLength"), &m_imageLength)) m_imageLength = -1;
        if (!Integer(Value(call, s, "BitsPerPixel"), &m_bitsPerPixel)) m_bitsPerPixel = -1;
        if (Value(call, s, "Compression") != "TWCP_NONE") m_imageWidth = m_imageLength = -1;
        return;
    }
    if (dat == "DAT_PENDINGXFERS" && Succeeded(call)) {
        if (call.msg == "MSG_ENDXFER") {
            long long count;
            const bool known = Integer(Value(call, "TW_PENDINGXFERS", "Count"), &count);
            if (known && count >= 0 && m_expectedPending >= 0 && count != m_expectedPending)
                Report("TW-XFER-0005", at,
                       "MSG_ENDXFER reports " + std::to_string(count) + " transfers pending; the MSG_ENDXFER " +
                           SeqText(m_pendingSeq) + " before it reported " + std::to_string(m_expectedPending + 1) +
                           ", one transfer ago");
            m_expectedPending = known && count > 0 ? count - 1 : -1;
            m_pendingSeq = call.seq;
            NewTransfer();
        } else if (call.msg == "MSG_RESET" || call.msg == "MSG_STOPFEEDER") {
            m_expectedPending = -1;
            if (call.msg == "MSG_RESET") NewTransfer();
        }
        return;
    }
    if (!IsImageTransfer(call)) return;
    if (call.rc == "TWRC_CANCEL") m_expectedPending = -1;
    if (dat == "DAT_IMAGEMEMXFER" && (call.rc == "TWRC_SUCCESS" || call.rc == "TWRC_XFERDONE")) {
        const std::string s = "TW_IMAGEMEMXFER";
        long long written, length, bytesPerRow, rows, yOffset, xOffset, columns;
        if (Integer(Value(call, s, "BytesWritten"), &written) && Integer(Value(call, "TW_MEMORY", "Length"), &length) &&
            written > length)
            Report("TW-XFER-0004", at,
                   "the source wrote " + std::to_string(written) + " bytes (BytesWritten) into a buffer of " +
                       std::to_string(length) + " (Memory.Length)");
        const bool whole = Value(call, s, "Compression") == "TWCP_NONE" && Integer(Value(call, s, "Rows"), &rows) &&
                           Integer(Value(call, s, "YOffset"), &yOffset) && Integer(Value(call, s, "XOffset"), &xOffset) &&
                           Integer(Value(call, s, "Columns"), &columns) &&
                           Integer(Value(call, s, "BytesPerRow"), &bytesPerRow);
        if (!whole || m_imageWidth < 0 || xOffset != 0 || columns != m_imageWidth) {
            m_stripsWhole = false;
        } else {
            if (yOffset != m_rows) m_stripsOrdered = false;
            m_rows += rows;
            const long long needed = (m_imageWidth * std::max(0LL, m_bitsPerPixel) + 7) / 8;
            if (m_bitsPerPixel > 0 && bytesPerRow < needed && !m_rowReported) {
                m_rowReported = true;
                Report("TW-XFER-0003", at,
                       "a strip's rows are " + std::to_string(bytesPerRow) + " bytes (BytesPerRow); " +
                           std::to_string(m_imageWidth) + " pixels of " + std::to_string(m_bitsPerPixel) +
                           " bits need " + std::to_string(needed));
            }
        }
        if (call.rc == "TWRC_XFERDONE" && m_haveImageInfo && m_stripsWhole && m_imageLength >= 0) {
            if (!m_stripsOrdered)
                Report("TW-XFER-0002", at,
                       "the strips of this image do not follow one another: a YOffset skips rows or goes back");
            else if (m_rows != m_imageLength)
                Report("TW-XFER-0002", at,
                       "the strips of this image hold " + std::to_string(m_rows) + " rows; DAT_IMAGEINFO announced " +
                           std::to_string(m_imageLength));
        }
    }
    if (call.rc == "TWRC_XFERDONE" && !m_haveImageInfo)
        Report("TW-XFER-0001", at,
               "the transfer ended (TWRC_XFERDONE) and the application never read DG_IMAGE/DAT_IMAGEINFO/MSG_GET "
               "for this image");
}

void CChecker::OnLoadEnd(long) {
    for (auto& n : m_nested) Process(n.first, n.second);
    m_nested.clear();
    m_load.calls = m_ordinal;
    std::stable_sort(m_load.findings.begin(), m_load.findings.end(),
                     [](const Finding& a, const Finding& b) { return a.line < b.line; });
    m_onLoad(m_load);
}

}  // namespace tracecheck
