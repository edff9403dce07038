// The table of subcommands, the command line's options, --help and the exit codes.
#include "Command.h"

#include <cstdio>
#include <cstring>

#include "Check.h"
#include "Report.h"
#include "Tree.h"

namespace {

// A new subcommand is one more row; --help lists the rows in this order.
const Subcommand kSubcommands[] = {
    {"attach", "SOURCE.ds",
     "trace SOURCE: install a traced instance of it and hide SOURCE from the Source Manager", RunAttach},
    {"detach", "SOURCE.ds", "stop tracing SOURCE: remove its traced instance and put SOURCE back as it was",
     RunDetach},
    {"status", "", "list the attached sources, whether tracing is on and the newest trace of each", RunStatus},
    {"on", "", "switch tracing on: make the log directories, writable by every user", RunOn},
    {"off", "", "switch tracing off: remove the log directories, or move them aside when they hold traces",
     RunOff},
    {"report", "TRACE...",
     "read traces: failures, states, capabilities, transfers, timing (--json, --html OUT)", RunReport},
    {"diff", "A B", "align two traced sessions call by call: where they part, and every value that differs",
     RunDiff},
    {"check", "TRACE...",
     "find where the application, the source or the Source Manager broke a TWAIN rule (--json)", RunCheck},
};

std::string Usage(const Subcommand& row) {
    return std::string(row.name) + (row.arguments[0] != '\0' ? " " : "") + row.arguments;
}

const Subcommand* FindSubcommand(const std::string& name) {
    for (const Subcommand& row : kSubcommands) {
        if (name == row.name) return &row;
    }
    return nullptr;
}

void PrintHelp() {
    printf("usage: tracewell [OPTIONS] COMMAND [ARGUMENTS]\n\n"
           "Attaches Tracewell to TWAIN data sources, so that every call an application makes to them\n"
           "is traced, and switches tracing on and off.\n\nCommands:\n");
    for (const Subcommand& row : kSubcommands) {
        printf("  %-18s %s\n", Usage(row).c_str(), row.summary);
    }
    printf("\nOptions (before or after the command):\n");
    if (GlobalTreeOptions().system == TwainSystem::kWindows) {
        printf("  --windows-dir DIR  the folder holding the Source Managers' twain_32 and twain_64\n"
               "                     (default %%WINDIR%%)\n"
               "  --log-dir DIR      where the traces go, one folder per attached source\n"
               "                     (default %%ProgramData%%\\Tracewell\\log)\n"
               "  --install-dir DIR  the folder holding x64\\tracewell.ds and x86\\tracewell.ds, which\n"
               "                     attach installs after the source's bitness (default the folder\n"
               "                     above the command's own)\n"
               "  --data-source FILE the tracewell.ds that attach installs, of the source's bitness\n");
    } else {
        printf("  --twain-dir DIR    the Source Manager's directory of data sources (default /usr/local/lib/twain)\n"
               "  --log-dir DIR      where the traces go, one directory per attached source\n"
               "                     (default /var/log/tracewell)\n"
               "  --data-source FILE the tracewell.ds that attach installs (default\n"
               "                     ../lib/tracewell/tracewell.ds from the command's directory)\n");
    }
    printf("  --help             this text;  --version  the version\n\n"
           "Exit status: 0 success, 1 failure, 2 usage error.\n");
}

// Takes the tree option at argv[*i] (as "--name VALUE" or "--name=VALUE"); 0 when it is none,
// 1 when taken, -1 after a usage error has been printed.
int TakeTreeOption(int argc, char** argv, int* i, TreeOptions* options) {
    // Each option with the system it applies to; kBoth for either.
    constexpr int kBoth = -1;
    static const struct {
        const char* name;
        std::string TreeOptions::*field;
        int system;
    } kOptions[] = {{"--twain-dir", &TreeOptions::twainDir, static_cast<int>(TwainSystem::kLinux)},
                    {"--windows-dir", &TreeOptions::windowsDir, static_cast<int>(TwainSystem::kWindows)},
                    {"--install-dir", &TreeOptions::installDir, static_cast<int>(TwainSystem::kWindows)},
                    {"--log-dir", &TreeOptions::logDir, kBoth},
                    {"--data-source", &TreeOptions::dataSource, kBoth}};
    const char* argument = argv[*i];
    for (const auto& option : kOptions) {
        const size_t length = strlen(option.name);
        if (strncmp(argument, option.name, length) != 0) continue;
        if (argument[length] != '=' && argument[length] != '\0') continue;
        if (option.system != kBoth && option.system != static_cast<int>(options->system)) {
            UsageError(std::string(option.name) + " is an option of the " +
                       (options->system == TwainSystem::kWindows ? "Linux" : "Windows") + " command");
            return -1;
        }
        std::string value;
        if (argument[length] == '=') {
            value = argument + length + 1;
        } else if (argument[length] == '\0') {
            if (*i + 1 >= argc) {
                UsageError(std::string(option.name) + " needs a value");
                return -1;
            }
            value = argv[++*i];
        } else {
            continue;
        }
        if (value.empty()) {
            UsageError(std::string(option.name) + " needs a value");
            return -1;
        }
        options->*option.field = value;
        return 1;
    }
    return 0;
}

}  // namespace

TreeOptions& GlobalTreeOptions() {
    static TreeOptions options;
    return options;
}

int UsageError(const std::string& reason) {
    fprintf(stderr, "tracewell: %s (see tracewell --help)\n", reason.c_str());
    return kExitUsage;
}

int Failure(const std::string& what) {
    fprintf(stderr, "tracewell: %s\n", what.c_str());
    return kExitFailure;
}

int ParseTreeArguments(int argc, char** argv, TreeOptions* options, std::vector<std::string>* rest, bool* done) {
    *done = false;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        if (!optionsEnd && argument == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && (argument == "--help" || argument == "-h")) {
            const Subcommand* row = FindSubcommand(argv[0]);
            if (row != nullptr) printf("usage: tracewell [OPTIONS] %s\n  %s\n", Usage(*row).c_str(), row->summary);
            *done = true;
            return kExitSuccess;
        } else if (!optionsEnd && argument.size() > 1 && argument[0] == '-') {
            const int taken = TakeTreeOption(argc, argv, &i, options);
            if (taken < 0) return kExitUsage;
            if (taken == 0) return UsageError("unknown option " + argument + " for " + argv[0]);
        } else {
            rest->push_back(argument);
        }
    }
    return kExitSuccess;
}

int RunTracewell(int argc, char** argv) {
    TreeOptions& options = GlobalTreeOptions();
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        const std::string argument = argv[i];
        if (argument == "--help" || argument == "-h") {
            PrintHelp();
            return kExitSuccess;
        }
        if (argument == "--version") {
            printf("tracewell %s\n", TRACEWELL_VERSION);
            return kExitSuccess;
        }
        const int taken = TakeTreeOption(argc, argv, &i, &options);
        if (taken < 0) return kExitUsage;
        if (taken == 0) return UsageError("unknown option " + argument);
    }
    if (i >= argc) return UsageError("no command given");
    const Subcommand* row = FindSubcommand(argv[i]);
    if (row == nullptr) return UsageError(std::string("unknown command ") + argv[i]);
    return row->run(argc - i, argv + i);
}
