// The command's file system on Windows: UTF-8 names converted to UTF-16 for the wide API, names
// compared without regard to case, no permission bits.
#include "HostFiles.h"
#include "Platform/WideText_windows.h"

#include <windows.h>
// <windows.h> names its A and W functions through macros; this one is also a name of ours.
#undef RemoveDirectory

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace host {

namespace {

std::string ErrorText(DWORD error) {
    wchar_t* text = nullptr;
    const DWORD length =
        FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                       error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::string message = length == 0 ? "error " + std::to_string(error) : Narrow(std::wstring_view(text, length));
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message;
}

std::string LastError() { return ErrorText(GetLastError()); }

// Where the path's first component after its root starts: "C:\" 3, "\\server\share\" after the share.
size_t RootLength(const std::string& path) {
    if (path.size() >= 3 && path[1] == ':' && IsSeparator(path[2])) return 3;
    if (path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
        size_t at = path.find_first_of("\\/", 2);
        if (at != std::string::npos) at = path.find_first_of("\\/", at + 1);
        return at == std::string::npos ? path.size() : at + 1;
    }
    return 0;
}

std::string FullPath(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD length = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
    if (length == 0) return "";
    std::wstring full(length, L'\0');
    const DWORD written = GetFullPathNameW(wide.c_str(), length, &full[0], nullptr);
    full.resize(written);
    return Narrow(full);
}

int g_held = 0;

}  // namespace

bool IsSeparator(char c) { return c == '\\' || c == '/'; }
bool IsAbsolute(const std::string& path) { return RootLength(path) != 0; }

bool SamePath(const std::string& a, const std::string& b) {
    const std::wstring wa = Wide(a), wb = Wide(b);
    return CompareStringOrdinal(wa.c_str(), static_cast<int>(wa.size()), wb.c_str(), static_cast<int>(wb.size()), TRUE) ==
           CSTR_EQUAL;
}

bool IsBelow(const std::string& path, const std::string& dir) {
    const size_t length = IsSeparator(dir.back()) ? dir.size() - 1 : dir.size();
    return path.size() > length + 1 && IsSeparator(path[length]) && SamePath(path.substr(0, length), dir.substr(0, length));
}

std::string Join(const std::string& dir, const std::string& name) {
    return !dir.empty() && IsSeparator(dir.back()) ? dir + name : dir + "\\" + name;
}

std::string BaseName(const std::string& path) { return path.substr(path.find_last_of("\\/") + 1); }

std::string DirName(const std::string& path) {
    const size_t separator = path.find_last_of("\\/");
    if (separator == std::string::npos) return ".";
    const size_t root = RootLength(path);
    return separator + 1 <= root ? path.substr(0, root) : path.substr(0, separator);
}

Facts Inspect(const std::string& path) {
    Facts facts;
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data)) return facts;
    facts.exists = true;
    facts.link = (data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    facts.directory = !facts.link && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    facts.regular = !facts.link && !facts.directory;
    facts.mode = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
    return facts;
}

bool Exists(const std::string& path) { return Inspect(path).exists; }

bool IsDirectory(const std::string& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<std::string> Entries(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW found;
    const HANDLE search = FindFirstFileW(Wide(Join(dir, "*")).c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(Narrow(name));
    } while (FindNextFileW(search, &found));
    FindClose(search);
    std::sort(names.begin(), names.end());
    return names;
}

bool ReadWholeFile(const std::string& path, std::string* content, std::string* why) {
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        *why = LastError();
        return false;
    }
    content->clear();
    char buffer[65536];
    for (;;) {
        DWORD n = 0;
        if (!ReadFile(file, buffer, sizeof(buffer), &n, nullptr)) {
            *why = LastError();
            CloseHandle(file);
            return false;
        }
        if (n == 0) break;
        content->append(buffer, n);
    }
    CloseHandle(file);
    return true;
}

