// Installing for the Linux Source Manager: the project configured the way a person tracing an
// existing source configures it, built, and installed into a temporary prefix; then the layout is
// checked, and the installed data source is found, checked and loaded the way the Source Manager
// does it.
#include <dlfcn.h>
#include <sys/stat.h>

#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using ::testing::HasSubstr;

// Every file below `root` that is not a directory, as a path relative to `root`, with its lstat.
void Walk(const std::string& root, const std::string& relative,
          const std::function<void(const std::string&, const struct stat&)>& visit) {
    for (const std::string& name : DirectoryEntries(root + relative)) {
        const std::string path = relative + "/" + name;
        struct stat st;
        if (lstat((root + path).c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            Walk(root, path, visit);
        } else {
            visit(path, st);
        }
    }
}

ProgramRun RunCMake(const std::vector<std::string>& arguments) { return RunProgram(CMAKE_COMMAND, arguments); }

TEST(Install, InstalledDataSourceIsFoundAndLoadedLikeTheSourceManagerDoes) {
    if (TRACEWELL_SANITIZED) GTEST_SKIP() << "the plain build checks the installation; an instrumented one adds only time";
    if (std::string(TRACEWELL_ABI_NAME) != "linux") GTEST_SKIP() << "only the linux ABI is installed";

    ScratchDir scratch;
    const std::string prefix = scratch.File("usr/local");
    const std::string build = scratch.File("build");
    const std::string log = scratch.Dir("log");
    const ProgramRun configure =
        RunCMake({"-S", TRACEWELL_SOURCE_DIR, "-B", build, "-DTRACEWELL_TWAIN_ABI=linux",
                  "-DCMAKE_BUILD_TYPE=" TRACEWELL_BUILD_TYPE, "-DCMAKE_INSTALL_PREFIX=" + prefix,
                  "-DTRACEWELL_ADAPTED_SOURCE=" STANDARD_SOURCE, "-DTRACEWELL_LOG_DIR=" + log,
                  "-DTRACEWELL_TESTS=OFF", "-DTRACEWELL_BENCH=OFF"});
    ASSERT_EQ(configure.exitCode, 0) << configure.out << configure.err;
    const ProgramRun built = RunCMake({"--build", build, "--target", "tracewell_ds", "tracewell_adapter", "-j", "2"});
    ASSERT_EQ(built.exitCode, 0) << built.out << built.err;
    const ProgramRun installed = RunCMake({"--install", build});
    ASSERT_EQ(installed.exitCode, 0) << installed.out << installed.err;

    // Exactly two files: the data source below lib/twain, the adapter at the wrapped-source path.
    const std::string dataSource = "/lib/twain/tracewell/tracewell.ds";
    const std::string adapter = "/lib/tracewell/tracewell-adapter.so";
    std::vector<std::string> files;
    Walk(prefix, "", [&](const std::string& path, const struct stat& st) {
        files.push_back(path);
        EXPECT_TRUE(S_ISREG(st.st_mode)) << path << " must be a regular file, not a link";
        EXPECT_EQ(st.st_mode & 0666, 0644u) << path << " must be readable by every user, writable only by its owner";
    });
    EXPECT_EQ(files, (std::vector<std::string>{adapter, dataSource}));

    // The Source Manager's search: regular files below lib/twain whose name holds ".ds", each of
    // which `file` must call x86-64.
    std::vector<std::string> candidates;
    Walk(prefix + "/lib/twain", "", [&](const std::string& path, const struct stat& st) {
        if (S_ISREG(st.st_mode) && path.substr(path.rfind('/')).find(".ds") != std::string::npos)
            candidates.push_back(prefix + "/lib/twain" + path);
    });
    ASSERT_EQ(candidates, std::vector<std::string>{prefix + dataSource});
    const ProgramRun file = RunProgram("file", {candidates[0]});
    ASSERT_EQ(file.exitCode, 0) << "the Source Manager needs `file`: " << file.err;
    EXPECT_THAT(file.out, HasSubstr("x86-64"));
    EXPECT_THAT(file.out, HasSubstr("shared object"));

    // Loaded lazily, reached through DS_Entry alone, it finds the installed adapter and through it
    // the source to trace, and writes its trace into the configured directory.
    void* module = dlopen(candidates[0].c_str(), RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(module, "DS_Entry"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(ModuleLoaded(prefix + adapter)) << "the data source must use the installed adapter";
    TW_IDENTITY identity = {};
    EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    EXPECT_STREQ(identity.ProductName, "Corvale F40");
    CaptureStderr([&] { dlclose(module); });

    const std::vector<std::string> traces = TraceFilesIn(log);
    ASSERT_EQ(traces.size(), 1u);
    EXPECT_EQ(ReadFile(traces[0]).rfind("[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_GET\r\n", 0), 0u);
}

}  // namespace
