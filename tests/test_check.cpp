// `tracewell check` and the findings of the report: the rule table against its golden file and the
// README, one table of rule cases (sessions of the host that break one rule each, and traces
// written here), the golden sessions that break none, stability, and the command's exit codes.
#include <algorithm>
#include <cstdio>
#include <set>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Check.h"
#include "Report.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using namespace tracecheck;

const std::string kGoldenDir = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/";

// A finding's rule, the party it blames and the request it names.
using Found = std::tuple<std::string, std::string, long long>;

// Every load's findings. (That the reader hands on the same calls whatever pieces the text comes
// in is the reader's own test.)
std::vector<Found> FindingsOf(const std::string& text) {
    std::vector<Found> all;
    CChecker checker([&](LoadFindings& load) {
        for (const Finding& f : load.findings) all.push_back({f.rule->id, PartyName(f.rule->party), f.seq});
    });
    tracereport::CTraceReader reader(checker, "trace", false);
    reader.Feed(text.data(), text.size());
    reader.Finish();
    return all;
}

// ---- Traces written here, call by call ----

class Trace {
public:
    // One call: its request line, result section and status line (the error markers instead of
    // the status line when it failed). `caller` "" writes an event's result section alone.
    Trace& Call(const std::string& triplet, const std::string& rc, int state, const std::vector<std::string>& body = {},
                const std::string& caller = "APP") {
        if (!caller.empty()) m_lines.push_back(Seq(++m_seq) + " [" + caller + "] " + triplet);
        m_lines.push_back("        Return Code = [" + rc + "]");
        m_lines.push_back("pData   = <0x5c000250>");
        m_lines.insert(m_lines.end(), body.begin(), body.end());
        if (rc == "TWRC_FAILURE") {
            m_lines.push_back("*** Inspect Error Status Start ***");
            m_lines.push_back("*** Inspect Error Status End   ***");
        } else {
            m_lines.push_back("");
            m_lines.push_back("TWAIN Status = [" + std::to_string(state) + "]");
        }
        return *this;
    }
    Trace& Open() { return Call("DG_CONTROL/DAT_IDENTITY/MSG_OPENDS", "TWRC_SUCCESS", 4); }
    Trace& Status(const std::string& code, int state) {
        return Call("DG_CONTROL/DAT_STATUS/MSG_GET", "TWRC_SUCCESS", state,
                    {"  TW_STATUS = {", "    ConditionCode = [" + code + "]", "  }"});
    }
    Trace& Capability(const std::string& msg, const std::string& cap, const std::string& rc, int state,
                      const std::vector<std::string>& container) {
        std::vector<std::string> body = {"  TW_CAPABILITY = {", "    Cap        = [" + cap + "]",
                                         "    hContainer = <0x5c000690>"};
        body.insert(body.end(), container.begin(), container.end());
        body.push_back("  }");
        return Call("DG_CONTROL/DAT_CAPABILITY/" + msg + " (" + cap + ")", rc, state, body);
    }
    Trace& Skip(long n) { return m_seq += n, *this; }
    std::string Text() const { return Crlf(m_lines); }

private:
    static std::string Seq(long long seq) {
        char text[32];
        snprintf(text, sizeof(text), "[%05lld]", seq);
        return text;
    }
    std::vector<std::string> m_lines;
    long long m_seq = 0;
};

std::vector<std::string> OneValue(const std::string& type, const std::string& item) {
    return {"    TW_ONEVALUE = {", "      ItemType = [" + type + "]", "      Item     = [" + item + "]", "    }"};
}

std::vector<std::string> Enumeration(const std::string& type, const std::vector<std::string>& items, int current) {
    std::vector<std::string> out = {"    TW_ENUMERATION = {", "      ItemType     = [" + type + "]",
                                    "      NumItems     = [" + std::to_string(items.size()) + "]",
                                    "      CurrentIndex = [" + std::to_string(current) + "]",
                                    "      DefaultIndex = [0]", "      ItemList = {"};
    for (size_t i = 0; i < items.size(); ++i)
        out.push_back("          " + std::to_string(i) + ":" + items[i] + (i + 1 < items.size() ? "," : ""));
    out.insert(out.end(), {"      }", "    }"});
    return out;
}

