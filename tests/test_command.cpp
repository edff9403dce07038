// The tracewell command on a scratch TWAIN tree laid out like /usr/local/lib/twain: attaching
// sources (one and two at once) so that the Source Manager's search finds the traced instances
// instead, tracing through them, detaching back to the very same tree, refusals that change
// nothing, and every change undone when a later one fails. The same for the Windows Source
// Managers' rules on a scratch Windows folder with real DLLs of both bitnesses, and the hidden
// name checked against Windows' own "*.ds" search under Wine.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SourceRules.h"
#include "Tree.h"
#include "support/Processes.h"
#include "support/TestSupport.h"
#include "support/TraceCalls.h"

namespace {

using ::testing::HasSubstr;

void Copy(const std::string& from, const std::string& to, mode_t mode) {
    WriteText(to, ReadFile(from));
    chmod(to.c_str(), mode);
}

// The Linux Source Manager's search: regular files below the TWAIN directory whose name holds
// ".ds" and that `file` calls x86-64.
std::vector<std::string> SourceManagerFinds(const std::string& twain) {
    std::vector<std::string> found;
    for (const auto& entry : TreeSnapshot(twain)) {
        const std::string& path = entry.first;
        if (entry.second.rfind("file ", 0) != 0 || path.substr(path.rfind('/')).find(".ds") == std::string::npos) continue;
        const ProgramRun file = RunProgram("file", {"-b", twain + path});
        if (file.out.find("x86-64") != std::string::npos) found.push_back(path);
    }
    return found;
}

// A TWAIN tree with two standard sources, each in a directory with files of its own (one of
// which has ".ds" in its name but is no shared object), and the log directory beside it.
struct ScratchTree {
    ScratchDir scratch;
    std::string twain = scratch.Dir("twain");
    std::string log = scratch.File("log");
    ScratchTree() {
        for (const char* source : {"acme", "zeta"}) {
            const std::string dir = scratch.Dir("twain/" + std::string(source));
            Copy(STANDARD_SOURCE, dir + "/" + source + ".ds", 0755);
            WriteText(dir + "/" + source + ".ini", std::string("[") + source + "]\nresolution=600\n");
            WriteText(dir + "/" + source + ".dsp", "a project file, not a data source\n");
            scratch.Dir("twain/" + std::string(source) + "/data");
            Copy(STANDARD_SOURCE, dir + "/data/calibration.bin", 0600);
        }
    }
    std::string Source(const char* name) const { return twain + "/" + name + "/" + name + ".ds"; }
    std::string Hidden(const char* name) const { return twain + "/" + name + "/" + name + "-ds.tracewell-hidden"; }
    std::string Instance(const char* name) const { return twain + "/tracewell-" + name + "/tracewell.ds"; }
    ProgramRun Run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--twain-dir", twain, "--log-dir", log, "--data-source", ATTACH_MODULE});
        return RunProgram(TRACEWELL_COMMAND, arguments);
    }
    TreeOptions Options() const {
        TreeOptions options;
        options.twainDir = twain;
        options.logDir = log;
        options.dataSource = ATTACH_MODULE;
        return options;
    }
};

