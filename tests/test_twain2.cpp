// The virtual scanner driven directly through its factory as a TWAIN 2 source, and the session
// host as a TWAIN 2 Source Manager: the entry-point exchange, the memory the source hands out, and
// whole host sessions, alone and through Tracewell, compared in both directions (which also shows
// the messages the source sends through DSM_Entry, and from within which call).
#include <dlfcn.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
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
#include "tracewell/TripletOperator.h"
#include "twaintbl.h"

namespace {

using ::testing::HasSubstr;

const std::string kScanner = SCANNER_WHOLE;

constexpr TW_ID kApplicationId = 5;
constexpr TW_ID kSourceId = 7;

// The stand-in Source Manager: takes every message and counts the memory functions.
struct Manager {
    int allocations = 0;
    int frees = 0;
    int locks = 0;
    int unlocks = 0;
    TW_HANDLE lastAllocated = nullptr;
    FixedArena* arena = nullptr;
};

Manager g_manager;

TW_UINT16 RecordingEntry(TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF) { return TWRC_SUCCESS; }

TW_HANDLE RecordingAllocate(TW_UINT32 size) {
    ++g_manager.allocations;
    g_manager.lastAllocated = g_manager.arena->NewHandle(size);
    return g_manager.lastAllocated;
}
void RecordingFree(TW_HANDLE) { ++g_manager.frees; }
TW_MEMREF RecordingLock(TW_HANDLE handle) {
    ++g_manager.locks;
    return FixedArena::Block(handle);
}
void RecordingUnlock(TW_HANDLE) { ++g_manager.unlocks; }

TW_ENTRYPOINT CompleteEntryPoints() {
    return {sizeof(TW_ENTRYPOINT), RecordingEntry, RecordingAllocate, RecordingFree, RecordingLock, RecordingUnlock};
}

class Twain2Scanner : public ::testing::Test {
protected:
    void SetUp() override {
        g_manager = Manager();
        g_manager.arena = &m_arena;
        m_module = dlopen(kScanner.c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(m_module, nullptr) << dlerror();
        m_create = reinterpret_cast<CreateCorvaleFn>(dlsym(m_module, "CreateCorvale"));
        ASSERT_NE(m_create, nullptr);
        m_application.Id = kApplicationId;
        m_application.SupportedGroups = DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2;
        strcpy(m_application.ProductName, "test application");
    }
    void TearDown() override {
        if (m_operator != nullptr) m_operator->Release();
        if (m_module != nullptr) dlclose(m_module);
        g_manager = Manager();
    }

    void Restart() {
        if (m_operator != nullptr) m_operator->Release();
        m_operator = nullptr;
        g_manager = Manager();
        g_manager.arena = &m_arena;
        ASSERT_EQ(m_create("tracewell.ds", &m_operator), 0);
        ASSERT_NE(m_operator, nullptr);
    }

    TW_UINT16 Call(TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg, void* data) {
        return m_operator->OperateTriplet(&m_application, dg, dat, msg, data);
    }

    TW_UINT16 Condition() {
        TW_STATUS status = {};
        EXPECT_EQ(Call(DG_CONTROL, DAT_STATUS, MSG_GET, &status), TWRC_SUCCESS);
        return status.ConditionCode;
    }

    // MSG_SET of a one-value container; a TW_FIX32 item is given as its whole part.
    TW_UINT16 Set(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 value) {
        TW_CAPABILITY capability = {cap, TWON_ONEVALUE, m_arena.NewHandle(sizeof(TW_ONEVALUE))};
        auto* one = static_cast<TW_ONEVALUE*>(FixedArena::Block(capability.hContainer));
        one->ItemType = itemType;
        memcpy(&one->Item, &value, sizeof(value));
        return Call(DG_CONTROL, DAT_CAPABILITY, MSG_SET, &capability);
    }

    TW_UINT16 GiveEntryPoints(TW_ENTRYPOINT entryPoints) {
        m_entryPoints = entryPoints;
        return Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, &m_entryPoints);
    }

