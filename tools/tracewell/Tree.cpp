// Attaching Tracewell to a data source of the TWAIN tree and detaching it again, the state of the
// attached sources, and the log directories that switch tracing on; the same steps for the Linux
// and the Windows Source Manager, whose differences are their rules (SourceRules) and the file
// system under them (HostFiles).
//
// A traced instance is a directory tracewell-LABEL directly below the TWAIN directory (on Windows,
// the one of the source's bitness) holding a copy of tracewell.ds, its tracewell.conf (the source
// to forward to, the log directory) and tracewell.attach (what detach puts back). The original
// source stays in its own directory, beside its other files, renamed so that the Source Manager's
// search passes it over.
#include "Tree.h"

#include <algorithm>
#include <cstdio>
#include <set>

#include "Common/Settings.h"
#include "HostFiles.h"
#include "SourceRules.h"
#include "Transaction.h"

namespace {

constexpr unsigned kShared = 01777;  // every user may add traces, none may remove another's
constexpr size_t kMaxLogDirectory = 255;

struct Instance {
    std::string dir;
    std::string label;
    std::string source;
    std::string hidden;
    std::string logDir;
};

using host::BaseName;
using host::DirName;
using host::Exists;
using host::IsBelow;
using host::IsDirectory;
using host::Join;

bool ReadWholeFile(const std::string& path, std::string* content) {
    std::string why;
    return host::ReadWholeFile(path, content, &why);
}

std::string StripSeparators(std::string path) {
    while (path.size() > 1 && host::IsSeparator(path.back()) && DirName(path) != path) path.pop_back();
    return path;
}

// The path with its directory resolved (links, "..", relative to the working directory) and its
// last component kept as it is, so that a link or a file that is not there can still be named.
bool Canonical(std::string path, std::string* out) {
    path = StripSeparators(path);
    if (path.empty()) return false;
    path = host::AbsolutePath(path);
    const std::string name = BaseName(path);
    if (name.empty() || name == "." || name == "..") return false;
    std::string dir;
    if (!host::RealDirectory(DirName(path), &dir)) return false;
    *out = Join(dir, name);
    return true;
}

// A path written into a settings file must read back the same.
bool Writable(const std::string& path) {
    if (path.empty() || path.front() == ' ' || path.front() == '\t' || path.back() == ' ' || path.back() == '\t')
        return false;
    return std::none_of(path.begin(), path.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
}

std::vector<Instance> FindInstances(const std::vector<TwainFolder>& folders) {
    std::vector<Instance> instances;
    for (const TwainFolder& folder : folders) {
        for (const std::string& name : host::Entries(folder.path)) {
            Instance instance;
            instance.dir = Join(folder.path, name);
            std::string record;
            if (!ReadWholeFile(Join(instance.dir, kInstanceRecord), &record)) continue;
            instance.label = name;
            ForEachSetting(
                record,
                [&](int, const std::string& key, const std::string& value) {
                    if (key == "source") instance.source = value;
                    if (key == "hidden") instance.hidden = value;
                },
                [](int, const std::string&) {});
            std::string settings;
            if (ReadWholeFile(Join(instance.dir, kSettingsFileName), &settings)) {
                const TracewellSettings parsed = ParseSettings(settings, nullptr);
                if (parsed.logDirectory) instance.logDir = *parsed.logDirectory;
            }
            if (!instance.source.empty()) instances.push_back(instance);
        }
    }
    return instances;
}

// What keeps `path` from being a module of the kind wanted, or "" when nothing does.
std::string CheckModule(const CSourceRules& rules, const std::string& path, bool wantTracewell, ModuleFacts* facts) {
    std::string image, why;
    if (!host::ReadWholeFile(path, &image, &why)) return path + ": " + why;
    if (!rules.Read(image, facts, &why)) return path + " is " + why;
    if (!facts->entry) return path + " exports no DS_Entry: it is not a TWAIN data source";
    if (facts->tracewell && !wantTracewell)
        return path + " is a build of Tracewell itself; attach the data source you want traced";
    if (!facts->tracewell && wantTracewell) return path + " is not a build of tracewell.ds";
    return "";
}

// Makes `path` and the directories above it that are missing; the last one gets `mode`.
bool MakeDirectories(CTransaction& changes, const std::string& path, unsigned mode) {
    const std::string parent = DirName(path);
    if (parent != path && !Exists(parent) && !MakeDirectories(changes, parent, 0755)) return false;
    return changes.MakeDirectory(path, mode);
}

bool HoldsFiles(const std::string& dir) {
    for (const std::string& name : host::Entries(dir)) {
        const std::string path = Join(dir, name);
        const host::Facts facts = host::Inspect(path);
        if (!facts.exists || !facts.directory || HoldsFiles(path)) return true;
    }
    return false;
}

bool RemoveEmptyTree(CTransaction& changes, const std::string& dir) {
    for (const std::string& name : host::Entries(dir)) {
        if (!RemoveEmptyTree(changes, Join(dir, name))) return false;
    }
    return changes.RemoveDirectory(dir);
}

std::string AsideName(const std::string& dir) {
    const std::string stamp = host::LocalStamp();
    std::string aside = dir + "-off-" + stamp;
    for (int n = 2; Exists(aside); ++n) aside = dir + "-off-" + stamp + "-" + std::to_string(n);
    return aside;
}

// On: the directory exists and this user may add files to it.
std::string TracingState(const std::string& logDir) {
    if (logDir.empty()) return "off: its tracewell.conf names no log directory";
    if (!IsDirectory(logDir)) return "off: the directory does not exist (tracewell on)";
    if (!host::CanAddFiles(logDir)) return "off: the directory is not writable";
    return "on";
}

std::string NewestTrace(const std::string& logDir) {
    std::string newest;
    for (const std::string& name : host::Entries(logDir)) {
        if (name.rfind("Twainlog_", 0) == 0) newest = Join(logDir, name);  // names sort by time
    }
    return newest;
}

std::string FolderList(const std::vector<TwainFolder>& folders) {
    std::string list;
    for (const TwainFolder& folder : folders) list += (list.empty() ? "" : " or ") + folder.path;
    return list;
}

// The system's TWAIN folders that exist, resolved; fails when none does.
int OpenTree(const TreeOptions& options, std::vector<TwainFolder>* folders) {
    if (!host::IsAbsolute(options.logDir))
        return UsageError("--log-dir must be an absolute path, not " + options.logDir);
    const std::vector<TwainFolder> configured = RulesOf(options.system).Folders(options);
    if (configured.empty()) return Failure("%WINDIR% is not set; name the Windows folder with --windows-dir");
    for (const TwainFolder& folder : configured) {
        std::string real;
        if (host::RealDirectory(folder.path, &real)) folders->push_back({real, folder.bits});
    }
    if (folders->empty()) return Failure("the TWAIN directory " + FolderList(configured) + " does not exist");
    return kExitSuccess;
}

// A subcommand's arguments: the tree options and exactly the wanted further arguments. `status`
// is the exit code to end with when it is not kExitSuccess or when `done` (help was printed).
struct ParsedArguments {
    TreeOptions options;
    std::vector<std::string> rest;
    bool done = false;
    int status = kExitSuccess;
    bool Stop() const { return status != kExitSuccess || done; }
};

ParsedArguments Arguments(int argc, char** argv, size_t wanted, const char* what) {
    ParsedArguments a;
    a.options = GlobalTreeOptions();
    a.status = ParseTreeArguments(argc, argv, &a.options, &a.rest, &a.done);
    if (a.Stop()) return a;
    if (a.rest.size() < wanted) {
        a.status = UsageError(std::string(argv[0]) + " needs " + what);
    } else if (a.rest.size() > wanted) {
        a.status = UsageError(std::string(argv[0]) + " takes " + (wanted ? "one " : "no ") + "argument" +
                              (wanted ? "" : "s") + ", not " + a.rest[wanted]);
    }
    return a;
}

}  // namespace

int Attach(const TreeOptions& options, const std::string& sourceArgument, int failAt) {
    const CSourceRules& rules = RulesOf(options.system);
    std::vector<TwainFolder> folders;
    std::string source;
    if (const int opened = OpenTree(options, &folders)) return opened;
    if (!Canonical(sourceArgument, &source)) return Failure(sourceArgument + ": no such file or directory");
    const std::vector<Instance> instances = FindInstances(folders);
    for (const Instance& instance : instances) {
        if (host::SamePath(instance.source, source))
            return Failure(source + " is attached already (traced by " + instance.dir + ")");
        if (IsBelow(source, instance.dir)) return Failure(source + " belongs to Tracewell's traced instance " + instance.dir);
    }
    const host::Facts facts = host::Inspect(source);
    if (!facts.exists) return Failure(source + ": No such file or directory");
    if (facts.link)
        return Failure(source + " is a symbolic link, which the Source Manager does not load; attach the file itself");
    if (!facts.regular) return Failure(source + " is not a regular file");
    const auto folder = std::find_if(folders.begin(), folders.end(),
                                     [&](const TwainFolder& f) { return IsBelow(source, f.path); });
    if (folder == folders.end())
        return Failure(source + " is not below the TWAIN directory " + FolderList(folders) +
                       ", so the Source Manager never offers it");
    const std::string name = BaseName(source);
    if (!rules.Offered(name)) return Failure(source + ": " + rules.OfferedRule() + ", so the Source Manager never offers it");
    if (!Writable(source)) return Failure(source + ": its name holds control characters or edge blanks");
    ModuleFacts sourceFacts;
    if (const std::string wrong = CheckModule(rules, source, false, &sourceFacts); !wrong.empty()) return Failure(wrong);
    if (sourceFacts.bits != folder->bits)
        return Failure(source + " is a " + std::to_string(sourceFacts.bits) + "-bit data source in " + folder->path +
                       ", whose Source Manager loads only " + std::to_string(folder->bits) +
                       "-bit ones; it is never offered there");

    const std::string module = rules.Module(options, sourceFacts.bits);
    ModuleFacts moduleFacts;
    std::string moduleImage, why;
    if (const std::string wrong = CheckModule(rules, module, true, &moduleFacts); !wrong.empty()) return Failure(wrong);
    if (moduleFacts.bits != sourceFacts.bits)
        return Failure(module + " is a " + std::to_string(moduleFacts.bits) + "-bit build; " + source + " needs the " +
                       std::to_string(sourceFacts.bits) + "-bit one");
    if (!host::ReadWholeFile(module, &moduleImage, &why)) return Failure(module + ": " + why);

    const std::string hidden = Join(DirName(source), rules.HiddenName(name));
    if (Exists(hidden)) return Failure(hidden + " exists already; it is in the way of hiding " + source);
    // The label names the instance and its log directory, so it is free in every folder.
    const std::string label = rules.Label(name);
    const auto taken = [&](const std::string& candidate) {
        return std::any_of(folders.begin(), folders.end(),
                           [&](const TwainFolder& f) { return Exists(Join(f.path, "tracewell-" + candidate)); });
    };
    std::string suffix;
    for (int n = 2; taken(label + suffix); ++n) suffix = "-" + std::to_string(n);
    const std::string instanceDir = Join(folder->path, "tracewell-" + label + suffix);
    const std::string base = StripSeparators(options.logDir);
    const std::string logDir = Join(base, label + suffix);
    if (logDir.size() > kMaxLogDirectory)
        return Failure("the log directory " + logDir + " is longer than " + std::to_string(kMaxLogDirectory) + " bytes");
    if (!Writable(logDir)) return Failure("--log-dir holds control characters or edge blanks");

    const std::string settings = "# Settings of this traced instance of " + source +
                                 ", read each time the Source Manager loads it.\n"
                                 "# `tracewell detach " + source + "` removes this directory.\n"
                                 "adapted_source = " + hidden + "\nlog_dir = " + logDir + "\ntiming = off\n";
    const std::string record = "# Written by `tracewell attach`; `tracewell detach` puts the source back from it.\n"
                               "source = " + source + "\nhidden = " + hidden + "\n";
    const bool tracing = IsDirectory(base);

    // The source is hidden last: until the traced instance is whole, the original stays offered.
    CTransaction changes;
    changes.FailAt(failAt);
    if (!changes.MakeDirectory(instanceDir, 0755) ||
        !changes.WriteFile(Join(instanceDir, kInstanceModule), moduleImage, host::Inspect(module).mode & 0755) ||
        !changes.WriteFile(Join(instanceDir, kSettingsFileName), settings, 0644) ||
        !changes.WriteFile(Join(instanceDir, kInstanceRecord), record, 0644) ||
        (tracing && !IsDirectory(logDir) && !changes.MakeDirectory(logDir, kShared)) || !changes.Rename(source, hidden)) {
        return Failure(changes.Error() + "; nothing was changed");
    }
    changes.Commit();
    printf("attached %s\n  the Source Manager now offers it through %s\n  traces go to %s (tracing %s)\n",
           source.c_str(), Join(instanceDir, kInstanceModule).c_str(), logDir.c_str(),
           tracing ? "is on" : "is off: tracewell on switches it on");
    return kExitSuccess;
}

int Detach(const TreeOptions& options, const std::string& sourceArgument, int failAt) {
    std::vector<TwainFolder> folders;
    std::string source;
    if (const int opened = OpenTree(options, &folders)) return opened;
    if (!Canonical(sourceArgument, &source)) return Failure(sourceArgument + ": no such file or directory");
    const std::vector<Instance> instances = FindInstances(folders);
    const auto found = std::find_if(instances.begin(), instances.end(),
                                    [&](const Instance& instance) { return host::SamePath(instance.source, source); });
    if (found == instances.end()) return Failure(source + " is not attached (tracewell status lists what is)");
    const Instance& instance = *found;
    if (Exists(instance.source))
        return Failure(source + " exists again, so its hidden original " + instance.hidden +
                       " cannot be put back; move one of them away and detach again");
    if (instance.hidden.empty() || !Exists(instance.hidden))
        return Failure("the hidden original " + instance.hidden + " of " + source + " is missing");
    const std::set<std::string> ours = {kInstanceModule, kSettingsFileName, kInstanceRecord};
    for (const std::string& name : host::Entries(instance.dir)) {
        if (ours.count(name) == 0)
            return Failure(instance.dir + " holds " + name + ", which tracewell did not put there; move it away first");
    }

    CTransaction changes;
    changes.FailAt(failAt);
    // The name recorded at attach, in its own letters, comes back.
    bool done = changes.Rename(instance.hidden, instance.source);
    for (const char* name : {kInstanceModule, kSettingsFileName, kInstanceRecord}) {
        const std::string path = Join(instance.dir, name);
        if (done && Exists(path)) done = changes.RemoveFile(path);
    }
    if (!done || !changes.RemoveDirectory(instance.dir)) return Failure(changes.Error() + "; nothing was changed");
    changes.Commit();
    printf("detached %s: it is offered as before%s%s\n", instance.source.c_str(),
           instance.logDir.empty() ? "" : "; its traces stay in ", instance.logDir.c_str());
    return kExitSuccess;
}

int Status(const TreeOptions& options) {
    std::vector<TwainFolder> folders;
    if (const int opened = OpenTree(options, &folders)) return opened;
    const std::vector<Instance> instances = FindInstances(folders);
    for (const TwainFolder& folder : folders) printf("TWAIN directory  %s\n", folder.path.c_str());
    printf("Log directory    %s (%s)\n", options.logDir.c_str(),
           IsDirectory(options.logDir) ? "exists" : "does not exist: tracing is off");
    if (instances.empty()) printf("No data source is attached.\n");
    for (const Instance& instance : instances) {
        const std::string newest = NewestTrace(instance.logDir);
        printf("\n%s\n  traced by     %s\n  traces go to  %s\n  tracing       %s\n  newest trace  %s\n",
               instance.source.c_str(), Join(instance.dir, kInstanceModule).c_str(),
               instance.logDir.empty() ? "(none)" : instance.logDir.c_str(), TracingState(instance.logDir).c_str(),
               newest.empty() ? "none" : newest.c_str());
    }
    return kExitSuccess;
}

int RunAttach(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 1, "the data source to trace (SOURCE.ds)");
    if (parsed.Stop()) return parsed.status;
    return Attach(parsed.options, parsed.rest[0]);
}

