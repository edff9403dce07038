// The module's load and unload sequences: open the wrapped source and make its operator, set the
// trace up; at unload release the operator, the wrapped module and the trace. When they run is
// the load hook's business (LoadHook_posix.cpp, LoadHook_windows.cpp).
#include <cstdio>
#include <cstring>

#include "Common/SettingsFile.h"
#include "Common/TwainLog/ParaAnalyze.h"
#include "Common/TwainLog/TwainLog.h"
#include "DSEntry.h"
#include "ModuleConfig.h"
#include "Platform/Platform.h"

void* g_CorvaleBundleRef = nullptr;
CreateCorvaleFn g_fnDsCreate = nullptr;

// Path of this module's file, found among the loaded images by its load address; null when the
// module is not among them (index 0, the main program, is never taken).
static const char* CreateMyMachOBundleURL() {
    const int count = PlatformImageCount();
    const void* own = PlatformOwnImageHeader();
    for (int i = 1; i < count; ++i) {
        if (PlatformImageHeader(i) == own) return PlatformImageName(i);
    }
    return nullptr;
}

// The module file name handed to the factory; a source may keep the pointer until its operator
// is released, so the name lives until unload. Constant-initialised: the load sequence runs
// before any dynamic initialiser of this file would.
static char g_szModuleName[256];

void MachO_Initialization() {
    OpenEntry();
    const char* path = CreateMyMachOBundleURL();
    if (path != nullptr) {
        const char* name = path;
        for (const char* at = path; *at != '\0'; ++at)
            if (strchr(kPathSeparators, *at) != nullptr) name = at + 1;
        snprintf(g_szModuleName, sizeof(g_szModuleName), "%s", name);
    }
    ReadModuleSettings(path);

    g_CorvaleBundleRef = PlatformModuleOpen(g_szWrappedSource);
    if (path != nullptr && g_CorvaleBundleRef != nullptr) {
        g_fnDsCreate = reinterpret_cast<CreateCorvaleFn>(PlatformModuleSymbol(g_CorvaleBundleRef, TRACEWELL_FACTORY_NAME));
        if (g_fnDsCreate != nullptr) CreateOperator(g_CorvaleBundleRef, g_fnDsCreate, g_szModuleName);
    }
    if (setupTwainLog()) g_cParaAnalyze.StartSession();
    StartLoadEnvironment(TracedSourcePath());
}

void MachO_Termination() {
    // The operator is forgotten before it is released: a source that tidies up through DS_Entry
    // from Release() reaches no operator and gets TWRC_FAILURE, untraced.
    CloseEntry();
    if (CTripletOperator* const op = g_pcTripletOperator) {
        g_pcTripletOperator = nullptr;
        op->Release();
    }
    if (g_CorvaleBundleRef != nullptr) {
        PlatformModuleRelease(g_CorvaleBundleRef);
        g_CorvaleBundleRef = nullptr;
    }
    cleanupTwainLog();
    g_szModuleName[0] = '\0';
}
