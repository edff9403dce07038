// The source's messages to the application: the entry points a TWAIN 2 source is handed, the
// calls it makes through them reaching the Source Manager unchanged, their trace lines tagged
// [DS], the states they lead to (also when sent from inside MSG_ENABLEDS), and the timing lines.
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include "Common/TwainLog/LoadEnvironment.h"
#include "Common/TwainLog/TwainLog.h"
#include "Entry/DSEntry.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"

namespace {

// The Source Manager's side: records every call that reaches it and answers a scripted code.
using SourceManagerCall = std::tuple<TW_IDENTITY*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF>;
std::vector<SourceManagerCall> g_received;
TW_UINT16 g_sourceManagerCode = TWRC_SUCCESS;

TW_UINT16 SourceManagerEntry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                             TW_MEMREF pData) {
    g_received.emplace_back(pOrigin, pDest, DG, DAT, MSG, pData);
    return g_sourceManagerCode;
}
TW_HANDLE Allocate(TW_UINT32) { return nullptr; }
void Free(TW_HANDLE) {}
TW_MEMREF Lock(TW_HANDLE) { return nullptr; }
void Unlock(TW_HANDLE) {}

class SourceMessageTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_cParaAnalyze = CParaAnalyze();
        g_cParaAnalyze.SetTwainStatus(3);
        g_received.clear();
        g_sourceManagerCode = TWRC_SUCCESS;
        OpenEntry();
        source = arena.New<TW_IDENTITY>();
        application = arena.New<TW_IDENTITY>();
        given = arena.New<TW_ENTRYPOINT>();
        *given = {sizeof(TW_ENTRYPOINT), SourceManagerEntry, Allocate, Free, Lock, Unlock};
        op.fill = [this](TW_MEMREF data) {
            if (op.lastDAT == DAT_ENTRYPOINT) kept = *static_cast<TW_ENTRYPOINT*>(data);
            if (onCall) onCall(op.lastMSG);
        };
    }

    // The application's call, as the Source Manager passes it on.
    TW_UINT16 App(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data = nullptr, TW_UINT32 dg = DG_CONTROL) {
        return DS_Entry(application, dg, dat, msg, data);
    }
    // A message the source sends through the entry points it was handed.
    TW_UINT16 Send(TW_UINT16 dat, TW_UINT16 msg, TW_MEMREF data = nullptr) {
        return kept.DSM_Entry(source, application, DG_CONTROL, dat, msg, data);
    }

    FixedArena arena;
    ScriptedScanner op;
    TW_IDENTITY* source = nullptr;
    TW_IDENTITY* application = nullptr;
    TW_ENTRYPOINT* given = nullptr;
    TW_ENTRYPOINT kept = {};
    std::function<void(TW_UINT16)> onCall;
};

// Every call the source makes through the DSM_Entry it was handed (its other entry points are
// the Source Manager's, below) reaches the real one with all six arguments, and its code comes back.
TEST_F(SourceMessageTest, TheSourceIsHandedTracewellsEntryWhichForwardsUnchanged) {
    TraceCapture capture;
    ASSERT_EQ(App(DAT_ENTRYPOINT, MSG_SET, given), TWRC_SUCCESS);
    const DSMENTRYPROC givenEntry = given->DSM_Entry;  // copied out of the packed structure
    EXPECT_EQ(givenEntry, &SourceManagerEntry) << "the Source Manager's own structure is left alone";

    TW_CALLBACK* callback = arena.New<TW_CALLBACK>();
    for (const TW_UINT16 code : {TWRC_SUCCESS, TWRC_FAILURE, TWRC_CHECKSTATUS, static_cast<TW_UINT16>(0x8123)}) {
        SCOPED_TRACE(code);
        g_received.clear();
        g_sourceManagerCode = code;
        EXPECT_EQ(Send(DAT_CALLBACK, MSG_INVOKE_CALLBACK, callback), code);
        EXPECT_EQ(g_received, (std::vector<SourceManagerCall>{
                                  {source, application, DG_CONTROL, DAT_CALLBACK, MSG_INVOKE_CALLBACK, callback}}));
    }

    // Entry points too short to be read whole are passed on as they came.
    given->Size = sizeof(TW_ENTRYPOINT) - 1;
    App(DAT_ENTRYPOINT, MSG_SET, given);
    EXPECT_EQ(op.lastData, given);
}

