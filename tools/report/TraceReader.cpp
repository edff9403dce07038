// The streaming reader of trace files: line classification and the assembly of calls.
#include "TraceReader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>

#include <fmt/format.h>

#include "Common/TwainLog/TraceFormat.h"

namespace tracereport {

namespace {

using traceformat::After;
using traceformat::Before;
using traceformat::Between;
using traceformat::Unindented;
using std::string_view;

// What the reader matches, each taken from the text the writer formats.
constexpr string_view kCutNotice = traceformat::kCutNotice;
constexpr string_view kMarkerStart = traceformat::kMarkerStart;
constexpr string_view kMarkerEnd = traceformat::kMarkerEnd;
constexpr string_view kNoticeOpen = traceformat::kNoticeOpen;
constexpr string_view kNoticeClose = traceformat::kNoticeClose;
constexpr string_view kStatusOpen = Before(traceformat::kStatusLine);
constexpr string_view kStatusClose = After(traceformat::kStatusLine);
constexpr string_view kTimeOpen = Before(traceformat::kTimeLine);
// "] Thread = [": between the time and the thread of a time line that names it.
constexpr string_view kThreadOpen = Between(traceformat::kTimeLineWithThread, 3);
constexpr string_view kEnvironmentSeparator = traceformat::kEnvironmentSeparator;
constexpr string_view kSentOpen = Before(traceformat::kSentValue);
constexpr string_view kSentClose = After(traceformat::kSentValue);
constexpr string_view kTookOpen = Before(traceformat::kTookLine);
constexpr string_view kTookClose = After(traceformat::kTookLine);
constexpr string_view kReturnCodeOpen = Before(traceformat::kReturnCodeLine);
// "pData   = ": the data pointer line up to the pointer it shows.
constexpr string_view kDataPointerLabel = Before(traceformat::kDataPointerLine).substr(
    0, Before(traceformat::kDataPointerLine).size() - Before(traceformat::kPointer).size());
constexpr string_view kBannerTimeOpen = Before(traceformat::kBannerTime);
constexpr string_view kBannerTimeClose = After(traceformat::kBannerTime);
// "[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_OPENDS (CAP_...)"
constexpr string_view kSequenceOpen = Before(traceformat::kRequestSequence);
constexpr string_view kSequenceClose = After(traceformat::kRequestSequence);
constexpr string_view kTagOpen = Before(traceformat::kRequestTag);
constexpr string_view kTagClose = After(traceformat::kRequestTag);
constexpr string_view kTripletSeparator = Between(traceformat::kTriplet, 0);
constexpr string_view kCapabilityOpen = Between(traceformat::kTripletWithCapability, 2);
constexpr string_view kCapabilityClose = After(traceformat::kTripletWithCapability);
// A structure header "  TW_CAPABILITY = {": the key, " = " and the opening brace.
constexpr string_view kAssign = traceformat::kStructureOpen;
constexpr char kEquals = Unindented(kAssign)[0];
constexpr string_view kBraceOpen = Unindented(kAssign).substr(traceformat::LastIndexOf(Unindented(kAssign), ' ') + 1);
constexpr string_view kBraceClose = traceformat::kStructureClose;
constexpr string_view kValueOpen = traceformat::kValueOpen;
constexpr string_view kValueClose = traceformat::kValueClose;
// An item line "          2:TWPT_RGB,": its index, the colon, the value, a comma unless last.
constexpr string_view kItemColon = Between(traceformat::kListItem, 0);
constexpr string_view kItemSeparator = traceformat::kListItemSeparator;
// A fault Tracewell reports inside a rendering, on a line of its own: "!!! 3 items not in the block.!!!".
constexpr string_view kFaultOpen = traceformat::kFaultOpen;
constexpr string_view kFaultClose = traceformat::kFaultClose;
// The field of a container that says how many items its list holds.
constexpr char kNumItems[] = "NumItems";
// The logger's prefix "[<stamp>] <level> from \"...": the bracket before the stamp and the text
// after it, taken from the printf format of the prefix.
constexpr string_view kLoggerPrefix = traceformat::kLoggerPrefix;
constexpr size_t kLoggerStampAt = traceformat::IndexOf(kLoggerPrefix, '%');
constexpr string_view kLoggerOpen = kLoggerPrefix.substr(0, kLoggerStampAt);
constexpr string_view kLoggerStampClose = kLoggerPrefix.substr(
    kLoggerStampAt + 2, traceformat::IndexOf(kLoggerPrefix, '%', kLoggerStampAt + 2) - kLoggerStampAt - 2);
constexpr string_view kLoggerStampShape = traceformat::kLoggerStampShape;
constexpr string_view kLoggerFrom = traceformat::kLoggerFrom;
static_assert(kEquals == '=' && kBraceOpen == "{" && kItemColon == ":" && kLoggerOpen == "[" &&
                  kLoggerStampClose == "] ",
              "the reader splits these texts at single characters");

constexpr size_t kShownLength = 120;

bool StartsWith(const std::string& s, string_view prefix, size_t from = 0) {
    return s.size() >= from + prefix.size() && s.compare(from, prefix.size(), prefix.data(), prefix.size()) == 0;
}

bool EndsWith(const std::string& s, string_view suffix) {
    return s.size() >= suffix.size() &&
           s.compare(s.size() - suffix.size(), suffix.size(), suffix.data(), suffix.size()) == 0;
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

size_t FirstNonBlank(const std::string& s) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    return i;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.pop_back();
    return s;
}

// The text after `open` (which ends at `from`) up to the last `close` of the line.
std::string Bracketed(const std::string& s, size_t from, string_view close = kValueClose) {
    const size_t end = s.rfind(close.data(), std::string::npos, close.size());
    if (end == std::string::npos || end < from) return s.substr(from);
    return s.substr(from, end - from);
}

bool IsKeyChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || IsDigit(c) || c == '_' || c == ':' || c == '[' ||
           c == ']' || c == '.' || c == ' ';
}

// A name of the triplet as the request line prints it: a table name or "ERROR!(n)".
bool IsName(const std::string& s) {
    if (s.empty()) return false;
    for (char c : s) {
        if (!(IsKeyChar(c) || c == '!' || c == '(' || c == ')' || c == '-') || c == ' ') return false;
    }
    return true;
}

// "[2026/12/07 00:42:18.123] INFO from \"..." : the leveled logger's prefix.
bool IsLoggerLine(const std::string& s) {
    if (!StartsWith(s, kLoggerOpen) || s.size() < kLoggerOpen.size() + kLoggerStampShape.size()) return false;
    size_t i = kLoggerOpen.size();
    for (char shape : kLoggerStampShape) {
        if (shape == 'd' ? !IsDigit(s[i]) : s[i] != shape) return false;
        ++i;
    }
    if (i < s.size() && IsDigit(s[i])) ++i;  // a millisecond value of 1000
    return StartsWith(s, kLoggerStampClose, i) && s.find(kLoggerFrom.data(), i, kLoggerFrom.size()) != std::string::npos;
}

}  // namespace

