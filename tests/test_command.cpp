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
using Paths = std::vector<std::string>;

void Copy(const std::string& from, const std::string& to, mode_t mode) {
    WriteText(to, ReadFile(from));
    chmod(to.c_str(), mode);
}

// The Linux Source Manager's search: regular files below the TWAIN directory whose name holds
// ".ds" and that `file` calls x86-64.
Paths SourceManagerFinds(const std::string& twain) {
    Paths found;
    for (const auto& [path, entry] : TreeSnapshot(twain)) {
        if (entry.rfind("file ", 0) != 0 || path.substr(path.rfind('/')).find(".ds") == std::string::npos) continue;
        if (RunProgram("file", {"-b", twain + path}).out.find("x86-64") != std::string::npos) found.push_back(path);
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
        for (const std::string source : {"acme", "zeta"}) {
            const std::string dir = scratch.Dir("twain/" + source);
            Copy(STANDARD_SOURCE, dir + "/" + source + ".ds", 0755);
            WriteText(dir + "/" + source + ".ini", "[" + source + "]\nresolution=600\n");
            WriteText(dir + "/" + source + ".dsp", "a project file, not a data source\n");
            Copy(STANDARD_SOURCE, scratch.Dir("twain/" + source + "/data") + "/calibration.bin", 0600);
        }
    }
    std::string Source(const char* name) const { return twain + "/" + name + "/" + name + ".ds"; }
    std::string Hidden(const char* name) const { return twain + "/" + name + "/" + name + "-ds.tracewell-hidden"; }
    std::string Instance(const char* name) const { return twain + "/tracewell-" + name + "/tracewell.ds"; }
    ProgramRun Run(std::vector<std::string> arguments) const {
        arguments.insert(arguments.begin(), {"--twain-dir", twain, "--log-dir", log, "--data-source", ATTACH_MODULE});
        return RunProgram(TRACEWELL_COMMAND, arguments);
    }
};

TEST(Command, AttachedSourcesAreTracedAndDetachRestoresTheTree) {
    const std::vector<const char*> sources = {"acme", "zeta"};
    ScratchTree tree;
    const auto before = TreeSnapshot(tree.twain);
    ASSERT_EQ(SourceManagerFinds(tree.twain), (Paths{"/acme/acme.ds", "/zeta/zeta.ds"}));
    for (const char* source : sources) {
        const ProgramRun attach = tree.Run({"attach", tree.Source(source)});
        ASSERT_EQ(attach.exitCode, 0) << attach.err;
        EXPECT_THAT(attach.out, HasSubstr("tracewell on"));
    }
    EXPECT_EQ(SourceManagerFinds(tree.twain), (Paths{"/tracewell-acme/tracewell.ds", "/tracewell-zeta/tracewell.ds"}));
    // Only the .ds file was moved aside; the source's other files are where they were.
    for (const std::string path : {"/acme/acme.ini", "/acme/acme.dsp", "/zeta/data/calibration.bin"})
        EXPECT_EQ(TreeSnapshot(tree.twain).at(path), before.at(path)) << path;
    EXPECT_THAT(tree.Run({"status"}).out, HasSubstr("off: the directory does not exist"));

    const ProgramRun on = tree.Run({"on"});
    ASSERT_EQ(on.exitCode, 0) << on.err;
    for (const char* source : sources) {
        struct stat st;
        ASSERT_EQ(stat((tree.log + "/" + source).c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, 01777u) << "every user's application writes traces there";
    }

    // The Source Manager loads each instance lazily, reaching DS_Entry alone; both are loaded at
    // once and share the one adapter, and each reaches its own original source.
    std::vector<void*> modules;
    for (const char* source : sources) {
        modules.push_back(dlopen(tree.Instance(source).c_str(), RTLD_LAZY | RTLD_LOCAL));
        ASSERT_NE(modules.back(), nullptr) << dlerror();
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
        const Paths traces = TraceFilesIn(tree.log + "/" + source);
        ASSERT_EQ(traces.size(), 1u) << source;
        EXPECT_EQ(SplitEnvironment(ReadFile(traces[0])).calls.rfind("[00001] [APP] DG_CONTROL/DAT_IDENTITY/MSG_GET\r\n", 0), 0u);
    }

    const std::string status = tree.Run({"status"}).out;
    for (const char* source : sources) {
        EXPECT_THAT(status, HasSubstr(tree.Source(source) + "\n  traced by     " + tree.Instance(source)));
        EXPECT_THAT(status, HasSubstr("newest trace  " + TraceFilesIn(tree.log + "/" + source)[0]));
    }
    EXPECT_THAT(status, HasSubstr("tracing       on"));

    // Off never deletes a trace: the log directory moves aside with them.
    ASSERT_EQ(tree.Run({"off"}).exitCode, 0);
    EXPECT_EQ(access(tree.log.c_str(), F_OK), -1);
    const Paths left = DirectoryEntries(tree.scratch.Path());
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].rfind("log-off-", 0), 0u);
    EXPECT_EQ(TraceFilesIn(tree.scratch.File(left[0]) + "/acme").size(), 1u);

    for (const char* source : sources) ASSERT_EQ(tree.Run({"detach", tree.Source(source)}).exitCode, 0) << source;
    EXPECT_EQ(TreeSnapshot(tree.twain), before);
    EXPECT_THAT(tree.Run({"status"}).out, HasSubstr("No data source is attached."));
}

