// How the settings file is read from the system and what a path looks like there: one file per
// system, picked by the build.
#pragma once

#include <cstddef>
#include <string>

enum class SettingsBytes { kRead, kMissing, kWrong };

// Reads the whole file at `path` into *text. kMissing when nothing is there; kWrong, with *wrong
// saying why ("cannot be read: ...", "is larger than N bytes"), when it cannot be read, is no
// regular file or holds more than `limit` bytes.
SettingsBytes ReadSettingsBytes(const std::string& path, size_t limit, std::string* text, std::string* wrong);

// Whether `path` is absolute on this system.
bool IsAbsolutePath(const std::string& path);

// The characters that end a directory in a path.
extern const char kPathSeparators[];
