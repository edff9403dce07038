// The TWAIN 2 control structures byte for byte, which DATs render them in which build, and the
// value behind the data pointer of DAT_XFERGROUP and DAT_IMAGENATIVEXFER.
#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

#if defined(TRACEWELL_ABI_LINUX)
constexpr bool kLinux = true;
#else
constexpr bool kLinux = false;
#endif

// A pointer value that is only printed, never followed.
template <typename T>
T PointerValue(uint64_t bits) {
    return reinterpret_cast<T>(static_cast<uintptr_t>(bits));
}

// A callback's reference value in the ABI's type, a pointer (macos) or 32 bits (linux), from its
// low bytes.
TW_CALLBACK_REFCON RefCon(uintptr_t bits) {
    TW_CALLBACK_REFCON refCon;
    memcpy(&refCon, &bits, sizeof refCon);
    return refCon;
}

// The result of the DAT dispatch alone for a triplet whose data pointer is `data`.
std::string Dispatch(TW_UINT16 dat, TW_UINT16 msg, void* data) {
    return Render([&](CParaAnalyze& a) {
        a.SetCall({DG_CONTROL, dat, msg, static_cast<char*>(data)});
        a.DispatchDat();
    });
}

struct FormatCase {
    const char* name;
    std::function<std::string()> render;
    std::string expected;
};

void PrintTo(const FormatCase& c, std::ostream* os) { *os << c.name; }

class Twain2Text : public testing::TestWithParam<FormatCase> {};

TEST_P(Twain2Text, RendersExactly) { EXPECT_EQ(GetParam().render(), GetParam().expected); }

std::string CaseName(const testing::TestParamInfo<FormatCase>& info) { return info.param.name; }

// ---- both builds: the callbacks that carry the source's messages, the value behind the pointer

std::vector<FormatCase> BothAbiCases() {
    return {
        // The reference value is a pointer in the macOS headers and 32 bits in the Linux ones; both
        // print their low 32 bits.
        {"CallbackThroughTheDispatch",
         [] {
             TW_CALLBACK c{};
             c.CallBackProc = PointerValue<TW_MEMREF>(0x00007F00DEADBEEFull);
             c.RefCon = RefCon(0x56780000);
             c.Message = static_cast<TW_INT16>(MSG_XFERREADY);
             return Dispatch(DAT_CALLBACK, MSG_INVOKE_CALLBACK, &c);
         },
         Crlf({"  TW_CALLBACK = {", "    CallBackProc = <0xdeadbeef>", "    RefCon       = <0x56780000>",
               "    Message      = [MSG_XFERREADY]", "  }"})},
        {"Callback2PointerSizedRefCon",
         [] {
             TW_CALLBACK2 c{};
             c.CallBackProc = PointerValue<TW_MEMREF>(0x12345678ull);
             c.RefCon = static_cast<uintptr_t>(0xFFFFFFFF00000001ull);
             c.Message = static_cast<TW_INT16>(MSG_CLOSEDSREQ);
             return Dispatch(DAT_CALLBACK2, MSG_INVOKE_CALLBACK, &c);
         },
         Crlf({"  TW_CALLBACK2 = {", "    CallBackProc = <0x12345678>", "    RefCon       = <0x00000001>",
               "    Message      = [MSG_CLOSEDSREQ]", "  }"})},
        {"CallbackNullPointer", [] { return Dispatch(DAT_CALLBACK2, MSG_INVOKE_CALLBACK, nullptr); }, ""},
        // The packed ABI does not align the item: it is read where it lies.
        {"XferGroupAtAnOddAddress",
         [] {
             alignas(8) unsigned char bytes[16] = {};
             const TW_UINT32 group = 0x01020304u;
             memcpy(bytes + 1, &group, sizeof group);
             return Dispatch(DAT_XFERGROUP, MSG_GET, bytes + 1);
         },
         Crlf({"  TW_UINT32 = {", "    Item = <0x01020304>", "  }"})},
        // The handle the source stored is pointer-sized; its low 32 bits print.
        {"NativeXferHandleAtAnOddAddress",
         [] {
             alignas(8) unsigned char bytes[24] = {};
             const TW_HANDLE handle = PointerValue<TW_HANDLE>(0xAAAAAAAA0BADCAFEull);
             memcpy(bytes + 3, &handle, sizeof handle);
             return Dispatch(DAT_IMAGENATIVEXFER, MSG_GET, bytes + 3);
         },
         Crlf({"  TW_UINT32 = {", "    Item = <0x0badcafe>", "  }"})},
        {"NativeXferNullDataPointer", [] { return Dispatch(DAT_IMAGENATIVEXFER, MSG_GET, nullptr); },
         Crlf({"  TW_UINT32 = {", "    Item = <0x00000000>", "  }"})},
    };
}

