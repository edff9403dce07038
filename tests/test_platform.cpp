// The services around the analyzer: the operator's virtual table, memory handles, the trace file, directories, one call's bounded text.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "Common/DSMInterface.h"
#include "Common/TwainLog/TwainLog.h"
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
    TW_IDENTITY a = {}, b = {};
    EXPECT_EQ(CDSMInterface::NotifyRequest(MSG_CLOSEDSREQ, a, b), 0);
}

TraceClock g_clock;
TraceClock FixedClock() { return g_clock; }

class TraceSetup : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(g_pLogFile, nullptr);
        g_cParaAnalyze = CParaAnalyze();
        g_clock = {};
        g_clock.local.tm_year = 121;
        g_clock.local.tm_mon = 2;
        g_clock.local.tm_mday = 3;
        g_clock.local.tm_hour = 9;
        g_clock.local.tm_min = 5;
        g_clock.local.tm_sec = 7;
        SetTraceClock(FixedClock);
        Clean();
    }
    void TearDown() override {
        cleanupTwainLog();
        SetTraceClock(nullptr);
        Clean();
    }
    void Clean() { RemoveTree(g_szLogDirectory); }
};

TEST_F(TraceSetup, OnlyAnExistingDirectoryGetsAFileNamedFromTheLoadTimeAndAppendedTo) {
    setupTwainLog();
    EXPECT_EQ(g_pLogFile, nullptr);
    EXPECT_EQ(g_pcTwainLog, nullptr);
    EXPECT_EQ(g_cParaAnalyze.GetTwainStatus(), 0) << "without the directory the state is left alone";
    const uint8_t more[] = "more";
    WriteLogFile(more, 4);

    mkdir(g_szLogDirectory, 0755);
    const struct {
        long microseconds;
        const char* name;
    } cases[] = {{999600, "Twainlog_20210303_090507_1000.txt"},
                 {499, "Twainlog_20210303_090507_0000.txt"},
                 {42000, "Twainlog_20210303_090507_0042.txt"}};
    for (const auto& c : cases) {
        g_clock.microseconds = c.microseconds;
        setupTwainLog();
        ASSERT_NE(g_pLogFile, nullptr);
        EXPECT_EQ(access((std::string(g_szLogDirectory) + "/" + c.name).c_str(), F_OK), 0) << c.name;
        EXPECT_EQ(g_cParaAnalyze.GetTwainStatus(), 3);
        WriteLogFile(more, 4);
        cleanupTwainLog();
    }

    // Loading again in the same millisecond appends; a second set-up keeps the file already open.
    setupTwainLog();
    FILE* opened = g_pLogFile;
    g_clock.microseconds = 999600;
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

TEST(TraceText, KeepsAtMostOneByteBeyondTheLimitAndSaysSo) {
    CTraceText text;
    const std::string block(1000, 'x');
    for (int i = 0; i < 5; ++i) text.Line("%s", block.c_str());  // 5 * 1002 = 5010 bytes
    EXPECT_EQ(text.Length(), 5010u);
    EXPECT_FALSE(text.Full());
    text.Put("%s", std::string(110, 'y').c_str());
    EXPECT_EQ(text.Length(), 5120u);
    EXPECT_FALSE(text.Full());
    text.Line("z");
    EXPECT_TRUE(text.Full());
    EXPECT_EQ(text.Length(), CTraceText::kWrittenLimit + 1);
    EXPECT_EQ(std::string(text.Data()).size(), text.Length());
    EXPECT_EQ(text.Data()[5120], 'z');
    text.Line("%s", block.c_str());
    EXPECT_EQ(text.Length(), CTraceText::kWrittenLimit + 1) << "nothing is kept once full";
    text.Clear();
    EXPECT_EQ(text.Length(), 0u);
    EXPECT_STREQ(text.Data(), "");
}

}  // namespace
