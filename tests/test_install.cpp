// Installing for the Linux Source Manager: the project configured, built and installed into a
// temporary prefix and packed into a Debian package; the layouts of both are checked, the
// package's command runs, and the installed command attaches a source whose traced instance,
// loaded the way the Source Manager does it, reaches the source through the installed adapter.
#include <dlfcn.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Processes.h"
#include "support/TestSupport.h"

namespace {

using ::testing::HasSubstr;
using ::testing::Not;

// The files below `root` (links included) with their modes and bytes.
std::map<std::string, std::string> Files(const std::string& root) {
    std::map<std::string, std::string> files = TreeSnapshot(root);
    for (auto it = files.begin(); it != files.end();) it = it->second.rfind("dir ", 0) == 0 ? files.erase(it) : std::next(it);
    return files;
}

ProgramRun RunCMake(const std::vector<std::string>& arguments) { return RunProgram(CMAKE_COMMAND, arguments); }

TEST(Install, PackageAndInstallTraceAnAttachedSourceLikeTheSourceManagerLoadsIt) {
    if (TRACEWELL_SANITIZED) GTEST_SKIP() << "the plain build checks the installation; an instrumented one adds only time";
    if (std::string(TRACEWELL_ABI_NAME) != "linux") GTEST_SKIP() << "only the linux ABI is installed";

    ScratchDir scratch;
    const std::string prefix = scratch.File("usr/local");
    const std::string build = scratch.File("build");
    // cpack packs what was built, without building the rest.
    const std::vector<std::string> configure = {"-S", TRACEWELL_SOURCE_DIR, "-B", build, "-DTRACEWELL_TWAIN_ABI=linux",
                                                "-DCMAKE_BUILD_TYPE=" TRACEWELL_BUILD_TYPE, "-DCMAKE_INSTALL_PREFIX=" + prefix,
                                                "-DTRACEWELL_TESTS=OFF", "-DTRACEWELL_BENCH=OFF", "-DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON"};
    // Configure warns of an adapted source that is not there, and only then.
    std::vector<std::string> missing = configure, plain = configure;
    missing.push_back("-DTRACEWELL_ADAPTED_SOURCE=" + scratch.File("absent/acme.ds"));
    plain.push_back("-DTRACEWELL_ADAPTED_SOURCE=");
    const ProgramRun warned = RunCMake(missing);
    ASSERT_EQ(warned.exitCode, 0) << warned.out << warned.err;
    EXPECT_THAT(warned.err, HasSubstr("TRACEWELL_ADAPTED_SOURCE names no file on this machine"));
    const ProgramRun configured = RunCMake(plain);
    ASSERT_EQ(configured.exitCode, 0) << configured.out << configured.err;
    EXPECT_THAT(configured.err, Not(HasSubstr("TRACEWELL_ADAPTED_SOURCE")));

    for (const std::vector<std::string>& step : {std::vector<std::string>{"--build", build, "--target", "tracewell_ds", "tracewell_adapter",
                                                                          "tracewell_command", "-j", "2"},
                                                 {"--install", build}}) {
        const ProgramRun run = RunCMake(step);
        ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    }

    // Nothing below lib/twain, where the Source Manager would find it, and no log directory.
    std::vector<std::string> files;
    for (const auto& [path, file] : Files(prefix)) {
        files.push_back(path);
        ASSERT_EQ(file.rfind("file ", 0), 0u) << path << " must be a regular file, not a link";
        EXPECT_EQ(std::stoul(file.substr(5)) & 0666, 0644u) << path << " must be readable by every user, writable only by its owner";
    }
    EXPECT_EQ(files, (std::vector<std::string>{"/bin/tracewell", "/lib/tracewell/tracewell-adapter.so", "/lib/tracewell/tracewell.ds",
                                                "/share/doc/tracewell/README.md"}));
    const std::string command = prefix + "/bin/tracewell";
    const ProgramRun version = RunProgram(command, {"--version"});
    ASSERT_EQ(version.exitCode, 0) << version.err;
    const std::string number = version.out.substr(std::string("tracewell ").size(), version.out.size() - 11);

    // The package holds what the install put below the prefix, and declares what it needs.
    const std::string cpack = std::string(CMAKE_COMMAND).substr(0, std::string(CMAKE_COMMAND).rfind('/')) + "/cpack";
    const std::string packages = scratch.Dir("packages");
    const ProgramRun packed = RunProgram(cpack, {"--config", build + "/CPackConfig.cmake", "-G", "DEB", "-B", packages});
    ASSERT_EQ(packed.exitCode, 0) << packed.out << packed.err;
    const std::string deb = packages + "/tracewell_" + number + "_amd64.deb";
    ASSERT_EQ(access(deb.c_str(), F_OK), 0) << "packed: " << packed.out;
    const ProgramRun depends = RunProgram("dpkg-deb", {"-f", deb, "Depends"});
    ASSERT_EQ(depends.exitCode, 0) << depends.err;
    EXPECT_THAT(depends.out, ::testing::AllOf(HasSubstr("file"), HasSubstr("libstdc++6")));
    const std::string root = scratch.Dir("root");
    const ProgramRun unpacked = RunProgram("dpkg", {"-x", deb, root});
    ASSERT_EQ(unpacked.exitCode, 0) << unpacked.err;
    std::map<std::string, std::string> expected;
    for (const auto& [path, content] : Files(prefix)) expected[prefix + path] = content;
    EXPECT_TRUE(Files(root) == expected) << "the package holds what the install put below the prefix";
    const ProgramRun help = RunProgram(root + command, {"--help"});
    EXPECT_EQ(help.exitCode, 0) << help.err;
    EXPECT_THAT(help.out, HasSubstr("usage: tracewell"));

    // The installed command attaches a source with the installed data source, whose traced
    // instance then finds the installed adapter and forwards to the source.
    const std::string twain = scratch.Dir("twain");
    scratch.Dir("twain/acme");
    std::ofstream(twain + "/acme/acme.ds", std::ios::binary) << ReadFile(STANDARD_SOURCE);
    const ProgramRun attached =
        RunProgram(command, {"--twain-dir", twain, "--log-dir", scratch.File("log"), "attach", twain + "/acme/acme.ds"});
    ASSERT_EQ(attached.exitCode, 0) << attached.out << attached.err;
    void* module = dlopen((twain + "/tracewell-acme/tracewell.ds").c_str(), RTLD_LAZY | RTLD_LOCAL);
    ASSERT_NE(module, nullptr) << dlerror();
    const auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(module, "DS_Entry"));
    ASSERT_NE(entry, nullptr);
    EXPECT_TRUE(ModuleLoaded(prefix + "/lib/tracewell/tracewell-adapter.so")) << "the data source must use the installed adapter";
    TW_IDENTITY identity = {};
    EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
    EXPECT_STREQ(identity.ProductName, "Corvale F40");
    CaptureStderr([&] { dlclose(module); });
}

}  // namespace