bool RealDirectory(const std::string& path, std::string* real) {
    const HANDLE dir = CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (dir == INVALID_HANDLE_VALUE) return false;
    wchar_t buffer[32768];
    const DWORD length = GetFinalPathNameByHandleW(dir, buffer, 32768, FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    CloseHandle(dir);
    if (length == 0 || length >= 32768) return false;
    std::wstring name(buffer, length);
    // The final name comes as \\?\C:\... or \\?\UNC\server\share\...; the Source Manager's paths have neither.
    if (name.compare(0, 8, L"\\\\?\\UNC\\") == 0) {
        name = L"\\\\" + name.substr(8);
    } else if (name.compare(0, 4, L"\\\\?\\") == 0) {
        name = name.substr(4);
    }
    *real = Narrow(name);
    if (real->size() == 2 && (*real)[1] == ':') *real += '\\';
    return IsDirectory(*real);
}

bool CanAddFiles(const std::string& dir) {
    // Trying is the only answer Windows gives without reading the folder's access list.
    const std::string probe = Join(dir, ".tracewell-probe");
    const HANDLE file = CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                    FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

std::string AbsolutePath(const std::string& path) {
    const std::string full = FullPath(path);
    return full.empty() ? path : full;
}

std::string ExecutablePath() {
    std::wstring path(32768, L'\0');
    const DWORD length = GetModuleFileNameW(nullptr, &path[0], static_cast<DWORD>(path.size()));
    path.resize(length);
    return Narrow(path);
}

std::string Environment(const char* name) {
    const std::wstring wide = Wide(name);
    const DWORD length = GetEnvironmentVariableW(wide.c_str(), nullptr, 0);
    if (length == 0) return "";
    std::wstring value(length, L'\0');
    value.resize(GetEnvironmentVariableW(wide.c_str(), &value[0], length));
    return Narrow(value);
}

std::string LocalStamp() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char stamp[32];
    snprintf(stamp, sizeof(stamp), "%04u%02u%02u-%02u%02u%02u", now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute,
             now.wSecond);
    return stamp;
}

std::string DefaultLogDirectory() {
    const std::string data = Environment("ProgramData");
    return Join(Join(data.empty() ? "C:\\ProgramData" : data, "Tracewell"), "log");
}

std::string MakeDirectory(const std::string& path, unsigned) {
    // The folder inherits its parent's access list: below ProgramData every user may add files.
    return CreateDirectoryW(Wide(path).c_str(), nullptr) ? "" : LastError();
}

std::string WriteNewFile(const std::string& path, const std::string& content, unsigned) {
    if (Exists(path)) return ErrorText(ERROR_FILE_EXISTS);
    // The temporary name does not end in ".ds": the Source Manager never takes a file half written.
    const std::string partial = Join(DirName(path), ".tracewell-partial");
    const std::wstring widePartial = Wide(partial);
    const HANDLE file = CreateFileW(widePartial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return LastError();
    bool written = true;
    for (size_t done = 0; written && done < content.size();) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(content.size() - done, 1 << 20));
        written = WriteFile(file, content.data() + done, chunk, &n, nullptr) && n > 0;
        done += n;
    }
    written = written && FlushFileBuffers(file);
    DWORD error = GetLastError();
    CloseHandle(file);
    if (written && !MoveFileExW(widePartial.c_str(), Wide(path).c_str(), MOVEFILE_WRITE_THROUGH)) {
        written = false;
        error = GetLastError();
    }
    if (written) return "";
    DeleteFileW(widePartial.c_str());
    return ErrorText(error);
}

std::string Rename(const std::string& from, const std::string& to) {
    // Without MOVEFILE_REPLACE_EXISTING the move fails when `to` exists.
    return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(), MOVEFILE_WRITE_THROUGH) ? "" : LastError();
}

std::string RemoveFile(const std::string& path) { return DeleteFileW(Wide(path).c_str()) ? "" : LastError(); }
std::string RemoveDirectory(const std::string& path) { return RemoveDirectoryW(Wide(path).c_str()) ? "" : LastError(); }

void HoldInterrupts() {
    if (g_held++ == 0) SetConsoleCtrlHandler(nullptr, TRUE);
}

void ReleaseInterrupts() {
    if (--g_held == 0) SetConsoleCtrlHandler(nullptr, FALSE);
}

std::vector<std::string> CommandLine(int, char**) {
    SetConsoleOutputCP(CP_UTF8);
    return CommandLineArguments();
}

}  // namespace host
