// TWAIN types and core identifiers as application, Source Manager and source exchange them,
// in the ABIs Tracewell builds for: "macos" (natural alignment, 8-byte Id, handles that point to a
// master pointer), "linux" (2-byte packing, 4-byte Id, handles that are addresses), and "win64" and
// "win32" (2-byte packing, 4-byte Id, GlobalAlloc handles, __stdcall entry points).
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(TRACEWELL_ABI_MACOS) + defined(TRACEWELL_ABI_LINUX) + defined(TRACEWELL_ABI_WIN64) + \
        defined(TRACEWELL_ABI_WIN32) != 1
#error "define exactly one of TRACEWELL_ABI_MACOS, TRACEWELL_ABI_LINUX, TRACEWELL_ABI_WIN64 and TRACEWELL_ABI_WIN32"
#endif

// The macos build is the reference: its trace stays the original's byte for byte. Every other
// build reads the TWAIN 2.5 headers and writes what the trace adds to the original. This is the
// one question code asks to tell the two apart.
#if defined(TRACEWELL_ABI_MACOS)
#define TRACEWELL_ABI_REFERENCE 1
#else
#define TRACEWELL_ABI_REFERENCE 0
#endif

#if defined(TRACEWELL_ABI_WIN64) || defined(TRACEWELL_ABI_WIN32)
#define TRACEWELL_ABI_WINDOWS 1
#define TW_CALLINGCONV __stdcall
#else
#define TRACEWELL_ABI_WINDOWS 0
#define TW_CALLINGCONV
#endif

typedef int8_t TW_INT8;
typedef uint8_t TW_UINT8;
typedef int16_t TW_INT16;
typedef uint16_t TW_UINT16;
typedef int32_t TW_INT32;
typedef uint32_t TW_UINT32;
typedef uint16_t TW_BOOL;
typedef char TW_STR32[34];
typedef char TW_STR64[66];
typedef char TW_STR128[130];
typedef char TW_STR255[256];
typedef char TW_STR1024[1026];
typedef wchar_t TW_UNI512[512];
typedef void* TW_MEMREF;

#if defined(TRACEWELL_ABI_MACOS)
typedef char** TW_HANDLE;  // points to the master pointer that holds the block's address
typedef int64_t TW_ID;
#else
typedef void* TW_HANDLE;   // the block's address itself, or a GlobalAlloc handle on Windows
typedef uint32_t TW_ID;
#endif

// Vendor structures have one layout in every ABI: every field sits at its natural offset.
struct TW_FIX32 {
    TW_INT16 Whole;
    TW_UINT16 Frac;
};

#if !defined(TRACEWELL_ABI_MACOS)
#pragma pack(push, 2)
#endif

struct TW_VERSION {
    TW_UINT16 MajorNum;
    TW_UINT16 MinorNum;
    TW_UINT16 Language;
    TW_UINT16 Country;
    TW_STR32 Info;
};

struct TW_IDENTITY {
    TW_ID Id;
    TW_VERSION Version;
    TW_UINT16 ProtocolMajor;
    TW_UINT16 ProtocolMinor;
    TW_UINT32 SupportedGroups;
    TW_STR32 Manufacturer;
    TW_STR32 ProductFamily;
    TW_STR32 ProductName;
};

struct TW_CAPABILITY {
    TW_UINT16 Cap;
    TW_UINT16 ConType;
    TW_HANDLE hContainer;
};

struct TW_CAPEXT {
    TW_UINT16 Cap;
    TW_UINT16 Properties;
};

struct TW_ONEVALUE {
    TW_UINT16 ItemType;
    TW_UINT32 Item;
};

struct TW_RANGE {
    TW_UINT16 ItemType;
    TW_UINT32 MinValue;
    TW_UINT32 MaxValue;
    TW_UINT32 StepSize;
    TW_UINT32 DefaultValue;
    TW_UINT32 CurrentValue;
};

struct TW_ENUMERATION {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT32 CurrentIndex;
    TW_UINT32 DefaultIndex;
    TW_UINT8 ItemList[1];
};

