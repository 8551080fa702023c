// On Windows lines are appended to a UTF-8 log file: NX_LOG_FILE when that
// environment variable is set, else NxReVadiruServicePlugin.log beside the
// host executable. Each line: local time, level, thread id, logger name, text.
#include "NxLogger.h"

#include <windows.h>

#include <cstdio>
#include <memory>
#include <string>

namespace {

std::wstring LogFilePath() {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(L"NX_LOG_FILE", buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return buffer;
    }
    const DWORD pathLength = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, pathLength < MAX_PATH ? pathLength : 0);
    const size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + L"NxReVadiruServicePlugin.log";
}

std::string ToUtf8(const std::wstring& text) {
    if (text.empty()) {
        return {};
    }
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                         nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), out.data(),
                            size, nullptr, nullptr);
    }
    return out;
}

}  // namespace

void WriteDefaultLogLine(LOG_MESSAGE_LEVEL level, const std::wstring& loggerName,
                         const std::wstring& text) {
    static const std::wstring path = LogFilePath();
    SYSTEMTIME now;
    GetLocalTime(&now);
    char prefix[96];
    std::snprintf(prefix, sizeof prefix, "%04u-%02u-%02u %02u:%02u:%02u.%03u [%d] [%lu] ",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<int>(level),
                  static_cast<unsigned long>(GetCurrentThreadId()));
    std::string line = prefix;
    if (!loggerName.empty()) {
        line += "[" + ToUtf8(loggerName) + "] ";
    }
    line += ToUtf8(text) + "\r\n";
    const std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"ab"), &std::fclose);
    if (file) {
        std::fwrite(line.data(), 1, line.size(), file.get());
    }
}
