#include "HostFiles.h"

#include <windows.h>

#include <cstdio>
#include <memory>

std::wstring FileBesideHost(const wchar_t* overrideVariable, const wchar_t* fileName) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(overrideVariable, buffer, MAX_PATH);
    if (length > 0 && length < MAX_PATH) {
        return buffer;
    }
    const DWORD pathLength = GetModuleFileNameW(nullptr, buffer, MAX_PATH);
    std::wstring path(buffer, pathLength < MAX_PATH ? pathLength : 0);
    const size_t slash = path.find_last_of(L"\\/");
    path.resize(slash == std::wstring::npos ? 0 : slash + 1);
    return path + fileName;
}

void AppendLine(const std::wstring& path, const std::string& line) {
    const std::unique_ptr<FILE, int (*)(FILE*)> file(_wfopen(path.c_str(), L"ab"), &std::fclose);
    if (file) {
        const std::string withEnd = line + "\r\n";
        std::fwrite(withEnd.data(), 1, withEnd.size(), file.get());
    }
}

std::string TimestampPrefix() {
    SYSTEMTIME now;
    GetLocalTime(&now);
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "%04u-%02u-%02u %02u:%02u:%02u.%03u ", now.wYear,
                  now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond, now.wMilliseconds);
    return prefix;
}

std::string ToUtf8(std::wstring_view text) {
    if (text.empty()) {
        return {};
    }
    const int textLength = static_cast<int>(text.size());
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, text.data(), textLength, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), textLength, out.data(), size, nullptr,
                            nullptr);
    }
    return out;
}
