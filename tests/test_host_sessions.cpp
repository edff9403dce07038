// The session host as a TWAIN 1.x and TWAIN 2 Source Manager, and as the Windows Source Manager
// over a folder of sources: whole sessions, alone and through Tracewell, compared in both
// directions (which also shows the messages the source sends through DSM_Entry, and from within
// which call).
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"
#include "tracewell/twain_values.h"
#include "twaintbl.h"

namespace {

using ::testing::HasSubstr;

const std::string kHost = HOST_PROGRAM;
const std::string kStandard = STANDARD_SOURCE;
const std::string kDemo = DEMO_MODULE;
const std::string kDemoLog = DEMO_LOG_DIR;
const std::string kDemoSource = DEMO_TRACED_SOURCE;
const std::string kAdapted = ADAPTED_MODULE;
const std::string kAdaptedLog = ADAPTED_LOG_DIR;

struct TranscriptLine {
    std::string text;
    bool fromSource;
    int number;      // the call's number, or the message's
    bool inCall;     // a message: sent within the call `call` rather than after it
    int call;
    std::string triplet;  // "dg/dat/msg" as the transcript writes it
};

std::vector<TranscriptLine> ReadTranscript(const std::string& text) {
    std::vector<TranscriptLine> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        TranscriptLine parsed = {};
        parsed.text = line;
        char where[8] = {}, triplet[32] = {};
        if (sscanf(line.c_str(), "DS%d %2[a-z]%d %31s", &parsed.number, where, &parsed.call, triplet) == 4) {
            parsed.fromSource = true;
            parsed.inCall = std::string(where) == "in";
        } else if (sscanf(line.c_str(), "%d %31s", &parsed.number, triplet) == 2) {
            parsed.call = parsed.number;
        } else {
            ADD_FAILURE() << "not a transcript line: " << line;
            continue;
        }
        parsed.triplet = triplet;
        lines.push_back(parsed);
    }
    return lines;
}

std::string Triplet(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
    char text[32];
    snprintf(text, sizeof(text), "%08x/%04x/%04x", static_cast<unsigned>(dg), dat, msg);
    return text;
}

// A message of the source, whether it came within the application's call (or after it), and that call.
using MessageSeen = std::tuple<std::string, bool, std::string>;

std::vector<MessageSeen> MessagesSeen(const std::vector<TranscriptLine>& lines) {
    std::map<int, std::string> calls;
    for (const TranscriptLine& line : lines) {
        if (!line.fromSource) calls[line.number] = line.triplet;
    }
    std::vector<MessageSeen> seen;
    for (const TranscriptLine& line : lines) {
        if (line.fromSource) seen.emplace_back(line.triplet, line.inCall, calls[line.call]);
    }
    return seen;
}

const std::string kEnable = Triplet(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS);
const std::string kEvent = Triplet(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT);
const std::string kXferReady = Triplet(DG_CONTROL, DAT_NULL, MSG_XFERREADY);
const std::string kCloseRequest = Triplet(DG_CONTROL, DAT_NULL, MSG_CLOSEDSREQ);
const std::string kCloseOk = Triplet(DG_CONTROL, DAT_NULL, MSG_CLOSEDSOK);

// Each scenario the host plays, as a TWAIN 1.x and as a TWAIN 2 Source Manager: its name, whether
// TWAIN 2, the pages, the messages of the source, and the state path of the trace. A page announced
// from inside MSG_ENABLEDS shows 6 at once (the request line of MSG_ENABLEDS has no status of its
// own), one announced while the application waits follows the 5 of MSG_ENABLEDS; MSG_CLOSEDSREQ
// leaves 4 for MSG_DISABLEDS.
const std::tuple<std::string, bool, int, std::vector<MessageSeen>, std::vector<int>> kScenarios[] = {
    {"session", false, 2, {}, {3, 4, 5, 6, 7, 6, 7, 5, 4, 3}},
    {"capabilities", false, 0, {}, {3, 4, 3}},
    {"errors", false, 0, {}, {3, 4, 5, 4, 3}},
    {"scans", false, 4, {}, {3, 4, 5, 6, 7, 6, 7, 5, 4, 5, 6, 7, 6, 7, 5, 4, 3}},
    {"session", true, 2, {{kXferReady, true, kEnable}}, {3, 4, 6, 7, 6, 7, 5, 4, 3}},
    {"scans", true, 4,
     {{kCloseOk, true, kEvent}, {kXferReady, true, kEnable}, {kXferReady, true, kEvent}, {kCloseRequest, true, kEvent}},
     {3, 4, 6, 7, 6, 7, 5, 4, 5, 6, 7, 6, 7, 5, 4, 3}},
    {"capabilities", true, 0, {}, {3, 4, 3}},
    {"errors", true, 0, {}, {3, 4, 5, 4, 3}},
};

