// Scratch directories, program runs and standard-error capture for the tests.
#include "Processes.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "TestSupport.h"

extern char** environ;

ScratchDir::ScratchDir() {
    char pattern[] = "/tmp/tracewell-test-XXXXXX";
    m_path = mkdtemp(pattern) != nullptr ? pattern : "";
}

bool ModuleLoaded(const std::string& path) {
    void* handle = dlopen(path.c_str(), RTLD_LAZY | RTLD_NOLOAD);
    if (handle != nullptr) dlclose(handle);
    return handle != nullptr;
}

std::map<std::string, std::string> TreeSnapshot(const std::string& root) {
    std::map<std::string, std::string> tree;
    std::function<void(const std::string&)> walk = [&](const std::string& relative) {
        for (const std::string& name : DirectoryEntries(root + relative)) {
            const std::string path = relative + "/" + name;
            struct stat st;
            if (lstat((root + path).c_str(), &st) != 0) continue;
            const std::string mode = std::to_string(st.st_mode);
            if (S_ISDIR(st.st_mode)) {
                tree[path] = "dir " + mode;
                walk(path);
            } else if (S_ISLNK(st.st_mode)) {
                char target[4096] = {};
                tree[path] = "link " + std::string(target, readlink((root + path).c_str(), target, sizeof(target) - 1));
            } else {
                tree[path] = "file " + mode + " " + ReadFile(root + path);
            }
        }
    };
    walk("");
    return tree;
}

void RemoveTree(const std::string& path) {
    std::error_code missing;
    std::filesystem::remove_all(path, missing);
}

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    ScratchDir scratch;
    const std::string outPath = scratch.File("out"), errPath = scratch.File("err");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    std::vector<char*> argv = {const_cast<char*>(program.c_str())};
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t pid;
    const int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return {-1, "", "cannot start " + program};
    int status = 0;
    waitpid(pid, &status, 0);
    const int exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return {exitCode, ReadFile(outPath), ReadFile(errPath)};
}

// The child writes what it found to a file it shares with this process.
std::string RunInChild(const std::function<std::string()>& body) {
    FILE* report = tmpfile();
    if (report == nullptr) return "cannot make a file for the child's report";
    fflush(nullptr);
    const pid_t pid = fork();
    if (pid < 0) return "cannot fork";
    if (pid == 0) {
        const std::string found = body();
        fwrite(found.data(), 1, found.size(), report);
        fflush(nullptr);
        _exit(0);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string found = ReadAndClose(report);
    if (WIFSIGNALED(status)) return "the child was killed by signal " + std::to_string(WTERMSIG(status)) + "; " + found;
    if (WEXITSTATUS(status) != 0) return "the child exited with " + std::to_string(WEXITSTATUS(status)) + "; " + found;
    return found;
}

int OpenDescriptorCount() { return static_cast<int>(DirectoryEntries("/proc/self/fd").size()) - 1; }  // less the one reading

#if TRACEWELL_SANITIZED
extern "C" size_t __sanitizer_get_current_allocated_bytes();
size_t LiveHeapBytes() { return __sanitizer_get_current_allocated_bytes(); }
#else
size_t LiveHeapBytes() { return mallinfo2().uordblks; }
#endif

size_t ResidentBytes() {
    size_t pages = 0, resident = 0;
    if (FILE* statm = fopen("/proc/self/statm", "r")) {
        if (fscanf(statm, "%zu %zu", &pages, &resident) != 2) resident = 0;
        fclose(statm);
    }
    return resident * static_cast<size_t>(sysconf(_SC_PAGESIZE));
}