std::string RequestNumber(long long seq) { return TrimRight(fmt::format(FMT_STRING(traceformat::kRequestSequence), seq)); }

std::string RequestDigits(long long seq) {
    const std::string text = fmt::format(FMT_STRING(traceformat::kRequestSequence), seq);
    return text.substr(kSequenceOpen.size(), text.size() - kSequenceOpen.size() - kSequenceClose.size());
}

std::string CallerTag(const std::string& caller) {
    return TrimRight(fmt::format(FMT_STRING(traceformat::kRequestTag), caller));
}

std::string SourceTag() { return CallerTag(traceformat::kSourceTag); }

const char* SourceTagName() { return traceformat::kSourceTag; }

std::string WithCapability(const std::string& triplet, const std::string& cap) {
    if (cap.empty()) return triplet;
    return triplet + std::string(kCapabilityOpen) + cap + std::string(kCapabilityClose);
}

std::string TraceCall::Triplet() const {
    const std::string separator(kTripletSeparator);
    return dg + separator + dat + separator + msg;
}

bool TraceCall::FromSource() const { return caller == traceformat::kSourceTag; }

std::string Shown(const std::string& line) {
    std::string out;
    for (size_t i = 0; i < line.size() && out.size() < kShownLength; ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c >= 0x20 && c < 0x7f) {
            out += static_cast<char>(c);
        } else {
            char hex[8];
            snprintf(hex, sizeof(hex), "\\x%02x", c);
            out += hex;
        }
    }
    if (out.size() >= kShownLength) out += "...";
    return out;
}

