// The settings file on a POSIX system: read with open(2), never blocking on a FIFO, paths start at '/'.
#include "SettingsFile.h"

#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

const char kPathSeparators[] = "/";

bool IsAbsolutePath(const std::string& path) { return !path.empty() && path[0] == '/'; }

SettingsBytes ReadSettingsBytes(const std::string& path, size_t limit, std::string* text, std::string* wrong) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (errno == ENOENT) return SettingsBytes::kMissing;
        *wrong = std::string("cannot be read: ") + strerror(errno);
        return SettingsBytes::kWrong;
    }
    struct stat st;
    if (fstat(fd, &st) != 0) {
        *wrong = std::string("cannot be read: ") + strerror(errno);
    } else if (!S_ISREG(st.st_mode)) {
        *wrong = "cannot be read: it is not a regular file";
    } else if (static_cast<unsigned long long>(st.st_size) > limit) {
        *wrong = "is larger than " + std::to_string(limit) + " bytes";
    } else {
        char buffer[4096];
        for (;;) {
            const ssize_t n = read(fd, buffer, sizeof(buffer));
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                *wrong = std::string("cannot be read: ") + strerror(errno);
                break;
            }
            if (n == 0) break;
            text->append(buffer, static_cast<size_t>(n));
            if (text->size() > limit) {
                *wrong = "is larger than " + std::to_string(limit) + " bytes";
                break;
            }
        }
    }
    close(fd);
    return wrong->empty() ? SettingsBytes::kRead : SettingsBytes::kWrong;
}
