// Faults injected through the real loaded module, with the virtual scanner as its wrapped source:
// a log directory that cannot be written, a full disk, the log directory removed while loaded,
// a thousand load and unload cycles, two threads calling at once, a call re-entered from inside
// the source, and a source that calls DS_Entry from its Release().
#include <dlfcn.h>
#include <linux/capability.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "support/LifecycleModule.h"
#include "support/TraceCalls.h"

namespace {

std::string OnlyTraceFile() {
    const std::vector<std::string> files = TraceFilesIn(kLogDir);
    return files.size() == 1 ? files[0] : "";
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(kLogDir);
        InstallSource(SCANNER_WHOLE);
        mkdir(kLogDir.c_str(), 0755);
    }
    void TearDown() override {
        module.Close();
        chmod(kLogDir.c_str(), 0755);
        RemoveTree(kLogDir);
        RemoveTree(kBundle);
    }
    LifecycleModule module;
};

// DG_CONTROL/DAT_STATUS/MSG_GET answered with a fixed condition code.
TW_UINT16 AnswerStatus(void*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF data) {
    if (data != nullptr) static_cast<TW_STATUS*>(data)->ConditionCode = 7;
    return TWRC_SUCCESS;
}

// Gives up every capability but reading and searching any directory, the user ids kept: root then
// writes only where the owner may, and still reaches a checkout below a directory only root may
// enter (root's home), which another user could not.
bool DropWritePrivileges() {
    __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
    __user_cap_data_struct held[_LINUX_CAPABILITY_U32S_3] = {};
    if (syscall(SYS_capget, &header, held) != 0) return false;
    __user_cap_data_struct kept[_LINUX_CAPABILITY_U32S_3] = {};
    const int word = CAP_TO_INDEX(CAP_DAC_READ_SEARCH);
    kept[word].permitted = kept[word].effective = held[word].permitted & CAP_TO_MASK(CAP_DAC_READ_SEARCH);
    return syscall(SYS_capset, &header, kept) == 0;
}

TEST_F(Faults, ReadOnlyLogDirectoryOnlyForwards) {
    chmod(kLogDir.c_str(), 0555);
    // Root writes anywhere: the child gives that privilege up first.
    const std::string found = RunInChild([this]() -> std::string {
        if (geteuid() == 0 && !DropWritePrivileges()) return "cannot give the privileges up";
        if (access(kLogDir.c_str(), W_OK) == 0) return "the log directory is writable";
        const std::string loaded = module.Load(true);
        if (!loaded.empty()) return loaded;
        for (const int rc : {0, 1, 2, 0x8001}) {
            module.scriptReturnCode(rc);
            if (module.Status() != rc) return "return code " + std::to_string(rc) + " changed";
        }
        module.Close();
        return DirectoryEntries(kLogDir).empty() ? "" : "a file appeared in the read-only directory";
    });
    EXPECT_EQ(found, "");
}

