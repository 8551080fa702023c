// A host that unloads the plug-in the hard way. It loads a manager that keeps
// the started plug-in object and releases it inside the library's detach
// notification (holding/VLAPluginsManager.dll), then unloads the library.
//   unloadprobe stop|release
// "stop": the manager stops the plug-in before releasing it; "release": it
// only releases it. There is no bus and no helper. Prints one line per step
// and exits 0 when the unload returned in time and the process went on; a
// fault in code of the unloaded library ends it with the fault's code.
#include "FaultReport.h"
#include "ModuleExport.h"
#include "ModulePaths.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

constexpr DWORD kUnloadLimitMs = 1000;
// Long enough for the start-up watches of the absent programs to end, so that
// the unload itself runs the library's detach notification.
constexpr DWORD kSettleMs = 1000;
constexpr DWORD kUnloadedTimeoutMs = 5000;
constexpr DWORD kStrayThreadGraceMs = 1000;
constexpr wchar_t kPluginFile[] = L"NxReVadiruServicePlugin.dll";
constexpr int kUsage = 2;
constexpr int kFailed = 1;
// FreeLibrary still blocks the thread that holds the loader lock, so the
// process cannot end normally.
constexpr UINT kUnloadHung = 3;

void Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

DWORD WINAPI Unload(LPVOID module) {
    FreeLibrary(static_cast<HMODULE>(module));
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool stopFirst = argc == 2 && std::strcmp(argv[1], "stop") == 0;
    if (argc != 2 || (!stopFirst && std::strcmp(argv[1], "release") != 0)) {
        Print("usage: unloadprobe stop|release");
        return kUsage;
    }
    ReportUnhandledFaults();
    const UniqueModule manager(
        LoadLibraryW((ExecutableDirectory() + L"\\holding\\VLAPluginsManager.dll").c_str()));
    const auto start = ModuleExport<bool (*)(bool)>(manager, "HoldingManagerStart");
    UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    if (start == nullptr || !plugin || !start(stopFirst)) {
        Print("probe: the plug-in did not start, error " + std::to_string(GetLastError()));
        return kFailed;
    }
    Print("probe: plug-in started");
    Sleep(kSettleMs);

    const UniqueHandle unloading(CreateThread(nullptr, 0, Unload, plugin.get(), 0, nullptr));
    if (!unloading) {
        Print("probe: no thread to unload on");
        return kFailed;
    }
    plugin.release();  // the unloading thread's now
    if (WaitForSingleObject(unloading.get(), kUnloadLimitMs) != WAIT_OBJECT_0) {
        Print("probe: FreeLibrary did not return within " + std::to_string(kUnloadLimitMs) + " ms");
        TerminateProcess(GetCurrentProcess(), kUnloadHung);
    }
    Print("probe: FreeLibrary returned");
    // A watch that had not ended yet held the library; it unloads it on its way
    // out, and the release then happens on that thread, as harshly.
    Print(WaitUntilUnloaded(kPluginFile, kUnloadedTimeoutMs) ? "probe: library unloaded"
                                                             : "probe: library still loaded");
    Sleep(kStrayThreadGraceMs);
    Print("probe: host goes on");
    return 0;
}
