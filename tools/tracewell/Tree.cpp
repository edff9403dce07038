// Attaching Tracewell to a data source of the TWAIN tree and detaching it again, the state of the
// attached sources, and the log directories that switch tracing on.
//
// A traced instance is a directory tracewell-LABEL directly below the TWAIN directory holding a
// copy of tracewell.ds, its tracewell.conf (the source to forward to, the log directory) and
// tracewell.attach (what detach puts back). The original source stays in its own directory,
// beside its other files, renamed so that its name holds no ".ds".
#include "Tree.h"

#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <set>

#include "Common/Settings.h"
#include "ElfSymbols.h"
#include "Transaction.h"

namespace {

constexpr mode_t kShared = 01777;  // every user may add traces, none may remove another's
constexpr size_t kMaxLogDirectory = 255;

struct Instance {
    std::string dir;
    std::string label;
    std::string source;
    std::string hidden;
    std::string logDir;
};

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsBelow(const std::string& path, const std::string& dir) {
    return path.size() > dir.size() + 1 && path.compare(0, dir.size(), dir) == 0 && path[dir.size()] == '/';
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }
std::string DirName(const std::string& path) { return path.substr(0, path.find_last_of('/')); }

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) return names;
    while (const dirent* entry = readdir(handle)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

bool RealDirectory(const std::string& path, std::string* real) {
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer) == nullptr || !IsDirectory(buffer)) return false;
    *real = buffer;
    return true;
}

// The path with its directory resolved (links, "..", relative to the working directory) and its
// last component kept as it is, so that a link or a file that is not there can still be named.
bool Canonical(std::string path, std::string* out) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    if (path.empty()) return false;
    if (path[0] != '/') {
        char cwd[PATH_MAX];
        if (getcwd(cwd, sizeof(cwd)) == nullptr) return false;
        path = std::string(cwd) + "/" + path;
    }
    const std::string name = BaseName(path);
    if (name.empty() || name == "." || name == "..") return false;
    std::string dir;
    if (!RealDirectory(DirName(path).empty() ? "/" : DirName(path), &dir)) return false;
    *out = (dir == "/" ? "" : dir) + "/" + name;
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

std::string HiddenName(const std::string& name) {
    std::string hidden;
    for (size_t i = 0; i < name.size(); ++i) {
        if (name.compare(i, 3, ".ds") == 0) {
            hidden += "-ds";
            i += 2;
        } else {
            hidden += name[i];
        }
    }
    return hidden + kHiddenSuffix;
}

// The source's name up to its first ".ds", in letters, digits, '_' and '-'.
std::string Label(const std::string& name) {
    std::string label;
    for (const char c : name.substr(0, name.find(".ds"))) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        label += plain ? c : '-';
    }
    return label.empty() ? "source" : label;
}

std::vector<Instance> FindInstances(const std::string& twainDir) {
    std::vector<Instance> instances;
    for (const std::string& name : Entries(twainDir)) {
        Instance instance;
        instance.dir = twainDir + "/" + name;
        std::string record;
        if (!ReadWholeFile(instance.dir + "/" + kInstanceRecord, &record)) continue;
        instance.label = name;
        ForEachSetting(
            record,
            [&](int, const std::string& key, const std::string& value) {
                if (key == "source") instance.source = value;
                if (key == "hidden") instance.hidden = value;
            },
            [](int, const std::string&) {});
        std::string settings;
        if (ReadWholeFile(instance.dir + "/" + kSettingsFileName, &settings)) {
            const TracewellSettings parsed = ParseSettings(settings, nullptr);
            if (parsed.logDirectory) instance.logDir = *parsed.logDirectory;
        }
        if (!instance.source.empty()) instances.push_back(instance);
    }
    return instances;
}

std::string DataSourceTemplate(const TreeOptions& options) {
    if (!options.dataSource.empty()) return options.dataSource;
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    if (length <= 0) return "/usr/local/lib/tracewell/tracewell.ds";
    self[length] = '\0';
    return DirName(DirName(self)) + "/lib/tracewell/tracewell.ds";
}

// What keeps `path` from being a file of the kind wanted, or "" when nothing does.
std::string CheckObject(const std::string& path, bool wantTracewell) {
    std::string image, why;
    std::set<std::string> exported;
    if (!ReadWholeFile(path, &image)) return path + ": " + strerror(errno);
    if (!ReadExportedSymbols(image, &exported, &why)) return path + " is " + why;
    const bool tracewell = exported.count("MachO_Initialization") != 0;
    if (exported.count("DS_Entry") == 0) return path + " exports no DS_Entry: it is not a TWAIN data source";
    if (tracewell && !wantTracewell)
        return path + " is a build of Tracewell itself; attach the data source you want traced";
    if (!tracewell && wantTracewell) return path + " is not a build of tracewell.ds";
    return "";
}

