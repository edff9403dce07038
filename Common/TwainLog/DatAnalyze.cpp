// The DAT dispatch: one member per data argument type, each handing the data pointer to the
// formatter of the structure that DAT carries.
#include "ParaAnalyze.h"

#include <cstring>

#include <fmt/compile.h>

#include "Platform/Platform.h"

using DatMember = bool (*)(CParaAnalyze&);
#define DAT_MEMBER(name) [](CParaAnalyze& analyzer) { return analyzer.name(); }

// Contiguous ranges of DATs carry structures; every other DAT renders none.
static constexpr DatMember kControlDats[] = {
    DAT_MEMBER(DatNullAnalyze),          DAT_MEMBER(DatCapabilityAnalyze),
    DAT_MEMBER(DatEventAnalyze),         DAT_MEMBER(DatIdentityAnalyze),
    DAT_MEMBER(DatParentAnalyze),        DAT_MEMBER(DatPendingXfersAnalyze),
    DAT_MEMBER(DatSetupMemXferAnalyze),  DAT_MEMBER(DatSetupFileXferAnalyze),
    DAT_MEMBER(DatStatusAnalyze),        DAT_MEMBER(DatUserInterfaceAnalyze),
    DAT_MEMBER(DatXferGroupAnalyze),     DAT_MEMBER(DatNullAnalyze),
    DAT_MEMBER(DatCustomDsDataAnalyze),
};
static constexpr DatMember kImageDats[] = {
    DAT_MEMBER(DatImageInfoAnalyze),       DAT_MEMBER(DatImageLayoutAnalyze),
    DAT_MEMBER(DatImageMemXferAnalyze),    DAT_MEMBER(DatImageNativeXferAnalyze),
    DAT_MEMBER(DatImageFileXferAnalyze),   DAT_MEMBER(DatCieColorAnalyze),
    DAT_MEMBER(DatGrayResponseAnalyze),    DAT_MEMBER(DatRgbResponseAnalyze),
    DAT_MEMBER(DatJpegCompressionAnalyze), DAT_MEMBER(DatPalette8Analyze),
    DAT_MEMBER(DatExtImageInfoAnalyze),
};
static constexpr DatMember kVendorDats[] = {
    DAT_MEMBER(DatKvAutoExposureAnalyze),        DAT_MEMBER(DatKvRgbMatrixAnalyze),
    DAT_MEMBER(DatKvColorSmoothingAnalyze),      DAT_MEMBER(DatNullAnalyze),
    DAT_MEMBER(DatHardwareInfoAnalyze),          DAT_MEMBER(DatKvSkewInfoAnalyze),
    DAT_MEMBER(DatUnsharpMaskAnalyze),           DAT_MEMBER(DatNullAnalyze),
    DAT_MEMBER(DatNullAnalyze),    DAT_MEMBER(DatKvSettingFrameAnalyze),
    DAT_MEMBER(DatKvUsmInfoAnalyze),
};
// The TWAIN 2 DATs from DAT_DEVICEEVENT to DAT_TWAINDIRECT, and DAT_ENTRYPOINT. The linux build,
// whose TWAIN headers are the 2.5 ones, renders all their structures; the macos build only the
// callbacks that carry the source's messages to the application. DAT_STATUSUTF8 renders none.
#if !TRACEWELL_ABI_REFERENCE
static constexpr DatMember kTwain2Dats[] = {
    DAT_MEMBER(DatDeviceEventAnalyze), DAT_MEMBER(DatFileSystemAnalyze), DAT_MEMBER(DatPassThruAnalyze),
    DAT_MEMBER(DatCallbackAnalyze),    DAT_MEMBER(DatNullAnalyze),       DAT_MEMBER(DatCallback2Analyze),
    DAT_MEMBER(DatMetricsAnalyze),     DAT_MEMBER(DatTwainDirectAnalyze),
};
static constexpr DatMember kEntryPointDats[] = {DAT_MEMBER(DatEntryPointAnalyze)};
static_assert(sizeof(kTwain2Dats) / sizeof(DatMember) == DAT_TWAINDIRECT - DAT_DEVICEEVENT + 1, "TWAIN 2 DATs");
#else
static constexpr DatMember kTwain2Dats[] = {
    DAT_MEMBER(DatNullAnalyze),     DAT_MEMBER(DatNullAnalyze), DAT_MEMBER(DatNullAnalyze),
    DAT_MEMBER(DatCallbackAnalyze), DAT_MEMBER(DatNullAnalyze), DAT_MEMBER(DatCallback2Analyze),
};
static constexpr DatMember kEntryPointDats[] = {DAT_MEMBER(DatNullAnalyze)};
static_assert(sizeof(kTwain2Dats) / sizeof(DatMember) == DAT_CALLBACK2 - DAT_DEVICEEVENT + 1, "TWAIN 2 DATs");
#endif
static_assert(sizeof(kControlDats) / sizeof(DatMember) == DAT_CUSTOMDSDATA - DAT_NULL + 1, "control DATs");
static_assert(sizeof(kImageDats) / sizeof(DatMember) == DAT_EXTIMAGEINFO - DAT_IMAGEINFO + 1, "image DATs");
static_assert(sizeof(kVendorDats) / sizeof(DatMember) == DAT_KV_USMINFO - DAT_KV_AUTOEXPOSURE + 1, "vendor DATs");
#undef DAT_MEMBER

