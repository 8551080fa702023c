// Files the host's components write beside the host executable (Windows).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The path in the environment variable `overrideVariable` when set, else
// `fileName` in the host executable's directory.
std::wstring FileBesideHost(const wchar_t* overrideVariable, const wchar_t* fileName);
// A file kept open for appending lines, shared with whoever else reads or
// appends to it. Each line goes to the system in one write and nothing is
// buffered here: a crash loses no line already appended, and lines from other
// threads or processes never land inside one another. Failures are ignored: a
// lost line must never disturb the service.
class AppendOnlyFile {
public:
    explicit AppendOnlyFile(const std::wstring& path);
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Appends one UTF-8 line; CR LF is added. True when all of it was written.
    bool AppendLine(const std::string& line) const;

private:
    HANDLE handle_;
    HANDLE appendLock_;
};
// "YYYY-MM-DD hh:mm:ss.mmm " in local time.
std::string TimestampPrefix();
std::string ToUtf8(std::wstring_view text);
