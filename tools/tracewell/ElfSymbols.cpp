// Reading the dynamic symbol table of an ELF shared object, every offset checked against the
// file's size: the file may be anything.
#include "ElfSymbols.h"

#include <cstdint>
#include <cstring>

namespace {

// The parts of the 64-bit ELF format the reader needs, so that it builds on systems without
// <elf.h> (the Windows command reads Linux sources too when asked).
constexpr unsigned char kElfMagic[] = {0x7F, 'E', 'L', 'F'};
constexpr int kClassAt = 4, kDataAt = 5;
constexpr unsigned char kClass64 = 2, kLittleEndian = 1;
constexpr uint16_t kSharedObject = 3, kMachineX8664 = 62;
constexpr uint32_t kDynamicSymbols = 11;
constexpr uint16_t kUndefined = 0;
constexpr unsigned kGlobal = 1, kWeak = 2;

struct Elf64_Ehdr {
    unsigned char e_ident[16];
    uint16_t e_type, e_machine;
    uint32_t e_version;
    uint64_t e_entry, e_phoff, e_shoff;
    uint32_t e_flags;
    uint16_t e_ehsize, e_phentsize, e_phnum, e_shentsize, e_shnum, e_shstrndx;
};
struct Elf64_Shdr {
    uint32_t sh_name, sh_type;
    uint64_t sh_flags, sh_addr, sh_offset, sh_size;
    uint32_t sh_link, sh_info;
    uint64_t sh_addralign, sh_entsize;
};
struct Elf64_Sym {
    uint32_t st_name;
    unsigned char st_info, st_other;
    uint16_t st_shndx;
    uint64_t st_value, st_size;
};
static_assert(sizeof(Elf64_Ehdr) == 64 && sizeof(Elf64_Shdr) == 64 && sizeof(Elf64_Sym) == 24, "ELF layouts");

template <typename T>
bool ReadAt(const std::string& image, uint64_t offset, T* out) {
    if (offset > image.size() || image.size() - offset < sizeof(T)) return false;
    memcpy(out, image.data() + offset, sizeof(T));
    return true;
}

}  // namespace

bool ReadExportedSymbols(const std::string& image, std::set<std::string>* exported, std::string* why) {
    Elf64_Ehdr header;
    if (image.size() < sizeof(header.e_ident) || memcmp(image.data(), kElfMagic, sizeof(kElfMagic)) != 0 ||
        !ReadAt(image, 0, &header)) {
        *why = "not a shared object (no ELF header)";
        return false;
    }
    if (header.e_ident[kClassAt] != kClass64 || header.e_ident[kDataAt] != kLittleEndian ||
        header.e_machine != kMachineX8664) {
        *why = "not an x86-64 object; the Source Manager takes only those";
        return false;
    }
    if (header.e_type != kSharedObject) {
        *why = "an ELF file, but not a shared object";
        return false;
    }
    if (header.e_shentsize != sizeof(Elf64_Shdr) || header.e_shnum == 0) {
        *why = "a shared object without section headers; its exports cannot be read";
        return false;
    }
    for (uint64_t i = 0; i < header.e_shnum; ++i) {
        Elf64_Shdr section;
        if (!ReadAt(image, header.e_shoff + i * sizeof(Elf64_Shdr), &section)) break;
        if (section.sh_type != kDynamicSymbols || section.sh_entsize != sizeof(Elf64_Sym)) continue;
        Elf64_Shdr strings;
        if (section.sh_link >= header.e_shnum ||
            !ReadAt(image, header.e_shoff + uint64_t{section.sh_link} * sizeof(Elf64_Shdr), &strings) ||
            strings.sh_offset > image.size() || image.size() - strings.sh_offset < strings.sh_size) {
            break;
        }
        for (uint64_t offset = 0; offset + sizeof(Elf64_Sym) <= section.sh_size; offset += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            if (!ReadAt(image, section.sh_offset + offset, &symbol)) break;
            const unsigned binding = symbol.st_info >> 4;
            if (symbol.st_shndx == kUndefined || (binding != kGlobal && binding != kWeak)) continue;
            if (symbol.st_name >= strings.sh_size) continue;
            const char* name = image.data() + strings.sh_offset + symbol.st_name;
            exported->insert(std::string(name, strnlen(name, strings.sh_size - symbol.st_name)));
        }
        return true;
    }
    *why = "a shared object whose dynamic symbols cannot be read";
    return false;
}
