// The Linux and Windows Source Managers' rules for data sources, as the command checks them.
#include "SourceRules.h"

#include "ElfSymbols.h"
#include "HostFiles.h"
#include "PeImage.h"

namespace {

// What marks a build of tracewell.ds, in both systems: it exports its loader's entry point.
constexpr char kTracewellMarker[] = "MachO_Initialization";
constexpr char kHiddenSuffix[] = ".tracewell-hidden";

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool DsAt(const std::string& name, size_t at, bool caseless) {
    if (name.size() - at < 3) return false;
    if (!caseless) return name.compare(at, 3, ".ds") == 0;
    return name[at] == '.' && Lower(name[at + 1]) == 'd' && Lower(name[at + 2]) == 's';
}

// Every ".ds" made "-ds", and the suffix after it: the name neither holds nor ends in ".ds", and its
// last extension (the only one a short 8.3 name keeps) is "tracewell-hidden".
std::string Hide(const std::string& name, bool caseless) {
    std::string hidden;
    for (size_t i = 0; i < name.size(); ++i) {
        if (DsAt(name, i, caseless)) {
            hidden += '-';
            hidden += name.substr(i + 1, 2);
            i += 2;
        } else {
            hidden += name[i];
        }
    }
    return hidden + kHiddenSuffix;
}

std::string LabelOf(const std::string& name, bool caseless) {
    size_t end = 0;
    while (end < name.size() && !DsAt(name, end, caseless)) ++end;
    std::string label;
    for (const char c : name.substr(0, end)) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_' || c == '-';
        label += plain ? c : '-';
    }
    return label.empty() ? "source" : label;
}

// The Linux Source Manager takes every regular x86-64 shared object whose name holds ".ds".
class CLinuxRules : public CSourceRules {
public:
    std::vector<TwainFolder> Folders(const TreeOptions& options) const override { return {{options.twainDir, 64}}; }
    bool Offered(const std::string& name) const override { return name.find(".ds") != std::string::npos; }
    const char* OfferedRule() const override { return "its name holds no \".ds\""; }
    bool Read(const std::string& image, ModuleFacts* facts, std::string* why) const override {
        std::set<std::string> exported;
        if (!ReadExportedSymbols(image, &exported, why)) return false;
        facts->bits = 64;
        facts->entry = exported.count("DS_Entry") != 0;
        facts->tracewell = exported.count(kTracewellMarker) != 0;
        return true;
    }
    std::string HiddenName(const std::string& name) const override { return Hide(name, false); }
    std::string Label(const std::string& name) const override { return LabelOf(name, false); }
    std::string Module(const TreeOptions& options, int) const override {
        if (!options.dataSource.empty()) return options.dataSource;
        const std::string self = host::ExecutablePath();
        if (self.empty()) return "/usr/local/lib/tracewell/tracewell.ds";
        return host::DirName(host::DirName(self)) + "/lib/tracewell/tracewell.ds";
    }
};

// The Windows Source Managers search twain_32 (the 32-bit one) and twain_64 (the 64-bit one) below
// the Windows folder, subfolders included, for "*.ds": names that end in ".ds" in either case.
class CWindowsRules : public CSourceRules {
public:
    std::vector<TwainFolder> Folders(const TreeOptions& options) const override {
        if (options.windowsDir.empty()) return {};
        return {{host::Join(options.windowsDir, "twain_32"), 32}, {host::Join(options.windowsDir, "twain_64"), 64}};
    }
    bool Offered(const std::string& name) const override {
        return name.size() > 3 && DsAt(name, name.size() - 3, true);
    }
    const char* OfferedRule() const override { return "its name does not end in \".ds\""; }
    bool Read(const std::string& image, ModuleFacts* facts, std::string* why) const override {
        PeImage pe;
        if (!ReadPeImage(image, &pe, why)) return false;
        facts->bits = pe.bits;
        facts->entry = pe.HasEntry();
        facts->tracewell = pe.names.count(kTracewellMarker) != 0;
        return true;
    }
    std::string HiddenName(const std::string& name) const override { return Hide(name, true); }
    std::string Label(const std::string& name) const override { return LabelOf(name, true); }
    // The installer puts the command in bin\ and both builds in x64\ and x86\ beside it.
    std::string Module(const TreeOptions& options, int bits) const override {
        if (!options.dataSource.empty()) return options.dataSource;
        const std::string install =
            options.installDir.empty() ? host::DirName(host::DirName(host::ExecutablePath())) : options.installDir;
        return host::Join(host::Join(install, bits == 64 ? "x64" : "x86"), "tracewell.ds");
    }
};

}  // namespace

const CSourceRules& RulesOf(TwainSystem system) {
    static const CLinuxRules linuxRules;
    static const CWindowsRules windowsRules;
    if (system == TwainSystem::kWindows) return windowsRules;
    return linuxRules;
}