struct TW_ARRAY {
    TW_UINT16 ItemType;
    TW_UINT32 NumItems;
    TW_UINT8 ItemList[1];
};

struct TW_EVENT {
    TW_MEMREF pEvent;
    TW_UINT16 TWMessage;
};

struct TW_PENDINGXFERS {
    TW_UINT16 Count;
    TW_UINT32 EOJ;
};

struct TW_SETUPMEMXFER {
    TW_UINT32 MinBufSize;
    TW_UINT32 MaxBufSize;
    TW_UINT32 Preferred;
};

struct TW_SETUPFILEXFER {
    TW_STR255 FileName;
    TW_UINT16 Format;
    TW_INT16 VRefNum;
};

struct TW_STATUS {
    TW_UINT16 ConditionCode;
    TW_UINT16 Reserved;
};

struct TW_USERINTERFACE {
    TW_BOOL ShowUI;
    TW_BOOL ModalUI;
    TW_HANDLE hParent;
};

struct TW_CUSTOMDSDATA {
    TW_UINT32 InfoLength;
    TW_HANDLE hData;
};

struct TW_MEMORY {
    TW_UINT32 Flags;
    TW_UINT32 Length;
    TW_MEMREF TheMem;
};

struct TW_FRAME {
    TW_FIX32 Left;
    TW_FIX32 Top;
    TW_FIX32 Right;
    TW_FIX32 Bottom;
};

struct TW_IMAGEINFO {
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_INT32 ImageWidth;
    TW_INT32 ImageLength;
    TW_INT16 SamplesPerPixel;
    TW_INT16 BitsPerSample[8];
    TW_INT16 BitsPerPixel;
    TW_BOOL Planar;
    TW_INT16 PixelType;
    TW_UINT16 Compression;
};

struct TW_IMAGELAYOUT {
    TW_FRAME Frame;
    TW_UINT32 DocumentNumber;
    TW_UINT32 PageNumber;
    TW_UINT32 FrameNumber;
};

struct TW_IMAGEMEMXFER {
    TW_UINT16 Compression;
    TW_UINT32 BytesPerRow;
    TW_UINT32 Columns;
    TW_UINT32 Rows;
    TW_UINT32 XOffset;
    TW_UINT32 YOffset;
    TW_UINT32 BytesWritten;
    TW_MEMORY Memory;
};

struct TW_JPEGCOMPRESSION {
    TW_UINT16 ColorSpace;
    TW_UINT32 SubSampling;
    TW_UINT16 NumComponents;
    TW_UINT16 RestartFrequency;
    TW_UINT16 QuantMap[4];
    TW_MEMORY QuantTable[4];
    TW_UINT16 HuffmanMap[4];
    TW_MEMORY HuffmanDC[2];
    TW_MEMORY HuffmanAC[2];
};

struct TW_ELEMENT8 {
    TW_UINT8 Index;
    TW_UINT8 Channel1;
    TW_UINT8 Channel2;
    TW_UINT8 Channel3;
};

struct TW_PALETTE8 {
    TW_UINT16 NumColors;
    TW_UINT16 PaletteType;
    TW_ELEMENT8 Colors[256];
};

struct TW_INFO {
    TW_UINT16 InfoID;
    TW_UINT16 ItemType;
    TW_UINT16 NumItems;
    TW_UINT16 CondCode;
    TW_UINT32 Item;
};

struct TW_EXTIMAGEINFO {
    TW_UINT32 NumInfos;
    TW_INFO Info[1];
};

struct TW_CIEPOINT {
    TW_FIX32 X;
    TW_FIX32 Y;
    TW_FIX32 Z;
};

struct TW_DECODEFUNCTION {
    TW_FIX32 StartIn;
    TW_FIX32 BreakIn;
    TW_FIX32 EndIn;
    TW_FIX32 StartOut;
    TW_FIX32 BreakOut;
    TW_FIX32 EndOut;
    TW_FIX32 Gamma;
    TW_FIX32 SampleCount;
};

struct TW_TRANSFORMSTAGE {
    TW_DECODEFUNCTION Decode[3];
    TW_FIX32 Mix[3][3];
};

