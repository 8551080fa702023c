// Starting programs for the service: on the console user's desktop with that
// user's token and environment (the service itself runs in the services
// session, where nothing it shows can be seen), and the helper's disable
// command in the service's own session.
#include "StartProcess.h"
#include "UserProcessLauncher.h"
#include "win32/LocalMemory.h"
#include "win32/UniqueAny.h"
#include "SafeString.h"
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"

#include <windows.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <string>
#include <utility>

namespace {

constexpr wchar_t kCreateUserProcessEx[] = L"`anonymous-namespace'::CreateUserProcessEx";
constexpr wchar_t kCreateProcessAsUserEx[] = L"`anonymous-namespace'::CreateProcessAsUserEx";
constexpr wchar_t kStartProcess[] = L"NXPROCESS::StartProcess";
constexpr wchar_t kExecuteCmd[] = L"NxReVadiruService::Impl::ExecuteCmd";

constexpr wchar_t kInteractiveDesktop[] = L"winsta0\\default";
// A new console, normal priority, and a wide environment block.
constexpr DWORD kUserProcessCreationFlags =
    CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;

using EnvironmentBlock = UniqueAny<LPVOID, &DestroyEnvironmentBlock>;

// Start-up information for a window on the interactive desktop. Owns the
// writable desktop name the record points at.
class DesktopStartupInfo {
public:
    explicit DesktopStartupInfo(WORD showState) {
        info_.cb = sizeof(info_);
        info_.lpDesktop = desktop_.data();
        info_.dwFlags = STARTF_USESHOWWINDOW;
        info_.wShowWindow = showState;
    }
    DesktopStartupInfo(const DesktopStartupInfo&) = delete;
    DesktopStartupInfo& operator=(const DesktopStartupInfo&) = delete;
    STARTUPINFOW* get() { return &info_; }

private:
    std::wstring desktop_ = kInteractiveDesktop;
    STARTUPINFOW info_{};
};

// Takes the handles that a process creation handed back (none after a failure).
struct CreatedProcess {
    explicit CreatedProcess(const PROCESS_INFORMATION& info)
        : process(info.hProcess), thread(info.hThread) {}
    UniqueHandle process;
    UniqueHandle thread;
};

// The token of the user logged on at the physical console. On failure the
// platform's last error is left as the call set it.
bool QueryConsoleUserToken(UniqueHandle& userToken) {
    HANDLE token = nullptr;
    if (!WTSQueryUserToken(WTSGetActiveConsoleSessionId(), &token)) {
        return false;
    }
    userToken.reset(token);
    return true;
}

// A primary token that processes can be created with. On failure the
// platform's last error is left as the call set it.
bool DuplicatePrimaryToken(HANDLE userToken, LPSECURITY_ATTRIBUTES tokenAttributes,
                           UniqueHandle& primaryToken) {
    HANDLE token = nullptr;
    if (!DuplicateTokenEx(userToken, MAXIMUM_ALLOWED, tokenAttributes, SecurityIdentification,
                          TokenPrimary, &token)) {
        return false;
    }
    primaryToken.reset(token);
    return true;
}

// The user's own variables only: the service's environment is not inherited.
// On failure the platform's last error is left as the call set it.
bool CreateUserEnvironment(HANDLE token, EnvironmentBlock& environment) {
    LPVOID block = nullptr;
    if (!CreateEnvironmentBlock(&block, token, FALSE)) {
        return false;
    }
    environment.reset(block);
    return true;
}

bool CreateProcessAsUserEx(const std::wstring& commandLine, HANDLE token,
                           EnvironmentBlock environment) {
    DesktopStartupInfo startupInfo(SW_HIDE);
    std::wstring writableCommandLine = commandLine;
    PROCESS_INFORMATION info{};
    const bool created =
        CreateProcessAsUserW(token, nullptr, writableCommandLine.data(), nullptr, nullptr, FALSE,
                             kUserProcessCreationFlags, environment.get(), nullptr,
                             startupInfo.get(), &info) != FALSE;
    const CreatedProcess process(info);
    if (!created) {
        LogError(kCreateProcessAsUserEx, L"CreateUserProcessEx failed:", GetLastError());
    }
    LogError(kCreateProcessAsUserEx, L"CreateUserProcessEx processId: ", info.dwProcessId);
    return created;
}

bool CreateUserProcessEx(const std::wstring& commandLine) {
    UniqueHandle userToken;
    if (!QueryConsoleUserToken(userToken)) {
        LogError(kCreateUserProcessEx, L"WTSQueryUserToken failed:", GetLastError());
        return false;
    }
    UniqueHandle primaryToken;
    if (!DuplicatePrimaryToken(userToken.get(), nullptr, primaryToken)) {
        LogError(kCreateUserProcessEx, L"DuplicateTokenEx failed:", GetLastError());
        return false;
    }
    EnvironmentBlock environment;
    if (!CreateUserEnvironment(primaryToken.get(), environment)) {
        LogError(kCreateUserProcessEx, L"CreateEnvironmentBlock failed:", GetLastError());
        return false;
    }
    return CreateProcessAsUserEx(commandLine, primaryToken.get(), std::move(environment));
}

// Leading and trailing U+0020 only; tabs and other white space stay.
std::wstring TrimSpaces(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L' ');
    if (first == std::wstring::npos) {
        return {};
    }
    return text.substr(first, text.find_last_not_of(L' ') - first + 1);
}

