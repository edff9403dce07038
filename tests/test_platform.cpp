// The services around the analyzer: the operator's virtual table, memory handles and their sizes,
// reads that cannot fault, the trace file, directories, one call's bounded text.
#include <errno.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <iterator>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TwainLog.h"
#include "Platform/Platform.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

class SlotProbe : public CTripletOperator {
public:
    TW_UINT16 OperateTriplet(TW_IDENTITY*, TW_UINT32 DG, TW_UINT16, TW_UINT16, TW_MEMREF) override {
        return static_cast<TW_UINT16>(DG + 100);
    }
    int Reserved() override { return 33; }
    int Release() override { return 44; }
};

// Wrapped sources are compiled separately and called through fixed slots of the table.
TEST(OperatorInterface, VirtualSlotsAreFixed) {
    SlotProbe probe;
    void** table = *reinterpret_cast<void***>(&probe);
    using Operate = TW_UINT16 (*)(CTripletOperator*, TW_IDENTITY*, TW_UINT32, TW_UINT16, TW_UINT16, TW_MEMREF);
    using NoArgs = int (*)(CTripletOperator*);
    EXPECT_EQ(reinterpret_cast<Operate>(table[2])(&probe, nullptr, 5, 0, 0, nullptr), 105);
    EXPECT_EQ(reinterpret_cast<NoArgs>(table[3])(&probe), 33);
    EXPECT_EQ(reinterpret_cast<NoArgs>(table[4])(&probe), 44);
    static_assert(std::has_virtual_destructor<CTripletOperator>::value, "slots 0 and 1 hold the destructor");
}

TEST(MemoryHandles, AllocatedBlocksAreZeroedAndLockToTheirAddress) {
    for (const TW_UINT32 size : {1u, 100000u}) {
        TW_HANDLE handle = CDSMInterface::AllocMemory(size);
        ASSERT_NE(handle, nullptr);
        unsigned char* block = static_cast<unsigned char*>(CDSMInterface::LockMemory(handle));
        ASSERT_NE(block, nullptr);
        for (TW_UINT32 i = 0; i < size; ++i) ASSERT_EQ(block[i], 0) << size;
#if defined(TRACEWELL_ABI_MACOS)
        EXPECT_EQ(block, reinterpret_cast<unsigned char*>(*handle)) << "the master pointer holds the address";
#else
        EXPECT_EQ(static_cast<void*>(block), handle) << "the handle is the address";
#endif
        CDSMInterface::UnlockMemory(handle);
        CDSMInterface::FreeMemory(handle);
    }
    EXPECT_EQ(CDSMInterface::LockMemory(nullptr), nullptr);
    CDSMInterface::FreeMemory(nullptr);
}

TEST(MemoryHandles, OwnHandlesKnowTheirSizeThroughAnyOrderOfDisposal) {
    // Handles made and disposed of at random, checked against a model after every step, so that
    // an entry of the size table lost or left behind by a removal shows.
    std::mt19937 random(7);
    std::map<TW_HANDLE, size_t> live;
    for (int step = 0; step < 20000; ++step) {
        if (live.size() < 600 && (live.empty() || random() % 3 != 0)) {
            const size_t size = random() % 300;
            const TW_HANDLE handle = NewHandleClear(size);
            ASSERT_NE(handle, nullptr);
            live[handle] = size;
        } else {
            auto it = live.begin();
            std::advance(it, static_cast<long>(random() % live.size()));
            DisposeHandle(it->first);
            live.erase(it);
        }
        if (step % 97 == 0) {
            for (const auto& [handle, size] : live) ASSERT_EQ(HandleBlockSize(handle), size) << step;
        }
    }
    for (const auto& [handle, size] : live) {
        EXPECT_EQ(HandleBlockSize(handle), size);
        DisposeHandle(handle);
    }
}