    TW_UINT16 PassEvent(TW_UINT16* message) {
        TW_EVENT event = {};
        event.TWMessage = 0xFFFF;
        const TW_UINT16 rc = Call(DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        *message = event.TWMessage;
        return rc;
    }

    FixedArena m_arena{0x19000000, 16 << 20};
    void* m_module = nullptr;
    CreateCorvaleFn m_create = nullptr;
    CTripletOperator* m_operator = nullptr;
    TW_IDENTITY m_application = {};
    TW_ENTRYPOINT m_entryPoints = {};
};

TEST_F(Twain2Scanner, TakesTheEntryPointsBeforeOpeningAndOnlyWhole) {
    // What, whether the source is open first, the structure's size, which function is null (0 none,
    // 1 DSM_Entry .. 5 DSM_MemUnlock), the condition.
    const std::tuple<const char*, bool, size_t, int, TW_UINT16> kCases[] = {
        {"all five functions before opening", false, sizeof(TW_ENTRYPOINT), 0, TWCC_SUCCESS},
        {"a structure larger than the scanner knows", false, sizeof(TW_ENTRYPOINT) + 8, 0, TWCC_SUCCESS},
        {"a structure of an older, smaller size", false, sizeof(TW_ENTRYPOINT) - 8, 0, TWCC_BADVALUE},
        {"no DSM_Entry", false, sizeof(TW_ENTRYPOINT), 1, TWCC_BADVALUE},
        {"no DSM_MemAllocate", false, sizeof(TW_ENTRYPOINT), 2, TWCC_BADVALUE},
        {"no DSM_MemUnlock", false, sizeof(TW_ENTRYPOINT), 5, TWCC_BADVALUE},
        {"the source already open", true, sizeof(TW_ENTRYPOINT), 0, TWCC_SEQERROR},
    };
    for (const auto& [what, openFirst, size, missing, condition] : kCases) {
        SCOPED_TRACE(what);
        Restart();
        if (openFirst) {
            TW_IDENTITY identity = {};
            ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);
        }
        TW_ENTRYPOINT entryPoints = CompleteEntryPoints();
        entryPoints.Size = static_cast<TW_UINT32>(size);
        if (missing == 1) entryPoints.DSM_Entry = nullptr;
        if (missing == 2) entryPoints.DSM_MemAllocate = nullptr;
        if (missing == 5) entryPoints.DSM_MemUnlock = nullptr;
        const TW_ENTRYPOINT sent = entryPoints;
        EXPECT_EQ(GiveEntryPoints(entryPoints), condition == TWCC_SUCCESS ? TWRC_SUCCESS : TWRC_FAILURE);
        EXPECT_EQ(Condition(), condition);
        EXPECT_TRUE(m_entryPoints.Size == sent.Size && m_entryPoints.DSM_Entry == sent.DSM_Entry &&
                    m_entryPoints.DSM_MemAllocate == sent.DSM_MemAllocate && m_entryPoints.DSM_MemFree == sent.DSM_MemFree &&
                    m_entryPoints.DSM_MemLock == sent.DSM_MemLock && m_entryPoints.DSM_MemUnlock == sent.DSM_MemUnlock)
            << "the Source Manager's structure is its own";
    }
    Restart();
    EXPECT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET, nullptr), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADVALUE);
    EXPECT_EQ(Call(DG_CONTROL, DAT_ENTRYPOINT, MSG_GET, &m_entryPoints), TWRC_FAILURE);
    EXPECT_EQ(Condition(), TWCC_BADPROTOCOL);
}

TEST_F(Twain2Scanner, PresentsItselfAsTwain2OnlyToATwain2SourceManager) {
    const std::tuple<const char*, TW_UINT32, bool> kCases[] = {  // what, the application's groups, TWAIN 2
        {"a TWAIN 1.9 application", DG_CONTROL | DG_IMAGE, false},
        {"a TWAIN 2 application under a 1.x Source Manager", DG_CONTROL | DG_IMAGE | DF_APP2, false},
        {"a TWAIN 2 application under a TWAIN 2 Source Manager", DG_CONTROL | DG_IMAGE | DF_APP2 | DF_DSM2, true},
    };
    for (const auto& [what, groups, twain2] : kCases) {
        SCOPED_TRACE(what);
        for (const TW_UINT16 msg : {MSG_GET, MSG_OPENDS}) {
            Restart();
            m_application.SupportedGroups = groups;
            TW_IDENTITY identity = {};
            identity.Id = kSourceId;
            ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, msg, &identity), TWRC_SUCCESS);
            EXPECT_EQ((identity.SupportedGroups & DF_DS2) != 0, twain2) << msg;
            EXPECT_EQ(identity.SupportedGroups & ~DF_DS2, DG_CONTROL | DG_IMAGE);
            EXPECT_EQ(identity.ProtocolMajor, twain2 ? 2 : 1);
            EXPECT_EQ(identity.Id, kSourceId) << "the Id is the Source Manager's";
        }
    }
}