TEST(Command, AttachedSourcesAreTracedAndDetachRestoresTheTree) {
    const std::vector<std::vector<const char*>> kCases = {{"acme"}, {"acme", "zeta"}};
    for (const auto& sources : kCases) {
        SCOPED_TRACE(sources.size());
        ScratchTree tree;
        const auto before = TreeSnapshot(tree.twain);
        ASSERT_EQ(SourceManagerFinds(tree.twain), (std::vector<std::string>{"/acme/acme.ds", "/zeta/zeta.ds"}));

        std::vector<std::string> expected = {"/acme/acme.ds", "/zeta/zeta.ds"};
        for (const char* source : sources) {
            const ProgramRun attach = tree.Run({"attach", tree.Source(source)});
            ASSERT_EQ(attach.exitCode, 0) << attach.err;
            EXPECT_THAT(attach.out, HasSubstr("tracewell on"));
            expected.erase(std::find(expected.begin(), expected.end(), "/" + std::string(source) + "/" + source + ".ds"));
            expected.push_back("/tracewell-" + std::string(source) + "/tracewell.ds");
        }
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(SourceManagerFinds(tree.twain), expected);
        // Only the .ds file was moved aside; the source's other files are where they were.
        for (const char* source : sources) {
            for (const std::string file : {".ini", ".dsp"}) {
                const std::string path = "/" + std::string(source) + "/" + source + file;
                EXPECT_EQ(TreeSnapshot(tree.twain).at(path), before.at(path)) << path;
            }
        }
        ProgramRun status = tree.Run({"status"});
        ASSERT_EQ(status.exitCode, 0) << status.err;
        EXPECT_THAT(status.out, HasSubstr("off: the directory does not exist"));

        const ProgramRun on = tree.Run({"on"});
        ASSERT_EQ(on.exitCode, 0) << on.err;
        for (const char* source : sources) {
            struct stat st;
            ASSERT_EQ(stat((tree.log + "/" + source).c_str(), &st), 0);
            EXPECT_EQ(st.st_mode & 07777, 01777u) << "every user's application writes traces there";
        }

        // The Source Manager loads each instance lazily, reaching DS_Entry alone; all are loaded
        // at once and share the one adapter, and each reaches its own original source.
        std::vector<void*> modules;
        for (const char* source : sources) {
            void* module = dlopen(tree.Instance(source).c_str(), RTLD_LAZY | RTLD_LOCAL);
            ASSERT_NE(module, nullptr) << dlerror();
            modules.push_back(module);
        }
        for (size_t i = 0; i < sources.size(); ++i) {
            const auto entry = reinterpret_cast<DSENTRYPROC>(dlsym(modules[i], "DS_Entry"));
            ASSERT_NE(entry, nullptr);
            void* original = dlopen(tree.Hidden(sources[i]).c_str(), RTLD_LAZY | RTLD_NOLOAD);
            ASSERT_NE(original, nullptr) << "the instance loaded its original";
            const auto operateCalls = reinterpret_cast<int (*)()>(dlsym(original, "CorvaleOperateCalls"));
            ASSERT_NE(operateCalls, nullptr);
            const int calls = operateCalls();
            TW_IDENTITY identity = {};
            EXPECT_EQ(entry(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GET, &identity), TWRC_SUCCESS);
            EXPECT_STREQ(identity.ProductName, "Corvale F40");
            EXPECT_EQ(operateCalls(), calls + 1) << "the call reached this instance's own source";
            dlclose(original);
        }
        EXPECT_FALSE(ModuleLoaded(STANDARD_SOURCE));
        for (void* module : modules) CaptureStderr([&] { dlclose(module); });
        for (const char* source : sources) {
            EXPECT_FALSE(ModuleLoaded(tree.Hidden(source)));
            const std::vector<std::string> traces = TraceFilesIn(tree.log + "/" + source);
            ASSERT_EQ(traces.size(), 1u) << source;
            EXPECT_EQ(SplitEnvironment(ReadFile(traces[0])).calls.rfind("[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_GET\r\n", 0),
                      0u);
        }

        status = tree.Run({"status"});
        ASSERT_EQ(status.exitCode, 0) << status.err;
        for (const char* source : sources) {
            EXPECT_THAT(status.out, HasSubstr(tree.Source(source) + "\n  traced by     " + tree.Instance(source)));
            EXPECT_THAT(status.out, HasSubstr("newest trace  " + TraceFilesIn(tree.log + "/" + source)[0]));
        }
        EXPECT_THAT(status.out, HasSubstr("tracing       on"));

        // Off never deletes a trace: the log directory moves aside with them.
        const ProgramRun off = tree.Run({"off"});
        ASSERT_EQ(off.exitCode, 0) << off.err;
        EXPECT_EQ(access(tree.log.c_str(), F_OK), -1);
        const std::vector<std::string> left = DirectoryEntries(tree.scratch.Path());
        ASSERT_EQ(left.size(), 2u);
        EXPECT_EQ(left[0].rfind("log-off-", 0), 0u);
        EXPECT_EQ(TraceFilesIn(tree.scratch.File(left[0]) + "/" + sources[0]).size(), 1u);

        for (const char* source : sources) {
            const ProgramRun detach = tree.Run({"detach", tree.Source(source)});
            ASSERT_EQ(detach.exitCode, 0) << detach.err;
        }
        EXPECT_EQ(TreeSnapshot(tree.twain), before);
        EXPECT_THAT(tree.Run({"status"}).out, HasSubstr("No data source is attached."));
    }
}

