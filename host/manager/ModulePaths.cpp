#include "ModulePaths.h"

#include <pathcch.h>

std::wstring ExecutableDirectory() {
    wchar_t path[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, path, MAX_PATH) == 0 ||
        PathCchRemoveFileSpec(path, MAX_PATH) != S_OK) {
        return {};
    }
    return path;
}

UniqueModule LoadBesideExecutable(const std::wstring& fileName) {
    const std::wstring directory = ExecutableDirectory();
    if (directory.empty()) {
        return UniqueModule();
    }
    return UniqueModule(LoadLibraryW((directory + L"\\" + fileName).c_str()));
}

bool WaitUntilUnloaded(const std::wstring& fileName, DWORD timeoutMs) {
    // Nothing signals an unload, so look again at short intervals.
    constexpr DWORD kPollMs = 10;
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    while (GetModuleHandleW(fileName.c_str()) != nullptr) {
        if (GetTickCount64() >= deadline) {
            return false;
        }
        Sleep(kPollMs);
    }
    return true;
}
