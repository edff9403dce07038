// End-to-end runs of the session host, as a child process, against the demo data source that wraps
// the virtual scanner: the session trace against its golden copy, and the host's own error paths.
#include <sys/stat.h>

#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"

namespace {

using ::testing::HasSubstr;

const std::string kHost = HOST_PROGRAM;
// A module that loads but exports no DS_Entry (nor, on Windows, anything at ordinal 1).
const std::string kNotASource = NOT_A_SOURCE_MODULE;

// A scenario through the demo data source.
HostRun RunScenario(const std::string& scenario) { return RunHost({scenario, "--head", "0"}); }

// The golden copy pins every line but those that say where the load ran, which name this run's
// process: the states, the counts, the same text on every run.
TEST(SessionHost, SessionTraceMatchesTheGoldenCopy) {
    const HostRun run = RunScenario("session");
    ASSERT_EQ(run.host.exitCode, 0) << run.host.out << run.host.err;
    ASSERT_FALSE(run.trace.empty()) << run.host.out;
    const SplitTrace split = SplitEnvironment(run.trace);
    ExpectMatchesSessionGolden("session", split.calls);
    ExpectEnvironmentOfTheHost(split, kHost, DEMO_TRACED_SOURCE, false);
}

// Bad arguments exit with 2 and say why; modules that cannot serve exit with 1 and name their path
// and the reason. The log directory is made before the module loads.
TEST(SessionHost, BadArgumentsAndModulesThatCannotServeExitAndSayWhy) {
    ScratchDir scratch;
    const std::string notAModule = scratch.File("notes.ds");
    std::ofstream(notAModule) << "not a shared object\n";
    const std::string nestedLog = scratch.File("deep/log");
    const std::string kMissing = scratch.File("nonexistent/tracewell.ds");
    // The arguments, the exit code, the reason given and the module it names.
    const std::tuple<std::vector<std::string>, int, const char*, std::string> kCases[] = {
        {{"--bogus"}, 2, "unknown option '--bogus'", ""},
        {{"scan"}, 2, "unknown scenario 'scan'", ""},
        {{"--module"}, 2, "option --module needs a value", ""},
        {{"session", "errors"}, 2, "one scenario at a time", ""},
        {{"--head", "-3"}, 2, "option --head does not take '-3'", ""},
        {{"--head", "ten"}, 2, "option --head does not take 'ten'", ""},
        {{"--module", kMissing, "--log-dir", nestedLog}, 1, MISSING_MODULE_REASON, kMissing},
        {{"--module", notAModule, "--log-dir", nestedLog}, 1, "cannot load the data source module", notAModule},
        {{"--module", kNotASource, "--log-dir", nestedLog}, 1, "exports no DS_Entry", kNotASource},
    };
    for (const auto& [arguments, exitCode, reason, module] : kCases) {
        SCOPED_TRACE(reason);
        const ProgramRun run = RunProgram(kHost, arguments);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_THAT(run.err, AllOf(HasSubstr(reason), HasSubstr(module)));
        EXPECT_TRUE(exitCode != 2 || run.out.empty()) << run.out;
    }
    struct stat st;
    EXPECT_EQ(stat(nestedLog.c_str(), &st), 0);
}

}  // namespace
