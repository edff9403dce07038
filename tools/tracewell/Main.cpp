// The `tracewell` command's entry point.
#include <string>
#include <vector>

#include "Command.h"
#include "HostFiles.h"

int main(int argc, char** argv) {
    std::vector<std::string> arguments = host::CommandLine(argc, argv);
    std::vector<char*> pointers;
    for (std::string& argument : arguments) pointers.push_back(&argument[0]);
    pointers.push_back(nullptr);
    return RunTracewell(static_cast<int>(arguments.size()), pointers.data());
}