const Field* TraceCall::Find(const std::string& pathSuffix, const std::string& key) const {
    for (const Field& f : fields) {
        if (f.key != key) continue;
        const std::string& path = PathOf(f);
        if (pathSuffix.empty() || (path.size() >= pathSuffix.size() &&
                                   path.compare(path.size() - pathSuffix.size(), pathSuffix.size(), pathSuffix) == 0))
            return &f;
    }
    return nullptr;
}

CTraceReader::CTraceReader(TraceSink& sink, const std::string& file, bool keepText)
    : m_sink(sink), m_file(file), m_keepText(keepText) {}

void CTraceReader::Feed(const char* data, size_t size) {
    while (size > 0) {
        const char* end = static_cast<const char*>(memchr(data, '\n', size));
        const size_t piece = end != nullptr ? static_cast<size_t>(end - data) : size;
        const size_t room = kMaxLine - std::min(kMaxLine, m_pending.size());
        if (piece > room) m_pendingOverlong = true;
        m_pending.append(data, std::min(piece, room));
        if (end == nullptr) return;
        TakeLine(m_pending);
        m_pending.clear();
        m_pendingOverlong = false;
        data = end + 1;
        size -= piece + 1;
    }
}

void CTraceReader::Finish() {
    if (!m_pending.empty()) {
        TakeLine(m_pending);
        m_sink.OnNotice({NoticeKind::FileCutShort, m_lineNo, "the last line has no line end: the file was cut short"});
        m_pending.clear();
    }
    EndLoad(m_lineNo);
}

void CTraceReader::TakeLine(std::string& line) {
    ++m_lineNo;
    if (!m_loadOpen) StartLoad();
    if (m_pendingOverlong) {
        Unparsed(line);
        m_pendingOverlong = false;
        return;
    }
    const bool hadCr = !line.empty() && line.back() == '\r';
    if (hadCr) line.pop_back();
    Classify(line, hadCr);
}

