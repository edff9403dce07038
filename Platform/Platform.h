// What Tracewell takes from the platform: the list of loaded images, plug-in modules, directories,
// relocatable memory blocks and reads of memory that may not be there. The logic above it is
// written against these operations only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "tracewell/twain.h"

// Status codes of the file services (16-bit signed, as the callers expect).
constexpr int kStatusParamErr = -50;         // bad parameter (null or over-long path)
constexpr int kStatusMemFull = -108;         // out of memory
constexpr int kStatusIoErr = -36;            // any other failure of the file system
constexpr int kStatusDuplicateFile = -48;    // the directory to create exists already
constexpr int kStatusPermissionErr = -54;    // access denied
constexpr int kStatusDirNotFound = -120;     // the path does not name an existing directory

// Loaded images, the main program at index 0.
int PlatformImageCount();
const void* PlatformImageHeader(int index);
const char* PlatformImageName(int index);
// Load address of the image that holds this code.
const void* PlatformOwnImageHeader();

// A plug-in module: a bundle directory (code in Contents/MacOS/<name without .bundle>) or a
// shared object file (a DLL on Windows). Null when it cannot be opened. Paths are UTF-8.
void* PlatformModuleOpen(const char* path);
void* PlatformModuleSymbol(void* module, const char* name);
// The export with this ordinal (Windows); null where modules have no ordinals.
void* PlatformModuleOrdinal(void* module, unsigned ordinal);
void PlatformModuleRelease(void* module);

// 0 when the path names an existing directory, else a status above.
int PlatformResolveDirectory(const char* path);
// Creates directory `name` inside `parent`; 0 or a status above.
int PlatformCreateDirectory(const char* parent, const char* name);
// Whether anything (file or directory) is at `path`.
bool PlatformPathExists(const char* path);
// `path` with the environment variables it names (%NAME% on Windows) replaced; false, with dest
// empty, when the result does not fit. Elsewhere the path is copied unchanged.
bool PlatformExpandPath(const char* path, char* dest, size_t size);

// ---- files and clocks ------------------------------------------------------------------------
// fopen for a UTF-8 path; bytes go to the file unchanged (no line-end translation).
FILE* PlatformOpenFile(const char* path, const char* mode);
// Writes the bytes straight to the stream's descriptor (the stream must be unbuffered); a short
// write is continued, the first failing one ends it with *error set. Returns the bytes written.
size_t PlatformWriteStream(FILE* stream, const char* bytes, size_t count, int* error);
// One reading of the time of day (seconds since the epoch and the microseconds into that second)
// and of a steady clock in nanoseconds.
void PlatformReadClock(long long* seconds, long* microseconds, int64_t* monotonicNs);
// The local and the UTC calendar time at `when` (seconds since the epoch).
bool PlatformLocalTime(long long when, tm* local);
bool PlatformUtcTime(long long when, tm* utc);

// Relocatable memory blocks in the ABI's handle convention.
TW_HANDLE NewHandleClear(size_t size);
void DisposeHandle(TW_HANDLE handle);
// Pins the block and returns its current address. A handle that NewHandleClear did not make is
// never dereferenced directly: where the convention keeps the address in memory behind the
// handle, it is read with PlatformCopyReadable, and an unreadable one gives null.
void* HLock(TW_HANDLE handle);
void HUnlock(TW_HANDLE handle);
// The size NewHandleClear was asked for, for a handle it made and DisposeHandle has not taken
// back; kUnknownBlockSize for a handle of any other allocator, whose block cannot be measured.
constexpr size_t kUnknownBlockSize = ~size_t(0);
size_t HandleBlockSize(TW_HANDLE handle);

// Copies up to `size` bytes from `address` into `dest` without ever faulting; returns how many
// were copied, fewer where the memory stops being readable (0 for an unreadable address).
size_t PlatformCopyReadable(void* dest, const void* address, size_t size);

// The blocks NewHandleClear made, keyed by handle, for the two handle files. A table of fixed
// capacity: a block made while it is full is simply not known (its size is then unknown).
void RememberBlock(TW_HANDLE handle, size_t size);
void ForgetBlock(TW_HANDLE handle);
bool KnownBlock(TW_HANDLE handle, size_t* size);

// ---- facts of the process a load runs in, for the trace's opening lines ----------------------
// Each writes a NUL-terminated text of at most `size` - 1 bytes into dest and returns false, with
// dest empty, where the fact cannot be had.
int PlatformProcessId();
// The identifier of the calling thread, as the system's tools show it.
long PlatformThreadId();
bool PlatformExecutablePath(char* dest, size_t size);
// The system's name, release and machine ("Linux 6.1.0-18-amd64 x86_64").
bool PlatformSystemName(char* dest, size_t size);
// The local time zone's name and offset from UTC at `when` ("CET +0100").
bool PlatformTimeZone(long long when, char* dest, size_t size);
// Size in bytes and modification time (seconds since the epoch) of a file; false when it cannot
// be examined.
bool PlatformFileFacts(const char* path, unsigned long long* size, long long* modified);
// Path of the loaded module whose code holds `address`.
bool PlatformModulePathOf(const void* address, char* dest, size_t size);
