// What the command needs to know of a Windows DLL before it attaches it as a data source: its
// bitness and the functions it exports, read from the file's bytes on any system.
#pragma once

#include <cstdint>
#include <set>
#include <string>

struct PeImage {
    uint16_t machine = 0;
    int bits = 0;  // 32 (i386) or 64 (AMD64)
    std::set<std::string> names;  // exported by name
    bool ordinalOne = false;      // something is exported with ordinal 1

    // The Source Manager calls DS_Entry by name, and the export with ordinal 1 when the name is
    // missing.
    bool HasEntry() const { return names.count("DS_Entry") != 0 || ordinalOne; }
};

// Reads `image` (a whole file's bytes). False, with `why` saying what the file is instead, when it
// is not an i386 or AMD64 PE DLL whose exports can be read; a DLL without an export directory
// exports nothing.
bool ReadPeImage(const std::string& image, PeImage* out, std::string* why);