// The host over the source `module` ({"--module", path}, or {"--twain-dir", folder} for the sources
// found in a folder).
ProgramRun RunHost(const std::vector<std::string>& module, const std::string& logDir, const std::string& transcript,
                   const std::string& scenario, bool twain2 = true) {
    std::vector<std::string> arguments = {"--log-dir", logDir, "--transcript", transcript, "--head", "0", scenario};
    arguments.insert(arguments.begin(), module.begin(), module.end());
    if (twain2) arguments.insert(arguments.begin(), "--twain2");
    return RunProgram(kHost, arguments);
}

// What a traced run left: the host's output and transcript, the trace it wrote, its last file.
struct TracedRun {
    ProgramRun host;
    std::string transcript;
    std::string trace;
    std::string lastFile;
};

TracedRun RunThrough(const std::vector<std::string>& module, const std::string& logDir, const std::string& scenario,
                     bool twain2 = true) {
    ScratchDir scratch;
    const std::vector<std::string> before = TraceFilesIn(logDir);
    TracedRun run;
    run.host = RunHost(module, logDir, scratch.File("transcript"), scenario, twain2);
    run.transcript = ReadFile(scratch.File("transcript"));
    // Every trace the run began, in order: the Windows build ends its trace after the call that
    // closes the last open source and goes on in a new one at the next call; two loads within one
    // millisecond share a file.
    for (const std::string& path : TraceFilesIn(logDir)) {
        if (std::find(before.begin(), before.end(), path) != before.end()) continue;
        run.trace += ReadFile(path), run.lastFile = path;
        remove(path.c_str());
    }
    return run;
}

// A request line as the trace writes it, without what follows the triplet, named as this build's
// tables name it.
std::string RequestText(size_t number, bool fromSource, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg) {
    char text[32], datName[64] = {}, msgName[64] = {};
    snprintf(text, sizeof(text), "[%05zu] ", number);
    LookupDatName(dat, datName);
    LookupMsgName(msg, msgName);
    return text + std::string(fromSource ? "[DS] " : "[APP] ") + "DG_" + (dg == DG_IMAGE ? "IMAGE" : "CONTROL") + "/" +
           datName + "/" + msgName;
}

// The request lines of a trace without their details.
std::vector<std::string> Requests(const std::string& trace) {
    std::vector<std::string> requests;
    for (const std::string& line : RequestLines(trace)) requests.push_back(line.substr(0, line.find(" (")));
    return requests;
}

// A run through Tracewell against the transcript of the same scenario played against the source
// alone: the transcript (every return code, every byte of every structure, container, strip and
// image) is the same, and the trace shows every call of the application's that is traced at all
// and every message of the source's, once each, numbered in one sequence. In the trace a message
// sent within a call follows that call's request line; the transcript writes a call once it has
// returned.
void ExpectTracedAsAlone(const TracedRun& run, const std::string& alone) {
    ASSERT_EQ(run.host.exitCode, 0) << run.host.out << run.host.err;
    EXPECT_EQ(FirstDifference(alone, run.transcript), "");
    ASSERT_FALSE(run.trace.empty()) << run.host.out;
    std::vector<TranscriptLine> ordered = ReadTranscript(alone);
    std::stable_sort(ordered.begin(), ordered.end(), [](const TranscriptLine& a, const TranscriptLine& b) {
        const auto key = [](const TranscriptLine& l) { return 2 * l.call + (l.fromSource ? 1 : 0); };
        return key(a) < key(b);
    });
    std::vector<std::string> wanted;
    // The virtual scanner is the wrapped maker's source.
    TraceAsMakersSource();
    for (const TranscriptLine& line : ordered) {
        if (line.triplet == kEvent) continue;  // events are left out of the trace by design
        TW_UINT32 dg = 0;
        unsigned dat = 0, msg = 0;
        sscanf(line.triplet.c_str(), "%x/%x/%x", &dg, &dat, &msg);
        wanted.push_back(RequestText(wanted.size() + 1, line.fromSource, dg, static_cast<TW_UINT16>(dat),
                                     static_cast<TW_UINT16>(msg)));
    }
    EXPECT_EQ(Requests(run.trace), wanted);
}

