// Stands in for the extended-screen helper where the service runs it. Given
// "disable" it takes a moment, as turning the virtual display off does. When
// it is done it appends its arguments as one UTF-8 line to the file named by
// NX_NXREVADIRU_LOG, if set, so that a test can tell it has finished. Exits 0.
#include "StandinText.h"

#include <windows.h>
#include <shellapi.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

namespace {

constexpr DWORD kDisableMilliseconds = 500;

std::wstring Arguments() {
    std::wstring arguments;
    int count = 0;
    const std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(
        CommandLineToArgvW(GetCommandLineW(), &count), &LocalFree);
    for (int i = 1; argv && i < count; ++i) {
        arguments += (i > 1 ? L" " : L"") + std::wstring(argv.get()[i]);
    }
    return arguments;
}

}  // namespace

int wmain() {
    const std::wstring arguments = Arguments();
    if (arguments == L"disable") {
        Sleep(kDisableMilliseconds);
    }
    const std::wstring logPath = EnvironmentValue(L"NX_NXREVADIRU_LOG");
    if (!logPath.empty()) {
        std::ofstream(std::filesystem::path(logPath), std::ios::binary | std::ios::app)
            << Utf8(arguments) << '\n';
    }
    return 0;
}
