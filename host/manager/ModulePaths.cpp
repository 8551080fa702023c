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
