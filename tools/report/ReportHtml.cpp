// The report as one self-contained XHTML page: tables, the state timeline as inline SVG, and each
// call's text in a <details> element. The calls are written while the files are read again, so
// the page is never held in memory.
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>

#include "Check.h"
#include "Escape.h"
#include "Writers.h"

namespace tracereport {

namespace {

const char kStyle[] =
    "body{font-family:sans-serif;margin:1.5em;color:#222}"
    "table{border-collapse:collapse;margin:.5em 0 1em}"
    "td,th{border:1px solid #bbb;padding:2px 6px;text-align:left;vertical-align:top;font-size:90%}"
    "th{background:#eee}pre{margin:.3em 0 .6em 1.5em;font-size:85%}"
    "details summary{font-family:monospace;cursor:pointer}"
    ".failure{color:#b00}.note{color:#666}"
    "svg .state{fill:none;stroke:#0a5;stroke-width:2}"
    "svg .failure{stroke:#d00;stroke-width:2}svg .grid{stroke:#ddd;stroke-width:1}"
    "svg .finding-error{fill:#a0f}svg .finding-warning{fill:#e80}svg .finding-info{fill:#48c}"
    ".finding-error{color:#70b}.finding-warning{color:#a50}.finding-info{color:#357}";

std::string X(const std::string& s) { return XmlText(s); }

std::string SeqText(long long seq) { return seq < 0 ? "event" : RequestNumber(seq); }

std::string CallId(int load, long ordinal) { return "call-" + std::to_string(load) + "-" + std::to_string(ordinal); }

void Row(std::ostream& out, const std::vector<std::string>& cells, const char* tag = "td") {
    out << "<tr>";
    for (const std::string& c : cells) out << "<" << tag << ">" << c << "</" << tag << ">";
    out << "</tr>\n";
}

// The states against the call number: a step line through every change, with a red mark at each
// failure. The plot's own coordinates are (call number, state).
void Timeline(std::ostream& out, const LoadSummary& L, const tracecheck::LoadFindings* findings, int loadNo) {
    const long calls = std::max(1L, L.ordinals);
    const int left = 40, top = 10, width = 860, height = 160;
    out << "<svg xmlns=\"http://www.w3.org/2000/svg\" class=\"timeline\" id=\"timeline-" << loadNo
        << "\" width=\"" << left + width + 20 << "\" height=\"" << top + height + 40 << "\">\n";
    out << "<title>TWAIN state against call number</title>\n";
    for (int s = 1; s <= 7; ++s) {
        const double y = top + height - (s * height / 8.0);
        out << "<line class=\"grid\" x1=\"" << left << "\" y1=\"" << y << "\" x2=\"" << left + width << "\" y2=\"" << y
            << "\"/><text x=\"" << left - 16 << "\" y=\"" << y + 4 << "\" font-size=\"11\">" << s << "</text>\n";
    }
    out << "<text x=\"" << left << "\" y=\"" << top + height + 30 << "\" font-size=\"11\">call 1 to " << calls
        << ", in the order their results were written; state on the left</text>\n";
    out << "<svg class=\"plot\" x=\"" << left << "\" y=\"" << top << "\" width=\"" << width << "\" height=\"" << height
        << "\" viewBox=\"0 0 " << calls << " 8\" preserveAspectRatio=\"none\">\n"
        << "<g transform=\"translate(0 8) scale(1 -1)\">\n";
    if (!L.runs.empty()) {
        out << "<polyline class=\"state\" vector-effect=\"non-scaling-stroke\" points=\"";
        int previous = L.runs.front().state;
        out << L.runs.front().ordinal << "," << previous;
        for (size_t i = 1; i < L.runs.size(); ++i) {
            out << " " << L.runs[i].ordinal << "," << previous << " " << L.runs[i].ordinal << "," << L.runs[i].state;
            previous = L.runs[i].state;
        }
        out << " " << calls << "," << previous << "\"/>\n";
    }
    for (const FailureEntry& f : L.failureList) {
        out << "<line class=\"failure\" vector-effect=\"non-scaling-stroke\" x1=\"" << f.ordinal
            << "\" y1=\"0.3\" x2=\"" << f.ordinal << "\" y2=\"7.7\"><title>" << X(SeqText(f.seq) + " " + f.triplet)
            << "</title></line>\n";
    }
    out << "</g>\n</svg>\n";
    // A finding is a triangle above the plot at its call, coloured by its severity.
    if (findings != nullptr) {
        for (const tracecheck::Finding& f : findings->findings) {
            const double x = left + (f.ordinal - 0.5) * width / static_cast<double>(calls);
            out << "<polygon class=\"finding-" << tracecheck::SeverityName(f.rule->severity) << "\" points=\""
                << x - 4 << "," << top << " " << x + 4 << "," << top << " " << x << "," << top + 8 << "\"><title>"
                << X(tracecheck::FindingText(f)) << "</title></polygon>\n";
        }
    }
    out << "</svg>\n";
}

void LoadTables(std::ostream& out, const LoadSummary& L, const tracecheck::LoadFindings* findings, int loadNo) {
    out << "<section id=\"load-" << loadNo << "\">\n<h2>" << X(L.file) << ", load " << L.index << " (lines "
        << L.firstLine << " to " << L.lastLine << ")</h2>\n<table class=\"facts\">\n";
    Row(out, {"Application", X(DescribeApplication(L).empty() ? "not in the trace" : DescribeApplication(L))});
    Row(out, {"Source", X(Describe(L.source).empty() ? "not in the trace" : Describe(L.source))});
    for (const auto& fact : L.environment) Row(out, {X(fact.first), X(fact.second)});
    Row(out, {"Calls", std::to_string(L.calls) + " into the source (" + std::to_string(L.requests) + " requests, " +
                           std::to_string(L.events) + " events), " + std::to_string(L.sourceCalls) +
                           " from the source; " + std::to_string(L.unfinished) + " unfinished, " +
                           std::to_string(L.cut) + " cut"});
    Row(out, {"Failures", std::to_string(L.failures)});
    Row(out, {"Pages", std::to_string(L.pages)});
    Row(out, {"States", X(DescribeRuns(L))});
    out << "</table>\n<h3>State timeline</h3>\n";
    Timeline(out, L, findings, loadNo);

    out << "<h3>Findings (tracewell check)</h3>\n";
    if (findings == nullptr || findings->findings.empty()) {
        out << "<p>none</p>\n";
    } else {
        out << "<table class=\"findings\">\n";
        Row(out, {"call", "line", "rule", "severity", "party", "what", "rule broken"}, "th");
        for (const tracecheck::Finding& f : findings->findings)
            Row(out, {"<a href=\"#" + CallId(loadNo, f.ordinal) + "\">" + X(tracecheck::RequestText(f)) + "</a>",
                      std::to_string(f.line), X(f.rule->id),
                      std::string("<span class=\"finding-") + tracecheck::SeverityName(f.rule->severity) + "\">" +
                          tracecheck::SeverityName(f.rule->severity) + "</span>",
                      X(tracecheck::PartyName(f.rule->party)), X(f.call + ": " + f.what),
                      X(std::string(f.rule->title) + " (" + f.rule->reference + ")")});
        out << "</table>\n";
        if (findings->dropped > 0) out << "<p>... and " << findings->dropped << " more</p>\n";
    }

    out << "<h3>Failures</h3>\n";
    if (L.failureList.empty()) out << "<p>none</p>\n";
    else {
        out << "<table class=\"failures\">\n";
        Row(out, {"call", "triplet", "capability", "asked", "condition code"}, "th");
        for (const FailureEntry& f : L.failureList)
            Row(out, {"<a href=\"#" + CallId(loadNo, f.ordinal) + "\">" + X(SeqText(f.seq)) + "</a>", X(f.triplet),
                      X(f.cap), X(f.asked), X(f.conditionCode)});
        out << "</table>\n";
    }
    out << "<h3>Capabilities</h3>\n";
    if (L.capabilities.empty()) out << "<p>none</p>\n";
    else {
        out << "<table class=\"capabilities\">\n";
        Row(out, {"capability", "set", "refused", "current", "default", "allowed"}, "th");
        for (const CapabilityEntry& c : L.capabilities)
            Row(out, {X(c.name), X(c.set), X(c.refused), X(c.current), X(c.defaultValue), X(c.allowed)});
        out << "</table>\n";
    }
    out << "<h3>Transfers</h3>\n";
    if (L.images.empty()) out << "<p>none</p>\n";
    else {
        out << "<table class=\"transfers\">\n";
        Row(out, {"pages", "mode", "width", "length", "pixel type", "resolution", "bits per pixel", "compression"},
            "th");
        for (const ImageEntry& i : L.images)
            Row(out, {std::to_string(i.count), X(i.mode), X(i.width), X(i.length), X(i.pixelType),
                      X(i.xResolution.empty() ? "" : i.xResolution + " x " + i.yResolution), X(i.bitsPerPixel),
                      X(i.compression)});
        out << "</table>\n";
    }
    out << "<h3>Timing</h3>\n";
    if (!L.timing) out << "<p>none (the trace has no timing lines)</p>\n";
    else {
        out << "<table class=\"slowest\">\n";
        Row(out, {"slowest call", "took"}, "th");
        for (const TimedCall& t : L.slowest) Row(out, {X(SeqText(t.seq) + " " + t.triplet), X(Duration(t.ms))});
        out << "</table>\n<table class=\"gaps\">\n";
        Row(out, {"gap between", "length"}, "th");
        for (const Gap& g : L.gaps) Row(out, {X(SeqText(g.afterSeq) + " and " + SeqText(g.beforeSeq)), X(Duration(g.ms))});
        out << "</table>\n";
    }
    out << "<h3>Notices and lines that are not trace text</h3>\n<ul class=\"note\">\n";
    for (const Notice& n : L.notices)
        out << "<li>line " << n.line << " (" << NoticeKindName(n.kind) << "): " << X(n.text) << "</li>\n";
    for (const LineRange& r : L.unparsed)
        out << "<li>line " << r.first << (r.last != r.first ? " to " + std::to_string(r.last) : "")
            << " is not trace text: " << X(r.text) << "</li>\n";
    out << "<li>" << L.unparsedLines << " lines that are not trace text in all</li>\n</ul>\n<h3>Calls</h3>\n";
}

// The second reading: each load's tables, then its calls one by one.
class CHtmlCalls : public TraceSink {
public:
    CHtmlCalls(std::ostream& out, const std::vector<LoadSummary>& loads,
               const std::vector<tracecheck::LoadFindings>& findings, int* loadNo)
        : m_out(out), m_loads(loads), m_findings(findings), m_loadNo(loadNo) {}

