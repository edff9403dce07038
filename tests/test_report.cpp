// The trace reader, the report's summary and `tracewell diff`: traces made by hand for each kind
// of line, the golden session traces, fresh runs of the session host compared with the host's own
// summary, and damaged files.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Report.h"
#include "SessionSummary.h"
#include "TraceFormat.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using ::testing::HasSubstr;
using namespace tracereport;

const std::string kGoldenDir = std::string(TRACEWELL_SOURCE_DIR) + "/tests/golden/";

struct Parsed {
    std::vector<LoadSummary> loads;
    std::vector<TraceCall> calls;
    std::vector<Notice> notices;
    std::vector<long> unparsed;
    long lines = 0;
};

// The summaries, and every call, notice and unreadable line besides.
class CRecorder : public CSummaryBuilder {
public:
    explicit CRecorder(Parsed& p) : CSummaryBuilder([&p](LoadSummary& l) { p.loads.push_back(l); }), m_p(p) {}
    void OnCall(const TraceCall& c) override { m_p.calls.push_back(c), CSummaryBuilder::OnCall(c); }
    void OnNotice(const Notice& n) override { m_p.notices.push_back(n), CSummaryBuilder::OnNotice(n); }
    void OnUnparsed(long line, const std::string& text) override {
        m_p.unparsed.push_back(line), CSummaryBuilder::OnUnparsed(line, text);
    }

private:
    Parsed& m_p;
};

// `text` read in pieces of `piece` bytes.
Parsed Parse(const std::string& text, size_t piece = 4096) {
    Parsed p;
    CRecorder recorder(p);
    CTraceReader reader(recorder, "t");
    for (size_t at = 0; at < text.size(); at += piece) reader.Feed(text.data() + at, std::min(piece, text.size() - at));
    reader.Finish();
    p.lines = reader.Lines();
    return p;
}

std::vector<int> Kinds(const Parsed& p, NoticeKind kind) {
    std::vector<int> lines;
    for (const Notice& n : p.notices)
        if (n.kind == kind) lines.push_back(static_cast<int>(n.line));
    return lines;
}

const std::vector<std::string> kOpenCall = {
    "[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_OPENDS", "        Return Code = [TWRC_SUCCESS]", "pData   = <0x5c0000e0>",
    "  TW_IDENTITY = {", "    ProductName     = [Scanner\\r\\n\\x01]", "  }", "", "TWAIN Status = [4]"};

// The application enables the source, which announces a transfer from inside that call.
const std::vector<std::string> kNestedXferReady = {
    "[00002] [APP] DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS", "        Time = [22:43:54.816123]",
    "[00003] [DS] DG_CONTROL/DAT_NULL/MSG_XFERREADY", "        Time = [22:43:54.816500]", "        Took = [0.020 ms]",
    "        Return Code = [TWRC_SUCCESS]", "pData   = <0x00000000>", "", "TWAIN Status = [6]",
    "        Took = [2.500 ms]", "        Return Code = [TWRC_SUCCESS]", "pData   = <0x5c000290>",
    "  TW_USERINTERFACE = {", "    ShowUI  = [false]", "  }", "", "TWAIN Status = [6]",
    "[00004] [APP] DG_IMAGE/DAT_IMAGENATIVEXFER/MSG_GET", "        Time = [22:51:00.000000]",
    "        Took = [120.000 ms]", "        Return Code = [TWRC_XFERDONE]", "pData   = <0x5c000300>", "  TW_UINT32 = {",
    "    Item = <0x00001234>", "  }", "", "TWAIN Status = [7]"};

const std::vector<std::string> kCallbackMessage = {
    "[00002] [DS] DG_CONTROL/DAT_CALLBACK/MSG_INVOKE_CALLBACK", "        Return Code = [TWRC_SUCCESS]",
    "pData   = <0x5c000400>", "  TW_CALLBACK = {", "    CallBackProc = <0x00401000>", "    RefCon       = [0]",
    "    Message      = [MSG_XFERREADY]", "  }", "", "TWAIN Status = [6]"};