// The handle a structure carries at `offset`, as the transcript writes the structure's bytes.
uint64_t HandleWritten(const std::string& line, size_t offset) {
    const size_t at = line.find(" data=");
    if (at == std::string::npos || line.size() < at + 6 + 2 * (offset + sizeof(TW_HANDLE))) return 0;
    uint64_t value = 0;
    for (size_t i = sizeof(TW_HANDLE); i-- > 0;)
        value = value << 8 | std::stoul(line.substr(at + 6 + 2 * (offset + i), 2), nullptr, 16);
    return value;
}

// Every container and native image the application receives reaches the transcript, read within
// its block, whether the source made it with its own memory (a TWAIN 1.x session) or with the
// Source Manager's (TWAIN 2). Where the system places blocks anywhere, the handle in a structure
// is written as the block's number, and each call's container or image is a block the host had not
// known before.
void ExpectHandlesRead(const std::vector<TranscriptLine>& lines, bool images) {
    const std::string capability = Triplet(DG_CONTROL, DAT_CAPABILITY, 0).substr(0, 14);
    int containers = 0, imagesRead = 0;
    uint64_t lastNumber = 0;
    for (const TranscriptLine& line : lines) {
        const bool isContainer = line.triplet.compare(0, capability.size(), capability) == 0 &&
                                 line.text.find(" rc=0 ") != std::string::npos;
        const bool isImage = line.triplet == Triplet(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET) &&
                             line.text.find(" rc=6 ") != std::string::npos;
        if (!isContainer && !isImage) continue;
        containers += isContainer;
        imagesRead += isImage;
        EXPECT_THAT(line.text, HasSubstr(isContainer ? " container=" : " image=")) << "unread";
        if (!GOLDEN_MASKS_POINTERS) continue;
        const uint64_t number = HandleWritten(line.text, isContainer ? offsetof(TW_CAPABILITY, hContainer) : 0);
        EXPECT_GT(number, lastNumber) << line.text;
        EXPECT_LT(number, 100000u) << "an address, not a block's number: " << line.text;
        lastNumber = number;
    }
    EXPECT_GT(containers, 0);
    EXPECT_EQ(imagesRead > 0, images);
}

const std::tuple<const char*, std::string, std::string> kTracewellBuilds[] = {  // what, the module, its log directory
    {"the installed form over the adapter and the standard scanner", kAdapted, kAdaptedLog},
    {"the demo build over the scanner's bundle", kDemo, kDemoLog},
};

// The host against the standard build of the scanner, nothing between: a scenario keeps its
// answers under either Source Manager; a TWAIN 2 one answers its own calls, hands over the entry
// points just before MSG_OPENDS, and every message of the source reaches the application, from
// within the call it was sent in. Tracewell between them changes nothing either side sees, in
// either direction; its trace shows every call of the application's that is traced at all and
// every message of the source's, once each, numbered in one sequence, and the states they lead
// to. The demo build's trace of the two scans matches its golden copy.
TEST(HostSessions, ThroughTracewellTheyMatchTheScannerAloneAndTraceEveryMessage) {
    std::map<std::string, std::string> refusedUnderTwain1;
    for (const auto& [name, twain2, pages, messages, statePath] : kScenarios) {
        SCOPED_TRACE(name + (twain2 ? ", TWAIN 2" : ", TWAIN 1.x"));
        ScratchDir scratch;
        const ProgramRun run =
            RunHost({"--module", kStandard}, scratch.File("log"), scratch.File("transcript"), name, twain2);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(SummaryValue(run.out, "Pages transferred:"), std::to_string(pages));
        EXPECT_EQ(SummaryValue(run.out, "Source messages:"), twain2 ? std::to_string(messages.size()) : "");
        EXPECT_EQ(SummaryValue(run.out, "Unexpected answers:"), "none");
        const size_t from = run.out.find("Refused as expected:");
        const std::string refused = run.out.substr(from, run.out.find("Trace file:") - from);
        if (!twain2) refusedUnderTwain1[name] = refused;
        EXPECT_EQ(refused, refusedUnderTwain1[name]);
        const std::string expected = ReadFile(scratch.File("transcript"));
        const std::vector<TranscriptLine> lines = ReadTranscript(expected);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(std::to_string(lines.size() - messages.size()), SummaryValue(run.out, "Calls made:"));
        if (name == "capabilities" || name == "scans") ExpectHandlesRead(lines, name == "scans");
        EXPECT_EQ(MessagesSeen(lines), messages);
        if (twain2 && name != "errors") {  // the errors scenario calls before it opens the source
            EXPECT_EQ(lines[0].triplet, Triplet(DG_CONTROL, DAT_IDENTITY, MSG_GET))
                << "MSG_OPENDSM is the Source Manager's own";
            EXPECT_EQ(lines[1].text.substr(6), Triplet(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET) +
                                                   " rc=0 Size=" + std::to_string(sizeof(TW_ENTRYPOINT)) +
                                                   " DSM_Entry=given DSM_MemAllocate=given DSM_MemFree=given "
                                                   "DSM_MemLock=given DSM_MemUnlock=given");
            EXPECT_EQ(lines[2].triplet, Triplet(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS));
        }
        // Each message comes from the source as it was opened (Id 2) to the application (Id 1); the
        // callback is registered with the Source Manager, never passed to the source.
        const std::string zeros(2 * sizeof(TW_ID) - 2, '0');
        for (const TranscriptLine& line : lines) {
            EXPECT_NE(line.triplet, Triplet(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK));
            if (!line.fromSource) continue;
            EXPECT_THAT(line.text,
                        AllOf(HasSubstr(" rc=0 from=02" + zeros), HasSubstr(" to=01" + zeros), HasSubstr(" data=null")));
        }

        for (const auto& [what, module, logDir] : kTracewellBuilds) {
            if (module == kDemo && !twain2) continue;
            SCOPED_TRACE(what);
            const TracedRun run = RunThrough({"--module", module}, logDir, name, twain2);
            ExpectTracedAsAlone(run, expected);
            if (module == kDemo && name == "scans") {
                const SplitTrace split = SplitEnvironment(run.trace);
                // The golden copy also pins the state each message shows.
                ExpectMatchesSessionGolden("session_twain2", split.calls);
                ExpectEnvironmentOfTheHost(split, kHost, kDemoSource, true);
            }
            EXPECT_EQ(StatePath(run.trace), statePath);
        }
    }
}

