// Directory making and listing on Windows, with wide-character paths.
#include <windows.h>

#include "TraceFiles.h"
#include "Platform/WideText_windows.h"

namespace {

bool IsDirectory(const std::wstring& path) {
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

bool MakeDirectories(const std::string& path, std::string* error) {
    const std::wstring wide = Wide(path);
    for (size_t cut = wide.find_first_of(L"/\\", 1);; cut = wide.find_first_of(L"/\\", cut + 1)) {
        const std::wstring part = wide.substr(0, cut);
        const bool drive = part.size() == 2 && part[1] == L':';
        if (!part.empty() && !drive && !IsDirectory(part) && !CreateDirectoryW(part.c_str(), nullptr) &&
            GetLastError() != ERROR_ALREADY_EXISTS) {
            *error = Narrow(part) + ": cannot be made (error " + std::to_string(GetLastError()) + ")";
            return false;
        }
        if (cut == std::wstring::npos) break;
    }
    if (!IsDirectory(wide)) {
        *error = path + ": not a directory";
        return false;
    }
    return true;
}

// Joined with the separator the directory is written with: '\\' unless it holds only '/'.
std::string PathIn(const std::string& directory, const std::string& name) {
    if (!directory.empty() && (directory.back() == '\\' || directory.back() == '/')) return directory + name;
    const bool slashes = directory.find('/') != std::string::npos && directory.find('\\') == std::string::npos;
    return directory + (slashes ? "/" : "\\") + name;
}

TraceListing ListTraceFiles(const std::string& directory) {
    TraceListing listing;
    WIN32_FIND_DATAW entry;
    const HANDLE search = FindFirstFileW((Wide(directory) + L"\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return listing;
    do {
        const std::string name = Narrow(entry.cFileName);
        if (IsTraceName(name) && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0)
            listing[name] = (static_cast<long long>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    } while (FindNextFileW(search, &entry));
    FindClose(search);
    return listing;
}