struct TW_CIECOLOR {
    TW_UINT16 ColorSpace;
    TW_INT16 LowEndian;
    TW_INT16 DeviceDependent;
    TW_INT32 VersionNumber;
    TW_TRANSFORMSTAGE StageABC;
    TW_TRANSFORMSTAGE StageLMN;
    TW_CIEPOINT WhitePoint;
    TW_CIEPOINT BlackPoint;
    TW_CIEPOINT WhitePaper;
    TW_CIEPOINT BlackInk;
    TW_FIX32 Samples[1];
};

struct TW_GRAYRESPONSE {
    TW_ELEMENT8 Response[1];
};

struct TW_RGBRESPONSE {
    TW_ELEMENT8 Response[1];
};

// TWAIN 2: the Source Manager's entry points, which it hands a source with
// DG_CONTROL/DAT_ENTRYPOINT/MSG_SET; the source sends its messages to the application through
// DSM_Entry.
typedef TW_UINT16(TW_CALLINGCONV* DSMENTRYPROC)(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG,
                                                TW_UINT16 DAT, TW_UINT16 MSG, TW_MEMREF pData);
typedef TW_HANDLE(TW_CALLINGCONV* DSM_MEMALLOCATE)(TW_UINT32 size);
typedef void(TW_CALLINGCONV* DSM_MEMFREE)(TW_HANDLE handle);
typedef TW_MEMREF(TW_CALLINGCONV* DSM_MEMLOCK)(TW_HANDLE handle);
typedef void(TW_CALLINGCONV* DSM_MEMUNLOCK)(TW_HANDLE handle);

struct TW_ENTRYPOINT {
    TW_UINT32 Size;
    DSMENTRYPROC DSM_Entry;
    DSM_MEMALLOCATE DSM_MemAllocate;
    DSM_MEMFREE DSM_MemFree;
    DSM_MEMLOCK DSM_MemLock;
    DSM_MEMUNLOCK DSM_MemUnlock;
};

#if defined(TRACEWELL_ABI_MACOS)
typedef TW_MEMREF TW_CALLBACK_REFCON;  // pointer-sized in the macOS headers
#else
typedef TW_UINT32 TW_CALLBACK_REFCON;
#endif

struct TW_CALLBACK {
    TW_MEMREF CallBackProc;
    TW_CALLBACK_REFCON RefCon;
    TW_INT16 Message;
};

struct TW_CALLBACK2 {
    TW_MEMREF CallBackProc;
    uintptr_t RefCon;
    TW_INT16 Message;
};

// TWAIN 2 control structures: device events, file systems, pass-through commands, metrics and
// TWAIN Direct tasks.
struct TW_DEVICEEVENT {
    TW_UINT32 Event;
    TW_STR255 DeviceName;
    TW_UINT32 BatteryMinutes;
    TW_INT16 BatteryPercentage;
    TW_INT32 PowerSupply;
    TW_FIX32 XResolution;
    TW_FIX32 YResolution;
    TW_UINT32 FlashUsed2;
    TW_UINT32 AutomaticCapture;
    TW_UINT32 TimeBeforeFirstCapture;
    TW_UINT32 TimeBetweenCaptures;
};

struct TW_FILESYSTEM {
    TW_STR255 InputName;
    TW_STR255 OutputName;
    TW_MEMREF Context;
    union {
        int Recursive;
        TW_BOOL Subdirectories;
    };
    union {
        TW_INT32 FileType;
        TW_UINT32 FileSystemType;
    };
    TW_UINT32 Size;
    TW_STR32 CreateTimeDate;
    TW_STR32 ModifiedTimeDate;
    TW_UINT32 FreeSpace;
    TW_INT32 NewImageSize;
    TW_UINT32 NumberOfFiles;
    TW_UINT32 NumberOfSnippets;
    TW_UINT32 DeviceGroupMask;
    TW_INT8 Reserved[508];
};

struct TW_PASSTHRU {
    TW_MEMREF pCommand;
    TW_UINT32 CommandBytes;
    TW_INT32 Direction;
    TW_MEMREF pData;
    TW_UINT32 DataBytes;
    TW_UINT32 DataBytesXfered;
};

