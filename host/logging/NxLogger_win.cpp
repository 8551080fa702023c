// On Windows lines are appended to a UTF-8 log file: NX_LOG_FILE when that
// environment variable is set, else NxReVadiruServicePlugin.log beside the
// host executable. Each line: local time, level, thread id, logger name, text.
#include "HostFiles.h"
#include "NxLogger.h"

#include <windows.h>

void WriteDefaultLogLine(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                         const std::wstring& text) {
    static const std::wstring path = FileBesideHost(L"NX_LOG_FILE", L"NxReVadiruServicePlugin.log");
    std::string line = TimestampPrefix() + "[" + std::to_string(static_cast<int>(level)) + "] [" +
                       std::to_string(GetCurrentThreadId()) + "] ";
    if (!loggerName.empty()) {
        line += "[" + ToUtf8(loggerName) + "] ";
    }
    AppendLine(path, line + ToUtf8(text));
}
