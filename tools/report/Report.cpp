// `tracewell report`: its arguments, and the text and JSON forms of the report.
#include "Report.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <iostream>
#include <memory>

#include "Check.h"
#include "Escape.h"
#include "Writers.h"

namespace tracereport {

namespace {

constexpr int kUsage = 2;
constexpr int kFailed = 1;

const char kReportHelp[] =
    "Usage: tracewell report [--json] [--html OUT.html] TRACE...\n\n"
    "Reads trace files and tells, for each load found in them: the application and the source, the\n"
    "calls per triplet, the state timeline, every failure with the condition code that followed it,\n"
    "the capabilities touched, the transfers, and with timing lines the slowest calls and the\n"
    "longest gaps. Lines that are not trace text are listed with their line numbers. The findings\n"
    "of `tracewell check` (rules of the standard broken, and by whom) come with each load.\n\n"
    "  --json          one JSON document on standard output instead of the text\n"
    "  --html OUT      also write one self-contained page: the state timeline as a picture, the\n"
    "                  tables, and each call's text\n"
    "  --help          this text\n\n"
    "Exit status: 0 when every file was read and holds calls, 1 when one cannot be read or holds no\n"
    "call, 2 on a bad argument.\n";

std::string SeqText(long long seq) { return seq < 0 ? "event" : RequestNumber(seq); }

std::string Cell(const std::string& text, size_t width) {
    std::string out = text.size() > width ? text.substr(0, width - 3) + "..." : text;
    // Count code points, not bytes, for the padding.
    size_t shown = 0;
    for (unsigned char c : out) shown += (c & 0xC0) != 0x80;
    return out + std::string(width > shown ? width - shown : 0, ' ');
}

void Table(std::ostream& out, const std::vector<std::vector<std::string>>& rows, size_t most = 48) {
    std::vector<size_t> widths;
    for (const auto& row : rows) {
        widths.resize(std::max(widths.size(), row.size()), 0);
        for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], std::min(most, row[i].size()));
    }
    for (const auto& row : rows) {
        std::string line = "    ";
        for (size_t i = 0; i < row.size(); ++i) line += i + 1 < row.size() ? Cell(row[i], widths[i]) + "  " : row[i];
        while (!line.empty() && line.back() == ' ') line.pop_back();
        out << line << "\n";
    }
}

std::string Or(const std::string& value, const char* otherwise) { return value.empty() ? otherwise : value; }

tracecheck::Counts CountFindings(const tracecheck::LoadFindings& findings) {
    tracecheck::Counts counts;
    for (const tracecheck::Finding& f : findings.findings) counts.Add(f);
    return counts;
}

// The reader's events to the summary and to the checker; the checker's findings of a load are
// there when the summary hands the load over.
class CSummaryAndCheck : public TraceSink {
public:
    explicit CSummaryAndCheck(std::function<void(LoadSummary&, tracecheck::LoadFindings&)> onLoad)
        : m_summary([this](LoadSummary& load) { m_onLoad(load, m_findings); }),
          m_checker([this](tracecheck::LoadFindings& findings) { m_findings = std::move(findings); }),
          m_onLoad(std::move(onLoad)) {}

    void OnLoadStart(const std::string& file, long line, int loadIndex) override {
        m_summary.OnLoadStart(file, line, loadIndex);
        m_checker.OnLoadStart(file, line, loadIndex);
    }
    void OnCall(const TraceCall& call) override {
        m_summary.OnCall(call);
        m_checker.OnCall(call);
    }
    void OnNotice(const Notice& notice) override {
        m_summary.OnNotice(notice);
        m_checker.OnNotice(notice);
    }
    void OnUnparsed(long line, const std::string& text) override {
        m_summary.OnUnparsed(line, text);
        m_checker.OnUnparsed(line, text);
    }
    void OnLoadEnd(long lastLine) override {
        m_checker.OnLoadEnd(lastLine);
        m_summary.OnLoadEnd(lastLine);
    }

private:
    CSummaryBuilder m_summary;
    tracecheck::CChecker m_checker;
    tracecheck::LoadFindings m_findings;
    std::function<void(LoadSummary&, tracecheck::LoadFindings&)> m_onLoad;
};

}  // namespace

std::string Duration(double ms) {
    char text[64];
    if (ms < 1000)
        snprintf(text, sizeof(text), "%.3f ms", ms);
    else if (ms < 60000)
        snprintf(text, sizeof(text), "%.3f s", ms / 1000);
    else
        snprintf(text, sizeof(text), "%ld min %.1f s", static_cast<long>(ms / 60000), (ms - 60000 * static_cast<long>(ms / 60000)) / 1000);
    return text;
}

