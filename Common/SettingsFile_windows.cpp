// The settings file on Windows: read through the wide-character calls (the path is UTF-8), paths
// start with a drive ("C:\"), a server ("\\server\share") or an environment variable that holds one
// ("%ProgramData%\"), directories end at '\' or '/'.
#include "SettingsFile.h"

#include <windows.h>

#include <cctype>

#include "Platform/WideText_windows.h"

const char kPathSeparators[] = "\\/";

bool IsAbsolutePath(const std::string& path) {
    if (path.size() >= 3 && isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
        (path[2] == '\\' || path[2] == '/'))
        return true;
    if (path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/')) return true;
    const size_t close = path[0] == '%' ? path.find('%', 1) : std::string::npos;
    return close != std::string::npos && close > 1 && close + 1 < path.size() &&
           (path[close + 1] == '\\' || path[close + 1] == '/');
}

static std::string SystemMessage(DWORD error) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                   sizeof(text), nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' || message.back() == '.'))
        message.pop_back();
    return message.empty() ? "error " + std::to_string(error) : message;
}

SettingsBytes ReadSettingsBytes(const std::string& path, size_t limit, std::string* text, std::string* wrong) {
    const std::wstring wide = Wide(path);
    if (wide.empty()) {
        *wrong = "cannot be read: its path is no UTF-8";
        return SettingsBytes::kWrong;
    }
    const HANDLE file = CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return SettingsBytes::kMissing;
        *wrong = "cannot be read: " + SystemMessage(error);
        return SettingsBytes::kWrong;
    }
    LARGE_INTEGER size;
    if (GetFileType(file) != FILE_TYPE_DISK) {
        *wrong = "cannot be read: it is not a regular file";
    } else if (!GetFileSizeEx(file, &size)) {
        *wrong = "cannot be read: " + SystemMessage(GetLastError());
    } else if (static_cast<unsigned long long>(size.QuadPart) > limit) {
        *wrong = "is larger than " + std::to_string(limit) + " bytes";
    } else {
        char buffer[4096];
        for (;;) {
            DWORD got = 0;
            if (!ReadFile(file, buffer, sizeof(buffer), &got, nullptr)) {
                *wrong = "cannot be read: " + SystemMessage(GetLastError());
                break;
            }
            if (got == 0) break;
            text->append(buffer, got);
            if (text->size() > limit) {
                *wrong = "is larger than " + std::to_string(limit) + " bytes";
                break;
            }
        }
    }
    CloseHandle(file);
    return wrong->empty() ? SettingsBytes::kRead : SettingsBytes::kWrong;
}