std::vector<std::string> Range(const std::string& min, const std::string& max, const std::string& step, const std::string& current) {
    return {"    TW_RANGE = {", "      ItemType     = [TWTY_FIX32]", "      MinValue     = [" + min + "]", "      MaxValue     = [" + max + "]",
            "      StepSize     = [" + step + "]", "      DefaultValue = [" + min + "]", "      CurrentValue = [" + current + "]", "    }"};
}

std::vector<std::string> Pending(int count) {
    return {"  TW_PENDINGXFERS = {", "    Count = [" + std::to_string(count) + "]", "    EOJ   = [0]", "  }"};
}

std::vector<std::string> Strip(int rows, int yOffset, int xOffset = 0, int columns = 100) {
    const auto n = [](int value) { return std::to_string(value) + "]"; };
    return {"  TW_IMAGEMEMXFER = {", "    Compression  = [TWCP_NONE]", "    BytesPerRow  = [100]", "    Columns      = [" + n(columns),
            "    Rows         = [" + n(rows), "    XOffset      = [" + n(xOffset), "    YOffset      = [" + n(yOffset),
            "    BytesWritten = [" + n(rows * 100), "    Memory       =", "    TW_MEMORY = {", "      Flags  = [0x9]",
            "      Length = [65536]", "      TheMem = <0x5c080f00>", "    }", "}"};
}

std::vector<std::string> ImageInfo(int width, int length) {
    return {"  TW_IMAGEINFO = {", "    ImageWidth       = [" + std::to_string(width) + "]", "    ImageLength      = [" + std::to_string(length) + "]",
            "    BitsPerPixel     = [8]", "    PixelType        = [TWPT_GRAY]", "    Compression      = [TWCP_NONE]", "  }"};
}

// Enabled, a transfer announced by an event, the image information of a 100 x 100 grey page.
Trace& ReadyForPage(Trace& t) {
    t.Open().Call("DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS", "TWRC_SUCCESS", 5);
    t.Call("", "TWRC_DSEVENT", 6, {"  TW_EVENT = {", "    TWMessage = [MSG_XFERREADY]", "  }"}, "");
    return t.Call("DG_IMAGE/DAT_IMAGEINFO/MSG_GET", "TWRC_SUCCESS", 6, ImageInfo(100, 100));
}

struct TraceCase {
    const char* name;
    std::string trace;
    std::vector<Found> expected;
};

