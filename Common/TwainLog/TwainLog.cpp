// PLACEHOLDER: replaced by the leveled message logger.
#include "TwainLog.h"

void CTwainLog::Message(ENUM_LOG_LEVEL_TW::enumLogLevel_tw, const char*, const char*, int, const char*, ...) {}
std::string CTwainLog::GetHeader() { return std::string(); }
std::string CTwainLog::GetLevelName(ENUM_LOG_LEVEL_TW::enumLogLevel_tw) { return std::string(); }
std::string CTwainLog::FormatString(const char*, va_list) { return std::string(); }
void CTwainLog::OutputDebugString(const char*) {}