// Containers and images come from the Source Manager's functions once it gave them, and the
// application's containers are read through its lock; without them nothing reaches those functions.
TEST_F(Twain2Scanner, HandsOutMemoryFromTheSourceManagersFunctions) {
    for (const bool entryPoints : {true, false}) {
        SCOPED_TRACE(entryPoints ? "with entry points" : "without");
        Restart();
        if (entryPoints) {
            ASSERT_EQ(GiveEntryPoints(CompleteEntryPoints()), TWRC_SUCCESS);
        }
        TW_IDENTITY identity = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &identity), TWRC_SUCCESS);

        TW_CAPABILITY capability = {ICAP_PIXELTYPE, static_cast<TW_UINT16>(TWON_DONTCARE16), nullptr};
        ASSERT_EQ(Call(DG_CONTROL, DAT_CAPABILITY, MSG_GET, &capability), TWRC_SUCCESS);
        EXPECT_EQ(g_manager.allocations, entryPoints ? 1 : 0);
        const TW_HANDLE container = capability.hContainer;  // packed in the linux ABI: no reference to it
        EXPECT_TRUE(!entryPoints || container == g_manager.lastAllocated);
        EXPECT_EQ(g_manager.locks, g_manager.unlocks) << "every lock is undone";
        const int locksBefore = g_manager.locks;
        ASSERT_EQ(Set(ICAP_PIXELTYPE, TWTY_UINT16, TWPT_BW), TWRC_SUCCESS);
        EXPECT_EQ(g_manager.locks - locksBefore, entryPoints ? 1 : 0) << "the application's container is locked to be read";

        ASSERT_EQ(Set(ICAP_XRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
        ASSERT_EQ(Set(ICAP_YRESOLUTION, TWTY_FIX32, 75), TWRC_SUCCESS);
        TW_USERINTERFACE ui = {};
        ASSERT_EQ(Call(DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui), TWRC_SUCCESS);
        TW_UINT16 message;
        for (int i = 0; i < 2 && !entryPoints; ++i) PassEvent(&message);
        const int allocationsBefore = g_manager.allocations;
        TW_HANDLE image = nullptr;
        ASSERT_EQ(Call(DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &image), TWRC_XFERDONE);
        ASSERT_NE(image, nullptr);
        EXPECT_EQ(g_manager.allocations - allocationsBefore, entryPoints ? 1 : 0);
        EXPECT_TRUE(!entryPoints || image == g_manager.lastAllocated);
        EXPECT_EQ(g_manager.locks, g_manager.unlocks);
        EXPECT_EQ(g_manager.frees, 0) << "what the source hands out is the application's to free";
    }
}

// ----- Whole sessions through the session host -----

const std::string kHost = TRACEWELL_BINARY_DIR "/host/tracewell_host";
const std::string kStandard = STANDARD_SOURCE;
const std::string kDemo = TRACEWELL_BINARY_DIR "/demo/tracewell.ds";
const std::string kDemoLog = TRACEWELL_BINARY_DIR "/demo/log";
const std::string kDemoBundle = TRACEWELL_BINARY_DIR "/demo/Corvale.bundle";
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

// The state path of the trace: a page announced from inside MSG_ENABLEDS shows 6 at once (the
// request line of MSG_ENABLEDS has no status of its own), one announced while the application
// waits follows the 5 of MSG_ENABLEDS; MSG_CLOSEDSREQ leaves 4 for MSG_DISABLEDS.
const struct Twain2Scenario {
    const char* name;
    int pages;
    std::vector<MessageSeen> messages;
    std::vector<int> statePath;
} kTwain2Scenarios[] = {
    {"session", 2, {{kXferReady, true, kEnable}}, {3, 4, 6, 7, 6, 7, 5, 4, 3}},
    {"scans",
     4,
     {{kCloseOk, true, kEvent}, {kXferReady, true, kEnable}, {kXferReady, true, kEvent}, {kCloseRequest, true, kEvent}},
     {3, 4, 6, 7, 6, 7, 5, 4, 5, 6, 7, 6, 7, 5, 4, 3}},
};

ProgramRun RunHost(const std::string& module, const std::string& logDir, const std::string& transcript,
                   const std::string& scenario, bool twain2 = true) {
    std::vector<std::string> arguments = {"--module", module, "--log-dir", logDir, "--transcript", transcript,
                                          "--head", "0", scenario};
    if (twain2) arguments.insert(arguments.begin(), "--twain2");
    return RunProgram(kHost, arguments);
}

