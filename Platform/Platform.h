// What Tracewell takes from the platform: the list of loaded images, plug-in modules, directories
// and relocatable memory blocks. The logic above it is written against these operations only.
#pragma once

#include <cstddef>

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
// shared object file. Null when it cannot be opened.
void* PlatformModuleOpen(const char* path);
void* PlatformModuleSymbol(void* module, const char* name);
void PlatformModuleRelease(void* module);

// 0 when the path names an existing directory, else a status above.
int PlatformResolveDirectory(const char* path);
// Creates directory `name` inside `parent`; 0 or a status above.
int PlatformCreateDirectory(const char* parent, const char* name);

// Relocatable memory blocks in the ABI's handle convention.
TW_HANDLE NewHandleClear(size_t size);
void DisposeHandle(TW_HANDLE handle);
// Pins the block and returns its current address.
void* HLock(TW_HANDLE handle);
void HUnlock(TW_HANDLE handle);
