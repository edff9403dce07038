// The benchmarks' file services on Windows. Paths are UTF-8, as the trace's are.
#include <io.h>
#include <windows.h>

#include <atomic>

#include "BenchFiles.h"
#include "Platform/WideText_windows.h"

const char* const kNullDevice = "NUL";

ScratchFile::ScratchFile() {
    wchar_t temp[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    if (length == 0 || length > MAX_PATH) return;
    static std::atomic<unsigned> made{0};
    const std::string dir = Narrow(temp) + "tracewell-bench-" + std::to_string(GetCurrentProcessId()) + "-" +
                            std::to_string(made.fetch_add(1));
    if (!CreateDirectoryW(Wide(dir).c_str(), nullptr)) return;
    m_dir = dir;
    m_path = m_dir + "\\trace.log";
}

ScratchFile::~ScratchFile() {
    if (m_dir.empty()) return;
    DeleteFileW(Wide(m_path).c_str());
    RemoveDirectoryW(Wide(m_dir).c_str());
}

bool EmptyFile(FILE* file) { return _chsize_s(_fileno(file), 0) == 0; }
