// The session, control, image and colour structure formatters, byte for byte: values that show
// a wrong field, a wrong signedness or a wrong table, text fields without their NUL, null
// pointers, and the result section that reaches the formatters through the DAT dispatch.
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

// Above 4 GiB, so a pointer into it prints only its low half.
constexpr uintptr_t kHighArena = 0x5A5A12340000;

struct FormatCase {
    const char* name;
    std::function<void(CParaAnalyze&)> render;
    std::string expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class StructureText : public testing::TestWithParam<FormatCase> {};

TEST_P(StructureText, RendersExactly) { EXPECT_EQ(Render(GetParam().render), GetParam().expected); }

TW_IDENTITY SampleIdentity() {
    TW_IDENTITY id{};
    id.Id = 0x80000001u;
    id.Version.MajorNum = 2;
    id.Version.MinorNum = 4;
    id.Version.Language = 2;
    id.Version.Country = 39;
    strcpy(id.Version.Info, "2.4 build 17");
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 9;
    id.SupportedGroups = 0x80000003u;
    strcpy(id.Manufacturer, "Kovar");
    strcpy(id.ProductFamily, "Flatbed");
    strcpy(id.ProductName, "Corvale 2");
    return id;
}

std::string IdentityText(const std::string& header, const std::string& id, const std::string& info,
                         const std::string& manufacturer) {
    return Crlf({header,
                 "    Id              = [" + id + "]",
                 "    Version         =",
                 "    TW_VERSION = {",
                 "      MajorNum = [2]",
                 "      MinorNum = [4]",
                 "      Language = [TWLG_ENG]",
                 "      Country  = [TWCY_ITALY]",
                 "      Info     = [" + info + "]",
                 "    }",
                 "    ProtocolMajor   = [1]",
                 "    ProtocolMinor   = [9]",
                 "    SupportedGroups = [2147483651]",
                 "    Manufacturer    = [" + manufacturer + "]",
                 "    ProductFamily   = [Flatbed]",
                 "    ProductName     = [Corvale 2]",
                 "  }"});
}

std::vector<FormatCase> SessionCases() {
    std::vector<FormatCase> cases = {
        // Text fields filled to their last byte: what follows them must not show. Only MSG_OPENDSM,
        // not the rest of DAT_PARENT, renders the origin's header.
        {"IdentityTextFieldsWithoutNul",
         [](CParaAnalyze& a) {
             TW_IDENTITY id = SampleIdentity();
             memset(id.Version.Info, 'I', sizeof(id.Version.Info));
             memset(id.Manufacturer, 'M', sizeof(id.Manufacturer));
             a.m_DAT = DAT_PARENT;
             a.m_MSG = MSG_CLOSEDSM;
             a.TwIdentityAnalyze(&id);
         },
         IdentityText("  TW_IDENTITY = {", "2147483649", std::string(34, 'I'), std::string(34, 'M'))},
        {"VersionLanguageAndCountryFallbacks",
         [](CParaAnalyze& a) {
             TW_VERSION v{};
             v.MajorNum = 0xFFFF;
             v.Language = 0x8000;
             v.Country = 0xFFFF;
             a.TwVersionAnalyze(&v);
         },
         Crlf({"    TW_VERSION = {", "      MajorNum = [65535]", "      MinorNum = [0]",
               "      Language = [ERROR!(32768)]", "      Country  = [ERROR!(65535)]", "      Info     = []",
               "    }"})},
        {"EventXferReady",
         [](CParaAnalyze& a) {
             TW_EVENT e{PointerValue<TW_MEMREF>(0x1234567887654321ull), MSG_XFERREADY};
             a.TwEventAnalyze(&e);
         },
         Crlf({"  TW_EVENT = {", "    pEvent    = <0x87654321>", "    TWMessage = [MSG_XFERREADY]", "  }"})},
        {"EventVendorMessage",
         [](CParaAnalyze& a) {
             TW_EVENT e{PointerValue<TW_MEMREF>(0x10), 0x8001};
             a.TwEventAnalyze(&e);
         },
         Crlf({"  TW_EVENT = {", "    pEvent    = <0x00000010>", "    TWMessage = [MSG_KV_TIMERRESET]", "  }"})},
        {"EventWithoutMessageRendersNothing",
         [](CParaAnalyze& a) {
             TW_EVENT e{PointerValue<TW_MEMREF>(0x5000), MSG_NULL};
             a.TwEventAnalyze(&e);
         },
         ""},
        {"PendingXfersSignedCountUnsignedEoj",
         [](CParaAnalyze& a) {
             TW_PENDINGXFERS p{};
             p.Count = 0xFFFF;
             p.EOJ = 0x80000002u;
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
        {"SetupFileXferNamedFormatSignedVRefNum",
         [](CParaAnalyze& a) {
             TW_SETUPFILEXFER s{};
             strcpy(s.FileName, "/tmp/scan 1.jpg");
             s.Format = 4;
             s.VRefNum = -1;
             a.TwSetupFileXferAnalyze(&s);
         },
         Crlf({"  TW_SETUPFILEXFER = {", "    FileName = [/tmp/scan 1.jpg]", "    Format   = [TWFF_JFIF]",
               "    VRefNum  = [-1]", "  }"})},
        {"SetupFileXferNameWithoutNul",
         [](CParaAnalyze& a) {
             TW_SETUPFILEXFER s{};
             memset(s.FileName, 'g', sizeof(s.FileName));
             s.Format = 10;
             s.VRefNum = 0x4141;
             a.TwSetupFileXferAnalyze(&s);
         },
         Crlf({"  TW_SETUPFILEXFER = {", "    FileName = [" + std::string(256, 'g') + "]",
               "    Format   = [ERROR!(10)]", "    VRefNum  = [16705]", "  }"})},
        {"StatusMissingConditionCode",
         [](CParaAnalyze& a) {
             TW_STATUS s{7, 0x1234};
             a.TwStatusAnalyze(&s);
         },
         Crlf({"  TW_STATUS = {", "    ConditionCode = [ERROR!(7)]", "  }"})},
        {"UserInterfaceBoolsAndHighHandle",
         [](CParaAnalyze& a) {
             TW_USERINTERFACE u{};
             u.ShowUI = 2;
             u.ModalUI = 0;
             u.hParent = PointerValue<TW_HANDLE>(0x00007FFF0BADF00Dull);
             a.TwUserInterfaceAnalyze(&u);
         },
         Crlf({"  TW_USERINTERFACE = {", "    ShowUI  = [true]", "    ModalUI = [false]", "    hParent = <0x0badf00d>",
               "  }"})},
        {"CustomDsDataSignedLength",
         [](CParaAnalyze& a) {
             TW_CUSTOMDSDATA c{};
             c.InfoLength = 0xFFFFFFFEu;
             c.hData = PointerValue<TW_HANDLE>(0xABCDEF0012345678ull);
             a.TwCustomDsDataAnalyze(&c);
         },
         Crlf({"  TW_CUSTOMDSDATA = {", "    InfoLength = [-2]", "    hData      = <0x12345678>", "  }"})},
        {"Uint32ShowsThePointerNotTheItem",
         [](CParaAnalyze& a) {
             FixedArena arena(kHighArena, 1 << 16);
             TW_UINT32* item = arena.New<TW_UINT32>();
             *item = 0xABCD;
             a.m_DAT = DAT_IMAGENATIVEXFER;
             a.TwUint32(item);
         },
         Crlf({"  TW_UINT32 = {", "    Item = <0x12340000>", "  }"})},
    };
#if defined(TRACEWELL_ABI_MACOS)
    // The 8-byte Id is signed and keeps its upper half.
    cases.push_back({"IdentityIdIsSigned64",
                     [](CParaAnalyze& a) {
                         TW_IDENTITY id = SampleIdentity();
                         id.Id = -0x500000000ll;
                         a.TwIdentityAnalyze(&id);
                     },
                     IdentityText("  TW_IDENTITY = {", "-21474836480", "2.4 build 17", "Kovar")});
#else
    cases.push_back({"IdentityIdIsUnsigned32",
                     [](CParaAnalyze& a) {
                         TW_IDENTITY id = SampleIdentity();
                         id.Id = 0xFFFFFFFBu;
                         a.TwIdentityAnalyze(&id);
                     },
                     IdentityText("  TW_IDENTITY = {", "4294967291", "2.4 build 17", "Kovar")});
#endif
    return cases;
}

std::vector<FormatCase> ImageCases() {
    return {
        {"ImageInfoSignedFieldsAndFallbacks",
         [](CParaAnalyze& a) {
             TW_IMAGEINFO i{};
             i.XResolution = Fix(300, 0x8000);
             i.YResolution = Fix(-2, 0xC000);
             i.ImageWidth = 2550;
             i.ImageLength = -3;
             i.SamplesPerPixel = 3;
             const TW_INT16 bits[8] = {8, 8, 8, 0, 0, 0, 0, -1};
             memcpy(i.BitsPerSample, bits, sizeof(bits));
             i.BitsPerPixel = 24;
             i.Planar = 1;
             i.PixelType = -1;
             i.Compression = 0xFFFF;
             a.TwImageInfoAnalyze(&i);
         },
         Crlf({"  TW_IMAGEINFO = {", "    XResolution      = [300.500]", "    YResolution      = [-1.250]",
               "    ImageWidth       = [2550]", "    ImageLength      = [-3]", "    SamplesPerPixel  = [3]",
               "    BitsPerSamples[] = {8,8,8,0,0,0,0,-1}", "    BitsPerPixel     = [24]",
               "    Planar           = [true]", "    PixelType        = [ERROR!(-1)]",
               "    Compression      = [ERROR!(65535)]", "  }"})},
        {"ImageLayoutWithFrame",
         [](CParaAnalyze& a) {
             TW_IMAGELAYOUT l{};
             l.Frame = TW_FRAME{Fix(1, 0x4000), Fix(-2, 0xC000), Fix(8, 0x8000), Fix(11, 0)};
             l.DocumentNumber = 0xFFFFFFFFu;
             l.PageNumber = 2;
             l.FrameNumber = 3;
             a.TwImageLayoutAnalyze(&l);
         },
         Crlf({"  TW_IMAGELAYOUT = {", "    Frame          =", "    TW_FRAME = {", "      Left   = [1.250]",
               "      Top    = [-1.250]", "      Right  = [8.500]", "      Bottom = [11.000]", "    }",
               "    DocumentNumber = [4294967295]", "    PageNumber     = [2]", "    FrameNumber    = [3]", "  }"})},
        {"ImageMemXferClosesAtLineStart",
         [](CParaAnalyze& a) {
             TW_IMAGEMEMXFER m{};
             m.Compression = 5;
             m.BytesPerRow = 0x80000000u;
             m.Columns = 2;
             m.Rows = 3;
             m.XOffset = 4;
             m.YOffset = 5;
             m.BytesWritten = 6;
             m.Memory = TW_MEMORY{0x11, 0xFFFFFFFFu, PointerValue<TW_MEMREF>(0x0000000300C0FFEEull)};
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
               "      InfoID   = [4660]", "      ItemType = [TWTY_STR255]", "      NumItems = [3]",
               "      CondCode = [TWRC_INFONOTSUPPORTED]", "      Item     = [4294967295]", "    }", "  }"})},
    };
}

std::vector<FormatCase> ColourCases() {
    return {
        {"GrayResponseFirstElementOnly",
         [](CParaAnalyze& a) {
             struct {
                 TW_GRAYRESPONSE head;
                 TW_ELEMENT8 rest[255];
             } table{};
             table.head.Response[0] = TW_ELEMENT8{0, 10, 20, 255};
             for (TW_ELEMENT8& e : table.rest) e = TW_ELEMENT8{9, 9, 9, 9};
             a.TwGrayResponseAnalyze(&table.head);
         },
         Crlf({"  TW_GRAYRESPONSE = {", "    Response[0] =", "    TW_ELEMENT8 = {", "      Index    = [0]",
               "      Channel1 = [10]", "      Channel2 = [20]", "      Channel3 = [255]", "    }", "  }"})},
        {"RgbResponseFirstElementOnly",
         [](CParaAnalyze& a) {
             struct {
                 TW_RGBRESPONSE head;
                 TW_ELEMENT8 rest[255];
             } table{};
             table.head.Response[0] = TW_ELEMENT8{128, 1, 2, 3};
             for (TW_ELEMENT8& e : table.rest) e = TW_ELEMENT8{9, 9, 9, 9};
             a.TwRgbResponseAnalyze(&table.head);
         },
         Crlf({"  TW_RGBRESPONSE = {", "    Response[0] =", "    TW_ELEMENT8 = {", "      Index    = [128]",
               "      Channel1 = [1]", "      Channel2 = [2]", "      Channel3 = [3]", "    }", "  }"})},
    };
}

std::string CaseName(const testing::TestParamInfo<FormatCase>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Session, StructureText, testing::ValuesIn(SessionCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Image, StructureText, testing::ValuesIn(ImageCases()), CaseName);
INSTANTIATE_TEST_SUITE_P(Colour, StructureText, testing::ValuesIn(ColourCases()), CaseName);

TEST(NullStructure, EveryFormatterAppendsNothing) {
    EXPECT_EQ(Render([](CParaAnalyze& a) {
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
              }),
              "");
}

// ---- through the result section -------------------------------------------------------------

std::string Section(CParaAnalyze& analyzer, TW_IDENTITY* origin, TW_UINT32 dg, TW_UINT16 dat, TW_UINT16 msg,
                    void* data, TW_UINT16 rc) {
    CTraceText text;
    analyzer.ParaAnalyze(origin, nullptr, dg, dat, msg, static_cast<char*>(data), rc, &text);
    return std::string(text.Data(), text.Length());
}

TEST(StructureSection, EndXferRendersPendingXfersAndState) {
    FixedArena arena(kHighArena, 1 << 16);
    TW_PENDINGXFERS* pending = arena.New<TW_PENDINGXFERS>();
    pending->Count = 0;
    pending->EOJ = 0xFFFFFFFFu;
    CParaAnalyze analyzer;
    analyzer.SetTwainStatus(7);
    EXPECT_EQ(Section(analyzer, nullptr, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, pending, TWRC_SUCCESS),
              Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x12340000>", "  TW_PENDINGXFERS = {",
                    "    Count = [0]", "    EOJ   = [4294967295]", "  }", "", "TWAIN Status = [5]"}));
}

TEST(StructureSection, OpenDsmRendersTheOriginIdentity) {
    TW_IDENTITY origin = SampleIdentity();
    CParaAnalyze analyzer;
    analyzer.SetTwainStatus(2);
    const std::string text = Section(analyzer, &origin, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, nullptr, TWRC_SUCCESS);
    EXPECT_EQ(text, Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x00000000>"}) +
                        IdentityText("  pOrigin:TW_IDENTITY = {", "2147483649", "2.4 build 17", "Kovar") +
                        Crlf({"", "TWAIN Status = [3]"}));
}

TEST(StructureSection, XferGroupShowsTheDataPointerEvenWhenNull) {
    CParaAnalyze analyzer;
    analyzer.SetTwainStatus(4);
    EXPECT_EQ(Section(analyzer, nullptr, DG_CONTROL, DAT_XFERGROUP, MSG_GET, nullptr, TWRC_SUCCESS),
              Crlf({"        Return Code = [TWRC_SUCCESS]", "pData   = <0x00000000>", "  TW_UINT32 = {",
                    "    Item = <0x00000000>", "  }", "", "TWAIN Status = [4]"}));
}

}  // namespace
