// Library entry: hands the registration table to the host's plug-in manager at
// process attach and takes it back at process detach.
#include "DllEntry.h"
#include "PluginTable.h"
#include "ProcessExit.h"
#include "win32/UniqueAny.h"

#include <windows.h>
#include <pathcch.h>

#include <string>

namespace {

enum class HandOver { ManagerUnavailable, ExportMissing, Done };

HMODULE LoadManagerFromHostDirectory() {
    wchar_t directory[MAX_PATH] = {};
    if (GetModuleFileNameW(nullptr, directory, MAX_PATH) == 0) {
        return nullptr;
    }
    if (PathCchRemoveFileSpec(directory, MAX_PATH) != S_OK) {
        return nullptr;
    }
    const std::wstring path = std::wstring(directory) + L"\\" + PluginsManagerFileName;
    return LoadLibraryW(path.c_str());
}

// Calls the manager's `exportName` with the table. A manager the host has
// already loaded is used as is; one loaded here is released right after the call.
HandOver HandTableToManager(const char* exportName) {
    HMODULE manager = GetModuleHandleW(PluginsManagerFileName.c_str());
    UniqueModule loadedHere;
    if (manager == nullptr) {
        loadedHere.reset(LoadManagerFromHostDirectory());
        manager = loadedHere.get();
        if (manager == nullptr) {
            return HandOver::ManagerUnavailable;
        }
    }
    const FARPROC address = GetProcAddress(manager, exportName);
    if (address == nullptr) {
        return HandOver::ExportMissing;
    }
    const auto handTable =
        reinterpret_cast<RegisterPluginFunction>(reinterpret_cast<void (*)()>(address));
    handTable(PluginRegistrationTable);
    return HandOver::Done;
}

}  // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE /*module*/, DWORD reason, LPVOID reserved) {
    switch (reason) {
        case DLL_PROCESS_ATTACH:
            return HandTableToManager("RegisterPlugin") == HandOver::Done ? TRUE : FALSE;
        case DLL_PROCESS_DETACH:
            // Set at the process's exit, not at an unload.
            if (reserved != nullptr) {
                NoteProcessExit();
            }
            // Unloading must never fail, whatever became of the manager.
            HandTableToManager("UnRegisterPlugin");
            return TRUE;
        default:
            return TRUE;
    }
}
