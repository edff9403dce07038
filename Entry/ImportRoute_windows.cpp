// Redirecting a TWAIN 1.x source's import of TWAIN_32.DLL!DSM_Entry through Tracewell: the import
// address table entry is rewritten in place.
#include "ImportRoute.h"

#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "DSEntry.h"

namespace {

constexpr char kLegacyManager[] = "TWAIN_32.DLL";
constexpr char kEntryName[] = "DSM_Entry";
constexpr WORD kEntryOrdinal = 1;

HMODULE ModuleAt(const void* address) {
    HMODULE module = nullptr;
    GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                       static_cast<LPCWSTR>(address), &module);
    return module;
}

DSMENTRYPROC ExportedEntry(HMODULE module) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<DSMENTRYPROC>(reinterpret_cast<void*>(GetProcAddress(module, kEntryName)));
}

DSMENTRYPROC FindSourceManager(const void* callerAddress) {
    if (const DSMENTRYPROC caller = ExportedEntry(ModuleAt(callerAddress))) return caller;
    for (const wchar_t* name : {L"TWAINDSM.DLL", L"TWAIN_32.DLL"}) {
        if (const DSMENTRYPROC entry = ExportedEntry(GetModuleHandleW(name))) return entry;
    }
    return nullptr;
}

// Whether the import names DSM_Entry: by name, or by the ordinal TWAIN_32.DLL gives it.
bool ImportsEntry(const BYTE* base, const IMAGE_THUNK_DATA& name) {
    if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) return IMAGE_ORDINAL(name.u1.Ordinal) == kEntryOrdinal;
    const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name.u1.AddressOfData);
    return strcmp(reinterpret_cast<const char*>(byName->Name), kEntryName) == 0;
}

// Rewrites the module's import address table entries for TWAIN_32.DLL!DSM_Entry to Tracewell's
// DSM_Entry in front of `sourceManager`; false when it has none.
bool Redirect(HMODULE module, DSMENTRYPROC sourceManager) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return false;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    if (nt->Signature != IMAGE_NT_SIGNATURE) return false;
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (imports.VirtualAddress == 0 || imports.Size == 0) return false;
    bool redirected = false;
    for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        if (_stricmp(reinterpret_cast<const char*>(base + library->Name), kLegacyManager) != 0) continue;
        // Without the lookup table (old linkers) the names are read from the address table itself.
        const DWORD lookup = library->OriginalFirstThunk != 0 ? library->OriginalFirstThunk : library->FirstThunk;
        const auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            if (!ImportsEntry(base, *name)) continue;
            const DSMENTRYPROC to = TracedEntryFor(sourceManager);
            DWORD protection = 0;
            if (!VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection)) continue;
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(to);
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
            redirected = true;
        }
    }
    return redirected;
}

}  // namespace

std::vector<void*> LoadedModules() {
    std::vector<void*> modules;
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return modules;
    MODULEENTRY32W entry;
    entry.dwSize = sizeof(entry);
    for (BOOL more = Module32FirstW(snapshot, &entry); more; more = Module32NextW(snapshot, &entry))
        modules.push_back(entry.hModule);
    CloseHandle(snapshot);
    return modules;
}

void RouteSourceImports(const std::vector<void*>& before, const void* callerAddress) {
    const HMODULE self = ModuleAt(reinterpret_cast<const void*>(&RouteSourceImports));
    DSMENTRYPROC sourceManager = nullptr;
    bool looked = false;
    for (void* module : LoadedModules()) {
        if (module == self || std::find(before.begin(), before.end(), module) != before.end()) continue;
        if (!looked) {
            sourceManager = FindSourceManager(callerAddress);
            looked = true;
        }
        if (sourceManager == nullptr) return;
        Redirect(static_cast<HMODULE>(module), sourceManager);
    }
}
