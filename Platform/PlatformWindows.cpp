// The platform services on Windows: modules through LoadLibraryW, directories and files through
// the wide-character calls (every path is UTF-8 inside Tracewell, UTF-16 at the system), reads
// that cannot fault through ReadProcessMemory, and the facts of the process for the trace.
#include <windows.h>

#include <io.h>
#include <psapi.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "Platform.h"
#include "WideText_windows.h"

namespace {

bool CopyText(char* dest, size_t size, const std::string& text) {
    if (dest == nullptr || size == 0) return false;
    if (text.empty() || text.size() >= size) {
        dest[0] = '\0';
        return false;
    }
    memcpy(dest, text.c_str(), text.size() + 1);
    return true;
}

bool Unknown(char* dest, size_t size) {
    if (dest != nullptr && size != 0) dest[0] = '\0';
    return false;
}

// The file name of a module, in UTF-8; long paths grow the buffer until they fit.
std::string ModuleFileName(HMODULE module) {
    std::vector<wchar_t> name(MAX_PATH);
    for (;;) {
        const DWORD n = GetModuleFileNameW(module, name.data(), static_cast<DWORD>(name.size()));
        if (n == 0) return std::string();
        if (n < name.size()) return Narrow(std::wstring_view(name.data(), n));
        if (name.size() >= 32768) return std::string();
        name.resize(name.size() * 2);
    }
}

HMODULE ModuleAt(const void* address) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return nullptr;
    return module;
}

// The modules of the process, the program first.
std::vector<HMODULE> Modules() {
    std::vector<HMODULE> modules(256);
    for (;;) {
        DWORD needed = 0;
        if (!K32EnumProcessModules(GetCurrentProcess(), modules.data(),
                                   static_cast<DWORD>(modules.size() * sizeof(HMODULE)), &needed))
            return {};
        const size_t count = needed / sizeof(HMODULE);
        if (count <= modules.size()) {
            modules.resize(count);
            return modules;
        }
        modules.resize(count + 16);
    }
}

// Names handed out by PlatformImageName stay valid for the life of the process.
const char* KeptModuleName(HMODULE module) {
    static std::mutex lock;
    static std::map<HMODULE, std::string>* names = new std::map<HMODULE, std::string>;
    std::lock_guard<std::mutex> guard(lock);
    std::string& name = (*names)[module];
    const std::string now = ModuleFileName(module);
    if (name != now && !now.empty()) name = now;
    return name.c_str();
}

int StatusOf(DWORD error) {
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_DIRECTORY: return kStatusDirNotFound;
        case ERROR_ALREADY_EXISTS:
        case ERROR_FILE_EXISTS: return kStatusDuplicateFile;
        case ERROR_ACCESS_DENIED:
        case ERROR_WRITE_PROTECT:
        case ERROR_SHARING_VIOLATION: return kStatusPermissionErr;
        case ERROR_NOT_ENOUGH_MEMORY:
        case ERROR_OUTOFMEMORY: return kStatusMemFull;
        case ERROR_FILENAME_EXCED_RANGE: return kStatusParamErr;
        default: return kStatusIoErr;
    }
}

long long SecondsOf(const FILETIME& time) {
    ULARGE_INTEGER ticks;
    ticks.LowPart = time.dwLowDateTime;
    ticks.HighPart = time.dwHighDateTime;
    // 100-ns ticks since 1601-01-01; the epoch is 11644473600 s later.
    return static_cast<long long>(ticks.QuadPart / 10000000ull) - 11644473600ll;
}

}  // namespace

int PlatformImageCount() { return static_cast<int>(Modules().size()); }

const void* PlatformImageHeader(int index) {
    const std::vector<HMODULE> modules = Modules();
    return index >= 0 && static_cast<size_t>(index) < modules.size() ? modules[static_cast<size_t>(index)] : nullptr;
}

const char* PlatformImageName(int index) {
    const std::vector<HMODULE> modules = Modules();
    if (index < 0 || static_cast<size_t>(index) >= modules.size()) return nullptr;
    return KeptModuleName(modules[static_cast<size_t>(index)]);
}

const void* PlatformOwnImageHeader() { return ModuleAt(reinterpret_cast<const void*>(&PlatformOwnImageHeader)); }

