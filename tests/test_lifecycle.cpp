// The module's load and unload through the real loader: opening the wrapped source in each of
// the ways it can be missing, the factory call, Release at unload, the trace file's creation,
// name and closing, and loading the module again in the same process.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/LifecycleModule.h"
#include "support/TraceCalls.h"

namespace {

std::vector<std::string> TraceFiles() { return TraceFilesIn(kLogDir); }

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(kBundle);
        RemoveTree(kLogDir);
    }
    void TearDown() override {
        module.Close();
        RemoveTree(kBundle);
        RemoveTree(kLogDir);
    }
    LifecycleModule module;
};

TEST_F(Lifecycle, MissingOrBrokenSourceSwitchesForwardingOffButTracingStaysOn) {
    // No source at all, not a shared object, no factory, a factory that leaves no operator.
    for (const std::string file : {"", TRACEWELL_SOURCE_DIR "/CMakeLists.txt", SCANNER_NOFACTORY, SCANNER_NULLOPERATOR}) {
        SCOPED_TRACE(file);
        RemoveTree(kLogDir);
        mkdir(kLogDir.c_str(), 0755);
        if (!file.empty()) InstallSource(file);
        ASSERT_EQ(module.Load(), "");
        unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        // A DAT that carries no structure in either build: the eight bytes are all the call has.
        EXPECT_EQ(module.entry(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, data), TWRC_FAILURE);
        EXPECT_EQ(data[0], 1);
        EXPECT_EQ(data[7], 8);
        EXPECT_EQ(module.Unload(), "Close Log File.\n");
        // A source that is a shared object stays mapped while this test holds it.
        EXPECT_EQ(module.source != nullptr, file == SCANNER_NULLOPERATOR || file == SCANNER_NOFACTORY);
        if (module.source != nullptr) {
            EXPECT_EQ(module.Counter("CorvaleFactoryCalls"), file == SCANNER_NULLOPERATOR ? 1 : 0);
            EXPECT_EQ(module.Counter("CorvaleReleases"), 0);
        }
        module.ReleaseSource();
        const std::vector<std::string> files = TraceFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(SplitEnvironment(ReadFile(files[0])).calls,
                  Crlf({"[00001] [APP] DG_CONTROL/DAT_TWUNKIDENTITY/MSG_GET", "        Return Code = [TWRC_FAILURE]",
                        "pData   = " + PointerText(data), "*** Inspect Error Status Start ***",
                        "*** Inspect Error Status End   ***"}));
    }
}

TEST_F(Lifecycle, FactoryGetsTheModuleFileNameAndReleaseRunsOnceAtUnload) {
    InstallSource(SCANNER_WHOLE);
    ASSERT_EQ(module.Load(), "");
    ASSERT_NE(module.source, nullptr);
    EXPECT_EQ(module.Counter("CorvaleFactoryCalls"), 1);
    EXPECT_STREQ(module.Hook<const char* (*)()>("CorvaleFactoryName")(), "tracewell.ds");
    // That the loaded module forwards to the source it made, the fault cases show.
    EXPECT_EQ(module.Counter("CorvaleReleases"), 0);
    EXPECT_EQ(module.Unload(), "");  // no log directory: no file, nothing printed
    EXPECT_EQ(module.Counter("CorvaleReleases"), 1);
    EXPECT_TRUE(TraceFiles().empty());
    module.ReleaseSource();
}

// Each load makes a trace file of its own, named from the load time, empty until the first call
// and flushed at every write; the module and its wrapped source leave memory at unload, and a
// load again starts afresh.
TEST_F(Lifecycle, EachLoadTracesToAFileOfItsOwnAndUnloadLeavesMemory) {
    InstallSource(SCANNER_WHOLE);
    mkdir(kLogDir.c_str(), 0755);
    for (size_t round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(module.Load(), "");
        ASSERT_NE(module.source, nullptr);
        EXPECT_EQ(module.Counter("CorvaleFactoryCalls"), 1) << "a fresh wrapped source each load";
        module.Hook<void (*)(int)>("CorvaleScriptReturnCode")(TWRC_SUCCESS);
        module.ReleaseSource();
        const std::vector<std::string> files = TraceFiles();
        ASSERT_EQ(files.size(), round + 1);
        const std::string file = files[round];  // the names sort by load time
        // At opening only the lines that say where the load runs are written (the session host's
        // runs check them).
        EXPECT_EQ(SplitEnvironment(ReadFile(file)).calls, "") << "no call is written at opening";
        module.entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr);
        const std::string text = SplitEnvironment(ReadFile(file)).calls;  // every write is flushed at once
        EXPECT_EQ(text.rfind("[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_OPENDS\r\n", 0), 0u);
        EXPECT_NE(text.find("TWAIN Status = [4]"), std::string::npos) << "state starts at 3 on every load";
        EXPECT_EQ(module.Unload(), "Close Log File.\n");
        EXPECT_FALSE(ModuleLoaded(LIFECYCLE_MODULE)) << "the module must leave memory";
        EXPECT_FALSE(ModuleLoaded(kExecutable)) << "and release the wrapped source";
        usleep(2000);  // the next load gets a trace file of its own
    }
}

}  // namespace