void CTraceReader::Classify(const std::string& line, bool hadCr) {
    // Lines of the logger end in "\n" alone, trace lines in "\r\n"; a logger message may run on
    // over several lines. In a file whose line ends were all made "\n", no line runs on.
    m_sawCr = m_sawCr || hadCr;
    if (m_inLogger && m_sawCr && !hadCr && !line.empty() && !StartsWith(line, kLoggerOpen) &&
        !StartsWith(line, kNoticeOpen)) {
        m_sink.OnNotice({NoticeKind::Logger, m_lineNo, Shown(line)});
        return;
    }
    m_inLogger = false;

    const size_t cut = line.find(kCutNotice);
    if (cut != std::string::npos) {
        const std::string before = line.substr(0, cut);
        const std::string after = line.substr(cut + kCutNotice.size());
        if (m_inResult) {
            if (!before.empty()) Keep(m_result, before);
            Keep(m_result, std::string(kCutNotice));
            m_result.cut = true;
            m_afterCut = true;
            m_headers.clear();
        } else {
            if (!before.empty()) Unparsed(before);
            m_sink.OnNotice({NoticeKind::Marker, m_lineNo, "cut notice outside a call's result"});
        }
        // Without a line end of its own, the notice runs into whatever was written next.
        if (!after.empty()) Classify(after, hadCr);
        return;
    }

    const bool timeExpected = m_timeExpected;
    m_timeExpected = false;

    const bool numbered = StartsWith(line, kSequenceOpen) && line.size() > kSequenceOpen.size() + 1 &&
                          IsDigit(line[kSequenceOpen.size()]);
    if (numbered) {
        size_t i = kSequenceOpen.size();
        while (i < line.size() && IsDigit(line[i])) ++i;
        const size_t digits = i - kSequenceOpen.size();
        if (digits >= 5 && digits <= 18 && StartsWith(line, kSequenceClose, i) &&
            StartsWith(line, kTagOpen, i + kSequenceClose.size())) {
            const long long seq = strtoll(line.c_str() + kSequenceOpen.size(), nullptr, 10);
            if (Request(line, seq, i + kSequenceClose.size() + kTagOpen.size())) return;
        }
    }
    if (IsLoggerLine(line)) {
        m_sink.OnNotice({NoticeKind::Logger, m_lineNo, Shown(line)});
        m_inLogger = true;
        return;
    }
    if (numbered) {
        Unparsed(line);
        return;
    }
    if (line == kMarkerStart) {
        if (m_inResult) {
            m_result.markers = true;
            Keep(m_result, line);
        } else {
            m_sink.OnNotice({NoticeKind::StrayMarker, m_lineNo, line});
        }
        return;
    }
    if (line == kMarkerEnd) {
        if (m_inResult && m_result.markers) {
            Keep(m_result, line);
            EndResult();
        } else {
            m_sink.OnNotice({NoticeKind::StrayMarker, m_lineNo, line});
        }
        return;
    }
    if (line.size() >= kNoticeOpen.size() + kNoticeClose.size() && StartsWith(line, kNoticeOpen) &&
        EndsWith(line, kNoticeClose)) {
        if (!Environment(line)) m_sink.OnNotice({NoticeKind::Marker, m_lineNo, Shown(line)});
        return;
    }
    if (StartsWith(line, kStatusOpen) && EndsWith(line, kStatusClose)) {
        const std::string value = Bracketed(line, kStatusOpen.size(), kStatusClose);
        char* end = nullptr;
        const long state = strtol(value.c_str(), &end, 10);
        if (m_inResult && !m_afterCut && !value.empty() && *end == '\0') {
            m_result.state = static_cast<int>(state < 0 || state > 1000 ? -1 : state);
            Keep(m_result, line);
            EndResult();
            return;
        }
        Unparsed(line);
        return;
    }

    if (StartsWith(line, kTimeOpen) && timeExpected && !m_open.empty()) {
        TraceCall& call = m_open.back();
        call.time = Bracketed(line, kTimeOpen.size(), After(traceformat::kTimeLine));
        const size_t thread = call.time.find(kThreadOpen);
        if (thread != std::string::npos) {
            call.thread = call.time.substr(thread + kThreadOpen.size());
            call.time.resize(thread);
        }
        Keep(m_open.back(), line);
        return;
    }
    if (StartsWith(line, kTookOpen) && EndsWith(line, kTookClose)) {
        if (m_inResult) EndResult();
        TraceCall& call = BeginResult(line);
        call.tookMs = strtod(line.c_str() + kTookOpen.size(), nullptr);
        if (!(call.tookMs >= 0 && call.tookMs < 1e12)) call.tookMs = -1;  // "nan", "inf", negative: no time
        return;
    }
    if (StartsWith(line, kReturnCodeOpen)) {
        if (m_inResult && (!m_result.rc.empty() || m_afterCut)) EndResult();
        if (m_inResult)
            Keep(m_result, line);
        else
            BeginResult(line);
        m_result.rc = Bracketed(line, kReturnCodeOpen.size(), After(traceformat::kReturnCodeLine));
        if (m_result.rc.empty()) m_result.rc = "?";
        return;
    }
    if (m_inResult && !m_afterCut) {
        if (line.empty()) {
            Keep(m_result, line);
            return;
        }
        // The call's own data pointer stands at the start of its line; a structure's field of that
        // name is indented.
        if (StartsWith(line, kDataPointerLabel)) {
            m_result.pData = TrimRight(line.substr(kDataPointerLabel.size()));
            Keep(m_result, line);
            return;
        }
        if (StructureLine(line)) return;
    }
    if (line == traceformat::kBannerRule || line == traceformat::kBannerTitle ||
        (StartsWith(line, kBannerTimeOpen) && EndsWith(line, kBannerTimeClose))) {
        m_sink.OnNotice({NoticeKind::Banner, m_lineNo, Shown(line)});
        return;
    }
    Unparsed(line);
}

