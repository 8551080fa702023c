// Builds one log line the way every line of the plug-in is built: the parts in
// a wide stream, then the emitting operation's name in parentheses.
#pragma once

#include "NxLogger.h"

#include <sstream>
#include <string_view>

template <class... Parts>
void LogLine(LOG_MESSAGE_LEVEL level, std::wstring_view operation, const Parts&... parts) {
    std::wostringstream line;
    (line << ... << parts);
    line << L"(" << operation << L")";
    NxLogger::GetInstance().Log(level, line);
}

template <class... Parts>
void LogInfo(std::wstring_view operation, const Parts&... parts) {
    LogLine(LOG_LEVEL_INFO, operation, parts...);
}

template <class... Parts>
void LogError(std::wstring_view operation, const Parts&... parts) {
    LogLine(LOG_LEVEL_ERROR, operation, parts...);
}
