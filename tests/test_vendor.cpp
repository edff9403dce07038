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

#include "support/TestSupport.h"

namespace {

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac = 0) { return TW_FIX32{whole, frac}; }

void SetMatrix(TW_FIX32 (&m)[9], std::initializer_list<TW_FIX32> values) {
    size_t i = 0;
    for (const TW_FIX32& v : values) m[i++] = v;
}

// Pascal string: length byte, then the characters.
template <size_t N>
void SetPascal(TW_UINT8 (&field)[N], const std::string& text, int lengthByte = -1) {
    memset(field, 0, N);
    field[0] = static_cast<TW_UINT8>(lengthByte >= 0 ? lengthByte : static_cast<int>(text.size()));
    memcpy(field + 1, text.data(), std::min(text.size(), N - 1));
}

// The line of `text` that starts with `label`, without its line end; empty when there is none.
std::string LineOf(const std::string& text, const std::string& label) {
    size_t start = 0;
    while (start < text.size()) {
        const size_t end = text.find("\r\n", start);
        const std::string line = text.substr(start, end - start);
        if (line.compare(0, label.size(), label) == 0) return line;
        if (end == std::string::npos) break;
        start = end + 2;
    }
    return std::string();
}

size_t CountLines(const std::string& text) {
    size_t n = 0;
    for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++n;
    return n;
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
    T* operator->() { return m_object; }
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

TWKV_AUTOEXPOSURE AutoExposure(TW_UINT16 filmType, TW_UINT16 gamma) {
    TWKV_AUTOEXPOSURE s{};
    s.Handle = 0x1234;
    s.Left = -5;
    s.Top = 10;
    s.Right = 3000;
    s.Bottom = -32768;
    s.FilmType = filmType;
    s.PreScanGamma = gamma;
    s.ScreenGamma = Fix(-1, 32768);
    s.GrayBalance = 65535;
    return s;
}

TWKV_USMINFO UsmInfo() {
    TWKV_USMINFO s{};
    s.InputResolution = 1200;
    s.InUSMLevel = 2;
    s.InFilmType = 7;
    s.USMParm = {150, -2, 3};
    s.ReviseParm.InputRevise = {1, 2, 3, 4};
    s.ReviseParm.OutputRevise = {5, 6, 65535, 8};
    s.ReviseParm.BlurMax = 9;
    return s;
}

const FormatCase kFormatCases[] = {
    {"AutoExposure",
     [](CParaAnalyze& a) {
         const TWKV_AUTOEXPOSURE s = AutoExposure(TWKV_FT_REFLECTIVEDOCUMENT, 0xFFFF);
         a.TwKvAutoExposureAnalyze(&s);
     },
     Crlf({"  TWKV_AUTOEXPOSURE = {",
           "    Handle       = <0x00001234>",
           "    Left         = [-5]",
           "    Top          = [10]",
           "    Right        = [3000]",
           "    Bottom       = [-32768]",
           "    FilmType     = [TWKV_FT_REFLECTIVEDOCUMENT]",
           "    PreScanGamma = [ERROR!(65535)]",
           "    ScreenGamma  = [-0.500]",
           "    GrayBalance  = [65535]",
           "  }"})},
    {"RgbMatrixInStorageOrder",
     [](CParaAnalyze& a) {
         TWKV_RGBMATRIX s{};
         SetMatrix(s.ColorCoeff, {Fix(-1, 32768), Fix(1, 32768), Fix(2), Fix(-3), Fix(4, 16384), Fix(-32768),
                                  Fix(32767, 65535), Fix(0, 1), Fix(9)});
         a.TwKvRgbMatrixAnalyze(&s);
     },
     Crlf({"  TWKV_RGBMATRIX = {",
           "    ColorCoeff = {-0.500,1.500,2.000,-3.000,4.250,-32768.000,32768.000,0.000,9.000}",
           "  }"})},
    {"ColorSmoothing",
     [](CParaAnalyze& a) {
         const TWKV_COLORSMOOTHING s{0xdeadbeef, 1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFF, 0x80000000};
         a.TwKvColorSmoothingAnalyze(&s);
     },
     Crlf({"  TWKV_COLORSMOOTHING = {",
           "    Handle       = <0xdeadbeef>",
           "    LeftX        = [1]",
           "    LeftY        = [2]",
           "    TopX         = [3]",
           "    TopY         = [4]",
           "    RightX       = [5]",
           "    RightY       = [6]",
           "    BottomX      = [7]",
           "    BottomY      = [4294967295]",
           "    Reserved     = [2147483648]",
           "  }"})},
    {"SkewInfo",
     [](CParaAnalyze& a) {
         TWKV_LOCATIONDATA s{};
         s.BitsPerPixel = -24;
         s.topPoint = 11;
         s.leftPoint = 12;
         s.locateW = 13;
         s.locateH = 14;
         s.ActualImgW = 15;
         s.ActualImgH = 16;
         s.xTangent = 0xFFFFFFFF;
         s.yTangent = 18;
         s.Theta = Fix(-2, 0x8000);
         a.TwKvSkewInfoAnalyze(&s);
     },
     Crlf({"  TWKV_LOCATIONDATA = {",
           "    BitsPerPixel = [-24]",
           "    topPoint     = [11]",
           "    leftPoint    = [12]",
           "    locateW      = [13]",
           "    locateH      = [14]",
           "    ActualImgW   = [15]",
           "    ActualImgH   = [16]",
           "    xTangent     = [4294967295]",
           "    yTangent     = [18]",
           "    Theta        = [-1.500]",
           "  }"})},
    {"SettingFrame",
     [](CParaAnalyze& a) {
         const TWKV_SETTINGFRAME s{65535, 4};
         a.TwKvSettingFrameAnalyze(&s);
     },
     Crlf({"  TWKV_SETTINGFRAME = {",
           "    NumFrame    = [65535]",
           "    CurrentNum  = [4]",
           "  }"})},
    {"UsmInfoWithNestedBlocks",
     [](CParaAnalyze& a) {
         const TWKV_USMINFO s = UsmInfo();
         a.TwKvUsmInfoAnalyze(&s);
     },
     Crlf({"  TWKV_USMINFO = {",
           "    InputResolution = [1200]",
           "    InUSMLevel      = [2]",
           "    InFilmType      = [7]",
           "    USMParm         = ",
           "    TWKV_USMPARAM = {",
           "      Amount    = [150]",
           "      Radius    = [-2]",
           "      Threshold = [3]",
           "    }",
           "    ReviseParm      = ",
           "    TWKV_REVISEBASEPARM = {",
           "      InputRevise  = ",
           "      TWKV_THRESHOLDINFO = {",
           "        ShadowL    = [1]",
           "        ShadowH    = [2]",
           "        HighlightH = [3]",
           "        HighlightL = [4]",
           "      }",
           "      OutputRevise = ",
           "      TWKV_THRESHOLDINFO = {",
           "        ShadowL    = [5]",
           "        ShadowH    = [6]",
           "        HighlightH = [65535]",
           "        HighlightL = [8]",
           "      }",
           "      BlurMax      = [9]",
           "    }",
           "  }"})},
};

INSTANTIATE_TEST_SUITE_P(Structures, VendorFormat, ::testing::ValuesIn(kFormatCases),
                         [](const ::testing::TestParamInfo<FormatCase>& info) { return info.param.name; });

TEST(VendorFormatNull, EveryFormatterAppendsNothingForANullStructure) {
    const std::string text = Render([](CParaAnalyze& a) {
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
    });
    EXPECT_EQ("", text);
}

TEST(VendorFormatUsmInfo, HasTwentyNineLines) {
    const TWKV_USMINFO s = UsmInfo();
    EXPECT_EQ(29u, CountLines(Render([&](CParaAnalyze& a) { a.TwKvUsmInfoAnalyze(&s); })));
}

// ---- hardware information ----------------------------------------------------------------------

TWKV_HARDWAREINFO HardwareInfo() {
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
    s.ConnectInterfaceType = 0;
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
    SetMatrix(s.ColorCorrectionFB, {Fix(1), Fix(0), Fix(0), Fix(0), Fix(1), Fix(0), Fix(0), Fix(0), Fix(1)});
    SetMatrix(s.ColorCorrectionPOSI, {Fix(2), Fix(2, 32768), Fix(3), Fix(3, 32768), Fix(4), Fix(4, 32768), Fix(5),
                                      Fix(5, 32768), Fix(6)});
    SetMatrix(s.ColorCorrectionNEGA, {Fix(-1), Fix(-2), Fix(-3), Fix(-4), Fix(-5), Fix(-6), Fix(-7), Fix(-8),
                                      Fix(-9)});
    SetMatrix(s.TCMColorCorrectionFB, {Fix(11), Fix(12), Fix(13), Fix(14), Fix(15), Fix(16), Fix(17), Fix(18),
                                       Fix(19)});
    SetMatrix(s.TCMColorCorrectionPOSI, {Fix(21), Fix(22), Fix(23), Fix(24), Fix(25), Fix(26), Fix(27), Fix(28),
                                         Fix(29)});
    SetMatrix(s.TCMColorCorrectionNEGA, {Fix(-1, 32768), Fix(-1, 32768), Fix(-1, 32768), Fix(0, 16384),
                                         Fix(0, 16384), Fix(0, 16384), Fix(100), Fix(200), Fix(300)});
    strcpy(s.ROMVersion, "1.02A");
    return s;
}

TEST(VendorHardwareInfo, RendersEveryLineExactly) {
    const TWKV_HARDWAREINFO s = HardwareInfo();
    const std::string expected = Crlf({
        "  TWKV_HARDWAREINFO = {",
        "    ModelID                = [0x1a]",
        "    ProductName            = [Kovar Scan]",
        "    ModelName              = [KV-S100]",
        "    OptXResolution         = [600]",
        "    OptYResolution         = [1200]",
        "    MinResolution          = [50]",
        "    MaxResolution          = [9600]",
        "    MaxMoireResolution     = [2400]",
        "    MaxPixelofWidth        = [4294967295]",
        "    PixelSizeofFB[0]       = [10200]",
        "    PixelSizeofFB[1]       = [14040]",
        "    PixelSizeofADF[0]      = [10201]",
        "    PixelSizeofADF[1]      = [14041]",
        "    PixelSizeofTPU[0]      = [10202]",
        "    PixelSizeofTPU[1]      = [14042]",
        "    BitDepth               = [0x08]",
        "    InterfaceSupport       = [65535]",
        "    CommandType            = [3]",
        "    ConnectInterfaceType   = [0]",
        "    StandAloneModeSupport  = [true]",
        "    FullAutoModeSupport    = [true]",
        "    SimpleModeSupport      = [false]",
        "    DocumentModeSupport    = [true]",
        "    AdvancedModeSupport    = [false]",
        "    TCMSupport             = [true]",
        "    FIT3                   = [false]",
        "    AutoLayoutSupportFB    = [true]",
        "    AutoLayoutSupportADF   = [false]",
        "    HalftoneSupport        = [true]",
        "    HTModeSupport          = [false]",
        "    HTDitherSupport        = [true]",
        "    HTAASSupport           = [false]",
        "    HTTETSupport           = [true]",
        "    TableArrangement       = [2]",
        "    OptionSupport          = [0x0012]",
        "    FocusSupport           = [1]",
        "    FocusArea[0]           = [100]",
        "    FocusArea[1]           = [4000000000]",
        "    ProfileNameFB          = [FB.icc]",
        "    ProfileNameTPU         = [TPU.icc]",
        "    ColorCorrectionFB      = [1.000,0.000,0.000,0.000,1.000,0.000,0.000,0.000,1.000]",
        "    ColorCorrectionPOSI    = [2.000,2.500,3.000,3.500,4.000,4.500,5.000,5.500,6.000]",
        "    ColorCorrectionNEGA    = [-1.000,-2.000,-3.000,-4.000,-5.000,-6.000,-7.000,-8.000,-9.000]",
        "    TCMColorCorrectionFB   = [11.000,12.000,13.000,14.000,15.000,16.000,17.000,18.000,19.000]",
        "    TCMColorCorrectionPOSI = [21.000,22.000,23.000,24.000,25.000,26.000,27.000,28.000,29.000]",
        "    TCMColorCorrectionNEGA = [-0.500,-0.500,-0.500,0.250,0.250,0.250,100.000,200.000,300.000]",
        "    ROMVersion             = [1.02A]",
        "  }",
    });
    EXPECT_EQ(expected, Render([&](CParaAnalyze& a) { a.TwHardwareInfoAnalyze(&s); }));
}

TEST(VendorHardwareInfo, StandAloneIgnoresConnectInterfaceAndTheReservedBytes) {
    TWKV_HARDWAREINFO s{};
    s.ConnectInterfaceType = 5;
    memset(s.Reserved, 0xFF, sizeof(s.Reserved));
    const std::string text = Render([&](CParaAnalyze& a) { a.TwHardwareInfoAnalyze(&s); });
    EXPECT_EQ("    ConnectInterfaceType   = [5]", LineOf(text, "    ConnectInterfaceType"));
    EXPECT_EQ("    StandAloneModeSupport  = [false]", LineOf(text, "    StandAloneModeSupport"));
    EXPECT_EQ("    FullAutoModeSupport    = [false]", LineOf(text, "    FullAutoModeSupport"));
}

struct PascalCase {
    const char* name;
    std::string characters;  // placed after the length byte, cut to the field
    int lengthByte;
    std::string shown;
};

const PascalCase kPascalCases[] = {
    {"Empty", "ignored", 0, ""},
    {"Shorter than its characters", "ScannerXYZ", 7, "Scanner"},
    {"Full field", std::string(33, 'P'), 33, std::string(33, 'P')},
    {"Length one past the field", std::string(33, 'P'), 34, std::string(33, 'P')},
    {"Length byte 255", std::string(33, 'P'), 255, std::string(33, 'P')},
};

TEST(VendorHardwareInfo, PascalStringsStayInsideTheirFields) {
    for (const PascalCase& c : kPascalCases) {
        SCOPED_TRACE(c.name);
        TWKV_HARDWAREINFO s{};
        // The bytes after each field would show if the length byte were trusted.
        SetPascal(s.ProductName, c.characters, c.lengthByte);
        SetPascal(s.ModelName, c.characters, c.lengthByte);
        s.OptXResolution = 0x41414141;
        const std::string text = Render([&](CParaAnalyze& a) { a.TwHardwareInfoAnalyze(&s); });
        EXPECT_EQ("    ProductName            = [" + c.shown + "]", LineOf(text, "    ProductName"));
        EXPECT_EQ("    ModelName              = [" + c.shown + "]", LineOf(text, "    ModelName"));
    }
}

TEST(VendorHardwareInfo, UnterminatedNamesAreReadOnlyWithinTheirFields) {
    GuardedPlacement<TWKV_HARDWAREINFO> s;
    memset(s->ProfileNameFB, 'F', sizeof(s->ProfileNameFB));
    memset(s->ProfileNameTPU, 'T', sizeof(s->ProfileNameTPU));
    memset(s->ROMVersion, 'R', sizeof(s->ROMVersion));
    const std::string text = Render([&](CParaAnalyze& a) { a.TwHardwareInfoAnalyze(s.get()); });
    EXPECT_EQ("    ProfileNameFB          = [" + std::string(34, 'F') + "]", LineOf(text, "    ProfileNameFB"));
    EXPECT_EQ("    ProfileNameTPU         = [" + std::string(34, 'T') + "]", LineOf(text, "    ProfileNameTPU"));
    EXPECT_EQ("    ROMVersion             = [" + std::string(32, 'R') + "]", LineOf(text, "    ROMVersion"));
    EXPECT_EQ("  }", LineOf(text, "  }"));
}

// ---- the vendor DATs in the result section ----------------------------------------------------

// The first line of each DAT's structure between the data-pointer line and the status line; empty
// for the DATs that carry none.
const std::pair<TW_UINT16, const char*> kDatCases[] = {
    {DAT_KV_EVENT, ""},
    {DAT_KV_REDCORRECTIONMATRIX, ""},
    {DAT_KV_TWAINCALLBACKMSG, ""},
    {DAT_KV_UNSHARPMASKPARAM, "    TWKV_USMPARAM = {"},
    {DAT_KV_SETTINGFRAME, "  TWKV_SETTINGFRAME = {"},
    {DAT_KV_RGBMATRIX, "  TWKV_RGBMATRIX = {"},
    {DAT_KV_AUTOEXPOSURE, "  TWKV_AUTOEXPOSURE = {"},
    {DAT_KV_COLORSMOOTHING, "  TWKV_COLORSMOOTHING = {"},
    {DAT_KV_HARDWAREINFO, "  TWKV_HARDWAREINFO = {"},
    {DAT_KV_SKEWINFO, "  TWKV_LOCATIONDATA = {"},
    {DAT_KV_USMINFO, "  TWKV_USMINFO = {"},
};

TEST(VendorDats, RenderTheirStructureBetweenDataPointerAndStatus) {
    FixedArena arena;
    char* data = static_cast<char*>(arena.Alloc(sizeof(TWKV_HARDWAREINFO)));
    const std::string head = Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x10000000>"});
    const std::string tail = Crlf({"", "TWAIN Status = [3]"});
    for (const auto& [dat, first] : kDatCases) {
        SCOPED_TRACE(dat);
        const std::string text = Render([&](CParaAnalyze& a) {
            a.ParaAnalyze(nullptr, nullptr, DG_CONTROL, dat, MSG_GET, data, TWRC_SUCCESS, a.m_pOutBuf);
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
