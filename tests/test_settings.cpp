// The settings file beside the data source: its format and checks, reading it, and a data source
// module that applies it at load (the adapted source, the log directory) or says what is wrong.
#include <dlfcn.h>
#include <sys/stat.h>

#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "Common/Settings.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"

namespace {

using ::testing::HasSubstr;

TEST(Settings, ParsesEachKeyAndReportsWhatIsWrongByLine) {
    const std::string longest = "/" + std::string(254, 'd');
    const struct {
        const char* name; std::string text; std::optional<std::string> adapted, logDir; std::optional<bool> timing;
        int problemLine;  // 0: no problem expected
        const char* problem;
    } kCases[] = {
        {"empty", "", {}, {}, {}, 0, ""},
        {"comments and blank lines", "# a comment\n\n   \t\n  # indented comment = x\n", {}, {}, {}, 0, ""},
        {"log dir alone, no blanks, no final line end", "log_dir=/var/log/tracewell", {}, "/var/log/tracewell", {}, 0, ""},
        {"timing off, tabs and CR LF", "\ttiming\t=\toff \r\n", {}, {}, false, 0, ""},
        {"a value keeps inner blanks, '#' and '='", "log_dir = /var/log/my traces #1=a\n", {}, "/var/log/my traces #1=a", {}, 0, ""},
        {"log dir of 255 bytes", "log_dir = " + longest + "\n", {}, longest, {}, 0, ""},
        {"log dir of 256 bytes", "log_dir = " + longest + "x\n", {}, {}, {}, 1, "log_dir is longer than 255 bytes"},
        {"timing yes", "timing = yes\n", {}, {}, {}, 1, "timing must be on or off, not \"yes\""},
        {"timing in capitals", "timing = ON\n", {}, {}, {}, 1, "timing must be on or off"},
        {"relative log dir", "log_dir = log\n", {}, {}, {}, 1, "log_dir must be an absolute path, not \"log\""},
        {"relative adapted source", "adapted_source = acme.ds\n", {}, {}, {}, 1, "adapted_source must be an absolute path"},
        {"empty value", "adapted_source =\n", {}, {}, {}, 1, "adapted_source needs a value"},
        {"unknown key", "colour = red\n", {}, {}, {}, 1, "unknown key \"colour\""},
        {"key in capitals", "TIMING = on\n", {}, {}, {}, 1, "unknown key \"TIMING\""},
        {"no '='", "timing on\n", {}, {}, {}, 1, "expected key = value, found \"timing on\""},
        {"no key", " = /x\n", {}, {}, {}, 1, "no key before '='"},
        {"control character", "log_dir = /a\x01z\n", {}, {}, {}, 1, "control character"},
        {"NUL byte", std::string("log_dir = /a\0z\n", 15), {}, {}, {}, 1, "control character"},
        {"a key set twice keeps the first", "timing = on\ntiming = off\n", {}, {}, true, 2, "timing is set again"},
        {"a bad line leaves the good ones", "# settings\nlog_dir = /l\ntiming = maybe\nadapted_source = /s.ds\n", "/s.ds",
         "/l", {}, 3, "timing must be on or off, not \"maybe\"; the compiled-in value holds"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<SettingsProblem> problems;
        const TracewellSettings settings = ParseSettings(c.text, &problems);
        EXPECT_EQ(settings.adaptedSource, c.adapted);
        EXPECT_EQ(settings.logDirectory, c.logDir);
        EXPECT_EQ(settings.timing, c.timing);
        ASSERT_EQ(problems.size(), c.problemLine == 0 ? 0u : 1u);
        if (problems.empty()) continue;
        EXPECT_EQ(problems[0].line, c.problemLine);
        EXPECT_THAT(problems[0].what, HasSubstr(c.problem));
    }
}

TEST(Settings, ReadsTheFileAndTellsAMissingFileFromABadOne) {
    ScratchDir scratch;
    WriteText(scratch.File("good.conf"), "timing = on\n");
    scratch.Dir("directory.conf");
    WriteText(scratch.File("huge.conf"), std::string(70000, '#'));
    const struct { const char* name; const char* file; std::optional<bool> timing; const char* problem; /* "" when none */ } kCases[] = {
        {"no file", "absent.conf", {}, ""},
        {"a file", "good.conf", true, ""},
        {"a directory", "directory.conf", {}, "cannot be read: it is not a regular file; the compiled-in values hold"},
        {"too large to be one", "huge.conf", {}, "is larger than 65536 bytes"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        std::vector<SettingsProblem> problems;
        const TracewellSettings settings = ReadSettingsFile(scratch.File(c.file), &problems);
        EXPECT_EQ(settings.timing, c.timing);
        ASSERT_EQ(problems.size(), c.problem[0] == '\0' ? 0u : 1u);
        if (problems.empty()) continue;
        EXPECT_EQ(problems[0].line, 0);
        EXPECT_THAT(problems[0].what, HasSubstr(c.problem));
        EXPECT_EQ(DescribeSettingsProblem("/x/tracewell.conf", problems[0]), "tracewell: /x/tracewell.conf: " + problems[0].what);
    }
    // A file beside a module in a directory is found at load; these are the edges.
    EXPECT_EQ(SettingsPathBeside("/tracewell.ds"), "/tracewell.conf");
    EXPECT_EQ(SettingsPathBeside("tracewell.ds"), "tracewell.conf");
}

// A copy of a data source build whose wrapped source is the adapter with a missing source of its
// own and whose compiled-in log directory does not exist: what works comes from the settings.
TEST(Settings, AppliedAtLoadBeforeTheWrappedSourceIsMade) {
    // `settings` null: no file; `printed`: what standard error shows at load, "" when nothing.
    const struct { const char* name; const char* settings; bool reachesSource, traces; const char* printed; } kCases[] = {
        {"no file: the compiled-in values", nullptr, false, false, ""},
        {"adapted source alone", "adapted_source = @SOURCE@\n", true, false, ""},
        {"log directory alone", "log_dir = @LOG@\n", false, true, ""},
        {"a bad line is named and skipped", "# traced\nlog_dir = @LOG@\ncolour = red\nadapted_source = @SOURCE@\n", true, true,
         "tracewell: @CONF@:3: unknown key \"colour\""},
        {"a relative log directory", "adapted_source = @SOURCE@\nlog_dir = log\n", true, false, "tracewell: @CONF@:2: log_dir must be"},
        {"timing on", "adapted_source = @SOURCE@\nlog_dir = @LOG@\ntiming = on\n", true, true, ""},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ScratchDir scratch;
        const std::string module = scratch.File("tracewell.ds"), conf = scratch.File("tracewell.conf");
        const std::string log = scratch.Dir("log");
        ASSERT_TRUE(RunProgram("cp", {ATTACH_MODULE, module}).exitCode == 0);
        const auto fill = [&](std::string text) {
            for (const auto& [key, value] : {std::pair<std::string, std::string>{"@SOURCE@", STANDARD_SOURCE}, {"@LOG@", log}, {"@CONF@", conf}})
                for (size_t at; (at = text.find(key)) != std::string::npos;) text.replace(at, key.size(), value);
            return text;
        };
        if (c.settings != nullptr) WriteText(conf, fill(c.settings));

        void* handle = nullptr;
        const std::string printed = CaptureStderr([&] { handle = dlopen(module.c_str(), RTLD_LAZY | RTLD_LOCAL); });
        ASSERT_NE(handle, nullptr) << dlerror();
        EXPECT_THAT(printed, HasSubstr(fill(c.printed)));
        EXPECT_EQ(printed.find("tracewell: ") == std::string::npos, c.printed[0] == '\0') << printed;
        const auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(handle, "DS_Entry"));
        ASSERT_NE(entry, nullptr);
        TW_IDENTITY identity = {};
        EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), c.reachesSource ? TWRC_SUCCESS : TWRC_FAILURE);
        EXPECT_EQ(ModuleLoaded(STANDARD_SOURCE), c.reachesSource);
        CaptureStderr([&] { dlclose(handle); });
        EXPECT_FALSE(ModuleLoaded(module));

        const std::vector<std::string> traces = TraceFilesIn(log);
        ASSERT_EQ(traces.size(), c.traces ? 1u : 0u);
        if (c.traces) {
            const std::string trace = SplitEnvironment(ReadFile(traces[0])).calls;
            EXPECT_EQ(trace.rfind("[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_GET\r\n", 0), 0u);
            // The timing lines' text is the entry's to show; here only whether they are written.
            const bool timed = c.settings != nullptr && strstr(c.settings, "timing = on") != nullptr;
            EXPECT_EQ(trace.find("MSG_GET\r\n        Time = [") != std::string::npos, timed) << trace;
        }
    }
}

}  // namespace