TEST(Command, OnAndOffWithNothingAttachedOrNoTraces) {
    ScratchTree tree;
    ASSERT_EQ(tree.Run({"on"}).exitCode, 0);
    EXPECT_EQ(DirectoryEntries(tree.log), std::vector<std::string>{});
    // Attached while tracing is on, a source has its own log directory at once.
    ASSERT_EQ(tree.Run({"attach", tree.Source("acme")}).exitCode, 0);
    EXPECT_EQ(DirectoryEntries(tree.log), std::vector<std::string>{"acme"});
    EXPECT_THAT(tree.Run({"status"}).out, HasSubstr("tracing       on\n  newest trace  none\n"));
    // Without traces, off removes the directories it would otherwise move aside.
    ASSERT_EQ(tree.Run({"off"}).exitCode, 0);
    EXPECT_EQ(DirectoryEntries(tree.scratch.Path()), std::vector<std::string>{"twain"});
    ASSERT_EQ(tree.Run({"off"}).exitCode, 0) << "off when off already";
}

// In the arguments "@acme" and "@zeta" stand for those sources, "@twain" and "@scratch" for the
// start of a path in the TWAIN directory and in the scratch directory.
std::string Expand(const ScratchTree& t, const std::string& argument) {
    if (argument == "@acme" || argument == "@zeta") return t.Source(argument.c_str() + 1);
    if (argument.rfind("@twain", 0) == 0) return t.twain + argument.substr(6);
    if (argument.rfind("@scratch", 0) == 0) return t.scratch.Path() + argument.substr(8);
    return argument;
}

void AttachAcme(const ScratchTree& t) { ASSERT_EQ(t.Run({"attach", t.Source("acme")}).exitCode, 0); }

