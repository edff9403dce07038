// The formatters of the TWAIN 2 control structures: entry points, callbacks, device events,
// file systems, pass-through commands, metrics and TWAIN Direct tasks.
#include "ParaAnalyze.h"

#include <type_traits>

// Entry points print like any pointer: their low 32 bits.
template <typename Function>
static unsigned Low32Entry(Function entry) {
    return static_cast<unsigned>(reinterpret_cast<uintptr_t>(entry));
}

// The callback's reference value is pointer-sized in the macOS headers and 32 bits in the
// Linux ones; either way it prints as its low 32 bits.
template <typename RefCon>
static unsigned RefConBits(RefCon refCon) {
    if constexpr (std::is_pointer_v<RefCon>) {
        return Low32(refCon);
    } else {
        return static_cast<unsigned>(refCon);
    }
}

bool CParaAnalyze::TwEntryPointAnalyze(const TW_ENTRYPOINT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_ENTRYPOINT = {");
    m_pOutBuf->Line(FMT_STRING("    Size            = [{}]"), p->Size);
    m_pOutBuf->Line(FMT_STRING("    DSM_Entry       = <0x{:08x}>"), Low32Entry(p->DSM_Entry));
    m_pOutBuf->Line(FMT_STRING("    DSM_MemAllocate = <0x{:08x}>"), Low32Entry(p->DSM_MemAllocate));
    m_pOutBuf->Line(FMT_STRING("    DSM_MemFree     = <0x{:08x}>"), Low32Entry(p->DSM_MemFree));
    m_pOutBuf->Line(FMT_STRING("    DSM_MemLock     = <0x{:08x}>"), Low32Entry(p->DSM_MemLock));
    m_pOutBuf->Line(FMT_STRING("    DSM_MemUnlock   = <0x{:08x}>"), Low32Entry(p->DSM_MemUnlock));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwCallbackAnalyze(const TW_CALLBACK* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CALLBACK = {");
    m_pOutBuf->Line(FMT_STRING("    CallBackProc = <0x{:08x}>"), Low32(p->CallBackProc));
    m_pOutBuf->Line(FMT_STRING("    RefCon       = <0x{:08x}>"), RefConBits(p->RefCon));
    char message[kNameSize];
    LookupMsgName(static_cast<TW_UINT16>(p->Message), message);
    m_pOutBuf->Line(FMT_STRING("    Message      = [{}]"), message);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwCallback2Analyze(const TW_CALLBACK2* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CALLBACK2 = {");
    m_pOutBuf->Line(FMT_STRING("    CallBackProc = <0x{:08x}>"), Low32(p->CallBackProc));
    m_pOutBuf->Line(FMT_STRING("    RefCon       = <0x{:08x}>"), static_cast<unsigned>(p->RefCon));
    char message[kNameSize];
    LookupMsgName(static_cast<TW_UINT16>(p->Message), message);
    m_pOutBuf->Line(FMT_STRING("    Message      = [{}]"), message);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwDeviceEventAnalyze(const TW_DEVICEEVENT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_DEVICEEVENT = {");
    m_pOutBuf->Line(FMT_STRING("    Event                  = [{}]"), Name(twde_macros, p->Event));
    m_pOutBuf->Line(FMT_STRING("    DeviceName             = [{}]"), FieldText(p->DeviceName));
    m_pOutBuf->Line(FMT_STRING("    BatteryMinutes         = [{}]"), p->BatteryMinutes);
    m_pOutBuf->Line(FMT_STRING("    BatteryPercentage      = [{}]"), p->BatteryPercentage);
    m_pOutBuf->Line(FMT_STRING("    PowerSupply            = [{}]"), Name(twps_macros, p->PowerSupply));
    m_pOutBuf->Line(FMT_STRING("    XResolution            = [{:.3f}]"), Fix32Value(p->XResolution));
    m_pOutBuf->Line(FMT_STRING("    YResolution            = [{:.3f}]"), Fix32Value(p->YResolution));
    m_pOutBuf->Line(FMT_STRING("    FlashUsed2             = [{}]"), Name(twfl_macros, p->FlashUsed2));
    m_pOutBuf->Line(FMT_STRING("    AutomaticCapture       = [{}]"), p->AutomaticCapture);
    m_pOutBuf->Line(FMT_STRING("    TimeBeforeFirstCapture = [{}]"), p->TimeBeforeFirstCapture);
    m_pOutBuf->Line(FMT_STRING("    TimeBetweenCaptures    = [{}]"), p->TimeBetweenCaptures);
    m_pOutBuf->Line("  }");
    return true;
}

// The two unions show under their first names: Recursive (Subdirectories) and FileType
// (FileSystemType).
bool CParaAnalyze::TwFileSystemAnalyze(const TW_FILESYSTEM* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_FILESYSTEM = {");
    m_pOutBuf->Line(FMT_STRING("    InputName        = [{}]"), FieldText(p->InputName));
    m_pOutBuf->Line(FMT_STRING("    OutputName       = [{}]"), FieldText(p->OutputName));
    m_pOutBuf->Line(FMT_STRING("    Context          = <0x{:08x}>"), Low32(p->Context));
    m_pOutBuf->Line(FMT_STRING("    Recursive        = [{}]"), p->Recursive);
    m_pOutBuf->Line(FMT_STRING("    FileType         = [{}]"), Name(twfy_macros, p->FileType));
    m_pOutBuf->Line(FMT_STRING("    Size             = [{}]"), p->Size);
    m_pOutBuf->Line(FMT_STRING("    CreateTimeDate   = [{}]"), FieldText(p->CreateTimeDate));
    m_pOutBuf->Line(FMT_STRING("    ModifiedTimeDate = [{}]"), FieldText(p->ModifiedTimeDate));
    m_pOutBuf->Line(FMT_STRING("    FreeSpace        = [{}]"), p->FreeSpace);
    m_pOutBuf->Line(FMT_STRING("    NewImageSize     = [{}]"), p->NewImageSize);
    m_pOutBuf->Line(FMT_STRING("    NumberOfFiles    = [{}]"), p->NumberOfFiles);
    m_pOutBuf->Line(FMT_STRING("    NumberOfSnippets = [{}]"), p->NumberOfSnippets);
    m_pOutBuf->Line(FMT_STRING("    DeviceGroupMask  = [0x{:x}]"), p->DeviceGroupMask);
    m_pOutBuf->Line("  }");
    return true;
}

// The command and the data behind the two pointers are not read.
bool CParaAnalyze::TwPassThruAnalyze(const TW_PASSTHRU* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_PASSTHRU = {");
    m_pOutBuf->Line(FMT_STRING("    pCommand        = <0x{:08x}>"), Low32(p->pCommand));
    m_pOutBuf->Line(FMT_STRING("    CommandBytes    = [{}]"), p->CommandBytes);
    m_pOutBuf->Line(FMT_STRING("    Direction       = [{}]"), Name(twdr_macros, p->Direction));
    m_pOutBuf->Line(FMT_STRING("    pData           = <0x{:08x}>"), Low32(p->pData));
    m_pOutBuf->Line(FMT_STRING("    DataBytes       = [{}]"), p->DataBytes);
    m_pOutBuf->Line(FMT_STRING("    DataBytesXfered = [{}]"), p->DataBytesXfered);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwMetricsAnalyze(const TW_METRICS* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_METRICS = {");
    m_pOutBuf->Line(FMT_STRING("    SizeOf     = [{}]"), p->SizeOf);
    m_pOutBuf->Line(FMT_STRING("    ImageCount = [{}]"), p->ImageCount);
    m_pOutBuf->Line(FMT_STRING("    SheetCount = [{}]"), p->SheetCount);
    m_pOutBuf->Line("  }");
    return true;
}

// The task and the reply behind the two handles are not read.
bool CParaAnalyze::TwTwainDirectAnalyze(const TW_TWAINDIRECT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_TWAINDIRECT = {");
    m_pOutBuf->Line(FMT_STRING("    SizeOf               = [{}]"), p->SizeOf);
    m_pOutBuf->Line(FMT_STRING("    CommunicationManager = [{}]"), p->CommunicationManager);
    m_pOutBuf->Line(FMT_STRING("    Send                 = <0x{:08x}>"), Low32(p->Send));
    m_pOutBuf->Line(FMT_STRING("    SendSize             = [{}]"), p->SendSize);
    m_pOutBuf->Line(FMT_STRING("    Receive              = <0x{:08x}>"), Low32(p->Receive));
    m_pOutBuf->Line(FMT_STRING("    ReceiveSize          = [{}]"), p->ReceiveSize);
    m_pOutBuf->Line("  }");
    return true;
}
