// What the command needs to know of a file before it attaches it as a data source: whether the
// Source Manager would take it (an x86-64 shared object) and which functions it exports.
#pragma once

#include <set>
#include <string>

// The dynamic symbols that `image` (a whole file's bytes) defines. False, with `why` saying what
// it is instead, when the image is not a 64-bit x86-64 ELF shared object whose symbols can be read.
bool ReadExportedSymbols(const std::string& image, std::set<std::string>* exported, std::string* why);