struct TW_METRICS {
    TW_UINT32 SizeOf;
    TW_UINT32 ImageCount;
    TW_UINT32 SheetCount;
};

struct TW_TWAINDIRECT {
    TW_UINT32 SizeOf;
    TW_UINT16 CommunicationManager;
    TW_HANDLE Send;
    TW_UINT32 SendSize;
    TW_HANDLE Receive;
    TW_UINT32 ReceiveSize;
};

#if !defined(TRACEWELL_ABI_MACOS)
#pragma pack(pop)
#endif

// The entry point every data source exports as DS_Entry.
typedef TW_UINT16(TW_CALLINGCONV* DSENTRYPROC)(TW_IDENTITY* pOrigin, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                                               TW_MEMREF pData);

// Vendor extension structures.

struct TWKV_AUTOEXPOSURE {
    TW_UINT32 Handle;
    TW_INT16 Left;
    TW_INT16 Top;
    TW_INT16 Right;
    TW_INT16 Bottom;
    TW_UINT16 FilmType;
    TW_UINT16 PreScanGamma;
    TW_FIX32 ScreenGamma;
    TW_UINT16 GrayBalance;
};

struct TWKV_RGBMATRIX {
    TW_FIX32 ColorCoeff[9];
};

struct TWKV_COLORSMOOTHING {
    TW_UINT32 Handle;
    TW_UINT32 LeftX;
    TW_UINT32 LeftY;
    TW_UINT32 TopX;
    TW_UINT32 TopY;
    TW_UINT32 RightX;
    TW_UINT32 RightY;
    TW_UINT32 BottomX;
    TW_UINT32 BottomY;
    TW_UINT32 Reserved;
};

struct TWKV_LOCATIONDATA {
    TW_INT16 BitsPerPixel;
    TW_UINT32 topPoint;
    TW_UINT32 leftPoint;
    TW_UINT32 locateW;
    TW_UINT32 locateH;
    TW_UINT32 ActualImgW;
    TW_UINT32 ActualImgH;
    TW_UINT32 xTangent;
    TW_UINT32 yTangent;
    TW_FIX32 Theta;
};

struct TWKV_USMPARAM {
    TW_INT16 Amount;
    TW_INT16 Radius;
    TW_INT16 Threshold;
};

struct TWKV_SETTINGFRAME {
    TW_UINT16 NumFrame;
    TW_UINT16 CurrentNum;
};

struct TWKV_THRESHOLDINFO {
    TW_UINT16 ShadowL;
    TW_UINT16 ShadowH;
    TW_UINT16 HighlightH;
    TW_UINT16 HighlightL;
};

struct TWKV_REVISEBASEPARM {
    TWKV_THRESHOLDINFO InputRevise;
    TWKV_THRESHOLDINFO OutputRevise;
    TW_UINT16 BlurMax;
};

struct TWKV_USMINFO {
    TW_UINT16 InputResolution;
    TW_UINT16 InUSMLevel;
    TW_UINT16 InFilmType;
    TWKV_USMPARAM USMParm;
    TWKV_REVISEBASEPARM ReviseParm;
};

