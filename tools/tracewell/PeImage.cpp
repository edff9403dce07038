// Reading the headers and the export directory of a PE file, every offset checked against the
// file's size and every count against what the file can hold: the file may be anything.
#include "PeImage.h"

#include <cstdio>
#include <cstring>
#include <vector>

namespace {

constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kMagicPe32 = 0x010B;
constexpr uint16_t kMagicPe32Plus = 0x020B;
constexpr uint16_t kCharacteristicExecutable = 0x0002;
constexpr uint16_t kCharacteristicDll = 0x2000;
constexpr uint32_t kCoffHeaderSize = 20;
constexpr uint32_t kSectionHeaderSize = 40;
constexpr uint32_t kExportDirectorySize = 40;

// The file's bytes, read little-endian; a read past the end fails instead.
class Bytes {
public:
    explicit Bytes(const std::string& image) : m_image(image) {}
    bool Has(uint64_t offset, uint64_t size) const {
        return offset <= m_image.size() && m_image.size() - offset >= size;
    }
    bool U16(uint64_t offset, uint16_t* out) const { return Read(offset, 2, out); }
    bool U32(uint64_t offset, uint32_t* out) const { return Read(offset, 4, out); }
    // The NUL-terminated string at `offset`, which must end before `limit`.
    bool String(uint64_t offset, uint64_t limit, std::string* out) const {
        if (limit > m_image.size() || offset >= limit) return false;
        const char* start = m_image.data() + offset;
        const void* end = memchr(start, '\0', limit - offset);
        if (end == nullptr) return false;
        out->assign(start, static_cast<const char*>(end));
        return true;
    }

private:
    template <typename T>
    bool Read(uint64_t offset, unsigned size, T* out) const {
        if (!Has(offset, size)) return false;
        T value = 0;
        for (unsigned i = 0; i < size; ++i)
            value |= static_cast<T>(static_cast<unsigned char>(m_image[offset + i])) << (8 * i);
        *out = value;
        return true;
    }
    const std::string& m_image;
};

struct Section {
    uint32_t address;
    uint32_t size;  // the part the file holds
    uint32_t offset;
};

// The file offset of `rva` and where the section holding it ends in the file, or false when no
// section holds `size` bytes from there in the file.
bool Locate(const std::vector<Section>& sections, uint32_t rva, uint32_t size, uint64_t* offset, uint64_t* end) {
    for (const Section& s : sections) {
        if (rva < s.address || rva - s.address >= s.size || s.size - (rva - s.address) < size) continue;
        *offset = uint64_t{s.offset} + (rva - s.address);
        *end = uint64_t{s.offset} + s.size;
        return true;
    }
    return false;
}

bool ReadExports(const Bytes& bytes, const std::vector<Section>& sections, uint32_t directoryRva, PeImage* out,
                 std::string* why) {
    uint64_t directory = 0, end = 0;
    uint32_t base = 0, functions = 0, names = 0, functionTable = 0, nameTable = 0, ordinalTable = 0;
    if (!Locate(sections, directoryRva, kExportDirectorySize, &directory, &end) || !bytes.U32(directory + 16, &base) ||
        !bytes.U32(directory + 20, &functions) || !bytes.U32(directory + 24, &names) ||
        !bytes.U32(directory + 28, &functionTable) || !bytes.U32(directory + 32, &nameTable) ||
        !bytes.U32(directory + 36, &ordinalTable)) {
        *why = "a DLL whose export directory lies outside the file";
        return false;
    }
    uint64_t functionsAt = 0, namesAt = 0, ordinalsAt = 0;
    // Each table must lie whole in the file: a count cannot make the reader walk past its end.
    if (uint64_t{functions} * 4 > UINT32_MAX || uint64_t{names} * 4 > UINT32_MAX ||
        (functions != 0 && !Locate(sections, functionTable, functions * 4, &functionsAt, &end)) ||
        (names != 0 && (!Locate(sections, nameTable, names * 4, &namesAt, &end) ||
                        !Locate(sections, ordinalTable, names * 2, &ordinalsAt, &end)))) {
        *why = "a DLL whose export tables lie outside the file";
        return false;
    }
    // The export with ordinal 1 is the function at index 1 - Base; an empty slot exports nothing.
    uint32_t address = 0;
    out->ordinalOne = base <= 1 && 1 - base < functions && bytes.U32(functionsAt + 4 * (1 - base), &address) && address != 0;
    for (uint32_t i = 0; i < names; ++i) {
        uint32_t nameRva = 0;
        uint16_t index = 0;
        uint64_t nameAt = 0, nameEnd = 0;
        std::string name;
        if (!bytes.U32(namesAt + 4 * uint64_t{i}, &nameRva) || !bytes.U16(ordinalsAt + 2 * uint64_t{i}, &index)) break;
        // A name whose function index is outside the table exports nothing the loader can find.
        if (index >= functions || !Locate(sections, nameRva, 1, &nameAt, &nameEnd) ||
            !bytes.String(nameAt, nameEnd, &name)) {
            continue;
        }
        out->names.insert(name);
    }
    return true;
}

}  // namespace

