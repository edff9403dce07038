// The two longest structure renderings, TW_JPEGCOMPRESSION and TW_CIECOLOR, compared whole with
// their golden text (one text for both ABIs), and the CIE colour section fitting one call's text.
// TRACEWELL_UPDATE_GOLDEN=1 rewrites the golden files from the current renderings.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "support/TestSupport.h"

namespace {

// The tables' pointers lie above 4 GiB and are only printed, never followed.
TW_MEMORY Table(TW_UINT32 flags, TW_UINT32 length, uint64_t address) {
    return TW_MEMORY{flags, length, reinterpret_cast<TW_MEMREF>(static_cast<uintptr_t>(address))};
}

TEST(StructureGolden, JpegCompression) {
    TW_JPEGCOMPRESSION j{};
    j.ColorSpace = 6;
    j.SubSampling = 0x80221111u;
    j.NumComponents = 3;
    j.RestartFrequency = 0xFFFF;
    const TW_UINT16 quantMap[4] = {0, 1, 1, 1};
    memcpy(j.QuantMap, quantMap, sizeof(quantMap));
    for (int i = 0; i < 4; ++i)
        j.QuantTable[i] = Table(0x10u + i, 64u + i, 0x10000A000ull + 0x100 * i);
    const TW_UINT16 huffmanMap[4] = {0, 1, 1, 0xFFFF};
    memcpy(j.HuffmanMap, huffmanMap, sizeof(huffmanMap));
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
            for (TW_FIX32* f : {&d.StartIn, &d.BreakIn, &d.EndIn, &d.StartOut, &d.BreakOut, &d.EndOut, &d.Gamma,
                                &d.SampleCount})
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
    TW_CIECOLOR c{};
    int n = 0;
    ForEachFix32(c, [&n](TW_FIX32& f) {
        ++n;
        f = TW_FIX32{static_cast<TW_INT16>(n), static_cast<TW_UINT16>((n % 4) * 0x4000)};
    });
    c.ColorSpace = 17;  // no pixel type in either build
    c.LowEndian = -1;
    c.DeviceDependent = 1;
    c.VersionNumber = static_cast<TW_INT32>(0x80000000u);
    c.BlackInk.Z = TW_FIX32{-32768, 0};
    c.Samples[0] = TW_FIX32{-2, 0xC000};
    ExpectMatchesGolden("ciecolor.txt", Render([&](CParaAnalyze& a) { a.TwCieColorAnalyze(&c); }));
}

TEST(StructureGolden, CieColorNamesItsColorSpace) {
    TW_CIECOLOR c{};
    c.ColorSpace = 8;
    const std::string text = Render([&](CParaAnalyze& a) { a.TwCieColorAnalyze(&c); });
    EXPECT_EQ(text.substr(0, text.find("    LowEndian")),
              Crlf({"  TW_CIECOLOR = {", "    ColorSpace      = [TWPT_CIEXYZ]"}));
}

// The widest value of every field still leaves the whole section, status line included, within
// the text that one call writes.
TEST(StructureGolden, WidestCieColorSectionFitsOneCall) {
    TW_CIECOLOR c{};
    c.ColorSpace = 0xFFFF;
    c.LowEndian = -32768;
    c.DeviceDependent = -32768;
    c.VersionNumber = -1;
    ForEachFix32(c, [](TW_FIX32& f) { f = TW_FIX32{-32768, 0}; });

    CParaAnalyze analyzer;
    analyzer.SetTwainStatus(4);
    CTraceText text;
    analyzer.ParaAnalyze(nullptr, nullptr, DG_IMAGE, DAT_CIECOLOR, MSG_GET, reinterpret_cast<char*>(&c),
                         TWRC_SUCCESS, &text);
    const std::string section(text.Data(), text.Length());

    EXPECT_FALSE(text.Full());
    size_t lines = 0;
    for (size_t at = section.find("\r\n"); at != std::string::npos; at = section.find("\r\n", at + 2)) ++lines;
    EXPECT_EQ(lines, 2u + 121u + 2u);
    const std::string tail = Crlf({"    Samples[]       = [-32768.000]", "  }", "", "TWAIN Status = [4]"});
    ASSERT_GE(section.size(), tail.size());
    EXPECT_EQ(section.substr(section.size() - tail.size()), tail);
    EXPECT_NE(section.find("    ColorSpace      = [ERROR!(65535)]\r\n"), std::string::npos);
    EXPECT_NE(section.find("    VersionNumber   = [4294967295]\r\n"), std::string::npos);
}

}  // namespace