template <size_t N>
static bool RunIn(CParaAnalyze& analyzer, const DatMember (&members)[N], TW_UINT16 first, TW_UINT16 dat) {
    if (dat < first || dat - first >= static_cast<int>(N)) return false;
    members[dat - first](analyzer);
    return true;
}

bool CParaAnalyze::DispatchDat() {
    const TW_UINT16 dat = m_call.DAT;
    if (IsVendorId(dat) && !VendorNaming()) return CustomDataAnalyze();
    return RunIn(*this, kControlDats, DAT_NULL, dat) || RunIn(*this, kTwain2Dats, DAT_DEVICEEVENT, dat) ||
           RunIn(*this, kImageDats, DAT_IMAGEINFO, dat) || RunIn(*this, kEntryPointDats, DAT_ENTRYPOINT, dat) ||
           RunIn(*this, kVendorDats, DAT_KV_AUTOEXPOSURE, dat);
}

template <typename T>
static const T* As(char* pData) {
    return reinterpret_cast<const T*>(pData);
}

// The value the data pointer holds, read byte-wise (the packed ABI need not align it); 0 for a
// null data pointer.
template <typename T>
static T Held(const char* pData) {
    T value{};
    if (pData != nullptr) memcpy(&value, pData, sizeof(value));
    return value;
}

bool CParaAnalyze::DatNullAnalyze() { return true; }

