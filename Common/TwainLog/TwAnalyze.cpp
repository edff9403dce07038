// The formatters of the session, control, image and colour structures: each appends the
// indented field-by-field rendering of one TWAIN structure, reading its fields by name.
#include "ParaAnalyze.h"

static const char* BoolText(TW_BOOL value) { return value != 0 ? "true" : "false"; }

// A small integer array on one line: the label (which opens with "{"), the elements separated
// by commas, "}" and the line end.
template <typename T, size_t N>
static void InlineList(CTraceText& out, const char* label, const T (&values)[N]) {
    out.Put(label);
    for (size_t i = 0; i < N; ++i) out.Put(FMT_STRING("{}{}"), static_cast<int>(values[i]), i + 1 < N ? "," : "");
    out.Line("}");
}

// ---- session and control structures --------------------------------------------------------

bool CParaAnalyze::TwIdentityAnalyze(const TW_IDENTITY* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line(m_call.MSG == MSG_OPENDSM ? "  pOrigin:TW_IDENTITY = {" : "  TW_IDENTITY = {");
    m_pOutBuf->Line(FMT_STRING("    Id              = [{}]"), p->Id);
    m_pOutBuf->Line("    Version         =");
    TwVersionAnalyze(&p->Version);
    m_pOutBuf->Line(FMT_STRING("    ProtocolMajor   = [{}]"), p->ProtocolMajor);
    m_pOutBuf->Line(FMT_STRING("    ProtocolMinor   = [{}]"), p->ProtocolMinor);
    m_pOutBuf->Line(FMT_STRING("    SupportedGroups = [{}]"), p->SupportedGroups);
    m_pOutBuf->Line(FMT_STRING("    Manufacturer    = [{}]"), FieldText(p->Manufacturer));
    m_pOutBuf->Line(FMT_STRING("    ProductFamily   = [{}]"), FieldText(p->ProductFamily));
    m_pOutBuf->Line(FMT_STRING("    ProductName     = [{}]"), FieldText(p->ProductName));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwVersionAnalyze(const TW_VERSION* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_VERSION = {");
    m_pOutBuf->Line(FMT_STRING("      MajorNum = [{}]"), p->MajorNum);
    m_pOutBuf->Line(FMT_STRING("      MinorNum = [{}]"), p->MinorNum);
    m_pOutBuf->Line(FMT_STRING("      Language = [{}]"), Name(twlg_macros, p->Language));
    m_pOutBuf->Line(FMT_STRING("      Country  = [{}]"), Name(twcy_macros, p->Country));
    m_pOutBuf->Line(FMT_STRING("      Info     = [{}]"), FieldText(p->Info));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwEventAnalyze(const TW_EVENT* p) {
    if (p == nullptr || p->TWMessage == MSG_NULL) return true;
    m_pOutBuf->Line("  TW_EVENT = {");
    m_pOutBuf->Line(FMT_STRING("    pEvent    = <0x{:08x}>"), Low32(p->pEvent));
    char message[kNameSize];
    LookupMsgName(p->TWMessage, message);
    m_pOutBuf->Line(FMT_STRING("    TWMessage = [{}]"), message);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwPendingXfersAnalyze(const TW_PENDINGXFERS* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_PENDINGXFERS = {");
    m_pOutBuf->Line(FMT_STRING("    Count = [{}]"), static_cast<TW_INT16>(p->Count));
    m_pOutBuf->Line(FMT_STRING("    EOJ   = [{}]"), p->EOJ);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwSetupMemXferAnalyze(const TW_SETUPMEMXFER* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_SETUPMEMXFER = {");
    m_pOutBuf->Line(FMT_STRING("    MinBufSize = [{}]"), p->MinBufSize);
    m_pOutBuf->Line(FMT_STRING("    MaxBufSize = [{}]"), p->MaxBufSize);
    m_pOutBuf->Line(FMT_STRING("    Preferred  = [{}]"), p->Preferred);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwSetupFileXferAnalyze(const TW_SETUPFILEXFER* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_SETUPFILEXFER = {");
    m_pOutBuf->Line(FMT_STRING("    FileName = [{}]"), FieldText(p->FileName));
    m_pOutBuf->Line(FMT_STRING("    Format   = [{}]"), Name(twff_macros, p->Format));
    m_pOutBuf->Line(FMT_STRING("    VRefNum  = [{}]"), p->VRefNum);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwStatusAnalyze(const TW_STATUS* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_STATUS = {");
    m_pOutBuf->Line(FMT_STRING("    ConditionCode = [{}]"), Name(twcc_macros, p->ConditionCode));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwUserInterfaceAnalyze(const TW_USERINTERFACE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_USERINTERFACE = {");
    m_pOutBuf->Line(FMT_STRING("    ShowUI  = [{}]"), BoolText(p->ShowUI));
    m_pOutBuf->Line(FMT_STRING("    ModalUI = [{}]"), BoolText(p->ModalUI));
    m_pOutBuf->Line(FMT_STRING("    hParent = <0x{:08x}>"), Low32(p->hParent));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwCustomDsDataAnalyze(const TW_CUSTOMDSDATA* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CUSTOMDSDATA = {");
    m_pOutBuf->Line(FMT_STRING("    InfoLength = [{}]"), static_cast<TW_INT32>(p->InfoLength));
    m_pOutBuf->Line(FMT_STRING("    hData      = <0x{:08x}>"), Low32(p->hData));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwMemoryAnalyze(const TW_MEMORY* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_MEMORY = {");
    m_pOutBuf->Line(FMT_STRING("      Flags  = [0x{:x}]"), p->Flags);
    m_pOutBuf->Line(FMT_STRING("      Length = [{}]"), p->Length);
    m_pOutBuf->Line(FMT_STRING("      TheMem = <0x{:08x}>"), Low32(p->TheMem));
    m_pOutBuf->Line("    }");
    return true;
}

// The item is the value the data pointer holds (a transfer group, an image handle), read by the
// DAT member; a null data pointer gives an item of 0.
bool CParaAnalyze::TwUint32(TW_UINT32 item) {
    m_pOutBuf->Line("  TW_UINT32 = {");
    m_pOutBuf->Line(FMT_STRING("    Item = <0x{:08x}>"), item);
    m_pOutBuf->Line("  }");
    return true;
}

// ---- image structures -----------------------------------------------------------------------

bool CParaAnalyze::TwImageInfoAnalyze(const TW_IMAGEINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_IMAGEINFO = {");
    m_pOutBuf->Line(FMT_STRING("    XResolution      = [{:.3f}]"), Fix32Value(p->XResolution));
    m_pOutBuf->Line(FMT_STRING("    YResolution      = [{:.3f}]"), Fix32Value(p->YResolution));
    m_pOutBuf->Line(FMT_STRING("    ImageWidth       = [{}]"), p->ImageWidth);
    m_pOutBuf->Line(FMT_STRING("    ImageLength      = [{}]"), p->ImageLength);
    m_pOutBuf->Line(FMT_STRING("    SamplesPerPixel  = [{}]"), p->SamplesPerPixel);
    InlineList(*m_pOutBuf, "    BitsPerSamples[] = {", p->BitsPerSample);
    m_pOutBuf->Line(FMT_STRING("    BitsPerPixel     = [{}]"), p->BitsPerPixel);
    m_pOutBuf->Line(FMT_STRING("    Planar           = [{}]"), BoolText(p->Planar));
    m_pOutBuf->Line(FMT_STRING("    PixelType        = [{}]"), Name(twpt_macros, p->PixelType));
    m_pOutBuf->Line(FMT_STRING("    Compression      = [{}]"), Name(twcp_macros, p->Compression));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwImageLayoutAnalyze(const TW_IMAGELAYOUT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_IMAGELAYOUT = {");
    m_pOutBuf->Line("    Frame          =");
    TwFrameAnalyze(&p->Frame);
    m_pOutBuf->Line(FMT_STRING("    DocumentNumber = [{}]"), p->DocumentNumber);
    m_pOutBuf->Line(FMT_STRING("    PageNumber     = [{}]"), p->PageNumber);
    m_pOutBuf->Line(FMT_STRING("    FrameNumber    = [{}]"), p->FrameNumber);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwFrameAnalyze(const TW_FRAME* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_FRAME = {");
    m_pOutBuf->Line(FMT_STRING("      Left   = [{:.3f}]"), Fix32Value(p->Left));
    m_pOutBuf->Line(FMT_STRING("      Top    = [{:.3f}]"), Fix32Value(p->Top));
    m_pOutBuf->Line(FMT_STRING("      Right  = [{:.3f}]"), Fix32Value(p->Right));
    m_pOutBuf->Line(FMT_STRING("      Bottom = [{:.3f}]"), Fix32Value(p->Bottom));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwImageMemXferAnalyze(const TW_IMAGEMEMXFER* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_IMAGEMEMXFER = {");
    m_pOutBuf->Line(FMT_STRING("    Compression  = [{}]"), Name(twcp_macros, p->Compression));
    m_pOutBuf->Line(FMT_STRING("    BytesPerRow  = [{}]"), p->BytesPerRow);
    m_pOutBuf->Line(FMT_STRING("    Columns      = [{}]"), p->Columns);
    m_pOutBuf->Line(FMT_STRING("    Rows         = [{}]"), p->Rows);
    m_pOutBuf->Line(FMT_STRING("    XOffset      = [{}]"), p->XOffset);
    m_pOutBuf->Line(FMT_STRING("    YOffset      = [{}]"), p->YOffset);
    m_pOutBuf->Line(FMT_STRING("    BytesWritten = [{}]"), p->BytesWritten);
    m_pOutBuf->Line("    Memory       =");
    TwMemoryAnalyze(&p->Memory);
    m_pOutBuf->Line("}");
    return true;
}

// Each table label stays open: the header of its TW_MEMORY continues the same line.
bool CParaAnalyze::TwJpegCompressionAnalyze(const TW_JPEGCOMPRESSION* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_JPEGCOMPRESSION = {");
    m_pOutBuf->Line(FMT_STRING("    ColorSpace       = [{}]"), Name(twpt_macros, p->ColorSpace));
    m_pOutBuf->Line(FMT_STRING("    SubSampling      = [{}]"), p->SubSampling);
    m_pOutBuf->Line(FMT_STRING("    NumComponents    = [{}]"), p->NumComponents);
    m_pOutBuf->Line(FMT_STRING("    RestartFrequency = [{}]"), p->RestartFrequency);
    InlineList(*m_pOutBuf, "    QuantMap[]       = {", p->QuantMap);
    for (int i = 0; i < 4; ++i) {
        m_pOutBuf->Put(FMT_STRING("    QuantTable[{}]   = {{"), i);
        TwMemoryAnalyze(&p->QuantTable[i]);
    }
    InlineList(*m_pOutBuf, "    HuffmanMap[]     = {", p->HuffmanMap);
    for (int i = 0; i < 2; ++i) {
        m_pOutBuf->Put(FMT_STRING("    HuffmanDC[{}]    = {{"), i);
        TwMemoryAnalyze(&p->HuffmanDC[i]);
    }
    for (int i = 0; i < 2; ++i) {
        m_pOutBuf->Put(FMT_STRING("    HuffmanAC[{}]    = {{"), i);
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
    m_pOutBuf->Line(FMT_STRING("    NumInfos = [{}]"), p->NumInfos);
    m_pOutBuf->Line("    Info     =");
    TwInfoAnalyze(&p->Info[0]);
    m_pOutBuf->Line("  }");
    return true;
}

// The linux build, whose TWAIN headers are the 2.5 ones, names the extended image information
// that TW_INFO.InfoID identifies; the macos build prints the number.
#if !TRACEWELL_ABI_REFERENCE
static void InfoIdLine(CTraceText& out, TW_UINT16 infoId) {
    char name[kNameSize];
    LookupName(twei_macros, infoId, name);
    out.Line(FMT_STRING("      InfoID   = [{}]"), name);
}
#else
static void InfoIdLine(CTraceText& out, TW_UINT16 infoId) {
    out.Line(FMT_STRING("      InfoID   = [{}]"), infoId);
}
#endif

bool CParaAnalyze::TwInfoAnalyze(const TW_INFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_INFO = {");
    InfoIdLine(*m_pOutBuf, p->InfoID);
    m_pOutBuf->Line(FMT_STRING("      ItemType = [{}]"), Name(twty_macros, p->ItemType));
    m_pOutBuf->Line(FMT_STRING("      NumItems = [{}]"), p->NumItems);
    m_pOutBuf->Line(FMT_STRING("      CondCode = [{}]"), Name(twrc_macros, p->CondCode));
    m_pOutBuf->Line(FMT_STRING("      Item     = [{}]"), p->Item);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwElement8Analyze(const TW_ELEMENT8* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_ELEMENT8 = {");
    m_pOutBuf->Line(FMT_STRING("      Index    = [{}]"), p->Index);
    m_pOutBuf->Line(FMT_STRING("      Channel1 = [{}]"), p->Channel1);
    m_pOutBuf->Line(FMT_STRING("      Channel2 = [{}]"), p->Channel2);
    m_pOutBuf->Line(FMT_STRING("      Channel3 = [{}]"), p->Channel3);
    m_pOutBuf->Line("    }");
    return true;
}

// ---- colour structures ----------------------------------------------------------------------

bool CParaAnalyze::TwCieColorAnalyze(const TW_CIECOLOR* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TW_CIECOLOR = {");
    m_pOutBuf->Line(FMT_STRING("    ColorSpace      = [{}]"), Name(twpt_macros, p->ColorSpace));
    m_pOutBuf->Line(FMT_STRING("    LowEndian       = [{}]"), p->LowEndian);
    m_pOutBuf->Line(FMT_STRING("    DeviceDependent = [{}]"), p->DeviceDependent);
    m_pOutBuf->Line(FMT_STRING("    VersionNumber   = [{}]"), static_cast<TW_UINT32>(p->VersionNumber));
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
    m_pOutBuf->Line(FMT_STRING("    Samples[]       = [{:.3f}]"), Fix32Value(p->Samples[0]));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwTransformStageAnalyze(const TW_TRANSFORMSTAGE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_TRANSFORMSTAGE = {");
    for (int d = 0; d < 3; ++d) {
        m_pOutBuf->Line(FMT_STRING("      Decode[{}] ="), d);
        TwDecodeFunctionAnalyze(&p->Decode[d]);
    }
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            m_pOutBuf->Line(FMT_STRING("      Mix[{}][{}] = [{:.3f}]"), i, j, Fix32Value(p->Mix[i][j]));
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwDecodeFunctionAnalyze(const TW_DECODEFUNCTION* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("      TW_DECODEFUNCTION = {");
    m_pOutBuf->Line(FMT_STRING("        StartIn     = [{:.3f}]"), Fix32Value(p->StartIn));
    m_pOutBuf->Line(FMT_STRING("        BreakIn     = [{:.3f}]"), Fix32Value(p->BreakIn));
    m_pOutBuf->Line(FMT_STRING("        EndIn       = [{:.3f}]"), Fix32Value(p->EndIn));
    m_pOutBuf->Line(FMT_STRING("        StartOut    = [{:.3f}]"), Fix32Value(p->StartOut));
    m_pOutBuf->Line(FMT_STRING("        BreakOut    = [{:.3f}]"), Fix32Value(p->BreakOut));
    m_pOutBuf->Line(FMT_STRING("        EndOut      = [{:.3f}]"), Fix32Value(p->EndOut));
    m_pOutBuf->Line(FMT_STRING("        Gamma       = [{:.3f}]"), Fix32Value(p->Gamma));
    m_pOutBuf->Line(FMT_STRING("        SampleCount = [{:.3f}]"), Fix32Value(p->SampleCount));
    m_pOutBuf->Line("      }");
    return true;
}

bool CParaAnalyze::TwCiePointAnalyze(const TW_CIEPOINT* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TW_CIEPOINT = {");
    m_pOutBuf->Line(FMT_STRING("      X = [{:.3f}]"), Fix32Value(p->X));
    m_pOutBuf->Line(FMT_STRING("      Y = [{:.3f}]"), Fix32Value(p->Y));
    m_pOutBuf->Line(FMT_STRING("      Z = [{:.3f}]"), Fix32Value(p->Z));
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