void* PlatformModuleOpen(const char* path) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) return nullptr;
    // The module's own dependencies are looked for beside it first, as the Source Manager loads it.
    return LoadLibraryExW(wide.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

void* PlatformModuleSymbol(void* module, const char* name) {
    if (module == nullptr) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* PlatformModuleOrdinal(void* module, unsigned ordinal) {
    if (module == nullptr || ordinal == 0 || ordinal > 0xFFFF) return nullptr;
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), MAKEINTRESOURCEA(ordinal)));
}

void PlatformModuleRelease(void* module) {
    if (module != nullptr) FreeLibrary(static_cast<HMODULE>(module));
}

int PlatformResolveDirectory(const char* path) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) return kStatusParamErr;
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return StatusOf(GetLastError());
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? 0 : kStatusDirNotFound;
}

int PlatformCreateDirectory(const char* parent, const char* name) {
    const std::wstring wide = Wide((std::string(parent) + "\\" + name).c_str());
    if (wide.empty()) return kStatusParamErr;
    return CreateDirectoryW(wide.c_str(), nullptr) ? 0 : StatusOf(GetLastError());
}

bool PlatformPathExists(const char* path) {
    const std::wstring wide = Wide(path);
    return !wide.empty() && GetFileAttributesW(wide.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool PlatformExpandPath(const char* path, char* dest, size_t size) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) return Unknown(dest, size);
    const DWORD n = ExpandEnvironmentStringsW(wide.c_str(), nullptr, 0);
    if (n == 0) return Unknown(dest, size);
    std::vector<wchar_t> expanded(n);
    if (ExpandEnvironmentStringsW(wide.c_str(), expanded.data(), n) == 0) return Unknown(dest, size);
    return CopyText(dest, size, Narrow(expanded.data()));
}

FILE* PlatformOpenFile(const char* path, const char* mode) {
    std::string binary = mode;
    if (binary.find('b') == std::string::npos) binary += 'b';
    const std::wstring wide = Wide(path);
    if (wide.empty()) return nullptr;
    return _wfopen(wide.c_str(), Wide(binary.c_str()).c_str());
}

size_t PlatformWriteStream(FILE* stream, const char* bytes, size_t count, int* error) {
    const int fd = _fileno(stream);
    size_t written = 0;
    while (written < count) {
        const size_t chunk = count - written < 0x40000000u ? count - written : 0x40000000u;
        const int n = _write(fd, bytes + written, static_cast<unsigned>(chunk));
        if (n <= 0) {
            *error = n < 0 ? errno : EIO;
            break;
        }
        written += static_cast<size_t>(n);
    }
    return written;
}

void PlatformReadClock(long long* seconds, long* microseconds, int64_t* monotonicNs) {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    ULARGE_INTEGER ticks;
    ticks.LowPart = now.dwLowDateTime;
    ticks.HighPart = now.dwHighDateTime;
    *seconds = static_cast<long long>(ticks.QuadPart / 10000000ull) - 11644473600ll;
    *microseconds = static_cast<long>(ticks.QuadPart % 10000000ull / 10);
    LARGE_INTEGER counter, frequency;
    QueryPerformanceCounter(&counter);
    QueryPerformanceFrequency(&frequency);
    const int64_t whole = counter.QuadPart / frequency.QuadPart;
    const int64_t part = counter.QuadPart % frequency.QuadPart;
    *monotonicNs = whole * 1000000000 + part * 1000000000 / frequency.QuadPart;
}

bool PlatformLocalTime(long long when, tm* local) {
    const time_t t = static_cast<time_t>(when);
    return localtime_s(local, &t) == 0;
}

bool PlatformUtcTime(long long when, tm* utc) {
    const time_t t = static_cast<time_t>(when);
    return gmtime_s(utc, &t) == 0;
}

// Only memory the system says is committed and readable is read, a region at a time, through
// ReadProcessMemory on the own process, which answers an error instead of raising an access
// violation where the memory went away meanwhile. (Asking first matters: some systems' reads of
// the own process pass over a page's protection.) The copy stops at the first byte that cannot be
// read.
size_t PlatformCopyReadable(void* dest, const void* address, size_t size) {
    if (address == nullptr) return 0;
    constexpr DWORD kReadable = PAGE_READONLY | PAGE_READWRITE | PAGE_WRITECOPY | PAGE_EXECUTE_READ |
                                PAGE_EXECUTE_READWRITE | PAGE_EXECUTE_WRITECOPY;
    const char* from = static_cast<const char*>(address);
    char* to = static_cast<char*>(dest);
    size_t copied = 0;
    while (copied < size) {
        MEMORY_BASIC_INFORMATION region;
        if (VirtualQuery(from + copied, &region, sizeof(region)) != sizeof(region)) break;
        if (region.State != MEM_COMMIT || (region.Protect & kReadable) == 0 ||
            (region.Protect & (PAGE_GUARD | PAGE_NOACCESS)) != 0)
            break;
        const uintptr_t end = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
        const size_t inRegion = static_cast<size_t>(end - reinterpret_cast<uintptr_t>(from + copied));
        const size_t chunk = size - copied < inRegion ? size - copied : inRegion;
        SIZE_T n = 0;
        if (!ReadProcessMemory(GetCurrentProcess(), from + copied, to + copied, chunk, &n) || n != chunk) break;
        copied += chunk;
    }
    return copied;
}

