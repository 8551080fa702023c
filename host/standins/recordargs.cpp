// Writes the command line it was started with and its working directory, one
// per line in UTF-8, to the file named by NX_RECORDARGS_FILE, or, when that
// variable is not set (a user's environment block does not carry it), to
// recordargs.txt beside itself. Then exits with 0.
#include "StandinText.h"

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace {

std::wstring OwnDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring directory(path, length < MAX_PATH ? length : 0);
    directory.resize(directory.find_last_of(L'\\') + 1);
    return directory;
}

std::wstring RecordPath() {
    const std::wstring path = EnvironmentValue(L"NX_RECORDARGS_FILE");
    return path.empty() ? OwnDirectory() + L"recordargs.txt" : path;
}

std::wstring CurrentDirectory() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetCurrentDirectoryW(MAX_PATH, path);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

}  // namespace

int wmain() {
    std::ofstream file(std::filesystem::path(RecordPath()), std::ios::binary);
    file << Utf8(GetCommandLineW()) << '\n' << Utf8(CurrentDirectory()) << '\n';
    file.close();
    return file ? 0 : 1;
}