// Makes `path` and the directories above it that are missing; the last one gets `mode`.
bool MakeDirectories(CTransaction& changes, const std::string& path, mode_t mode) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string prefix = path.substr(0, slash);
        if (!Exists(prefix) && !changes.MakeDirectory(prefix, slash == std::string::npos ? mode : 0755)) return false;
        if (slash == std::string::npos) return true;
    }
}

bool HoldsFiles(const std::string& dir) {
    for (const std::string& name : Entries(dir)) {
        struct stat st;
        const std::string path = dir + "/" + name;
        if (lstat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || HoldsFiles(path)) return true;
    }
    return false;
}

bool RemoveEmptyTree(CTransaction& changes, const std::string& dir) {
    for (const std::string& name : Entries(dir)) {
        if (!RemoveEmptyTree(changes, dir + "/" + name)) return false;
    }
    return changes.RemoveDirectory(dir);
}

std::string AsideName(const std::string& dir) {
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[32];
    strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);
    std::string aside = dir + "-off-" + stamp;
    for (int n = 2; Exists(aside); ++n) aside = dir + "-off-" + stamp + "-" + std::to_string(n);
    return aside;
}

// On: the directory exists and this user may add files to it.
std::string TracingState(const std::string& logDir) {
    if (logDir.empty()) return "off: its tracewell.conf names no log directory";
    if (!IsDirectory(logDir)) return "off: the directory does not exist (tracewell on)";
    if (access(logDir.c_str(), W_OK | X_OK) != 0) return "off: the directory is not writable";
    return "on";
}

std::string NewestTrace(const std::string& logDir) {
    std::string newest;
    for (const std::string& name : Entries(logDir)) {
        if (name.rfind("Twainlog_", 0) == 0) newest = logDir + "/" + name;  // names sort by time
    }
    return newest;
}

int OpenTree(const TreeOptions& options, std::string* twainDir) {
    if (options.logDir[0] != '/') return UsageError("--log-dir must be an absolute path, not " + options.logDir);
    if (!RealDirectory(options.twainDir, twainDir))
        return Failure("the TWAIN directory " + options.twainDir + " does not exist");
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
    std::string twainDir, source;
    if (const int opened = OpenTree(options, &twainDir)) return opened;
    if (!Canonical(sourceArgument, &source)) return Failure(sourceArgument + ": no such file or directory");
    const std::vector<Instance> instances = FindInstances(twainDir);
    for (const Instance& instance : instances) {
        if (instance.source == source) return Failure(source + " is attached already (traced by " + instance.dir + ")");
        if (IsBelow(source, instance.dir)) return Failure(source + " belongs to Tracewell's traced instance " + instance.dir);
    }
    struct stat st;
    if (lstat(source.c_str(), &st) != 0) return Failure(source + ": " + strerror(errno));
    if (S_ISLNK(st.st_mode))
        return Failure(source + " is a symbolic link, which the Source Manager does not load; attach the file itself");
    if (!S_ISREG(st.st_mode)) return Failure(source + " is not a regular file");
    if (!IsBelow(source, twainDir))
        return Failure(source + " is not below the TWAIN directory " + twainDir + ", so the Source Manager never offers it");
    const std::string name = BaseName(source);
    if (name.find(".ds") == std::string::npos)
        return Failure(source + ": its name holds no \".ds\", so the Source Manager never offers it");
    if (!Writable(source)) return Failure(source + ": its name holds control characters or edge blanks");
    if (const std::string wrong = CheckObject(source, false); !wrong.empty()) return Failure(wrong);

    const std::string module = DataSourceTemplate(options);
    struct stat moduleStat;
    std::string moduleImage;
    if (const std::string wrong = CheckObject(module, true); !wrong.empty()) return Failure(wrong);
    if (stat(module.c_str(), &moduleStat) != 0 || !ReadWholeFile(module, &moduleImage))
        return Failure(module + ": " + strerror(errno));

    const std::string hidden = DirName(source) + "/" + HiddenName(name);
    if (Exists(hidden)) return Failure(hidden + " exists already; it is in the way of hiding " + source);
    const std::string label = Label(name);
    std::string suffix;
    for (int n = 2; Exists(twainDir + "/tracewell-" + label + suffix); ++n) suffix = "-" + std::to_string(n);
    const std::string instanceDir = twainDir + "/tracewell-" + label + suffix;
    std::string base = options.logDir;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    const std::string logDir = base + "/" + label + suffix;
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
        !changes.WriteFile(instanceDir + "/" + kInstanceModule, moduleImage, moduleStat.st_mode & 0755) ||
        !changes.WriteFile(instanceDir + "/" + kSettingsFileName, settings, 0644) ||
        !changes.WriteFile(instanceDir + "/" + kInstanceRecord, record, 0644) ||
        (tracing && !IsDirectory(logDir) && !changes.MakeDirectory(logDir, kShared)) || !changes.Rename(source, hidden)) {
        return Failure(changes.Error() + "; nothing was changed");
    }
    changes.Commit();
    printf("attached %s\n  the Source Manager now offers it through %s/%s\n  traces go to %s (tracing %s)\n",
           source.c_str(), instanceDir.c_str(), kInstanceModule, logDir.c_str(),
           tracing ? "is on" : "is off: tracewell on switches it on");
    return kExitSuccess;
}

