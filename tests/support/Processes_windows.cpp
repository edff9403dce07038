// The helpers for files, modules and other programs on Windows (paths in UTF-8); a test cannot
// fork here, so RunInChild and the process counters have no Windows form.
#include <windows.h>

#include <atomic>
#include <cstdio>

#include "Processes.h"
#include "Platform/WideText_windows.h"

namespace {

std::string ReadWhole(const std::wstring& path) {
    FILE* file = _wfopen(path.c_str(), L"rb");
    return file != nullptr ? ReadAndClose(file) : "";
}

// One command-line argument as the C runtime splits it again.
std::wstring Quoted(const std::wstring& argument) {
    std::wstring quoted = L"\"";
    size_t backslashes = 0;
    for (const wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(2 * backslashes, L'\\');
    return quoted + L"\"";
}

}  // namespace

ScratchDir::ScratchDir() {
    static std::atomic<unsigned> made{0};
    wchar_t temp[MAX_PATH + 1];
    const DWORD n = GetTempPathW(MAX_PATH + 1, temp);
    if (n == 0 || n > MAX_PATH) return;
    // A folder an earlier process of the same id left behind is passed over, not reused.
    const std::string stem = Narrow(temp) + "tracewell-test-" + std::to_string(GetCurrentProcessId()) + "-";
    for (int tries = 0; tries < 1000; ++tries) {
        const std::string path = stem + std::to_string(made.fetch_add(1));
        if (CreateDirectoryW(Wide(path).c_str(), nullptr)) {
            m_path = path;
            return;
        }
        if (GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
}

bool ModuleLoaded(const std::string& path) { return GetModuleHandleW(Wide(path).c_str()) != nullptr; }

void RemoveTree(const std::string& path) {
    const std::wstring wide = Wide(path);
    const DWORD attributes = GetFileAttributesW(wide.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
        if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) RemoveDirectoryW(wide.c_str());
        else DeleteFileW(wide.c_str());
        return;
    }
    for (const std::string& name : DirectoryEntries(path)) RemoveTree(path + "\\" + name);
    RemoveDirectoryW(wide.c_str());
}

// The program's standard output and error go to files of a scratch directory, read once it ended.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    ScratchDir scratch;
    const std::wstring outPath = Wide(scratch.File("out")), errPath = Wide(scratch.File("err"));
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    const HANDLE out = CreateFileW(outPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    const HANDLE err = CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    std::wstring line = Quoted(Wide(program));
    for (const std::string& argument : arguments) line += L" " + Quoted(Wide(argument));
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = out;
    startup.hStdError = err;
    PROCESS_INFORMATION process = {};
    ProgramRun run = {-1, "", ""};
    if (out != INVALID_HANDLE_VALUE && err != INVALID_HANDLE_VALUE &&
        CreateProcessW(nullptr, &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
        WaitForSingleObject(process.hProcess, INFINITE);
        DWORD code = 0;
        GetExitCodeProcess(process.hProcess, &code);
        run.exitCode = static_cast<int>(code);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (err != INVALID_HANDLE_VALUE) CloseHandle(err);
    run.out = ReadWhole(outPath);
    run.err = ReadWhole(errPath);
    return run;
}
