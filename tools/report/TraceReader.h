// The streaming reader of trace files: turns the lines Tracewell writes into whole calls, loads,
// notices and unreadable lines, holding no more than the calls still open.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace tracereport {

// One line of a structure rendering: "TW_CAPABILITY/TW_ENUMERATION/ItemList" "2" "TWPT_RGB".
struct Field {
    int path;           // in TraceCall::paths: the enclosing structure headers joined by '/'
    std::string key;    // the field name, or the index of an item list line
    std::string value;  // between the brackets when bracketed, else the text after '='
    std::string sent = {};  // what the application had sent, where the source changed it
};

// One traced call: its request line (none for an event the application passed in), the timing
// lines and its result section.
struct TraceCall {
    long long seq = -1;  // -1: an event's result section, which has no request line
    std::string caller;  // "APP", "DS", ... ; empty for an event
    std::string dg, dat, msg, cap;
    long firstLine = 0;  // the request line, or the first line of an event's result
    long resultLine = 0; // the first line of the result section; 0 when there is none
    long lastLine = 0;
    int depth = 0;       // 1 for a call made while another was still open, and so on
    std::string time;    // "22:43:54.816123" when the trace has timing lines
    std::string thread;  // the thread that made the call, where the time line names it
    double tookMs = -1;  // from "Took = [0.120 ms]"; -1 when absent
    std::string rc;      // the return code's name as printed; empty when no result section
    std::string pData;
    int state = -1;      // from the status line; -1 when the call shows none
    bool markers = false;      // followed by the error status markers
    bool cut = false;          // its text was cut and followed by the cut notice
    bool unfinished = false;   // no result section before the load or the file ended
    bool textClipped = false;  // longer than the reader keeps (only possible in a damaged file)
    std::vector<Field> fields;
    std::vector<std::string> paths{std::string()};
    std::string text;    // the call's lines as written, each ending in "\n" (when the reader keeps them)

    const std::string& PathOf(const Field& f) const { return paths[static_cast<size_t>(f.path)]; }

    // "DG_CONTROL/DAT_IDENTITY/MSG_OPENDS", as the request line shows it.
    std::string Triplet() const;
    // A message the source sent the application: the request line's tag is the source's.
    bool FromSource() const;
    bool Failed() const { return rc == "TWRC_FAILURE"; }
    // The value of the first field whose path ends in `pathSuffix` and whose key is `key`.
    const Field* Find(const std::string& pathSuffix, const std::string& key) const;
};

enum class NoticeKind {
    Logger,        // a line of the leveled logger (its continuation lines are part of it)
    Marker,        // a "*** ... ***" line other than the error status markers
    Banner,        // the trace banner
    SequenceGap,   // request numbers skipped
    Unfinished,    // a call with no result section
    FileCutShort,  // the file ends inside a call or without a line end
    StrayMarker,   // error status markers with no failed call before them
    Environment,   // a line saying where the load runs: "*** Process: 4242 /usr/bin/app ***"
};

struct Notice {
    Notice(NoticeKind k, long l, std::string t, std::string environmentKey = {}, std::string environmentValue = {})
        : kind(k), line(l), text(std::move(t)), key(std::move(environmentKey)), value(std::move(environmentValue)) {}
    NoticeKind kind;
    long line;
    std::string text;
    std::string key, value;  // of an Environment line: "Process", "4242 /usr/bin/app"
};

// What the reader hands on, in file order.
class TraceSink {
public:
    virtual ~TraceSink() = default;
    // A new load: at the start of each file, and where the request numbers start again.
    virtual void OnLoadStart(const std::string& file, long line, int loadIndex) = 0;
    virtual void OnCall(const TraceCall& call) = 0;
    virtual void OnNotice(const Notice& notice) = 0;
    // A line that is not trace text; `text` is the line, shortened for display.
    virtual void OnUnparsed(long line, const std::string& text) = 0;
    virtual void OnLoadEnd(long lastLine) = 0;
};

class CTraceReader {
public:
    // Longest line kept whole; the rest of a longer line is not held.
    static constexpr size_t kMaxLine = 64 * 1024;
    // Most text kept per call (a written call is at most 5120 bytes plus its notice).
    static constexpr size_t kMaxCallText = 32 * 1024;
    static constexpr size_t kMaxOpenCalls = 64;

    // `keepText`: hand on each call's text as well (the page shows it; the summary needs none).
    CTraceReader(TraceSink& sink, const std::string& file, bool keepText = true);
    void Feed(const char* data, size_t size);
    // Ends the file: the last line without a line end, calls still open, the load.
    void Finish();

    long Lines() const { return m_lineNo; }

private:
    void TakeLine(std::string& line);
    void Classify(const std::string& line, bool hadCr);
    bool Request(const std::string& line, long long seq, size_t tagStart);
    bool StructureLine(const std::string& line);
    bool StructurePart(const std::string& line, size_t at, bool labelled);
    void AddField(int path, std::string key, std::string value);
    std::string LastItemOf(int path) const;
    TraceCall& BeginResult(const std::string& line);
    void EndResult();
    void EndLoad(long lastLine);
    void StartLoad();
    void Unparsed(const std::string& line);
    bool Environment(const std::string& line);
    void Keep(TraceCall& call, const std::string& line);

    TraceSink& m_sink;
    std::string m_file;
    std::string m_pending;  // bytes of a line not yet ended
    bool m_pendingOverlong = false;
    long m_lineNo = 0;
    int m_loadIndex = 0;
    bool m_loadOpen = false;
    bool m_loadShown = false;  // the open load has shown a call or a line of where it runs
    long long m_lastSeq = 0;
    std::vector<TraceCall> m_open;  // calls whose request line was read and whose result was not
    TraceCall m_result;             // the call whose result section is being read
    bool m_inResult = false;
    bool m_afterCut = false;        // the result section was cut: only markers may follow
    bool m_timeExpected = false;    // the last line was a request line
    bool m_inLogger = false;        // continuation lines of a logger message may follow
    bool m_sawCr = false;           // some line ended in "\r\n"
    std::vector<int> m_headers;  // open structure headers of the result section, as paths
    std::string m_lastItem;       // the index of the last item of the list last opened; empty: not known
    bool m_keepText;
};

// A request number as the request line shows it: "[00042]"; RequestDigits gives "00042".
std::string RequestNumber(long long seq);
std::string RequestDigits(long long seq);
// A caller's tag as the request line shows it: "[APP]"; SourceTag gives the source's, "[DS]",
// whose caller is SourceTagName(), "DS".
std::string CallerTag(const std::string& caller);
std::string SourceTag();
const char* SourceTagName();
// A triplet with the capability it names, as the request line shows it: "... (ICAP_XRESOLUTION)".
std::string WithCapability(const std::string& triplet, const std::string& cap);

// A line made printable and short enough to show: other bytes as \xNN.
std::string Shown(const std::string& line);

// Reads a whole file through a reader; false with a reason when it cannot be opened or read.
bool ReadTraceFile(const std::string& path, TraceSink& sink, std::string* error, long* lines = nullptr,
                   bool keepText = true);

}  // namespace tracereport
