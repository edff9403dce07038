// The module's load and unload through the real loader: opening the wrapped source in each of
// the ways it can be missing, the factory call, Release at unload, the trace file's creation,
// name and closing, and loading the module again in the same process.
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <regex>
#include <string>
#include <vector>

#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {


const std::string kBundle = LIFECYCLE_DIR "/Corvale.bundle";
const std::string kExecutable = kBundle + "/Contents/MacOS/Corvale";
const std::string kLogDir = LIFECYCLE_DIR "/log";

// Puts a copy of `file` where the module looks for the wrapped source (a fresh inode each time,
// so the loader never reuses an earlier one).
void InstallSource(const std::string& file) {
    RemoveTree(kBundle);
    mkdir(kBundle.c_str(), 0755);
    mkdir((kBundle + "/Contents").c_str(), 0755);
    mkdir((kBundle + "/Contents/MacOS").c_str(), 0755);
    const std::string bytes = ReadFile(file);
    FILE* out = fopen(kExecutable.c_str(), "wb");
    ASSERT_NE(out, nullptr);
    fwrite(bytes.data(), 1, bytes.size(), out);
    fclose(out);
}

std::vector<std::string> TraceFiles() { return TraceFilesIn(kLogDir); }

class Lifecycle : public ::testing::Test {
protected:
    void SetUp() override {
        RemoveTree(kBundle);
        RemoveTree(kLogDir);
    }
    void TearDown() override {
        Unload();
        RemoveTree(kBundle);
        RemoveTree(kLogDir);
    }
    void Load() {
        module = dlopen(LIFECYCLE_MODULE, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(module, nullptr) << dlerror();
        entry = reinterpret_cast<DSENTRYPROC>(dlsym(module, "DS_Entry"));
        ASSERT_NE(entry, nullptr);
        source = dlopen(kExecutable.c_str(), RTLD_NOW | RTLD_NOLOAD);
    }
    std::string Unload() {
        if (module == nullptr) return "";
        const std::string err = CaptureStderr([this] { dlclose(module); });
        module = nullptr;
        entry = nullptr;
        return err;
    }
    void ReleaseSource() {
        if (source != nullptr) dlclose(source);
        source = nullptr;
    }
    template <typename T>
    T Hook(const char* name) {
        void* symbol = source != nullptr ? dlsym(source, name) : nullptr;
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<T>(symbol);
    }
    int Counter(const char* name) { return Hook<int (*)()>(name)(); }

    void* module = nullptr;
    void* source = nullptr;
    DSENTRYPROC entry = nullptr;
};

TEST_F(Lifecycle, MissingOrBrokenSourceSwitchesForwardingOffButTracingStaysOn) {
    const struct {
        const char* what;
        std::string file;  // empty: no source at all
    } cases[] = {{"absent", ""}, {"not a shared object", "text"}, {"no factory", SCANNER_NOFACTORY},
                 {"factory leaves no operator", SCANNER_NULLOPERATOR}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        RemoveTree(kLogDir);
        mkdir(kLogDir.c_str(), 0755);
        if (c.file == "text") {
            InstallSource(TRACEWELL_SOURCE_DIR "/CMakeLists.txt");
        } else if (!c.file.empty()) {
            InstallSource(c.file);
        }
        Load();
        unsigned char data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
        // A DAT that carries no structure in either build: the eight bytes are all the call has.
        EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_TWUNKIDENTITY, MSG_GET, data), TWRC_FAILURE);
        EXPECT_EQ(data[0], 1);
        EXPECT_EQ(data[7], 8);
        if (c.file == SCANNER_NULLOPERATOR) {
            EXPECT_EQ(Counter("CorvaleFactoryCalls"), 1);
        }
        if (c.file == SCANNER_NOFACTORY) {
            EXPECT_EQ(Counter("CorvaleFactoryCalls"), 0);
        }
        EXPECT_EQ(Unload(), "Close Log File.\n");
        if (source != nullptr) {
            EXPECT_EQ(Counter("CorvaleReleases"), 0);
        }
        ReleaseSource();
        const std::vector<std::string> files = TraceFiles();
        ASSERT_EQ(files.size(), 1u);
        EXPECT_EQ(ReadFile(files[0]), Crlf({"[00001] [APP] DG_CONTROL/DAT_TWUNKIDENTITY/MSG_GET",
                                            "        Return Code = [TWRC_FAILURE]",
                                            "pData   = <0x" + [&] {
                                                char low[16];
                                                snprintf(low, sizeof(low), "%08x", Low32(data));
                                                return std::string(low);
                                            }() + ">",
                                            "*** Inspect Error Status Start ***", "*** Inspect Error Status End   ***"}));
    }
}