INSTANTIATE_TEST_SUITE_P(BothAbis, Twain2Text, testing::ValuesIn(BothAbiCases()), CaseName);

// The other TWAIN 2 DATs render a structure in the linux build only; DAT_STATUSUTF8 in neither.
TEST(Twain2Dispatch, WhichDatsRenderInWhichBuild) {
    TW_DEVICEEVENT event{};
    TW_FILESYSTEM fileSystem{};
    TW_PASSTHRU passThru{};
    TW_METRICS metrics{};
    TW_TWAINDIRECT direct{};
    TW_ENTRYPOINT entry{};
    char status[64] = {};
    struct {
        TW_UINT16 dat;
        void* data;
        const char* header;
    } const cases[] = {
        {DAT_DEVICEEVENT, &event, "  TW_DEVICEEVENT = {\r\n"},   {DAT_FILESYSTEM, &fileSystem, "  TW_FILESYSTEM = {\r\n"},
        {DAT_PASSTHRU, &passThru, "  TW_PASSTHRU = {\r\n"},      {DAT_METRICS, &metrics, "  TW_METRICS = {\r\n"},
        {DAT_TWAINDIRECT, &direct, "  TW_TWAINDIRECT = {\r\n"},  {DAT_ENTRYPOINT, &entry, "  TW_ENTRYPOINT = {\r\n"},
        {DAT_STATUSUTF8, status, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.dat);
        const std::string text = Dispatch(c.dat, MSG_GET, c.data);
        if (kLinux && c.header != nullptr) {
            EXPECT_EQ(text.rfind(c.header, 0), 0u) << text;
        } else {
            EXPECT_EQ(text, "");
        }
    }
}

// Values beyond the tables keep their number (a negative one its sign); each case shows the
// whole lines it must hold.
TEST(Twain2Fallbacks, ValuesBeyondTheTablesShowTheirNumber) {
    struct {
        const char* what;
        std::function<std::string()> render;
        std::vector<std::string> lines;
    } const cases[] = {
        {"callback message", [] {
             TW_CALLBACK c{};
             c.Message = -1;
             return Dispatch(DAT_CALLBACK, MSG_REGISTER_CALLBACK, &c);
         }, {"    Message      = [ERROR!(65535)]"}},
#if defined(TRACEWELL_ABI_LINUX)
        {"device event", [] {
             TW_DEVICEEVENT e{};
             e.Event = 0x8001;
             e.PowerSupply = -1;
             e.FlashUsed2 = 5;
             return Dispatch(DAT_DEVICEEVENT, MSG_GET, &e);
         }, {"    Event                  = [ERROR!(32769)]", "    PowerSupply            = [ERROR!(-1)]",
             "    FlashUsed2             = [ERROR!(5)]"}},
        {"file type", [] {
             TW_FILESYSTEM f{};
             f.FileType = 9;
             return Dispatch(DAT_FILESYSTEM, MSG_GETINFO, &f);
         }, {"    FileType         = [ERROR!(9)]"}},
        {"pass-through direction", [] {
             TW_PASSTHRU p{};
             p.Direction = -3;
             return Dispatch(DAT_PASSTHRU, MSG_PASSTHRU, &p);
         }, {"    Direction       = [ERROR!(-3)]"}},
        {"image information", [] {
             TW_INFO i{0x8001, TWTY_STR1024, 0, TWRC_INFONOTSUPPORTED, 0};
             return Render([&](CParaAnalyze& a) { a.TwInfoAnalyze(&i); });
         }, {"      InfoID   = [ERROR!(32769)]", "      ItemType = [TWTY_STR1024]"}},
#endif
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string text = "\r\n" + c.render();
        for (const std::string& line : c.lines) EXPECT_NE(text.find("\r\n" + line + "\r\n"), std::string::npos) << text;
    }
}