const std::vector<std::string> kFailedSet = {
    "[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_SET (ICAP_XRESOLUTION)", "        Return Code = [TWRC_FAILURE]",
    "pData   = <0x5c000250>", "  TW_CAPABILITY = {", "    Cap        = [ICAP_XRESOLUTION]",
    "    ConType    = [TWON_ONEVALUE]", "    hContainer = <0x5c000690>", "    TW_ONEVALUE = {",
    "      ItemType = [TWTY_FIX32]", "      Item     = [4800.000]", "    }", "  }",
    "*** Inspect Error Status Start ***", "*** Inspect Error Status End   ***",
    "[00003] [APP] DG_CONTROL/DAT_STATUS/MSG_GET", "        Return Code = [TWRC_SUCCESS]", "pData   = <0x5c000270>",
    "  TW_STATUS = {", "    ConditionCode = [TWCC_BADVALUE]", "  }", "", "TWAIN Status = [4]"};

// The lines with their request lines numbered from `first` on.
std::vector<std::string> Numbered(std::vector<std::string> lines, int first) {
    for (std::string& line : lines) {
        if (line.compare(0, 3, "[00") != 0) continue;
        char seq[16];
        snprintf(seq, sizeof(seq), "[%05d]", first++);
        line.replace(0, 7, seq);
    }
    return lines;
}

// A capability call whose text passed 5120 bytes: cut inside an item, then the notice.
std::string CutCall(bool lineEndAfterNotice) {
    std::string text = Crlf({"[00002] [APP] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_SUPPORTEDSIZES)",
                             "        Return Code = [TWRC_SUCCESS]", "pData   = <0x5c000250>", "  TW_CAPABILITY = {",
                             "    TW_ENUMERATION = {", "      ItemList = {"});
    for (int i = 0; text.size() < 5100; ++i) text += "        " + std::to_string(i) + ":TWSS_A4LETTER,\r\n";
    text += "          77:TWSS_B";
    text += "Size of CAP_xxx too long";
    if (lineEndAfterNotice) text += "\r\n";
    return text;
}

TEST(TraceReader, EveryKindOfLineIsTakenOrReportedWithItsLineNumber) {
    const std::string opened = Crlf(kOpenCall), kOpenedRuns = "3 \xe2\x86\x92 4 [00001]";
    const struct { const char* name; std::string text; long calls, requests, events, fromSource, failures, unfinished, cut, pages;
                   std::vector<long> unparsed; std::string states; } kCases[] = {
        {"an opening call, escaped strings", opened, 1, 1, 0, 0, 0, 0, 0, 0, {}, kOpenedRuns},
        {"a source message nested in the application's call, with timing", opened + Crlf(kNestedXferReady), 3, 3, 0, 1, 0, 0, 0, 1,
         {}, kOpenedRuns + " \xe2\x86\x92 6 [00003] \xe2\x86\x92 7 [00004]"},
        {"a callback message of the source", opened + Crlf(kCallbackMessage), 1, 1, 0, 1, 0, 0, 0, 0, {},
         kOpenedRuns + " \xe2\x86\x92 6 [00002]"},
        {"a failed MSG_SET and the status that follows", opened + Crlf(kFailedSet), 3, 3, 0, 0, 1, 0, 0, 0, {}, kOpenedRuns},
        {"a cut call with the notice's line end", opened + CutCall(true) + Crlf(Numbered(kFailedSet, 3)), 4, 4, 0, 0, 1, 0, 1, 0,
         {}, kOpenedRuns},
        {"a cut call running into the next request", opened + CutCall(false) + Crlf(Numbered(kFailedSet, 3)), 4, 4, 0, 0, 1, 0,
         1, 0, {}, kOpenedRuns},
        {"a request line with no result: the source never returned",
         opened + Crlf({"[00002] [APP] DG_CONTROL/DAT_USERINTERFACE/MSG_ENABLEDS"}), 2, 2, 0, 0, 0, 1, 0, 0, {}, kOpenedRuns},
        {"logger lines, an unknown marker, a banner",
         opened + "[2026/12/07 00:42:18.123] INFO from \"host\" first\nsecond line\n" +
             Crlf({"*** Trace text lost: disk full ***", traceformat::kBannerRule, traceformat::kBannerTitle}),
         1, 1, 0, 0, 0, 0, 0, 0, {}, kOpenedRuns},
        {"lines that are not trace text", "garbage\r\n" + opened + "  Loose = [1]\r\nTWAIN Status = [x]\r\n", 1, 1, 0, 0, 0, 0,
         0, 0, {1, 10, 11}, kOpenedRuns},
    };
    for (const auto& c : kCases) {
        for (size_t piece : {size_t(1), size_t(7), size_t(1 << 16)}) {
            SCOPED_TRACE(std::string(c.name) + ", read in pieces of " + std::to_string(piece));
            const Parsed p = Parse(c.text, piece);
            ASSERT_EQ(p.loads.size(), 1u);
            const LoadSummary& L = p.loads[0];
            EXPECT_EQ((std::vector<long>{L.calls, L.requests, L.events, L.sourceCalls, L.failures, L.unfinished, L.cut, L.pages}),
                      (std::vector<long>{c.calls, c.requests, c.events, c.fromSource, c.failures, c.unfinished, c.cut, c.pages}))
                << "calls, requests, events, from the source, failures, unfinished, cut, pages";
            EXPECT_EQ(p.unparsed, c.unparsed);
            EXPECT_EQ(DescribeRuns(L), c.states);
            EXPECT_EQ(L.lastLine, p.lines);
        }
    }
}