void WriteTextLoad(const LoadSummary& L, std::ostream& out, const tracecheck::LoadFindings* findings) {
    out << L.file << ", load " << L.index << " (lines " << L.firstLine << " to " << L.lastLine << ")\n";
    out << "  Application: " << Or(DescribeApplication(L), "not in the trace") << "\n";
    out << "  Source:      " << Or(Describe(L.source), "not in the trace") << "\n";
    if (!L.environment.empty()) {
        out << "  Ran where:\n";
        for (const auto& fact : L.environment) out << "    " << fact.first << ": " << fact.second << "\n";
    }
    out << "  Calls:       " << L.calls << " into the source (" << L.requests << " requests, " << L.events
        << (L.events == 1 ? " event), " : " events), ") << L.sourceCalls << " from the source";
    if (L.firstSeq >= 0) out << "; requests " << SeqText(L.firstSeq) << " to " << SeqText(L.lastSeq);
    out << "\n";
    if (L.unfinished > 0) out << "  Unfinished:  " << L.unfinished << " (no result in the trace)\n";
    if (L.cut > 0) out << "  Cut:         " << L.cut << " (text longer than 5120 bytes)\n";
    out << "  Failures:    " << L.failures << "\n";
    out << "  Pages:       " << L.pages;
    for (const auto& m : L.pagesByMode) out << (m.first == L.pagesByMode.begin()->first ? " (" : ", ") << m.first << " " << m.second;
    out << (L.pagesByMode.empty() ? "" : ")") << "\n";
    out << "  States:      " << Or(DescribeRuns(L), "none shown") << "\n";
    if (findings != nullptr) out << "  Findings:    " << tracecheck::CountsText(CountFindings(*findings)) << "\n";

    out << "\n  Calls per triplet\n";
    std::vector<std::pair<std::string, long>> triplets(L.triplets.begin(), L.triplets.end());
    std::stable_sort(triplets.begin(), triplets.end(), [](const auto& a, const auto& b) { return a.second > b.second; });
    std::vector<std::vector<std::string>> rows;
    for (const auto& t : triplets) rows.push_back({std::to_string(t.second), t.first});
    if (L.otherTriplets > 0) rows.push_back({std::to_string(L.otherTriplets), "(other triplets)"});
    if (rows.empty()) out << "    none\n";
    Table(out, rows, 80);

    out << "\n  Failures\n";
    rows.clear();
    for (const FailureEntry& f : L.failureList) {
        rows.push_back({SeqText(f.seq), "line " + std::to_string(f.line),
                        (f.caller == SourceTagName() ? SourceTag() + " " : "") + WithCapability(f.triplet, f.cap),
                        f.triplet.find("MSG_SET") != std::string::npos ? "asked " + Or(f.asked, "(not shown)") : "",
                        "condition " + Or(f.conditionCode, "(not asked)")});
    }
    if (rows.empty()) out << "    none\n";
    Table(out, rows, 80);
    if (L.failures > static_cast<long>(L.failureList.size()))
        out << "    ... and " << L.failures - static_cast<long>(L.failureList.size()) << " more\n";

    if (findings != nullptr) {
        out << "\n  Findings (tracewell check)\n";
        if (findings->findings.empty()) out << "    none\n";
        for (const tracecheck::Finding& f : findings->findings)
            out << "    line " << f.line << ": " << tracecheck::FindingText(f) << "\n";
        if (findings->dropped > 0) out << "    ... and " << findings->dropped << " more\n";
    }

    out << "\n  Capabilities\n";
    rows = {{"capability", "set", "refused", "current", "default", "allowed"}};
    for (const CapabilityEntry& c : L.capabilities)
        rows.push_back({c.name, Or(c.set, "-"), Or(c.refused, "-"), Or(c.current, "-"), Or(c.defaultValue, "-"),
                        Or(c.allowed, "-")});
    if (rows.size() == 1)
        out << "    none\n";
    else
        Table(out, rows, 40);
    if (L.capabilitiesDropped > 0) out << "    ... and calls on " << L.capabilitiesDropped << " more\n";

    out << "\n  Transfers\n";
    rows.clear();
    for (const ImageEntry& i : L.images)
        rows.push_back({std::to_string(i.count) + " x", i.mode,
                        i.width.empty() ? "no image information" : i.width + " x " + i.length + " pixels",
                        Or(i.pixelType, "-"), i.xResolution.empty() ? "-" : i.xResolution + " x " + i.yResolution + " dpi",
                        i.bitsPerPixel.empty() ? "-" : i.bitsPerPixel + " bits", Or(i.compression, "-")});
    if (rows.empty()) out << "    none\n";
    Table(out, rows, 40);

    out << "\n  Timing\n";
    if (!L.timing) {
        out << "    none (the trace has no timing lines)\n";
    } else {
        out << "    slowest calls:\n";
        rows.clear();
        for (const TimedCall& t : L.slowest) rows.push_back({"  " + Duration(t.ms), SeqText(t.seq), t.triplet});
        Table(out, rows, 80);
        out << "    longest gaps between calls:\n";
        rows.clear();
        for (const Gap& g : L.gaps)
            rows.push_back({"  " + Duration(g.ms), "after " + SeqText(g.afterSeq), "before " + SeqText(g.beforeSeq)});
        if (rows.empty()) out << "      none\n";
        Table(out, rows, 80);
    }

    long notices = 0;
    for (const auto& n : L.noticeCounts) notices += n.second;
    out << "\n  Notices: " << notices;
    for (const auto& n : L.noticeCounts)
        out << (n.first == L.noticeCounts.begin()->first ? " (" : ", ") << NoticeKindName(n.first) << " " << n.second;
    out << (L.noticeCounts.empty() ? "" : ")") << "\n";
    for (const Notice& n : L.notices) out << "    line " << n.line << ": " << n.text << "\n";
    if (L.noticesDropped > 0) out << "    ... and " << L.noticesDropped << " more\n";

    out << "\n  Lines that are not trace text: " << L.unparsedLines << "\n";
    for (const LineRange& r : L.unparsed) {
        out << "    line " << r.first;
        if (r.last != r.first) out << " to " << r.last;
        out << ": " << r.text << "\n";
    }
    if (L.unparsedRangesDropped > 0) out << "    ... and " << L.unparsedRangesDropped << " more ranges\n";
    out << "\n";
}