// ----- The Windows Source Manager's way: sources found in a folder -----

namespace fs = std::filesystem;

// The folder a Source Manager of this ABI searches, and a source in a folder of its own whose name
// is not ASCII.
const std::string kTwainFolder = std::string(TRACEWELL_ABI_NAME) == "win32" ? "twain_32" : "twain_64";
const std::string kMakersFolder = "Acm\xc3\xa9";

// A copy of `module` in <scratch>/<kTwainFolder>/Acmé/, the only source there; the folder's path.
std::string FolderWith(const ScratchDir& scratch, const std::string& module, const std::string& name) {
    const fs::path folder = fs::u8path(scratch.File(kTwainFolder));
    fs::create_directories(folder / fs::u8path(kMakersFolder));
    fs::copy_file(fs::u8path(module), folder / fs::u8path(kMakersFolder) / name);
    return scratch.File(kTwainFolder);
}

// The host plays the Windows Source Manager over a folder: it finds the source below it, lists it
// when the application opens the Source Manager (loaded, asked its identity, freed) and loads it
// again for MSG_OPENDS until MSG_CLOSEDS. Tracewell in the source's place changes nothing the
// application sees; each of its two loads traces what it was asked: the list's question, then the
// session, TWAIN 2 entry points first where the application is a TWAIN 2 one.
TEST(SourceFolder, SourcesFoundInTheFolderAreListedThenOpenedAndTracewellInTheirPlaceChangesNothing) {
    // The scenario, whether the application is a TWAIN 2 one (whose session's trace opens with
    // DAT_ENTRYPOINT before MSG_OPENDS), the pages it transfers.
    const std::tuple<const char*, bool, int> kCases[] = {{"session", false, 2}, {"scans", true, 4}};
    TraceAsMakersSource();
    for (const auto& [scenario, twain2, pages] : kCases) {
        SCOPED_TRACE(twain2 ? "a TWAIN 2 application" : "a TWAIN 1.x application");
        ScratchDir scratch;
        const std::string plainFolder = FolderWith(scratch, kStandard, "corvale.ds");
        const ProgramRun plain =
            RunHost({"--twain-dir", plainFolder}, scratch.File("log"), scratch.File("plain"), scenario, twain2);
        ASSERT_EQ(plain.exitCode, 0) << plain.out << plain.err;
        EXPECT_EQ(SummaryValue(plain.out, "Pages transferred:"), std::to_string(pages));
        EXPECT_THAT(plain.out, HasSubstr(kMakersFolder)) << "the source listed with its path";
        const std::string expected = ReadFile(scratch.File("plain"));
        const std::vector<TranscriptLine> lines = ReadTranscript(expected);
        ASSERT_GE(lines.size(), 2u);
        EXPECT_EQ(lines[0].triplet, Triplet(DG_CONTROL, DAT_IDENTITY, MSG_GET)) << "the list's question";

        // Tracewell in the folder traces into a log directory of its own, which its settings name.
        ScratchDir traced;
        const std::string tracedFolder = FolderWith(traced, kAdapted, "tracewell.ds");
        std::ofstream(fs::u8path(tracedFolder) / fs::u8path(kMakersFolder) / "tracewell.conf")
            << "log_dir = " << traced.File("log") << "\n";
        const TracedRun run = RunThrough({"--twain-dir", tracedFolder}, traced.File("log"), scenario, twain2);
        ASSERT_EQ(run.host.exitCode, 0) << run.host.out << run.host.err;
        EXPECT_EQ(FirstDifference(expected, run.transcript), "");
        // Each load starts its numbering anew.
        std::vector<std::string> expectedStart = {RequestText(1, false, DG_CONTROL, DAT_IDENTITY, MSG_GET)};
        if (twain2) expectedStart.push_back(RequestText(1, false, DG_CONTROL, DAT_ENTRYPOINT, MSG_SET));
        expectedStart.push_back(RequestText(twain2 ? 2 : 1, false, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS));
        const std::vector<std::string> requests = Requests(run.trace);
        ASSERT_GE(requests.size(), expectedStart.size());
        EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + expectedStart.size()), expectedStart);
        EXPECT_EQ(std::count_if(requests.begin(), requests.end(),
                                [](const std::string& r) { return r.compare(0, 8, "[00001] ") == 0; }),
                  2)
            << "one load for the list, one for the session";
        EXPECT_EQ(requests.back().substr(8), RequestText(1, false, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS).substr(8));
        EXPECT_EQ(fs::u8path(SummaryValue(run.host.out, "Trace file:")).filename(), fs::u8path(run.lastFile).filename());
    }
}

