// The PE reader on DLLs made byte by byte here (lying offsets and counts, cut files, other
// machines, missing exports) and on real DLLs of both bitnesses from the MinGW cross compilers.
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "PeImage.h"
#include "support/TestSupport.h"

namespace {

using ::testing::HasSubstr;

// Where the made DLL keeps what the cases change.
constexpr uint32_t kLfanew = 0x80;
constexpr uint32_t kCoff = kLfanew + 4;
constexpr uint32_t kOptional = kCoff + 20;
constexpr uint32_t kSectionRva = 0x1000;
constexpr uint32_t kSectionOffset = 0x400;
constexpr uint32_t kExport = kSectionOffset;  // the export directory opens the section

// Little-endian values of `bytes` bytes.
void Put(std::string& image, uint32_t at, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) image[at + i] = static_cast<char>(value >> (8 * i));
}
void Put16(std::string& image, uint32_t at, uint16_t value) { Put(image, at, value, 2); }
void Put32(std::string& image, uint32_t at, uint32_t value) { Put(image, at, value, 4); }

struct DllSpec {
    uint16_t machine = 0x8664;
    uint32_t base = 1;
    std::vector<uint32_t> functions = {0x2000};
    std::vector<std::pair<std::string, uint16_t>> names = {{"DS_Entry", 0}};  // name, function index
    bool exports = true;
};

uint32_t OptionalSize(uint16_t machine) { return machine == 0x8664 ? 240 : 224; }
uint32_t SectionTable(uint16_t machine) { return kOptional + OptionalSize(machine); }

// A DLL of one section holding the export directory, its three tables and the names.
std::string MakeDll(const DllSpec& spec) {
    std::string data(40, '\0');
    const auto rva = [&] { return kSectionRva + static_cast<uint32_t>(data.size()); };
    const uint32_t functionTable = rva();
    for (const uint32_t address : spec.functions) data.append(reinterpret_cast<const char*>(&address), 4);
    const uint32_t nameTable = rva();
    data.append(4 * spec.names.size(), '\0');
    const uint32_t ordinalTable = rva();
    for (const auto& name : spec.names) data.append(reinterpret_cast<const char*>(&name.second), 2);
    for (size_t i = 0; i < spec.names.size(); ++i) {
        Put32(data, nameTable - kSectionRva + 4 * static_cast<uint32_t>(i), rva());
        data += spec.names[i].first + '\0';
    }
    Put32(data, 16, spec.base);
    Put32(data, 20, static_cast<uint32_t>(spec.functions.size()));
    Put32(data, 24, static_cast<uint32_t>(spec.names.size()));
    Put32(data, 28, functionTable);
    Put32(data, 32, nameTable);
    Put32(data, 36, ordinalTable);

    const bool wide = spec.machine == 0x8664;
    std::string image(kSectionOffset, '\0');
    image[0] = 'M';
    image[1] = 'Z';
    Put32(image, 0x3C, kLfanew);
    memcpy(&image[kLfanew], "PE\0\0", 4);
    Put16(image, kCoff, spec.machine);
    Put16(image, kCoff + 2, 1);
    Put16(image, kCoff + 16, static_cast<uint16_t>(OptionalSize(spec.machine)));
    Put16(image, kCoff + 18, 0x2022);  // executable, large addresses, DLL
    Put16(image, kOptional, wide ? 0x20B : 0x10B);
    const uint32_t directories = kOptional + (wide ? 108 : 92);
    Put32(image, directories, 16);
    if (spec.exports) {
        Put32(image, directories + 4, kSectionRva);
        Put32(image, directories + 8, static_cast<uint32_t>(data.size()));
    }
    const uint32_t section = SectionTable(spec.machine);
    memcpy(&image[section], ".edata", 6);
    Put32(image, section + 8, static_cast<uint32_t>(data.size()));
    Put32(image, section + 12, kSectionRva);
    Put32(image, section + 16, static_cast<uint32_t>(data.size()));
    Put32(image, section + 20, kSectionOffset);
    return image + data;
}

// A DLL made from `spec` and then changed by `change` (when set); `why` says why it was refused.
bool ReadMade(const DllSpec& spec, const std::function<void(std::string&)>& change, PeImage* pe, std::string* why) {
    std::string image = MakeDll(spec);
    if (change) change(image);
    return ReadPeImage(image, pe, why);
}

TEST(PeImage, MadeDllsThatAreRead) {
    const struct { const char* name; DllSpec spec; std::function<void(std::string&)> change; int bits; bool entry; std::vector<std::string> names; } kCases[] = {
        {"64-bit DLL exporting DS_Entry", {}, nullptr, 64, true, {"DS_Entry"}},
        {"32-bit DLL exporting DS_Entry", {0x014C}, nullptr, 32, true, {"DS_Entry"}},
        {"only ordinal 1, no names", {0x014C, 1, {0x2000}, {}}, nullptr, 32, true, {}},
        {"ordinal 1 is the second slot when the base is 0", {0x8664, 0, {0, 0x2000}, {}}, nullptr, 64, true, {}},
        {"ordinal 1 would be past a table of one when the base is 0", {0x8664, 0, {0x2000}, {{"Other", 0}}}, nullptr, 64,
         false, {"Other"}},
        {"first ordinal is 2", {0x8664, 2, {0x2000}, {{"Other", 0}}}, nullptr, 64, false, {"Other"}},
        {"ordinal 1's slot is empty", {0x8664, 1, {0, 0x2000}, {{"Other", 1}}}, nullptr, 64, false, {"Other"}},
        {"no export directory", {0x8664, 1, {}, {}, false}, nullptr, 64, false, {}},
        {"a name pointing at no function", {0x8664, 2, {0x2000}, {{"DS_Entry", 5}}}, nullptr, 64, false, {}},
        {"a name outside every section", {0x8664, 2, {0x2000}, {{"DS_Entry", 0}}},
         [](std::string& image) { Put32(image, kExport + 44, 0x7000); }, 64, false, {}},
        {"a name running past its section", {0x8664, 2, {0x2000}, {{"DS_Entry", 0}}},
         [](std::string& image) {
             image.pop_back();
             Put32(image, SectionTable(0x8664) + 16, static_cast<uint32_t>(image.size() - kSectionOffset));
         },
         64, false, {}},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        PeImage pe;
        std::string why;
        ASSERT_TRUE(ReadMade(c.spec, c.change, &pe, &why)) << why;
        EXPECT_EQ(pe.bits, c.bits);
        EXPECT_EQ(pe.HasEntry(), c.entry);
        EXPECT_EQ(std::vector<std::string>(pe.names.begin(), pe.names.end()), c.names);
    }
}

