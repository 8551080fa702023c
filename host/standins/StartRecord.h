// How a stand-in was started, for tests to read back: its command line and its
// working directory, one per line in UTF-8, appended to the file named by an
// environment variable or, when that is not set (a user's environment block
// does not carry it), to <program name>.txt beside the program. A test removes
// the file first; after several starts it holds one pair of lines per start.
#pragma once

#include "HostFiles.h"
#include "StandinText.h"

#include <windows.h>

#include <filesystem>
#include <string>

inline std::filesystem::path DefaultStartRecordPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::filesystem::path(std::wstring(path, length < MAX_PATH ? length : 0))
        .replace_extension(L".txt");
}

inline std::wstring CurrentDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, path);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

// False when the record could not be written.
inline bool RecordStart(const wchar_t* fileVariable) {
    const std::wstring named = EnvironmentValue(fileVariable);
    const std::filesystem::path path =
        named.empty() ? DefaultStartRecordPath() : std::filesystem::path(named);
    // Both lines in one append: programs started at the same moment (the
    // helper's "setdpi" and "disable") must not write over each other's record.
    const AppendOnlyFile file(path.wstring(), AppendSharing::OtherWriters);
    return file.AppendLine(ToUtf8(GetCommandLineW()) + "\r\n" + ToUtf8(CurrentDirectory()));
}