TEST(TraceReader, ResultsBelongToTheLastOpenRequestAndCarryTimingValuesAndCodes) {
    const Parsed p = Parse(Crlf(kOpenCall) + Crlf(kNestedXferReady));
    ASSERT_EQ(p.calls.size(), 4u);
    // The nested message closes first, then the call it was sent from.
    EXPECT_EQ(std::make_tuple(p.calls[1].seq, p.calls[1].caller, p.calls[1].depth, p.calls[2].seq), std::make_tuple(3, "DS", 1, 2));
    EXPECT_EQ(p.calls[2].time, "22:43:54.816123");
    EXPECT_DOUBLE_EQ(p.calls[2].tookMs, 2.5);
    EXPECT_EQ(p.calls[2].Find("TW_USERINTERFACE", "ShowUI")->value, "false");
    const LoadSummary& L = p.loads[0];
    ASSERT_TRUE(L.timing);
    ASSERT_FALSE(L.slowest.empty());
    EXPECT_EQ(L.slowest[0].seq, 4);
    EXPECT_DOUBLE_EQ(L.slowest[0].ms, 120.0);
    ASSERT_EQ(L.gaps.size(), 1u);  // only calls at the top level, one after the other
    EXPECT_EQ(L.gaps[0].afterSeq, 2);
    EXPECT_EQ(L.gaps[0].beforeSeq, 4);
    EXPECT_NEAR(L.gaps[0].ms, (7 * 60 + 5.183877) * 1000 - 2.5, 1e-6);
    // A failure carries the value asked for and the condition code.
    const Parsed failed = Parse(Crlf(kOpenCall) + Crlf(kFailedSet));
    const LoadSummary& F = failed.loads.at(0);
    ASSERT_EQ(F.failureList.size(), 1u);
    EXPECT_EQ(F.failureList[0].seq, 2);
    EXPECT_EQ(F.failureList[0].conditionCode, "TWCC_BADVALUE");
    ASSERT_EQ(F.capabilities.size(), 1u);
    EXPECT_EQ(F.capabilities[0].refused + "|" + F.capabilities[0].set, "4800.000|");
    EXPECT_EQ(F.source.productName, "Scanner\\r\\n\\x01");
}

