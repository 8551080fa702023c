// A host that unloads the plug-in, or exits, the hard way. It runs a bus
// broker on the plug-in's pipe and loads a manager that keeps the started
// plug-in object and releases it inside the library's detach notification
// (holding/VLAPluginsManager.dll), then unloads the library or exits:
//   unloadprobe stop|release unload|held-unload|held-exit|reload
// "stop": the manager stops the plug-in before releasing it; "release": it
// only releases it. "held-": a bus handler of the plug-in is in flight, held
// in its first log line by this host's logger, while the library is unloaded
// or the process exits. "reload": the host stops and releases the plug-in and
// unloads it, then loads, starts, stops and unloads it again, many times, and
// counts what that leaves behind. Prints one line per step and exits 0 when the unload
// returned in time and the process went on; a fault in code of the unloaded
// library ends it with the fault's code.
#include "BusBroker.h"
#include "FaultReport.h"
#include "IPCMessageClient.h"
#include "ModuleExport.h"
#include "ModulePaths.h"
#include "NxLogger.h"
#include "win32/UniqueAny.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>

namespace {

constexpr DWORD kUnloadLimitMs = 1000;
// Long enough for the plug-in to join the bus and for the start-up watches of
// the absent programs to end.
constexpr DWORD kSettleMs = 1000;
constexpr DWORD kHandlerStartLimitMs = 5000;
constexpr DWORD kUnloadedTimeoutMs = 5000;
constexpr DWORD kStrayThreadGraceMs = 1000;
constexpr wchar_t kPluginFile[] = L"NxReVadiruServicePlugin.dll";
constexpr int kFailed = 1;
// FreeLibrary still blocks the thread that holds the loader lock, so the
// process cannot end normally.
constexpr UINT kUnloadHung = 3;
constexpr int32_t kPluginModule = 0x6F0000;
constexpr int32_t kProbeModule = 0x6F0100;
constexpr int kReloads = 10;
// Wine answers GetProcessHandleCount with 0: handles are counted by trying
// every value up to a bound far above what this process uses.
constexpr uintptr_t kHandleValueLimit = 0x4000;
constexpr uintptr_t kHandleValueStep = 4;
constexpr DWORD kThreadsEndMs = 5000;
constexpr DWORD kPollMs = 50;

void Print(const std::string& line) {
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// The handler to hold: its message, its body and the first line it logs.
struct Held {
    int32_t msgId;
    const char* body;
    const wchar_t* firstLine;
};
// The tab-tip value only logs; the helper's start report goes on to start a watch.
constexpr Held kExitHeld{0x6F0003, "5", L"recv tabtip value 5"};
constexpr Held kUnloadHeld{0x6F0002, "1 4", L"[VuVidazi] recv nxrevadiru process start msg"};

// The plug-in logs through the components' logger, which this host shares:
// its sink holds the awaited line until the handler is let go.
const wchar_t* awaitedLine = nullptr;
HANDLE handlerEntered = nullptr;
HANDLE handlerReleased = nullptr;

void HoldingSink(LOG_MESSAGE_LEVEL, const std::wstring&, const std::wstring& text) {
    if (awaitedLine != nullptr && text.starts_with(awaitedLine)) {
        SetEvent(handlerEntered);
        WaitForSingleObject(handlerReleased, INFINITE);
    }
}

long OpenHandles() {
    long count = 0;
    for (uintptr_t value = kHandleValueStep; value < kHandleValueLimit; value += kHandleValueStep) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}

long Threads() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    long count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}

// Stops, releases and unloads the plug-in, as a host does; false when the
// library is still there after the plug-in's threads had time to let it go.
bool StopAndUnload(void (*stop)(), UniqueModule& plugin) {
    stop();
    plugin.reset();
    return WaitUntilUnloaded(kPluginFile, kUnloadedTimeoutMs);
}

int Reload(bool (*start)(bool), void (*stop)(), UniqueModule plugin) {
    // The first round leaves what a process keeps once it has loaded the library.
    if (!StopAndUnload(stop, plugin)) {
        Print("probe: the plug-in was not unloaded");
        return kFailed;
    }
    const long handles = OpenHandles();
    const long threads = Threads();
    for (int round = 0; round < kReloads; ++round) {
        plugin = LoadBesideExecutable(kPluginFile);
        if (!plugin || !start(false) || !StopAndUnload(stop, plugin)) {
            Print("probe: reload " + std::to_string(round) + " failed");
            return kFailed;
        }
    }
    // The bus client's thread ends on its own once its connection is closed.
    for (DWORD waited = 0; Threads() > threads && waited < kThreadsEndMs; waited += kPollMs) {
        Sleep(kPollMs);
    }
    Print("probe: " + std::to_string(kReloads) + " reloads left " +
          std::to_string(OpenHandles() - handles) + " handles and " +
          std::to_string(Threads() - threads) + " threads behind");
    return 0;
}

DWORD WINAPI Unload(LPVOID module) {
    FreeLibrary(static_cast<HMODULE>(module));
    return 0;
}

// Sends the held handler's message and waits until the handler is in its line.
bool HoldHandler(const Held& held) {
    awaitedLine = held.firstLine;
    IPCMessageClient sender(kProbeModule, false, false, L"\\\\.\\Pipe\\iVellumAssistant");
    TagIPCMessageItem item;
    item.receiverId = kPluginModule;
    item.msgId = held.msgId;
    item.message = held.body;
    item.messageLen = static_cast<int32_t>(std::strlen(held.body));
    return sender.PostIPCMessage(item) &&
           WaitForSingleObject(handlerEntered, kHandlerStartLimitMs) == WAIT_OBJECT_0;
}

}  // namespace

