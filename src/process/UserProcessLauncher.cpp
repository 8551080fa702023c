// Starting programs for the service: on the console user's desktop with that
// user's token and environment, and the helper's disable command in the
// service's own session.
#include "process/UserProcessLauncher.h"

#include "SafeString.h"
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "win32/LocalMemory.h"
#include "win32/UniqueAny.h"

#include <windows.h>
#include <userenv.h>
#include <wtsapi32.h>

#include <string>

namespace {

constexpr wchar_t kInteractiveDesktop[] = L"winsta0\\default";
// A new console, normal priority, and a wide environment block.
constexpr DWORD kUserProcessCreationFlags =
    CREATE_NEW_CONSOLE | NORMAL_PRIORITY_CLASS | CREATE_UNICODE_ENVIRONMENT;

using EnvironmentBlock = UniqueAny<LPVOID, &DestroyEnvironmentBlock>;

// What tells the two launchers apart: the window, the security records they
// pass, and the words and operation names of their log lines.
struct LaunchStyle {
    const wchar_t* operation;  // of the token and environment lines
    const wchar_t* tokenFailed;
    const wchar_t* duplicateFailed;
    const wchar_t* environmentFailed;
    const wchar_t* createOperation;  // of the process creation's lines
    const wchar_t* createFailed;
    bool logsProcessId;  // after every attempt, the new process's id (0 after a failure)
    WORD showState;
    // Default records (size set, no descriptor, not inheritable) for the token,
    // the process and its thread, rather than none.
    bool defaultSecurityRecords;
};

constexpr LaunchStyle kHiddenCommandLine{L"`anonymous-namespace'::CreateUserProcessEx",
                                         L"WTSQueryUserToken failed:",
                                         L"DuplicateTokenEx failed:",
                                         L"CreateEnvironmentBlock failed:",
                                         L"`anonymous-namespace'::CreateProcessAsUserEx",
                                         L"CreateUserProcessEx failed:",
                                         true,
                                         SW_HIDE,
                                         false};

constexpr LaunchStyle kShownProgram{L"NXPROCESS::StartProcess",
                                    L"WTSQueryUserToken Failed: ",
                                    L"DuplicateTokenEx Failed: ",
                                    L"CreateEnvironmentBlock Failed: ",
                                    L"NXPROCESS::StartProcess",
                                    L"CreateProcessAsUser Failed: ",
                                    false,
                                    SW_SHOWNORMAL,
                                    true};

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

// Logs the platform's last error after `text`; returns it.
DWORD LogFailure(const wchar_t* operation, const wchar_t* text) {
    const DWORD error = GetLastError();
    LogError(operation, text, error);
    return error;
}

// The one pipeline of both launchers: the console user's token, a primary
// duplicate of it, that user's own environment (the service's is not
// inherited), and the process created with them. ERROR_SUCCESS when the
// process was created, else the failed step's code, logged in the style's
// words. Everything obtained is released before it returns.
DWORD LaunchAsConsoleUser(const LaunchStyle& style, wchar_t* commandLine,
                          const wchar_t* currentDirectory) {
    SECURITY_ATTRIBUTES record{sizeof(SECURITY_ATTRIBUTES), nullptr, FALSE};
    const LPSECURITY_ATTRIBUTES attributes = style.defaultSecurityRecords ? &record : nullptr;
    UniqueHandle primaryToken;
    {
        UniqueHandle userToken;
        if (!WTSQueryUserToken(WTSGetActiveConsoleSessionId(), userToken.put())) {
            return LogFailure(style.operation, style.tokenFailed);
        }
        if (!DuplicateTokenEx(userToken.get(), MAXIMUM_ALLOWED, attributes, SecurityIdentification,
                              TokenPrimary, primaryToken.put())) {
            return LogFailure(style.operation, style.duplicateFailed);
        }
    }
    EnvironmentBlock environment;
    if (!CreateEnvironmentBlock(environment.put(), primaryToken.get(), FALSE)) {
        return LogFailure(style.operation, style.environmentFailed);
    }
    DesktopStartupInfo startupInfo(style.showState);
    PROCESS_INFORMATION info{};
    const bool created =
        CreateProcessAsUserW(primaryToken.get(), nullptr, commandLine, attributes, attributes,
                             FALSE, kUserProcessCreationFlags, environment.get(), currentDirectory,
                             startupInfo.get(), &info) != FALSE;
    const UniqueHandle process(info.hProcess);
    const UniqueHandle thread(info.hThread);
    const DWORD error =
        created ? ERROR_SUCCESS : LogFailure(style.createOperation, style.createFailed);
    if (style.logsProcessId) {
        LogError(style.createOperation, L"CreateUserProcessEx processId: ", info.dwProcessId);
    }
    return error;
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
LocalPtr<wchar_t> CommandLineBuffer(const std::wstring& commandLine) {
    LocalPtr<wchar_t> buffer = AllocateZeroed<wchar_t>(kCommandLineCapacity);
    if (!buffer) {
        return buffer;
    }
    if (commandLine.size() > kCommandLineCapacity - 1 ||
        DE::WcsCopyS(buffer.get(), kCommandLineCapacity, commandLine.c_str()) != 0) {
        buffer.reset();
        SetLastError(ERROR_INVALID_PARAMETER);
    }
    return buffer;
}

// The work of NXPROCESS::StartProcess: ERROR_SUCCESS when the process was
// created, else the failure's code.
DWORD StartShownProgram(const std::wstring& applicationPath, const std::wstring& arguments,
                        const wchar_t* currentDirectory) {
    if (applicationPath.empty() || arguments.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    std::wstring path = TrimSpaces(applicationPath);
    if (path.find(L' ') != std::wstring::npos) {
        path = L"\"" + path + L"\"";
    }
    const LocalPtr<wchar_t> commandLine = CommandLineBuffer(path + L" " + TrimSpaces(arguments));
    if (!commandLine) {
        return GetLastError();
    }
    return LaunchAsConsoleUser(kShownProgram, commandLine.get(), currentDirectory);
}

}  // namespace

bool CreateUserProcess(const std::wstring& commandLine) {
    std::wstring writableCommandLine = commandLine;
    return LaunchAsConsoleUser(kHiddenCommandLine, writableCommandLine.data(), nullptr) ==
           ERROR_SUCCESS;
}

namespace NXPROCESS {

// Callers read the platform's last error after a failure (the icon clean-up
// logs it), so it is set last, once the log line is written and everything is
// released.
bool StartProcess(const std::wstring& applicationPath, const std::wstring& arguments,
                  const wchar_t* currentDirectory) {
    const DWORD error = StartShownProgram(applicationPath, arguments, currentDirectory);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

}  // namespace NXPROCESS

void NxReVadiruService::Impl::ExecuteCmd() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::ExecuteCmd";
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
        LogError(kOperation, L"[VuVidazi] CreateProcess failed:", GetLastError());
        return;
    }
    const UniqueHandle interpreter(info.hProcess);
    const UniqueHandle interpreterThread(info.hThread);
    if (WaitForSingleObject(interpreter.get(), kDisableCommandLimitMs) == WAIT_TIMEOUT) {
        // Left running: stopping the driver half-way could leave it worse off.
        LogError(kOperation, L"[VuVidazi] disable command still running after ",
                 kDisableCommandLimitMs, L" ms, recovery goes on");
    }
}
