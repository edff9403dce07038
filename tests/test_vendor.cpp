// The vendor extension structure formatters: every line sequence byte for byte, the vendor DATs
// through the result section, and the reads that must stay inside their fields.
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "support/TestSupport.h"

namespace {

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac = 0) { return TW_FIX32{whole, frac}; }

// Pascal string: length byte, then the characters.
template <size_t N>
void SetPascal(TW_UINT8 (&field)[N], const std::string& text, int lengthByte = -1) {
    memset(field, 0, N);
    field[0] = static_cast<TW_UINT8>(lengthByte >= 0 ? lengthByte : static_cast<int>(text.size()));
    memcpy(field + 1, text.data(), std::min(text.size(), N - 1));
}

// The line of `text` that starts with `label`, without its line end; empty when there is none.
std::string LineOf(const std::string& text, const std::string& label) {
    const size_t at = ("\r\n" + text).find("\r\n" + label);
    return at == std::string::npos ? "" : text.substr(at, text.find("\r\n", at) - at);
}

// A structure placed so that its last byte is the last readable one: any read past it faults.
template <typename T>
class GuardedPlacement {
public:
    GuardedPlacement() : m_page(static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
        m_base = static_cast<char*>(mmap(nullptr, 2 * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
        if (m_base == MAP_FAILED) throw std::runtime_error("guarded placement: no memory");
        mprotect(m_base + m_page, m_page, PROT_NONE);
        m_object = new (m_base + m_page - sizeof(T)) T();
    }
    ~GuardedPlacement() { munmap(m_base, 2 * m_page); }
    T* get() { return m_object; }

private:
    size_t m_page;
    char* m_base;
    T* m_object;
};

// ---- each structure, byte for byte -----------------------------------------------------------

struct FormatCase {
    const char* name;
    std::function<void(CParaAnalyze&)> render;
    std::string expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class VendorFormat : public ::testing::TestWithParam<FormatCase> {};

TEST_P(VendorFormat, RendersEveryLineExactly) { EXPECT_EQ(GetParam().expected, Render(GetParam().render)); }

const FormatCase kFormatCases[] = {
    {"AutoExposure",
     [](CParaAnalyze& a) {
         const TWKV_AUTOEXPOSURE s{0x1234, -5, 10, 3000, -32768, TWKV_FT_REFLECTIVEDOCUMENT, 0xFFFF,
                                   Fix(-1, 32768), 65535};
         a.TwKvAutoExposureAnalyze(&s);
     },
     Crlf({"  TWKV_AUTOEXPOSURE = {", "    Handle       = <0x00001234>", "    Left         = [-5]",
           "    Top          = [10]", "    Right        = [3000]", "    Bottom       = [-32768]",
           "    FilmType     = [TWKV_FT_REFLECTIVEDOCUMENT]", "    PreScanGamma = [ERROR!(65535)]",
           "    ScreenGamma  = [-0.500]", "    GrayBalance  = [65535]", "  }"})},
    {"RgbMatrixInStorageOrder",
     [](CParaAnalyze& a) {
         const TWKV_RGBMATRIX s{{Fix(-1, 32768), Fix(1, 32768), Fix(2), Fix(-3), Fix(4, 16384), Fix(-32768),
                                 Fix(32767, 65535), Fix(0, 1), Fix(9)}};
         a.TwKvRgbMatrixAnalyze(&s);
     },
     Crlf({"  TWKV_RGBMATRIX = {",
           "    ColorCoeff = {-0.500,1.500,2.000,-3.000,4.250,-32768.000,32768.000,0.000,9.000}", "  }"})},
    {"ColorSmoothing",
     [](CParaAnalyze& a) {
         const TWKV_COLORSMOOTHING s{0xdeadbeef, 1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFF, 0x80000000};
         a.TwKvColorSmoothingAnalyze(&s);
     },
     Crlf({"  TWKV_COLORSMOOTHING = {", "    Handle       = <0xdeadbeef>", "    LeftX        = [1]",
           "    LeftY        = [2]", "    TopX         = [3]", "    TopY         = [4]", "    RightX       = [5]",
           "    RightY       = [6]", "    BottomX      = [7]", "    BottomY      = [4294967295]",
           "    Reserved     = [2147483648]", "  }"})},
    {"SkewInfo",
     [](CParaAnalyze& a) {
         const TWKV_LOCATIONDATA s{-24, 11, 12, 13, 14, 15, 16, 0xFFFFFFFF, 18, Fix(-2, 0x8000)};
         a.TwKvSkewInfoAnalyze(&s);
     },
     Crlf({"  TWKV_LOCATIONDATA = {", "    BitsPerPixel = [-24]", "    topPoint     = [11]", "    leftPoint    = [12]",
           "    locateW      = [13]", "    locateH      = [14]", "    ActualImgW   = [15]", "    ActualImgH   = [16]",
           "    xTangent     = [4294967295]", "    yTangent     = [18]", "    Theta        = [-1.500]", "  }"})},
    {"SettingFrame",
     [](CParaAnalyze& a) {
         const TWKV_SETTINGFRAME s{65535, 4};
         a.TwKvSettingFrameAnalyze(&s);
     },
     Crlf({"  TWKV_SETTINGFRAME = {", "    NumFrame    = [65535]", "    CurrentNum  = [4]", "  }"})},
    {"UsmInfoWithNestedBlocks",
     [](CParaAnalyze& a) {
         const TWKV_USMINFO s{1200, 2, 7, {150, -2, 3}, {{1, 2, 3, 4}, {5, 6, 65535, 8}, 9}};
         a.TwKvUsmInfoAnalyze(&s);
     },
     Crlf({"  TWKV_USMINFO = {", "    InputResolution = [1200]", "    InUSMLevel      = [2]",
           "    InFilmType      = [7]", "    USMParm         = ", "    TWKV_USMPARAM = {", "      Amount    = [150]",
           "      Radius    = [-2]", "      Threshold = [3]", "    }", "    ReviseParm      = ",
           "    TWKV_REVISEBASEPARM = {", "      InputRevise  = ", "      TWKV_THRESHOLDINFO = {",
           "        ShadowL    = [1]", "        ShadowH    = [2]", "        HighlightH = [3]",
           "        HighlightL = [4]", "      }", "      OutputRevise = ", "      TWKV_THRESHOLDINFO = {",
           "        ShadowL    = [5]", "        ShadowH    = [6]", "        HighlightH = [65535]",
           "        HighlightL = [8]", "      }", "      BlurMax      = [9]", "    }", "  }"})},
    {"HardwareInfo",
     [](CParaAnalyze& a) {
         TWKV_HARDWAREINFO s{};
         s.ModelID = 0x1A;
         SetPascal(s.ProductName, "Kovar Scan");
         SetPascal(s.ModelName, "KV-S100");
         s.OptXResolution = 600;
         s.OptYResolution = 1200;
         s.MinResolution = 50;
         s.MaxResolution = 9600;
         s.MaxMoireResolution = 2400;
         s.MaxPixelofWidth = 0xFFFFFFFF;
         s.PixelSizeofFB[0] = 10200;
         s.PixelSizeofFB[1] = 14040;
         s.PixelSizeofADF[0] = 10201;
         s.PixelSizeofADF[1] = 14041;
         s.PixelSizeofTPU[0] = 10202;
         s.PixelSizeofTPU[1] = 14042;
         s.BitDepth = 8;
         s.InterfaceSupport = 0xFFFF;
         s.CommandType = 3;
         s.StandAloneModeSupport = 1;
         s.FullAutoModeSupport = 1;
         s.DocumentModeSupport = 0x100;
         s.TCMSupport = 2;
         s.AutoLayoutSupportFB = 1;
         s.HalftoneSupport = 0xFFFF;
         s.HTDitherSupport = 1;
         s.HTTETSupport = 1;
         s.TableArrangement = 2;
         s.OptionSupport = 0x12;
         s.FocusSupport = 1;
         s.FocusArea[0] = 100;
         s.FocusArea[1] = 4000000000u;
         strcpy(s.ProfileNameFB, "FB.icc");
         strcpy(s.ProfileNameTPU, "TPU.icc");
         // Every coefficient differs from every other, every second matrix negative.
         TW_FIX32* matrices[] = {s.ColorCorrectionFB,    s.ColorCorrectionPOSI,    s.ColorCorrectionNEGA,
                                 s.TCMColorCorrectionFB, s.TCMColorCorrectionPOSI, s.TCMColorCorrectionNEGA};
         for (int m = 0; m < 6; ++m) {
             for (int k = 0; k < 9; ++k)
                 matrices[m][k] = Fix(static_cast<TW_INT16>(m % 2 ? -(10 * m + k) : 10 * m + k), (k % 8) * 0x2000);
         }
         strcpy(s.ROMVersion, "1.02A");
         a.TwHardwareInfoAnalyze(&s);
     },
     Crlf({"  TWKV_HARDWAREINFO = {", "    ModelID                = [0x1a]",
           "    ProductName            = [Kovar Scan]", "    ModelName              = [KV-S100]",
           "    OptXResolution         = [600]", "    OptYResolution         = [1200]",
           "    MinResolution          = [50]", "    MaxResolution          = [9600]",
           "    MaxMoireResolution     = [2400]", "    MaxPixelofWidth        = [4294967295]",
           "    PixelSizeofFB[0]       = [10200]", "    PixelSizeofFB[1]       = [14040]",
           "    PixelSizeofADF[0]      = [10201]", "    PixelSizeofADF[1]      = [14041]",
           "    PixelSizeofTPU[0]      = [10202]", "    PixelSizeofTPU[1]      = [14042]",
           "    BitDepth               = [0x08]", "    InterfaceSupport       = [65535]",
           "    CommandType            = [3]", "    ConnectInterfaceType   = [0]",
           "    StandAloneModeSupport  = [true]", "    FullAutoModeSupport    = [true]",
           "    SimpleModeSupport      = [false]", "    DocumentModeSupport    = [true]",
           "    AdvancedModeSupport    = [false]", "    TCMSupport             = [true]",
           "    FIT3                   = [false]", "    AutoLayoutSupportFB    = [true]",
           "    AutoLayoutSupportADF   = [false]", "    HalftoneSupport        = [true]",
           "    HTModeSupport          = [false]", "    HTDitherSupport        = [true]",
           "    HTAASSupport           = [false]", "    HTTETSupport           = [true]",
           "    TableArrangement       = [2]", "    OptionSupport          = [0x0012]",
           "    FocusSupport           = [1]", "    FocusArea[0]           = [100]",
           "    FocusArea[1]           = [4000000000]", "    ProfileNameFB          = [FB.icc]",
           "    ProfileNameTPU         = [TPU.icc]",
           "    ColorCorrectionFB      = [0.000,1.125,2.250,3.375,4.500,5.625,6.750,7.875,8.000]",
           "    ColorCorrectionPOSI    = [-10.000,-10.875,-11.750,-12.625,-13.500,-14.375,-15.250,-16.125,-18.000]",
           "    ColorCorrectionNEGA    = [20.000,21.125,22.250,23.375,24.500,25.625,26.750,27.875,28.000]",
           "    TCMColorCorrectionFB   = [-30.000,-30.875,-31.750,-32.625,-33.500,-34.375,-35.250,-36.125,-38.000]",
           "    TCMColorCorrectionPOSI = [40.000,41.125,42.250,43.375,44.500,45.625,46.750,47.875,48.000]",
           "    TCMColorCorrectionNEGA = [-50.000,-50.875,-51.750,-52.625,-53.500,-54.375,-55.250,-56.125,-58.000]",
           "    ROMVersion             = [1.02A]", "  }"})},
    {"NullStructuresRenderNothing",
     [](CParaAnalyze& a) {
         a.TwKvAutoExposureAnalyze(nullptr);
         a.TwKvRgbMatrixAnalyze(nullptr);
         a.TwKvColorSmoothingAnalyze(nullptr);
         a.TwHardwareInfoAnalyze(nullptr);
         a.TwKvSkewInfoAnalyze(nullptr);
         a.TwUnsharpMaskAnalyze(nullptr);
         a.TwKvSettingFrameAnalyze(nullptr);
         a.TwKvThresholdInfoAnalyze(nullptr);
         a.TwKvReviseBaseParamAnalyze(nullptr);
         a.TwKvUsmInfoAnalyze(nullptr);
         a.SetColorCoeffData(nullptr);
     },
     ""},
};

INSTANTIATE_TEST_SUITE_P(Structures, VendorFormat, ::testing::ValuesIn(kFormatCases),
                         [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

// ---- hardware information read only within its fields ----------------------------------------

struct BoundCase {
    const char* name;
    std::function<void(TWKV_HARDWAREINFO&)> set;
    std::vector<std::string> lines;  // each the whole line that starts with its label
};

BoundCase Pascal(const char* name, const std::string& characters, int lengthByte, const std::string& shown) {
    return {name,
            [=](TWKV_HARDWAREINFO& s) {
                SetPascal(s.ProductName, characters, lengthByte);
                SetPascal(s.ModelName, characters, lengthByte);
                // The bytes after the fields would show if the length byte were trusted.
                s.OptXResolution = 0x41414141;
            },
            {"    ProductName            = [" + shown + "]", "    ModelName              = [" + shown + "]"}};
}

TEST(VendorHardwareInfo, ReadsEachFieldOnlyWithinItsWidth) {
    const std::string p33(33, 'P');
    const BoundCase cases[] = {
        {"StandAloneModeSupport reads its own 16 bits, not ConnectInterfaceType or the reserved bytes",
         [](TWKV_HARDWAREINFO& s) {
             s.ConnectInterfaceType = 5;
             memset(s.Reserved, 0xFF, sizeof(s.Reserved));
         },
         {"    ConnectInterfaceType   = [5]", "    StandAloneModeSupport  = [false]",
          "    FullAutoModeSupport    = [false]"}},
        {"unterminated names",
         [](TWKV_HARDWAREINFO& s) {
             memset(s.ProfileNameFB, 'F', sizeof(s.ProfileNameFB));
             memset(s.ProfileNameTPU, 'T', sizeof(s.ProfileNameTPU));
             memset(s.ROMVersion, 'R', sizeof(s.ROMVersion));
         },
         {"    ProfileNameFB          = [" + std::string(34, 'F') + "]",
          "    ProfileNameTPU         = [" + std::string(34, 'T') + "]",
          "    ROMVersion             = [" + std::string(32, 'R') + "]", "  }"}},
        Pascal("empty Pascal string", "ignored", 0, ""),
        Pascal("length shorter than the characters", "ScannerXYZ", 7, "Scanner"),
        Pascal("full field", p33, 33, p33),
        Pascal("length one past the field", p33, 34, p33),
        Pascal("length byte 255", p33, 255, p33),
    };
    for (const BoundCase& c : cases) {
        SCOPED_TRACE(c.name);
        GuardedPlacement<TWKV_HARDWAREINFO> s;
        c.set(*s.get());
        const std::string text = Render([&](CParaAnalyze& a) { a.TwHardwareInfoAnalyze(s.get()); });
        for (const std::string& line : c.lines) EXPECT_EQ(line, LineOf(text, line.substr(0, line.find(" = "))));
    }
}

// ---- the vendor DATs in the result section ----------------------------------------------------

// The first line of each DAT's structure between the data-pointer line and the status line; empty
// for the DATs that carry none. The session trace shows the hardware information, the automatic
// exposure and the unsharp-mask information in full.
const std::pair<TW_UINT16, const char*> kDatCases[] = {
    {DAT_KV_EVENT, ""},
    {DAT_KV_REDCORRECTIONMATRIX, ""},
    {DAT_KV_TWAINCALLBACKMSG, ""},
    {DAT_KV_UNSHARPMASKPARAM, "    TWKV_USMPARAM = {"},
    {DAT_KV_SETTINGFRAME, "  TWKV_SETTINGFRAME = {"},
    {DAT_KV_RGBMATRIX, "  TWKV_RGBMATRIX = {"},
    {DAT_KV_COLORSMOOTHING, "  TWKV_COLORSMOOTHING = {"},
    {DAT_KV_SKEWINFO, "  TWKV_LOCATIONDATA = {"},
};

TEST(VendorDats, RenderTheirStructureBetweenDataPointerAndStatus) {
    FixedArena arena;
    char* data = static_cast<char*>(arena.Alloc(sizeof(TWKV_HARDWAREINFO)));
    const std::string head = Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x10000000>"});
    const std::string tail = Crlf({"", "TWAIN Status = [3]"});
    for (const auto& [dat, first] : kDatCases) {
        SCOPED_TRACE(dat);
        const std::string text = Render([&](CParaAnalyze& a) {
            a.ParaAnalyze(nullptr, nullptr, DG_CONTROL, dat, MSG_GET, data, TWRC_SUCCESS, a.Output());
        });
        ASSERT_GE(text.size(), head.size() + tail.size());
        EXPECT_EQ(head, text.substr(0, head.size()));
        EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
        const std::string body = text.substr(head.size(), text.size() - head.size() - tail.size());
        if (*first == '\0') {
            EXPECT_EQ("", body);
        } else {
            EXPECT_EQ(Crlf({first}), body.substr(0, strlen(first) + 2));
            EXPECT_EQ("}\r\n", body.substr(body.size() - 3));
        }
    }
}

}  // namespace
