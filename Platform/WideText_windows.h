// UTF-8 text as Windows' wide-character calls want it (UTF-16), and back: paths and messages are
// UTF-8 everywhere in Tracewell and UTF-16 only at the system.
#pragma once

#include <windows.h>

#include <shellapi.h>

#include <string>
#include <string_view>
#include <vector>

inline std::wstring Wide(std::string_view text) {
    if (text.empty()) return std::wstring();
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (length <= 0) return std::wstring();
    std::wstring wide(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], length);
    return wide;
}

// A NUL-terminated text; none for a null pointer.
inline std::wstring Wide(const char* text) { return text != nullptr ? Wide(std::string_view(text)) : std::wstring(); }

inline std::string Narrow(std::wstring_view wide) {
    if (wide.empty()) return std::string();
    const int length =
        WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr, nullptr);
    if (length <= 0) return std::string();
    std::string text(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.data(), static_cast<int>(wide.size()), &text[0], length, nullptr, nullptr);
    return text;
}

// The program's arguments as the system passed them (the wide command line), in UTF-8.
inline std::vector<std::string> CommandLineArguments() {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    std::vector<std::string> arguments;
    for (int i = 0; wide != nullptr && i < count; ++i) arguments.push_back(Narrow(wide[i]));
    LocalFree(wide);
    return arguments;
}
