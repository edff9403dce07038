// The structure formatters where a fault would hide from the round trip: the origin's header,
// Pascal strings of the hardware information, items at unaligned addresses and null data
// pointers, TW_CAPEXT, each structure placed so that a read past its end faults; no DAT rendering
// a null structure; the two deepest renderings whole against their golden text.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

// The text of a T whose last byte is the last readable one, filled by `fill`, rendered by `render`.
template <typename T, typename Fill, typename Draw>
std::function<std::string()> Placed(Fill fill, Draw render) {
    return [=] {
        GuardedBytes bytes(sizeof(T));
        T* const value = new (bytes.Data()) T();
        fill(*value);
        return Render([&](CParaAnalyze& a) { std::invoke(render, a, value); });
    };
}

template <size_t N>
void SetPascal(TW_UINT8 (&field)[N], const std::string& text, int lengthByte) {
    field[0] = static_cast<TW_UINT8>(lengthByte);
    memcpy(field + 1, text.data(), std::min(text.size(), N - 1));
}

struct EdgeCase {
    const char* name;
    std::function<std::string()> render;
    std::vector<std::string> lines;  // each stands whole in the text
};

// A hardware information block whose Pascal names claim `lengthByte` characters of `characters`;
// the bytes after the names would show if the length byte were trusted.
EdgeCase Pascal(const char* name, const std::string& characters, int lengthByte, const std::string& shown) {
    return {name,
            Placed<TWKV_HARDWAREINFO>(
                [=](TWKV_HARDWAREINFO& s) {
                    SetPascal(s.ProductName, characters, lengthByte);
                    SetPascal(s.ModelName, characters, lengthByte);
                    s.OptXResolution = 0x41414141;
                },
                &CParaAnalyze::TwHardwareInfoAnalyze),
            {"    ProductName            = [" + shown + "]", "    ModelName              = [" + shown + "]"}};
}

// The item a DAT carries as its data, `offset` bytes into an aligned buffer: the low bytes of `bits`.
constexpr size_t kNullData = ~size_t(0);
EdgeCase Item(const char* name, TW_UINT32 dg, TW_UINT16 dat, size_t offset, uint64_t bits, const char* shown) {
    return {name,
            [=] {
                alignas(8) unsigned char bytes[24] = {};
                char* const data = offset == kNullData ? nullptr : reinterpret_cast<char*>(bytes + offset);
                if (data != nullptr) memcpy(data, &bits, sizeof bits);
                return Render([&](CParaAnalyze& a) {
                    a.ParaAnalyze(nullptr, nullptr, dg, dat, MSG_GET, data, TWRC_SUCCESS, a.Output());
                });
            },
            {"  TW_UINT32 = {", std::string("    Item = ") + shown}};
}

std::vector<EdgeCase> Cases() {
    const std::string p33(33, 'P');
    return {
        // Only MSG_OPENDSM renders the origin's header.
        {"IdentityOfClosedsm",
         Placed<TW_IDENTITY>([](TW_IDENTITY& id) { strcpy(id.ProductFamily, "Flatbed"); },
                             [](CParaAnalyze& a, const TW_IDENTITY* p) {
                                 a.SetCall({0, DAT_PARENT, MSG_CLOSEDSM});
                                 a.TwIdentityAnalyze(p);
                             }),
         {"  TW_IDENTITY = {", "    ProductFamily   = [Flatbed]"}},
        // The packed ABI does not align the item: it is read where it lies, and a native image's
        // pointer-sized handle shows its low 32 bits. A null data pointer shows its value as 0.
        Item("XferGroupAtAnOddAddress", DG_CONTROL, DAT_XFERGROUP, 1, 0x01020304u, "<0x01020304>"),
        Item("NativeXferHandleAtAnOddAddress", DG_IMAGE, DAT_IMAGENATIVEXFER, 3, 0xAAAAAAAA0BADCAFEull, "<0x0badcafe>"),
        Item("XferGroupNullDataPointer", DG_CONTROL, DAT_XFERGROUP, kNullData, 0, "<0x00000000>"),
        Item("NativeXferNullDataPointer", DG_IMAGE, DAT_IMAGENATIVEXFER, kNullData, 0, "<0x00000000>"),
        // No DAT carries a TW_CAPEXT; its Properties is named with the tables of Cap's range.
        {"CapExtPropertiesInTheTablesOfCapsRange",
         Placed<TW_CAPEXT>([](TW_CAPEXT& x) { x = {ICAP_XRESOLUTION, 0x8001}; }, &CParaAnalyze::TwCapExtAnalyze),
         {"    Cap        = [ICAP_XRESOLUTION]", "    Properties = [ERROR!(32769)]"}},
        Pascal("PascalEmpty", "ignored", 0, ""),
        Pascal("PascalLengthShorterThanTheCharacters", "ScannerXYZ", 7, "Scanner"),
        Pascal("PascalFullField", p33, 33, p33),
        Pascal("PascalLengthOnePastTheField", p33, 34, p33),
    };
}

TEST(StructureEdge, ShowsEachLineWhole) {
    for (const EdgeCase& c : Cases()) {
        const std::string text = "\r\n" + c.render();
        for (const std::string& line : c.lines)
            EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << c.name << ": " << line << "\nin:" << text;
    }
}