TEST(TraceReader, DamagedFilesEndInAClearReport) {
    const std::string golden = ReadFile(kGoldenDir + "session_macos.txt");
    ASSERT_FALSE(golden.empty());
    std::mt19937 random(14);
    std::string noise(64 * 1024, '\0');
    for (char& c : noise) c = static_cast<char>(random());
    const size_t midLine = golden.find("TWAIN Status = [4]", golden.size() / 2) + 9;
    const size_t afterRequest = golden.find("\r\n", golden.find("[00036]")) + 2;
    const struct { const char* name; std::string text; size_t loads; long calls; bool cutShort; long unfinished; } kCases[] = {
        {"cut inside a status line", golden.substr(0, midLine), 1, 0, true, 0},
        {"cut after a request line", golden.substr(0, afterRequest), 1, 0, false, 1},
        {"two loads, the second appended in the same millisecond", golden + golden, 2, 48, false, 0},
        {"random bytes, the last line without a line end", noise, 1, 0, true, 0},
        {"empty", "", 0, 0, false, 0},
        {"line ends made \"\\n\"", std::regex_replace(golden, std::regex("\r"), ""), 1, 48, false, 0},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        const Parsed p = Parse(c.text);
        ASSERT_EQ(p.loads.size(), c.loads);
        long lines = 0;
        for (const LoadSummary& L : p.loads) lines += L.lastLine - L.firstLine + 1;
        EXPECT_EQ(lines, p.lines) << "every line belongs to one load";
        if (c.calls > 0) {
            for (const LoadSummary& L : p.loads) EXPECT_EQ(L.calls, c.calls);
            EXPECT_TRUE(p.unparsed.empty());
        }
        EXPECT_EQ(!Kinds(p, NoticeKind::FileCutShort).empty(), c.cutShort);
        if (c.loads > 0) { EXPECT_EQ(p.loads.back().unfinished, c.unfinished); }
    }
    const Parsed twoLoads = Parse(golden + golden);
    EXPECT_EQ(twoLoads.loads[1].firstLine, twoLoads.loads[0].lastLine + 1);
    EXPECT_EQ(twoLoads.loads[1].index, 2);
    const Parsed garbage = Parse(noise);
    EXPECT_EQ(garbage.loads[0].ordinals, 0);
    EXPECT_EQ(garbage.loads[0].unparsedLines, garbage.lines);
}

// A long memory-transfer session: one strip per page, so that the state changes twice a page.
TEST(TraceReader, WhatIsKeptOfALongSessionIsBounded) {
    const int pages = static_cast<int>(LoadSummary::kMaxRuns) / 2 + 10;
    const std::vector<std::string> page = {
        "[00002] [APP] DG_IMAGE/DAT_IMAGEMEMXFER/MSG_GET", "        Return Code = [TWRC_XFERDONE]",
        "pData   = <0x5c000380>", "", "TWAIN Status = [7]", "[00003] [APP] DG_CONTROL/DAT_PENDINGXFERS/MSG_ENDXFER",
        "        Return Code = [TWRC_SUCCESS]", "pData   = <0x5c0002d0>", "", "TWAIN Status = [6]"};
    std::string text = Crlf(kOpenCall);
    for (int i = 0; i < pages; ++i) text += Crlf(Numbered(page, 2 + 2 * i));
    const Parsed p = Parse(text, 1 << 16);
    ASSERT_EQ(p.loads.size(), 1u);
    const LoadSummary& L = p.loads[0];
    EXPECT_EQ(L.pages, pages);
    EXPECT_EQ(L.pagesByMode.at("memory"), pages);
    EXPECT_EQ(L.calls, 1 + 2 * pages);
    // 3, 4, then 7 and 6 for every page.
    EXPECT_EQ(L.runs.size(), LoadSummary::kMaxRuns);
    EXPECT_EQ(static_cast<long>(L.runs.size()) + L.runsDropped, 2 + 2 * pages);
    EXPECT_THAT(DescribeRuns(L), ::testing::EndsWith("(" + std::to_string(L.runsDropped) + " more changes)"));
    EXPECT_EQ(L.triplets.size(), 3u);
    EXPECT_EQ(L.images.size(), 1u);
}

std::string Replace(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    if (at != std::string::npos) text.replace(at, from.size(), to);
    return text;
}

TEST(TraceReader, SequenceGapsAndOddStartsAreNoticed) {
    const std::string closing = Crlf(Numbered(kOpenCall, 10));
    const Parsed p = Parse(Crlf(Numbered(kOpenCall, 7)) + Replace(Replace(closing, "OPENDS", "CLOSEDS"), "[4]", "[3]"));
    EXPECT_EQ(Kinds(p, NoticeKind::SequenceGap), (std::vector<int>{1, 9}));
    // A load that does not start at [00001] has no known state before its first status line.
    EXPECT_EQ(DescribeRuns(p.loads.at(0)), "4 [00007] \xe2\x86\x92 3 [00010]");
}

// ---- The report against the session host's own summary ----

struct HostSession : HostRun {
    long unseenEvents = 0;  // MSG_PROCESSEVENT calls of which the trace shows nothing
};

