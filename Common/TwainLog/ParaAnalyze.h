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

// One call as the analyzer records it: the triplet, its data and, once it returned, its code.
struct CallRecord {
    TW_UINT32 DG = 0;
    TW_UINT16 DAT = 0;
    TW_UINT16 MSG = 0;
    char* pData = nullptr;
    TW_UINT16 RC = 0;
    TW_IDENTITY* pOrigin = nullptr;
    TW_IDENTITY* pDest = nullptr;
};

class CParaAnalyze {
public:
    static constexpr size_t kCallerSize = 32;
    // Who makes a call: the application, or the source sending the application a message through
    // the Source Manager (its request line is tagged "DS" and it is never suppressed).
    enum class Caller { kApplication, kSource };
    // How long the source took, for a call whose time is not shown.
    static constexpr int64_t kNotTimed = -1;

    constexpr CParaAnalyze()
        : m_call(), m_pOutBuf(nullptr), m_nTwainStatus(0), m_lSequenceNo(0), m_szNameBuf{}, m_szCaller{'A', 'P', 'P'},
          m_callerLength(3), m_callerPlain(true), m_nEnableDsInFlight(0) {}

    // Request line of one call into `out`; false when the call is not announced.
    bool TripletAnalyze(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                        char* pData, CTraceText* out, Caller caller = Caller::kApplication);
    // Result section of one call into `out`, opened by how long the source took (tookNs, in
    // nanoseconds) unless it is kNotTimed; always true.
    bool ParaAnalyze(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                     char* pData, TW_UINT16 RC, CTraceText* out, Caller caller = Caller::kApplication,
                     int64_t tookNs = kNotTimed);

    // A trace file was set up at load: the Source Manager has the source's module loaded (state 3).
    void StartSession() {
        m_nTwainStatus = 3;
        ResetVendorNaming();
    }

    // Appends the four banner lines to the text pOutBuf holds, within kHeaderBufferSize bytes.
    static constexpr size_t kHeaderBufferSize = 1024;
    TRACEWELL_EXPORT bool HeaderMake(char* pOutBuf);
    // Sets the caller tag of the application's request lines (at most kCallerSize - 1 bytes).
    TRACEWELL_EXPORT void Init(const char* tag);

    int GetTwainStatus() const { return m_nTwainStatus; }
    int64_t GetSequenceNo() const { return m_lSequenceNo; }
    const char* CallerTag() const { return m_szCaller; }
    // A session's state and count where a test or a replay starts it.
    void SetTwainStatus(int status) { m_nTwainStatus = status; }
    void SetSequenceNo(int64_t sequence) { m_lSequenceNo = sequence; }

    // ---- the formatters, each rendering one structure of the call on record into its text ------
    // The call the formatters render, and the text they append to.
    void SetCall(const CallRecord& call) { m_call = call; }
    void SetOutput(CTraceText* out) { m_pOutBuf = out; }
    CTraceText* Output() const { return m_pOutBuf; }

    // Capability values. Destinations hold at least kValueSize bytes.
    static constexpr size_t kValueSize = 512;
    void MakeItemList(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 numItems, const TW_UINT8* firstItem);
    void ValToStr(TW_UINT16 cap, TW_UINT16 itemType, const void* item, char* dest);
    void ValToCap(TW_UINT16 cap, TW_UINT16 value, char* dest);
    // The same text, as the name a table holds where one does; written into dest otherwise.
    TraceName ValueName(TW_UINT16 cap, TW_UINT16 value, char* dest);
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
    bool DatHardwareInfoAnalyze();
    bool DatKvSkewInfoAnalyze();
    bool DatUnsharpMaskAnalyze();
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
    // The structure a call's data holds, as its result section renders it, without the result's
    // other lines and leaving the session as it is.
    void RenderData(TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG, char* pData, TW_UINT16 RC, CTraceText* out);
    // The first bytes of a custom DAT's data, where no structure of its maker applies.
    bool CustomDataAnalyze();

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
    bool TwHardwareInfoAnalyze(const TWKV_HARDWAREINFO* p);
    bool TwKvSkewInfoAnalyze(const TWKV_LOCATIONDATA* p);
    bool TwUnsharpMaskAnalyze(const TWKV_USMPARAM* p);
    bool TwKvSettingFrameAnalyze(const TWKV_SETTINGFRAME* p);
    bool TwKvThresholdInfoAnalyze(const TWKV_THRESHOLDINFO* p);
    bool TwKvReviseBaseParamAnalyze(const TWKV_REVISEBASEPARM* p);
    bool TwKvUsmInfoAnalyze(const TWKV_USMINFO* p);
    void SetColorCoeffData(const TW_FIX32* coeff);

    // Names a constant through a symbol table; only the fallback for an unnamed value is
    // written, into the analyzer's name buffer.
    template <size_t N>
    TraceName Name(const MacroEntry (&table)[N], int64_t value) {
        return {NameOrFallback(table, N - 1, value, m_szNameBuf)};
    }
    TraceName Name(const NameFinder& names, int64_t value) { return {names.NameOrFallback(value, m_szNameBuf)}; }

private:
    bool ResultMake(bool sourceCall, int64_t tookNs);
    bool CreateStringOfTriplet(bool sourceCall);
    // Whose vendor names apply: the source's identity, where a call shows it.
    void NoteSourceIdentity(bool sourceCall);
    void StoreTriplet(TW_IDENTITY* pOrigin, TW_IDENTITY* pDest, TW_UINT32 DG, TW_UINT16 DAT, TW_UINT16 MSG,
                      char* pData, CTraceText* pOutBuf);
    // TWAIN state inferred from the traffic.
    int UpDateTwainStatus(TW_UINT16 DAT, TW_UINT16 MSG, char* pData);
    // The state a message from the source to the application leads to.
    int UpDateTwainStatusBySource();

    CallRecord m_call;
    CTraceText* m_pOutBuf;
    int32_t m_nTwainStatus;
    int64_t m_lSequenceNo;
    char m_szNameBuf[kNameSize];
    char m_szCaller[kCallerSize];
    // The tag measured, and scanned for control characters, once where it is set.
    size_t m_callerLength;
    bool m_callerPlain;
    // Application MSG_ENABLEDS calls forwarded whose result has not been rendered yet.
    int m_nEnableDsInFlight;
};

extern CParaAnalyze g_cParaAnalyze;
