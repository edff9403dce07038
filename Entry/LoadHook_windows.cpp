// When the sequences run on Windows. DllMain runs under the loader lock, so nothing that loads or
// frees a module runs there: the load sequence (which opens the wrapped source) runs on the first
// call of DS_Entry, once, whichever thread makes it; the unload sequence runs after the call that
// closes the last open source, which is where the Source Manager is about to free this module.
//
// When the module is freed without that (the Source Manager loads every source to ask its
// identity, then frees it), DllMain only closes the trace file: the wrapped module stays loaded,
// with the operator it made, until the process ends. At process exit (DllMain told so by a
// non-null lpReserved) nothing at all is done: the other modules may be gone already, and the
// trace file, written unbuffered, holds every text it was given.
#include <windows.h>

#include <atomic>
#include <mutex>

#include "Common/TwainLog/TwainLog.h"
#include "DSEntry.h"
#include "ImportRoute.h"

namespace {

std::mutex g_loadLock;
std::atomic<bool> g_loaded{false};
std::atomic<int> g_openSources{0};

// A TWAIN 1.x source the load brings in gets its calls to the Source Manager routed through
// Tracewell, as the Source Manager routes those of the sources it loads itself.
void EnsureLoaded(const void* callerAddress) {
    if (g_loaded.load(std::memory_order_acquire)) return;
    std::lock_guard<std::mutex> lock(g_loadLock);
    if (g_loaded.load(std::memory_order_relaxed)) return;
    const std::vector<void*> before = LoadedModules();
    MachO_Initialization();
    RouteSourceImports(before, callerAddress);
    g_loaded.store(true, std::memory_order_release);
}

void Unload() {
    std::lock_guard<std::mutex> lock(g_loadLock);
    if (!g_loaded.load(std::memory_order_relaxed)) return;
    MachO_Termination();
    g_loaded.store(false, std::memory_order_release);
}

}  // namespace

// Exported as DS_Entry (and ordinal 1) by the module-definition file.
extern "C" TW_UINT16 TW_CALLINGCONV LoadingDS_Entry(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                    TW_MEMREF pData) {
    EnsureLoaded(__builtin_return_address(0));
    const TW_UINT16 rc = DS_Entry(pOrigin, DG, DAT, MSG, pData);
    if (DG == DG_CONTROL && DAT == DAT_IDENTITY && rc == TWRC_SUCCESS) {
        if (MSG == MSG_OPENDS) {
            g_openSources.fetch_add(1);
        } else if (MSG == MSG_CLOSEDS) {
            int open = g_openSources.load();
            while (open > 0 && !g_openSources.compare_exchange_weak(open, open - 1)) {
            }
            if (open == 1) Unload();
        }
    }
    return rc;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID reserved) {
    if (reason == DLL_PROCESS_DETACH && reserved == nullptr && g_loaded.load(std::memory_order_acquire)) {
        CloseEntry();
        cleanupTwainLog();
    }
    return TRUE;
}
