// PLACEHOLDER: replaced by the formatter implementation.
#include "ParaAnalyze.h"

#pragma GCC diagnostic ignored "-Wunused-parameter"
void CParaAnalyze::MakeItemList(TW_UINT16 cap, TW_UINT16 itemType, TW_UINT32 numItems, const TW_UINT8* firstItem) {}
void CParaAnalyze::ValToStr(TW_UINT16 cap, TW_UINT16 itemType, const void* item, char* dest) {}
void CParaAnalyze::ValToCap(TW_UINT16 cap, TW_UINT16 value, char* dest) {}
void CParaAnalyze::MakeCapSupportedCaps(TW_UINT16 cap, char* dest) {}
void CParaAnalyze::MakeCapKvVersion(TW_UINT16 version, char* dest) {}
bool CParaAnalyze::TwCapabilityAnalyze(const TW_CAPABILITY* p) { return true; }
bool CParaAnalyze::TwContainerAnalyaze(const TW_CAPABILITY* p) { return true; }
bool CParaAnalyze::TwOneValueAnalyze(TW_UINT16 cap, const TW_ONEVALUE* p) { return true; }
bool CParaAnalyze::TwRangeAnalyze(TW_UINT16 cap, const TW_RANGE* p) { return true; }
bool CParaAnalyze::TwEnumerationAnalyze(TW_UINT16 cap, const TW_ENUMERATION* p) { return true; }
bool CParaAnalyze::TwArrayAnalyze(TW_UINT16 cap, const TW_ARRAY* p) { return true; }
bool CParaAnalyze::TwCapExtAnalyze(const TW_CAPEXT* p) { return true; }