// ProductName and ModelName hold Pascal strings: a length byte, then up to 33 characters.
struct TWKV_HARDWAREINFO {
    TW_UINT32 ModelID;
    TW_UINT8 ProductName[34];
    TW_UINT8 ModelName[34];
    TW_UINT32 OptXResolution;
    TW_UINT32 OptYResolution;
    TW_UINT32 MinResolution;
    TW_UINT32 MaxResolution;
    TW_UINT32 MaxMoireResolution;
    TW_UINT32 MaxPixelofWidth;
    TW_UINT32 PixelSizeofFB[2];
    TW_UINT32 PixelSizeofADF[2];
    TW_UINT32 PixelSizeofTPU[2];
    TW_UINT32 BitDepth;
    TW_UINT16 InterfaceSupport;
    TW_UINT32 CommandType;
    TW_UINT32 ConnectInterfaceType;
    TW_UINT16 StandAloneModeSupport;
    TW_UINT8 Reserved[6];
    TW_UINT16 FullAutoModeSupport;
    TW_UINT16 SimpleModeSupport;
    TW_UINT16 DocumentModeSupport;
    TW_UINT16 AdvancedModeSupport;
    TW_UINT16 TCMSupport;
    TW_UINT16 FIT3;
    TW_UINT16 AutoLayoutSupportFB;
    TW_UINT16 AutoLayoutSupportADF;
    TW_UINT16 HalftoneSupport;
    TW_UINT16 HTModeSupport;
    TW_UINT16 HTDitherSupport;
    TW_UINT16 HTAASSupport;
    TW_UINT16 HTTETSupport;
    TW_UINT16 TableArrangement;
    TW_UINT16 OptionSupport;
    TW_UINT16 FocusSupport;
    TW_UINT32 FocusArea[2];
    char ProfileNameFB[34];
    char ProfileNameTPU[34];
    TW_FIX32 ColorCorrectionFB[9];
    TW_FIX32 ColorCorrectionPOSI[9];
    TW_FIX32 ColorCorrectionNEGA[9];
    TW_FIX32 TCMColorCorrectionFB[9];
    TW_FIX32 TCMColorCorrectionPOSI[9];
    TW_FIX32 TCMColorCorrectionNEGA[9];
    char ROMVersion[32];
};

// Return codes.
constexpr TW_UINT16 TWRC_SUCCESS = 0x0000;
constexpr TW_UINT16 TWRC_FAILURE = 0x0001;
constexpr TW_UINT16 TWRC_CHECKSTATUS = 0x0002;
constexpr TW_UINT16 TWRC_CANCEL = 0x0003;
constexpr TW_UINT16 TWRC_DSEVENT = 0x0004;
constexpr TW_UINT16 TWRC_NOTDSEVENT = 0x0005;
constexpr TW_UINT16 TWRC_XFERDONE = 0x0006;
constexpr TW_UINT16 TWRC_ENDOFLIST = 0x0007;
constexpr TW_UINT16 TWRC_INFONOTSUPPORTED = 0x0008;
constexpr TW_UINT16 TWRC_DATANOTAVAILABLE = 0x0009;
constexpr TW_UINT16 TWRC_CUSTOMBASE = 0x8000;

// Data groups, and the TWAIN 2 flags that share SupportedGroups with them.
constexpr TW_UINT32 DG_CONTROL = 0x0001;
constexpr TW_UINT32 DG_IMAGE = 0x0002;
constexpr TW_UINT32 DG_AUDIO = 0x0004;
constexpr TW_UINT32 DF_DSM2 = 0x10000000;
constexpr TW_UINT32 DF_APP2 = 0x20000000;
constexpr TW_UINT32 DF_DS2 = 0x40000000;

