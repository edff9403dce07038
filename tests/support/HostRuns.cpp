// What the tests share on every system: files written into a scratch directory, and a session
// host run with the trace it left.
#include <cstdio>
#include <fstream>

#include "Processes.h"
#include "TestSupport.h"

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

HostRun RunHost(const std::vector<std::string>& arguments) {
    HostRun run;
    run.host = RunProgram(TRACEWELL_BINARY_DIR "/host/tracewell_host", arguments);
    run.tracePath = SummaryValue(run.host.out, "Trace file:");
    if (!run.tracePath.empty()) {
        run.trace = ReadFile(run.tracePath);
        remove(run.tracePath.c_str());
    }
    return run;
}