TEST(PeImage, MadeDllsThatAreRefused) {
    const auto set16 = [](uint32_t at, uint16_t value) { return [=](std::string& image) { Put16(image, at, value); }; };
    const auto set32 = [](uint32_t at, uint32_t value) { return [=](std::string& image) { Put32(image, at, value); }; };
    const struct { const char* name; DllSpec spec; std::function<void(std::string&)> change; const char* why; } kCases[] = {
        {"ARM64", {0xAA64}, nullptr, "machine 0xaa64, neither i386 nor AMD64"},
        {"a PE32 header on an AMD64 machine", {}, set16(kOptional, 0x10B), "optional header does not fit"},
        {"an executable, not a DLL", {}, set16(kCoff + 18, 0x0022), "not a DLL"},
        {"a DLL not marked loadable", {}, set16(kCoff + 18, 0x2000), "not marked as a loadable image"},
        {"no MZ", {}, [](std::string& image) { image[0] = 'Z'; }, "no PE header"},
        {"a PE offset past the end", {}, set32(0x3C, 0xFFFFFFF0), "no PE header"},
        {"a PE offset two bytes before the end", {},
         [](std::string& image) { Put32(image, 0x3C, static_cast<uint32_t>(image.size() - 2)); }, "no PE header"},
        {"a section table longer than the file", {}, set16(kCoff + 2, 0xFFFF), "section table lies outside"},
        {"an optional header longer than the file", {}, set16(kCoff + 16, 0xFFF0), "optional header does not fit"},
        {"a section whose bytes lie past the end", {}, set32(SectionTable(0x8664) + 20, 0xFFFFFF00), "sections lie outside"},
        {"an export directory outside every section", {}, set32(kOptional + 112, 0x9000), "export directory lies outside"},
        {"a count of names that the file cannot hold", {}, set32(kExport + 24, 0x40000000), "export tables lie outside"},
        {"a count of functions that overflows", {}, set32(kExport + 20, 0xFFFFFFFF), "export tables lie outside"},
        {"a function table outside the section", {}, set32(kExport + 28, kSectionRva + 0xFFFF), "export tables lie outside"},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.name);
        PeImage pe;
        std::string why;
        EXPECT_FALSE(ReadMade(c.spec, c.change, &pe, &why));
        EXPECT_THAT(why, HasSubstr(c.why));
    }
}

// A file cut anywhere is never taken for a DLL: its one section always reaches the end.
TEST(PeImage, EveryCutFileIsRefused) {
    for (const uint16_t machine : {0x8664, 0x014C}) {
        DllSpec spec;
        spec.machine = machine;
        const std::string whole = MakeDll(spec);
        for (size_t size = 0; size < whole.size(); ++size) {
            PeImage pe;
            std::string why;
            EXPECT_FALSE(ReadPeImage(whole.substr(0, size), &pe, &why)) << machine << " cut at " << size;
        }
    }
}

TEST(PeImage, RealDllsOfBothBitnesses) {
    if (std::string(WINDOWS_MODULES_DIR).empty()) GTEST_SKIP() << "no MinGW cross compilers";
    const struct { const char* file; int bits; bool entry, byName, marker; } kCases[] = {
        {"source64.ds", 64, true, true, false},
        {"source32.ds", 32, true, true, false},
        // A 32-bit stdcall DS_Entry keeps its decorated name without a plain export; the Source
        // Manager then finds it as ordinal 1 only.
        {"decorated32.ds", 32, true, false, false},
        {"tracewell64.ds", 64, true, true, true},
        {"tracewell32.ds", 32, true, true, true},
        {"noexports64.ds", 64, false, false, false},
    };
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.file);
        PeImage pe;
        std::string why;
        ASSERT_TRUE(ReadPeImage(ReadFile(std::string(WINDOWS_MODULES_DIR) + "/" + c.file), &pe, &why)) << why;
        EXPECT_EQ(pe.bits, c.bits);
        EXPECT_EQ(pe.HasEntry(), c.entry);
        EXPECT_EQ(pe.names.count("DS_Entry") != 0, c.byName);
        EXPECT_EQ(pe.names.count("MachO_Initialization") != 0, c.marker);
    }
    PeImage pe;
    std::string why;
    EXPECT_FALSE(ReadPeImage(ReadFile(STANDARD_SOURCE), &pe, &why)) << "an ELF shared object";
    EXPECT_THAT(why, HasSubstr("no PE header"));
}

}  // namespace
