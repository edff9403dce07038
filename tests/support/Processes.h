// Helpers for tests that work with files, modules and other programs: scratch directories,
// a tree's snapshot, removing a tree, whether a module is loaded, running a program with its output captured, and
// capturing this process's standard error.
#pragma once

#include <cstdio>
#include <functional>
#include <map>
#include <string>
#include <vector>

// A directory of its own under /tmp, removed with everything in it when the object goes.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    const std::string& Path() const { return m_path; }
    // The path of `name` inside the directory (nothing is made).
    std::string File(const std::string& name) const { return m_path + "/" + name; }
    // Makes directory `name` inside the directory and returns its path.
    std::string Dir(const std::string& name) const;
    // Writes file `name` inside the directory, byte for byte, and returns its path.
    std::string Write(const std::string& name, const std::string& text) const;

private:
    std::string m_path;
};

// The names in a directory, sorted, without "." and ".."; empty when it cannot be read.
std::vector<std::string> DirectoryEntries(const std::string& path);

// The paths of the trace files (Twainlog_*) in a directory, sorted.
std::vector<std::string> TraceFilesIn(const std::string& directory);

// True when the module at `path` is loaded in this process (looking does not load it).
bool ModuleLoaded(const std::string& path);

// Every entry below `root` by its path from there ("/a/b"): "dir <mode>", "link <target>" or
// "file <mode> <bytes>". Symbolic links are not followed.
std::map<std::string, std::string> TreeSnapshot(const std::string& root);

// Removes a file or a directory with everything below it; symbolic links are not followed.
void RemoveTree(const std::string& path);

struct ProgramRun {
    int exitCode;  // 128 + signal when it was killed; -1 when it could not start
    std::string out;
    std::string err;
};

// Runs `program` (searched along PATH when it holds no slash) and waits for it.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// Runs `body` in a forked child of this process and waits for it. The child reports what it
// found as text: "" when everything held. A child that dies reports how, with its last words.
std::string RunInChild(const std::function<std::string()>& body);

// Open file descriptors of this process.
int OpenDescriptorCount();
// Bytes the heap has handed out and not taken back (the sanitizer's count in sanitized builds).
size_t LiveHeapBytes();
// Resident memory of this process.
size_t ResidentBytes();

// What `file` holds from its start; the file is closed.
std::string ReadAndClose(FILE* file);

// What `action` wrote to this process's standard error.
std::string CaptureStderr(const std::function<void()>& action);

// The text after "Label:" and its padding on the first line of `out` that starts with it.
std::string SummaryValue(const std::string& out, const std::string& label);

// A run of the session host (host/tracewell_host) and the trace file its summary names, which is
// read and removed.
struct HostRun {
    ProgramRun host;
    std::string tracePath;
    std::string trace;
};
HostRun RunHost(const std::vector<std::string>& arguments);