int Detach(const TreeOptions& options, const std::string& sourceArgument, int failAt) {
    std::string twainDir, source;
    if (const int opened = OpenTree(options, &twainDir)) return opened;
    if (!Canonical(sourceArgument, &source)) return Failure(sourceArgument + ": no such file or directory");
    const std::vector<Instance> instances = FindInstances(twainDir);
    const auto found = std::find_if(instances.begin(), instances.end(),
                                    [&](const Instance& instance) { return instance.source == source; });
    if (found == instances.end()) return Failure(source + " is not attached (tracewell status lists what is)");
    const Instance& instance = *found;
    if (Exists(source))
        return Failure(source + " exists again, so its hidden original " + instance.hidden +
                       " cannot be put back; move one of them away and detach again");
    if (instance.hidden.empty() || !Exists(instance.hidden))
        return Failure("the hidden original " + instance.hidden + " of " + source + " is missing");
    const std::set<std::string> ours = {kInstanceModule, kSettingsFileName, kInstanceRecord};
    for (const std::string& name : Entries(instance.dir)) {
        if (ours.count(name) == 0)
            return Failure(instance.dir + " holds " + name + ", which tracewell did not put there; move it away first");
    }

    CTransaction changes;
    changes.FailAt(failAt);
    bool done = changes.Rename(instance.hidden, source);
    for (const char* name : {kInstanceModule, kSettingsFileName, kInstanceRecord}) {
        const std::string path = instance.dir + "/" + name;
        if (done && Exists(path)) done = changes.RemoveFile(path);
    }
    if (!done || !changes.RemoveDirectory(instance.dir)) return Failure(changes.Error() + "; nothing was changed");
    changes.Commit();
    printf("detached %s: it is offered as before%s%s\n", source.c_str(),
           instance.logDir.empty() ? "" : "; its traces stay in ", instance.logDir.c_str());
    return kExitSuccess;
}

int RunAttach(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 1, "the data source to trace (SOURCE.ds)");
    if (parsed.Stop()) return parsed.status;
    const TreeOptions& options = parsed.options;
    return Attach(options, parsed.rest[0]);
}

int RunDetach(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 1, "the attached data source (SOURCE.ds)");
    if (parsed.Stop()) return parsed.status;
    const TreeOptions& options = parsed.options;
    return Detach(options, parsed.rest[0]);
}

int RunStatus(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 0, "");
    if (parsed.Stop()) return parsed.status;
    const TreeOptions& options = parsed.options;
    std::string twainDir;
    if (const int opened = OpenTree(options, &twainDir)) return opened;
    const std::vector<Instance> instances = FindInstances(twainDir);
    printf("TWAIN directory  %s\nLog directory    %s (%s)\n", twainDir.c_str(), options.logDir.c_str(),
           IsDirectory(options.logDir) ? "exists" : "does not exist: tracing is off");
    if (instances.empty()) printf("No data source is attached.\n");
    for (const Instance& instance : instances) {
        const std::string newest = NewestTrace(instance.logDir);
        printf("\n%s\n  traced by     %s/%s\n  traces go to  %s\n  tracing       %s\n  newest trace  %s\n",
               instance.source.c_str(), instance.dir.c_str(), kInstanceModule,
               instance.logDir.empty() ? "(none)" : instance.logDir.c_str(), TracingState(instance.logDir).c_str(),
               newest.empty() ? "none" : newest.c_str());
    }
    return kExitSuccess;
}

int RunOn(int argc, char** argv) {
    const ParsedArguments parsed = Arguments(argc, argv, 0, "");
    if (parsed.Stop()) return parsed.status;
    const TreeOptions& options = parsed.options;
    std::string twainDir;
    if (const int opened = OpenTree(options, &twainDir)) return opened;
    CTransaction changes;
    if (!MakeDirectories(changes, options.logDir, 0755)) return Failure(changes.Error() + "; nothing was changed");
    const std::vector<Instance> instances = FindInstances(twainDir);
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
    std::string twainDir;
    if (const int opened = OpenTree(options, &twainDir)) return opened;
    std::string base = options.logDir;
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    std::vector<std::string> roots = {base};
    for (const Instance& instance : FindInstances(twainDir)) {
        if (!instance.logDir.empty() && instance.logDir != base && !IsBelow(instance.logDir, base))
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
