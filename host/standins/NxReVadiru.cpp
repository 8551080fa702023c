// Stands in for the extended-screen helper. Every start is recorded (see
// StartRecord.h) to the file named by NX_NXREVADIRU_LOG or to NxReVadiru.txt
// beside the program; the file keeps every start, in order.
//
//   NxReVadiru.exe session [--crash-after <ms>]
//       A session: joins the bus as the helper's module, tells the plug-in the
//       screen values in force before it and its start with its own process
//       id, and answers the plug-in's start-up query with that id; then runs
//       until the named event "NxReVadiru.exe" is signalled (exit 0), or
//       crashes after the given milliseconds (ends with an access violation's
//       code).
//   NxReVadiru.exe setdpi <value> <flag>
//       Recorded, exits 0.
//   NxReVadiru.exe disable
//       Takes a moment, as turning the virtual display off does, and is
//       recorded only then, so that the record shows it has finished.
#include "StandinBus.h"
#include "StartRecord.h"
#include "win32/UniqueAny.h"

#include <windows.h>

#include <string>

namespace {

constexpr wchar_t kRecordVariable[] = L"NX_NXREVADIRU_LOG";
constexpr DWORD kDisableMilliseconds = 500;
constexpr int32_t kHelperModule = 0x690000;
// A plug-in asks with this message when it starts, and learns from the answer
// which helper to watch, when it starts in the middle of a session.
constexpr int32_t kProcessIdQuery = 0x690022;
constexpr int32_t kStartMsg = 0x6F0002;
constexpr int32_t kScreenValuesMsg = 0x6F0004;
// Before the session: 1920 x 1080 at 150 %; during it: 2560 x 1600 at 200 %.
constexpr char kScreenValues[] = "1920 1080 150 2560 1600 200";
constexpr char kExtendedMode[] = "1";
constexpr UINT kCrashExitCode = 0xC0000005;

int RunSession(DWORD crashAfterMs) {
    if (!RecordStart(kRecordVariable)) {
        return 1;
    }
    // Created before the announcement, so that a quit signal cannot come too early.
    // Under Wine the service runs in this session too, so the unprefixed name
    // meets the plug-in's; on Windows the helper opens "Global\NxReVadiru.exe",
    // since the service's unprefixed names are global (docs/security.md).
    const UniqueHandle quit(CreateEventW(nullptr, FALSE, FALSE, L"NxReVadiru.exe"));
    if (!quit) {
        return 1;
    }
    // Outlives the client, whose destruction waits for a running answer.
    const std::string processId = std::to_string(GetCurrentProcessId());
    IPCMessageClient client(kHelperModule, false, false, StandinBusPipe());
    client.RegisterMessageCallback(kProcessIdQuery, [&client, &processId](TagIPCMessageItem&) {
        PostToPlugin(client, kProcessIdQuery, processId);
    });
    if (!PostToPlugin(client, kScreenValuesMsg, kScreenValues) ||
        !PostToPlugin(client, kStartMsg, std::string(kExtendedMode) + " " + processId)) {
        return 2;
    }
    const DWORD waited = WaitForSingleObject(quit.get(), crashAfterMs);
    if (waited != WAIT_OBJECT_0) {
        // An abnormal end as the system reports one: no clean-up, a fault's code.
        TerminateProcess(GetCurrentProcess(), kCrashExitCode);
    }
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    const std::wstring mode = argc > 1 ? argv[1] : L"";
    if (mode == L"session") {
        const bool crashes = argc > 3 && std::wstring(argv[2]) == L"--crash-after";
        return RunSession(MillisecondsOrInfinite(crashes ? argv[3] : nullptr));
    }
    if (mode == L"disable") {
        Sleep(kDisableMilliseconds);
    }
    return RecordStart(kRecordVariable) ? 0 : 1;
}