// Another maker's structure is unknown: its first bytes, read so that a short or missing block
// cannot fault.
bool CParaAnalyze::CustomDataAnalyze() {
    if (m_call.pData == nullptr) return true;
    constexpr size_t kShownBytes = 32;
    unsigned char bytes[kShownBytes];
    const size_t read = PlatformCopyReadable(bytes, m_call.pData, sizeof(bytes));
    m_pOutBuf->Line(FMT_STRING("  Data = {{"));
    if (read == 0) {
        m_pOutBuf->Line(FMT_STRING("    !!! not readable.!!!"));
    } else {
        char hex[3 * kShownBytes];
        for (size_t i = 0; i < read; ++i) fmt::format_to(hex + 3 * i, FMT_COMPILE("{:02x} "), bytes[i]);
        m_pOutBuf->Line(FMT_STRING("    First {} bytes = [{}]"), read, std::string_view(hex, 3 * read - 1));
    }
    m_pOutBuf->Line(FMT_STRING("  }}"));
    return true;
}
bool CParaAnalyze::DatCapabilityAnalyze() { return TwCapabilityAnalyze(As<TW_CAPABILITY>(m_call.pData)); }
bool CParaAnalyze::DatEventAnalyze() { return TwEventAnalyze(As<TW_EVENT>(m_call.pData)); }
bool CParaAnalyze::DatIdentityAnalyze() { return TwIdentityAnalyze(As<TW_IDENTITY>(m_call.pData)); }
bool CParaAnalyze::DatParentAnalyze() {
    if (m_call.MSG == MSG_OPENDSM) TwIdentityAnalyze(m_call.pOrigin);
    return true;
}
bool CParaAnalyze::DatPendingXfersAnalyze() { return TwPendingXfersAnalyze(As<TW_PENDINGXFERS>(m_call.pData)); }
bool CParaAnalyze::DatSetupMemXferAnalyze() { return TwSetupMemXferAnalyze(As<TW_SETUPMEMXFER>(m_call.pData)); }
bool CParaAnalyze::DatSetupFileXferAnalyze() { return TwSetupFileXferAnalyze(As<TW_SETUPFILEXFER>(m_call.pData)); }
bool CParaAnalyze::DatStatusAnalyze() { return TwStatusAnalyze(As<TW_STATUS>(m_call.pData)); }
bool CParaAnalyze::DatUserInterfaceAnalyze() { return TwUserInterfaceAnalyze(As<TW_USERINTERFACE>(m_call.pData)); }
bool CParaAnalyze::DatXferGroupAnalyze() { return TwUint32(Held<TW_UINT32>(m_call.pData)); }
bool CParaAnalyze::DatCustomDsDataAnalyze() { return TwCustomDsDataAnalyze(As<TW_CUSTOMDSDATA>(m_call.pData)); }
bool CParaAnalyze::DatImageInfoAnalyze() { return TwImageInfoAnalyze(As<TW_IMAGEINFO>(m_call.pData)); }
bool CParaAnalyze::DatImageLayoutAnalyze() { return TwImageLayoutAnalyze(As<TW_IMAGELAYOUT>(m_call.pData)); }
bool CParaAnalyze::DatImageMemXferAnalyze() { return TwImageMemXferAnalyze(As<TW_IMAGEMEMXFER>(m_call.pData)); }
// The source stores the image's handle, pointer-sized, where the data pointer points.
bool CParaAnalyze::DatImageNativeXferAnalyze() { return TwUint32(Low32(Held<TW_HANDLE>(m_call.pData))); }
bool CParaAnalyze::DatImageFileXferAnalyze() { return true; }
bool CParaAnalyze::DatCieColorAnalyze() { return TwCieColorAnalyze(As<TW_CIECOLOR>(m_call.pData)); }
bool CParaAnalyze::DatGrayResponseAnalyze() { return TwGrayResponseAnalyze(As<TW_GRAYRESPONSE>(m_call.pData)); }
bool CParaAnalyze::DatRgbResponseAnalyze() { return TwRgbResponseAnalyze(As<TW_RGBRESPONSE>(m_call.pData)); }
bool CParaAnalyze::DatJpegCompressionAnalyze() {
    return TwJpegCompressionAnalyze(As<TW_JPEGCOMPRESSION>(m_call.pData));
}
bool CParaAnalyze::DatPalette8Analyze() { return TwPalette8Analyze(As<TW_PALETTE8>(m_call.pData)); }
bool CParaAnalyze::DatExtImageInfoAnalyze() { return TwExtImageInfoAnalyze(As<TW_EXTIMAGEINFO>(m_call.pData)); }
bool CParaAnalyze::DatKvAutoExposureAnalyze() { return TwKvAutoExposureAnalyze(As<TWKV_AUTOEXPOSURE>(m_call.pData)); }
bool CParaAnalyze::DatKvRgbMatrixAnalyze() { return TwKvRgbMatrixAnalyze(As<TWKV_RGBMATRIX>(m_call.pData)); }
bool CParaAnalyze::DatKvColorSmoothingAnalyze() {
    return TwKvColorSmoothingAnalyze(As<TWKV_COLORSMOOTHING>(m_call.pData));
}
bool CParaAnalyze::DatHardwareInfoAnalyze() { return TwHardwareInfoAnalyze(As<TWKV_HARDWAREINFO>(m_call.pData)); }
bool CParaAnalyze::DatKvSkewInfoAnalyze() { return TwKvSkewInfoAnalyze(As<TWKV_LOCATIONDATA>(m_call.pData)); }
bool CParaAnalyze::DatUnsharpMaskAnalyze() { return TwUnsharpMaskAnalyze(As<TWKV_USMPARAM>(m_call.pData)); }
bool CParaAnalyze::DatKvSettingFrameAnalyze() { return TwKvSettingFrameAnalyze(As<TWKV_SETTINGFRAME>(m_call.pData)); }
bool CParaAnalyze::DatKvUsmInfoAnalyze() { return TwKvUsmInfoAnalyze(As<TWKV_USMINFO>(m_call.pData)); }
bool CParaAnalyze::DatDeviceEventAnalyze() { return TwDeviceEventAnalyze(As<TW_DEVICEEVENT>(m_call.pData)); }
bool CParaAnalyze::DatFileSystemAnalyze() { return TwFileSystemAnalyze(As<TW_FILESYSTEM>(m_call.pData)); }
bool CParaAnalyze::DatPassThruAnalyze() { return TwPassThruAnalyze(As<TW_PASSTHRU>(m_call.pData)); }
bool CParaAnalyze::DatCallbackAnalyze() { return TwCallbackAnalyze(As<TW_CALLBACK>(m_call.pData)); }
bool CParaAnalyze::DatCallback2Analyze() { return TwCallback2Analyze(As<TW_CALLBACK2>(m_call.pData)); }
bool CParaAnalyze::DatMetricsAnalyze() { return TwMetricsAnalyze(As<TW_METRICS>(m_call.pData)); }
bool CParaAnalyze::DatTwainDirectAnalyze() { return TwTwainDirectAnalyze(As<TW_TWAINDIRECT>(m_call.pData)); }
bool CParaAnalyze::DatEntryPointAnalyze() { return TwEntryPointAnalyze(As<TW_ENTRYPOINT>(m_call.pData)); }
