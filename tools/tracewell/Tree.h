// The subcommands that change the TWAIN tree and the log directories: attach, detach, status,
// on, off.
#pragma once

#include <string>

#include "Command.h"

int RunAttach(int argc, char** argv);
int RunDetach(int argc, char** argv);
int RunStatus(int argc, char** argv);
int RunOn(int argc, char** argv);
int RunOff(int argc, char** argv);

// The work of attach and detach; `failAt` (for tests) makes that change fail as if the system
// refused it.
int Attach(const TreeOptions& options, const std::string& source, int failAt = 0);
int Detach(const TreeOptions& options, const std::string& source, int failAt = 0);
int Status(const TreeOptions& options);

// Names of the files a traced instance's directory holds.
constexpr char kInstanceModule[] = "tracewell.ds";
constexpr char kInstanceRecord[] = "tracewell.attach";
