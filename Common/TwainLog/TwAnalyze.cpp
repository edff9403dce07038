// The formatters of the session, control, image and colour structures: each appends the
// indented field-by-field rendering of one TWAIN structure, reading its fields by name.
#include "ParaAnalyze.h"

static const char* BoolText(TW_BOOL value) { return value != 0 ? "true" : "false"; }

// Unsigned 32-bit fields print through "%ld" as 0 to 4294967295.
static unsigned long Wide(TW_UINT32 value) { return value; }

// A small integer array on one line: the label (which opens with "{"), the elements separated
// by commas, "}" and the line end.
template <typename T, size_t N>
static void InlineList(CTraceText& out, const char* label, const T (&values)[N]) {
    out.Put("%s", label);
    for (size_t i = 0; i < N; ++i) out.Put(i + 1 < N ? "%d," : "%d", static_cast<int>(values[i]));
    out.Line("}");
}

// ---- session and control structures --------------------------------------------------------

bool CParaAnalyze::TwIdentityAnalyze(const TW_IDENTITY* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line(m_MSG == MSG_OPENDSM ? "  pOrigin:TW_IDENTITY = {" : "  TW_IDENTITY = {");
    m_pOutBuf->Line("    Id              = [%ld]", static_cast<long>(p->Id));
    m_pOutBuf->Line("    Version         =");
    TwVersionAnalyze(&p->Version);
    m_pOutBuf->Line("    ProtocolMajor   = [%d]", p->ProtocolMajor);
    m_pOutBuf->Line("    ProtocolMinor   = [%d]", p->ProtocolMinor);
    m_pOutBuf->Line("    SupportedGroups = [%ld]", Wide(p->SupportedGroups));
    m_pOutBuf->Line("    Manufacturer    = [%.*s]", FieldLength(p->Manufacturer, sizeof(p->Manufacturer)),
                    p->Manufacturer);
    m_pOutBuf->Line("    ProductFamily   = [%.*s]", FieldLength(p->ProductFamily, sizeof(p->ProductFamily)),
                    p->ProductFamily);
    m_pOutBuf->Line("    ProductName     = [%.*s]", FieldLength(p->ProductName, sizeof(p->ProductName)),
                    p->ProductName);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwVersionAnalyze(const TW_VERSION* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_VERSION = {");
    m_pOutBuf->Line("      MajorNum = [%d]", p->MajorNum);
    m_pOutBuf->Line("      MinorNum = [%d]", p->MinorNum);
    m_pOutBuf->Line("      Language = [%s]", Name(twlg_macros, p->Language));
    m_pOutBuf->Line("      Country  = [%s]", Name(twcy_macros, p->Country));
    m_pOutBuf->Line("      Info     = [%.*s]", FieldLength(p->Info, sizeof(p->Info)), p->Info);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwEventAnalyze(const TW_EVENT* p) {
    if (p == nullptr || p->TWMessage == MSG_NULL) return true;
    m_pOutBuf->Line("  TW_EVENT = {");
    m_pOutBuf->Line("    pEvent    = <0x%08x>", Low32(p->pEvent));
    LookupMsgName(p->TWMessage, m_szNameBuf);
    m_pOutBuf->Line("    TWMessage = [%s]", m_szNameBuf);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwPendingXfersAnalyze(const TW_PENDINGXFERS* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_PENDINGXFERS = {");
    m_pOutBuf->Line("    Count = [%d]", static_cast<TW_INT16>(p->Count));
    m_pOutBuf->Line("    EOJ   = [%ld]", Wide(p->EOJ));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwSetupMemXferAnalyze(const TW_SETUPMEMXFER* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_SETUPMEMXFER = {");
    m_pOutBuf->Line("    MinBufSize = [%ld]", Wide(p->MinBufSize));
    m_pOutBuf->Line("    MaxBufSize = [%ld]", Wide(p->MaxBufSize));
    m_pOutBuf->Line("    Preferred  = [%ld]", Wide(p->Preferred));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwSetupFileXferAnalyze(const TW_SETUPFILEXFER* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_SETUPFILEXFER = {");
    m_pOutBuf->Line("    FileName = [%.*s]", FieldLength(p->FileName, sizeof(p->FileName)), p->FileName);
    m_pOutBuf->Line("    Format   = [%s]", Name(twff_macros, p->Format));
    m_pOutBuf->Line("    VRefNum  = [%d]", p->VRefNum);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwStatusAnalyze(const TW_STATUS* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_STATUS = {");
    m_pOutBuf->Line("    ConditionCode = [%s]", Name(twcc_macros, p->ConditionCode));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwUserInterfaceAnalyze(const TW_USERINTERFACE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_USERINTERFACE = {");
    m_pOutBuf->Line("    ShowUI  = [%s]", BoolText(p->ShowUI));
    m_pOutBuf->Line("    ModalUI = [%s]", BoolText(p->ModalUI));
    m_pOutBuf->Line("    hParent = <0x%08x>", Low32(p->hParent));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwCustomDsDataAnalyze(const TW_CUSTOMDSDATA* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CUSTOMDSDATA = {");
    m_pOutBuf->Line("    InfoLength = [%d]", static_cast<TW_INT32>(p->InfoLength));
    m_pOutBuf->Line("    hData      = <0x%08x>", Low32(p->hData));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwMemoryAnalyze(const TW_MEMORY* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_MEMORY = {");
    m_pOutBuf->Line("      Flags  = [0x%x]", p->Flags);
    m_pOutBuf->Line("      Length = [%ld]", Wide(p->Length));
    m_pOutBuf->Line("      TheMem = <0x%08x>", Low32(p->TheMem));
    m_pOutBuf->Line("    }");
    return true;
}

// The item is the value the data pointer holds (a transfer group, an image handle), read by the
// DAT member; a null data pointer gives an item of 0.
bool CParaAnalyze::TwUint32(TW_UINT32 item) {
    m_pOutBuf->Line("  TW_UINT32 = {");
    m_pOutBuf->Line("    Item = <0x%08x>", item);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwTwunkIdentityAnalyze() { return true; }
bool CParaAnalyze::TwTwunkDsentryParamsAnalyze() { return true; }
bool CParaAnalyze::TwTwunkDsentryReturnAnalyze() { return true; }

// ---- image structures -----------------------------------------------------------------------

bool CParaAnalyze::TwImageInfoAnalyze(const TW_IMAGEINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_IMAGEINFO = {");
    m_pOutBuf->Line("    XResolution      = [%.3f]", Fix32Value(p->XResolution));
    m_pOutBuf->Line("    YResolution      = [%.3f]", Fix32Value(p->YResolution));
    m_pOutBuf->Line("    ImageWidth       = [%d]", p->ImageWidth);
    m_pOutBuf->Line("    ImageLength      = [%d]", p->ImageLength);
    m_pOutBuf->Line("    SamplesPerPixel  = [%d]", p->SamplesPerPixel);
    InlineList(*m_pOutBuf, "    BitsPerSamples[] = {", p->BitsPerSample);
    m_pOutBuf->Line("    BitsPerPixel     = [%d]", p->BitsPerPixel);
    m_pOutBuf->Line("    Planar           = [%s]", BoolText(p->Planar));
    m_pOutBuf->Line("    PixelType        = [%s]", Name(twpt_macros, p->PixelType));
    m_pOutBuf->Line("    Compression      = [%s]", Name(twcp_macros, p->Compression));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwImageLayoutAnalyze(const TW_IMAGELAYOUT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_IMAGELAYOUT = {");
    m_pOutBuf->Line("    Frame          =");
    TwFrameAnalyze(&p->Frame);
    m_pOutBuf->Line("    DocumentNumber = [%ld]", Wide(p->DocumentNumber));
    m_pOutBuf->Line("    PageNumber     = [%ld]", Wide(p->PageNumber));
    m_pOutBuf->Line("    FrameNumber    = [%ld]", Wide(p->FrameNumber));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwFrameAnalyze(const TW_FRAME* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_FRAME = {");
    m_pOutBuf->Line("      Left   = [%.3f]", Fix32Value(p->Left));
    m_pOutBuf->Line("      Top    = [%.3f]", Fix32Value(p->Top));
    m_pOutBuf->Line("      Right  = [%.3f]", Fix32Value(p->Right));
    m_pOutBuf->Line("      Bottom = [%.3f]", Fix32Value(p->Bottom));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwImageMemXferAnalyze(const TW_IMAGEMEMXFER* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_IMAGEMEMXFER = {");
    m_pOutBuf->Line("    Compression  = [%s]", Name(twcp_macros, p->Compression));
    m_pOutBuf->Line("    BytesPerRow  = [%ld]", Wide(p->BytesPerRow));
    m_pOutBuf->Line("    Columns      = [%ld]", Wide(p->Columns));
    m_pOutBuf->Line("    Rows         = [%ld]", Wide(p->Rows));
    m_pOutBuf->Line("    XOffset      = [%ld]", Wide(p->XOffset));
    m_pOutBuf->Line("    YOffset      = [%ld]", Wide(p->YOffset));
    m_pOutBuf->Line("    BytesWritten = [%ld]", Wide(p->BytesWritten));
    m_pOutBuf->Line("    Memory       =");
    TwMemoryAnalyze(&p->Memory);
    m_pOutBuf->Line("}");
    return true;
}

// Each table label stays open: the header of its TW_MEMORY continues the same line.
bool CParaAnalyze::TwJpegCompressionAnalyze(const TW_JPEGCOMPRESSION* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_JPEGCOMPRESSION = {");
    m_pOutBuf->Line("    ColorSpace       = [%s]", Name(twpt_macros, p->ColorSpace));
    m_pOutBuf->Line("    SubSampling      = [%ld]", Wide(p->SubSampling));
    m_pOutBuf->Line("    NumComponents    = [%d]", p->NumComponents);
    m_pOutBuf->Line("    RestartFrequency = [%d]", p->RestartFrequency);
    InlineList(*m_pOutBuf, "    QuantMap[]       = {", p->QuantMap);
    for (int i = 0; i < 4; ++i) {
        m_pOutBuf->Put("    QuantTable[%d]   = {", i);
        TwMemoryAnalyze(&p->QuantTable[i]);
    }
    InlineList(*m_pOutBuf, "    HuffmanMap[]     = {", p->HuffmanMap);
    for (int i = 0; i < 2; ++i) {
        m_pOutBuf->Put("    HuffmanDC[%d]    = {", i);
        TwMemoryAnalyze(&p->HuffmanDC[i]);
    }
    for (int i = 0; i < 2; ++i) {
        m_pOutBuf->Put("    HuffmanAC[%d]    = {", i);
        TwMemoryAnalyze(&p->HuffmanAC[i]);
    }
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwPalette8Analyze(const TW_PALETTE8* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_PALETTE8 = { it does not display. }");
    return true;
}

bool CParaAnalyze::TwExtImageInfoAnalyze(const TW_EXTIMAGEINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_EXTIMAGEINFO = {");
    m_pOutBuf->Line("    NumInfos = [%ld]", Wide(p->NumInfos));
    m_pOutBuf->Line("    Info     =");
    TwInfoAnalyze(&p->Info[0]);
    m_pOutBuf->Line("  }");
    return true;
}

// The linux build, whose TWAIN headers are the 2.5 ones, names the extended image information
// that TW_INFO.InfoID identifies; the macos build prints the number.
#if defined(TRACEWELL_ABI_LINUX)
static void InfoIdLine(CTraceText& out, char* nameBuf, TW_UINT16 infoId) {
    LookupName(twei_macros, infoId, nameBuf);
    out.Line("      InfoID   = [%s]", nameBuf);
}
#else
static void InfoIdLine(CTraceText& out, char*, TW_UINT16 infoId) { out.Line("      InfoID   = [%d]", infoId); }
#endif

bool CParaAnalyze::TwInfoAnalyze(const TW_INFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_INFO = {");
    InfoIdLine(*m_pOutBuf, m_szNameBuf, p->InfoID);
    m_pOutBuf->Line("      ItemType = [%s]", Name(twty_macros, p->ItemType));
    m_pOutBuf->Line("      NumItems = [%d]", p->NumItems);
    m_pOutBuf->Line("      CondCode = [%s]", Name(twrc_macros, p->CondCode));
    m_pOutBuf->Line("      Item     = [%ld]", Wide(p->Item));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwElement8Analyze(const TW_ELEMENT8* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_ELEMENT8 = {");
    m_pOutBuf->Line("      Index    = [%d]", p->Index);
    m_pOutBuf->Line("      Channel1 = [%d]", p->Channel1);
    m_pOutBuf->Line("      Channel2 = [%d]", p->Channel2);
    m_pOutBuf->Line("      Channel3 = [%d]", p->Channel3);
    m_pOutBuf->Line("    }");
    return true;
}

// ---- colour structures ----------------------------------------------------------------------

bool CParaAnalyze::TwCieColorAnalyze(const TW_CIECOLOR* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CIECOLOR = {");
    m_pOutBuf->Line("    ColorSpace      = [%s]", Name(twpt_macros, p->ColorSpace));
    m_pOutBuf->Line("    LowEndian       = [%d]", p->LowEndian);
    m_pOutBuf->Line("    DeviceDependent = [%d]", p->DeviceDependent);
    m_pOutBuf->Line("    VersionNumber   = [%ld]", Wide(static_cast<TW_UINT32>(p->VersionNumber)));
    m_pOutBuf->Line("    StageABC=");
    TwTransformStageAnalyze(&p->StageABC);
    m_pOutBuf->Line("    StageLMN=");
    TwTransformStageAnalyze(&p->StageLMN);
    m_pOutBuf->Line("    WhitePoint=");
    TwCiePointAnalyze(&p->WhitePoint);
    m_pOutBuf->Line("    BlackPoint=");
    TwCiePointAnalyze(&p->BlackPoint);
    m_pOutBuf->Line("    WhitePaper=");
    TwCiePointAnalyze(&p->WhitePaper);
    m_pOutBuf->Line("    BlackInk=");
    TwCiePointAnalyze(&p->BlackInk);
    m_pOutBuf->Line("    Samples[]       = [%.3f]", Fix32Value(p->Samples[0]));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwTransformStageAnalyze(const TW_TRANSFORMSTAGE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_TRANSFORMSTAGE = {");
    for (int d = 0; d < 3; ++d) {
        m_pOutBuf->Line("      Decode[%d] =", d);
        TwDecodeFunctionAnalyze(&p->Decode[d]);
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j) m_pOutBuf->Line("      Mix[%d][%d] = [%.3f]", i, j, Fix32Value(p->Mix[i][j]));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwDecodeFunctionAnalyze(const TW_DECODEFUNCTION* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("      TW_DECODEFUNCTION = {");
    m_pOutBuf->Line("        StartIn     = [%.3f]", Fix32Value(p->StartIn));
    m_pOutBuf->Line("        BreakIn     = [%.3f]", Fix32Value(p->BreakIn));
    m_pOutBuf->Line("        EndIn       = [%.3f]", Fix32Value(p->EndIn));
    m_pOutBuf->Line("        StartOut    = [%.3f]", Fix32Value(p->StartOut));
    m_pOutBuf->Line("        BreakOut    = [%.3f]", Fix32Value(p->BreakOut));
    m_pOutBuf->Line("        EndOut      = [%.3f]", Fix32Value(p->EndOut));
    m_pOutBuf->Line("        Gamma       = [%.3f]", Fix32Value(p->Gamma));
    m_pOutBuf->Line("        SampleCount = [%.3f]", Fix32Value(p->SampleCount));
    m_pOutBuf->Line("      }");
    return true;
}

bool CParaAnalyze::TwCiePointAnalyze(const TW_CIEPOINT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_CIEPOINT = {");
    m_pOutBuf->Line("      X = [%.3f]", Fix32Value(p->X));
    m_pOutBuf->Line("      Y = [%.3f]", Fix32Value(p->Y));
    m_pOutBuf->Line("      Z = [%.3f]", Fix32Value(p->Z));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwGrayResponseAnalyze(const TW_GRAYRESPONSE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_GRAYRESPONSE = {");
    m_pOutBuf->Line("    Response[0] =");
    TwElement8Analyze(&p->Response[0]);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwRgbResponseAnalyze(const TW_RGBRESPONSE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_RGBRESPONSE = {");
    m_pOutBuf->Line("    Response[0] =");
    TwElement8Analyze(&p->Response[0]);
    m_pOutBuf->Line("  }");
    return true;
}
