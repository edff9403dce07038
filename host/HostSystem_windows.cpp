// The session host on Windows: wide-character paths and arguments, LoadLibraryW and FindFirstFileW,
// as the Windows Source Manager has them.
#include <windows.h>
#include <tlhelp32.h>

#include <algorithm>
#include <cstring>

#include "HostSystem.h"
#include "Platform/WideText_windows.h"

namespace {

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text != nullptr ? Narrow(text) : "error " + std::to_string(code);
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == ' '))
        message.pop_back();
    return message;
}

bool IsDataSourceName(const std::wstring& name) {
    return name.size() > 3 && _wcsicmp(name.c_str() + name.size() - 3, L".ds") == 0;
}

void Walk(const std::wstring& folder, std::vector<std::wstring>* found) {
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((folder + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = entry.cFileName;
        if (name == L"." || name == L"..") continue;
        if ((entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) Walk(folder + L"\\" + name, found);
        else if (IsDataSourceName(name)) found->push_back(folder + L"\\" + name);
    } while (FindNextFileW(search, &entry));
    FindClose(search);
}

DSMENTRYPROC g_routedEntry = nullptr;

// Whether the import names DSM_Entry: by name, or by the ordinal TWAIN_32.DLL gives it (1).
bool ImportsEntry(const BYTE* base, const IMAGE_THUNK_DATA& name) {
    if (IMAGE_SNAP_BY_ORDINAL(name.u1.Ordinal)) return IMAGE_ORDINAL(name.u1.Ordinal) == 1;
    const auto* byName = reinterpret_cast<const IMAGE_IMPORT_BY_NAME*>(base + name.u1.AddressOfData);
    return strcmp(reinterpret_cast<const char*>(byName->Name), "DSM_Entry") == 0;
}

// Rewrites the module's import address table entries for TWAIN_32.DLL!DSM_Entry.
void RedirectImports(HMODULE module, DSMENTRYPROC to) {
    BYTE* const base = reinterpret_cast<BYTE*>(module);
    const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
    if (dos->e_magic != IMAGE_DOS_SIGNATURE) return;
    const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    if (nt->Signature != IMAGE_NT_SIGNATURE || imports.VirtualAddress == 0) return;
    for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
         library->Name != 0; ++library) {
        if (_stricmp(reinterpret_cast<const char*>(base + library->Name), "TWAIN_32.DLL") != 0) continue;
        const DWORD lookup = library->OriginalFirstThunk != 0 ? library->OriginalFirstThunk : library->FirstThunk;
        const auto* name = reinterpret_cast<const IMAGE_THUNK_DATA*>(base + lookup);
        auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + library->FirstThunk);
        for (; name->u1.AddressOfData != 0; ++name, ++slot) {
            DWORD protection = 0;
            if (!ImportsEntry(base, *name) ||
                !VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), PAGE_READWRITE, &protection))
                continue;
            slot->u1.Function = reinterpret_cast<ULONG_PTR>(to);
            VirtualProtect(&slot->u1.Function, sizeof(slot->u1.Function), protection, &protection);
        }
    }
}

}  // namespace

// The Source Manager's entry point as the program exports it, as TWAINDSM.DLL does.
extern "C" __declspec(dllexport) TW_UINT16 TW_CALLINGCONV DSM_Entry(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest,
                                                                    TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                                                    TW_MEMREF pData) {
    return g_routedEntry != nullptr ? g_routedEntry(pOrigin, pDest, DG, DAT, MSG, pData) : TWRC_FAILURE;
}

void RouteSourceCalls(DSMENTRYPROC entry) { g_routedEntry = entry; }

std::vector<std::string> ProgramArguments(int, char**) { return CommandLineArguments(); }

void* LoadSourceModule(const std::string& path, std::string* reason) {
    std::wstring wide = Wide(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    // A source's own DLLs are looked for beside it first.
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) *reason = SystemMessage(GetLastError());
    else if (g_routedEntry != nullptr) RedirectImports(module, g_routedEntry);
    return reinterpret_cast<void*>(module);
}

DSENTRYPROC SourceEntry(void* module) {
    const HMODULE handle = static_cast<HMODULE>(module);
    FARPROC entry = GetProcAddress(handle, "DS_Entry");
    if (entry == nullptr) entry = GetProcAddress(handle, MAKEINTRESOURCEA(1));
    return reinterpret_cast<DSENTRYPROC>(reinterpret_cast<void*>(entry));
}

void FreeSourceModule(void* module) { FreeLibrary(static_cast<HMODULE>(module)); }

std::vector<std::string> FindDataSources(const std::string& folder) {
    std::wstring root = Wide(folder);
    std::replace(root.begin(), root.end(), L'/', L'\\');
    while (root.size() > 3 && root.back() == L'\\') root.pop_back();
    std::vector<std::wstring> found;
    Walk(root, &found);
    std::sort(found.begin(), found.end());
    std::vector<std::string> paths;
    for (const std::wstring& path : found) paths.push_back(Narrow(path));
    return paths;
}

void* LoadedExport(const char* name) {
    const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, GetCurrentProcessId());
    if (snapshot == INVALID_HANDLE_VALUE) return nullptr;
    MODULEENTRY32W module;
    module.dwSize = sizeof(module);
    void* found = nullptr;
    for (BOOL more = Module32FirstW(snapshot, &module); more && found == nullptr; more = Module32NextW(snapshot, &module))
        found = reinterpret_cast<void*>(GetProcAddress(module.hModule, name));
    CloseHandle(snapshot);
    return found;
}
