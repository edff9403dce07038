// The vendor extension structure formatters: auto exposure, colour matrix and smoothing, hardware
// information, skew, unsharp mask, setting frames and USM information with its nested blocks.
#include "ParaAnalyze.h"

static const char* TrueFalse(TW_UINT16 flag) { return flag != 0 ? "true" : "false"; }

// A Pascal string made zero-terminated. The length byte is trusted only up to the characters its
// field holds; the characters are already in the system's 8-bit encoding, so copying converts.
template <size_t N, size_t M>
static const char* PascalText(const TW_UINT8 (&field)[N], char (&text)[M]) {
    static_assert(N - 1 < M, "the converted text and its terminator fit the buffer");
    size_t length = field[0];
    if (length > N - 1) length = N - 1;
    memcpy(text, field + 1, length);
    text[length] = '\0';
    return text;
}

bool CParaAnalyze::TwKvAutoExposureAnalyze(const TWKV_AUTOEXPOSURE* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_AUTOEXPOSURE = {");
    m_pOutBuf->Line("    Handle       = <0x%08x>", p->Handle);
    m_pOutBuf->Line("    Left         = [%d]", p->Left);
    m_pOutBuf->Line("    Top          = [%d]", p->Top);
    m_pOutBuf->Line("    Right        = [%d]", p->Right);
    m_pOutBuf->Line("    Bottom       = [%d]", p->Bottom);
    m_pOutBuf->Line("    FilmType     = [%s]", Name(twkv_ft_macros, p->FilmType));
    m_pOutBuf->Line("    PreScanGamma = [%s]", Name(twkv_pg_macros, p->PreScanGamma));
    m_pOutBuf->Line("    ScreenGamma  = [%.3f]", Fix32Value(p->ScreenGamma));
    m_pOutBuf->Line("    GrayBalance  = [%ld]", long{p->GrayBalance});
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvRgbMatrixAnalyze(const TWKV_RGBMATRIX* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_RGBMATRIX = {");
    m_pOutBuf->Put("    ColorCoeff = {");
    SetColorCoeffData(p->ColorCoeff);
    m_pOutBuf->Line("}");
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvColorSmoothingAnalyze(const TWKV_COLORSMOOTHING* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_COLORSMOOTHING = {");
    m_pOutBuf->Line("    Handle       = <0x%08x>", p->Handle);
    m_pOutBuf->Line("    LeftX        = [%ld]", long{p->LeftX});
    m_pOutBuf->Line("    LeftY        = [%ld]", long{p->LeftY});
    m_pOutBuf->Line("    TopX         = [%ld]", long{p->TopX});
    m_pOutBuf->Line("    TopY         = [%ld]", long{p->TopY});
    m_pOutBuf->Line("    RightX       = [%ld]", long{p->RightX});
    m_pOutBuf->Line("    RightY       = [%ld]", long{p->RightY});
    m_pOutBuf->Line("    BottomX      = [%ld]", long{p->BottomX});
    m_pOutBuf->Line("    BottomY      = [%ld]", long{p->BottomY});
    m_pOutBuf->Line("    Reserved     = [%ld]", long{p->Reserved});
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvEventAnalyze() { return true; }

bool CParaAnalyze::TwHardwareInfoAnalyze(const TWKV_HARDWAREINFO* p) {
    if (p == nullptr) return true;
    char text[128];
    m_pOutBuf->Line("  TWKV_HARDWAREINFO = {");
    m_pOutBuf->Line("    ModelID                = [0x%02x]", p->ModelID);
    m_pOutBuf->Line("    ProductName            = [%s]", PascalText(p->ProductName, text));
    m_pOutBuf->Line("    ModelName              = [%s]", PascalText(p->ModelName, text));
    m_pOutBuf->Line("    OptXResolution         = [%ld]", long{p->OptXResolution});
    m_pOutBuf->Line("    OptYResolution         = [%ld]", long{p->OptYResolution});
    m_pOutBuf->Line("    MinResolution          = [%ld]", long{p->MinResolution});
    m_pOutBuf->Line("    MaxResolution          = [%ld]", long{p->MaxResolution});
    m_pOutBuf->Line("    MaxMoireResolution     = [%ld]", long{p->MaxMoireResolution});
    m_pOutBuf->Line("    MaxPixelofWidth        = [%ld]", long{p->MaxPixelofWidth});
    m_pOutBuf->Line("    PixelSizeofFB[0]       = [%ld]", long{p->PixelSizeofFB[0]});
    m_pOutBuf->Line("    PixelSizeofFB[1]       = [%ld]", long{p->PixelSizeofFB[1]});
    m_pOutBuf->Line("    PixelSizeofADF[0]      = [%ld]", long{p->PixelSizeofADF[0]});
    m_pOutBuf->Line("    PixelSizeofADF[1]      = [%ld]", long{p->PixelSizeofADF[1]});
    m_pOutBuf->Line("    PixelSizeofTPU[0]      = [%ld]", long{p->PixelSizeofTPU[0]});
    m_pOutBuf->Line("    PixelSizeofTPU[1]      = [%ld]", long{p->PixelSizeofTPU[1]});
    m_pOutBuf->Line("    BitDepth               = [0x%02x]", p->BitDepth);
    m_pOutBuf->Line("    InterfaceSupport       = [%d]", p->InterfaceSupport);
    m_pOutBuf->Line("    CommandType            = [%ld]", long{p->CommandType});
    m_pOutBuf->Line("    ConnectInterfaceType   = [%ld]", long{p->ConnectInterfaceType});
    m_pOutBuf->Line("    StandAloneModeSupport  = [%s]", TrueFalse(p->StandAloneModeSupport));
    m_pOutBuf->Line("    FullAutoModeSupport    = [%s]", TrueFalse(p->FullAutoModeSupport));
    m_pOutBuf->Line("    SimpleModeSupport      = [%s]", TrueFalse(p->SimpleModeSupport));
    m_pOutBuf->Line("    DocumentModeSupport    = [%s]", TrueFalse(p->DocumentModeSupport));
    m_pOutBuf->Line("    AdvancedModeSupport    = [%s]", TrueFalse(p->AdvancedModeSupport));
    m_pOutBuf->Line("    TCMSupport             = [%s]", TrueFalse(p->TCMSupport));
    m_pOutBuf->Line("    FIT3                   = [%s]", TrueFalse(p->FIT3));
    m_pOutBuf->Line("    AutoLayoutSupportFB    = [%s]", TrueFalse(p->AutoLayoutSupportFB));
    m_pOutBuf->Line("    AutoLayoutSupportADF   = [%s]", TrueFalse(p->AutoLayoutSupportADF));
    m_pOutBuf->Line("    HalftoneSupport        = [%s]", TrueFalse(p->HalftoneSupport));
    m_pOutBuf->Line("    HTModeSupport          = [%s]", TrueFalse(p->HTModeSupport));
    m_pOutBuf->Line("    HTDitherSupport        = [%s]", TrueFalse(p->HTDitherSupport));
    m_pOutBuf->Line("    HTAASSupport           = [%s]", TrueFalse(p->HTAASSupport));
    m_pOutBuf->Line("    HTTETSupport           = [%s]", TrueFalse(p->HTTETSupport));
    m_pOutBuf->Line("    TableArrangement       = [%d]", p->TableArrangement);
    m_pOutBuf->Line("    OptionSupport          = [0x%04x]", p->OptionSupport);
    m_pOutBuf->Line("    FocusSupport           = [%d]", p->FocusSupport);
    m_pOutBuf->Line("    FocusArea[0]           = [%ld]", long{p->FocusArea[0]});
    m_pOutBuf->Line("    FocusArea[1]           = [%ld]", long{p->FocusArea[1]});
    m_pOutBuf->Line("    ProfileNameFB          = [%.*s]", FieldLength(p->ProfileNameFB, sizeof(p->ProfileNameFB)),
                    p->ProfileNameFB);
    m_pOutBuf->Line("    ProfileNameTPU         = [%.*s]",
                    FieldLength(p->ProfileNameTPU, sizeof(p->ProfileNameTPU)), p->ProfileNameTPU);
    m_pOutBuf->Put("    ColorCorrectionFB      = [");
    SetColorCoeffData(p->ColorCorrectionFB);
    m_pOutBuf->Line("]");
    m_pOutBuf->Put("    ColorCorrectionPOSI    = [");
    SetColorCoeffData(p->ColorCorrectionPOSI);
    m_pOutBuf->Line("]");
    m_pOutBuf->Put("    ColorCorrectionNEGA    = [");
    SetColorCoeffData(p->ColorCorrectionNEGA);
    m_pOutBuf->Line("]");
    m_pOutBuf->Put("    TCMColorCorrectionFB   = [");
    SetColorCoeffData(p->TCMColorCorrectionFB);
    m_pOutBuf->Line("]");
    m_pOutBuf->Put("    TCMColorCorrectionPOSI = [");
    SetColorCoeffData(p->TCMColorCorrectionPOSI);
    m_pOutBuf->Line("]");
    m_pOutBuf->Put("    TCMColorCorrectionNEGA = [");
    SetColorCoeffData(p->TCMColorCorrectionNEGA);
    m_pOutBuf->Line("]");
    m_pOutBuf->Line("    ROMVersion             = [%.*s]", FieldLength(p->ROMVersion, sizeof(p->ROMVersion)),
                    p->ROMVersion);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvSkewInfoAnalyze(const TWKV_LOCATIONDATA* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_LOCATIONDATA = {");
    m_pOutBuf->Line("    BitsPerPixel = [%d]", p->BitsPerPixel);
    m_pOutBuf->Line("    topPoint     = [%ld]", long{p->topPoint});
    m_pOutBuf->Line("    leftPoint    = [%ld]", long{p->leftPoint});
    m_pOutBuf->Line("    locateW      = [%ld]", long{p->locateW});
    m_pOutBuf->Line("    locateH      = [%ld]", long{p->locateH});
    m_pOutBuf->Line("    ActualImgW   = [%ld]", long{p->ActualImgW});
    m_pOutBuf->Line("    ActualImgH   = [%ld]", long{p->ActualImgH});
    m_pOutBuf->Line("    xTangent     = [%ld]", long{p->xTangent});
    m_pOutBuf->Line("    yTangent     = [%ld]", long{p->yTangent});
    m_pOutBuf->Line("    Theta        = [%.3f]", Fix32Value(p->Theta));
    m_pOutBuf->Line("  }");
    return true;
}

// The block keeps its nested indentation even as the top-level structure of its DAT.
bool CParaAnalyze::TwUnsharpMaskAnalyze(const TWKV_USMPARAM* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TWKV_USMPARAM = {");
    m_pOutBuf->Line("      Amount    = [%d]", p->Amount);
    m_pOutBuf->Line("      Radius    = [%d]", p->Radius);
    m_pOutBuf->Line("      Threshold = [%d]", p->Threshold);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwKvRedCorrectionMatrixAnalyze() { return true; }

bool CParaAnalyze::TwKvTwainCallbackMsgAnalyze() { return true; }

bool CParaAnalyze::TwKvSettingFrameAnalyze(const TWKV_SETTINGFRAME* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_SETTINGFRAME = {");
    m_pOutBuf->Line("    NumFrame    = [%d]", p->NumFrame);
    m_pOutBuf->Line("    CurrentNum  = [%d]", p->CurrentNum);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvThresholdInfoAnalyze(const TWKV_THRESHOLDINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("      TWKV_THRESHOLDINFO = {");
    m_pOutBuf->Line("        ShadowL    = [%d]", p->ShadowL);
    m_pOutBuf->Line("        ShadowH    = [%d]", p->ShadowH);
    m_pOutBuf->Line("        HighlightH = [%d]", p->HighlightH);
    m_pOutBuf->Line("        HighlightL = [%d]", p->HighlightL);
    m_pOutBuf->Line("      }");
    return true;
}

bool CParaAnalyze::TwKvReviseBaseParamAnalyze(const TWKV_REVISEBASEPARM* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TWKV_REVISEBASEPARM = {");
    m_pOutBuf->Line("      InputRevise  = ");
    TwKvThresholdInfoAnalyze(&p->InputRevise);
    m_pOutBuf->Line("      OutputRevise = ");
    TwKvThresholdInfoAnalyze(&p->OutputRevise);
    m_pOutBuf->Line("      BlurMax      = [%d]", p->BlurMax);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwKvUsmInfoAnalyze(const TWKV_USMINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_USMINFO = {");
    m_pOutBuf->Line("    InputResolution = [%d]", p->InputResolution);
    m_pOutBuf->Line("    InUSMLevel      = [%d]", p->InUSMLevel);
    m_pOutBuf->Line("    InFilmType      = [%d]", p->InFilmType);
    m_pOutBuf->Line("    USMParm         = ");
    TwUnsharpMaskAnalyze(&p->USMParm);
    m_pOutBuf->Line("    ReviseParm      = ");
    TwKvReviseBaseParamAnalyze(&p->ReviseParm);
    m_pOutBuf->Line("  }");
    return true;
}

// Nine coefficients on one line, separated by commas and nothing else; no line end.
void CParaAnalyze::SetColorCoeffData(const TW_FIX32* coeff) {
    if (coeff == nullptr) return;
    constexpr int kCount = 9;
    for (int i = 0; i < kCount; ++i) m_pOutBuf->Put("%.3f%s", Fix32Value(coeff[i]), i < kCount - 1 ? "," : "");
}