int PlatformProcessId() { return static_cast<int>(GetCurrentProcessId()); }

long PlatformThreadId() { return static_cast<long>(GetCurrentThreadId()); }

bool PlatformExecutablePath(char* dest, size_t size) { return CopyText(dest, size, ModuleFileName(nullptr)); }

// "Windows 10.0.19045 x86_64": the version as the kernel reports it (GetVersionEx answers what the
// program's manifest allows), and the machine the system runs on.
bool PlatformSystemName(char* dest, size_t size) {
    using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    const auto getVersion =
        ntdll != nullptr ? reinterpret_cast<RtlGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")))
                         : nullptr;
    OSVERSIONINFOW version = {};
    version.dwOSVersionInfoSize = sizeof(version);
    if (getVersion == nullptr || getVersion(&version) != 0) return Unknown(dest, size);
    SYSTEM_INFO info;
    GetNativeSystemInfo(&info);
    const char* machine = "unknown";
    switch (info.wProcessorArchitecture) {
        case PROCESSOR_ARCHITECTURE_AMD64: machine = "x86_64"; break;
        case PROCESSOR_ARCHITECTURE_INTEL: machine = "i686"; break;
        case PROCESSOR_ARCHITECTURE_ARM64: machine = "aarch64"; break;
        case PROCESSOR_ARCHITECTURE_ARM: machine = "arm"; break;
        default: break;
    }
    char text[96];
    snprintf(text, sizeof(text), "Windows %lu.%lu.%lu %s", static_cast<unsigned long>(version.dwMajorVersion),
             static_cast<unsigned long>(version.dwMinorVersion), static_cast<unsigned long>(version.dwBuildNumber),
             machine);
    return CopyText(dest, size, text);
}

// The zone's own name for standard or daylight time, whichever holds at `when`, and the offset
// the local time has from UTC then ("W. Europe Standard Time +0100").
bool PlatformTimeZone(long long when, char* dest, size_t size) {
    const time_t t = static_cast<time_t>(when);
    tm local = {};
    tm utc = {};
    if (localtime_s(&local, &t) != 0 || gmtime_s(&utc, &t) != 0) return Unknown(dest, size);
    TIME_ZONE_INFORMATION zone;
    if (GetTimeZoneInformation(&zone) == TIME_ZONE_ID_INVALID) return Unknown(dest, size);
    const std::string name = Narrow(local.tm_isdst > 0 ? zone.DaylightName : zone.StandardName);
    // The offset from the two calendar readings of the same instant: the UTC reading taken as a
    // local time (with the same daylight flag) lies the offset before it.
    utc.tm_isdst = local.tm_isdst;
    const long long offset = static_cast<long long>(difftime(mktime(&local), mktime(&utc)));
    const long long minutes = (offset >= 0 ? offset : -offset) / 60;
    char text[160];
    snprintf(text, sizeof(text), "%s %c%02lld%02lld", name.empty() ? "UTC" : name.c_str(), offset < 0 ? '-' : '+',
             minutes / 60, minutes % 60);
    return CopyText(dest, size, text);
}

bool PlatformFileFacts(const char* path, unsigned long long* size, long long* modified) {
    const std::wstring wide = Wide(path);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (wide.empty() || !GetFileAttributesExW(wide.c_str(), GetFileExInfoStandard, &data)) return false;
    *size = (static_cast<unsigned long long>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    *modified = SecondsOf(data.ftLastWriteTime);
    return true;
}

bool PlatformModulePathOf(const void* address, char* dest, size_t size) {
    const HMODULE module = address != nullptr ? ModuleAt(address) : nullptr;
    return module != nullptr ? CopyText(dest, size, ModuleFileName(module)) : Unknown(dest, size);
}