TEST(MemoryHandles, OtherAllocatorsBlocksHaveNoKnownSize) {
    const TW_HANDLE own = NewHandleClear(0);
    EXPECT_EQ(HandleBlockSize(own), 0u) << "a 0-byte block is known as such";
    DisposeHandle(own);
    EXPECT_EQ(HandleBlockSize(own), kUnknownBlockSize) << "a disposed handle is no longer ours";
    char cell[16] = {};
    char* master = cell;
    const TW_HANDLE foreign = TRACEWELL_ABI_REFERENCE ? reinterpret_cast<TW_HANDLE>(&master) : reinterpret_cast<TW_HANDLE>(cell);
    EXPECT_EQ(HandleBlockSize(foreign), kUnknownBlockSize);
    EXPECT_EQ(HLock(foreign), static_cast<void*>(cell));
    EXPECT_EQ(HandleBlockSize(nullptr), kUnknownBlockSize);

    // More live handles than the size table holds: every one works, those beyond have no size.
    std::vector<TW_HANDLE> many;
    size_t known = 0;
    for (int i = 0; i < 5000; ++i) {
        many.push_back(NewHandleClear(8));
        ASSERT_NE(HLock(many.back()), nullptr);
        const size_t size = HandleBlockSize(many.back());
        EXPECT_TRUE(size == 8 || size == kUnknownBlockSize);
        known += size == 8;
    }
    EXPECT_GE(known, 3000u);
    EXPECT_LT(known, many.size());
    for (TW_HANDLE handle : many) DisposeHandle(handle);
    const TW_HANDLE after = NewHandleClear(5);
    EXPECT_EQ(HandleBlockSize(after), 5u) << "room again once they are gone";
    DisposeHandle(after);
}

void ExpectCopiesStopWhereTheMemoryStopsBeingReadable() {
    const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    char* map = static_cast<char*>(mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    ASSERT_NE(map, MAP_FAILED);
    memset(map, 'r', page);
    ASSERT_EQ(mprotect(map + page, page, PROT_NONE), 0);
    char dest[64];
    const struct { const char* what; const void* from; size_t size, copied; } cases[] = {
        {"all readable", map + page - 64, 64, 64},
        {"the last 10 readable bytes before a page that is not", map + page - 10, 64, 10},
        {"inside the unreadable page", map + page, 16, 0},
        {"null", nullptr, 16, 0},
        {"nothing asked", map, 0, 0},
    };
    for (const auto& c : cases) {
        memset(dest, 0, sizeof(dest));
        EXPECT_EQ(PlatformCopyReadable(dest, c.from, c.size), c.copied) << c.what;
        EXPECT_EQ(std::string(dest, c.copied), std::string(c.copied, 'r')) << c.what;
    }
#if defined(TRACEWELL_ABI_MACOS)
    EXPECT_EQ(HLock(reinterpret_cast<TW_HANDLE>(map + page)), nullptr) << "a master pointer that cannot be read";
#endif
    munmap(map, 2 * page);
}

TEST(ReadableCopy, StopsWhereTheMemoryStopsBeingReadable) { ExpectCopiesStopWhereTheMemoryStopsBeingReadable(); }

// Some sandboxes forbid reading this process's memory through process_vm_readv: the copy answers
// the same there.
TEST(ReadableCopy, AnswersTheSameWhereTheSystemForbidsItsFirstWay) {
    const std::string found = RunInChild([]() -> std::string {
        sock_filter filter[] = {
            BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
            BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_process_vm_readv, 0, 1),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EPERM),
            BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        };
        const sock_fprog program = {static_cast<unsigned short>(std::size(filter)), filter};
        if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 || prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) != 0)
            return "cannot forbid process_vm_readv";
        char byte = 'x';
        iovec local = {&byte, 1}, remote = {&byte, 1};
        if (process_vm_readv(getpid(), &local, 1, &remote, 1, 0) != -1 || errno != EPERM) return "still allowed";
        ExpectCopiesStopWhereTheMemoryStopsBeingReadable();
        return ::testing::Test::HasFailure() ? "a copy answered differently" : "";
    });
    EXPECT_EQ(found, "");
}

