// PLACEHOLDER: replaced by the formatter implementation.
#include "ParaAnalyze.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"
bool CParaAnalyze::TwIdentityAnalyze(const TW_IDENTITY* p) { return true; }
bool CParaAnalyze::TwVersionAnalyze(const TW_VERSION* p) { return true; }
bool CParaAnalyze::TwEventAnalyze(const TW_EVENT* p) { return true; }
bool CParaAnalyze::TwPendingXfersAnalyze(const TW_PENDINGXFERS* p) { return true; }
bool CParaAnalyze::TwSetupMemXferAnalyze(const TW_SETUPMEMXFER* p) { return true; }
bool CParaAnalyze::TwSetupFileXferAnalyze(const TW_SETUPFILEXFER* p) { return true; }
bool CParaAnalyze::TwStatusAnalyze(const TW_STATUS* p) { return true; }
bool CParaAnalyze::TwUserInterfaceAnalyze(const TW_USERINTERFACE* p) { return true; }
bool CParaAnalyze::TwCustomDsDataAnalyze(const TW_CUSTOMDSDATA* p) { return true; }
bool CParaAnalyze::TwMemoryAnalyze(const TW_MEMORY* p) { return true; }
bool CParaAnalyze::TwUint32(const void* p) { return true; }
bool CParaAnalyze::TwTwunkIdentityAnalyze() { return true; }
bool CParaAnalyze::TwTwunkDsentryParamsAnalyze() { return true; }
bool CParaAnalyze::TwTwunkDsentryReturnAnalyze() { return true; }
bool CParaAnalyze::TwImageInfoAnalyze(const TW_IMAGEINFO* p) { return true; }
bool CParaAnalyze::TwImageLayoutAnalyze(const TW_IMAGELAYOUT* p) { return true; }
bool CParaAnalyze::TwFrameAnalyze(const TW_FRAME* p) { return true; }
bool CParaAnalyze::TwImageMemXferAnalyze(const TW_IMAGEMEMXFER* p) { return true; }
bool CParaAnalyze::TwJpegCompressionAnalyze(const TW_JPEGCOMPRESSION* p) { return true; }
bool CParaAnalyze::TwPalette8Analyze(const TW_PALETTE8* p) { return true; }
bool CParaAnalyze::TwExtImageInfoAnalyze(const TW_EXTIMAGEINFO* p) { return true; }
bool CParaAnalyze::TwInfoAnalyze(const TW_INFO* p) { return true; }
bool CParaAnalyze::TwElement8Analyze(const TW_ELEMENT8* p) { return true; }
bool CParaAnalyze::TwCieColorAnalyze(const TW_CIECOLOR* p) { return true; }
bool CParaAnalyze::TwTransformStageAnalyze(const TW_TRANSFORMSTAGE* p) { return true; }
bool CParaAnalyze::TwDecodeFunctionAnalyze(const TW_DECODEFUNCTION* p) { return true; }
bool CParaAnalyze::TwCiePointAnalyze(const TW_CIEPOINT* p) { return true; }
bool CParaAnalyze::TwGrayResponseAnalyze(const TW_GRAYRESPONSE* p) { return true; }
bool CParaAnalyze::TwRgbResponseAnalyze(const TW_RGBRESPONSE* p) { return true; }