void WriteTextFile(const FileResult& f, std::ostream& out) {
    if (!f.read) {
        out << f.path << ": cannot be read: " << f.error << "\n";
        return;
    }
    out << f.path << ": " << f.lines << " lines, " << f.loads << (f.loads == 1 ? " load, " : " loads, ") << f.calls
        << " calls";
    if (f.calls == 0) out << ": no TWAIN call found, this is not a trace";
    out << "\n";
}

namespace {

std::string J(const std::string& s) { return JsonString(s); }
std::string JSeq(long long seq) { return seq < 0 ? "null" : std::to_string(seq); }

}  // namespace

void WriteJsonLoad(const LoadSummary& L, std::ostream& out, const tracecheck::LoadFindings* findings) {
    auto identity = [&](const Identity& id) {
        if (!id.Known()) return std::string("null");
        return "{\"productName\":" + J(id.productName) + ",\"manufacturer\":" + J(id.manufacturer) +
               ",\"productFamily\":" + J(id.family) + ",\"version\":" + J(id.version) + ",\"info\":" + J(id.info) +
               ",\"protocol\":" + J(id.protocol) + "}";
    };
    out << "{\"file\":" << J(L.file) << ",\"load\":" << L.index << ",\"firstLine\":" << L.firstLine
        << ",\"lastLine\":" << L.lastLine << ",\"application\":" << identity(L.application)
        << ",\"source\":" << identity(L.source) << ",\"environment\":{";
    for (size_t i = 0; i < L.environment.size(); ++i)
        out << (i == 0 ? "" : ",") << J(L.environment[i].first) << ":" << J(L.environment[i].second);
    out << "},\"calls\":{\"intoSource\":" << L.calls
        << ",\"requests\":" << L.requests << ",\"events\":" << L.events << ",\"fromSource\":" << L.sourceCalls
        << ",\"unfinished\":" << L.unfinished << ",\"cut\":" << L.cut << ",\"firstRequest\":" << JSeq(L.firstSeq)
        << ",\"lastRequest\":" << JSeq(L.lastSeq) << "},\"failures\":" << L.failures << ",\"pages\":" << L.pages;
    out << ",\"triplets\":{";
    bool first = true;
    for (const auto& t : L.triplets) out << (first ? "" : ",") << J(t.first) << ":" << t.second, first = false;
    out << "},\"otherTriplets\":" << L.otherTriplets;
    out << ",\"states\":[";
    first = true;
    for (const StateRun& r : L.runs) {
        out << (first ? "" : ",") << "{\"state\":" << r.state << ",\"call\":" << r.ordinal
            << ",\"request\":" << JSeq(r.seq) << ",\"eventAfter\":" << JSeq(r.afterSeq) << "}";
        first = false;
    }
    out << "],\"statesDropped\":" << L.runsDropped << ",\"stateTimeline\":" << J(DescribeRuns(L));
    out << ",\"failureList\":[";
    first = true;
    for (const FailureEntry& f : L.failureList) {
        out << (first ? "" : ",") << "{\"request\":" << JSeq(f.seq) << ",\"call\":" << f.ordinal << ",\"line\":" << f.line
            << ",\"caller\":" << J(f.caller) << ",\"triplet\":" << J(f.triplet) << ",\"capability\":"
            << (f.cap.empty() ? "null" : J(f.cap)) << ",\"asked\":" << (f.asked.empty() ? "null" : J(f.asked))
            << ",\"conditionCode\":" << (f.conditionCode.empty() ? "null" : J(f.conditionCode)) << "}";
        first = false;
    }
    out << "],\"capabilities\":[";
    first = true;
    auto opt = [](const std::string& s) { return s.empty() ? std::string("null") : J(s); };
    for (const CapabilityEntry& c : L.capabilities) {
        out << (first ? "" : ",") << "{\"capability\":" << J(c.name) << ",\"calls\":" << c.calls
            << ",\"set\":" << opt(c.set) << ",\"refused\":" << opt(c.refused) << ",\"current\":" << opt(c.current)
            << ",\"default\":" << opt(c.defaultValue) << ",\"allowed\":" << opt(c.allowed)
            << ",\"container\":" << opt(c.conType) << "}";
        first = false;
    }
    out << "],\"transfers\":{\"pages\":" << L.pages << ",\"byMode\":{";
    first = true;
    for (const auto& m : L.pagesByMode) out << (first ? "" : ",") << J(m.first) << ":" << m.second, first = false;
    out << "},\"images\":[";
    first = true;
    for (const ImageEntry& i : L.images) {
        out << (first ? "" : ",") << "{\"mode\":" << J(i.mode) << ",\"count\":" << i.count
            << ",\"width\":" << opt(i.width) << ",\"length\":" << opt(i.length) << ",\"pixelType\":" << opt(i.pixelType)
            << ",\"xResolution\":" << opt(i.xResolution) << ",\"yResolution\":" << opt(i.yResolution)
            << ",\"bitsPerPixel\":" << opt(i.bitsPerPixel) << ",\"compression\":" << opt(i.compression) << "}";
        first = false;
    }
    out << "]},\"timing\":";
    if (!L.timing) {
        out << "null";
    } else {
        out << "{\"slowest\":[";
        first = true;
        char ms[32];
        for (const TimedCall& t : L.slowest) {
            snprintf(ms, sizeof(ms), "%.3f", t.ms);
            out << (first ? "" : ",") << "{\"request\":" << JSeq(t.seq) << ",\"triplet\":" << J(t.triplet)
                << ",\"ms\":" << ms << ",\"line\":" << t.line << "}";
            first = false;
        }
        out << "],\"gaps\":[";
        first = true;
        for (const Gap& g : L.gaps) {
            snprintf(ms, sizeof(ms), "%.3f", g.ms);
            out << (first ? "" : ",") << "{\"after\":" << JSeq(g.afterSeq) << ",\"before\":" << JSeq(g.beforeSeq)
                << ",\"ms\":" << ms << ",\"line\":" << g.line << "}";
            first = false;
        }
        out << "]}";
    }
    out << ",\"notices\":{\"counts\":{";
    first = true;
    for (const auto& n : L.noticeCounts) out << (first ? "" : ",") << J(NoticeKindName(n.first)) << ":" << n.second, first = false;
    out << "},\"list\":[";
    first = true;
    for (const Notice& n : L.notices) {
        out << (first ? "" : ",") << "{\"kind\":" << J(NoticeKindName(n.kind)) << ",\"line\":" << n.line
            << ",\"text\":" << J(n.text) << "}";
        first = false;
    }
    out << "],\"dropped\":" << L.noticesDropped << "},\"unparsed\":{\"lines\":" << L.unparsedLines << ",\"ranges\":[";
    first = true;
    for (const LineRange& r : L.unparsed) {
        out << (first ? "" : ",") << "{\"first\":" << r.first << ",\"last\":" << r.last << ",\"text\":" << J(r.text)
            << "}";
        first = false;
    }
    out << "],\"rangesDropped\":" << L.unparsedRangesDropped << "}";
    if (findings != nullptr) {
        const tracecheck::Counts counts = CountFindings(*findings);
        out << ",\"findings\":{\"errors\":" << counts.errors << ",\"warnings\":" << counts.warnings
            << ",\"infos\":" << counts.infos << ",\"dropped\":" << findings->dropped << ",\"list\":[";
        first = true;
        for (const tracecheck::Finding& f : findings->findings) {
            out << (first ? "" : ",");
            tracecheck::WriteJsonFinding(L.file, L.index, f, out);
            first = false;
        }
        out << "]}";
    }
    out << "}";
}