HostSession RunHostScenario(std::vector<std::string> arguments) {
    ScratchDir dir;
    const std::string transcript = dir.File("transcript.txt");
    arguments.insert(arguments.end(), {"--head", "0", "--transcript", transcript});
    HostSession s{RunHost(arguments)};
    // The data source shows an event only when the source took it (TWRC_DSEVENT) and it announces
    // a transfer or asks to close (TW_EVENT.TWMessage, after the 8-byte pEvent, is MSG_XFERREADY
    // or MSG_CLOSEDSREQ).
    std::istringstream lines(ReadFile(transcript));
    for (std::string line; std::getline(lines, line);) {
        if (line.find("/0002/0601 rc=") == std::string::npos) continue;
        const size_t data = line.find(" data=");
        const std::string message = data == std::string::npos ? "" : line.substr(data + 6 + 16, 4);
        if (line.find(" rc=4 ") == std::string::npos || (message != "0101" && message != "0201")) ++s.unseenEvents;
    }
    return s;
}

// The load's counts against the host's summary: calls, failures, pages, the refused requests' codes.
void ExpectHostsCounts(const Parsed& p, const HostSession& s) {
    ASSERT_EQ(p.loads.size(), 1u);
    const LoadSummary& L = p.loads[0];
    EXPECT_EQ(L.calls + s.unseenEvents, atol(SummaryValue(s.host.out, "Calls made:").c_str()));
    EXPECT_EQ(L.failures, atol(SummaryValue(s.host.out, "Failures:").c_str()));
    EXPECT_EQ(L.pages, atol(SummaryValue(s.host.out, "Pages transferred:").c_str()));
    std::vector<std::string> reported, refused;
    for (const FailureEntry& f : L.failureList) reported.push_back(f.conditionCode);
    std::istringstream lines(s.host.out.substr(std::min(s.host.out.size(), s.host.out.find("\nRefused as expected:\n"))));
    std::string line;
    std::getline(lines, line) && std::getline(lines, line);
    while (std::getline(lines, line) && line.compare(0, 2, "  ") == 0) refused.push_back(line.substr(line.rfind(": ") + 2));
    EXPECT_EQ(reported, refused);
    EXPECT_TRUE(p.unparsed.empty());
    EXPECT_EQ(L.unfinished, 0);
}

TEST(ReportAgainstHost, CountsEqualTheHostsSummaryForEveryScenarioAndTheGoldenTraces) {
    const std::vector<std::vector<std::string>> kRuns = {
        {"session"}, {"scans"}, {"capabilities"}, {"errors"}, {"session", "--twain2"}, {"scans", "--twain2"}};
    for (const std::vector<std::string>& arguments : kRuns) {
        SCOPED_TRACE(arguments[0] + (arguments.size() > 1 ? " " + arguments[1] : ""));
        const HostSession s = RunHostScenario(arguments);
        ASSERT_EQ(s.host.exitCode, 0) << s.host.out << s.host.err;
        ASSERT_FALSE(s.trace.empty()) << s.host.out;
        const Parsed p = Parse(s.trace);
        ExpectHostsCounts(p, s);
        // A TWAIN 2 source tells the application "transfer ready" itself, and that is counted apart.
        EXPECT_EQ(p.loads.at(0).sourceCalls > 0, arguments.size() > 1);
        if (arguments.size() > 1 || arguments[0] != "session") continue;
        ASSERT_EQ(p.loads[0].failureList.size(), 1u);
        EXPECT_EQ(p.loads[0].failureList[0].triplet + " " + p.loads[0].failureList[0].cap, "DG_CONTROL/DAT_CAPABILITY/MSG_SET ICAP_XRESOLUTION");
        for (const char* golden : {"session_linux.txt", "session_macos.txt"}) {
            SCOPED_TRACE(golden);
            const Parsed g = Parse(ReadFile(kGoldenDir + golden));
            ExpectHostsCounts(g, s);
            EXPECT_TRUE(g.loads.at(0).application.Known());
        }
    }
}

// ---- tracewell diff and the command ----

// Every address and request number changed, as in another run of the same session.
std::string Shifted(const std::string& trace) {
    std::string out = trace;
    for (size_t at = 0; (at = out.find("<0x5c", at)) != std::string::npos; at += 5) out.replace(at + 3, 2, "7f");
    for (size_t at = 0; (at = out.find("\r\n[000", at)) != std::string::npos; at += 5) out[at + 5] = '9';
    if (out.compare(0, 4, "[000") == 0) out[3] = '9';
    return out;
}

