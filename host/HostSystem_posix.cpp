// The session host on a POSIX system: the dynamic loader and directory walks.
#include "HostSystem.h"

#include <dirent.h>
#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>

#include <algorithm>

std::vector<std::string> ProgramArguments(int argc, char** argv) { return std::vector<std::string>(argv, argv + argc); }

// As the Linux Source Manager loads a source: lazily, and reaching only DS_Entry.
void* LoadSourceModule(const std::string& path, std::string* reason) {
    void* module = dlopen(path.c_str(), RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
        const char* error = dlerror();
        *reason = error != nullptr ? error : "unknown reason";
    }
    return module;
}

DSENTRYPROC SourceEntry(void* module) { return reinterpret_cast<DSENTRYPROC>(dlsym(module, "DS_Entry")); }

void FreeSourceModule(void* module) { dlclose(module); }

namespace {

void Walk(const std::string& folder, std::vector<std::string>* found) {
    DIR* dir = opendir(folder.c_str());
    if (dir == nullptr) return;
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (name == "." || name == "..") continue;
        const std::string path = folder + "/" + name;
        struct stat st;
        if (lstat(path.c_str(), &st) != 0) continue;
        if (S_ISDIR(st.st_mode)) Walk(path, found);
        else if (S_ISREG(st.st_mode) && name.size() > 3 && name.compare(name.size() - 3, 3, ".ds") == 0)
            found->push_back(path);
    }
    closedir(dir);
}

struct ExportSearch {
    const char* name;
    void* found;
};

int SearchModule(dl_phdr_info* info, size_t, void* context) {
    if (info->dlpi_name == nullptr || info->dlpi_name[0] == '\0') return 0;
    void* module = dlopen(info->dlpi_name, RTLD_LAZY | RTLD_NOLOAD);
    if (module == nullptr) return 0;
    ExportSearch& search = *static_cast<ExportSearch*>(context);
    search.found = dlsym(module, search.name);
    dlclose(module);
    return search.found != nullptr ? 1 : 0;
}

}  // namespace

std::vector<std::string> FindDataSources(const std::string& folder) {
    std::vector<std::string> found;
    Walk(folder, &found);
    std::sort(found.begin(), found.end());
    return found;
}

void* LoadedExport(const char* name) {
    ExportSearch search = {name, nullptr};
    dl_iterate_phdr(SearchModule, &search);
    return search.found;
}

void RouteSourceCalls(DSMENTRYPROC) {}