void WriteJsonFile(const FileResult& f, std::ostream& out) {
    out << "{\"path\":" << J(f.path) << ",\"read\":" << (f.read ? "true" : "false") << ",\"error\":"
        << (f.error.empty() ? "null" : J(f.error)) << ",\"lines\":" << f.lines << ",\"loads\":" << f.loads
        << ",\"calls\":" << f.calls << "}";
}

int Report(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    bool json = false;
    std::string html;
    std::vector<std::string> paths;
    bool options = true;
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& a = arguments[i];
        if (options && a == "--") {
            options = false;
        } else if (options && (a == "--help" || a == "-h")) {
            out << kReportHelp;
            return 0;
        } else if (options && a == "--json") {
            json = true;
        } else if (options && a == "--html") {
            if (i + 1 == arguments.size() || arguments[i + 1].empty()) {
                err << "tracewell report: --html needs the path of the page to write\n";
                return kUsage;
            }
            html = arguments[++i];
        } else if (options && a.size() > 1 && a[0] == '-') {
            err << "tracewell report: unknown option '" << a << "'\nTry 'tracewell report --help'.\n";
            return kUsage;
        } else {
            paths.push_back(a);
        }
    }
    if (paths.empty()) {
        err << "tracewell report: no trace file given\nTry 'tracewell report --help'.\n";
        return kUsage;
    }

    std::vector<FileResult> files;
    std::vector<LoadSummary> kept;  // for the page only
    std::vector<tracecheck::LoadFindings> keptFindings;
    bool firstLoad = true;
    if (json) out << "{\"loads\":[";
    for (const std::string& path : paths) {
        FileResult file;
        file.path = path;
        CSummaryAndCheck builder([&](LoadSummary& load, tracecheck::LoadFindings& findings) {
            ++file.loads;
            file.calls += load.ordinals;
            if (json) {
                out << (firstLoad ? "" : ",");
                WriteJsonLoad(load, out, &findings);
            } else {
                WriteTextLoad(load, out, &findings);
            }
            firstLoad = false;
            if (!html.empty()) {
                kept.push_back(std::move(load));
                keptFindings.push_back(std::move(findings));
            }
        });
        file.read = ReadTraceFile(path, builder, &file.error, &file.lines, false);
        files.push_back(file);
    }
    int status = 0;
    if (json) {
        out << "],\"files\":[";
        for (size_t i = 0; i < files.size(); ++i) {
            if (i > 0) out << ",";
            WriteJsonFile(files[i], out);
        }
        out << "]}\n";
    } else {
        for (const FileResult& f : files) WriteTextFile(f, out);
    }
    for (const FileResult& f : files) {
        if (!f.read) {
            err << "tracewell report: cannot read " << f.error << "\n";
            status = kFailed;
        } else if (f.calls == 0) {
            err << "tracewell report: " << f.path << " holds no TWAIN call (" << f.lines << " lines): not a trace\n";
            status = kFailed;
        }
    }
    if (!html.empty()) {
        std::string error;
        if (!WriteHtml(files, kept, keptFindings, html, &error)) {
            err << "tracewell report: " << error << "\n";
            status = kFailed;
        }
    }
    return status;
}

}  // namespace tracereport

namespace {

std::vector<std::string> Arguments(int argc, char** argv) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) arguments.push_back(argv[i]);
    return arguments;
}

}  // namespace

int RunReport(int argc, char** argv) { return tracereport::Report(Arguments(argc, argv), std::cout, std::cerr); }
int RunDiff(int argc, char** argv) { return tracereport::Diff(Arguments(argc, argv), std::cout, std::cerr); }
