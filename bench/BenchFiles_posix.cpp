// The benchmarks' file services on POSIX systems.
#include <unistd.h>

#include <cstdlib>

#include "BenchFiles.h"

const char* const kNullDevice = "/dev/null";

ScratchFile::ScratchFile() {
    char dir[] = "/tmp/tracewell-bench-XXXXXX";
    if (mkdtemp(dir) == nullptr) return;
    m_dir = dir;
    m_path = m_dir + "/trace.log";
}

ScratchFile::~ScratchFile() {
    if (m_dir.empty()) return;
    unlink(m_path.c_str());
    rmdir(m_dir.c_str());
}

bool EmptyFile(FILE* file) { return ftruncate(fileno(file), 0) == 0; }