// The same calls in loads under a file-size limit that is raised before the last call, and in one
// without. Each limited trace is the other one's first bytes, what its last line lacks of a line
// end, the line saying how much was lost, and then the last call's text whole. The limits put the
// cut just before a line end, between its "\r" and its "\n", and just after it.
TEST_F(Faults, FullDiskLosesTextVisiblyAndTheNextTextStartsOnItsOwnLine) {
    constexpr int kCallsWhileFull = 12;
    const std::string found = RunInChild([this]() -> std::string {
        signal(SIGXFSZ, SIG_IGN);
        // The trace of a load whose file may grow to `limit` bytes until the last call; 0: no limit.
        std::string trace;
        const auto traced = [&](rlim_t limit) -> std::string {
            const std::string loaded = module.Load(true);
            if (!loaded.empty()) return loaded;
            module.answer(AnswerStatus, nullptr);
            rlimit saved;
            getrlimit(RLIMIT_FSIZE, &saved);
            const rlimit full = {limit, saved.rlim_max};
            if (limit != 0 && setrlimit(RLIMIT_FSIZE, &full) != 0) return "cannot limit the file size";
            for (int i = 0; i < kCallsWhileFull; ++i) {
                if (module.Status() != TWRC_SUCCESS) return "a call under the limit changed its return code";
            }
            setrlimit(RLIMIT_FSIZE, &saved);
            if (module.Status() != TWRC_SUCCESS) return "rc changed";
            const std::string file = OnlyTraceFile();
            if (file.empty()) return "not exactly one trace file";
            module.Close();
            trace = ReadFile(file);
            remove(file.c_str());
            usleep(2000);  // the next load gets a file of its own
            return "";
        };
        std::string failed = traced(0);
        if (!failed.empty()) return failed;
        const std::string full = trace;
        char last[16];
        snprintf(last, sizeof(last), "[%05d] ", kCallsWhileFull + 1);
        const size_t lastCall = full.find(last);
        size_t lineEnd = full.find("\r\n", 700);  // the end of a line that is not empty
        while (lineEnd != std::string::npos && full[lineEnd - 1] == '\n') lineEnd = full.find("\r\n", lineEnd + 2);
        if (lastCall == std::string::npos || lineEnd > lastCall) return "the reference trace lacks the last call";
        const std::regex lostLine("\\*\\*\\* Trace text lost: ([0-9]+) bytes not written \\(([^)]+)\\) \\*\\*\\*\r\n");
        for (const size_t written : {lineEnd, lineEnd + 1, lineEnd + 2}) {
            const std::string where = " (cut after byte " + std::to_string(written) + ")";
            failed = traced(static_cast<rlim_t>(written));
            if (!failed.empty()) return failed + where;
            const std::string& limited = trace;
            const std::string malformed = MalformedAt(limited);
            if (!malformed.empty()) return "the limited trace is not whole lines: " + malformed + where;
            std::smatch lost;
            if (!std::regex_search(limited, lost, lostLine)) return "no lost-text line in:\n" + limited;
            const char cutAfter = full[written - 1];
            const std::string owed = cutAfter == '\n' ? "" : cutAfter == '\r' ? "\n" : "\r\n";
            if (limited.substr(0, lost.position(0)) != full.substr(0, written) + owed)
                return "the text before the lost line is not the first bytes written and a line end" + where;
            if (std::stoul(lost[1]) != lastCall - written)
                return "lost " + lost[1].str() + " bytes, expected " + std::to_string(lastCall - written) + where;
            if (limited.substr(lost.position(0) + lost.length(0)) != full.substr(lastCall))
                return "the text after the lost line is not the next call's text" + where;
        }
        return "";
    });
    EXPECT_EQ(found, "");
}

TEST_F(Faults, LogDirectoryRemovedWhileLoadedChangesNothingForTheCaller) {
    const int descriptors = OpenDescriptorCount();
    ASSERT_EQ(module.Load(true), "");
    EXPECT_EQ(module.Status(), TWRC_SUCCESS);
    RemoveTree(kLogDir);
    for (const int rc : {0, 1, 3}) {
        module.scriptReturnCode(rc);
        EXPECT_EQ(module.Status(), rc);
    }
    module.Close();
    EXPECT_FALSE(ModuleLoaded(LIFECYCLE_MODULE));
    EXPECT_EQ(access(kLogDir.c_str(), F_OK), -1) << "the directory is never made again";
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
}

TEST_F(Faults, ThousandLoadCyclesLeaveNoDescriptorOrMemoryBehind) {
    auto cycle = [this] {
        ASSERT_EQ(module.Load(true), "");
        module.scriptReturnCode(TWRC_CHECKSTATUS);
        ASSERT_EQ(module.Status(), TWRC_CHECKSTATUS);
        module.Close();
    };
    for (int i = 0; i < 20; ++i) cycle();
    const int descriptors = OpenDescriptorCount();
    const size_t heap = LiveHeapBytes();
    const size_t resident = ResidentBytes();
    for (int i = 0; i < 980 && !HasFatalFailure(); ++i) cycle();
    EXPECT_EQ(OpenDescriptorCount(), descriptors);
#if !TRACEWELL_SANITIZED
    EXPECT_LT(LiveHeapBytes(), heap + 64 * 1024) << "heap grew by " << LiveHeapBytes() - heap << " bytes";
    EXPECT_LT(ResidentBytes(), resident + 8 * 1024 * 1024) << "resident memory grew";
#else
    // The sanitizer runtime keeps freed memory in quarantine and bookkeeping for every load of an
    // instrumented module (a bare dlopen and dlclose of the virtual scanner alone grows its heap
    // by some 60 bytes a cycle); a leak of ours is reported by LeakSanitizer at exit instead.
    (void)heap;
    (void)resident;
#endif
    EXPECT_FALSE(ModuleLoaded(LIFECYCLE_MODULE));
    EXPECT_GE(TraceFilesIn(kLogDir).size(), 1u);
}

