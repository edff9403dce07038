// The session, control, image and colour structure formatters, byte for byte: values that show
// a wrong field, a wrong signedness or a wrong table, text fields without their NUL, null pointers.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac) { return TW_FIX32{whole, frac}; }

// A pointer value that is only printed, never followed.
template <typename T>
T PointerValue(uint64_t bits) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(bits));
}

// The Id keeps its width and sign: 8 bytes and signed, or 4 bytes and unsigned.
#if defined(TRACEWELL_ABI_MACOS)
constexpr TW_ID kWideId = -0x500000000ll;
const char* const kWideIdText = "-21474836480";
#else
constexpr TW_ID kWideId = 0xFFFFFFFBu;
const char* const kWideIdText = "4294967291";
#endif

// The linux build names the extended image information; the macos build prints its number.
#if defined(TRACEWELL_ABI_MACOS)
const char* const kInfoIdLine = "      InfoID   = [4660]";
#else
const char* const kInfoIdLine = "      InfoID   = [TWEI_SKEWWINDOWY3]";
#endif

// A response table of 256 elements.
template <typename Response>
struct ResponseTable {
    Response head;
    TW_ELEMENT8 rest[255];
};

struct FormatCase {
    const char* name;
    std::function<void(CParaAnalyze&)> render;
    std::string expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class StructureText : public testing::TestWithParam<FormatCase> {};

TEST_P(StructureText, RendersExactly) { EXPECT_EQ(Render(GetParam().render), GetParam().expected); }

std::vector<FormatCase> Cases() {
    return {
        // Text fields filled to their last byte: what follows them must not show. Only MSG_OPENDSM,
        // not the rest of DAT_PARENT, renders the origin's header.
        {"Identity",
         [](CParaAnalyze& a) {
             TW_IDENTITY id{};
             id.Id = kWideId;
             id.Version.MajorNum = 2;
             id.Version.MinorNum = 4;
             id.Version.Language = 2;
             id.Version.Country = 39;
             memset(id.Version.Info, 'I', sizeof(id.Version.Info));
             id.ProtocolMajor = 1;
             id.ProtocolMinor = 9;
             id.SupportedGroups = 0x80000003u;
             memset(id.Manufacturer, 'M', sizeof(id.Manufacturer));
             strcpy(id.ProductFamily, "Flatbed");
             strcpy(id.ProductName, "Corvale 2");
             a.SetCall({0, DAT_PARENT, MSG_CLOSEDSM});
             a.TwIdentityAnalyze(&id);
         },
         Crlf({"  TW_IDENTITY = {", "    Id              = [" + std::string(kWideIdText) + "]", "    Version         =",
               "    TW_VERSION = {", "      MajorNum = [2]", "      MinorNum = [4]", "      Language = [TWLG_ENG]",
               "      Country  = [TWCY_ITALY]", "      Info     = [" + std::string(34, 'I') + "]", "    }",
               "    ProtocolMajor   = [1]", "    ProtocolMinor   = [9]", "    SupportedGroups = [2147483651]",
               "    Manufacturer    = [" + std::string(34, 'M') + "]", "    ProductFamily   = [Flatbed]",
               "    ProductName     = [Corvale 2]", "  }"})},
        {"VersionLanguageAndCountryFallbacks",
         [](CParaAnalyze& a) {
             const TW_VERSION v{0xFFFF, 0, 0x8000, 0xFFFF, ""};
             a.TwVersionAnalyze(&v);
         },
         Crlf({"    TW_VERSION = {", "      MajorNum = [65535]", "      MinorNum = [0]",
               "      Language = [ERROR!(32768)]", "      Country  = [ERROR!(65535)]", "      Info     = []",
               "    }"})},
        {"EventVendorMessageAndHighPointer",
         [](CParaAnalyze& a) {
             TW_EVENT e{PointerValue<TW_MEMREF>(0x1234567887654321ull), 0x8001};
             a.TwEventAnalyze(&e);
         },
         Crlf({"  TW_EVENT = {", "    pEvent    = <0x87654321>", "    TWMessage = [MSG_KV_TIMERRESET]", "  }"})},
        {"PendingXfersSignedCountUnsignedEoj",
         [](CParaAnalyze& a) {
             const TW_PENDINGXFERS p{0xFFFF, 0x80000002u};
             a.TwPendingXfersAnalyze(&p);
         },
         Crlf({"  TW_PENDINGXFERS = {", "    Count = [-1]", "    EOJ   = [2147483650]", "  }"})},
        {"SetupMemXferUnsigned",
         [](CParaAnalyze& a) {
             TW_SETUPMEMXFER s{16, 0xFFFFFFFFu, 0x80000000u};
             a.TwSetupMemXferAnalyze(&s);
         },
         Crlf({"  TW_SETUPMEMXFER = {", "    MinBufSize = [16]", "    MaxBufSize = [4294967295]",
               "    Preferred  = [2147483648]", "  }"})},
        // The name fills its field: the format and the volume after it must not show in it.
        {"SetupFileXferNameWithoutNulSignedVRefNum",
         [](CParaAnalyze& a) {
             TW_SETUPFILEXFER s{};
             memset(s.FileName, 'g', sizeof(s.FileName));
             s.Format = 4;
             s.VRefNum = -1;
             a.TwSetupFileXferAnalyze(&s);
         },
         Crlf({"  TW_SETUPFILEXFER = {", "    FileName = [" + std::string(256, 'g') + "]",
               "    Format   = [TWFF_JFIF]", "    VRefNum  = [-1]", "  }"})},
        {"StatusMissingConditionCode",
         [](CParaAnalyze& a) {
             TW_STATUS s{7, 0x1234};
             a.TwStatusAnalyze(&s);
         },
         Crlf({"  TW_STATUS = {", "    ConditionCode = [ERROR!(7)]", "  }"})},
        {"UserInterfaceBoolsAndHighHandle",
         [](CParaAnalyze& a) {
             const TW_USERINTERFACE u{2, 0, PointerValue<TW_HANDLE>(0x00007FFF0BADF00Dull)};
             a.TwUserInterfaceAnalyze(&u);
         },
         Crlf({"  TW_USERINTERFACE = {", "    ShowUI  = [true]", "    ModalUI = [false]", "    hParent = <0x0badf00d>",
               "  }"})},
        {"CustomDsDataSignedLength",
         [](CParaAnalyze& a) {
             const TW_CUSTOMDSDATA c{0xFFFFFFFEu, PointerValue<TW_HANDLE>(0xABCDEF0012345678ull)};
             a.TwCustomDsDataAnalyze(&c);
         },
         Crlf({"  TW_CUSTOMDSDATA = {", "    InfoLength = [-2]", "    hData      = <0x12345678>", "  }"})},
        // Through the DAT dispatch, which shows the data pointer also when it is null.
        {"XferGroupShowsTheNullDataPointer",
         [](CParaAnalyze& a) {
             a.ParaAnalyze(nullptr, nullptr, DG_CONTROL, DAT_XFERGROUP, MSG_GET, nullptr, TWRC_SUCCESS, a.Output());
         },
         Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x00000000>", "  TW_UINT32 = {",
               "    Item = <0x00000000>", "  }", "", "TWAIN Status = [3]"})},
        {"ImageInfoSignedFieldsAndFallbacks",
         [](CParaAnalyze& a) {
             const TW_IMAGEINFO i{Fix(300, 0x8000), Fix(-2, 0xC000), 2550, -3, 3, {8, 8, 8, 0, 0, 0, 0, -1}, 24, 1, -1,
                                  0xFFFF};
             a.TwImageInfoAnalyze(&i);
         },
         Crlf({"  TW_IMAGEINFO = {", "    XResolution      = [300.500]", "    YResolution      = [-1.250]",
               "    ImageWidth       = [2550]", "    ImageLength      = [-3]", "    SamplesPerPixel  = [3]",
               "    BitsPerSamples[] = {8,8,8,0,0,0,0,-1}", "    BitsPerPixel     = [24]",
               "    Planar           = [true]", "    PixelType        = [ERROR!(-1)]",
               "    Compression      = [ERROR!(65535)]", "  }"})},
        {"ImageLayoutWithFrame",
         [](CParaAnalyze& a) {
             const TW_IMAGELAYOUT l{{Fix(1, 0x4000), Fix(-2, 0xC000), Fix(8, 0x8000), Fix(11, 0)}, 0xFFFFFFFFu, 2, 3};
             a.TwImageLayoutAnalyze(&l);
         },
         Crlf({"  TW_IMAGELAYOUT = {", "    Frame          =", "    TW_FRAME = {", "      Left   = [1.250]",
               "      Top    = [-1.250]", "      Right  = [8.500]", "      Bottom = [11.000]", "    }",
               "    DocumentNumber = [4294967295]", "    PageNumber     = [2]", "    FrameNumber    = [3]", "  }"})},
        {"ImageMemXferClosesAtLineStart",
         [](CParaAnalyze& a) {
             const TW_IMAGEMEMXFER m{5, 0x80000000u, 2, 3, 4, 5, 6,
                                     {0x11, 0xFFFFFFFFu, PointerValue<TW_MEMREF>(0x0000000300C0FFEEull)}};
             a.TwImageMemXferAnalyze(&m);
         },
         Crlf({"  TW_IMAGEMEMXFER = {", "    Compression  = [TWCP_GROUP4]", "    BytesPerRow  = [2147483648]",
               "    Columns      = [2]", "    Rows         = [3]", "    XOffset      = [4]", "    YOffset      = [5]",
               "    BytesWritten = [6]", "    Memory       =", "    TW_MEMORY = {", "      Flags  = [0x11]",
               "      Length = [4294967295]", "      TheMem = <0x00c0ffee>", "    }", "}"})},
        {"Palette8IsOneLine",
         [](CParaAnalyze& a) {
             TW_PALETTE8 p{};
             p.NumColors = 256;
             p.Colors[0] = TW_ELEMENT8{1, 2, 3, 4};
             a.TwPalette8Analyze(&p);
         },
         Crlf({"  TW_PALETTE8 = { it does not display. }"})},
        // NumInfos claims five entries; the one present is all that renders.
        {"ExtImageInfoFirstInfoOnly",
         [](CParaAnalyze& a) {
             TW_EXTIMAGEINFO e{};
             e.NumInfos = 5;
             e.Info[0] = TW_INFO{0x1234, 12, 3, 8, 0xFFFFFFFFu};
             a.TwExtImageInfoAnalyze(&e);
         },
         Crlf({"  TW_EXTIMAGEINFO = {", "    NumInfos = [5]", "    Info     =", "    TW_INFO = {",
               kInfoIdLine, "      ItemType = [TWTY_STR255]", "      NumItems = [3]",
               "      CondCode = [TWRC_INFONOTSUPPORTED]", "      Item     = [4294967295]", "    }", "  }"})},
        // Tables of 256 elements, of which only the first renders.
        {"ResponsesFirstElementOnly",
         [](CParaAnalyze& a) {
             ResponseTable<TW_GRAYRESPONSE> gray{};
             ResponseTable<TW_RGBRESPONSE> rgb{};
             gray.head.Response[0] = TW_ELEMENT8{0, 10, 20, 255};
             rgb.head.Response[0] = TW_ELEMENT8{128, 1, 2, 3};
             memset(gray.rest, 9, sizeof(gray.rest));
             memset(rgb.rest, 9, sizeof(rgb.rest));
             a.TwGrayResponseAnalyze(&gray.head);
             a.TwRgbResponseAnalyze(&rgb.head);
         },
         Crlf({"  TW_GRAYRESPONSE = {", "    Response[0] =", "    TW_ELEMENT8 = {", "      Index    = [0]",
               "      Channel1 = [10]", "      Channel2 = [20]", "      Channel3 = [255]", "    }", "  }",
               "  TW_RGBRESPONSE = {", "    Response[0] =", "    TW_ELEMENT8 = {", "      Index    = [128]",
               "      Channel1 = [1]", "      Channel2 = [2]", "      Channel3 = [3]", "    }", "  }"})},
        {"NullStructuresRenderNothing",
         [](CParaAnalyze& a) {
             a.TwIdentityAnalyze(nullptr);
             a.TwVersionAnalyze(nullptr);
             a.TwEventAnalyze(nullptr);
             a.TwPendingXfersAnalyze(nullptr);
             a.TwSetupMemXferAnalyze(nullptr);
             a.TwSetupFileXferAnalyze(nullptr);
             a.TwStatusAnalyze(nullptr);
             a.TwUserInterfaceAnalyze(nullptr);
             a.TwCustomDsDataAnalyze(nullptr);
             a.TwMemoryAnalyze(nullptr);
             a.TwImageInfoAnalyze(nullptr);
             a.TwImageLayoutAnalyze(nullptr);
             a.TwFrameAnalyze(nullptr);
             a.TwImageMemXferAnalyze(nullptr);
             a.TwJpegCompressionAnalyze(nullptr);
             a.TwPalette8Analyze(nullptr);
             a.TwExtImageInfoAnalyze(nullptr);
             a.TwInfoAnalyze(nullptr);
             a.TwElement8Analyze(nullptr);
             a.TwCieColorAnalyze(nullptr);
             a.TwTransformStageAnalyze(nullptr);
             a.TwDecodeFunctionAnalyze(nullptr);
             a.TwCiePointAnalyze(nullptr);
             a.TwGrayResponseAnalyze(nullptr);
             a.TwRgbResponseAnalyze(nullptr);
         },
         ""},
    };
}

std::string CaseName(const testing::TestParamInfo<FormatCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Structures, StructureText, testing::ValuesIn(Cases()), CaseName);

}  // namespace
