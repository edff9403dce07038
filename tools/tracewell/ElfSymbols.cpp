// Reading the dynamic symbol table of an ELF shared object, every offset checked against the
// file's size: the file may be anything.
#include "ElfSymbols.h"

#include <elf.h>

#include <cstring>

namespace {

template <typename T>
bool ReadAt(const std::string& image, uint64_t offset, T* out) {
    if (offset > image.size() || image.size() - offset < sizeof(T)) return false;
    memcpy(out, image.data() + offset, sizeof(T));
    return true;
}

}  // namespace

bool ReadExportedSymbols(const std::string& image, std::set<std::string>* exported, std::string* why) {
    Elf64_Ehdr header;
    if (image.size() < EI_NIDENT || memcmp(image.data(), ELFMAG, SELFMAG) != 0 || !ReadAt(image, 0, &header)) {
        *why = "not a shared object (no ELF header)";
        return false;
    }
    if (header.e_ident[EI_CLASS] != ELFCLASS64 || header.e_ident[EI_DATA] != ELFDATA2LSB ||
        header.e_machine != EM_X86_64) {
        *why = "not an x86-64 object; the Source Manager takes only those";
        return false;
    }
    if (header.e_type != ET_DYN) {
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
        if (section.sh_type != SHT_DYNSYM || section.sh_entsize != sizeof(Elf64_Sym)) continue;
        Elf64_Shdr strings;
        if (section.sh_link >= header.e_shnum ||
            !ReadAt(image, header.e_shoff + uint64_t{section.sh_link} * sizeof(Elf64_Shdr), &strings) ||
            strings.sh_offset > image.size() || image.size() - strings.sh_offset < strings.sh_size) {
            break;
        }
        for (uint64_t offset = 0; offset + sizeof(Elf64_Sym) <= section.sh_size; offset += sizeof(Elf64_Sym)) {
            Elf64_Sym symbol;
            if (!ReadAt(image, section.sh_offset + offset, &symbol)) break;
            const unsigned binding = ELF64_ST_BIND(symbol.st_info);
            if (symbol.st_shndx == SHN_UNDEF || (binding != STB_GLOBAL && binding != STB_WEAK)) continue;
            if (symbol.st_name >= strings.sh_size) continue;
            const char* name = image.data() + strings.sh_offset + symbol.st_name;
            exported->insert(std::string(name, strnlen(name, strings.sh_size - symbol.st_name)));
        }
        return true;
    }
    *why = "a shared object whose dynamic symbols cannot be read";
    return false;
}