// Two threads, each with its own structure at its own address: one reads the status, one gets the
// image layout and is failed. Each call's result section must be exactly the one that call alone
// gives, every request line must be there once, and nothing else may be in the file.
TW_UINT16 AnswerTwoCallers(void*, TW_IDENTITY*, TW_UINT32, TW_UINT16 dat, TW_UINT16, TW_MEMREF data) {
    if (dat == DAT_STATUS) return AnswerStatus(nullptr, nullptr, 0, 0, 0, data);
    TW_IMAGELAYOUT* layout = static_cast<TW_IMAGELAYOUT*>(data);
    layout->DocumentNumber = 1;
    layout->PageNumber = 2;
    layout->FrameNumber = 3;
    return TWRC_FAILURE;
}

TEST_F(Faults, TwoThreadsForTenSecondsTraceEveryCallOnceAndWhole) {
    ASSERT_EQ(module.Load(true), "");
    module.answer(AnswerTwoCallers, nullptr);
    TW_STATUS status = {};
    TW_IMAGELAYOUT layout = {};
    const TW_UINT16 kCodes[2] = {TWRC_SUCCESS, TWRC_FAILURE};
    const auto call = [&](int which) {
        return which == 0 ? module.entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status)
                          : module.entry(nullptr, DG_IMAGE, DAT_IMAGELAYOUT, MSG_GET, &layout);
    };
    const std::string file = OnlyTraceFile();
    ASSERT_NE(file, "");
    // Each kind of call alone, to learn its request line (after the call number) and its result.
    std::string request[2], result[2];
    for (int which = 0; which < 2; ++which) {
        const size_t from = ReadFile(file).size();
        ASSERT_EQ(call(which), kCodes[which]);
        const std::string text = ReadFile(file).substr(from + 8);
        request[which] = text.substr(0, text.find("\r\n") + 2);
        result[which] = text.substr(request[which].size());
    }
    ASSERT_NE(result[1].find("*** Inspect Error Status End"), std::string::npos);
    const size_t alone = ReadFile(file).size();

    std::atomic<bool> stop{false};
    std::atomic<int> wrongCodes{0};
    long calls[2] = {0, 0};
    auto caller = [&](int which) {
        while (!stop.load()) {
            for (int burst = 0; burst < 4; ++burst, ++calls[which]) {
                if (call(which) != kCodes[which]) ++wrongCodes;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // keeps the trace to some megabytes
        }
    };
    std::thread first(caller, 0), other(caller, 1);
    std::this_thread::sleep_for(std::chrono::seconds(10));
    stop = true;
    first.join();
    other.join();
    module.Close();
    EXPECT_EQ(wrongCodes.load(), 0);

    // Every byte after the calls made alone belongs to one call's request line or result, whole, and
    // every request number is there once.
    const std::string trace = ReadFile(file).substr(alone);
    ASSERT_EQ(MalformedAt(trace), "");
    const auto count = [&](const std::string& text) {
        long n = 0;
        for (size_t at = trace.find(text); at != std::string::npos; at = trace.find(text, at + text.size())) ++n;
        return n;
    };
    size_t bytes = 0;
    for (int kind = 0; kind < 2; ++kind) {
        EXPECT_EQ(count(request[kind]), calls[kind]);
        EXPECT_EQ(count(result[kind]), calls[kind]);
        bytes += static_cast<size_t>(calls[kind]) * (8 + request[kind].size() + result[kind].size());
    }
    EXPECT_EQ(trace.size(), bytes) << "text of no call";
    std::set<std::string> numbers;
    for (size_t at = 0; at < trace.size(); at = trace.find("\r\n", at) + 2)
        if (trace[at] == '[') numbers.insert(trace.substr(at, 8));
    EXPECT_EQ(numbers.size(), static_cast<size_t>(calls[0] + calls[1])) << "a request number twice";
    EXPECT_GT(calls[0] + calls[1], 1000);
}