// Data argument types.
constexpr TW_UINT16 DAT_NULL = 0x0000;
constexpr TW_UINT16 DAT_CUSTOMBASE = 0x8000;
constexpr TW_UINT16 DAT_CAPABILITY = 0x0001;
constexpr TW_UINT16 DAT_EVENT = 0x0002;
constexpr TW_UINT16 DAT_IDENTITY = 0x0003;
constexpr TW_UINT16 DAT_PARENT = 0x0004;
constexpr TW_UINT16 DAT_PENDINGXFERS = 0x0005;
constexpr TW_UINT16 DAT_SETUPMEMXFER = 0x0006;
constexpr TW_UINT16 DAT_SETUPFILEXFER = 0x0007;
constexpr TW_UINT16 DAT_STATUS = 0x0008;
constexpr TW_UINT16 DAT_USERINTERFACE = 0x0009;
constexpr TW_UINT16 DAT_XFERGROUP = 0x000A;
constexpr TW_UINT16 DAT_TWUNKIDENTITY = 0x000B;
constexpr TW_UINT16 DAT_CUSTOMDSDATA = 0x000C;
constexpr TW_UINT16 DAT_DEVICEEVENT = 0x000D;
constexpr TW_UINT16 DAT_FILESYSTEM = 0x000E;
constexpr TW_UINT16 DAT_PASSTHRU = 0x000F;
constexpr TW_UINT16 DAT_CALLBACK = 0x0010;
constexpr TW_UINT16 DAT_CALLBACK2 = 0x0012;
constexpr TW_UINT16 DAT_ENTRYPOINT = 0x0403;
constexpr TW_UINT16 DAT_IMAGEINFO = 0x0101;
constexpr TW_UINT16 DAT_IMAGELAYOUT = 0x0102;
constexpr TW_UINT16 DAT_IMAGEMEMXFER = 0x0103;
constexpr TW_UINT16 DAT_IMAGENATIVEXFER = 0x0104;
constexpr TW_UINT16 DAT_IMAGEFILEXFER = 0x0105;
constexpr TW_UINT16 DAT_CIECOLOR = 0x0106;
constexpr TW_UINT16 DAT_GRAYRESPONSE = 0x0107;
constexpr TW_UINT16 DAT_RGBRESPONSE = 0x0108;
constexpr TW_UINT16 DAT_JPEGCOMPRESSION = 0x0109;
constexpr TW_UINT16 DAT_PALETTE8 = 0x010A;
constexpr TW_UINT16 DAT_EXTIMAGEINFO = 0x010B;
constexpr TW_UINT16 DAT_AUDIOFILEXFER = 0x0201;
constexpr TW_UINT16 DAT_AUDIOINFO = 0x0202;
constexpr TW_UINT16 DAT_AUDIONATIVEXFER = 0x0203;
constexpr TW_UINT16 DAT_SETUPFILEXFER2 = 0x0301;
constexpr TW_UINT16 DAT_KV_AUTOEXPOSURE = 0x8001;
constexpr TW_UINT16 DAT_KV_RGBMATRIX = 0x8002;
constexpr TW_UINT16 DAT_KV_COLORSMOOTHING = 0x8003;
constexpr TW_UINT16 DAT_KV_EVENT = 0x8004;
constexpr TW_UINT16 DAT_KV_HARDWAREINFO = 0x8005;
constexpr TW_UINT16 DAT_KV_SKEWINFO = 0x8006;
constexpr TW_UINT16 DAT_KV_UNSHARPMASKPARAM = 0x8007;
constexpr TW_UINT16 DAT_KV_REDCORRECTIONMATRIX = 0x8008;
constexpr TW_UINT16 DAT_KV_TWAINCALLBACKMSG = 0x8009;
constexpr TW_UINT16 DAT_KV_SETTINGFRAME = 0x800A;
constexpr TW_UINT16 DAT_KV_USMINFO = 0x800B;
constexpr TW_UINT16 DAT_KV_EDGEFILLAREA = 0x8015;
constexpr TW_UINT16 DAT_KV_COLORFILTER = 0x8016;
constexpr TW_UINT16 DAT_KV_DUALIMAGE = 0x8017;

