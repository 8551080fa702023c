// Files the host's components write beside the host executable (Windows).
#pragma once

#include <string>
#include <string_view>

// The path in the environment variable `overrideVariable` when set, else
// `fileName` in the host executable's directory.
std::wstring FileBesideHost(const wchar_t* overrideVariable, const wchar_t* fileName);
// Appends one UTF-8 line (CR LF added); failures are ignored: a lost log line
// must never disturb the service.
void AppendLine(const std::wstring& path, const std::string& line);
// "YYYY-MM-DD hh:mm:ss.mmm " in local time.
std::string TimestampPrefix();
std::string ToUtf8(std::wstring_view text);
