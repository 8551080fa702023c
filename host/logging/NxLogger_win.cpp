// On Windows lines are appended to a UTF-8 log file: NX_LOG_FILE when that
// environment variable is set, else NxReVadiruServicePlugin.log beside the
// host executable. Each line: local time, level, thread id, logger name, text.
#include "HostFiles.h"
#include "NxLogger.h"

#include <windows.h>

void WriteDefaultLogLine(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                         const std::wstring& text) {
    // Opened at the first line and kept open: opening a file for each line
    // costs more than the write itself.
    static const AppendOnlyFile file(FileBesideHost(L"NX_LOG_FILE", L"NxReVadiruServicePlugin.log"),
                                     AppendSharing::ThisProcess);
    // Appended piece by piece: GCC 12 misreports chained string additions (-Wrestrict).
    std::string line = TimestampPrefix();
    line.append("[").append(std::to_string(static_cast<int>(level))).append("] [");
    line.append(std::to_string(GetCurrentThreadId())).append("] ");
    if (!loggerName.empty()) {
        line.append("[").append(ToUtf8(loggerName)).append("] ");
    }
    file.AppendLine(line.append(ToUtf8(text)));
}