// Entry points of a later, longer structure reach the source as many bytes as their Size says,
// the extra ones unchanged, only DSM_Entry replaced. A Size that announces more than can be read
// gives the source what could be read, with a Size saying how much, and never more than a bound.
TEST_F(SourceMessageTest, TheSourceReadsWhatTheSizeOfTheEntryPointsAnnounces) {
    TraceCapture capture;
    std::vector<unsigned char> seen;
    op.fill = [&](TW_MEMREF data) {
        TW_UINT32 size;
        memcpy(&size, data, sizeof size);
        seen.assign(static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    };
    constexpr size_t kKnown = sizeof(TW_ENTRYPOINT);
    // What, the bytes of the structure before memory stops being readable, what its Size announces.
    const std::tuple<const char*, size_t, TW_UINT32> cases[] = {
        {"longer", kKnown + 40, kKnown + 40},
        {"a Size past the readable memory", kKnown + 20, kKnown + 4096},
        {"a Size of all ones", kKnown + 20, 0xFFFFFFFFu},
        {"exactly the known structure", kKnown, kKnown},
    };
    for (const auto& [name, readable, size] : cases) {
        SCOPED_TRACE(name);
        GuardedBytes guarded(readable);
        unsigned char* const bytes = reinterpret_cast<unsigned char*>(guarded.Data());
        memcpy(bytes, given, kKnown);
        memcpy(bytes, &size, sizeof size);
        for (size_t i = kKnown; i < readable; ++i) bytes[i] = static_cast<unsigned char>(i * 7 + 1);
        seen.clear();
        ASSERT_EQ(App(DAT_ENTRYPOINT, MSG_SET, bytes), TWRC_SUCCESS);
        ASSERT_GE(seen.size(), kKnown);
        EXPECT_EQ(seen.size(), std::min<size_t>(readable, size));

        memcpy(&kept, seen.data(), kKnown);
        const DSMENTRYPROC entry = kept.DSM_Entry;
        EXPECT_NE(entry, &SourceManagerEntry);
        // Every other byte is the Source Manager's, Size too where all it announced was read.
        const size_t entryAt = offsetof(TW_ENTRYPOINT, DSM_Entry);
        std::vector<unsigned char> expected(bytes, bytes + seen.size());
        memcpy(expected.data() + entryAt, seen.data() + entryAt, sizeof(DSMENTRYPROC));
        const TW_UINT32 told = static_cast<TW_UINT32>(seen.size());
        memcpy(expected.data(), &told, sizeof told);
        EXPECT_EQ(seen, expected);

        g_received.clear();
        EXPECT_EQ(Send(DAT_NULL, MSG_XFERREADY), TWRC_SUCCESS);
        ASSERT_EQ(g_received.size(), 1u);
        EXPECT_EQ(std::get<4>(g_received[0]), MSG_XFERREADY);
    }

    // Readable memory far past the announced size is still copied only up to a bound.
    unsigned char* const huge = static_cast<unsigned char*>(arena.Alloc(1 << 20));
    memcpy(huge, given, kKnown);
    const TW_UINT32 hugeSize = 1 << 20;
    memcpy(huge, &hugeSize, sizeof hugeSize);
    ASSERT_EQ(App(DAT_ENTRYPOINT, MSG_SET, huge), TWRC_SUCCESS);
    EXPECT_GT(seen.size(), kKnown);
    EXPECT_LE(seen.size(), 4096u);
}

// A message sent while no trace file is open still reaches the Source Manager, untraced.
TEST_F(SourceMessageTest, WithoutATraceFileTheEntryPointsAreTheSourceManagers) {
    App(DAT_ENTRYPOINT, MSG_SET, given);
    EXPECT_EQ(op.lastData, given);
}

// A callback structure of type T that carries `message`.
template <typename T>
T* Callback(FixedArena& arena, TW_UINT16 message) {
    T* callback = arena.New<T>();
    callback->Message = static_cast<TW_INT16>(message);
    return callback;
}

// State after each step, for each form of the messages, sent from inside MSG_ENABLEDS and after it
// returned.
TEST_F(SourceMessageTest, MessagesMoveTheStateAsTheEventsDo) {
    for (const TW_UINT16 form : {DAT_NULL, DAT_CALLBACK, DAT_CALLBACK2}) {
        for (const bool nested : {true, false}) {
            SCOPED_TRACE(testing::Message() << "DAT " << form << (nested ? " inside MSG_ENABLEDS" : " after it"));
            SetUp();
            TraceCapture capture;
            const auto send = [&](TW_UINT16 message) {
                if (form == DAT_NULL) return Send(DAT_NULL, message);
                return Send(form, MSG_INVOKE_CALLBACK, form == DAT_CALLBACK ? static_cast<TW_MEMREF>(Callback<TW_CALLBACK>(arena, message))
                                                                           : Callback<TW_CALLBACK2>(arena, message));
            };
            std::vector<int> states;
            const auto step = [&](TW_UINT16 result) {
                EXPECT_NE(result, TWRC_FAILURE);
                states.push_back(g_cParaAnalyze.GetTwainStatus());
            };
            step(App(DAT_ENTRYPOINT, MSG_SET, given));
            step(App(DAT_IDENTITY, MSG_OPENDS, arena.New<TW_IDENTITY>()));
            int insideEnable = 0;
            if (nested)
                onCall = [&](TW_UINT16 msg) {
                    if (msg != MSG_ENABLEDS) return;
                    send(MSG_XFERREADY);
                    insideEnable = g_cParaAnalyze.GetTwainStatus();
                };
            step(App(DAT_USERINTERFACE, MSG_ENABLEDS, arena.New<TW_USERINTERFACE>()));
            onCall = nullptr;
            if (!nested) step(send(MSG_XFERREADY));
            TW_PENDINGXFERS* pending = arena.New<TW_PENDINGXFERS>();
            for (const TW_UINT16 left : {1, 0}) {
                step(App(DAT_IMAGENATIVEXFER, MSG_GET, arena.New<uint64_t>(), DG_IMAGE));
                pending->Count = left;
                step(App(DAT_PENDINGXFERS, MSG_ENDXFER, pending));
            }
            step(send(MSG_DEVICEEVENT));
            // MSG_CLOSEDSOK (the user's OK in a source enabled for its settings) closes as MSG_CLOSEDSREQ does.
            step(send(nested ? MSG_CLOSEDSREQ : MSG_CLOSEDSOK));
            step(App(DAT_IDENTITY, MSG_CLOSEDS, arena.New<TW_IDENTITY>()));
            const std::vector<int> expected = nested ? std::vector<int>{3, 4, 6, 7, 6, 7, 5, 5, 4, 3}
                                                     : std::vector<int>{3, 4, 5, 6, 7, 6, 7, 5, 5, 4, 3};
            EXPECT_EQ(states, expected);
            EXPECT_EQ(insideEnable, nested ? 6 : 0);

            // Every message appears once, tagged [DS], numbered in turn with the application's calls
            // (where within MSG_ENABLEDS a message stands, the TWAIN 2 session's golden copy shows).
            std::vector<std::string> messages;
            for (const std::string& line : RequestLines(capture.Text()))
                if (line.find("] [DS] ") != std::string::npos) messages.push_back(line.substr(0, 13));
            EXPECT_EQ(messages, (std::vector<std::string>{"[00004] [DS] ", "[00009] [DS] ", "[00010] [DS] "}));
        }
    }
}

// A message the Source Manager refuses leaves the state alone and is marked like any failure.
TEST_F(SourceMessageTest, ARefusedMessageChangesNothing) {
    TraceCapture capture;
    App(DAT_ENTRYPOINT, MSG_SET, given);
    g_cParaAnalyze.SetTwainStatus(5);
    g_sourceManagerCode = TWRC_FAILURE;
    EXPECT_EQ(Send(DAT_NULL, MSG_XFERREADY), TWRC_FAILURE);
    EXPECT_EQ(g_cParaAnalyze.GetTwainStatus(), 5);
    const std::string text = capture.Text();
    EXPECT_NE(text.find("[00002] [DS] DG_CONTROL/DAT_NULL/MSG_XFERREADY\r\n"), std::string::npos);
    EXPECT_NE(text.find("*** Inspect Error Status Start ***"), std::string::npos);
}

// With timing on, the time of forwarding follows the request line and the result section opens
// with how long the source took; the clock is the injected one.
TraceClock StepClock() {
    static int64_t reads = 0;
    TraceClock clock = {};
    clock.local.tm_hour = 22;
    clock.local.tm_min = 43;
    clock.local.tm_sec = 54;
    clock.microseconds = 816123 + reads;
    clock.monotonicNs = reads * 120000;  // 0.120 ms a reading
    ++reads;
    return clock;
}

TEST_F(SourceMessageTest, TimingLinesShowWhenTheCallWasForwardedAndHowLongItTook) {
    TW_STATUS* status = arena.New<TW_STATUS>();
    std::string untimed, timed;
    for (std::string* text : {&untimed, &timed}) {
        g_cParaAnalyze = CParaAnalyze();
        g_cParaAnalyze.SetTwainStatus(3);
        g_bTraceTiming = text == &timed;
        SetTraceClock(g_bTraceTiming ? StepClock : nullptr);
        TraceCapture capture;
        App(DAT_STATUS, MSG_GET, status);
        *text = SplitEnvironment(capture.Text()).calls;
    }
    g_bTraceTiming = false;
    SetTraceClock(nullptr);
    const std::string request = "[00001] [APP] DG_CONTROL/DAT_STATUS/MSG_GET\r\n";
    ASSERT_EQ(untimed.substr(0, request.size()), request);
    // The linux build also names the thread that made the call.
    const std::string thread =
        kTraceNamesItsEnvironment ? " Thread = [" + std::to_string(syscall(SYS_gettid)) + "]" : std::string();
    EXPECT_EQ(timed, request + "        Time = [22:43:54.816123]" + thread + "\r\n" + "        Took = [0.120 ms]\r\n" +
                         untimed.substr(request.size()));
}

}  // namespace