// What a traced run left: the host's output and transcript and the trace it wrote.
struct TracedRun {
    ProgramRun host;
    std::string transcript;
    std::string trace;
};

TracedRun RunThrough(const std::string& module, const std::string& logDir, const std::string& scenario,
                     bool twain2 = true) {
    ScratchDir scratch;
    RemoveTree(logDir);
    TracedRun run;
    run.host = RunHost(module, logDir, scratch.File("transcript"), scenario, twain2);
    run.transcript = ReadFile(scratch.File("transcript"));
    const std::string tracePath = SummaryValue(run.host.out, "Trace file:");
    if (tracePath.compare(0, 1, "/") == 0) run.trace = ReadFile(tracePath);
    RemoveTree(logDir);
    return run;
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
    std::vector<std::string> wanted, traced;
    // The virtual scanner is the wrapped maker's source.
    TraceAsMakersSource();
    for (const TranscriptLine& line : ordered) {
        if (line.triplet == kEvent) continue;  // events are left out of the trace by design
        TW_UINT32 dg = 0;
        unsigned dat = 0, msg = 0;
        sscanf(line.triplet.c_str(), "%x/%x/%x", &dg, &dat, &msg);
        char number[32], datName[64] = {}, msgName[64] = {};
        snprintf(number, sizeof(number), "[%05zu] ", wanted.size() + 1);
        LookupDatName(static_cast<TW_UINT16>(dat), datName);
        LookupMsgName(static_cast<TW_UINT16>(msg), msgName);
        wanted.push_back(number + std::string(line.fromSource ? "[DS] " : "[APP] ") + "DG_" +
                         (dg == DG_IMAGE ? "IMAGE" : "CONTROL") + "/" + datName + "/" + msgName);
    }
    for (const std::string& line : RequestLines(run.trace)) traced.push_back(line.substr(0, line.find(" (")));
    EXPECT_EQ(traced, wanted);
}

// The host plays each scenario as a TWAIN 1.x Source Manager against the standard source alone and
// then through Tracewell and the adapter; the errors and capabilities scenarios keep their answers
// under a TWAIN 2 Source Manager.
TEST(Adapter, ScenariosThroughTracewellMatchTheSourceAloneAndKeepTheirAnswersUnderTwain2) {
    const auto refused = [](const std::string& out) {
        const size_t from = out.find("Refused as expected:");
        return out.substr(from, out.find("Trace file:") - from);
    };
    for (const std::string scenario : {"session", "capabilities", "errors"}) {
        SCOPED_TRACE(scenario);
        ScratchDir scratch;
        const ProgramRun plain = RunHost(kStandard, scratch.File("log"), scratch.File("plain"), scenario, false);
        ASSERT_EQ(plain.exitCode, 0) << plain.out << plain.err;
        const std::string expected = ReadFile(scratch.File("plain"));
        ASSERT_FALSE(expected.empty());
        EXPECT_EQ(std::to_string(ReadTranscript(expected).size()), SummaryValue(plain.out, "Calls made:"));
        ExpectTracedAsAlone(RunThrough(kAdapted, kAdaptedLog, scenario, false), expected);
        if (scenario == "session") continue;  // a TWAIN 2 session: the test below
        const ProgramRun twain2 = RunHost(kStandard, scratch.File("log"), scratch.File("transcript"), scenario);
        ASSERT_EQ(twain2.exitCode, 0) << twain2.out << twain2.err;
        EXPECT_EQ(SummaryValue(twain2.out, "Failures:"), SummaryValue(plain.out, "Failures:"));
        EXPECT_EQ(SummaryValue(twain2.out, "Source messages:"), "0");
        EXPECT_EQ(refused(twain2.out), refused(plain.out));
    }
}

const std::tuple<const char*, std::string, std::string> kTracewellBuilds[] = {  // what, the module, its log directory
    {"the demo build over the scanner's bundle", kDemo, kDemoLog},
    {"the installed form over the adapter and the standard scanner", kAdapted, kAdaptedLog},
};