std::vector<TraceCase> TraceCases() {
    std::vector<TraceCase> cases;
    Trace t;  // each case's calls, written afresh after `add`
    const auto add = [&](const char* name, std::vector<Found> expected) {
        cases.push_back({name, t.Text(), std::move(expected)});
        t = Trace();
    };
    t.Open().Capability("MSG_SET", "ICAP_XRESOLUTION", "TWRC_FAILURE", 4, OneValue("TWTY_FIX32", "4800.000"));
    t.Capability("MSG_GET", "ICAP_UNITS", "TWRC_SUCCESS", 4, Enumeration("TWTY_UINT16", {"TWUN_INCHES"}, 0));
    add("a failure followed by another call", {{"TW-STATUS-0001", "application", 2}});
    t.Open().Capability("MSG_SET", "ICAP_XRESOLUTION", "TWRC_FAILURE", 4, OneValue("TWTY_FIX32", "4800.000"));
    t.Status("TWCC_BADVALUE", 4);
    add("a failure followed by DAT_STATUS", {});
    t.Open().Call("DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS", "TWRC_SUCCESS", 5,
                  {"  TW_USERINTERFACE = {", "    ShowUI  = [false] (sent true)", "    ModalUI = [false]",
                   "    hParent = <0x00000000>", "  }"});
    t.Call("DG_CONTROL/DAT_CAPABILITY/MSG_SET (ICAP_PIXELTYPE)", "TWRC_SUCCESS", 5,
           {"  TW_CAPABILITY = {", "    Cap        = [ICAP_PIXELTYPE]", "  }", "  Sent by the application = {",
            "    TW_CAPABILITY = {", "      Cap        = [ICAP_BRIGHTNESS]", "    }", "  }"});
    add("the source changed what the application sent", {{"TW-DATA-0001", "source", 2}, {"TW-DATA-0001", "source", 3},
                                                          {"TW-STATE-0001", "application", 3}, {"TW-STATE-0002", "source", 3}});
    t.Open().Capability("MSG_SET", "CAP_EXTENDEDCAPS", "TWRC_SUCCESS", 4, OneValue("TWTY_UINT16", "ICAP_BRIGHTNESS"));
    t.Call("DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS", "TWRC_SUCCESS", 5);
    t.Capability("MSG_SET", "ICAP_BRIGHTNESS", "TWRC_SUCCESS", 5, OneValue("TWTY_FIX32", "10.000"));
    t.Capability("MSG_SET", "ICAP_CONTRAST", "TWRC_FAILURE", 5, OneValue("TWTY_FIX32", "10.000"));
    t.Status("TWCC_SEQERROR", 5);
    add("a capability of CAP_EXTENDEDCAPS set while enabled, and another one", {{"TW-STATE-0001", "application", 5}});
    t.Skip(40).Call("DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS", "TWRC_SUCCESS", 4);
    t.Call("DG_IMAGE/DAT_IMAGEINFO/MSG_GET", "TWRC_SUCCESS", 4, ImageInfo(10, 10));
    add("a load that starts inside a session takes its state from the first call",
        {{"TW-STATE-0001", "application", 42}, {"TW-STATE-0002", "source", 42}});
    t.Skip(40).Call("DG_IMAGE/DAT_IMAGEINFO/MSG_GET", "TWRC_SUCCESS", 6, ImageInfo(10, 10));
    add("a load whose state before its first call is not known", {});
    t.Open().Capability("MSG_SET", "ICAP_PIXELTYPE", "TWRC_CHECKSTATUS", 4, OneValue("TWTY_UINT16", "TWPT_GRAY"));
    t.Capability("MSG_GETCURRENT", "ICAP_PIXELTYPE", "TWRC_SUCCESS", 4, OneValue("TWTY_UINT16", "TWPT_RGB"));
    t.Capability("MSG_SET", "ICAP_PIXELTYPE", "TWRC_SUCCESS", 4, OneValue("TWTY_UINT16", "TWPT_GRAY"));
    t.Capability("MSG_SET", "ICAP_BITDEPTH", "TWRC_SUCCESS", 4, OneValue("TWTY_UINT16", "24"));
    t.Capability("MSG_GETCURRENT", "ICAP_PIXELTYPE", "TWRC_SUCCESS", 4, OneValue("TWTY_UINT16", "TWPT_RGB"));
    t.Capability("MSG_SET", "ICAP_BITDEPTH", "TWRC_SUCCESS", 4, OneValue("TWTY_UINT16", "8"));
    t.Capability("MSG_GET", "ICAP_BITDEPTH", "TWRC_SUCCESS", 4, Enumeration("TWTY_UINT16", {"8", "24"}, 1));
    add("a value read back after a set: changed with TWRC_CHECKSTATUS, after another set, and silently",
        {{"TW-CAP-0008", "source", 8}});
    t.Open().Capability("MSG_GET", "ICAP_YRESOLUTION", "TWRC_SUCCESS", 4, Range("75.000", "1200.000", "25.000", "300.000"));
    t.Capability("MSG_SET", "ICAP_YRESOLUTION", "TWRC_SUCCESS", 4, OneValue("TWTY_FIX32", "100.000"));
    t.Capability("MSG_SET", "ICAP_YRESOLUTION", "TWRC_SUCCESS", 4, OneValue("TWTY_FIX32", "110.000"));
    t.Capability("MSG_GET", "ICAP_YRESOLUTION", "TWRC_SUCCESS", 4, Range("75.000", "1200.000", "25.000", "110.000"));
    t.Capability("MSG_SET", "ICAP_YRESOLUTION", "TWRC_SUCCESS", 4, OneValue("TWTY_FIX32", "1225.000"));
    add("values set against a range: on a step, off a step after another set, past the end",
        {{"TW-CAP-0003", "source", 5}, {"TW-CAP-0009", "source", 6}});
    t.Open().Capability("MSG_GET", "CAP_KV_VERSION", "TWRC_SUCCESS", 4, OneValue("TWTY_STR32", "1.10"));
    t.Capability("MSG_GET", "ICAP_PIXELTYPE", "TWRC_SUCCESS", 4, Enumeration("TWTY_UINT16", {"TWPT_BW"}, 0));
    t.Capability("MSG_SET", "ICAP_PIXELTYPE", "TWRC_FAILURE", 4, OneValue("TWTY_UINT16", "TWPT_RGB"));
    t.Status("TWCC_BADVALUE", 4);
    t.Capability("MSG_GET", "CAP_AUTHOR", "TWRC_FAILURE", 4, {});
    t.Status("TWCC_CAPUNSUPPORTED", 4);
    add("a vendor capability of any type, a refused value, a capability the source does not list", {});
    ReadyForPage(t).Call("DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "TWRC_SUCCESS", 7, Strip(60, 0, 0, 50));
    t.Call("DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "TWRC_SUCCESS", 7, Strip(60, 0, 50, 50));
    t.Call("DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "TWRC_XFERDONE", 7, Strip(40, 60, 0, 100));
    t.Call("DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER", "TWRC_SUCCESS", 6, Pending(-1));
    t.Call("DG_IMAGE/DAT_IMAGEINFO/MSG_GET", "TWRC_SUCCESS", 6, ImageInfo(100, 100));
    t.Call("DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "TWRC_SUCCESS", 7, Strip(50, 0));
    t.Call("DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "TWRC_XFERDONE", 7, Strip(50, 60));
    t.Call("DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER", "TWRC_SUCCESS", 6, Pending(-1));
    add("tiles, and strips that skip rows; an unknown pending count", {{"TW-XFER-0002", "source", 10}});
    ReadyForPage(t).Call("DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET", "TWRC_CANCEL", 7);
    t.Call("DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER", "TWRC_SUCCESS", 6, Pending(5));
    t.Call("DG_IMAGE/DAT_IMAGEINFO/MSG_GET", "TWRC_SUCCESS", 6, ImageInfo(100, 100));
    t.Call("DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET", "TWRC_XFERDONE", 7);
    t.Call("DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER", "TWRC_SUCCESS", 6, Pending(4));
    t.Call("DG_CONTROL/DAT_PENDINGXFERS/MSG_RESET", "TWRC_SUCCESS", 5, Pending(0));
    t.Call("DG_CONTROL/DAT_USERINTERFACE/MSG_DISABLEDS", "TWRC_SUCCESS", 4);
    add("a cancelled page, one more and the rest reset: the pending counts hold", {});
    return cases;
}

TEST(CheckRules, TableMatchesItsGoldenFileAndTheReadme) {
    std::ostringstream table;
    WriteRuleTable(table);
    ExpectMatchesGolden("check_rules.txt", table.str());
    const std::string readme = ReadFile(std::string(TRACEWELL_SOURCE_DIR) + "/README.md");
    for (const Rule& rule : Rules()) {
        EXPECT_EQ(FindRule(rule.id), &rule) << rule.id;
        const std::string row = std::string("| `") + rule.id + "` | " + SeverityName(rule.severity) + " | " +
                                PartyName(rule.party) + " | " + rule.title + " |";
        EXPECT_NE(readme.find(row), std::string::npos) << "README lacks the row " << row;
    }
    EXPECT_EQ(FindRule("TW-STATE-9999"), nullptr);
}

// The golden sessions break no rule.
TEST(CheckTraces, EachCaseGivesExactlyItsFindings) {
    std::vector<TraceCase> cases = TraceCases();
    for (const char* golden : {"session_linux.txt", "session_macos.txt", "session_twain2_linux.txt", "session_twain2_macos.txt"})
        cases.push_back({golden, ReadFile(kGoldenDir + golden), {}});
    for (const TraceCase& c : cases) EXPECT_EQ(FindingsOf(c.trace), c.expected) << c.name;
}

// ---- Sessions of the host ----

struct HostCase {
    const char* scenario;
    bool twain2;
    std::vector<Found> expected;
    // The macos build does not show what proves it (DAT_ENTRYPOINT by name, the container of a
    // refused MSG_SET): there the session gives no finding.
    bool linuxOnly = false;
};

// The plain session breaks no rule: its golden traces are checked above.
const HostCase kHostCases[] = {
    {"scans", false, {}},
    {"scans", true, {}},
    {"capabilities", false, {}},
    {"capabilities", true, {}},
    {"fault-state", false, {{"TW-STATE-0001", "application", 5}}},
    {"fault-entrypoint", false, {{"TW-STATE-0004", "Source Manager", 4}}, true},
    {"fault-settype", false, {{"TW-CAP-0005", "application", 4}}, true},
    {"fault-noimageinfo", false, {{"TW-XFER-0001", "application", 7}}},
    {"fault-acceptstate", false, {{"TW-STATE-0001", "application", 4}, {"TW-STATE-0002", "source", 4}}},
    {"fault-seqcode", false, {{"TW-STATE-0001", "application", 4}, {"TW-STATE-0003", "source", 4}}},
    {"fault-xferready", true, {{"TW-STATE-0005", "source", 5}}},
    {"fault-closedsok", true, {{"TW-STATE-0006", "source", 5}}},
    {"fault-closedsreq", true, {{"TW-STATE-0007", "source", 5}}},
    {"fault-index", false, {{"TW-CAP-0001", "source", 4}}},
    {"fault-range", false, {{"TW-CAP-0002", "source", 4}}},
    {"fault-step", false, {{"TW-CAP-0003", "source", 4}}},
    {"fault-itemtype", false, {{"TW-CAP-0004", "source", 4}}},
    {"fault-querysupport", false, {{"TW-CAP-0006", "source", 5}}},
    {"fault-unsupported", false, {{"TW-CAP-0007", "source", 5}}},
    {"fault-notapplied", false, {{"TW-CAP-0008", "source", 5}}},
    {"fault-outsideallowed", false, {{"TW-CAP-0009", "source", 5}}},
    {"fault-rows", false, {{"TW-XFER-0002", "source", 88}}},
    {"fault-rowbytes", false, {{"TW-XFER-0003", "source", 10}}},
    {"fault-written", false, {{"TW-XFER-0004", "source", 10}}},
    {"fault-pending", false, {{"TW-XFER-0005", "source", 15}}},
    {"fault-lostcode", false, {{"TW-STATUS-0002", "source", 5}}},
};

TEST(CheckAgainstHost, EachSessionGivesExactlyItsFindings) {
    std::set<std::string> covered;
    for (const HostCase& c : kHostCases) {
        SCOPED_TRACE(std::string(c.scenario) + (c.twain2 ? " --twain2" : ""));
        std::vector<std::string> arguments = {"--head", "0", c.scenario};
        if (c.twain2) arguments.push_back("--twain2");
        const HostRun run = RunHost(arguments);
        ASSERT_EQ(run.host.exitCode, 0) << run.host.out << run.host.err;
        ASSERT_FALSE(run.trace.empty()) << run.host.out;
        const bool shown = !c.linuxOnly || !TRACEWELL_ABI_REFERENCE;
        EXPECT_EQ(FindingsOf(run.trace), shown ? c.expected : std::vector<Found>());
        for (const Found& f : c.expected) covered.insert(std::get<0>(f));
    }
    for (const TraceCase& c : TraceCases())
        for (const Found& f : c.expected) covered.insert(std::get<0>(f));
    for (const Rule& rule : Rules()) EXPECT_EQ(covered.count(rule.id), 1u) << rule.id << " is broken by no case";
}

// ---- The command and the report ----

struct Output {
    int status;
    std::string out, err;
};

Output RunCommand(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&), const std::vector<std::string>& arguments) {
    std::ostringstream out, err;
    const int status = command(arguments, out, err);
    return {status, out.str(), err.str()};
}

TEST(CheckCommand, ExitStatusLinesJsonAndTheReportAgree) {
    ScratchDir dir;
    Trace t;
    t.Open().Capability("MSG_GET", "ICAP_PIXELTYPE", "TWRC_SUCCESS", 4, Enumeration("TWTY_UINT16", {"TWPT_BW", "TWPT_GRAY"}, 2));
    t.Capability("MSG_SET", "ICAP_XRESOLUTION", "TWRC_FAILURE", 4, OneValue("TWTY_FIX32", "4800.000"));
    t.Call("DG_CONTROL/DAT_IDENTITY/MSG_CLOSEDS", "TWRC_SUCCESS", 3);
    const std::string faulty = dir.Write("faulty.txt", t.Text()), notTrace = dir.Write("not.txt", "hello\n");
    const std::string golden = kGoldenDir + "session_twain2_linux.txt";
    const struct { std::vector<std::string> arguments; int status; std::vector<std::string> out, err; } kCases[] = {
        {{}, 2, {}, {"no trace file given"}},
        {{"--jsn", golden}, 2, {}, {"unknown option '--jsn'"}},
        {{golden, dir.File("absent.txt")}, 2, {"0 errors, 0 warnings, 0 infos in 2 files (1 load, 40 calls)"},
         {"cannot read"}},
        {{notTrace}, 2, {}, {"not a trace"}},
        {{golden}, 0, {"0 errors, 0 warnings, 0 infos in 1 file (1 load, 40 calls)\n"}, {}},
        {{faulty}, 1, {faulty + ":6: TW-CAP-0001 error source [00002] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_PIXELTYPE): "
                   "ICAP_PIXELTYPE: the enumeration's CurrentIndex is 2, but it holds 2 items (rule: enumeration "
                   "index outside its items; TWAIN 2.5, Data Types and Data Structures, TW_ENUMERATION)\n",
          faulty + ":25: TW-STATUS-0001 info application [00003]",
          "1 error, 0 warnings, 1 info in 1 file (1 load, 4 calls)\n"}, {}},
        {{"--json", faulty}, 1, {"{\"findings\":[{\"id\":\"TW-CAP-0001\",\"severity\":\"error\",\"party\":\"source\",",
          "\"line\":6,\"request\":2,\"eventAfter\":null,\"call\":2,",
          "\"errors\":1,\"warnings\":0,\"infos\":1}\n"}, {}},
        {{"--rules"}, 0, {"TW-STATUS-0002  error  source  condition code lost after a failure\n"}, {}},
    };
    for (const auto& c : kCases) {
        std::string shown;
        for (const std::string& a : c.arguments) shown += a + " ";
        SCOPED_TRACE(shown);
        const Output o = RunCommand(Check, c.arguments);
        EXPECT_EQ(o.status, c.status) << o.out << o.err;
        for (const std::string& want : c.out) EXPECT_NE(o.out.find(want), std::string::npos) << o.out;
        for (const std::string& want : c.err) EXPECT_NE(o.err.find(want), std::string::npos) << o.err;
        // The same trace gives the same findings in the same order.
        EXPECT_EQ(RunCommand(Check, c.arguments).out, o.out);
    }

    // The report shows the same findings in its text, its JSON document and its page.
    const std::string page = dir.File("page.html");
    const std::string report = RunCommand(tracereport::Report, {faulty}).out;
    const std::string json = RunCommand(tracereport::Report, {"--json", "--html", page, faulty}).out;
    for (const std::string shown : {"  Findings:    1 error, 0 warnings, 1 info\n", "    line 6: TW-CAP-0001 error source [00002]"})
        EXPECT_NE(report.find(shown), std::string::npos) << report;
    EXPECT_NE(json.find(",\"findings\":{\"errors\":1,\"warnings\":0,\"infos\":1,\"dropped\":0,\"list\":[{\"id\":\"TW-CAP-0001\""),
              std::string::npos) << json;
    const std::string html = ReadFile(page);
    for (const std::string shown : {"<polygon class=\"finding-error\"", "<polygon class=\"finding-info\"",
                                    "<details id=\"call-1-2\"><summary>[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_PIXELTYPE) "
                                    "\xe2\x86\x92 TWRC_SUCCESS, state 4 \xe2\x80\x94 <span class=\"finding-error\">TW-CAP-0001</span></summary>",
                                    "<td><a href=\"#call-1-3\">[00003]</a></td><td>25</td><td>TW-STATUS-0001</td>"})
        EXPECT_NE(html.find(shown), std::string::npos) << shown;
}

}  // namespace
