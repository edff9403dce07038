// The `tracewell` command: its table of subcommands, their exit codes, and the options the
// subcommands that work on the TWAIN tree share.
#pragma once

#include <string>
#include <vector>

#include "HostFiles.h"

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// One row of the table: the subcommand's name, its arguments and one line on what it does (both
// for --help), and the function that runs it, with argv[0] the subcommand's name and the exit
// code as its result.
struct Subcommand {
    const char* name;
    const char* arguments;
    const char* summary;
    int (*run)(int argc, char** argv);
};

// Whose Source Manager the command attaches sources to: the system it runs on, or (in tests) the
// other one's rules on this system's files.
enum class TwainSystem { kLinux, kWindows };

// Where the subcommands of the TWAIN tree work. Given before the subcommand's name (or after it).
struct TreeOptions {
    TwainSystem system = host::kWindowsHost ? TwainSystem::kWindows : TwainSystem::kLinux;
    std::string twainDir = "/usr/local/lib/twain";             // Linux
    std::string windowsDir = host::Environment("WINDIR");      // Windows: holds twain_32 and twain_64
    std::string logDir = host::DefaultLogDirectory();
    // Empty: Linux ../lib/tracewell/tracewell.ds from the command's own directory; Windows
    // x64\tracewell.ds or x86\tracewell.ds in the install folder, after the source's bitness.
    std::string dataSource;
    std::string installDir;  // Windows; empty: the folder above the command's own (bin\)
};
TreeOptions& GlobalTreeOptions();

// Parses the arguments of a subcommand (argv[0] its name): the tree options and the rest, in
// order. Returns kExitSuccess to go on, or the exit code to end with: kExitUsage after printing
// the reason, kExitSuccess with `*done` set after printing the subcommand's help.
int ParseTreeArguments(int argc, char** argv, TreeOptions* options, std::vector<std::string>* rest, bool* done);

// Prints "tracewell: REASON" and a pointer to --help on standard error; returns kExitUsage.
int UsageError(const std::string& reason);
// Prints "tracewell: WHAT" on standard error; returns kExitFailure.
int Failure(const std::string& what);

int RunTracewell(int argc, char** argv);
