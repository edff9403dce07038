// The standard data source on a POSIX system: a shared object loaded as the Data Source Manager
// loads one, lazily and reaching only DS_Entry.
#include <dlfcn.h>

#include "SourceModule.h"

bool SourcePathIsAbsolute(const char* path) { return path[0] == '/'; }

void* OpenSourceModule(const char* path, std::string* reason) {
    void* module = dlopen(path, RTLD_LAZY | RTLD_LOCAL);
    if (module == nullptr) {
        const char* error = dlerror();
        if (error != nullptr) *reason = error;
    }
    return module;
}

void* SourceModuleExport(void* module, const char* name) { return dlsym(module, name); }

void* SourceEntryPoint(void* module) { return dlsym(module, "DS_Entry"); }

void CloseSourceModule(void* module) { dlclose(module); }
