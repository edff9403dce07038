// The structure formatters where a fault would hide from the round trip: each structure placed so
// that a read past its end faults, with the sign and width of its fields, text fields without
// their NUL, values beyond the tables, pointers by their low 32 bits and unaligned items; the two
// deepest renderings whole against their golden text; null structures.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

constexpr bool kLinux = !TRACEWELL_ABI_REFERENCE;

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac = 0) { return TW_FIX32{whole, frac}; }

// A pointer-sized (or, for the linux build's callback reference, 32-bit) value from the low bytes
// of `bits`; only printed, never followed.
template <typename T>
T PointerValue(uint64_t bits) {
    const uintptr_t value = static_cast<uintptr_t>(bits);
    T out;
    static_assert(sizeof(T) <= sizeof(value), "at most pointer-sized");
    memcpy(&out, &value, sizeof out);
    return out;
}

// The Id keeps its width and sign: 8 bytes and signed, or 4 bytes and unsigned.
#if defined(TRACEWELL_ABI_MACOS)
constexpr TW_ID kWideId = -0x500000000ll;
const std::string kWideIdText = "-21474836480";
#else
constexpr TW_ID kWideId = 0xFFFFFFFBu;
const std::string kWideIdText = "4294967291";
#endif

template <typename T>
struct Same {
    using type = T;
};

// The text of a T whose last byte is the last readable one, filled by `fill`, rendered by `render`.
template <typename T>
std::function<std::string()> Placed(typename Same<std::function<void(T&)>>::type fill,
                                    typename Same<std::function<void(CParaAnalyze&, const T*)>>::type render) {
    return [=] {
        GuardedBytes bytes(sizeof(T));
        T* const value = new (bytes.Data()) T();
        fill(*value);
        return Render([&](CParaAnalyze& a) { render(a, value); });
    };
}