TEST_F(Lifecycle, FactoryGetsTheModuleFileNameAndReleaseRunsOnceAtUnload) {
    InstallSource(SCANNER_WHOLE);
    Load();
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(Counter("CorvaleFactoryCalls"), 1);
    EXPECT_STREQ(Hook<const char* (*)()>("CorvaleFactoryName")(), "tracewell.ds");

    Hook<void (*)(int)>("CorvaleScriptReturnCode")(TWRC_CHECKSTATUS);
    TW_IDENTITY origin = {};
    int payload = 0;
    EXPECT_EQ(entry(&origin, DG_IMAGE, DAT_IMAGEINFO, MSG_GET, &payload), TWRC_CHECKSTATUS);
    TW_IDENTITY* seenOrigin;
    TW_UINT32 dg;
    TW_UINT16 dat, msg;
    TW_MEMREF data;
    Hook<void (*)(TW_IDENTITY**, TW_UINT32*, TW_UINT16*, TW_UINT16*, TW_MEMREF*)>("CorvaleLastCall")(&seenOrigin, &dg, &dat,
                                                                                                 &msg, &data);
    EXPECT_EQ(seenOrigin, &origin);
    EXPECT_EQ(dg, DG_IMAGE);
    EXPECT_EQ(dat, DAT_IMAGEINFO);
    EXPECT_EQ(msg, MSG_GET);
    EXPECT_EQ(data, &payload);

    EXPECT_EQ(Counter("CorvaleReleases"), 0);
    EXPECT_EQ(Unload(), "");  // no log directory: no file, nothing printed
    EXPECT_EQ(Counter("CorvaleReleases"), 1);
    EXPECT_TRUE(TraceFiles().empty());
    ReleaseSource();
}

TEST_F(Lifecycle, TraceFileIsNamedFromTheLoadTimeAndAppendedTo) {
    mkdir(kLogDir.c_str(), 0755);
    Load();
    const std::vector<std::string> files = TraceFiles();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_TRUE(std::regex_match(files[0], std::regex(".*/Twainlog_20[0-9]{6}_[0-9]{6}_[0-9]{4}\\.txt")))
        << files[0];
    EXPECT_EQ(ReadFile(files[0]), "");  // nothing is written at opening
    entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, nullptr);
    EXPECT_NE(ReadFile(files[0]).find("[00001] [APP] DG_CONTROL/DAT_STATUS/MSG_GET\r\n"), std::string::npos)
        << "every write is flushed at once";
    EXPECT_EQ(Unload(), "Close Log File.\n");
    EXPECT_EQ(Unload(), "");
}

TEST_F(Lifecycle, UnloadLeavesMemoryAndLoadingAgainStartsAfresh) {
    InstallSource(SCANNER_WHOLE);
    mkdir(kLogDir.c_str(), 0755);
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Load();
        ASSERT_NE(source, nullptr);
        EXPECT_EQ(Counter("CorvaleFactoryCalls"), 1) << "a fresh wrapped source each load";
        Hook<void (*)(int)>("CorvaleScriptReturnCode")(TWRC_SUCCESS);
        ReleaseSource();
        entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, nullptr);
        EXPECT_EQ(Unload(), "Close Log File.\n");
        EXPECT_FALSE(ModuleLoaded(LIFECYCLE_MODULE)) << "the module must leave memory";
        EXPECT_FALSE(ModuleLoaded(kExecutable)) << "and release the wrapped source";
        usleep(2000);  // the next load gets a trace file of its own
    }
    const std::vector<std::string> files = TraceFiles();
    ASSERT_EQ(files.size(), 2u);
    for (const std::string& file : files) {
        EXPECT_EQ(ReadFile(file).rfind("[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_OPENDS\r\n", 0), 0u) << file;
        EXPECT_NE(ReadFile(file).find("TWAIN Status = [4]"), std::string::npos) << "state starts at 3 on every load";
    }
}

}  // namespace
