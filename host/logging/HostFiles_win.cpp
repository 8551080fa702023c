#include "HostFiles.h"

#include <windows.h>

#include <cstdio>

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

namespace {

// Wine finds a file's end and writes there in two steps, so two handles
// appending at once can write over each other; Windows appends atomically.
// One lock, shared by every process of ours, keeps lines whole under both.
constexpr wchar_t kAppendLockName[] = L"NxHostAppendOnlyFileLock";
// A holder that never lets go costs the line its order, never the service.
constexpr DWORD kAppendLockWaitMs = 2000;

}  // namespace

// Append-only access makes every write land at the file's end.
AppendOnlyFile::AppendOnlyFile(const std::wstring& path)
    : handle_(CreateFileW(path.c_str(), FILE_APPEND_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)),
      appendLock_(CreateMutexW(nullptr, FALSE, kAppendLockName)) {}

AppendOnlyFile::~AppendOnlyFile() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
    }
    if (appendLock_ != nullptr) {
        CloseHandle(appendLock_);
    }
}

bool AppendOnlyFile::AppendLine(const std::string& line) const {
    if (handle_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::string withEnd = line + "\r\n";
    // An abandoned lock (its holder crashed) is ours as well.
    const DWORD lockWait =
        appendLock_ != nullptr ? WaitForSingleObject(appendLock_, kAppendLockWaitMs) : WAIT_FAILED;
    const bool locked = lockWait == WAIT_OBJECT_0 || lockWait == WAIT_ABANDONED;
    DWORD written = 0;
    const bool appended =
        WriteFile(handle_, withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr) &&
        written == withEnd.size();
    if (locked) {
        ReleaseMutex(appendLock_);
    }
    return appended;
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