// The host against the standard build of the scanner, nothing between: the Source Manager answers
// its own calls, hands over the entry points just before MSG_OPENDS, and every message of the
// source reaches the application, from within the call it was sent in. Tracewell between them
// changes nothing either side sees, in either direction; its trace shows every call of the
// application's that is traced at all and every message of the source's, once each, numbered in
// one sequence, and the states they lead to. The demo build's trace of the two scans matches its
// golden copy on every run.
TEST(Twain2Host, SessionsThroughTracewellMatchTheScannerAloneAndTraceEveryMessage) {
    for (const Twain2Scenario& scenario : kTwain2Scenarios) {
        SCOPED_TRACE(scenario.name);
        ScratchDir scratch;
        const ProgramRun run = RunHost(kStandard, scratch.File("log"), scratch.File("transcript"), scenario.name);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(SummaryValue(run.out, "Pages transferred:"), std::to_string(scenario.pages));
        EXPECT_EQ(SummaryValue(run.out, "Source messages:"), std::to_string(scenario.messages.size()));
        EXPECT_EQ(SummaryValue(run.out, "Unexpected answers:"), "none");
        const std::string expected = ReadFile(scratch.File("transcript"));
        const std::vector<TranscriptLine> lines = ReadTranscript(expected);
        ASSERT_GE(lines.size(), 3u);
        EXPECT_EQ(lines[0].triplet, Triplet(DG_CONTROL, DAT_IDENTITY, MSG_GET))
            << "MSG_OPENDSM is the Source Manager's own";
        EXPECT_EQ(lines[1].text.substr(6), Triplet(DG_CONTROL, DAT_ENTRYPOINT, MSG_SET) +
                                               " rc=0 Size=" + std::to_string(sizeof(TW_ENTRYPOINT)) +
                                               " DSM_Entry=given DSM_MemAllocate=given DSM_MemFree=given "
                                               "DSM_MemLock=given DSM_MemUnlock=given");
        EXPECT_EQ(lines[2].triplet, Triplet(DG_CONTROL, DAT_IDENTITY, MSG_OPENDS));
        EXPECT_EQ(MessagesSeen(lines), scenario.messages);
        // Each message comes from the source as it was opened (Id 2) to the application (Id 1); the
        // callback is registered with the Source Manager, never passed to the source.
        const std::string zeros(2 * sizeof(TW_ID) - 2, '0');
        for (const TranscriptLine& line : lines) {
            EXPECT_NE(line.triplet, Triplet(DG_CONTROL, DAT_CALLBACK, MSG_REGISTER_CALLBACK));
            if (!line.fromSource) continue;
            EXPECT_THAT(line.text, HasSubstr(" rc=0 from=02" + zeros)) << line.text;
            EXPECT_THAT(line.text, HasSubstr(" to=01" + zeros)) << line.text;
            EXPECT_THAT(line.text, HasSubstr(" data=null")) << line.text;
        }

        for (const auto& [what, module, logDir] : kTracewellBuilds) {
            SCOPED_TRACE(what);
            const TracedRun run = RunThrough(module, logDir, scenario.name);
            ExpectTracedAsAlone(run, expected);
            if (module == kDemo && scenario.name == std::string("scans")) {
                const SplitTrace split = SplitEnvironment(run.trace);
                ExpectMatchesGolden("session_twain2_" TRACEWELL_ABI_NAME ".txt", split.calls);
                EXPECT_EQ(FirstDifference(split.calls, SplitEnvironment(RunThrough(kDemo, kDemoLog, "scans").trace).calls), "")
                    << "on every run";
                ExpectEnvironmentOfTheHost(split, kHost, kDemoBundle, true);
            }
            const std::vector<StateShown> shown = StatesShown(run.trace);
            EXPECT_EQ(StatePath(shown), scenario.statePath);
            // A message shows the state it leads to: a page is ready (6), the source is open (4).
            const std::tuple<std::string, std::string, int> kMessageStates[] = {
                {kXferReady, "[DS] DG_CONTROL/DAT_NULL/MSG_XFERREADY", 6},
                {kCloseRequest, "[DS] DG_CONTROL/DAT_NULL/MSG_CLOSEDSREQ", 4},
                {kCloseOk, "[DS] DG_CONTROL/DAT_NULL/MSG_CLOSEDSOK", 4}};
            for (const auto& m : kMessageStates) {
                const auto sent = std::count_if(scenario.messages.begin(), scenario.messages.end(),
                                                [&](const MessageSeen& seen) { return std::get<0>(seen) == std::get<0>(m); });
                EXPECT_EQ(StatesAfter(shown, std::get<1>(m)), std::vector<int>(sent, std::get<2>(m))) << std::get<1>(m);
            }
        }
    }
}

}  // namespace
