// What the tests share on every system: scratch directories, the trace files of a directory, the
// values of a program's summary, and a session host run with the trace it left.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "Processes.h"
#include "TestSupport.h"

ScratchDir::~ScratchDir() {
    if (!m_path.empty()) RemoveTree(m_path);
}

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<std::string> TraceFilesIn(const std::string& directory) {
    std::vector<std::string> files;
    for (const std::string& name : DirectoryEntries(directory)) {
        if (name.rfind("Twainlog_", 0) == 0) files.push_back(directory + "/" + name);
    }
    return files;
}

std::string SummaryValue(const std::string& out, const std::string& label) {
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);) {
        if (line.compare(0, label.size(), label) != 0) continue;
        if (!line.empty() && line.back() == '\r') line.pop_back();  // a Windows program's line end
        const size_t value = line.find_first_not_of(' ', label.size());
        return value == std::string::npos ? "" : line.substr(value);
    }
    return "";
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