bool CTraceReader::Request(const std::string& line, long long seq, size_t tagStart) {
    const size_t tagEnd = line.find(kTagClose, tagStart);
    if (tagEnd == std::string::npos) return false;
    const size_t tripletStart = tagEnd + kTagClose.size();
    const size_t capStart = line.find(kCapabilityOpen, tripletStart);
    const std::string triplet = line.substr(tripletStart, capStart == std::string::npos ? std::string::npos
                                                                                        : capStart - tripletStart);
    std::string cap;
    if (capStart != std::string::npos) {
        const size_t from = capStart + kCapabilityOpen.size();
        if (!EndsWith(line, kCapabilityClose) || line.size() < from + kCapabilityClose.size()) return false;
        cap = line.substr(from, line.size() - kCapabilityClose.size() - from);
    }
    const size_t slash1 = triplet.find(kTripletSeparator);
    const size_t slash2 = slash1 == std::string::npos ? slash1 : triplet.find(kTripletSeparator, slash1 + 1);
    if (slash2 == std::string::npos || triplet.find(kTripletSeparator, slash2 + 1) != std::string::npos) return false;
    TraceCall call;
    call.dg = triplet.substr(0, slash1);
    call.dat = triplet.substr(slash1 + kTripletSeparator.size(), slash2 - slash1 - kTripletSeparator.size());
    call.msg = triplet.substr(slash2 + kTripletSeparator.size());
    if (!IsName(call.dg) || !IsName(call.dat) || !IsName(call.msg)) return false;
    call.caller = line.substr(tagStart, tagEnd - tagStart);
    call.cap = cap;
    call.seq = seq;

    if (m_inResult) EndResult();
    if (m_lastSeq > 0 && seq <= m_lastSeq) {
        // A load within the same millisecond appends to the previous load's file.
        EndLoad(m_lineNo - 1);
        StartLoad();
    } else if (seq != m_lastSeq + 1) {
        std::string text;
        if (m_lastSeq == 0)
            text = "the load's first call is " + RequestNumber(seq) + ": its start is not in this file";
        else
            text = "calls " + RequestNumber(m_lastSeq + 1) + " to " + RequestNumber(seq - 1) + " are missing";
        m_sink.OnNotice({NoticeKind::SequenceGap, m_lineNo, text});
    }
    m_lastSeq = seq;
    m_loadShown = true;
    call.firstLine = m_lineNo;
    call.depth = static_cast<int>(m_open.size());
    Keep(call, line);
    if (m_open.size() >= kMaxOpenCalls) {
        TraceCall lost = std::move(m_open.front());
        m_open.erase(m_open.begin());
        lost.unfinished = true;
        m_sink.OnCall(lost);
    }
    m_open.push_back(std::move(call));
    m_timeExpected = true;
    return true;
}

bool CTraceReader::StructureLine(const std::string& line) {
    if (!StructurePart(line, FirstNonBlank(line), true)) return false;
    Keep(m_result, line);
    return true;
}