class TraceSetup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(g_pLogFile, nullptr);
        g_cParaAnalyze = CParaAnalyze();
        FixTraceClock(0);
        RemoveTree(g_szLogDirectory);
    }
    void TearDown() override {
        cleanupTwainLog();
        SetTraceClock(nullptr);
        RemoveTree(g_szLogDirectory);
    }
};

TEST_F(TraceSetup, OnlyAnExistingDirectoryGetsAFileNamedFromTheLoadTimeAndAppendedTo) {
    EXPECT_FALSE(setupTwainLog()) << "without the directory tracing is not set up";
    EXPECT_EQ(g_pLogFile, nullptr);
    EXPECT_EQ(g_pcTwainLog, nullptr);
    const uint8_t more[] = "more";
    WriteLogFile(more, 4);

    mkdir(g_szLogDirectory, 0755);
    const struct { long microseconds; const char* name; } cases[] = {
        {999600, "Twainlog_20210303_090507_1000.txt"}, {499, "Twainlog_20210303_090507_0000.txt"}, {42000, "Twainlog_20210303_090507_0042.txt"}};
    for (const auto& c : cases) {
        FixTraceClock(c.microseconds);
        EXPECT_TRUE(setupTwainLog());
        ASSERT_NE(g_pLogFile, nullptr);
        EXPECT_EQ(access((std::string(g_szLogDirectory) + "/" + c.name).c_str(), F_OK), 0) << c.name;
        WriteLogFile(more, 4);
        cleanupTwainLog();
    }

    // Loading again in the same millisecond appends; a second set-up keeps the file already open.
    setupTwainLog();
    FILE* opened = g_pLogFile;
    FixTraceClock(999600);
    setupTwainLog();
    EXPECT_EQ(g_pLogFile, opened);
    WriteLogFile(more, 4);
    WriteLogFile(more, 0);
    EXPECT_EQ(ReadFile(std::string(g_szLogDirectory) + "/Twainlog_20210303_090507_0042.txt"), "moremore");
}

TEST(CreateKSTempDirectory, CreatesTheFixedNameAndReportsFailures) {
    ScratchDir parent;
    EXPECT_EQ(CreateKSTempDirectory(nullptr), -50);
    EXPECT_EQ(CreateKSTempDirectory(std::string(300, 'x').c_str()), -50) << "a path longer than 255 bytes";
    EXPECT_EQ(CreateKSTempDirectory(parent.Path().c_str()), 0);
    EXPECT_EQ(DirectoryEntries(parent.Path()), std::vector<std::string>{"KOVARScanTwainLog"});
    EXPECT_EQ(CreateKSTempDirectory(parent.Path().c_str()), -48) << "the directory exists already";
    EXPECT_EQ(CreateKSTempDirectory(parent.File("missing").c_str()), -120);
}

// The bytes before the first one that needs an escape, at every position of a text that is read
// eight bytes at a time, next to the bytes on either side of each boundary.
TEST(TraceText, PlainLengthStopsAtTheFirstByteToEscape) {
    const struct { unsigned char byte; bool escaped; } bytes[] = {{0x00, true}, {0x0A, true}, {0x1F, true}, {0x20, false}, {0x7E, false},
                                                                  {0x7F, true}, {0x80, false}, {0xFF, false}, {0x9F, false}};
    for (const auto& b : bytes) {
        for (size_t at = 0; at < 20; ++at) {
            std::string text(20, 'a');
            text[at] = static_cast<char>(b.byte);
            EXPECT_EQ(PlainLength(text.data(), text.size()), b.escaped ? at : text.size()) << int{b.byte} << "@" << at;
            EXPECT_EQ(PlainLength(text.data(), at), at) << "the byte lies past the length";
        }
    }
    // Bytes that are each near a boundary but none of them one to escape.
    const std::string mixed = "\x20\x7E\x80\xFF\x21\x7D\xA0\x9F\x20\x20";
    EXPECT_EQ(PlainLength(mixed.data(), mixed.size()), mixed.size());
}

