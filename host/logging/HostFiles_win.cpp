#include "HostFiles.h"
#include "win32/SrwLock.h"

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

// Every append of this library, to any file, one at a time: the lock is the
// process's own, so a line costs no call to the system beyond its write.
constinit SrwMutex appendLock;

// The byte-range lock lies far past any end the file will reach, so that it
// never covers bytes anybody writes or reads.
constexpr DWORD kLockOffsetLow = 0xFFFFFFFE;
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;
constexpr DWORD kLockLength = 1;

OVERLAPPED LockRange() {
    OVERLAPPED range{};
    range.Offset = kLockOffsetLow;
    range.OffsetHigh = kLockOffsetHigh;
    return range;
}

// Waits without limit: only whoever can open the file can hold it.
bool LockAppends(HANDLE file) {
    OVERLAPPED range = LockRange();
    return LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, kLockLength, 0, &range) != FALSE;
}

void UnlockAppends(HANDLE file) {
    OVERLAPPED range = LockRange();
    UnlockFileEx(file, 0, kLockLength, 0, &range);
}

}  // namespace

// Append-only access makes every write land at the file's end; reading is
// asked for only because a byte-range lock needs it.
AppendOnlyFile::AppendOnlyFile(const std::wstring& path, AppendSharing sharing)
    : handle_(CreateFileW(path.c_str(), FILE_APPEND_DATA | FILE_READ_DATA,
                          FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr)),
      lockFile_(sharing == AppendSharing::OtherWriters) {}

AppendOnlyFile::~AppendOnlyFile() {
    if (handle_ != INVALID_HANDLE_VALUE) {
        CloseHandle(handle_);
    }
}

bool AppendOnlyFile::AppendLine(const std::string& line) const {
    if (handle_ == INVALID_HANDLE_VALUE) {
        return false;
    }
    const std::string withEnd = line + "\r\n";
    const std::lock_guard lock(appendLock);
    // A lock that cannot be had costs the line its order, never the line.
    const bool fileLocked = lockFile_ && LockAppends(handle_);
    DWORD written = 0;
    const bool appended =
        WriteFile(handle_, withEnd.data(), static_cast<DWORD>(withEnd.size()), &written, nullptr) &&
        written == withEnd.size();
    if (fileLocked) {
        UnlockAppends(handle_);
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
