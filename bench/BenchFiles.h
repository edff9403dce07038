// The benchmarks' file services that differ between systems: the null device, a scratch file and
// emptying an open file.
#pragma once

#include <cstdio>
#include <string>

// The null device, as a path the trace can be opened at.
extern const char* const kNullDevice;

// A file (not yet made) in a new temporary directory of its own, removed with its directory. The
// path is empty when no directory could be made.
class ScratchFile {
public:
    ScratchFile();
    ~ScratchFile();
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;

    const char* Path() const { return m_path.c_str(); }

private:
    std::string m_dir;
    std::string m_path;
};

// Cuts the open file to nothing; false when it cannot.
bool EmptyFile(FILE* file);
