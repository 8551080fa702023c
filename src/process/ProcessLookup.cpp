// Finding a running process by image name and waiting for it to end, for the
// processes the service watches but did not start or keep a handle to.
#include "ServiceProcessNames.h"
#include "win32/UniqueAny.h"
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cwctype>
#include <optional>
#include <string>

namespace {

constexpr wchar_t kGetProcessHandleByName[] = L"NxReVadiruService::Impl::GetProcessHandleByName";
constexpr wchar_t kWaitForProcessExit[] = L"NxReVadiruService::Impl::WaitForProcessExit";

#if defined(_WIN32)
static_assert(sizeof(PROCESSENTRY32W) == 568, "the snapshot entry the platform expects");
#endif

// Unit by unit in the current locale, as image names are compared.
std::wstring LowerCaseUnits(std::wstring text) {
    for (wchar_t& unit : text) {
        unit = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(unit)));
    }
    return text;
}

UniqueHandle OpenForWatching(DWORD processId) {
    return UniqueHandle(OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId));
}

// The id of the first process, in snapshot order, whose image name matches
// without regard to case; the snapshot is closed before this returns.
std::optional<DWORD> FindFirstProcessId(const std::wstring& processName) {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!snapshot) {
        LogError(kGetProcessHandleByName, L"[VuVidazi] CreateToolhelp32Snapshot failed, err=",
                 GetLastError());
        return std::nullopt;
    }
    PROCESSENTRY32W entry{};
    entry.dwSize = sizeof(entry);
    if (!Process32FirstW(snapshot.get(), &entry)) {
        LogError(kGetProcessHandleByName, L"[VuVidazi] Process32First failed, err=",
                 GetLastError());
        return std::nullopt;
    }
    const std::wstring wanted = LowerCaseUnits(processName);
    do {
        if (LowerCaseUnits(entry.szExeFile) == wanted) {
            return entry.th32ProcessID;
        }
    } while (Process32NextW(snapshot.get(), &entry));
    return std::nullopt;
}

}  // namespace

UniqueHandle NxReVadiruService::Impl::GetProcessHandleByName(const std::wstring& processName,
                                                             bool useKnownProcessId) {
    // The helper announces its own id, so no search is needed for it.
    if (useKnownProcessId && processName == kNxReVadiruImage) {
        return OpenForWatching(reVadiruProcessId.load());
    }
    const std::optional<DWORD> processId = FindFirstProcessId(processName);
    if (!processId) {
        return {};
    }
    // The tray-icon refresh after the message center ends needs the id of the
    // process that is gone.
    if (processName == kMessageCenterImage) {
        messageCenterProcessId = *processId;
    }
    return OpenForWatching(*processId);
}

bool NxReVadiruService::Impl::WaitForProcessExit(const std::wstring& processName) {
    const UniqueHandle process = GetProcessHandleByName(processName, true);
    if (!process) {
        LogError(kWaitForProcessExit, L"[VuVidazi] processHandle is nullptr");
        return false;
    }
    const DWORD waitCode = WaitForSingleObject(process.get(), INFINITE);
    LogInfo(kWaitForProcessExit, L"[VuVidazi] wait ", processName, L" exit, waitCode=", waitCode);
    return true;
}
