// Directory making and listing on POSIX.
#include "TraceFiles.h"

#include <dirent.h>
#include <errno.h>
#include <sys/stat.h>

#include <cstring>

bool MakeDirectories(const std::string& path, std::string* error) {
    for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        const std::string part = path.substr(0, slash);
        if (!part.empty() && mkdir(part.c_str(), 0777) != 0 && errno != EEXIST) {
            *error = part + ": " + strerror(errno);
            return false;
        }
        if (slash == std::string::npos) break;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
        *error = path + ": not a directory";
        return false;
    }
    return true;
}

std::string PathIn(const std::string& directory, const std::string& name) { return directory + "/" + name; }

TraceListing ListTraceFiles(const std::string& directory) {
    TraceListing listing;
    DIR* dir = opendir(directory.c_str());
    if (dir == nullptr) return listing;
    while (const dirent* entry = readdir(dir)) {
        struct stat st;
        const std::string name = entry->d_name;
        if (IsTraceName(name) && stat((directory + "/" + name).c_str(), &st) == 0) listing[name] = st.st_size;
    }
    closedir(dir);
    return listing;
}

