// What each Source Manager takes as a data source and where it looks for them: the Linux one's
// x86-64 shared objects below one directory, the Windows one's DLLs below twain_32 and twain_64;
// and how a source is hidden from its search.
#pragma once

#include <string>
#include <vector>

#include "Command.h"

// A folder the Source Manager searches, and the bitness of the sources it loads from there.
struct TwainFolder {
    std::string path;
    int bits;
};

struct ModuleFacts {
    int bits = 0;
    bool entry = false;      // the Source Manager finds its DS_Entry
    bool tracewell = false;  // a build of tracewell.ds
};

class CSourceRules {
public:
    virtual ~CSourceRules() = default;
    // The folders as configured, not yet resolved.
    virtual std::vector<TwainFolder> Folders(const TreeOptions& options) const = 0;
    // The Source Manager's search finds a file of this name.
    virtual bool Offered(const std::string& name) const = 0;
    virtual const char* OfferedRule() const = 0;
    // The facts of a module from its bytes; false with `why` saying what the file is instead.
    virtual bool Read(const std::string& image, ModuleFacts* facts, std::string* why) const = 0;
    // The name a hidden source gets, which the Source Manager's search never finds.
    virtual std::string HiddenName(const std::string& name) const = 0;
    // The source's name up to its ".ds", in letters, digits, '_' and '-'.
    virtual std::string Label(const std::string& name) const = 0;
    // The tracewell.ds that `attach` installs beside a source of this bitness.
    virtual std::string Module(const TreeOptions& options, int bits) const = 0;
};

const CSourceRules& RulesOf(TwainSystem system);
