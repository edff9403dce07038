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
    m_pOutBuf->Line(FMT_STRING("    Handle       = <0x{:08x}>"), p->Handle);
    m_pOutBuf->Line(FMT_STRING("    Left         = [{}]"), p->Left);
    m_pOutBuf->Line(FMT_STRING("    Top          = [{}]"), p->Top);
    m_pOutBuf->Line(FMT_STRING("    Right        = [{}]"), p->Right);
    m_pOutBuf->Line(FMT_STRING("    Bottom       = [{}]"), p->Bottom);
    m_pOutBuf->Line(FMT_STRING("    FilmType     = [{}]"), Name(twkv_ft_macros, p->FilmType));
    m_pOutBuf->Line(FMT_STRING("    PreScanGamma = [{}]"), Name(twkv_pg_macros, p->PreScanGamma));
    m_pOutBuf->Line(FMT_STRING("    ScreenGamma  = [{:.3f}]"), Fix32Value(p->ScreenGamma));
    m_pOutBuf->Line(FMT_STRING("    GrayBalance  = [{}]"), p->GrayBalance);
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
    m_pOutBuf->Line(FMT_STRING("    Handle       = <0x{:08x}>"), p->Handle);
    m_pOutBuf->Line(FMT_STRING("    LeftX        = [{}]"), p->LeftX);
    m_pOutBuf->Line(FMT_STRING("    LeftY        = [{}]"), p->LeftY);
    m_pOutBuf->Line(FMT_STRING("    TopX         = [{}]"), p->TopX);
    m_pOutBuf->Line(FMT_STRING("    TopY         = [{}]"), p->TopY);
    m_pOutBuf->Line(FMT_STRING("    RightX       = [{}]"), p->RightX);
    m_pOutBuf->Line(FMT_STRING("    RightY       = [{}]"), p->RightY);
    m_pOutBuf->Line(FMT_STRING("    BottomX      = [{}]"), p->BottomX);
    m_pOutBuf->Line(FMT_STRING("    BottomY      = [{}]"), p->BottomY);
    m_pOutBuf->Line(FMT_STRING("    Reserved     = [{}]"), p->Reserved);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwHardwareInfoAnalyze(const TWKV_HARDWAREINFO* p) {
    if (p == nullptr) return true;
    char text[128];
    m_pOutBuf->Line("  TWKV_HARDWAREINFO = {");
    m_pOutBuf->Line(FMT_STRING("    ModelID                = [0x{:02x}]"), p->ModelID);
    m_pOutBuf->Line(FMT_STRING("    ProductName            = [{}]"), PascalText(p->ProductName, text));
    m_pOutBuf->Line(FMT_STRING("    ModelName              = [{}]"), PascalText(p->ModelName, text));
    m_pOutBuf->Line(FMT_STRING("    OptXResolution         = [{}]"), p->OptXResolution);
    m_pOutBuf->Line(FMT_STRING("    OptYResolution         = [{}]"), p->OptYResolution);
    m_pOutBuf->Line(FMT_STRING("    MinResolution          = [{}]"), p->MinResolution);
    m_pOutBuf->Line(FMT_STRING("    MaxResolution          = [{}]"), p->MaxResolution);
    m_pOutBuf->Line(FMT_STRING("    MaxMoireResolution     = [{}]"), p->MaxMoireResolution);
    m_pOutBuf->Line(FMT_STRING("    MaxPixelofWidth        = [{}]"), p->MaxPixelofWidth);
    m_pOutBuf->Line(FMT_STRING("    PixelSizeofFB[0]       = [{}]"), p->PixelSizeofFB[0]);
    m_pOutBuf->Line(FMT_STRING("    PixelSizeofFB[1]       = [{}]"), p->PixelSizeofFB[1]);
    m_pOutBuf->Line(FMT_STRING("    PixelSizeofADF[0]      = [{}]"), p->PixelSizeofADF[0]);
    m_pOutBuf->Line(FMT_STRING("    PixelSizeofADF[1]      = [{}]"), p->PixelSizeofADF[1]);
    m_pOutBuf->Line(FMT_STRING("    PixelSizeofTPU[0]      = [{}]"), p->PixelSizeofTPU[0]);
    m_pOutBuf->Line(FMT_STRING("    PixelSizeofTPU[1]      = [{}]"), p->PixelSizeofTPU[1]);
    m_pOutBuf->Line(FMT_STRING("    BitDepth               = [0x{:02x}]"), p->BitDepth);
    m_pOutBuf->Line(FMT_STRING("    InterfaceSupport       = [{}]"), p->InterfaceSupport);
    m_pOutBuf->Line(FMT_STRING("    CommandType            = [{}]"), p->CommandType);
    m_pOutBuf->Line(FMT_STRING("    ConnectInterfaceType   = [{}]"), p->ConnectInterfaceType);
    m_pOutBuf->Line(FMT_STRING("    StandAloneModeSupport  = [{}]"), TrueFalse(p->StandAloneModeSupport));
    m_pOutBuf->Line(FMT_STRING("    FullAutoModeSupport    = [{}]"), TrueFalse(p->FullAutoModeSupport));
    m_pOutBuf->Line(FMT_STRING("    SimpleModeSupport      = [{}]"), TrueFalse(p->SimpleModeSupport));
    m_pOutBuf->Line(FMT_STRING("    DocumentModeSupport    = [{}]"), TrueFalse(p->DocumentModeSupport));
    m_pOutBuf->Line(FMT_STRING("    AdvancedModeSupport    = [{}]"), TrueFalse(p->AdvancedModeSupport));
    m_pOutBuf->Line(FMT_STRING("    TCMSupport             = [{}]"), TrueFalse(p->TCMSupport));
    m_pOutBuf->Line(FMT_STRING("    FIT3                   = [{}]"), TrueFalse(p->FIT3));
    m_pOutBuf->Line(FMT_STRING("    AutoLayoutSupportFB    = [{}]"), TrueFalse(p->AutoLayoutSupportFB));
    m_pOutBuf->Line(FMT_STRING("    AutoLayoutSupportADF   = [{}]"), TrueFalse(p->AutoLayoutSupportADF));
    m_pOutBuf->Line(FMT_STRING("    HalftoneSupport        = [{}]"), TrueFalse(p->HalftoneSupport));
    m_pOutBuf->Line(FMT_STRING("    HTModeSupport          = [{}]"), TrueFalse(p->HTModeSupport));
    m_pOutBuf->Line(FMT_STRING("    HTDitherSupport        = [{}]"), TrueFalse(p->HTDitherSupport));
    m_pOutBuf->Line(FMT_STRING("    HTAASSupport           = [{}]"), TrueFalse(p->HTAASSupport));
    m_pOutBuf->Line(FMT_STRING("    HTTETSupport           = [{}]"), TrueFalse(p->HTTETSupport));
    m_pOutBuf->Line(FMT_STRING("    TableArrangement       = [{}]"), p->TableArrangement);
    m_pOutBuf->Line(FMT_STRING("    OptionSupport          = [0x{:04x}]"), p->OptionSupport);
    m_pOutBuf->Line(FMT_STRING("    FocusSupport           = [{}]"), p->FocusSupport);
    m_pOutBuf->Line(FMT_STRING("    FocusArea[0]           = [{}]"), p->FocusArea[0]);
    m_pOutBuf->Line(FMT_STRING("    FocusArea[1]           = [{}]"), p->FocusArea[1]);
    m_pOutBuf->Line(FMT_STRING("    ProfileNameFB          = [{}]"), FieldText(p->ProfileNameFB));
    m_pOutBuf->Line(FMT_STRING("    ProfileNameTPU         = [{}]"), FieldText(p->ProfileNameTPU));
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
    m_pOutBuf->Line(FMT_STRING("    ROMVersion             = [{}]"), FieldText(p->ROMVersion));
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvSkewInfoAnalyze(const TWKV_LOCATIONDATA* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_LOCATIONDATA = {");
    m_pOutBuf->Line(FMT_STRING("    BitsPerPixel = [{}]"), p->BitsPerPixel);
    m_pOutBuf->Line(FMT_STRING("    topPoint     = [{}]"), p->topPoint);
    m_pOutBuf->Line(FMT_STRING("    leftPoint    = [{}]"), p->leftPoint);
    m_pOutBuf->Line(FMT_STRING("    locateW      = [{}]"), p->locateW);
    m_pOutBuf->Line(FMT_STRING("    locateH      = [{}]"), p->locateH);
    m_pOutBuf->Line(FMT_STRING("    ActualImgW   = [{}]"), p->ActualImgW);
    m_pOutBuf->Line(FMT_STRING("    ActualImgH   = [{}]"), p->ActualImgH);
    m_pOutBuf->Line(FMT_STRING("    xTangent     = [{}]"), p->xTangent);
    m_pOutBuf->Line(FMT_STRING("    yTangent     = [{}]"), p->yTangent);
    m_pOutBuf->Line(FMT_STRING("    Theta        = [{:.3f}]"), Fix32Value(p->Theta));
    m_pOutBuf->Line("  }");
    return true;
}

// The block keeps its nested indentation even as the top-level structure of its DAT.
bool CParaAnalyze::TwUnsharpMaskAnalyze(const TWKV_USMPARAM* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("    TWKV_USMPARAM = {");
    m_pOutBuf->Line(FMT_STRING("      Amount    = [{}]"), p->Amount);
    m_pOutBuf->Line(FMT_STRING("      Radius    = [{}]"), p->Radius);
    m_pOutBuf->Line(FMT_STRING("      Threshold = [{}]"), p->Threshold);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwKvSettingFrameAnalyze(const TWKV_SETTINGFRAME* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_SETTINGFRAME = {");
    m_pOutBuf->Line(FMT_STRING("    NumFrame    = [{}]"), p->NumFrame);
    m_pOutBuf->Line(FMT_STRING("    CurrentNum  = [{}]"), p->CurrentNum);
    m_pOutBuf->Line("  }");
    return true;
}

bool CParaAnalyze::TwKvThresholdInfoAnalyze(const TWKV_THRESHOLDINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("      TWKV_THRESHOLDINFO = {");
    m_pOutBuf->Line(FMT_STRING("        ShadowL    = [{}]"), p->ShadowL);
    m_pOutBuf->Line(FMT_STRING("        ShadowH    = [{}]"), p->ShadowH);
    m_pOutBuf->Line(FMT_STRING("        HighlightH = [{}]"), p->HighlightH);
    m_pOutBuf->Line(FMT_STRING("        HighlightL = [{}]"), p->HighlightL);
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
    m_pOutBuf->Line(FMT_STRING("      BlurMax      = [{}]"), p->BlurMax);
    m_pOutBuf->Line("    }");
    return true;
}

bool CParaAnalyze::TwKvUsmInfoAnalyze(const TWKV_USMINFO* p) {
    if (p == nullptr) return true;
    m_pOutBuf->Line("  TWKV_USMINFO = {");
    m_pOutBuf->Line(FMT_STRING("    InputResolution = [{}]"), p->InputResolution);
    m_pOutBuf->Line(FMT_STRING("    InUSMLevel      = [{}]"), p->InUSMLevel);
    m_pOutBuf->Line(FMT_STRING("    InFilmType      = [{}]"), p->InFilmType);
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
    for (int i = 0; i < kCount; ++i)
        m_pOutBuf->Put(FMT_STRING("{:.3f}{}"), Fix32Value(coeff[i]), i < kCount - 1 ? "," : "");
}
