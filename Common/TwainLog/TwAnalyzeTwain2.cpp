// The formatters of the TWAIN 2 control structures: entry points, callbacks, device events,
// file systems, pass-through commands, metrics and TWAIN Direct tasks.
#include "ParaAnalyze.h"

#include <type_traits>

// Unsigned 32-bit fields print through "%ld" as 0 to 4294967295.
static unsigned long Wide(TW_UINT32 value) { return value; }

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
    m_pOutBuf->Line("    Size            = [%ld]", Wide(p->Size));
    m_pOutBuf->Line("    DSM_Entry       = <0x%08x>", Low32Entry(p->DSM_Entry));
    m_pOutBuf->Line("    DSM_MemAllocate = <0x%08x>", Low32Entry(p->DSM_MemAllocate));
    m_pOutBuf->Line("    DSM_MemFree     = <0x%08x>", Low32Entry(p->DSM_MemFree));
    m_pOutBuf->Line("    DSM_MemLock     = <0x%08x>", Low32Entry(p->DSM_MemLock));
    m_pOutBuf->Line("    DSM_MemUnlock   = <0x%08x>", Low32Entry(p->DSM_MemUnlock));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwCallbackAnalyze(const TW_CALLBACK* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CALLBACK = {");
    m_pOutBuf->Line("    CallBackProc = <0x%08x>", Low32(p->CallBackProc));
    m_pOutBuf->Line("    RefCon       = <0x%08x>", RefConBits(p->RefCon));
    LookupMsgName(static_cast<TW_UINT16>(p->Message), m_szNameBuf);
    m_pOutBuf->Line("    Message      = [%s]", m_szNameBuf);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwCallback2Analyze(const TW_CALLBACK2* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CALLBACK2 = {");
    m_pOutBuf->Line("    CallBackProc = <0x%08x>", Low32(p->CallBackProc));
    m_pOutBuf->Line("    RefCon       = <0x%08x>", static_cast<unsigned>(p->RefCon));
    LookupMsgName(static_cast<TW_UINT16>(p->Message), m_szNameBuf);
    m_pOutBuf->Line("    Message      = [%s]", m_szNameBuf);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwDeviceEventAnalyze(const TW_DEVICEEVENT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_DEVICEEVENT = {");
    m_pOutBuf->Line("    Event                  = [%s]", Name(twde_macros, p->Event));
    m_pOutBuf->Line("    DeviceName             = [%.*s]", FieldLength(p->DeviceName, sizeof(p->DeviceName)),
                    p->DeviceName);
    m_pOutBuf->Line("    BatteryMinutes         = [%ld]", Wide(p->BatteryMinutes));
    m_pOutBuf->Line("    BatteryPercentage      = [%d]", p->BatteryPercentage);
    m_pOutBuf->Line("    PowerSupply            = [%s]", Name(twps_macros, p->PowerSupply));
    m_pOutBuf->Line("    XResolution            = [%.3f]", Fix32Value(p->XResolution));
    m_pOutBuf->Line("    YResolution            = [%.3f]", Fix32Value(p->YResolution));
    m_pOutBuf->Line("    FlashUsed2             = [%s]", Name(twfl_macros, p->FlashUsed2));
    m_pOutBuf->Line("    AutomaticCapture       = [%ld]", Wide(p->AutomaticCapture));
    m_pOutBuf->Line("    TimeBeforeFirstCapture = [%ld]", Wide(p->TimeBeforeFirstCapture));
    m_pOutBuf->Line("    TimeBetweenCaptures    = [%ld]", Wide(p->TimeBetweenCaptures));
    m_pOutBuf->Line("  }");
    return true;
}

// The two unions show under their first names: Recursive (Subdirectories) and FileType
// (FileSystemType).
bool CParaAnalyze::TwFileSystemAnalyze(const TW_FILESYSTEM* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_FILESYSTEM = {");
    m_pOutBuf->Line("    InputName        = [%.*s]", FieldLength(p->InputName, sizeof(p->InputName)), p->InputName);
    m_pOutBuf->Line("    OutputName       = [%.*s]", FieldLength(p->OutputName, sizeof(p->OutputName)),
                    p->OutputName);
    m_pOutBuf->Line("    Context          = <0x%08x>", Low32(p->Context));
    m_pOutBuf->Line("    Recursive        = [%d]", p->Recursive);
    m_pOutBuf->Line("    FileType         = [%s]", Name(twfy_macros, p->FileType));
    m_pOutBuf->Line("    Size             = [%ld]", Wide(p->Size));
    m_pOutBuf->Line("    CreateTimeDate   = [%.*s]", FieldLength(p->CreateTimeDate, sizeof(p->CreateTimeDate)),
                    p->CreateTimeDate);
    m_pOutBuf->Line("    ModifiedTimeDate = [%.*s]", FieldLength(p->ModifiedTimeDate, sizeof(p->ModifiedTimeDate)),
                    p->ModifiedTimeDate);
    m_pOutBuf->Line("    FreeSpace        = [%ld]", Wide(p->FreeSpace));
    m_pOutBuf->Line("    NewImageSize     = [%d]", p->NewImageSize);
    m_pOutBuf->Line("    NumberOfFiles    = [%ld]", Wide(p->NumberOfFiles));
    m_pOutBuf->Line("    NumberOfSnippets = [%ld]", Wide(p->NumberOfSnippets));
    m_pOutBuf->Line("    DeviceGroupMask  = [0x%x]", p->DeviceGroupMask);
    m_pOutBuf->Line("  }");
    return true;
}

// The command and the data behind the two pointers are not read.
bool CParaAnalyze::TwPassThruAnalyze(const TW_PASSTHRU* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_PASSTHRU = {");
    m_pOutBuf->Line("    pCommand        = <0x%08x>", Low32(p->pCommand));
    m_pOutBuf->Line("    CommandBytes    = [%ld]", Wide(p->CommandBytes));
    m_pOutBuf->Line("    Direction       = [%s]", Name(twdr_macros, p->Direction));
    m_pOutBuf->Line("    pData           = <0x%08x>", Low32(p->pData));
    m_pOutBuf->Line("    DataBytes       = [%ld]", Wide(p->DataBytes));
    m_pOutBuf->Line("    DataBytesXfered = [%ld]", Wide(p->DataBytesXfered));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwMetricsAnalyze(const TW_METRICS* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_METRICS = {");
    m_pOutBuf->Line("    SizeOf     = [%ld]", Wide(p->SizeOf));
    m_pOutBuf->Line("    ImageCount = [%ld]", Wide(p->ImageCount));
    m_pOutBuf->Line("    SheetCount = [%ld]", Wide(p->SheetCount));
    m_pOutBuf->Line("  }");
    return true;
}

// The task and the reply behind the two handles are not read.
bool CParaAnalyze::TwTwainDirectAnalyze(const TW_TWAINDIRECT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_TWAINDIRECT = {");
    m_pOutBuf->Line("    SizeOf               = [%ld]", Wide(p->SizeOf));
    m_pOutBuf->Line("    CommunicationManager = [%d]", p->CommunicationManager);
    m_pOutBuf->Line("    Send                 = <0x%08x>", Low32(p->Send));
    m_pOutBuf->Line("    SendSize             = [%ld]", Wide(p->SendSize));
    m_pOutBuf->Line("    Receive              = <0x%08x>", Low32(p->Receive));
    m_pOutBuf->Line("    ReceiveSize          = [%ld]", Wide(p->ReceiveSize));
    m_pOutBuf->Line("  }");
    return true;
}