// One structure line from `at` on: a closing brace, an item of a list, a header, or a field. A
// label whose structure header follows on the same line ("QuantTable[0]   = {    TW_MEMORY = {")
// is the label of that structure, as if the header stood on a line of its own (when `labelled`:
// one label to a line).
bool CTraceReader::StructurePart(const std::string& line, size_t at, bool labelled) {
    const char* p = line.c_str() + at;
    const size_t n = line.size() - at;
    const int path = m_headers.empty() ? 0 : m_headers.back();
    if (string_view(p, n) == kBraceClose) {
        if (!m_headers.empty()) m_headers.pop_back();
        return true;
    }
    size_t i = 0;
    while (i < n && IsDigit(p[i])) ++i;
    if (i > 0 && string_view(p + i, n - i).substr(0, kItemColon.size()) == kItemColon) {
        const size_t from = i + kItemColon.size();
        // Every item but the last ends in the separator; the last item's own text may end in it.
        const bool last = !m_lastItem.empty() && string_view(p, i) == m_lastItem;
        const bool separated = !last && n - from >= kItemSeparator.size() &&
                               string_view(p + n - kItemSeparator.size(), kItemSeparator.size()) == kItemSeparator;
        const size_t end = separated ? n - kItemSeparator.size() : n;
        AddField(path, std::string(p, i), std::string(p + from, end - from));
        return true;
    }
    // A fault line stands for what could not be shown: a field without a name.
    if (n >= kFaultOpen.size() + kFaultClose.size() && string_view(p, n).substr(0, kFaultOpen.size()) == kFaultOpen &&
        string_view(p, n).substr(n - kFaultClose.size()) == kFaultClose) {
        AddField(path, std::string(), std::string(p, n));
        return true;
    }
    const char* eq = static_cast<const char*>(memchr(p, kEquals, n));
    if (eq == nullptr || eq == p) return false;
    size_t keyEnd = static_cast<size_t>(eq - p);
    while (keyEnd > 0 && p[keyEnd - 1] == ' ') --keyEnd;
    if (keyEnd == 0) return false;
    for (size_t k = 0; k < keyEnd; ++k) {
        if (!IsKeyChar(p[k])) return false;
    }
    size_t from = static_cast<size_t>(eq - p) + 1, to = n;
    while (from < to && p[from] == ' ') ++from;
    while (to > from && (p[to - 1] == ' ' || p[to - 1] == '\t')) --to;
    // " (sent TRUE)" after a value the source changed.
    std::string sent;
    const string_view whole(p + from, to - from);
    const size_t sentAt = whole.rfind(kSentOpen);
    if (sentAt != string_view::npos && whole.size() > sentAt + kSentOpen.size() &&
        whole.substr(whole.size() - kSentClose.size()) == kSentClose) {
        sent = std::string(whole.substr(sentAt + kSentOpen.size(), whole.size() - sentAt - kSentOpen.size() - kSentClose.size()));
        to = from + sentAt;
    }
    const string_view value(p + from, to - from);
    if (value == kBraceOpen) {
        m_lastItem = LastItemOf(path);
        if (m_headers.size() < 32 && !m_result.textClipped) {
            const std::string& outer = m_result.paths[static_cast<size_t>(path)];
            m_result.paths.push_back(outer.empty() ? std::string(p, keyEnd) : outer + "/" + std::string(p, keyEnd));
            m_headers.push_back(static_cast<int>(m_result.paths.size()) - 1);
        }
        return true;
    }
    if (value.size() >= 2 && value.substr(0, kBraceOpen.size()) == kBraceOpen &&
        value.substr(value.size() - kBraceClose.size()) == kBraceClose) {
        // A list on one line, or a text in place of the structure: what stands between the braces.
        from += kBraceOpen.size();
        to -= kBraceClose.size();
        while (from < to && p[from] == ' ') ++from;
        while (to > from && p[to - 1] == ' ') --to;
    } else if (labelled && value.substr(0, kBraceOpen.size()) == kBraceOpen) {
        size_t next = from + kBraceOpen.size();
        while (next < n && p[next] == ' ') ++next;
        const size_t mark = m_result.fields.size();
        AddField(path, std::string(p, keyEnd), std::string());
        const size_t headers = m_headers.size();
        if (next < n && StructurePart(line, at + next, false) && m_headers.size() == headers + 1) return true;
        // Not a label and its header: the line is one field, its value all after the '='.
        m_result.fields.resize(std::min(m_result.fields.size(), mark));
        while (m_headers.size() > headers) m_headers.pop_back();
        AddField(path, std::string(p, keyEnd), std::string(value));
        return true;
    } else if (value.substr(0, kValueOpen.size()) == kValueOpen) {
        const size_t close = value.rfind(kValueClose);
        if (close != string_view::npos && close > 0) to = from + close;
        from += kValueOpen.size();
    }
    AddField(path, std::string(p, keyEnd), std::string(p + from, to - from));
    if (!sent.empty() && !m_result.fields.empty() && !m_result.textClipped) m_result.fields.back().sent = std::move(sent);
    return true;
}

// The index of the last item of a list that opens in the structure at `path`, from the structure's
// count of items among the few fields just read before it; empty when it has none.
std::string CTraceReader::LastItemOf(int path) const {
    constexpr int kFieldsBeforeList = 8;
    int seen = 0;
    for (auto f = m_result.fields.rbegin(); f != m_result.fields.rend() && f->path == path && seen < kFieldsBeforeList;
         ++f, ++seen) {
        if (f->key != kNumItems) continue;
        char* end = nullptr;
        const long long count = strtoll(f->value.c_str(), &end, 10);
        return *end == '\0' && count > 0 && count < (1ll << 40) ? std::to_string(count - 1) : std::string();
    }
    return std::string();
}

void CTraceReader::AddField(int path, std::string key, std::string value) {
    if (!m_result.textClipped) m_result.fields.push_back({path, std::move(key), std::move(value)});
}

TraceCall& CTraceReader::BeginResult(const std::string& line) {
    if (!m_open.empty()) {
        m_result = std::move(m_open.back());
        m_open.pop_back();
    } else {
        m_result = TraceCall();
        m_result.firstLine = m_lineNo;
    }
    m_inResult = true;
    m_afterCut = false;
    m_headers.clear();
    m_lastItem.clear();
    m_result.resultLine = m_lineNo;
    Keep(m_result, line);
    return m_result;
}