TEST(Command, OnAndOffWithNothingAttachedOrNoTraces) {
    ScratchTree tree;
    ASSERT_EQ(tree.Run({"on"}).exitCode, 0);
    EXPECT_EQ(DirectoryEntries(tree.log), Paths{});
    // Attached while tracing is on, a source has its own log directory at once.
    ASSERT_EQ(tree.Run({"attach", tree.Source("acme")}).exitCode, 0);
    EXPECT_EQ(DirectoryEntries(tree.log), Paths{"acme"});
    EXPECT_THAT(tree.Run({"status"}).out, HasSubstr("tracing       on\n  newest trace  none\n"));
    // Without traces, off removes the directories it would otherwise move aside.
    ASSERT_EQ(tree.Run({"off"}).exitCode, 0);
    EXPECT_EQ(DirectoryEntries(tree.scratch.Path()), Paths{"twain"});
    ASSERT_EQ(tree.Run({"off"}).exitCode, 0) << "off when off already";
}

void AttachAcme(const ScratchTree& t) { ASSERT_EQ(t.Run({"attach", t.Source("acme")}).exitCode, 0); }

// In the arguments "@acme" and "@zeta" stand for those sources, "@twain" and "@scratch" for the
// start of a path in the TWAIN directory and in the scratch directory.
TEST(Command, RefusalsChangeNothing) {
    using Prepare = std::function<void(const ScratchTree&)>;
    const auto copyTo = [](const char* from, const char* to) -> Prepare {
        return [=](const ScratchTree& t) { Copy(from, t.twain + "/acme/" + to, 0755); };
    };
    const struct { const char* name; Prepare prepare; Paths arguments; int exitCode; std::string message; } kCases[] = {
        {"no command", nullptr, {}, 2, "no command given"},
        {"unknown command", nullptr, {"trace"}, 2, "unknown command trace"},
        {"unknown option", nullptr, {"attach", "--force", "@acme"}, 2, "unknown option --force for attach"},
        {"attach without a source", nullptr, {"attach"}, 2, "attach needs the data source to trace"},
        {"attach two sources in one call", nullptr, {"attach", "@acme", "@zeta"}, 2, "attach takes one argument"},
        {"an option without its value", nullptr, {"status", "--log-dir"}, 2, "--log-dir needs a value"},
        {"an option of the Windows command", nullptr, {"status", "--windows-dir=/tmp"}, 2, "--windows-dir is an option of the Windows"},
        {"a relative log directory", nullptr, {"--log-dir", "log", "attach", "@acme"}, 2, "--log-dir must be an absolute path"},
        {"attach twice", AttachAcme, {"attach", "@acme"}, 1, "is attached already"},
        {"a source that is not there", nullptr, {"attach", "@twain/acme/absent.ds"}, 1, "No such file"},
        {"not a shared object", [](const ScratchTree& t) { WriteText(t.twain + "/acme/notes.ds", "text\n"); },
         {"attach", "@twain/acme/notes.ds"}, 1, "not a shared object"},
        {"a shared object without DS_Entry", copyTo(SCANNER_WHOLE, "bundle.ds"), {"attach", "@twain/acme/bundle.ds"}, 1, "exports no DS_Entry"},
        {"Tracewell itself", copyTo(ATTACH_MODULE, "tracewell.ds"), {"attach", "@twain/acme/tracewell.ds"}, 1, "is a build of Tracewell itself"},
        {"a traced instance", AttachAcme, {"attach", "@twain/tracewell-acme/tracewell.ds"}, 1, "belongs to Tracewell's traced instance"},
        {"a symbolic link", [](const ScratchTree& t) { symlink("acme.ds", (t.twain + "/acme/link.ds").c_str()); },
         {"attach", "@twain/acme/link.ds"}, 1, "is a symbolic link"},
        {"a source outside the TWAIN directory", [](const ScratchTree& t) { Copy(STANDARD_SOURCE, t.scratch.File("outside.ds"), 0755); },
         {"attach", "@scratch/outside.ds"}, 1, "is not below the TWAIN directory"},
        {"a name without .ds", copyTo(STANDARD_SOURCE, "acme.so"), {"attach", "@twain/acme/acme.so"}, 1, "its name holds no \".ds\""},
        {"a hidden name in the way", [](const ScratchTree& t) { WriteText(t.Hidden("acme"), "x"); }, {"attach", "@acme"}, 1, "it is in the way"},
        {"a data source that is no build of Tracewell", nullptr, {"--data-source", STANDARD_SOURCE, "attach", "@acme"}, 1,
         "is not a build of tracewell.ds"},
        {"no TWAIN directory", nullptr, {"--twain-dir", "@twain/absent", "status"}, 1, "the TWAIN directory "},
        {"detach what is not attached", nullptr, {"detach", "@acme"}, 1, "is not attached"},
        {"detach when the source is back", [](const ScratchTree& t) { AttachAcme(t); WriteText(t.Source("acme"), "reinstalled\n"); },
         {"detach", "@acme"}, 1, "exists again"},
        {"detach with a stranger in the instance",
         [](const ScratchTree& t) { AttachAcme(t); WriteText(t.twain + "/tracewell-acme/notes.txt", "mine\n"); },
         {"detach", "@acme"}, 1, "holds notes.txt, which tracewell did not put there"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        ScratchTree tree;
        if (c.prepare) c.prepare(tree);
        const auto before = TreeSnapshot(tree.scratch.Path());
        Paths arguments;
        for (const std::string& a : c.arguments) {
            if (a == "@acme" || a == "@zeta") arguments.push_back(tree.Source(a.c_str() + 1));
            else if (a.rfind("@twain", 0) == 0) arguments.push_back(tree.twain + a.substr(6));
            else if (a.rfind("@scratch", 0) == 0) arguments.push_back(tree.scratch.Path() + a.substr(8));
            else arguments.push_back(a);
        }
        const ProgramRun run = tree.Run(arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_THAT(run.err, HasSubstr(c.message));
        EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << "one line: " << run.err;
        EXPECT_EQ(TreeSnapshot(tree.scratch.Path()), before);
    }
}

// The whole command's help is the installed command's test.
TEST(Command, HelpAndVersion) {
    const ProgramRun attach = RunProgram(TRACEWELL_COMMAND, {"attach", "--help"});
    EXPECT_EQ(attach.exitCode, 0);
    EXPECT_THAT(attach.out, HasSubstr("usage: tracewell [OPTIONS] attach SOURCE.ds"));
    const ProgramRun version = RunProgram(TRACEWELL_COMMAND, {"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_THAT(version.out, ::testing::MatchesRegex("tracewell [0-9]+\\.[0-9]+\\.[0-9]+\n"));
}

// An attach or detach whose n-th change fails leaves the tree as it found it, for every n; the
// first n that does not fail is the whole change.
TEST(Command, AFailedChangeUndoesEveryEarlierOne) {
    ScratchTree tree;
    mkdir(tree.log.c_str(), 0755);  // tracing on: attach also makes the source's log directory
    TreeOptions options;
    options.twainDir = tree.twain;
    options.logDir = tree.log;
    options.dataSource = ATTACH_MODULE;
    // Fails `change` at its first, second, ... step until it succeeds; returns how many steps it took.
    const auto stepsOf = [&](int (*change)(const TreeOptions&, const std::string&, int)) {
        const auto unchanged = TreeSnapshot(tree.scratch.Path());
        for (int failAt = 1; failAt < 20; ++failAt) {
            SCOPED_TRACE(failAt);
            int result = -1;
            CaptureStderr([&] { result = change(options, tree.Source("acme"), failAt); });
            if (result == kExitSuccess) return failAt - 1;
            EXPECT_EQ(result, kExitFailure);
            EXPECT_EQ(TreeSnapshot(tree.scratch.Path()), unchanged);
        }
        return -1;
    };
    auto expected = TreeSnapshot(tree.scratch.Path());
    EXPECT_EQ(stepsOf(Attach), 6) << "instance directory, module, settings, record, log directory, hiding";
    EXPECT_EQ(SourceManagerFinds(tree.twain), (Paths{"/tracewell-acme/tracewell.ds", "/zeta/zeta.ds"}));
    EXPECT_EQ(stepsOf(Detach), 5) << "putting back, three files, the directory";
    auto after = TreeSnapshot(tree.scratch.Path());
    EXPECT_EQ(after.erase("/log/acme"), 1u) << "the log directory and its traces stay";
    EXPECT_EQ(after, expected);
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
        for (const std::string bits : {"32", "64"}) {
            const std::string acme = scratch.Dir("Windows/twain_" + bits) + "/Acme";
            scratch.Dir("Windows/twain_" + bits + "/Acme");
            Copy(WindowsModule("source" + bits + ".ds"), acme + "/Acme Scan.DS", 0755);
            WriteText(acme + "/acme.ini", "[acme]\n");
            Copy(WindowsModule("tracewell" + bits + ".ds"), scratch.Dir(bits == "32" ? "Tracewell/x86" : "Tracewell/x64") + "/tracewell.ds", 0755);
        }
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
    // What the change returns, its output dropped.
    int Quietly(int (*change)(const TreeOptions&, const std::string&, int), int bits) const {
        int result = -1;
        testing::internal::CaptureStdout();
        CaptureStderr([&] { result = change(Options(), Source(bits), 0); });
        testing::internal::GetCapturedStdout();
        return result;
    }
};

// That the Source Managers then find the traced instances and never the hidden sources is the
// search's own test under Wine and the installer's test.
TEST(WindowsCommand, BothBitnessesAttachedToTheirOwnBuildAndDetachedToTheSameTree) {
    if (std::string(WINDOWS_MODULES_DIR).empty()) GTEST_SKIP() << "no MinGW cross compilers";
    WindowsTree tree;
    mkdir(tree.log.c_str(), 0755);
    const auto before = TreeSnapshot(tree.scratch.Path());
    for (const int bits : {32, 64}) ASSERT_EQ(tree.Quietly(Attach, bits), kExitSuccess) << bits;
    // The second "Acme" gets a label of its own: each source keeps its own log folder.
    const std::string instance32 = tree.windows + "/twain_32/tracewell-Acme-Scan/", instance64 = tree.windows + "/twain_64/tracewell-Acme-Scan-2/";
    const auto after = TreeSnapshot(tree.scratch.Path());
    EXPECT_TRUE(ReadFile(instance32 + "tracewell.ds") == ReadFile(tree.install + "/x86/tracewell.ds")) << "the 32-bit build";
    EXPECT_TRUE(ReadFile(instance64 + "tracewell.ds") == ReadFile(tree.install + "/x64/tracewell.ds")) << "the 64-bit build";
    EXPECT_TRUE(after.at("/Windows/twain_64/Acme/Acme Scan-DS.tracewell-hidden") == before.at("/Windows/twain_64/Acme/Acme Scan.DS"));
    EXPECT_THAT(ReadFile(instance64 + "tracewell.conf"),
                HasSubstr("adapted_source = " + tree.windows + "/twain_64/Acme/Acme Scan-DS.tracewell-hidden\nlog_dir = " +
                          tree.log + "/Acme-Scan-2\n"));
    EXPECT_EQ(after.count("/log/Acme-Scan") + after.count("/log/Acme-Scan-2"), 2u);

    testing::internal::CaptureStdout();
    EXPECT_EQ(Status(tree.Options()), kExitSuccess);
    const std::string status = testing::internal::GetCapturedStdout();
    EXPECT_THAT(status, HasSubstr("TWAIN directory  " + tree.windows + "/twain_32\nTWAIN directory  " + tree.windows + "/twain_64\n"));
    EXPECT_THAT(status, HasSubstr(tree.Source(32) + "\n  traced by     " + instance32));

    for (const int bits : {32, 64}) ASSERT_EQ(tree.Quietly(Detach, bits), kExitSuccess) << bits;
    auto restored = TreeSnapshot(tree.scratch.Path());
    restored.erase("/log/Acme-Scan");
    restored.erase("/log/Acme-Scan-2");
    EXPECT_TRUE(restored == before);
}

// The checks only the Windows rules make; those both systems share are the Linux command's cases,
// and what the PE reader finds in each DLL is its own test's.
TEST(WindowsCommand, RefusalsChangeNothing) {
    if (std::string(WINDOWS_MODULES_DIR).empty()) GTEST_SKIP() << "no MinGW cross compilers";
    const std::string kScan32 = "twain_32/Acme/Acme Scan.DS";
    const struct {
        const char* name;
        std::string source;  // below the Windows folder
        std::string message;
        const char* module;  // when set, copied to `source` first (a name among the Windows modules)
        std::function<void(WindowsTree&)> prepare;
    } kCases[] = {
        {"a 32-bit source among the 64-bit ones", "twain_64/Acme/old.ds", "is a 32-bit data source in", "source32.ds", nullptr},
        {"a 64-bit source among the 32-bit ones", "twain_32/Acme/new.ds", "is a 64-bit data source in", "source64.ds", nullptr},
        {"a name that does not end in .ds", "twain_64/Acme/acme.ds.bak", "does not end in \".ds\"", "source64.ds", nullptr},
        {"a Linux shared object", "twain_64/Acme/elf.ds", "not a DLL (no PE header)", STANDARD_SOURCE, nullptr},
        {"a .ds that is not a DLL", "twain_64/Acme/notes.ds", "not a DLL", nullptr,
         [](WindowsTree& t) { WriteText(t.windows + "/twain_64/Acme/notes.ds", "MZ but nothing more\n"); }},
        {"no 32-bit build installed", kScan32, "No such file", nullptr, [](WindowsTree& t) { unlink((t.install + "/x86/tracewell.ds").c_str()); }},
        {"a 64-bit build where the 32-bit one belongs", kScan32, "is a 64-bit build", nullptr,
         [](WindowsTree& t) { Copy(WindowsModule("tracewell64.ds"), t.install + "/x86/tracewell.ds", 0755); }},
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
    int result = -1;
    EXPECT_THAT(CaptureStderr([&] { result = Status(options); }), HasSubstr("%WINDIR% is not set"));
    EXPECT_EQ(result, kExitFailure);
}

// Runs a Windows program under Wine on a folder of this machine.
ProgramRun RunUnderWine(const char* program, std::string folder) {
    setenv("WINEDEBUG", "-all", 1);
    setenv("WINEPREFIX", (std::string(TRACEWELL_BINARY_DIR) + "/wine-prefix").c_str(), 1);
    std::replace(folder.begin(), folder.end(), '/', '\\');
    return RunProgram(WINE_COMMAND, {program, "Z:" + folder});
}

// The command's file system layer on Windows: case, roots, names outside ASCII, refusals to
// overwrite (each check is in the program).
TEST(WindowsCommand, HostFilesHoldOnWindows) {
    if (std::string(WINDOWS_HOST_CHECK).empty()) GTEST_SKIP() << "no MinGW cross compilers or no Wine";
    ScratchDir scratch;
    const ProgramRun run = RunUnderWine(WINDOWS_HOST_CHECK, scratch.Path());
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_THAT(run.out, HasSubstr(" held, 0 did not")) << "the checks ran";
    EXPECT_EQ(DirectoryEntries(scratch.Path()), Paths{}) << "nothing left behind";
}

// Windows' own "*.ds" search, run under Wine, finds exactly the names the Windows rules call
// offered, and never the name a source is hidden under.
TEST(WindowsCommand, HiddenNamesEscapeTheSearchOfWindowsItself) {
    if (std::string(WINDOWS_FIND_PROBE).empty()) GTEST_SKIP() << "no MinGW cross compilers or no Wine";
    const CSourceRules& rules = RulesOf(TwainSystem::kWindows);
    Paths names = {"x.ds-orig", "y.dsx", "z.ds.bak", "readme.txt", "v.ds_"}, offered;
    for (const std::string source : {"acme.ds", "Scan Pro.DS", "twice.ds.ds", "dotted.v2.Ds", "x.ds"}) {
        names.push_back(source);
        names.push_back(rules.HiddenName(source));
    }
    ScratchDir scratch;
    const std::string folder = scratch.Dir("twain_64");
    for (const std::string& name : names) {
        WriteText(folder + "/" + name, "x");
        if (rules.Offered(name)) offered.push_back(name);
    }
    EXPECT_EQ(offered.size(), 5u);
    const ProgramRun run = RunUnderWine(WINDOWS_FIND_PROBE, folder);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Paths found;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) found.push_back(line.substr(0, line.find('\r')));
    std::sort(found.begin(), found.end());
    std::sort(offered.begin(), offered.end());
    EXPECT_EQ(found, offered);
}

}  // namespace