    void OnLoadStart(const std::string&, long, int) override {
        ++*m_loadNo;
        m_ordinal = 0;
        m_inLoad = static_cast<size_t>(*m_loadNo) <= m_loads.size();
        const size_t at = static_cast<size_t>(*m_loadNo) - 1;
        const tracecheck::LoadFindings* findings = at < m_findings.size() ? &m_findings[at] : nullptr;
        m_marks.clear();
        if (findings != nullptr) {
            for (const tracecheck::Finding& f : findings->findings) {
                auto inserted = m_marks.emplace(f.ordinal, Mark{"", f.rule->severity});
                Mark& mark = inserted.first->second;
                mark.ids += std::string(mark.ids.empty() ? "" : ", ") + f.rule->id;
                if (f.rule->severity < mark.worst) mark.worst = f.rule->severity;
            }
        }
        if (m_inLoad) LoadTables(m_out, m_loads[at], findings, *m_loadNo);
    }
    void OnCall(const TraceCall& call) override {
        ++m_ordinal;
        if (!m_inLoad) return;
        std::string head = SeqText(call.seq) + (call.caller.empty() ? "" : " " + CallerTag(call.caller)) + " " +
                           WithCapability(call.seq < 0 ? std::string("event") : call.Triplet(), call.cap);
        if (!call.rc.empty()) head += " \xe2\x86\x92 " + call.rc;  // →
        if (call.state >= 0) head += ", state " + std::to_string(call.state);
        if (call.unfinished) head += ", no result";
        if (call.cut) head += ", cut";
        const auto mark = m_marks.find(m_ordinal);
        std::string findings;
        if (mark != m_marks.end())
            findings = std::string(" \xe2\x80\x94 <span class=\"finding-") +  // —
                       tracecheck::SeverityName(mark->second.worst) + "\">" + X(mark->second.ids) + "</span>";
        m_out << "<details id=\"" << CallId(*m_loadNo, m_ordinal) << "\"" << (call.Failed() ? " class=\"failure\"" : "")
              << "><summary>" << X(head) << findings << "</summary><pre>" << X(call.text)
              << (call.textClipped ? "(longer text not kept)\n" : "") << "</pre></details>\n";
    }
    void OnNotice(const Notice&) override {}
    void OnUnparsed(long, const std::string&) override {}
    void OnLoadEnd(long) override {
        if (m_inLoad) m_out << "</section>\n";
    }

private:
    std::ostream& m_out;
    const std::vector<LoadSummary>& m_loads;
    const std::vector<tracecheck::LoadFindings>& m_findings;
    struct Mark {
        std::string ids;              // the identifiers of the findings at a call
        tracecheck::Severity worst;   // the most severe of them (Error is the least value)
    };
    std::map<long, Mark> m_marks;
    int* m_loadNo;
    long m_ordinal = 0;
    bool m_inLoad = false;
};

}  // namespace

bool WriteHtml(const std::vector<FileResult>& files, const std::vector<LoadSummary>& loads,
               const std::vector<tracecheck::LoadFindings>& findings, const std::string& path, std::string* error) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    if (!out) {
        *error = "cannot write the page " + path;
        return false;
    }
    out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
        << "<html xmlns=\"http://www.w3.org/1999/xhtml\" lang=\"en\">\n<head>\n<meta charset=\"UTF-8\"/>\n"
        << "<title>Tracewell report</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n"
        << "<h1>Tracewell report</h1>\n<table class=\"files\">\n";
    Row(out, {"file", "lines", "loads", "calls", "read"}, "th");
    for (const FileResult& f : files)
        Row(out, {X(f.path), std::to_string(f.lines), std::to_string(f.loads), std::to_string(f.calls),
                  f.read ? (f.calls == 0 ? "no TWAIN call: not a trace" : "yes") : X(f.error)});
    out << "</table>\n";
    int loadNo = 0;
    for (const FileResult& f : files) {
        if (!f.read) continue;
        CHtmlCalls calls(out, loads, findings, &loadNo);
        std::string ignored;
        ReadTraceFile(f.path, calls, &ignored);
    }
    out << "</body>\n</html>\n";
    out.flush();
    if (!out) {
        *error = "cannot write the page " + path;
        return false;
    }
    return true;
}

}  // namespace tracereport
