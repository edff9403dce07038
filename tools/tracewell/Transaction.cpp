// The undo log of the command's changes to the TWAIN tree and the log directory.
#include "Transaction.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

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

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

}  // namespace

bool ReadWholeFile(const std::string& path, std::string* content) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    content->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t n = read(fd, buffer, sizeof(buffer));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const int error = errno;
            close(fd);
            errno = error;
            return false;
        }
        if (n == 0) break;
        content->append(buffer, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// Interrupting the command between two changes would leave the tree half changed: the signals
// that end a program from the terminal wait until the transaction is over.
CTransaction::CTransaction() {
    sigset_t block;
    sigemptyset(&block);
    for (const int signal : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&block, signal);
    sigprocmask(SIG_BLOCK, &block, &m_savedMask);
}

CTransaction::~CTransaction() {
    Rollback();
    sigprocmask(SIG_SETMASK, &m_savedMask, nullptr);
}

bool CTransaction::Begin(const std::string& what) {
    if (++m_changes == m_failAt) return Fail(what, EIO);
    return true;
}

bool CTransaction::Fail(const std::string& what, int error) {
    m_error = "cannot " + what + ": " + strerror(error);
    Rollback();
    return false;
}

void CTransaction::Done(std::function<void()> undo) { m_undo.push_back(std::move(undo)); }

bool CTransaction::MakeDirectory(const std::string& path, mode_t mode) {
    const std::string what = "make the directory " + path;
    if (!Begin(what)) return false;
    if (mkdir(path.c_str(), 0700) != 0) return Fail(what, errno);
    // The mode is set after the umask has had its say; the directory stays private until then.
    if (chmod(path.c_str(), mode) != 0) {
        const int error = errno;
        rmdir(path.c_str());
        return Fail(what, error);
    }
    Done([path] { rmdir(path.c_str()); });
    return true;
}

bool CTransaction::WriteFile(const std::string& path, const std::string& content, mode_t mode) {
    const std::string what = "write " + path;
    if (!Begin(what)) return false;
    if (Exists(path)) return Fail(what, EEXIST);
    // The temporary name holds no ".ds": the Source Manager never takes a file half written.
    const std::string partial = path.substr(0, path.find_last_of('/') + 1) + ".tracewell-partial";
    const int fd = open(partial.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return Fail(what, errno);
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
    if (!written) {
        unlink(partial.c_str());
        return Fail(what, error);
    }
    Done([path] { unlink(path.c_str()); });
    return true;
}

bool CTransaction::Rename(const std::string& from, const std::string& to) {
    const std::string what = "rename " + from + " to " + to;
    if (!Begin(what)) return false;
    if (Exists(to)) return Fail(what, EEXIST);
    if (rename(from.c_str(), to.c_str()) != 0) return Fail(what, errno);
    Done([from, to] { rename(to.c_str(), from.c_str()); });
    return true;
}

bool CTransaction::RemoveFile(const std::string& path) {
    const std::string what = "remove " + path;
    if (!Begin(what)) return false;
    struct stat st;
    std::string content;
    if (lstat(path.c_str(), &st) != 0) return Fail(what, errno);
    if (!S_ISREG(st.st_mode)) return Fail(what, EISDIR);
    if (!ReadWholeFile(path, &content)) return Fail(what, errno);
    if (unlink(path.c_str()) != 0) return Fail(what, errno);
    const mode_t mode = st.st_mode & 07777;
    Done([path, content, mode] {
        const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) return;
        if (WriteAll(fd, content)) fchmod(fd, mode);
        close(fd);
    });
    return true;
}

bool CTransaction::RemoveDirectory(const std::string& path) {
    const std::string what = "remove the directory " + path;
    if (!Begin(what)) return false;
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return Fail(what, errno);
    if (rmdir(path.c_str()) != 0) return Fail(what, errno);
    const mode_t mode = st.st_mode & 07777;
    Done([path, mode] {
        if (mkdir(path.c_str(), 0700) == 0) chmod(path.c_str(), mode);
    });
    return true;
}

void CTransaction::Commit() { m_undo.clear(); }

void CTransaction::Rollback() {
    while (!m_undo.empty()) {
        m_undo.back()();
        m_undo.pop_back();
    }
}