// A null data pointer renders no structure, whatever the DAT (but the two above, whose item is
// their data); nor does DAT_STATUSUTF8, which neither build renders, from any data.
TEST(StructureNull, NoDatRendersAStructureFromANullDataPointer) {
    const std::string bare = Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x00000000>", "", "TWAIN Status = [3]"});
    for (uint32_t each = 0; each <= 0xFFFF; ++each) {
        const TW_UINT16 dat = static_cast<TW_UINT16>(each);
        if (dat == DAT_XFERGROUP || dat == DAT_IMAGENATIVEXFER) continue;
        for (const TW_UINT16 msg : {MSG_GET, MSG_INVOKE_CALLBACK}) {
            EXPECT_EQ(Render([&](CParaAnalyze& a) {
                a.ParaAnalyze(nullptr, nullptr, DG_CONTROL, dat, msg, nullptr, TWRC_SUCCESS, a.Output());
            }), bare) << "DAT " << dat << " MSG " << msg;
        }
    }
    char status[64] = {};
    EXPECT_EQ(Render([&](CParaAnalyze& a) {
        a.SetCall({DG_CONTROL, DAT_STATUSUTF8, MSG_GET, status});
        a.DispatchDat();
    }), "");
}

// ---- the two deepest renderings, whole ------------------------------------------------------------

// The tables' pointers lie above 4 GiB and are only printed, never followed.
TW_MEMORY Table(TW_UINT32 flags, TW_UINT32 length, uint64_t address) {
    return TW_MEMORY{flags, length, PointerValue<TW_MEMREF>(address)};
}

TEST(StructureGolden, JpegCompression) {
    TW_JPEGCOMPRESSION j{6, 0x80221111u, 3, 0xFFFF, {0, 1, 1, 1}, {}, {0, 1, 1, 0xFFFF}, {}, {}};
    for (int i = 0; i < 4; ++i) j.QuantTable[i] = Table(0x10u + i, 64u + i, 0x10000A000ull + 0x100 * i);
    for (int i = 0; i < 2; ++i) {
        j.HuffmanDC[i] = Table(0x20u + i, 28u + i, 0x20000B000ull + 0x100 * i);
        j.HuffmanAC[i] = Table(0x30u + i, 0xFFFFFFF0u + i, 0x30000C000ull + 0x100 * i);
    }
    ExpectMatchesGolden("jpegcompression.txt", Render([&](CParaAnalyze& a) { a.TwJpegCompressionAnalyze(&j); }));
}

// Visits every fixed-point field of a TW_CIECOLOR in the order it is rendered.
template <typename Visit>
void ForEachFix32(TW_CIECOLOR& c, Visit visit) {
    for (TW_TRANSFORMSTAGE* stage : {&c.StageABC, &c.StageLMN}) {
        for (TW_DECODEFUNCTION& d : stage->Decode) {
            for (TW_FIX32* f :
                 {&d.StartIn, &d.BreakIn, &d.EndIn, &d.StartOut, &d.BreakOut, &d.EndOut, &d.Gamma, &d.SampleCount})
                visit(*f);
        }
        for (auto& row : stage->Mix)
            for (TW_FIX32& f : row) visit(f);
    }
    for (TW_CIEPOINT* point : {&c.WhitePoint, &c.BlackPoint, &c.WhitePaper, &c.BlackInk}) {
        visit(point->X);
        visit(point->Y);
        visit(point->Z);
    }
    visit(c.Samples[0]);
}

// Every fixed-point field holds its own value, n + (n mod 4) / 4 in rendering order, so a field
// rendered in the wrong place or order shows.
TEST(StructureGolden, CieColor) {
    // ColorSpace 17 names no pixel type in either build.
    TW_CIECOLOR c{17, -1, 1, static_cast<TW_INT32>(0x80000000u), {}, {}, {}, {}, {}, {}, {}};
    int n = 0;
    ForEachFix32(c, [&n](TW_FIX32& f) {
        ++n;
        f = TW_FIX32{static_cast<TW_INT16>(n), static_cast<TW_UINT16>((n % 4) * 0x4000)};
    });
    c.BlackInk.Z = TW_FIX32{-32768, 0};
    c.Samples[0] = TW_FIX32{-2, 0xC000};
    ExpectMatchesGolden("ciecolor.txt", Render([&](CParaAnalyze& a) { a.TwCieColorAnalyze(&c); }));
}

// The widest value of every field still leaves the whole section, status line included, within
// the text that one call writes.
TEST(StructureGolden, WidestCieColorSectionFitsOneCall) {
    TW_CIECOLOR c{0xFFFF, -32768, -32768, -1, {}, {}, {}, {}, {}, {}, {}};
    ForEachFix32(c, [](TW_FIX32& f) { f = TW_FIX32{-32768, 0}; });

    bool full = true;
    const std::string section = Render([&](CParaAnalyze& a) {
        a.ParaAnalyze(nullptr, nullptr, DG_IMAGE, DAT_CIECOLOR, MSG_GET, reinterpret_cast<char*>(&c), TWRC_SUCCESS, a.Output());
        full = a.Output()->Full();
    });
    EXPECT_FALSE(full);
    size_t lines = 0;
    for (size_t at = section.find("\r\n"); at != std::string::npos; at = section.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 2u + 121u + 2u);
    const std::string tail = Crlf({"    Samples[]       = [-32768.000]", "  }", "", "TWAIN Status = [3]"});
    ASSERT_GE(section.size(), tail.size());
    EXPECT_EQ(section.substr(section.size() - tail.size()), tail);
}

}  // namespace