int RunDetach(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 1, "the attached data source (SOURCE.ds)");
    if (parsed.Stop()) return parsed.status;
    return Detach(parsed.options, parsed.rest[0]);
}

int RunStatus(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 0, "");
    if (parsed.Stop()) return parsed.status;
    return Status(parsed.options);
}

int RunOn(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 0, "");
    if (parsed.Stop()) return parsed.status;
    const TreeOptions& options = parsed.options;
    std::vector<TwainFolder> folders;
    if (const int opened = OpenTree(options, &folders)) return opened;
    CTransaction changes;
    const std::string base = StripSeparators(options.logDir);
    if (!IsDirectory(base) && !MakeDirectories(changes, base, 0755))
        return Failure(changes.Error() + "; nothing was changed");
    const std::vector<Instance> instances = FindInstances(folders);
    for (const Instance& instance : instances) {
        if (instance.logDir.empty() || IsDirectory(instance.logDir)) continue;
        if (!MakeDirectories(changes, instance.logDir, kShared)) return Failure(changes.Error() + "; nothing was changed");
    }
    changes.Commit();
    printf("tracing is on: traces go to %s\n", options.logDir.c_str());
    for (const Instance& instance : instances) {
        if (!instance.logDir.empty()) printf("  %s: %s\n", instance.source.c_str(), instance.logDir.c_str());
    }
    if (instances.empty()) printf("  no data source is attached yet (tracewell attach SOURCE.ds)\n");
    return kExitSuccess;
}