// The application opens the source it names by the ProductName it answers with, the first one
// listed when it names none; a name no listed source answers with, even one that begins another's,
// ends the run with the names that are listed. The name is the folder's business alone, and fits a
// TW_STR32. A folder without sources is refused.
TEST(SourceFolder, TheApplicationOpensTheSourceItNames) {
    ScratchDir scratch, other;
    const std::string folder = FolderWith(scratch, kStandard, "corvale.ds");
    fs::create_directories(fs::u8path(folder) / "Kovar");
    fs::copy_file(fs::u8path(SECOND_MODEL_SOURCE), fs::u8path(folder) / "Kovar" / "corvale-f20.ds");
    const std::string empty = other.Dir(kTwainFolder);
    std::ofstream(other.File(kTwainFolder + "/readme.txt")) << "no source here\n";
    const std::string longest(33, 'x');
    // What, the arguments, the exit code, what the summary says of the source opened, the error.
    const std::tuple<const char*, std::vector<std::string>, int, const char*, std::string> kCases[] = {
        {"no name: the first listed", {"--twain-dir", folder}, 0, "Corvale F40", ""},
        {"the first listed by its name", {"--twain-dir", folder, "--source", "Corvale F40"}, 0, "Corvale F40", ""},
        {"the second listed by its name", {"--twain-dir", folder, "--source", "Corvale F20"}, 0, "Corvale F20", ""},
        {"a name that begins a listed one's", {"--twain-dir", folder, "--source", "Corvale F4"}, 1, nullptr,
         "answers with the ProductName 'Corvale F4' (listed: 'Corvale F40', 'Corvale F20')"},
        {"a name of 33 characters, listed nowhere", {"--twain-dir", folder, "--source", longest}, 1, nullptr,
         "answers with the ProductName '" + longest + "'"},
        {"a name longer than a ProductName", {"--twain-dir", folder, "--source", longest + "x"}, 2, nullptr,
         "option --source does not take '" + longest + "x'"},
        {"a name without a folder", {"--source", "Corvale F20"}, 2, nullptr, "--twain-dir, which is not given"},
        {"a folder without sources", {"--twain-dir", empty}, 1, nullptr, "no data source (*.ds) in " + empty},
    };
    for (const auto& [what, given, exitCode, opened, error] : kCases) {
        SCOPED_TRACE(what);
        std::vector<std::string> arguments = {"--log-dir", scratch.File("log"), "--head", "0"};
        arguments.insert(arguments.end(), given.begin(), given.end());
        const ProgramRun run = RunProgram(kHost, arguments);
        EXPECT_EQ(run.exitCode, exitCode) << run.out << run.err;
        if (opened != nullptr) {
            EXPECT_THAT(SummaryValue(run.out, "Source opened:"), ::testing::StartsWith(std::string(opened) + ": "));
            EXPECT_EQ(SummaryValue(run.out, "Pages transferred:"), "2");
        }
        EXPECT_THAT(run.err, HasSubstr(error));
    }
}

}  // namespace