TEST(TraceDiff, ReportsWhereSessionsPartAndNothingElse) {
    ScratchDir dir;
    const std::string golden = ReadFile(kGoldenDir + "session_macos.txt");
    const std::string a = dir.Write("a.txt", golden);
    const std::string changed = Replace(golden, "      Item     = [100.000]", "      Item     = [150.000]");
    ASSERT_NE(changed, golden);
    const size_t call20 = golden.find("[00020]"), call21 = golden.find("[00021]");
    const struct { const char* name; std::string other; int status; std::vector<std::string> expected; } kCases[] = {
        {"another run: addresses and request numbers differ", Shifted(golden), 0, {"No difference"}},
        {"one capability value changed", changed, 1,
         {"Capability values that differ: 1\n  ICAP_XRESOLUTION  TW_CAPABILITY/TW_ONEVALUE Item: A 100.000, B 150.000",
          "Other values that differ: 0\n", "Calls in one session only: 0\n", "A call 15 [00015]"}},
        {"a call left out", golden.substr(0, call20) + golden.substr(call21), 1,
         {"only in A: [00020] DG_CONTROL/DAT_CAPABILITY/MSG_GET (ICAP_XFERMECH)", "Calls in one session only: 1\n",
          "Capability values that differ: 0\n", "A call 20 [00020]"}},
        {"the other ends early", golden.substr(0, golden.find("[00046]")), 1, {"only in A: [00046]", "only in A: [00047]", "B ends first"}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::ostringstream out, err;
        EXPECT_EQ(Diff({a, dir.Write("b.txt", c.other)}, out, err), c.status) << out.str() << err.str();
        for (const std::string& e : c.expected) EXPECT_THAT(out.str(), HasSubstr(e));
        if (c.status == 0) { EXPECT_THAT(out.str(), ::testing::Not(HasSubstr("part at"))); }
    }
}

TEST(ReportCommand, ExitCodesAndReasonsOfReportDiffAndTheTracewellCommand) {
    ScratchDir dir;
    const std::string trace = dir.Write("t.txt", Crlf(kOpenCall));
    const std::string noise = dir.Write("noise.bin", std::string("\x01\x02\xff garbage\n", 13));
    const std::string golden = kGoldenDir + "session_macos.txt";
    const struct {
        int (*run)(const std::vector<std::string>&, std::ostream&, std::ostream&);  // null: the tracewell command
        std::vector<std::string> arguments; int status; const char* inOut; const char* inErr;
    } kCases[] = {
        {Report, {trace}, 0, "Calls:       1 into the source", ""},
        {Report, {"--help"}, 0, "Usage: tracewell report", ""},
        {Report, {}, 2, "", "no trace file given"},
        {Report, {"--html"}, 2, "", "--html needs the path"},
        {Report, {"--xml", trace}, 2, "", "unknown option '--xml'"},
        {Report, {trace, dir.File("absent.txt")}, 1, "absent.txt: cannot be read", "No such file"},
        {Report, {noise}, 1, "no TWAIN call found", "holds no TWAIN call"},
        {Report, {trace, "--html", dir.File("no/such/dir/page.html")}, 1, "", "cannot write the page"},
        {Diff, {trace, trace, trace}, 2, "", "two trace files are needed, 3 given"},
        {Diff, {trace, dir.File("absent.txt")}, 2, "", "No such file"},
        {Diff, {trace, noise}, 2, "", "holds no TWAIN call"},
        {Diff, {"--bogus", trace, trace}, 2, "", "unknown option '--bogus'"},
        {nullptr, {"report", golden}, 0, "tests/golden/session_macos.txt, load 1 (lines 1 to 855)", ""},
        {nullptr, {"diff", golden, golden}, 0, "A: ", ""},
        {nullptr, {"report"}, 2, "", ""},
    };
    for (const auto& c : kCases) {
        std::string arguments;
        for (const std::string& a : c.arguments) arguments += " " + a;
        SCOPED_TRACE(arguments);
        ProgramRun run;
        if (c.run) {
            std::ostringstream out, err;
            run = {c.run(c.arguments, out, err), out.str(), err.str()};
        } else {
            run = RunProgram(TRACEWELL_COMMAND, c.arguments);
        }
        EXPECT_EQ(run.exitCode, c.status) << run.err;
        EXPECT_THAT(run.out, HasSubstr(c.inOut));
        EXPECT_THAT(run.err, HasSubstr(c.inErr));
    }
}

}  // namespace