void CTraceReader::EndResult() {
    m_inResult = false;
    m_lastItem.clear();
    m_afterCut = false;
    m_headers.clear();
    m_sink.OnCall(m_result);
}

// A line that says where the load runs. The first of them opens each load: a load that has shown
// anything ends there.
bool CTraceReader::Environment(const std::string& line) {
    const size_t from = kNoticeOpen.size();
    const size_t to = line.size() - kNoticeClose.size();
    const size_t separator = line.find(kEnvironmentSeparator, from);
    if (separator == std::string::npos || separator >= to) return false;
    const std::string key = line.substr(from, separator - from);
    bool known = false;
    for (const char* k : traceformat::kEnvironmentKeys) known = known || key == k;
    if (!known) return false;
    if (key == traceformat::kEnvironmentTracewell && m_loadShown) {
        EndLoad(m_lineNo - 1);
        StartLoad();
    }
    if (!m_loadOpen) StartLoad();
    m_loadShown = true;
    m_sink.OnNotice({NoticeKind::Environment, m_lineNo, Shown(line), key,
                     line.substr(separator + kEnvironmentSeparator.size(), to - separator - kEnvironmentSeparator.size())});
    return true;
}

void CTraceReader::StartLoad() {
    ++m_loadIndex;
    m_loadOpen = true;
    m_loadShown = false;
    m_lastSeq = 0;
    m_sink.OnLoadStart(m_file, m_lineNo, m_loadIndex);
}

void CTraceReader::EndLoad(long lastLine) {
    if (!m_loadOpen) return;
    if (m_inResult) {
        if (m_result.state < 0 && !m_result.cut && !(m_result.Failed() && m_result.markers)) {
            char text[160];
            snprintf(text, sizeof(text), "the result of %s ends before its status line: the trace was cut short",
                     m_result.seq >= 0 ? ("[" + std::to_string(m_result.seq) + "]").c_str() : "an event");
            m_sink.OnNotice({NoticeKind::FileCutShort, m_lineNo, text});
        }
        EndResult();
    }
    while (!m_open.empty()) {
        TraceCall call = std::move(m_open.back());
        m_open.pop_back();
        call.unfinished = true;
        constexpr size_t kMostNoticeText = 199;
        m_sink.OnNotice({NoticeKind::Unfinished, call.firstLine,
                         (RequestNumber(call.seq) + " " + call.Triplet() +
                          " has no result: the call had not returned when the trace ends")
                             .substr(0, kMostNoticeText)});
        m_sink.OnCall(call);
    }
    m_loadOpen = false;
    m_inLogger = false;
    m_timeExpected = false;
    m_sink.OnLoadEnd(lastLine);
}

void CTraceReader::Unparsed(const std::string& line) { m_sink.OnUnparsed(m_lineNo, Shown(line)); }

void CTraceReader::Keep(TraceCall& call, const std::string& line) {
    call.lastLine = m_lineNo;
    if (call.textClipped) return;
    if (!m_keepText) {
        // Without the text, the bound applies to what is kept of the structure.
        if (call.fields.size() > kMaxCallText / 8) call.textClipped = true;
        return;
    }
    if (call.text.size() + line.size() + 1 > kMaxCallText) {
        call.textClipped = true;
        return;
    }
    call.text += line;
    call.text += '\n';
}

bool ReadTraceFile(const std::string& path, TraceSink& sink, std::string* error, long* lines, bool keepText) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(fopen(path.c_str(), "rb"), fclose);
    if (file == nullptr) {
        *error = path + ": " + strerror(errno);
        return false;
    }
    CTraceReader reader(sink, path, keepText);
    std::unique_ptr<char[]> buffer(new char[1 << 18]);
    size_t n;
    while ((n = fread(buffer.get(), 1, 1 << 18, file.get())) > 0) reader.Feed(buffer.get(), n);
    if (ferror(file.get())) {
        *error = path + ": " + strerror(errno);
        reader.Finish();
        return false;
    }
    reader.Finish();
    if (lines != nullptr) *lines = reader.Lines();
    return true;
}

}  // namespace tracereport