// Messages.
constexpr TW_UINT16 MSG_NULL = 0x0000;
constexpr TW_UINT16 MSG_CUSTOMBASE = 0x8000;
constexpr TW_UINT16 MSG_GET = 0x0001;
constexpr TW_UINT16 MSG_GETCURRENT = 0x0002;
constexpr TW_UINT16 MSG_GETDEFAULT = 0x0003;
constexpr TW_UINT16 MSG_GETFIRST = 0x0004;
constexpr TW_UINT16 MSG_GETNEXT = 0x0005;
constexpr TW_UINT16 MSG_SET = 0x0006;
constexpr TW_UINT16 MSG_RESET = 0x0007;
constexpr TW_UINT16 MSG_QUERYSUPPORT = 0x0008;
constexpr TW_UINT16 MSG_XFERREADY = 0x0101;
constexpr TW_UINT16 MSG_CLOSEDSREQ = 0x0102;
constexpr TW_UINT16 MSG_CLOSEDSOK = 0x0103;
constexpr TW_UINT16 MSG_DEVICEEVENT = 0x0104;
constexpr TW_UINT16 MSG_CHECKSTATUS = 0x0201;
constexpr TW_UINT16 MSG_OPENDSM = 0x0301;
constexpr TW_UINT16 MSG_CLOSEDSM = 0x0302;
constexpr TW_UINT16 MSG_OPENDS = 0x0401;
constexpr TW_UINT16 MSG_CLOSEDS = 0x0402;
constexpr TW_UINT16 MSG_USERSELECT = 0x0403;
constexpr TW_UINT16 MSG_DISABLEDS = 0x0501;
constexpr TW_UINT16 MSG_ENABLEDS = 0x0502;
constexpr TW_UINT16 MSG_ENABLEDSUIONLY = 0x0503;
constexpr TW_UINT16 MSG_PROCESSEVENT = 0x0601;
constexpr TW_UINT16 MSG_ENDXFER = 0x0701;
constexpr TW_UINT16 MSG_CHANGEDIRECTORY = 0x0801;
constexpr TW_UINT16 MSG_CREATEDIRECTORY = 0x0802;
constexpr TW_UINT16 MSG_DELETE = 0x0803;
constexpr TW_UINT16 MSG_FORMATMEDIA = 0x0804;
constexpr TW_UINT16 MSG_GETCLOSE = 0x0805;
constexpr TW_UINT16 MSG_GETFIRSTFILE = 0x0806;
constexpr TW_UINT16 MSG_GETINFO = 0x0807;
constexpr TW_UINT16 MSG_GETNEXTFILE = 0x0808;
constexpr TW_UINT16 MSG_RENAME = 0x0809;
constexpr TW_UINT16 MSG_PASSTHRU = 0x0901;
constexpr TW_UINT16 MSG_REGISTER_CALLBACK = 0x0902;
constexpr TW_UINT16 MSG_INVOKE_CALLBACK = 0x0903;
constexpr TW_UINT16 MSG_KV_TIMERRESET = 0x8001;
constexpr TW_UINT16 MSG_KV_XFERREQUEST = 0x8002;

// Item types.
constexpr TW_UINT16 TWTY_INT8 = 0;
constexpr TW_UINT16 TWTY_INT16 = 1;
constexpr TW_UINT16 TWTY_INT32 = 2;
constexpr TW_UINT16 TWTY_UINT8 = 3;
constexpr TW_UINT16 TWTY_UINT16 = 4;
constexpr TW_UINT16 TWTY_UINT32 = 5;
constexpr TW_UINT16 TWTY_BOOL = 6;
constexpr TW_UINT16 TWTY_FIX32 = 7;
constexpr TW_UINT16 TWTY_FRAME = 8;
constexpr TW_UINT16 TWTY_STR32 = 9;
constexpr TW_UINT16 TWTY_STR64 = 10;
constexpr TW_UINT16 TWTY_STR128 = 11;
constexpr TW_UINT16 TWTY_STR255 = 12;
constexpr TW_UINT16 TWTY_STR1024 = 13;
constexpr TW_UINT16 TWTY_UNI512 = 14;

// Container types and the other TWON_ constants.
constexpr TW_UINT32 TWON_PROTOCOLMINOR = 9;
constexpr TW_UINT32 TWON_PROTOCOLMAJOR = 1;
constexpr TW_UINT32 TWON_ARRAY = 3;
constexpr TW_UINT32 TWON_ENUMERATION = 4;
constexpr TW_UINT32 TWON_ONEVALUE = 5;
constexpr TW_UINT32 TWON_RANGE = 6;
constexpr TW_UINT32 TWON_ICONID = 962;
constexpr TW_UINT32 TWON_DSMID = 461;
constexpr TW_UINT32 TWON_DSMCODEID = 63;
constexpr TW_UINT32 TWON_DONTCARE8 = 0xFF;
constexpr TW_UINT32 TWON_DONTCARE16 = 0xFFFF;
constexpr TW_UINT32 TWON_DONTCARE32 = 0xFFFFFFFF;

// Capabilities, condition codes, languages, countries and enumerated capability values.
#include "twain_values.h"
#include "twain_layout.h"
