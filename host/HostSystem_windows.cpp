// The session host on Windows: wide-character paths and arguments, LoadLibraryW, FindFirstFileW,
// and GlobalAlloc as the Source Manager's memory, as the Windows Source Manager has them.
#include <windows.h>
#include <shellapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <map>
#include <mutex>

#include "HostSystem.h"

namespace {

std::wstring Wide(const std::string& text) {
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), wide.data(), length);
    return wide;
}

std::string Utf8(const std::wstring& wide) {
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), text.data(), length, nullptr, nullptr);
    return text;
}

std::string SystemMessage(DWORD code) {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                   code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = text != nullptr ? Utf8(text) : "error " + std::to_string(code);
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

}  // namespace

std::vector<std::string> ProgramArguments(int, char**) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; i < count; ++i) arguments.push_back(Utf8(wide[i]));
    LocalFree(wide);
    return arguments;
}

void* LoadSourceModule(const std::string& path, std::string* reason) {
    std::wstring wide = Wide(path);
    std::replace(wide.begin(), wide.end(), L'/', L'\\');
    // A source's own DLLs are looked for beside it first.
    HMODULE module = LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (module == nullptr) *reason = SystemMessage(GetLastError());
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
    for (const std::wstring& path : found) paths.push_back(Utf8(path));
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

namespace {

// The live blocks of ManagerAllocate, with their numbers.
std::map<TW_HANDLE, size_t>& ManagerBlocks() {
    static std::map<TW_HANDLE, size_t> blocks;
    return blocks;
}
size_t g_blocksMade = 0;
std::mutex g_blocksLock;

}  // namespace

// Fixed, zero-filled blocks: the handle is the block's address, and locking it returns that.
TW_HANDLE TW_CALLINGCONV ManagerAllocate(TW_UINT32 size) {
    const TW_HANDLE handle = GlobalAlloc(GPTR, size);
    std::lock_guard<std::mutex> lock(g_blocksLock);
    if (handle != nullptr) ManagerBlocks()[handle] = ++g_blocksMade;
    return handle;
}

void TW_CALLINGCONV ManagerFree(TW_HANDLE handle) {
    {
        std::lock_guard<std::mutex> lock(g_blocksLock);
        ManagerBlocks().erase(handle);
    }
    GlobalFree(handle);
}

TW_MEMREF TW_CALLINGCONV ManagerLock(TW_HANDLE handle) { return GlobalLock(handle); }
void TW_CALLINGCONV ManagerUnlock(TW_HANDLE handle) { GlobalUnlock(handle); }

size_t ManagerBlockSize(TW_HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_blocksLock);
    return ManagerBlocks().count(handle) != 0 ? static_cast<size_t>(GlobalSize(handle)) : 0;
}

size_t ManagerBlockNumber(TW_HANDLE handle) {
    std::lock_guard<std::mutex> lock(g_blocksLock);
    const auto found = ManagerBlocks().find(handle);
    return found != ManagerBlocks().end() ? found->second : 0;
}
