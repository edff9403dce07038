// PLACEHOLDER: replaced by the formatter implementation.
#include "ParaAnalyze.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"
bool CParaAnalyze::TwKvAutoExposureAnalyze(const TWKV_AUTOEXPOSURE* p) { return true; }
bool CParaAnalyze::TwKvRgbMatrixAnalyze(const TWKV_RGBMATRIX* p) { return true; }
bool CParaAnalyze::TwKvColorSmoothingAnalyze(const TWKV_COLORSMOOTHING* p) { return true; }
bool CParaAnalyze::TwKvEventAnalyze() { return true; }
bool CParaAnalyze::TwHardwareInfoAnalyze(const TWKV_HARDWAREINFO* p) { return true; }
bool CParaAnalyze::TwKvSkewInfoAnalyze(const TWKV_LOCATIONDATA* p) { return true; }
bool CParaAnalyze::TwUnsharpMaskAnalyze(const TWKV_USMPARAM* p) { return true; }
bool CParaAnalyze::TwKvRedCorrectionMatrixAnalyze() { return true; }
bool CParaAnalyze::TwKvTwainCallbackMsgAnalyze() { return true; }
bool CParaAnalyze::TwKvSettingFrameAnalyze(const TWKV_SETTINGFRAME* p) { return true; }
bool CParaAnalyze::TwKvThresholdInfoAnalyze(const TWKV_THRESHOLDINFO* p) { return true; }
bool CParaAnalyze::TwKvReviseBaseParamAnalyze(const TWKV_REVISEBASEPARM* p) { return true; }
bool CParaAnalyze::TwKvUsmInfoAnalyze(const TWKV_USMINFO* p) { return true; }
void CParaAnalyze::SetColorCoeffData(const TW_FIX32* coeff) {}
