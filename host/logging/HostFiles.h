// Files the host's components write beside the host executable (Windows).
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

// The path in the environment variable `overrideVariable` when set, else
// `fileName` in the host executable's directory.
std::wstring FileBesideHost(const wchar_t* overrideVariable, const wchar_t* fileName);
// Who else appends to a file: only other threads of this process, through
// this library's loggers, or other processes (or other copies of these
// components in this process) as well.
enum class AppendSharing { ThisProcess, OtherWriters };

// A file kept open for appending lines, shared with whoever else reads or
// appends to it. Each line goes to the system in one write and nothing is
// buffered here: a crash loses no line already appended. Windows puts each
// append whole at the file's end; Wine finds the end and writes there in two
// steps, so appends that may meet are serialised: within this library by a
// lock of its own, and with other writers by a byte-range lock on the file,
// which only whoever can open the file can take. Failures are ignored: a lost
// line must never disturb the service.
class AppendOnlyFile {
public:
    AppendOnlyFile(const std::wstring& path, AppendSharing sharing);
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Appends one UTF-8 line; CR LF is added. True when all of it was written.
    bool AppendLine(const std::string& line) const;

private:
    HANDLE handle_;
    const bool lockFile_;
};
// "YYYY-MM-DD hh:mm:ss.mmm " in local time.
std::string TimestampPrefix();
std::string ToUtf8(std::wstring_view text);