int main(int argc, char** argv) {
    const bool stopFirst = argc == 3 && std::strcmp(argv[1], "stop") == 0;
    const std::string scenario = argc == 3 ? argv[2] : "";
    if ((!stopFirst && (argc != 3 || std::strcmp(argv[1], "release") != 0)) ||
        (scenario != "unload" && scenario != "held-unload" && scenario != "held-exit" &&
         scenario != "reload")) {
        Print("usage: unloadprobe stop|release unload|held-unload|held-exit|reload");
        return kFailed;
    }
    ReportUnhandledFaults();
    handlerEntered = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    handlerReleased = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    NxLogger::GetInstance().SetSink(HoldingSink);
    BusBroker broker(L"\\\\.\\Pipe\\iVellumAssistant");
    // The manager stays for the process's life, as a host's does.
    const UniqueModule& manager = *new UniqueModule(
        LoadLibraryW((ExecutableDirectory() + L"\\holding\\VLAPluginsManager.dll").c_str()));
    const auto start = ModuleExport<bool (*)(bool)>(manager, "HoldingManagerStart");
    const auto stop = ModuleExport<void (*)()>(manager, "HoldingManagerStop");
    UniqueModule plugin = LoadBesideExecutable(kPluginFile);
    if (!broker.Start() || start == nullptr || stop == nullptr || !plugin || !start(stopFirst)) {
        Print("probe: the plug-in did not start, error " + std::to_string(GetLastError()));
        return kFailed;
    }
    Print("probe: plug-in started");
    Sleep(kSettleMs);
    if (scenario == "reload") {
        return Reload(start, stop, std::move(plugin));
    }
    if (scenario != "unload") {
        if (!HoldHandler(scenario == "held-exit" ? kExitHeld : kUnloadHeld)) {
            Print("probe: the handler did not start");
            return kFailed;
        }
        Print("probe: handler held");
    }
    if (scenario == "held-exit") {
        Print("probe: process exits");
        ExitProcess(0);
    }

    const UniqueHandle unloading(CreateThread(nullptr, 0, Unload, plugin.get(), 0, nullptr));
    if (!unloading) {
        Print("probe: no thread to unload on");
        return kFailed;
    }
    plugin.release();  // the unloading thread's now
    const bool returned = WaitForSingleObject(unloading.get(), kUnloadLimitMs) == WAIT_OBJECT_0;
    SetEvent(handlerReleased);
    if (!returned) {
        Print("probe: FreeLibrary did not return within " + std::to_string(kUnloadLimitMs) + " ms");
        TerminateProcess(GetCurrentProcess(), kUnloadHung);
    }
    Print("probe: FreeLibrary returned");
    // A thread of the plug-in's that had not ended yet held the library; it
    // unloads it on its way out, and the release then happens on that thread.
    Print(WaitUntilUnloaded(kPluginFile, kStrayThreadGraceMs) ? "probe: library unloaded"
                                                              : "probe: library still loaded");
    Sleep(kStrayThreadGraceMs);
    Print("probe: host goes on");
    return 0;
}
