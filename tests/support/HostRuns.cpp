// What the tests share on every system: scratch directories, the entries and trace files of a
// directory, standard-error capture, the values of a program's summary, and a session host run
// with the trace it left.
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "Processes.h"
#include "TestSupport.h"

ScratchDir::~ScratchDir() {
    if (!m_path.empty()) RemoveTree(m_path);
}

std::string ScratchDir::Dir(const std::string& name) const {
    std::error_code exists;
    std::filesystem::create_directory(std::filesystem::u8path(File(name)), exists);
    return File(name);
}

std::string ScratchDir::Write(const std::string& name, const std::string& text) const {
    const std::string path = File(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
}

std::vector<std::string> DirectoryEntries(const std::string& path) {
    std::vector<std::string> names;
    std::error_code unreadable;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::u8path(path), unreadable))
        names.push_back(entry.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TraceFilesIn(const std::string& directory) {
    std::vector<std::string> files;
    for (const std::string& name : DirectoryEntries(directory)) {
        if (name.rfind("Twainlog_", 0) == 0) files.push_back(directory + "/" + name);
    }
    return files;
}

// What `file` holds from its start; the file is closed.
std::string ReadAndClose(FILE* file) {
    std::string text;
    rewind(file);
    char chunk[4096];
    for (size_t n; (n = fread(chunk, 1, sizeof(chunk), file)) > 0;) text.append(chunk, n);
    fclose(file);
    return text;
}

std::string CaptureStderr(const std::function<void()>& action) {
    fflush(stderr);
    FILE* sink = tmpfile();
    if (sink == nullptr) {
        action();
        return "";
    }
    const int saved = dup(2);
    dup2(fileno(sink), 2);
    action();
    fflush(stderr);
    dup2(saved, 2);
    close(saved);
    return ReadAndClose(sink);
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