// Lines written without {fmt} (fixed texts, strings and zero-padded hex put between pieces of
// text) give what {fmt} gives, escaped where a string from outside needs it, cut at the limit.
TEST(TraceText, LinesPutTogetherInPlaceMatchTheFormat) {
    const std::string control = std::string("a\x01" "b") + '\n';
    CTraceText t;
    const auto take = [&t] { const std::string line(t.Data(), t.Length()); return t.Clear(), line; };
    t.Line(FMT_STRING("  TW_X = {{"));
    EXPECT_EQ(take(), "  TW_X = {\r\n");
    t.Line(FMT_STRING("[{}] {}/{}"), "APP", TraceName{"DG"}, std::string_view(""));
    EXPECT_EQ(take(), "[APP] DG/\r\n");
    t.Line(FMT_STRING("p = <0x{:08x}> {:02x}|{:08x}"), 0u, uint8_t{0xAB}, ~uint64_t{0});
    EXPECT_EQ(take(), fmt::format("p = <0x{:08x}> {:02x}|{:08x}\r\n", 0u, uint8_t{0xAB}, ~uint64_t{0}));
    t.Line(FMT_STRING("v = [{}] {:04x}"), control.c_str(), uint16_t{0x1F});
    EXPECT_EQ(take(), "v = [a\\x01b\\n] 001f\r\n");
    t.Put(FMT_STRING("{}"), TraceName{"N"});
    t.Line(FMT_STRING("={}"), 42);
    EXPECT_EQ(take(), "N=42\r\n");

    // Numbers put in place: decimal and zero-padded decimal with their sign, hex of every width,
    // the eight-digit hex of a 32-bit value next to the values past it.
    const int64_t numbers[] = {0, 7, -7, 9, 10, 99999, 100000, -1234, -12345, -123456, INT64_MIN, INT64_MAX,
                               0x0A0B0C0D, 0x9ABCDEF0, 0xFFFFFFFF, 0x100000000};
    for (const int64_t n : numbers) {
        const uint64_t u = static_cast<uint64_t>(n);
        const uint32_t low = static_cast<uint32_t>(u);
        t.Line(FMT_STRING("[{:05d}] {} {}|{:08x}|{:08x}|{:02x}"), n, n, u, low, u, low);
        EXPECT_EQ(take(), fmt::format("[{:05d}] {} {}|{:08x}|{:08x}|{:02x}\r\n", n, n, u, low, u, low)) << n;
        t.Line(FMT_STRING("[{:03d}] {}"), static_cast<int16_t>(n), static_cast<uint16_t>(n));
        EXPECT_EQ(take(), fmt::format("[{:03d}] {}\r\n", static_cast<int16_t>(n), static_cast<uint16_t>(n))) << n;
    }
    // Names of every length a short copy handles, and one beyond; a measured value that is not
    // known to be plain is escaped.
    for (size_t length = 0; length <= 40; ++length) {
        std::string name;
        for (size_t i = 0; i < length; ++i) name += static_cast<char>('A' + (i + length) % 26);
        t.Line(FMT_STRING("<{}>{}"), TraceName{name}, TraceName{"!"});
        EXPECT_EQ(take(), "<" + name + ">!\r\n") << length;
    }
    t.Line(FMT_STRING("[{}]"), TraceName{control, false});
    EXPECT_EQ(take(), "[a\\x01b\\n]\r\n");

    // Near the limit a joined line is cut where a bounded format would cut it.
    CTraceText text;
    const std::string block(CTraceText::kWrittenLimit - 3, 'x');
    text.Put(block);
    text.Line(FMT_STRING("<{:08x}>"), 0x1234u);
    EXPECT_TRUE(text.Full());
    EXPECT_EQ(std::string(text.Data(), text.Length()), block + "<000");
}

}  // namespace