bool ReadPeImage(const std::string& image, PeImage* out, std::string* why) {
    const Bytes bytes(image);
    uint32_t peOffset = 0;
    uint32_t signature = 0;
    if (image.size() < 0x40 || image.compare(0, 2, "MZ") != 0 || !bytes.U32(0x3C, &peOffset) ||
        !bytes.U32(peOffset, &signature) || signature != 0x00004550) {
        *why = "not a DLL (no PE header)";
        return false;
    }
    const uint64_t coff = uint64_t{peOffset} + 4;
    uint16_t machine = 0, sectionCount = 0, optionalSize = 0, characteristics = 0, magic = 0;
    if (!bytes.U16(coff, &machine) || !bytes.U16(coff + 2, &sectionCount) || !bytes.U16(coff + 16, &optionalSize) ||
        !bytes.U16(coff + 18, &characteristics)) {
        *why = "not a DLL (its PE header is cut short)";
        return false;
    }
    out->machine = machine;
    if (machine != kMachineI386 && machine != kMachineAmd64) {
        char hex[8];
        snprintf(hex, sizeof(hex), "%04x", machine);
        *why = std::string("a PE file for machine 0x") + hex + ", neither i386 nor AMD64; no Source Manager loads it";
        return false;
    }
    if ((characteristics & kCharacteristicDll) == 0) {
        *why = "a PE file, but not a DLL";
        return false;
    }
    // Wine's placeholders for its built-in DLLs are such files, and so is a DLL whose link failed.
    if ((characteristics & kCharacteristicExecutable) == 0) {
        *why = "a DLL not marked as a loadable image, which Windows does not load";
        return false;
    }
    const uint64_t optional = coff + kCoffHeaderSize;
    const bool wide = machine == kMachineAmd64;
    // Where the number of data directories and the export directory's entry sit.
    const uint32_t countAt = wide ? 108 : 92;
    uint32_t directoryCount = 0, exportRva = 0, exportSize = 0;
    if (!bytes.U16(optional, &magic) || magic != (wide ? kMagicPe32Plus : kMagicPe32) || optionalSize < countAt + 4 ||
        !bytes.Has(optional, optionalSize) || !bytes.U32(optional + countAt, &directoryCount)) {
        *why = "a DLL whose optional header does not fit its machine";
        return false;
    }
    out->bits = wide ? 64 : 32;
    if (directoryCount > 0 && optionalSize >= countAt + 12) {
        bytes.U32(optional + countAt + 4, &exportRva);
        bytes.U32(optional + countAt + 8, &exportSize);
    }
    std::vector<Section> sections;
    const uint64_t table = optional + optionalSize;
    if (!bytes.Has(table, uint64_t{sectionCount} * kSectionHeaderSize)) {
        *why = "a DLL whose section table lies outside the file";
        return false;
    }
    for (uint32_t i = 0; i < sectionCount; ++i) {
        // The table lies whole in the file: these reads cannot fail.
        Section s{0, 0, 0};
        uint32_t virtualSize = 0;
        const uint64_t at = table + uint64_t{i} * kSectionHeaderSize;
        bytes.U32(at + 8, &virtualSize);
        bytes.U32(at + 12, &s.address);
        bytes.U32(at + 16, &s.size);
        bytes.U32(at + 20, &s.offset);
        // Beyond its virtual size a section holds only the file's padding.
        if (virtualSize != 0 && virtualSize < s.size) s.size = virtualSize;
        if (!bytes.Has(s.offset, s.size)) {
            *why = "a DLL whose sections lie outside the file";
            return false;
        }
        sections.push_back(s);
    }
    if (exportRva == 0 || exportSize == 0) return true;
    return ReadExports(bytes, sections, exportRva, out, why);
}
