// What the tests share on every system: files written into a scratch directory, and a session
// host run with the trace it left.
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "Processes.h"
#include "TestSupport.h"

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

// The traces the run wrote into the demo's log directory, in the order they were written: the
// Windows build ends its trace after the call that closes the last open source and begins a new
// one at the next call, and the texts of a run's traces follow one another.
HostRun RunHost(const std::vector<std::string>& arguments) {
    HostRun run;
    const std::vector<std::string> before = TraceFilesIn(DEMO_LOG_DIR);
    run.host = RunProgram(HOST_PROGRAM, arguments);
    run.tracePath = SummaryValue(run.host.out, "Trace file:");
    for (const std::string& path : TraceFilesIn(DEMO_LOG_DIR)) {
        if (std::find(before.begin(), before.end(), path) != before.end()) continue;
        run.trace += ReadFile(path);
        remove(path.c_str());
    }
    return run;
}