TEST(Command, RefusalsChangeNothing) {
    const struct {
        const char* name;
        std::function<void(const ScratchTree&)> prepare;
        std::vector<std::string> arguments;
        int exitCode;
        std::string message;
    } kCases[] = {
        {"no command", nullptr, {}, 2, "no command given"},
        {"unknown command", nullptr, {"trace"}, 2, "unknown command trace"},
        {"unknown option", nullptr, {"attach", "--force", "@acme"}, 2, "unknown option --force for attach"},
        {"attach without a source", nullptr, {"attach"}, 2, "attach needs the data source to trace"},
        {"attach two sources in one call", nullptr, {"attach", "@acme", "@zeta"}, 2, "attach takes one argument"},
        {"an option without its value", nullptr, {"status", "--log-dir"}, 2, "--log-dir needs a value"},
        {"an option of the Windows command", nullptr, {"status", "--windows-dir=/tmp"}, 2,
         "--windows-dir is an option of the Windows command"},
        {"a relative log directory", nullptr, {"--log-dir", "log", "attach", "@acme"}, 2, "--log-dir must be an absolute path"},
        {"attach twice", AttachAcme, {"attach", "@acme"}, 1, "is attached already"},
        {"a source that is not there", nullptr, {"attach", "@twain/acme/absent.ds"}, 1, "No such file"},
        {"not a shared object", [](const ScratchTree& t) { WriteText(t.twain + "/acme/notes.ds", "text\n"); },
         {"attach", "@twain/acme/notes.ds"}, 1, "not a shared object"},
        {"a shared object without DS_Entry", [](const ScratchTree& t) { Copy(SCANNER_WHOLE, t.twain + "/acme/bundle.ds", 0755); },
         {"attach", "@twain/acme/bundle.ds"}, 1, "exports no DS_Entry"},
        {"Tracewell itself", [](const ScratchTree& t) { Copy(ATTACH_MODULE, t.twain + "/acme/tracewell.ds", 0755); },
         {"attach", "@twain/acme/tracewell.ds"}, 1, "is a build of Tracewell itself"},
        {"a traced instance", AttachAcme, {"attach", "@twain/tracewell-acme/tracewell.ds"}, 1,
         "belongs to Tracewell's traced instance"},
        {"a symbolic link", [](const ScratchTree& t) { symlink("acme.ds", (t.twain + "/acme/link.ds").c_str()); },
         {"attach", "@twain/acme/link.ds"}, 1, "is a symbolic link"},
        {"a source outside the TWAIN directory",
         [](const ScratchTree& t) { Copy(STANDARD_SOURCE, t.scratch.File("outside.ds"), 0755); },
         {"attach", "@scratch/outside.ds"}, 1, "is not below the TWAIN directory"},
        {"a name without .ds", [](const ScratchTree& t) { Copy(STANDARD_SOURCE, t.twain + "/acme/acme.so", 0755); },
         {"attach", "@twain/acme/acme.so"}, 1, "its name holds no \".ds\""},
        {"a hidden name in the way", [](const ScratchTree& t) { WriteText(t.Hidden("acme"), "x"); }, {"attach", "@acme"}, 1,
         "exists already; it is in the way"},
        {"a data source that is no build of Tracewell", nullptr, {"--data-source", STANDARD_SOURCE, "attach", "@acme"}, 1,
         "is not a build of tracewell.ds"},
        {"no TWAIN directory", nullptr, {"--twain-dir", "@twain/absent", "status"}, 1, "the TWAIN directory "},
        {"detach what is not attached", nullptr, {"detach", "@acme"}, 1, "is not attached"},
        {"detach when the source is back",
         [](const ScratchTree& t) { AttachAcme(t); WriteText(t.Source("acme"), "reinstalled\n"); }, {"detach", "@acme"}, 1,
         "exists again"},
        {"detach with a stranger in the instance",
         [](const ScratchTree& t) { AttachAcme(t); WriteText(t.twain + "/tracewell-acme/notes.txt", "mine\n"); },
         {"detach", "@acme"}, 1, "holds notes.txt, which tracewell did not put there"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ScratchTree tree;
        if (c.prepare) c.prepare(tree);
        const auto before = TreeSnapshot(tree.scratch.Path());
        std::vector<std::string> arguments;
        for (const std::string& argument : c.arguments) arguments.push_back(Expand(tree, argument));
        const ProgramRun run = tree.Run(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line: " << run.err;
        EXPECT_EQ(TreeSnapshot(tree.scratch.Path()), before);
    }
}

TEST(Command, HelpAndVersion) {
    const struct {
        std::vector<std::string> arguments;
        std::vector<std::string> needles;
    } kCases[] = {
        {{"--help"}, {"attach SOURCE.ds", "detach SOURCE.ds", "status", "on", "off", "--twain-dir DIR"}},
        {{"attach", "--help"}, {"usage: tracewell [OPTIONS] attach SOURCE.ds"}},
    };
    for (const auto& c : kCases) {
        const ProgramRun run = RunProgram(TRACEWELL_COMMAND, c.arguments);
        EXPECT_EQ(run.exitCode, 0) << c.arguments[0];
        for (const std::string& needle : c.needles) EXPECT_THAT(run.out, HasSubstr(needle));
    }
    const ProgramRun version = RunProgram(TRACEWELL_COMMAND, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_THAT(version.out, ::testing::MatchesRegex("tracewell [0-9]+\\.[0-9]+\\.[0-9]+\n"));
}

// An attach or detach whose n-th change fails leaves the tree as it found it, for every n; the
// first n that does not fail is the whole change.
TEST(Command, AFailedChangeUndoesEveryEarlierOne) {
    ScratchTree tree;
    mkdir(tree.log.c_str(), 0755);  // tracing on: attach also makes the source's log directory
    // Fails `change` at its first, second, ... step until it succeeds; returns how many steps it took.
    const auto stepsOf = [&](int (*change)(const TreeOptions&, const std::string&, int)) {
        const auto unchanged = TreeSnapshot(tree.scratch.Path());
        for (int failAt = 1; failAt < 20; ++failAt) {
            SCOPED_TRACE(failAt);
            int result = -1;
            CaptureStderr([&] { result = change(tree.Options(), tree.Source("acme"), failAt); });
            if (result == kExitSuccess) return failAt - 1;
            EXPECT_EQ(result, kExitFailure);
            EXPECT_EQ(TreeSnapshot(tree.scratch.Path()), unchanged);
        }
        return -1;
    };
    const auto original = TreeSnapshot(tree.scratch.Path());
    EXPECT_EQ(stepsOf(Attach), 6) << "instance directory, module, settings, record, log directory, hiding";
    EXPECT_EQ(SourceManagerFinds(tree.twain), (std::vector<std::string>{"/tracewell-acme/tracewell.ds", "/zeta/zeta.ds"}));
    EXPECT_EQ(stepsOf(Detach), 5) << "putting back, three files, the directory";
    auto expected = original;
    expected.erase("/log/acme");  // the log directory and its traces stay
    auto after = TreeSnapshot(tree.scratch.Path());
    after.erase("/log/acme");
    EXPECT_EQ(after, expected);
}

// The Windows Source Managers' search: files below twain_32 and twain_64, subfolders included,
// whose names end in ".ds" in either case.
std::vector<std::string> WindowsSourceManagersFind(const std::string& windows) {
    std::vector<std::string> found;
    for (const auto& entry : TreeSnapshot(windows)) {
        const std::string& path = entry.first;
        const bool inFolder = path.rfind("/twain_32/", 0) == 0 || path.rfind("/twain_64/", 0) == 0;
        std::string end = path.substr(path.size() - std::min<size_t>(3, path.size()));
        std::transform(end.begin(), end.end(), end.begin(), ::tolower);
        if (inFolder && entry.second.rfind("file ", 0) == 0 && end == ".ds") found.push_back(path);
    }
    return found;
}

std::string WindowsModule(const std::string& name) { return std::string(WINDOWS_MODULES_DIR) + "/" + name; }

// A Windows folder whose twain_32 and twain_64 each hold sources of their bitness with files of
// their own, and an install folder with both builds of tracewell.ds.
struct WindowsTree {
    ScratchDir scratch;
    std::string windows = scratch.Dir("Windows");
    std::string install = scratch.Dir("Tracewell");
    std::string log = scratch.File("log");
    WindowsTree() {
        for (const char* bits : {"32", "64"}) {
            const std::string folder = scratch.Dir("Windows/twain_" + std::string(bits));
            scratch.Dir("Windows/twain_" + std::string(bits) + "/Acme");
            Copy(WindowsModule("source" + std::string(bits) + ".ds"), folder + "/Acme/Acme Scan.DS", 0755);
            WriteText(folder + "/Acme/acme.ini", "[acme]\n");
        }
        scratch.Dir("Tracewell/x64");
        scratch.Dir("Tracewell/x86");
        Copy(WindowsModule("tracewell64.ds"), install + "/x64/tracewell.ds", 0755);
        Copy(WindowsModule("tracewell32.ds"), install + "/x86/tracewell.ds", 0755);
    }
    std::string Source(int bits) const { return windows + "/twain_" + std::to_string(bits) + "/Acme/Acme Scan.DS"; }
    TreeOptions Options() const {
        TreeOptions options;
        options.system = TwainSystem::kWindows;
        options.windowsDir = windows;
        options.installDir = install;
        options.logDir = log;
        return options;
    }
};

int Quietly(const std::function<int()>& change) {
    int result = -1;
    testing::internal::CaptureStdout();
    CaptureStderr([&] { result = change(); });
    testing::internal::GetCapturedStdout();
    return result;
}

TEST(WindowsCommand, BothBitnessesAttachedToTheirOwnBuildAndDetachedToTheSameTree) {
    if (std::string(WINDOWS_MODULES_DIR).empty()) GTEST_SKIP() << "no MinGW cross compilers";
    WindowsTree tree;
    mkdir(tree.log.c_str(), 0755);
    const auto before = TreeSnapshot(tree.scratch.Path());
    ASSERT_EQ(WindowsSourceManagersFind(tree.windows),
              (std::vector<std::string>{"/twain_32/Acme/Acme Scan.DS", "/twain_64/Acme/Acme Scan.DS"}));
    for (const int bits : {32, 64}) {
        SCOPED_TRACE(bits);
        ASSERT_EQ(Quietly([&] { return Attach(tree.Options(), tree.Source(bits)); }), kExitSuccess);
    }
    // The second "Acme" gets a label of its own: each source keeps its own log folder.
    EXPECT_EQ(WindowsSourceManagersFind(tree.windows),
              (std::vector<std::string>{"/twain_32/tracewell-Acme-Scan/tracewell.ds",
                                        "/twain_64/tracewell-Acme-Scan-2/tracewell.ds"}));
    const auto after = TreeSnapshot(tree.scratch.Path());
    EXPECT_TRUE(ReadFile(tree.windows + "/twain_32/tracewell-Acme-Scan/tracewell.ds") ==
                ReadFile(tree.install + "/x86/tracewell.ds")) << "the 32-bit build beside the 32-bit source";
    EXPECT_TRUE(ReadFile(tree.windows + "/twain_64/tracewell-Acme-Scan-2/tracewell.ds") ==
                ReadFile(tree.install + "/x64/tracewell.ds")) << "the 64-bit build beside the 64-bit source";
    EXPECT_TRUE(after.at("/Windows/twain_64/Acme/Acme Scan-DS.tracewell-hidden") ==
                before.at("/Windows/twain_64/Acme/Acme Scan.DS"));
    EXPECT_THAT(ReadFile(tree.windows + "/twain_64/tracewell-Acme-Scan-2/tracewell.conf"),
                HasSubstr("adapted_source = " + tree.windows + "/twain_64/Acme/Acme Scan-DS.tracewell-hidden\nlog_dir = " +
                          tree.log + "/Acme-Scan-2\n"));
    EXPECT_EQ(after.count("/log/Acme-Scan") + after.count("/log/Acme-Scan-2"), 2u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(Status(tree.Options()), kExitSuccess);
    const std::string status = testing::internal::GetCapturedStdout();
    EXPECT_THAT(status, HasSubstr("TWAIN directory  " + tree.windows + "/twain_32\nTWAIN directory  " + tree.windows + "/twain_64\n"));
    EXPECT_THAT(status, HasSubstr(tree.Source(32) + "\n  traced by     " + tree.windows + "/twain_32/tracewell-Acme-Scan/"));

    // Every step of a detach undone when a later one fails, then the whole detach.
    for (const int bits : {32, 64}) {
        const auto attached = TreeSnapshot(tree.scratch.Path());
        for (int failAt = 1; failAt <= 5; ++failAt) {
            EXPECT_EQ(Quietly([&] { return Detach(tree.Options(), tree.Source(bits), failAt); }), kExitFailure);
            EXPECT_TRUE(TreeSnapshot(tree.scratch.Path()) == attached) << failAt;
        }
        ASSERT_EQ(Quietly([&] { return Detach(tree.Options(), tree.Source(bits)); }), kExitSuccess);
    }
    auto restored = TreeSnapshot(tree.scratch.Path());
    restored.erase("/log/Acme-Scan");
    restored.erase("/log/Acme-Scan-2");
    EXPECT_TRUE(restored == before);
}

TEST(WindowsCommand, RefusalsChangeNothing) {
    if (std::string(WINDOWS_MODULES_DIR).empty()) GTEST_SKIP() << "no MinGW cross compilers";
    const std::string kScan32 = "twain_32/Acme/Acme Scan.DS", kScan64 = "twain_64/Acme/Acme Scan.DS";
    const struct {
        const char* name;
        std::string source;  // below the Windows folder
        std::string message;
        const char* module;  // when set, copied to `source` first (a name among the Windows modules)
        std::function<void(WindowsTree&)> prepare;
    } kCases[] = {
        {"a DLL without DS_Entry", "twain_64/Acme/none.ds", "exports no DS_Entry", "noexports64.ds", nullptr},
        {"a build of Tracewell", "twain_64/Acme/tw.ds", "is a build of Tracewell itself", "tracewell64.ds", nullptr},
        {"a source outside both folders", "acme.ds", "is not below the TWAIN directory", "source64.ds", nullptr},
        {"a 32-bit source among the 64-bit ones", "twain_64/Acme/old.ds", "is a 32-bit data source in", "source32.ds", nullptr},
        {"a 64-bit source among the 32-bit ones", "twain_32/Acme/new.ds", "is a 64-bit data source in", "source64.ds", nullptr},
        {"a name that does not end in .ds", "twain_64/Acme/acme.ds.bak", "does not end in \".ds\"", "source64.ds", nullptr},
        {"a Linux shared object", "twain_64/Acme/elf.ds", "not a DLL (no PE header)", STANDARD_SOURCE, nullptr},
        {"a .ds that is not a DLL", "twain_64/Acme/notes.ds", "not a DLL", nullptr,
         [](WindowsTree& t) { WriteText(t.windows + "/twain_64/Acme/notes.ds", "MZ but nothing more\n"); }},
        {"no 32-bit build installed", kScan32, "No such file", nullptr,
         [](WindowsTree& t) { unlink((t.install + "/x86/tracewell.ds").c_str()); }},
        {"a 64-bit build where the 32-bit one belongs", kScan32, "is a 64-bit build", nullptr,
         [](WindowsTree& t) { Copy(WindowsModule("tracewell64.ds"), t.install + "/x86/tracewell.ds", 0755); }},
        {"a hidden name in the way", kScan64, "in the way of hiding", nullptr,
         [](WindowsTree& t) { WriteText(t.windows + "/twain_64/Acme/Acme Scan-DS.tracewell-hidden", "x"); }},
        {"attached already", kScan64, "is attached already", nullptr,
         [](WindowsTree& t) { Quietly([&] { return Attach(t.Options(), t.Source(64)); }); }},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        WindowsTree tree;
        if (c.module) Copy(c.module[0] == '/' ? c.module : WindowsModule(c.module), tree.windows + "/" + c.source, 0755);
        if (c.prepare) c.prepare(tree);
        const auto before = TreeSnapshot(tree.scratch.Path());
        int result = -1;
        const std::string err = CaptureStderr([&] { result = Attach(tree.Options(), tree.windows + "/" + c.source); });
        EXPECT_EQ(result, kExitFailure);
        EXPECT_THAT(err, HasSubstr(c.message));
        EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << "one line: " << err;
        EXPECT_EQ(TreeSnapshot(tree.scratch.Path()), before);
    }
    TreeOptions options;
    options.system = TwainSystem::kWindows;
    options.windowsDir = "";
    int result = -1;
    EXPECT_THAT(CaptureStderr([&] { result = Status(options); }), HasSubstr("%WINDIR% is not set"));
    EXPECT_EQ(result, kExitFailure);
}

void UseWine() {
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEPREFIX", (std::string(TRACEWELL_BINARY_DIR) + "/wine-prefix").c_str(), 1);
}

std::string WindowsPath(std::string path) {
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

// The command's file system layer on Windows: case, roots, names outside ASCII, refusals to
// overwrite (each check is in the program).
TEST(WindowsCommand, HostFilesHoldOnWindows) {
    if (std::string(WINDOWS_HOST_CHECK).empty()) GTEST_SKIP() << "no MinGW cross compilers or no Wine";
    UseWine();
    ScratchDir scratch;
    const ProgramRun run = RunProgram(WINE_COMMAND, {WINDOWS_HOST_CHECK, WindowsPath(scratch.Path())});
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr(" did not")) << "the checks ran";
    EXPECT_THAT(run.out, HasSubstr(", 0 did not"));
    EXPECT_EQ(DirectoryEntries(scratch.Path()), std::vector<std::string>{}) << "nothing left behind";
}

// Windows' own "*.ds" search, run under Wine, finds exactly the names the Windows rules call
// offered, and never the name a source is hidden under.
TEST(WindowsCommand, HiddenNamesEscapeTheSearchOfWindowsItself) {
    if (std::string(WINDOWS_FIND_PROBE).empty()) GTEST_SKIP() << "no MinGW cross compilers or no Wine";
    const CSourceRules& rules = RulesOf(TwainSystem::kWindows);
    const std::vector<std::string> sources = {"acme.ds", "Scan Pro.DS", "twice.ds.ds", "dotted.v2.Ds", "x.ds"};
    std::vector<std::string> names = {"x.ds-orig", "y.dsx", "z.ds.bak", "readme.txt", "v.ds_"};
    for (const std::string& source : sources) {
        names.push_back(source);
        names.push_back(rules.HiddenName(source));
    }
    ScratchDir scratch;
    const std::string folder = scratch.Dir("twain_64");
    std::vector<std::string> offered;
    for (const std::string& name : names) {
        WriteText(folder + "/" + name, "x");
        if (rules.Offered(name)) offered.push_back(name);
    }
    EXPECT_EQ(offered.size(), sources.size());
    UseWine();
    const ProgramRun run = RunProgram(WINE_COMMAND, {WINDOWS_FIND_PROBE, WindowsPath(folder)});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    std::vector<std::string> found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) found.push_back(line.substr(0, line.find('\r')));
    std::sort(found.begin(), found.end());
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(found, offered);
}

}  // namespace
