// The file system of the machine the command runs on, as the command uses it: paths in UTF-8,
// each change one call that says why it failed. One implementation per kind of system.
#pragma once

#include <string>
#include <vector>

namespace host {

#ifdef _WIN32
constexpr bool kWindowsHost = true;
#else
constexpr bool kWindowsHost = false;
#endif

bool IsSeparator(char c);
bool IsAbsolute(const std::string& path);
// The same file named twice (Windows: letters in either case).
bool SamePath(const std::string& a, const std::string& b);
// `path` lies below `dir` (both canonical).
bool IsBelow(const std::string& path, const std::string& dir);
std::string Join(const std::string& dir, const std::string& name);
std::string BaseName(const std::string& path);
std::string DirName(const std::string& path);

struct Facts {
    bool exists = false;
    bool directory = false;
    bool regular = false;
    bool link = false;  // a symbolic link (or, on Windows, any reparse point)
    unsigned mode = 0;  // permission bits where the system has them
};
// What `path` itself is, a link not followed.
Facts Inspect(const std::string& path);
bool Exists(const std::string& path);
// A directory, or a link to one.
bool IsDirectory(const std::string& path);
// The names in `dir`, sorted, without "." and "..".
std::vector<std::string> Entries(const std::string& dir);
bool ReadWholeFile(const std::string& path, std::string* content, std::string* why);
// `path` with every link, "." and ".." resolved, when it is an existing directory.
bool RealDirectory(const std::string& path, std::string* real);
// This user may add files to the directory.
bool CanAddFiles(const std::string& dir);
// `path` made absolute against the working directory (and, on Windows, the current drive).
std::string AbsolutePath(const std::string& path);
std::string ExecutablePath();
std::string Environment(const char* name);
// The local time as YYYYMMDD-HHMMSS.
std::string LocalStamp();
std::string DefaultLogDirectory();

// Changes. Each returns "" when done, or why it could not be done (and then changed nothing).
std::string MakeDirectory(const std::string& path, unsigned mode);
// Writes a file that must not exist through a temporary name beside it, so that it appears whole.
std::string WriteNewFile(const std::string& path, const std::string& content, unsigned mode);
// Renames a file or a directory; `to` must not exist.
std::string Rename(const std::string& from, const std::string& to);
std::string RemoveFile(const std::string& path);
std::string RemoveDirectory(const std::string& path);

// While held (counted), what ends a program from the terminal (signals; Ctrl-C on a console) is
// held off, so that a change of several steps is never cut in two.
void HoldInterrupts();
void ReleaseInterrupts();

// The command line in UTF-8, and standard output set to show it.
std::vector<std::string> CommandLine(int argc, char** argv);

}  // namespace host
