// The streaming reader of trace files: line classification and the assembly of calls.
#include "TraceReader.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace tracereport {

namespace {

constexpr char kCutNotice[] = "Size of CAP_xxx too long";
constexpr char kMarkerStart[] = "*** Inspect Error Status Start ***";
constexpr char kMarkerEnd[] = "*** Inspect Error Status End   ***";
constexpr size_t kShownLength = 120;

bool StartsWith(const std::string& s, const char* prefix, size_t from = 0) {
    const size_t n = strlen(prefix);
    return s.size() >= from + n && s.compare(from, n, prefix) == 0;
}

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = strlen(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
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

// The text between "[" at `open` and the last "]" of the line.
std::string Bracketed(const std::string& s, size_t open) {
    const size_t close = s.rfind(']');
    if (close == std::string::npos || close <= open) return s.substr(open + 1);
    return s.substr(open + 1, close - open - 1);
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
    static const char kShape[] = "[dddd/dd/dd dd:dd:dd.ddd";
    if (s.size() < sizeof(kShape)) return false;
    for (size_t i = 0; i + 1 < sizeof(kShape); ++i) {
        if (kShape[i] == 'd' ? !IsDigit(s[i]) : s[i] != kShape[i]) return false;
    }
    size_t i = sizeof(kShape) - 1;
    if (i < s.size() && IsDigit(s[i])) ++i;  // a millisecond value of 1000
    return StartsWith(s, "] ", i) && s.find(" from \"", i) != std::string::npos;
}

}  // namespace

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
    if (m_inLogger && m_sawCr && !hadCr && !line.empty() && line[0] != '[' && !StartsWith(line, "***")) {
        m_sink.OnNotice({NoticeKind::Logger, m_lineNo, Shown(line)});
        return;
    }
    m_inLogger = false;

