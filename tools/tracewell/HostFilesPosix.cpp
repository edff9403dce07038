// The command's file system on Linux (and any POSIX system): bytes for names, modes kept.
#include "HostFiles.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <ctime>

namespace host {

namespace {

bool WriteAll(int fd, const std::string& content) {
    size_t done = 0;
    while (done < content.size()) {
        const ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int g_held = 0;
sigset_t g_savedMask;

}  // namespace

bool IsSeparator(char c) { return c == '/'; }
bool IsAbsolute(const std::string& path) { return !path.empty() && path[0] == '/'; }
bool SamePath(const std::string& a, const std::string& b) { return a == b; }

bool IsBelow(const std::string& path, const std::string& dir) {
    const size_t length = dir == "/" ? 0 : dir.size();
    return path.size() > length + 1 && path.compare(0, length, dir) == 0 && path[length] == '/';
}

std::string Join(const std::string& dir, const std::string& name) {
    return !dir.empty() && dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of('/') + 1); }

std::string DirName(const std::string& path) {
    const size_t slash = path.find_last_of('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

Facts Inspect(const std::string& path) {
    Facts facts;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return facts;
    facts.exists = true;
    facts.directory = S_ISDIR(st.st_mode);
    facts.regular = S_ISREG(st.st_mode);
    facts.link = S_ISLNK(st.st_mode);
    facts.mode = st.st_mode & 07777;
    return facts;
}

bool Exists(const std::string& path) { return Inspect(path).exists; }

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    DIR* handle = opendir(dir.c_str());
    if (handle == nullptr) return names;
    while (const dirent* entry = readdir(handle)) {
        if (strcmp(entry->d_name, ".") != 0 && strcmp(entry->d_name, "..") != 0) names.push_back(entry->d_name);
    }
    closedir(handle);
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadWholeFile(const std::string& path, std::string* content, std::string* why) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *why = strerror(errno);
        return false;
    }
    content->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            *why = strerror(errno);
            close(fd);
            return false;
        }
        if (n == 0) break;
        content->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool RealDirectory(const std::string& path, std::string* real) {
    char buffer[PATH_MAX];
    if (realpath(path.c_str(), buffer) == nullptr || !IsDirectory(buffer)) return false;
    *real = buffer;
    return true;
}

bool CanAddFiles(const std::string& dir) { return access(dir.c_str(), W_OK | X_OK) == 0; }

std::string AbsolutePath(const std::string& path) {
    if (IsAbsolute(path)) return path;
    char cwd[PATH_MAX];
    return getcwd(cwd, sizeof(cwd)) == nullptr ? path : Join(cwd, path);
}

std::string ExecutablePath() {
    char self[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof(self) - 1);
    return length <= 0 ? "" : std::string(self, static_cast<size_t>(length));
}

std::string Environment(const char* name) {
    const char* value = getenv(name);
    return value == nullptr ? "" : value;
}

std::string LocalStamp() {
    const time_t now = time(nullptr);
    struct tm local;
    localtime_r(&now, &local);
    char stamp[32];
    strftime(stamp, sizeof(stamp), "%Y%m%d-%H%M%S", &local);
    return stamp;
}

std::string DefaultLogDirectory() { return "/var/log/tracewell"; }

std::string MakeDirectory(const std::string& path, unsigned mode) {
    if (mkdir(path.c_str(), 0700) != 0) return strerror(errno);
    // The mode is set after the umask has had its say; the directory stays private until then.
    if (chmod(path.c_str(), mode) != 0) {
        const int error = errno;
        rmdir(path.c_str());
        return strerror(error);
    }
    return "";
}

std::string WriteNewFile(const std::string& path, const std::string& content, unsigned mode) {
    if (Exists(path)) return strerror(EEXIST);
    // The temporary name holds no ".ds": the Source Manager never takes a file half written.
    const std::string partial = Join(DirName(path), ".tracewell-partial");
    const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return strerror(errno);
    bool written = WriteAll(fd, content) && fchmod(fd, mode) == 0 && fsync(fd) == 0;
    int error = errno;
    if (close(fd) != 0 && written) {
        written = false;
        error = errno;
    }
    if (written && rename(partial.c_str(), path.c_str()) != 0) {
        written = false;
        error = errno;
    }
    if (written) return "";
    unlink(partial.c_str());
    return strerror(error);
}

std::string Rename(const std::string& from, const std::string& to) {
    if (Exists(to)) return strerror(EEXIST);
    return rename(from.c_str(), to.c_str()) == 0 ? "" : strerror(errno);
}

std::string RemoveFile(const std::string& path) { return unlink(path.c_str()) == 0 ? "" : strerror(errno); }
std::string RemoveDirectory(const std::string& path) { return rmdir(path.c_str()) == 0 ? "" : strerror(errno); }

void HoldInterrupts() {
    if (g_held++ > 0) return;
    sigset_t block;
    sigemptyset(&block);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&block, signal);
    sigprocmask(SIG_BLOCK, &block, &g_savedMask);
}

void ReleaseInterrupts() {
    if (--g_held == 0) sigprocmask(SIG_SETMASK, &g_savedMask, nullptr);
}

std::vector<std::string> CommandLine(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

}  // namespace host