int RunOff(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 0, "");
    if (parsed.Stop()) return parsed.status;
    const TreeOptions& options = parsed.options;
    std::vector<TwainFolder> folders;
    if (const int opened = OpenTree(options, &folders)) return opened;
    const std::string base = StripSeparators(options.logDir);
    std::vector<std::string> roots = {base};
    for (const Instance& instance : FindInstances(folders)) {
        if (!instance.logDir.empty() && !host::SamePath(instance.logDir, base) && !IsBelow(instance.logDir, base))
            roots.push_back(instance.logDir);
    }
    CTransaction changes;
    std::vector<std::string> kept;
    for (const std::string& root : roots) {
        if (!IsDirectory(root)) continue;
        if (HoldsFiles(root)) {
            // Traces are never deleted: the directory with them moves aside.
            const std::string aside = AsideName(root);
            if (!changes.Rename(root, aside)) return Failure(changes.Error() + "; nothing was changed");
            kept.push_back(aside);
        } else if (!RemoveEmptyTree(changes, root)) {
            return Failure(changes.Error() + "; nothing was changed");
        }
    }
    changes.Commit();
    printf("tracing is off\n");
    for (const std::string& aside : kept) printf("  the traces so far are kept in %s\n", aside.c_str());
    return kExitSuccess;
}