// The same, rendered by the DAT dispatch as the data of DG_CONTROL/dat/msg.
template <typename T>
std::function<std::string()> PlacedDat(TW_UINT16 dat, TW_UINT16 msg, typename Same<std::function<void(T&)>>::type fill) {
    return Placed<T>(fill, [dat, msg](CParaAnalyze& a, const T* p) {
        a.SetCall({DG_CONTROL, dat, msg, reinterpret_cast<char*>(const_cast<T*>(p))});
        a.DispatchDat();
    });
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

void PrintTo(const EdgeCase& c, std::ostream* os) { *os << c.name; }

class StructureEdge : public testing::TestWithParam<EdgeCase> {};

TEST_P(StructureEdge, ShowsEachLineWhole) {
    const std::string text = "\r\n" + GetParam().render();
    for (const std::string& line : GetParam().lines)
        EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << line << "\nin:" << text;
}

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

std::vector<EdgeCase> Cases() {
    const std::string p33(33, 'P');
    std::vector<EdgeCase> cases = {
        // Only MSG_OPENDSM renders the origin's header.
        {"Identity",
         Placed<TW_IDENTITY>(
             [](TW_IDENTITY& id) {
                 id.Id = kWideId;
                 memset(id.Version.Info, 'I', sizeof(id.Version.Info));
                 id.ProtocolMajor = 1;
                 id.SupportedGroups = 0x80000003u;
                 memset(id.Manufacturer, 'M', sizeof(id.Manufacturer));
                 strcpy(id.ProductFamily, "Flatbed");
             },
             [](CParaAnalyze& a, const TW_IDENTITY* p) {
                 a.SetCall({0, DAT_PARENT, MSG_CLOSEDSM});
                 a.TwIdentityAnalyze(p);
             }),
         {"  TW_IDENTITY = {", "    Id              = [" + kWideIdText + "]",
          "      Info     = [" + std::string(34, 'I') + "]", "    ProtocolMajor   = [1]",
          "    SupportedGroups = [2147483651]", "    Manufacturer    = [" + std::string(34, 'M') + "]",
          "    ProductFamily   = [Flatbed]"}},
        {"VersionFallbacks",
         Placed<TW_VERSION>([](TW_VERSION& v) { v = {0xFFFF, 0, 0x8000, 0xFFFF, ""}; }, &CParaAnalyze::TwVersionAnalyze),
         {"      MajorNum = [65535]", "      Language = [ERROR!(32768)]", "      Country  = [ERROR!(65535)]"}},
        {"EventVendorMessageAndHighPointer",
         Placed<TW_EVENT>([](TW_EVENT& e) { e = {PointerValue<TW_MEMREF>(0x1234567887654321ull), 0x8001}; },
                          &CParaAnalyze::TwEventAnalyze),
         {"    pEvent    = <0x87654321>", "    TWMessage = [MSG_KV_TIMERRESET]"}},
        {"PendingXfers",
         Placed<TW_PENDINGXFERS>([](TW_PENDINGXFERS& p) { p = {0xFFFF, 0x80000002u}; },
                                 &CParaAnalyze::TwPendingXfersAnalyze),
         {"    Count = [-1]", "    EOJ   = [2147483650]"}},
        {"SetupMemXfer",
         Placed<TW_SETUPMEMXFER>([](TW_SETUPMEMXFER& s) { s = {16, 0xFFFFFFFFu, 0x80000000u}; },
                                 &CParaAnalyze::TwSetupMemXferAnalyze),
         {"    MaxBufSize = [4294967295]", "    Preferred  = [2147483648]"}},
        {"SetupFileXferNameWithoutNul",
         Placed<TW_SETUPFILEXFER>(
             [](TW_SETUPFILEXFER& s) {
                 memset(s.FileName, 'g', sizeof(s.FileName));
                 s.Format = 4;
                 s.VRefNum = -1;
             },
             &CParaAnalyze::TwSetupFileXferAnalyze),
         {"    FileName = [" + std::string(256, 'g') + "]", "    Format   = [TWFF_JFIF]", "    VRefNum  = [-1]"}},
        {"StatusMissingConditionCode",
         Placed<TW_STATUS>([](TW_STATUS& s) { s = {7, 0x1234}; }, &CParaAnalyze::TwStatusAnalyze),
         {"    ConditionCode = [ERROR!(7)]"}},
        {"UserInterface",
         Placed<TW_USERINTERFACE>(
             [](TW_USERINTERFACE& u) { u = {2, 0, PointerValue<TW_HANDLE>(0x00007FFF0BADF00Dull)}; },
             &CParaAnalyze::TwUserInterfaceAnalyze),
         {"    ShowUI  = [true]", "    hParent = <0x0badf00d>"}},
        {"CustomDsDataSignedLength",
         Placed<TW_CUSTOMDSDATA>([](TW_CUSTOMDSDATA& c) { c = {0xFFFFFFFEu, nullptr}; },
                                 &CParaAnalyze::TwCustomDsDataAnalyze),
         {"    InfoLength = [-2]"}},
        {"ImageInfo",
         Placed<TW_IMAGEINFO>(
             [](TW_IMAGEINFO& i) {
                 i = {Fix(300, 0x8000), Fix(-2, 0xC000), 2550, -3, 3, {8, 8, 8, 0, 0, 0, 0, -1}, 24, 1, -1, 0xFFFF};
             },
             &CParaAnalyze::TwImageInfoAnalyze),
         {"    YResolution      = [-1.250]", "    ImageLength      = [-3]", "    BitsPerSamples[] = {8,8,8,0,0,0,0,-1}",
          "    PixelType        = [ERROR!(-1)]", "    Compression      = [ERROR!(65535)]"}},
        {"ImageLayout",
         Placed<TW_IMAGELAYOUT>(
             [](TW_IMAGELAYOUT& l) { l = {{Fix(1), Fix(-2, 0xC000), Fix(8), Fix(11)}, 0xFFFFFFFFu, 2, 3}; },
             &CParaAnalyze::TwImageLayoutAnalyze),
         {"      Top    = [-1.250]", "    DocumentNumber = [4294967295]"}},
        {"ImageMemXfer",
         Placed<TW_IMAGEMEMXFER>(
             [](TW_IMAGEMEMXFER& m) {
                 m = {5, 0x80000000u, 2, 3, 4, 5, 6,
                      {0x11, 0xFFFFFFFFu, PointerValue<TW_MEMREF>(0x0000000300C0FFEEull)}};
             },
             &CParaAnalyze::TwImageMemXferAnalyze),
         {"    BytesPerRow  = [2147483648]", "      Length = [4294967295]", "      TheMem = <0x00c0ffee>"}},
        // NumInfos claims five entries; the one the structure holds is all that is read.
        {"ExtImageInfoFirstInfoOnly",
         Placed<TW_EXTIMAGEINFO>(
             [](TW_EXTIMAGEINFO& e) {
                 e.NumInfos = 5;
                 e.Info[0] = TW_INFO{0x1234, 12, 3, 8, 0xFFFFFFFFu};
             },
             &CParaAnalyze::TwExtImageInfoAnalyze),
         {"    NumInfos = [5]", kLinux ? "      InfoID   = [TWEI_SKEWWINDOWY3]" : "      InfoID   = [4660]",
          "      ItemType = [TWTY_STR255]", "      CondCode = [TWRC_INFONOTSUPPORTED]", "      Item     = [4294967295]"}},
        // Tables of 256 elements declared with one: only the first is read.
        {"GrayResponseFirstElementOnly",
         Placed<TW_GRAYRESPONSE>([](TW_GRAYRESPONSE& g) { g.Response[0] = TW_ELEMENT8{0, 10, 20, 255}; },
                                 &CParaAnalyze::TwGrayResponseAnalyze),
         {"      Channel3 = [255]"}},
        {"RgbResponseFirstElementOnly",
         Placed<TW_RGBRESPONSE>([](TW_RGBRESPONSE& g) { g.Response[0] = TW_ELEMENT8{128, 1, 2, 3}; },
                                &CParaAnalyze::TwRgbResponseAnalyze),
         {"      Index    = [128]"}},
        {"CallbackMessageBeyondTheTable",
         PlacedDat<TW_CALLBACK>(DAT_CALLBACK, MSG_REGISTER_CALLBACK, [](TW_CALLBACK& c) { c.Message = -1; }),
         {"    Message      = [ERROR!(65535)]"}},
        // The packed ABI does not align the item: it is read where it lies, and a native image's
        // pointer-sized handle shows its low 32 bits.
        {"XferGroupAtAnOddAddress",
         [] {
             alignas(8) unsigned char bytes[16] = {};
             const TW_UINT32 group = 0x01020304u;
             memcpy(bytes + 1, &group, sizeof group);
             return Render([&](CParaAnalyze& a) {
                 a.SetCall({DG_CONTROL, DAT_XFERGROUP, MSG_GET, reinterpret_cast<char*>(bytes + 1)});
                 a.DispatchDat();
             });
         },
         {"    Item = <0x01020304>"}},
        {"NativeXferHandleAtAnOddAddress",
         [] {
             alignas(8) unsigned char bytes[24] = {};
             const TW_HANDLE handle = PointerValue<TW_HANDLE>(0xAAAAAAAA0BADCAFEull);
             memcpy(bytes + 3, &handle, sizeof handle);
             return Render([&](CParaAnalyze& a) {
                 a.SetCall({DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, reinterpret_cast<char*>(bytes + 3)});
                 a.DispatchDat();
             });
         },
         {"    Item = <0x0badcafe>"}},
        // A null data pointer shows as such, its value as 0.
        {"XferGroupNullDataPointer",
         [] {
             return Render([](CParaAnalyze& a) {
                 a.ParaAnalyze(nullptr, nullptr, DG_CONTROL, DAT_XFERGROUP, MSG_GET, nullptr, TWRC_SUCCESS, a.Output());
             });
         },
         {"pData   = <0x00000000>", "    Item = <0x00000000>"}},
        {"NativeXferNullDataPointer",
         [] {
             return Render([](CParaAnalyze& a) {
                 a.SetCall({DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, nullptr});
                 a.DispatchDat();
             });
         },
         {"  TW_UINT32 = {", "    Item = <0x00000000>"}},
        {"KvAutoExposure",
         Placed<TWKV_AUTOEXPOSURE>(
             [](TWKV_AUTOEXPOSURE& s) {
                 s = {0x1234, -5, 10, 3000, -32768, TWKV_FT_REFLECTIVEDOCUMENT, 0xFFFF, Fix(-1, 32768), 65535};
             },
             &CParaAnalyze::TwKvAutoExposureAnalyze),
         {"    Handle       = <0x00001234>", "    Bottom       = [-32768]", "    PreScanGamma = [ERROR!(65535)]",
          "    ScreenGamma  = [-0.500]", "    GrayBalance  = [65535]"}},
        {"KvRgbMatrixExtremes",
         Placed<TWKV_RGBMATRIX>(
             [](TWKV_RGBMATRIX& s) {
                 s = {{Fix(-1, 32768), Fix(1, 32768), Fix(2), Fix(-3), Fix(4, 16384), Fix(-32768), Fix(32767, 65535),
                       Fix(0, 1), Fix(9)}};
             },
             &CParaAnalyze::TwKvRgbMatrixAnalyze),
         {"    ColorCoeff = {-0.500,1.500,2.000,-3.000,4.250,-32768.000,32768.000,0.000,9.000}"}},
        {"KvColorSmoothing",
         Placed<TWKV_COLORSMOOTHING>(
             [](TWKV_COLORSMOOTHING& s) { s = {0xdeadbeef, 1, 2, 3, 4, 5, 6, 7, 0xFFFFFFFF, 0x80000000}; },
             &CParaAnalyze::TwKvColorSmoothingAnalyze),
         {"    Handle       = <0xdeadbeef>", "    BottomY      = [4294967295]", "    Reserved     = [2147483648]"}},
        {"KvSkewInfo",
         Placed<TWKV_LOCATIONDATA>(
             [](TWKV_LOCATIONDATA& s) { s = {-24, 11, 12, 13, 14, 15, 16, 0xFFFFFFFF, 18, Fix(-2, 0x8000)}; },
             &CParaAnalyze::TwKvSkewInfoAnalyze),
         {"    BitsPerPixel = [-24]", "    xTangent     = [4294967295]", "    Theta        = [-1.500]"}},
        {"KvSettingFrame",
         Placed<TWKV_SETTINGFRAME>([](TWKV_SETTINGFRAME& s) { s = {65535, 4}; },
                                   &CParaAnalyze::TwKvSettingFrameAnalyze),
         {"    NumFrame    = [65535]"}},
        {"KvUsmInfo",
         Placed<TWKV_USMINFO>([](TWKV_USMINFO& s) { s = {1200, 2, 7, {150, -2, 3}, {{1, 2, 3, 4}, {5, 6, 65535, 8}, 9}}; },
                              &CParaAnalyze::TwKvUsmInfoAnalyze),
         {"      Radius    = [-2]", "        HighlightH = [65535]"}},
        // Flags are true for any non-zero 16 bits; identifiers and masks print in hexadecimal.
        {"KvHardwareInfo",
         Placed<TWKV_HARDWAREINFO>(
             [](TWKV_HARDWAREINFO& s) {
                 s.ModelID = 0x1A;
                 s.MaxPixelofWidth = 0xFFFFFFFF;
                 s.BitDepth = 8;
                 s.InterfaceSupport = 0xFFFF;
                 s.DocumentModeSupport = 0x100;
                 s.HalftoneSupport = 0xFFFF;
                 s.OptionSupport = 0x12;
                 s.FocusArea[1] = 4000000000u;
             },
             &CParaAnalyze::TwHardwareInfoAnalyze),
         {"    ModelID                = [0x1a]", "    MaxPixelofWidth        = [4294967295]",
          "    BitDepth               = [0x08]", "    InterfaceSupport       = [65535]",
          "    DocumentModeSupport    = [true]", "    HalftoneSupport        = [true]",
          "    OptionSupport          = [0x0012]", "    FocusArea[1]           = [4000000000]"}},
        {"KvHardwareInfoFlagReadsItsOwn16Bits",
         Placed<TWKV_HARDWAREINFO>(
             [](TWKV_HARDWAREINFO& s) {
                 s.ConnectInterfaceType = 5;
                 memset(s.Reserved, 0xFF, sizeof(s.Reserved));
             },
             &CParaAnalyze::TwHardwareInfoAnalyze),
         {"    ConnectInterfaceType   = [5]", "    StandAloneModeSupport  = [false]",
          "    FullAutoModeSupport    = [false]"}},
        {"KvHardwareInfoNamesWithoutNul",
         Placed<TWKV_HARDWAREINFO>(
             [](TWKV_HARDWAREINFO& s) {
                 memset(s.ProfileNameFB, 'F', sizeof(s.ProfileNameFB));
                 memset(s.ProfileNameTPU, 'T', sizeof(s.ProfileNameTPU));
                 memset(s.ROMVersion, 'R', sizeof(s.ROMVersion));
             },
             &CParaAnalyze::TwHardwareInfoAnalyze),
         {"    ProfileNameFB          = [" + std::string(34, 'F') + "]",
          "    ProfileNameTPU         = [" + std::string(34, 'T') + "]",
          "    ROMVersion             = [" + std::string(32, 'R') + "]", "  }"}},
        Pascal("PascalEmpty", "ignored", 0, ""),
        Pascal("PascalLengthShorterThanTheCharacters", "ScannerXYZ", 7, "Scanner"),
        Pascal("PascalFullField", p33, 33, p33),
        Pascal("PascalLengthOnePastTheField", p33, 34, p33),
        Pascal("PascalLength255", p33, 255, p33),
    };
    if (!kLinux) return cases;
    // The linux build renders the TWAIN 2 structures.
    const std::vector<EdgeCase> linux = {
        {"DeviceEvent",
         PlacedDat<TW_DEVICEEVENT>(DAT_DEVICEEVENT, MSG_GET,
                                   [](TW_DEVICEEVENT& e) {
                                       e.Event = 0x8001;
                                       memset(e.DeviceName, 'D', sizeof e.DeviceName);
                                       e.BatteryMinutes = 0xFFFFFFFFu;
                                       e.BatteryPercentage = -2;
                                       e.PowerSupply = -1;
                                       e.YResolution = Fix(-1, 0x8000);
                                       e.FlashUsed2 = 5;
                                       e.TimeBetweenCaptures = 0x80000000u;
                                   }),
         {"    Event                  = [ERROR!(32769)]", "    DeviceName             = [" + std::string(256, 'D') + "]",
          "    BatteryMinutes         = [4294967295]", "    BatteryPercentage      = [-2]",
          "    PowerSupply            = [ERROR!(-1)]", "    YResolution            = [-0.500]",
          "    FlashUsed2             = [ERROR!(5)]", "    TimeBetweenCaptures    = [2147483648]"}},
        {"FileSystem",
         PlacedDat<TW_FILESYSTEM>(DAT_FILESYSTEM, MSG_GETINFO,
                                  [](TW_FILESYSTEM& f) {
                                      f.FileType = 9;
                                      memset(f.ModifiedTimeDate, '9', sizeof f.ModifiedTimeDate);
                                      f.FreeSpace = 0xFFFFFFFFu;
                                      f.NewImageSize = -1;
                                      f.DeviceGroupMask = DG_CONTROL | DG_IMAGE;
                                      memset(f.Reserved, 'R', sizeof f.Reserved);
                                  }),
         {"    FileType         = [ERROR!(9)]", "    ModifiedTimeDate = [" + std::string(34, '9') + "]",
          "    FreeSpace        = [4294967295]", "    NewImageSize     = [-1]", "    DeviceGroupMask  = [0x3]"}},
        {"PassThru",
         PlacedDat<TW_PASSTHRU>(DAT_PASSTHRU, MSG_PASSTHRU,
                                [](TW_PASSTHRU& p) {
                                    p.Direction = -3;
                                    p.DataBytes = 0xFFFFFFFFu;
                                }),
         {"    Direction       = [ERROR!(-3)]", "    DataBytes       = [4294967295]"}},
        {"Metrics",
         PlacedDat<TW_METRICS>(DAT_METRICS, MSG_GET, [](TW_METRICS& m) { m = {sizeof(TW_METRICS), 7, 0xFFFFFFFFu}; }),
         {"    SheetCount = [4294967295]"}},
        // The handles lie at unaligned offsets in the packed layout.
        {"TwainDirect",
         PlacedDat<TW_TWAINDIRECT>(DAT_TWAINDIRECT, MSG_SETTASK,
                                   [](TW_TWAINDIRECT& t) {
                                       t.CommunicationManager = 0xFFFF;
                                       t.Send = PointerValue<TW_HANDLE>(0x007FFF00AABBCCDDull);
                                       t.ReceiveSize = 0x80000001u;
                                   }),
         {"    CommunicationManager = [65535]", "    Send                 = <0xaabbccdd>",
          "    ReceiveSize          = [2147483649]"}},
        {"InfoIdBeyondTheTable",
         Placed<TW_INFO>([](TW_INFO& i) { i = {0x8001, TWTY_STR1024, 0, TWRC_INFONOTSUPPORTED, 0}; },
                         &CParaAnalyze::TwInfoAnalyze),
         {"      InfoID   = [ERROR!(32769)]", "      ItemType = [TWTY_STR1024]"}},
    };
    cases.insert(cases.end(), linux.begin(), linux.end());
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Structures, StructureEdge, testing::ValuesIn(Cases()),
                         [](const testing::TestParamInfo<EdgeCase>& info) { return std::string(info.param.name); });

TEST(StructureNull, EveryFormatterRendersNothing) {
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
                  a.TwEntryPointAnalyze(nullptr);
                  a.TwCallbackAnalyze(nullptr);
                  a.TwCallback2Analyze(nullptr);
                  a.TwDeviceEventAnalyze(nullptr);
                  a.TwFileSystemAnalyze(nullptr);
                  a.TwPassThruAnalyze(nullptr);
                  a.TwMetricsAnalyze(nullptr);
                  a.TwTwainDirectAnalyze(nullptr);
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
                  a.TwOneValueAnalyze(ICAP_UNITS, nullptr);
                  a.TwRangeAnalyze(ICAP_UNITS, nullptr);
                  a.TwEnumerationAnalyze(ICAP_UNITS, nullptr);
                  a.TwArrayAnalyze(ICAP_UNITS, nullptr);
                  a.TwCapabilityAnalyze(nullptr);
                  a.TwContainerAnalyaze(nullptr);
                  a.TwCapExtAnalyze(nullptr);
                  // Through the dispatch: a callback without its structure, and DAT_STATUSUTF8,
                  // which neither build renders.
                  char status[64] = {};
                  a.SetCall({DG_CONTROL, DAT_CALLBACK2, MSG_INVOKE_CALLBACK, nullptr});
                  a.DispatchDat();
                  a.SetCall({DG_CONTROL, DAT_STATUSUTF8, MSG_GET, status});
                  a.DispatchDat();
              }),
              "");
}

// ---- the two deepest renderings, whole ------------------------------------------------------------

// The tables' pointers lie above 4 GiB and are only printed, never followed.
TW_MEMORY Table(TW_UINT32 flags, TW_UINT32 length, uint64_t address) {
    return TW_MEMORY{flags, length, PointerValue<TW_MEMREF>(address)};
}

TEST(StructureGolden, JpegCompression) {
    TW_JPEGCOMPRESSION j{};
    j.ColorSpace = 6;
    j.SubSampling = 0x80221111u;
    j.NumComponents = 3;
    j.RestartFrequency = 0xFFFF;
    const TW_UINT16 quantMap[4] = {0, 1, 1, 1};
    memcpy(j.QuantMap, quantMap, sizeof(quantMap));
    for (int i = 0; i < 4; ++i) j.QuantTable[i] = Table(0x10u + i, 64u + i, 0x10000A000ull + 0x100 * i);
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