// ---- the linux build: every new structure field by field

#if defined(TRACEWELL_ABI_LINUX)

TW_FIX32 Fix(TW_INT16 whole, TW_UINT16 frac) { return TW_FIX32{whole, frac}; }

std::vector<FormatCase> LinuxCases() {
    return {
        {"EntryPoint",
         [] {
             TW_ENTRYPOINT e{};
             e.Size = sizeof(TW_ENTRYPOINT);
             e.DSM_Entry = PointerValue<DSMENTRYPROC>(0x00007F0011223344ull);
             e.DSM_MemAllocate = PointerValue<DSM_MEMALLOCATE>(0x55667788ull);
             e.DSM_MemFree = PointerValue<DSM_MEMFREE>(0x1ull);
             e.DSM_MemLock = PointerValue<DSM_MEMLOCK>(0xFFFFFFFFFFFFFFFFull);
             e.DSM_MemUnlock = nullptr;
             return Dispatch(DAT_ENTRYPOINT, MSG_SET, &e);
         },
         Crlf({"  TW_ENTRYPOINT = {", "    Size            = [44]", "    DSM_Entry       = <0x11223344>",
               "    DSM_MemAllocate = <0x55667788>", "    DSM_MemFree     = <0x00000001>",
               "    DSM_MemLock     = <0xffffffff>", "    DSM_MemUnlock   = <0x00000000>", "  }"})},
        // The device name fills its field to the last byte: the fields after it must not show in it.
        {"DeviceEventFullNameAndSignedFields",
         [] {
             TW_DEVICEEVENT e{};
             e.Event = TWDE_PAPERJAM;
             memset(e.DeviceName, 'D', sizeof e.DeviceName);
             e.BatteryMinutes = 0xFFFFFFFFu;
             e.BatteryPercentage = -2;
             e.PowerSupply = TWPS_BATTERY;
             e.XResolution = Fix(300, 0x8000);
             e.YResolution = Fix(-1, 0x8000);
             e.FlashUsed2 = TWFL_REDEYE;
             e.AutomaticCapture = 3;
             e.TimeBeforeFirstCapture = 1000;
             e.TimeBetweenCaptures = 0x80000000u;
             return Dispatch(DAT_DEVICEEVENT, MSG_GET, &e);
         },
         Crlf({"  TW_DEVICEEVENT = {", "    Event                  = [TWDE_PAPERJAM]",
               "    DeviceName             = [" + std::string(256, 'D') + "]",
               "    BatteryMinutes         = [4294967295]", "    BatteryPercentage      = [-2]",
               "    PowerSupply            = [TWPS_BATTERY]", "    XResolution            = [300.500]",
               "    YResolution            = [-0.500]", "    FlashUsed2             = [TWFL_REDEYE]",
               "    AutomaticCapture       = [3]", "    TimeBeforeFirstCapture = [1000]",
               "    TimeBetweenCaptures    = [2147483648]", "  }"})},
        // The reserved bytes at the end are never shown; a date without its NUL stops at its field.
        {"FileSystem",
         [] {
             TW_FILESYSTEM f{};
             strcpy(f.InputName, "/DCIM/100");
             f.Context = PointerValue<TW_MEMREF>(0x0000001234567890ull);
             f.Recursive = 1;
             f.FileType = TWFY_IMAGE;
             f.Size = 123456;
             strcpy(f.CreateTimeDate, "2026/12/07 00:50:00.000");
             memset(f.ModifiedTimeDate, '9', sizeof f.ModifiedTimeDate);
             f.FreeSpace = 0xFFFFFFFFu;
             f.NewImageSize = -1;
             f.NumberOfFiles = 12;
             f.DeviceGroupMask = DG_CONTROL | DG_IMAGE;
             memset(f.Reserved, 'R', sizeof f.Reserved);
             return Dispatch(DAT_FILESYSTEM, MSG_GETINFO, &f);
         },
         Crlf({"  TW_FILESYSTEM = {", "    InputName        = [/DCIM/100]", "    OutputName       = []",
               "    Context          = <0x34567890>", "    Recursive        = [1]",
               "    FileType         = [TWFY_IMAGE]", "    Size             = [123456]",
               "    CreateTimeDate   = [2026/12/07 00:50:00.000]",
               "    ModifiedTimeDate = [" + std::string(34, '9') + "]", "    FreeSpace        = [4294967295]",
               "    NewImageSize     = [-1]", "    NumberOfFiles    = [12]", "    NumberOfSnippets = [0]",
               "    DeviceGroupMask  = [0x3]", "  }"})},
        {"PassThru",
         [] {
             TW_PASSTHRU p{};
             p.pCommand = PointerValue<TW_MEMREF>(0x00007FFF00C0FFEEull);
             p.CommandBytes = 16;
             p.Direction = TWDR_SET;
             p.pData = PointerValue<TW_MEMREF>(0xD00DFEEDull);
             p.DataBytes = 0xFFFFFFFFu;
             p.DataBytesXfered = 100;
             return Dispatch(DAT_PASSTHRU, MSG_PASSTHRU, &p);
         },
         Crlf({"  TW_PASSTHRU = {", "    pCommand        = <0x00c0ffee>", "    CommandBytes    = [16]",
               "    Direction       = [TWDR_SET]", "    pData           = <0xd00dfeed>",
               "    DataBytes       = [4294967295]", "    DataBytesXfered = [100]", "  }"})},
        {"Metrics",
         [] {
             TW_METRICS m{sizeof(TW_METRICS), 7, 0xFFFFFFFFu};
             return Dispatch(DAT_METRICS, MSG_GET, &m);
         },
         Crlf({"  TW_METRICS = {", "    SizeOf     = [12]", "    ImageCount = [7]", "    SheetCount = [4294967295]",
               "  }"})},
        // The handles lie at unaligned offsets in the packed layout.
        {"TwainDirect",
         [] {
             TW_TWAINDIRECT t{};
             t.SizeOf = sizeof(TW_TWAINDIRECT);
             t.CommunicationManager = 0xFFFF;
             t.Send = PointerValue<TW_HANDLE>(0x007FFF00AABBCCDDull);
             t.SendSize = 2048;
             t.Receive = PointerValue<TW_HANDLE>(0x10ull);
             t.ReceiveSize = 0x80000001u;
             return Dispatch(DAT_TWAINDIRECT, MSG_SETTASK, &t);
         },
         Crlf({"  TW_TWAINDIRECT = {", "    SizeOf               = [30]", "    CommunicationManager = [65535]",
               "    Send                 = <0xaabbccdd>", "    SendSize             = [2048]",
               "    Receive              = <0x00000010>", "    ReceiveSize          = [2147483649]", "  }"})},
        // Null pointers render nothing.
        {"NullPointers",
         [] {
             return Render([](CParaAnalyze& a) {
                 a.TwEntryPointAnalyze(nullptr);
                 a.TwCallbackAnalyze(nullptr);
                 a.TwCallback2Analyze(nullptr);
                 a.TwDeviceEventAnalyze(nullptr);
                 a.TwFileSystemAnalyze(nullptr);
                 a.TwPassThruAnalyze(nullptr);
                 a.TwMetricsAnalyze(nullptr);
                 a.TwTwainDirectAnalyze(nullptr);
             });
         },
         ""},
        // The extended image information is named by its TWEI_ identifier.
        {"InfoIdNamed",
         [] {
             TW_EXTIMAGEINFO e{};
             e.NumInfos = 2;
             e.Info[0] = TW_INFO{TWEI_BARCODETYPE, TWTY_UINT32, 1, TWRC_SUCCESS, 7};
             return Dispatch(DAT_EXTIMAGEINFO, MSG_GET, &e);
         },
         Crlf({"  TW_EXTIMAGEINFO = {", "    NumInfos = [2]", "    Info     =", "    TW_INFO = {",
               "      InfoID   = [TWEI_BARCODETYPE]", "      ItemType = [TWTY_UINT32]", "      NumItems = [1]",
               "      CondCode = [TWRC_SUCCESS]", "      Item     = [7]", "    }", "  }"})},
    };
}

INSTANTIATE_TEST_SUITE_P(Linux, Twain2Text, testing::ValuesIn(LinuxCases()), CaseName);

#endif

}  // namespace