// A source that, inside a call, sends a call of its own through the entry point.
struct Reentry {
    DSENTRYPROC entry;
    TW_UINT16 innerCode = 0xFFFF;
};

TW_UINT16 AnswerByCallingAgain(void* context, TW_IDENTITY*, TW_UINT32, TW_UINT16 dat, TW_UINT16, TW_MEMREF data) {
    if (dat == DAT_STATUS) return AnswerStatus(nullptr, nullptr, 0, 0, 0, data);
    Reentry& reentry = *static_cast<Reentry*>(context);
    TW_STATUS status = {};
    reentry.innerCode = reentry.entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    return TWRC_CHECKSTATUS;
}

TEST_F(Faults, CallReenteredFromInsideTheSourceOnTheSameThreadIsTracedAndDoesNotDeadlock) {
    ASSERT_EQ(module.Load(true), "");
    Reentry reentry;
    reentry.entry = module.entry;
    module.answer(AnswerByCallingAgain, &reentry);
    TW_PENDINGXFERS pending = {};
    EXPECT_EQ(module.entry(nullptr, DG_CONTROL, DAT_PENDINGXFERS, MSG_GET, &pending), TWRC_CHECKSTATUS);
    EXPECT_EQ(reentry.innerCode, TWRC_SUCCESS);
    const std::string trace = ReadFile(OnlyTraceFile());
    EXPECT_EQ(MalformedAt(trace), "");
    // The outer request line is written before the call is forwarded.
    EXPECT_EQ(RequestLines(trace), (std::vector<std::string>{"[00001] [APP] DG_CONTROL/DAT_PENDINGXFERS/MSG_GET",
                                                             "[00002] [APP] DG_CONTROL/DAT_STATUS/MSG_GET"}));
    EXPECT_NE(trace.find("Return Code = [TWRC_CHECKSTATUS]"), std::string::npos);
    EXPECT_NE(trace.find("Return Code = [TWRC_SUCCESS]"), std::string::npos);
}

// What the source sees when it calls DS_Entry from Release(), after its operator is gone.
struct ReleaseCall {
    DSENTRYPROC entry;
    const char* (*namePointer)();
    TW_UINT16 code = 0xFFFF;
    std::string name;
    bool ran = false;
};

void CallFromRelease(void* context) {
    ReleaseCall& call = *static_cast<ReleaseCall*>(context);
    call.ran = true;
    call.name = call.namePointer() != nullptr ? call.namePointer() : "(null)";
    TW_STATUS status = {};
    call.code = call.entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
}

TEST_F(Faults, EntryFromReleaseFailsUntracedWhileTheModuleNameStaysValid) {
    ASSERT_EQ(module.Load(true), "");
    ReleaseCall call;
    call.entry = module.entry;
    call.namePointer = module.namePointer;
    module.onRelease(CallFromRelease, &call);
    module.answer(AnswerStatus, nullptr);
    ASSERT_EQ(module.Status(), TWRC_SUCCESS);
    const std::string file = OnlyTraceFile();
    const std::string before = ReadFile(file);
    EXPECT_STREQ(module.namePointer(), "tracewell.ds") << "the name the factory was given outlives the load step";

    dlclose(module.handle);  // the unload sequence releases the operator, which calls DS_Entry
    module.handle = nullptr;
    EXPECT_TRUE(call.ran);
    EXPECT_EQ(call.code, TWRC_FAILURE);
    EXPECT_EQ(call.name, "tracewell.ds");
    EXPECT_EQ(ReadFile(file), before) << "a call during unload is not traced";
}

TEST_F(Faults, EntryAfterTheUnloadSequenceFailsUntraced) {
    ASSERT_EQ(module.Load(true), "");
    module.scriptReturnCode(TWRC_SUCCESS);
    const std::string file = OnlyTraceFile();
    auto terminate = reinterpret_cast<void (*)()>(dlsym(module.handle, "MachO_Termination"));
    ASSERT_NE(terminate, nullptr);
    CaptureStderr(terminate);
    const std::string before = ReadFile(file);
    EXPECT_EQ(module.Status(), TWRC_FAILURE);
    EXPECT_EQ(ReadFile(file), before);
    module.Close();  // the second unload sequence finds nothing to do
    EXPECT_FALSE(ModuleLoaded(LIFECYCLE_MODULE));
}

}  // namespace