// The platform's own limit, in UTF-16 units with the terminator.
constexpr size_t kCommandLineCapacity = 32768;

// A zero-filled command-line buffer holding `commandLine`, or none when it
// cannot be allocated (the platform's last error says why) or when the line is
// too long or cannot be copied (ERROR_INVALID_PARAMETER).
LocalPtr<wchar_t[]> CommandLineBuffer(const std::wstring& commandLine) {
    LocalPtr<wchar_t[]> buffer = AllocateZeroed<wchar_t>(kCommandLineCapacity);
    if (!buffer) {
        return nullptr;
    }
    if (commandLine.size() > kCommandLineCapacity - 1 ||
        DE::WcsCopyS(buffer.get(), kCommandLineCapacity, commandLine.c_str()) != 0) {
        buffer.reset();
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return buffer;
}

// The work of NXPROCESS::StartProcess: ERROR_SUCCESS when the process was
// created, else the failure's code. Everything it holds is released when it
// returns.
DWORD StartUserDesktopProcess(const std::wstring& applicationPath, const std::wstring& arguments,
                              const wchar_t* currentDirectory) {
    if (applicationPath.empty() || arguments.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring path = TrimSpaces(applicationPath);
    if (path.find(L' ') != std::wstring::npos) {
        path = L"\"" + path + L"\"";
    }
    const LocalPtr<wchar_t[]> commandLine = CommandLineBuffer(path + L" " + TrimSpaces(arguments));
    if (!commandLine) {
        return GetLastError();
    }
    DesktopStartupInfo startupInfo(SW_SHOWNORMAL);

    UniqueHandle userToken;
    if (!QueryConsoleUserToken(userToken)) {
        const DWORD error = GetLastError();
        LogError(kStartProcess, L"WTSQueryUserToken Failed: ", error);
        return error;
    }
    SECURITY_ATTRIBUTES tokenAttributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    UniqueHandle primaryToken;
    const bool duplicated = DuplicatePrimaryToken(userToken.get(), &tokenAttributes, primaryToken);
    const DWORD duplicateError = GetLastError();
    userToken.reset();
    if (!duplicated) {
        LogError(kStartProcess, L"DuplicateTokenEx Failed: ", duplicateError);
        return duplicateError;
    }
    EnvironmentBlock environment;
    if (!CreateUserEnvironment(primaryToken.get(), environment)) {
        const DWORD error = GetLastError();
        LogError(kStartProcess, L"CreateEnvironmentBlock Failed: ", error);
        return error;
    }

    SECURITY_ATTRIBUTES processAttributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    SECURITY_ATTRIBUTES threadAttributes{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    PROCESS_INFORMATION info{};
    if (!CreateProcessAsUserW(primaryToken.get(), nullptr, commandLine.get(), &processAttributes,
                              &threadAttributes, FALSE, kUserProcessCreationFlags,
                              environment.get(), currentDirectory, startupInfo.get(), &info)) {
        const DWORD error = GetLastError();
        LogError(kStartProcess, L"CreateProcessAsUser Failed: ", error);
        return error;
    }
    const CreatedProcess process(info);
    return ERROR_SUCCESS;
}

}  // namespace

bool CreateUserProcess(const std::wstring& commandLine) {
    return CreateUserProcessEx(commandLine);
}

namespace NXPROCESS {

// Callers read the platform's last error after a failure (the icon clean-up
// logs it), so it is set last, once the log line is written and everything is
// released: either may change it on the way.
bool StartProcess(const std::wstring& applicationPath, const std::wstring& arguments,
                  const wchar_t* currentDirectory) {
    const DWORD error = StartUserDesktopProcess(applicationPath, arguments, currentDirectory);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

}  // namespace NXPROCESS

void NxReVadiruService::Impl::ExecuteCmd() {
    constexpr wchar_t kCommandInterpreterPrefix[] = L"cmd.exe /c ";
    constexpr wchar_t kDisableCommand[] = L"NxReVadiru.exe disable";
    // The recovery holds its lock across this wait, so a command that hangs
    // must not hold every later recovery with it. A normal disable is done in
    // well under a second; a minute leaves room for a slow, busy machine.
    constexpr DWORD kDisableCommandLimitMs = 60000;
    std::wstring commandLine = std::wstring(kCommandInterpreterPrefix) + kDisableCommand;
    STARTUPINFOW startupInfo{};
    startupInfo.cb = sizeof(startupInfo);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW,
                        nullptr, nullptr, &startupInfo, &info)) {
        LogError(kExecuteCmd, L"[VuVidazi] CreateProcess failed:", GetLastError());
        return;
    }
    const CreatedProcess interpreter(info);
    if (WaitForSingleObject(interpreter.process.get(), kDisableCommandLimitMs) == WAIT_TIMEOUT) {
        // Left running: stopping the driver half-way could leave it worse off.
        LogError(kExecuteCmd, L"[VuVidazi] disable command still running after ",
                 kDisableCommandLimitMs, L" ms, recovery goes on");
    }
}
