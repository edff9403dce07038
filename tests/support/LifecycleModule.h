// The lifecycle build of the data source, loaded for real through the loader, with the wrapped
// source it finds in the build tree and the log directory it writes to.
#pragma once

#include <dlfcn.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "sample/ScannerHooks.h"
#include "support/Processes.h"
#include "support/TestSupport.h"

inline const std::string kBundle = LIFECYCLE_DIR "/Corvale.bundle";
inline const std::string kExecutable = kBundle + "/Contents/MacOS/Corvale";
inline const std::string kLogDir = LIFECYCLE_DIR "/log";

// Puts a copy of `file` where the module looks for the wrapped source (a fresh inode each time,
// so the loader never reuses an earlier one).
inline void InstallSource(const std::string& file) {
    RemoveTree(kBundle);
    std::filesystem::create_directories(kBundle + "/Contents/MacOS");
    std::filesystem::copy_file(file, kExecutable);
}

class LifecycleModule {
public:
    LifecycleModule() = default;
    LifecycleModule(const LifecycleModule&) = delete;
    LifecycleModule& operator=(const LifecycleModule&) = delete;
    ~LifecycleModule() { Close(); }

    // "" when the module and its DS_Entry loaded, else why not. `source` is the wrapped source when
    // the module loaded one; a scripted load also wants it and the scanner's script hooks.
    std::string Load(bool scripted = false) {
        handle = dlopen(LIFECYCLE_MODULE, RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) return std::string("cannot load the module: ") + dlerror();
        entry = reinterpret_cast<DSENTRYPROC>(dlsym(handle, "DS_Entry"));
        source = dlopen(kExecutable.c_str(), RTLD_NOW | RTLD_NOLOAD);
        if (entry == nullptr) return "no DS_Entry";
        if (!scripted) return "";
        if (source == nullptr) return "no wrapped source";
        answer = Hook<decltype(answer)>("CorvaleScriptAnswer");
        onRelease = Hook<decltype(onRelease)>("CorvaleScriptRelease");
        namePointer = Hook<decltype(namePointer)>("CorvaleFactoryNamePointer");
        scriptReturnCode = Hook<decltype(scriptReturnCode)>("CorvaleScriptReturnCode");
        return "";
    }
    // Unloads the module and returns what that printed; the wrapped source stays mapped while this
    // object holds it.
    std::string Unload() {
        if (handle == nullptr) return "";
        const std::string err = CaptureStderr([this] { dlclose(handle); });
        handle = nullptr;
        entry = nullptr;
        return err;
    }
    void ReleaseSource() {
        if (source != nullptr) dlclose(source);
        source = nullptr;
    }
    void Close() { Unload(); ReleaseSource(); }
    template <typename T>
    T Hook(const char* name) {
        void* symbol = source != nullptr ? dlsym(source, name) : nullptr;
        EXPECT_NE(symbol, nullptr) << name;
        return reinterpret_cast<T>(symbol);
    }
    int Counter(const char* name) { return Hook<int (*)()>(name)(); }
    // DG_CONTROL/DAT_STATUS/MSG_GET, what most cases send.
    TW_UINT16 Status() {
        TW_STATUS status = {};
        return entry(nullptr, DG_CONTROL, DAT_STATUS, MSG_GET, &status);
    }

    void* handle = nullptr;
    void* source = nullptr;
    DSENTRYPROC entry = nullptr;
    void (*answer)(CorvaleAnswerFn, void*) = nullptr;
    void (*onRelease)(CorvaleReleaseFn, void*) = nullptr;
    const char* (*namePointer)() = nullptr;
    void (*scriptReturnCode)(int) = nullptr;
};
