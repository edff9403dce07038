// The analyzer record that turns one triplet into trace text: request line, result section,
// state tracking, value rendering and the structure formatters (all members of CParaAnalyze).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "Common/Export.h"
#include "TraceText.h"
#include "tracewell/twain.h"
#include "twaintbl.h"

// Value of a TW_FIX32: Whole + Frac / 65536.
inline double Fix32Value(const TW_FIX32& f) { return f.Whole + f.Frac / 65536.0; }

// Pointers and handles print as their low 32 bits.
inline unsigned Low32(const void* p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

class CParaAnalyze {
public:
    static constexpr size_t kCallerSize = 32;

    constexpr CParaAnalyze()
        : m_pOrigin(nullptr), m_pDest(nullptr), m_DG(0), m_DAT(0), m_MSG(0), m_pData(nullptr), m_RC(0),
          m_pOutBuf(nullptr), m_nTwainStatus(0), m_lSequenceNo(0), m_szNameBuf{}, m_szCaller{'A', 'P', 'P'},
          m_bSourceCall(false), m_nTookNs(-1), m_nEnableDsInFlight(0) {}

    // Result section of one call; always true.
    bool ParaAnalyze(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                     char* pData, TW_UINT16 RC, CTraceText* pOutBuf);
    bool ResultMake();

    // Request line of one call; false when the call is not announced.
    bool TripletAnalyze(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                        char* pData, CTraceText* pOutBuf);
    bool CreateStringOfTriplet();
    // Takes the triplet of the call into the record (all fields but the return code).
    void StoreTriplet(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                      char* pData, CTraceText* pOutBuf);
    bool GetStringOfCapability(const TW_CAPABILITY* pCap, char* pText, TW_UINT32 size);

    // Appends the four banner lines to the text pOutBuf holds, within kHeaderBufferSize bytes.
    static constexpr size_t kHeaderBufferSize = 1024;
    TRACEWELL_EXPORT bool HeaderMake(char* pOutBuf);
    TRACEWELL_EXPORT void Init(const char* tag);

    // TWAIN state inferred from the traffic.
    int UpDateTwainStatus(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, char* pData);
    // The state a message from the source to the application leads to.
    int UpDateTwainStatusBySource();
    int MakeTwainStatusString(char* pText);
    int SetTwainStatus(int status);
    void InitTwainStatus();
    int GetTwainStatus() const { return m_nTwainStatus; }
    int64_t GetSequenceNo() const { return m_lSequenceNo; }

    // Capability values. Destinations hold at least kValueSize bytes.
    static constexpr size_t kValueSize = 512;
    void MakeItemList(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 numItems, const TW_UINT8* firstItem);
    void ValToStr(TW_UINT16 cap, TW_UINT16 itemType, const void* item, char* dest);
    void ValToCap(TW_UINT16 cap, TW_UINT16 value, char* dest);
    void MakeCapSupportedCaps(TW_UINT16 cap, char* dest);
    void MakeCapKvVersion(TW_UINT16 version, char* dest);

    // DAT dispatch.
    bool DatNullAnalyze();
    bool DatCapabilityAnalyze();
    bool DatEventAnalyze();
    bool DatIdentityAnalyze();
    bool DatParentAnalyze();
    bool DatPendingXfersAnalyze();
    bool DatSetupMemXferAnalyze();
    bool DatSetupFileXferAnalyze();
    bool DatStatusAnalyze();
    bool DatUserInterfaceAnalyze();
    bool DatXferGroupAnalyze();
    bool DatTwunkIdentityAnalyze();
    bool DatCustomDsDataAnalyze();
    bool DatImageInfoAnalyze();
    bool DatImageLayoutAnalyze();
    bool DatImageMemXferAnalyze();
    bool DatImageNativeXferAnalyze();
    bool DatImageFileXferAnalyze();
    bool DatCieColorAnalyze();
    bool DatGrayResponseAnalyze();
    bool DatRgbResponseAnalyze();
    bool DatJpegCompressionAnalyze();
    bool DatPalette8Analyze();
    bool DatExtImageInfoAnalyze();
    bool DatKvAutoExposureAnalyze();
    bool DatKvRgbMatrixAnalyze();
    bool DatKvColorSmoothingAnalyze();
    bool DatKvEventAnalyze();
    bool DatHardwareInfoAnalyze();
    bool DatKvSkewInfoAnalyze();
    bool DatUnsharpMaskAnalyze();
    bool DatKvRedCorrectionMatrixAnalyze();
    bool DatKvTwainCallbackMsgAnalyze();
    bool DatKvSettingFrameAnalyze();
    bool DatKvUsmInfoAnalyze();
    bool DatDeviceEventAnalyze();
    bool DatFileSystemAnalyze();
    bool DatPassThruAnalyze();
    bool DatCallbackAnalyze();
    bool DatCallback2Analyze();
    bool DatMetricsAnalyze();
    bool DatTwainDirectAnalyze();
    bool DatEntryPointAnalyze();
    bool DispatchDat();

    // Capability containers.
    bool TwCapabilityAnalyze(const TW_CAPABILITY* p);
    bool TwContainerAnalyaze(const TW_CAPABILITY* p);
    bool TwOneValueAnalyze(TW_UINT16 cap, const TW_ONEVALUE* p);
    bool TwRangeAnalyze(TW_UINT16 cap, const TW_RANGE* p);
    bool TwEnumerationAnalyze(TW_UINT16 cap, const TW_ENUMERATION* p);
    bool TwArrayAnalyze(TW_UINT16 cap, const TW_ARRAY* p);
    bool TwCapExtAnalyze(const TW_CAPEXT* p);

    // Session and control structures.
    bool TwIdentityAnalyze(const TW_IDENTITY* p);
    bool TwVersionAnalyze(const TW_VERSION* p);
    bool TwEventAnalyze(const TW_EVENT* p);
    bool TwPendingXfersAnalyze(const TW_PENDINGXFERS* p);
    bool TwSetupMemXferAnalyze(const TW_SETUPMEMXFER* p);
    bool TwSetupFileXferAnalyze(const TW_SETUPFILEXFER* p);
    bool TwStatusAnalyze(const TW_STATUS* p);
    bool TwUserInterfaceAnalyze(const TW_USERINTERFACE* p);
    bool TwCustomDsDataAnalyze(const TW_CUSTOMDSDATA* p);
    bool TwMemoryAnalyze(const TW_MEMORY* p);
    bool TwUint32(TW_UINT32 item);
    bool TwTwunkIdentityAnalyze();
    bool TwTwunkDsentryParamsAnalyze();
    bool TwTwunkDsentryReturnAnalyze();

    // TWAIN 2 control structures.
    bool TwEntryPointAnalyze(const TW_ENTRYPOINT* p);
    bool TwCallbackAnalyze(const TW_CALLBACK* p);
    bool TwCallback2Analyze(const TW_CALLBACK2* p);
    bool TwDeviceEventAnalyze(const TW_DEVICEEVENT* p);
    bool TwFileSystemAnalyze(const TW_FILESYSTEM* p);
    bool TwPassThruAnalyze(const TW_PASSTHRU* p);
    bool TwMetricsAnalyze(const TW_METRICS* p);
    bool TwTwainDirectAnalyze(const TW_TWAINDIRECT* p);

    // Image structures.
    bool TwImageInfoAnalyze(const TW_IMAGEINFO* p);
    bool TwImageLayoutAnalyze(const TW_IMAGELAYOUT* p);
    bool TwFrameAnalyze(const TW_FRAME* p);
    bool TwImageMemXferAnalyze(const TW_IMAGEMEMXFER* p);
    bool TwJpegCompressionAnalyze(const TW_JPEGCOMPRESSION* p);
    bool TwPalette8Analyze(const TW_PALETTE8* p);
    bool TwExtImageInfoAnalyze(const TW_EXTIMAGEINFO* p);
    bool TwInfoAnalyze(const TW_INFO* p);
    bool TwElement8Analyze(const TW_ELEMENT8* p);

    // Colour structures.
    bool TwCieColorAnalyze(const TW_CIECOLOR* p);
    bool TwTransformStageAnalyze(const TW_TRANSFORMSTAGE* p);
    bool TwDecodeFunctionAnalyze(const TW_DECODEFUNCTION* p);
    bool TwCiePointAnalyze(const TW_CIEPOINT* p);
    bool TwGrayResponseAnalyze(const TW_GRAYRESPONSE* p);
    bool TwRgbResponseAnalyze(const TW_RGBRESPONSE* p);

    // Vendor extension structures.
    bool TwKvAutoExposureAnalyze(const TWKV_AUTOEXPOSURE* p);
    bool TwKvRgbMatrixAnalyze(const TWKV_RGBMATRIX* p);
    bool TwKvColorSmoothingAnalyze(const TWKV_COLORSMOOTHING* p);
    bool TwKvEventAnalyze();
    bool TwHardwareInfoAnalyze(const TWKV_HARDWAREINFO* p);
    bool TwKvSkewInfoAnalyze(const TWKV_LOCATIONDATA* p);
    bool TwUnsharpMaskAnalyze(const TWKV_USMPARAM* p);
    bool TwKvRedCorrectionMatrixAnalyze();
    bool TwKvTwainCallbackMsgAnalyze();
    bool TwKvSettingFrameAnalyze(const TWKV_SETTINGFRAME* p);
    bool TwKvThresholdInfoAnalyze(const TWKV_THRESHOLDINFO* p);
    bool TwKvReviseBaseParamAnalyze(const TWKV_REVISEBASEPARM* p);
    bool TwKvUsmInfoAnalyze(const TWKV_USMINFO* p);
    void SetColorCoeffData(const TW_FIX32* coeff);

    // Names a constant into m_szNameBuf through a symbol table.
    template <size_t N>
    const char* Name(const MacroEntry (&table)[N], int64_t value) {
        LookupName(table, value, m_szNameBuf);
        return m_szNameBuf;
    }

    TW_IDENTITY* m_pOrigin;
    TW_IDENTITY* m_pDest;
    TW_UINT32 m_DG;
    TW_UINT16 m_DAT;
    TW_UINT16 m_MSG;
    char* m_pData;
    TW_UINT16 m_RC;
    CTraceText* m_pOutBuf;
    int32_t m_nTwainStatus;
    int64_t m_lSequenceNo;
    char m_szNameBuf[kNameSize];
    char m_szCaller[kCallerSize];

    // The call being rendered is a message the source sends the application through the
    // Source Manager: its request line is tagged "DS" and it is never suppressed.
    bool m_bSourceCall;
    // How long the source took for the call, in nanoseconds; negative when it is not shown.
    int64_t m_nTookNs;
    // Application MSG_ENABLEDS calls forwarded whose result has not been rendered yet.
    int m_nEnableDsInFlight;
};

extern CParaAnalyze g_cParaAnalyze;