    const size_t cut = line.find(kCutNotice);
    if (cut != std::string::npos) {
        const std::string before = line.substr(0, cut);
        const std::string after = line.substr(cut + sizeof(kCutNotice) - 1);
        if (m_inResult) {
            if (!before.empty()) Keep(m_result, before);
            Keep(m_result, kCutNotice);
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

    if (line.size() > 2 && line[0] == '[' && IsDigit(line[1])) {
        size_t i = 1;
        while (i < line.size() && IsDigit(line[i])) ++i;
        if (i - 1 >= 5 && i - 1 <= 18 && StartsWith(line, "] [", i)) {
            if (Request(line, strtoll(line.c_str() + 1, nullptr, 10), i + 3)) return;
        }
        if (IsLoggerLine(line)) {
            m_sink.OnNotice({NoticeKind::Logger, m_lineNo, Shown(line)});
            m_inLogger = true;
            return;
        }
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
    if (line.size() >= 6 && StartsWith(line, "***") && EndsWith(line, "***")) {
        m_sink.OnNotice({NoticeKind::Marker, m_lineNo, Shown(line)});
        return;
    }
    if (StartsWith(line, "TWAIN Status = [") && EndsWith(line, "]")) {
        const std::string value = Bracketed(line, 15);
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

    const size_t at = FirstNonBlank(line);
    if (StartsWith(line, "Time = [", at) && timeExpected && !m_open.empty()) {
        m_open.back().time = Bracketed(line, at + 7);
        Keep(m_open.back(), line);
        return;
    }
    if (StartsWith(line, "Took = [", at) && EndsWith(line, " ms]")) {
        if (m_inResult) EndResult();
        TraceCall& call = BeginResult(line);
        call.tookMs = strtod(line.c_str() + at + 8, nullptr);
        if (!(call.tookMs >= 0 && call.tookMs < 1e12)) call.tookMs = -1;  // "nan", "inf", negative: no time
        return;
    }
    if (StartsWith(line, "Return Code = [", at)) {
        if (m_inResult && (!m_result.rc.empty() || m_afterCut)) EndResult();
        if (m_inResult)
            Keep(m_result, line);
        else
            BeginResult(line);
        m_result.rc = Bracketed(line, at + 14);
        if (m_result.rc.empty()) m_result.rc = "?";
        return;
    }
    if (m_inResult && !m_afterCut) {
        if (line.empty()) {
            Keep(m_result, line);
            return;
        }
        if (StartsWith(line, "pData", at) && line.find('=') != std::string::npos) {
            m_result.pData = TrimRight(line.substr(line.find('=') + 1));
            if (!m_result.pData.empty() && m_result.pData[0] == ' ') m_result.pData.erase(0, 1);
            Keep(m_result, line);
            return;
        }
        if (StructureLine(line)) return;
    }
    if ((line.size() == 48 && line.find_first_not_of('/') == std::string::npos) ||
        StartsWith(line, "TWAIN Tracewell Ver", at) || StartsWith(line, "<< Current time = ", at)) {
        m_sink.OnNotice({NoticeKind::Banner, m_lineNo, Shown(line)});
        return;
    }
    Unparsed(line);
}

bool CTraceReader::Request(const std::string& line, long long seq, size_t tagStart) {
    const size_t tagEnd = line.find("] ", tagStart);
    if (tagEnd == std::string::npos) return false;
    const size_t tripletEnd = line.find(' ', tagEnd + 2);
    const std::string triplet = line.substr(tagEnd + 2, tripletEnd == std::string::npos ? std::string::npos
                                                                                       : tripletEnd - tagEnd - 2);
    std::string cap;
    if (tripletEnd != std::string::npos) {
        const std::string rest = line.substr(tripletEnd + 1);
        if (rest.size() < 2 || rest[0] != '(' || rest.back() != ')') return false;
        cap = rest.substr(1, rest.size() - 2);
    }
    const size_t slash1 = triplet.find('/');
    const size_t slash2 = slash1 == std::string::npos ? slash1 : triplet.find('/', slash1 + 1);
    if (slash2 == std::string::npos || triplet.find('/', slash2 + 1) != std::string::npos) return false;
    TraceCall call;
    call.dg = triplet.substr(0, slash1);
    call.dat = triplet.substr(slash1 + 1, slash2 - slash1 - 1);
    call.msg = triplet.substr(slash2 + 1);
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
        char text[160];
        if (m_lastSeq == 0)
            snprintf(text, sizeof(text), "the load's first call is [%05lld]: its start is not in this file", seq);
        else
            snprintf(text, sizeof(text), "calls [%05lld] to [%05lld] are missing", m_lastSeq + 1, seq - 1);
        m_sink.OnNotice({NoticeKind::SequenceGap, m_lineNo, text});
    }
    m_lastSeq = seq;
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
    const size_t at = FirstNonBlank(line);
    const char* p = line.c_str() + at;
    const size_t n = line.size() - at;
    const int path = m_headers.empty() ? 0 : m_headers.back();
    if (n == 1 && p[0] == '}') {
        if (!m_headers.empty()) m_headers.pop_back();
        Keep(m_result, line);
        return true;
    }
    size_t i = 0;
    while (i < n && IsDigit(p[i])) ++i;
    if (i > 0 && i < n && p[i] == ':') {
        const size_t end = p[n - 1] == ',' ? n - 1 : n;
        if (!m_result.textClipped) m_result.fields.push_back({path, std::string(p, i), std::string(p + i + 1, end - i - 1)});
        Keep(m_result, line);
        return true;
    }
    const char* eq = static_cast<const char*>(memchr(p, '=', n));
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
    if (to - from == 1 && p[from] == '{') {
        if (m_headers.size() < 32 && !m_result.textClipped) {
            const std::string& outer = m_result.paths[static_cast<size_t>(path)];
            m_result.paths.push_back(outer.empty() ? std::string(p, keyEnd) : outer + "/" + std::string(p, keyEnd));
            m_headers.push_back(static_cast<int>(m_result.paths.size()) - 1);
        }
        Keep(m_result, line);
        return true;
    }
    if (to - from >= 2 && p[from] == '{' && p[to - 1] == '}') {
        ++from, --to;
    } else if (to > from && p[from] == '[') {
        size_t close = to;
        while (close > from + 1 && p[close - 1] != ']') --close;
        if (close > from + 1) to = close - 1;
        ++from;
    }
    if (!m_result.textClipped) m_result.fields.push_back({path, std::string(p, keyEnd), std::string(p + from, to - from)});
    Keep(m_result, line);
    return true;
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
    m_result.resultLine = m_lineNo;
    Keep(m_result, line);
    return m_result;
}

void CTraceReader::EndResult() {
    m_inResult = false;
    m_afterCut = false;
    m_headers.clear();
    m_sink.OnCall(m_result);
}

void CTraceReader::StartLoad() {
    ++m_loadIndex;
    m_loadOpen = true;
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
        char text[200];
        snprintf(text, sizeof(text), "[%05lld] %s has no result: the call had not returned when the trace ends",
                 call.seq, call.Triplet().c_str());
        m_sink.OnNotice({NoticeKind::Unfinished, call.firstLine, text});
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
