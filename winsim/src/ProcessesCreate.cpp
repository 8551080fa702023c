// CreateProcessW and CreateProcessAsUserW: every argument goes into the
// journal (format in SimProcesses.h), then the program starts if it can.
#include "Faults.h"
#include "MachineState.h"
#include "ProcessesState.h"

#include <winsim/SimSessions.h>
#include <windows.h>

#include <cstdio>
#include <cwctype>
#include <sstream>
#include <vector>

namespace winsim {

namespace {

// The platform's limit: 32767 units with the terminator.
constexpr size_t kMaxCommandLineLength = 32766;

// What a token handle must hold to start a process as its user.
constexpr DWORD kStartingRights = TOKEN_QUERY | TOKEN_DUPLICATE | TOKEN_ASSIGN_PRIMARY;

std::string Hex(uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof(text), "0x%x", static_cast<unsigned>(value));
    return text;
}

std::string Text(const wchar_t* text) {
    return text == nullptr ? "(null)" : "<" + Narrow(text) + ">";
}

std::string SecurityAttributesText(const SECURITY_ATTRIBUTES* attributes) {
    if (attributes == nullptr) {
        return "(null)";
    }
    const bool hasDescriptor = attributes->lpSecurityDescriptor != nullptr;
    if (attributes->nLength == sizeof(SECURITY_ATTRIBUTES) && !hasDescriptor &&
        attributes->bInheritHandle == FALSE) {
        return "default";
    }
    return "{nLength=" + std::to_string(attributes->nLength) +
           ",sd=" + std::to_string(hasDescriptor ? 1 : 0) +
           ",inherit=" + std::to_string(attributes->bInheritHandle != FALSE ? 1 : 0) + "}";
}

// The entries of a wide environment block.
std::vector<std::wstring> EnvironmentEntries(const void* environment) {
    std::vector<std::wstring> entries;
    for (auto entry = static_cast<const wchar_t*>(environment); *entry != L'\0';
         entry += entries.back().size() + 1) {
        entries.emplace_back(entry);
    }
    return entries;
}

bool StartsWithNoCase(const std::wstring& text, const std::wstring& prefix) {
    return text.size() >= prefix.size() && EqualsNoCase(text.substr(0, prefix.size()), prefix);
}

std::string EnvironmentText(const void* environment, DWORD creationFlags) {
    if (environment == nullptr) {
        return "inherit";
    }
    if ((creationFlags & CREATE_UNICODE_ENVIRONMENT) == 0) {
        return "narrow";
    }
    const std::vector<std::wstring> entries = EnvironmentEntries(environment);
    for (const std::wstring& entry : entries) {
        if (StartsWithNoCase(entry, L"USERNAME=")) {
            return "<" + Narrow(entry) + ">";
        }
    }
    return "<" + std::to_string(entries.size()) + " variables>";
}

std::string StartupSizeText(DWORD size) {
    return size == sizeof(STARTUPINFOW) ? "ok" : std::to_string(size);
}

// Start-up fields a caller is not expected to set here, named when not zero.
std::string OtherStartupFields(const STARTUPINFOW& info) {
    const std::pair<const char*, bool> fields[] = {
        {"lpReserved", info.lpReserved != nullptr},
        {"lpTitle", info.lpTitle != nullptr},
        {"dwX", info.dwX != 0},
        {"dwY", info.dwY != 0},
        {"dwXSize", info.dwXSize != 0},
        {"dwYSize", info.dwYSize != 0},
        {"dwXCountChars", info.dwXCountChars != 0},
        {"dwYCountChars", info.dwYCountChars != 0},
        {"dwFillAttribute", info.dwFillAttribute != 0},
        {"cbReserved2", info.cbReserved2 != 0},
        {"lpReserved2", info.lpReserved2 != nullptr},
        {"hStdInput", info.hStdInput != nullptr},
        {"hStdOutput", info.hStdOutput != nullptr},
        {"hStdError", info.hStdError != nullptr},
    };
    std::string names;
    for (const auto& [name, set] : fields) {
        if (set) {
            names += (names.empty() ? "" : ",") + std::string(name);
        }
    }
    return names.empty() ? "" : " si.other=" + names;
}

// The program's path: the application name, else the command line's first
// token, quoted or ended by a space or tab.
std::wstring ProgramPath(const wchar_t* applicationName, const std::wstring& commandLine) {
    if (applicationName != nullptr) {
        return applicationName;
    }
    if (!commandLine.empty() && commandLine[0] == L'"') {
        return commandLine.substr(1, commandLine.find(L'"', 1) - 1);
    }
    return commandLine.substr(0, commandLine.find_first_of(L" \t"));
}

std::wstring ImageNameOf(const std::wstring& programPath) {
    std::wstring name = FileNameOf(programPath);
    if (name.find(L'.') == std::wstring::npos) {
        name += L".exe";
    }
    return name;
}

// ERROR_SUCCESS with the program that runs when `imageName` starts, or the
// error that starting it fails with.
DWORD FindProgram(Machine& machine, const std::wstring& imageName, Program& program) {
    auto& state = machine.Extension<Processes>().state();
    const std::wstring ownImage = FileNameOf(machine.ExecutablePath());
    std::lock_guard lock(state.mutex);
    const auto registered = state.programs.find(imageName);
    if (registered != state.programs.end()) {
        program = registered->second;
        return ERROR_SUCCESS;
    }
    if (!ownImage.empty() && EqualsNoCase(imageName, ownImage)) {
        return ERROR_SUCCESS;
    }
    return state.unregisteredProgramError;
}

// Who the new process would run as; `error` is set when the token cannot
// start a process.
struct Identity {
    std::string text;  // the journal's user and session fields
    std::wstring user;
    uint32_t sessionId = 0;
    DWORD error = ERROR_SUCCESS;
};

BOOL CreateProcessFor(Machine& machine, const char* function, const Identity& identity,
                      LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                      LPSECURITY_ATTRIBUTES lpProcessAttributes,
                      LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                      DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                      LPSTARTUPINFOW lpStartupInfo, LPPROCESS_INFORMATION lpProcessInformation) {
    if (lpStartupInfo == nullptr || lpProcessInformation == nullptr ||
        (lpApplicationName == nullptr && lpCommandLine == nullptr)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::ostringstream line;
    line << function << " " << identity.text << " app=" << Text(lpApplicationName)
         << " cmd=" << Text(lpCommandLine) << " dir=" << Text(lpCurrentDirectory)
         << " env=" << EnvironmentText(lpEnvironment, dwCreationFlags)
         << " flags=" << Hex(dwCreationFlags) << " inherit=" << (bInheritHandles ? 1 : 0)
         << " psa=" << SecurityAttributesText(lpProcessAttributes)
         << " tsa=" << SecurityAttributesText(lpThreadAttributes)
         << " si.cb=" << StartupSizeText(lpStartupInfo->cb)
         << " desktop=" << Text(lpStartupInfo->lpDesktop)
         << " startf=" << Hex(lpStartupInfo->dwFlags) << " show=" << lpStartupInfo->wShowWindow
         << OtherStartupFields(*lpStartupInfo);

    const std::wstring commandLine =
        lpCommandLine != nullptr ? lpCommandLine : std::wstring(lpApplicationName);
    const std::wstring imageName = ImageNameOf(ProgramPath(lpApplicationName, commandLine));
    Program program;
    DWORD error = identity.error;
    if (error == ERROR_SUCCESS && commandLine.size() > kMaxCommandLineLength) {
        error = ERROR_FILENAME_EXCED_RANGE;
    }
    if (error == ERROR_SUCCESS) {
        error = FindProgram(machine, imageName, program);
    }
    if (error != ERROR_SUCCESS) {
        machine.Record("process", line.str() + " -> error " + std::to_string(error));
        SetLastError(error);
        return FALSE;
    }

    ProcessInfo info;
    info.imageName = imageName;
    info.parentId = machine.CurrentProcessId();
    info.sessionId = identity.sessionId;
    info.user = identity.user;
    info.commandLine = commandLine;
    info.currentDirectory = lpCurrentDirectory != nullptr ? lpCurrentDirectory : L"";
    if (lpEnvironment != nullptr && (dwCreationFlags & CREATE_UNICODE_ENVIRONMENT) != 0) {
        info.environment = EnvironmentEntries(lpEnvironment);
    }
    uint32_t threadId = 0;
    const auto process = AddProcess(machine, std::move(info), threadId);
    lpProcessInformation->hProcess = machine.AddHandle(process);
    lpProcessInformation->hThread =
        machine.AddHandle(std::make_shared<ProcessThreadObject>(process));
    lpProcessInformation->dwProcessId = process->Id();
    lpProcessInformation->dwThreadId = threadId;
    machine.Record("process", line.str() + " -> pid " + std::to_string(process->Id()));
    SetLastError(ERROR_SUCCESS);
    if (program && (dwCreationFlags & CREATE_SUSPENDED) == 0) {
        RunProgram(machine, process, std::move(program));
    }
    return TRUE;
}

}  // namespace

}  // namespace winsim

BOOL WINAPI CreateProcessW(LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                           LPSECURITY_ATTRIBUTES lpProcessAttributes,
                           LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                           DWORD dwCreationFlags, LPVOID lpEnvironment, LPCWSTR lpCurrentDirectory,
                           LPSTARTUPINFOW lpStartupInfo,
                           LPPROCESS_INFORMATION lpProcessInformation) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CreateProcessW")) {
        return FALSE;
    }
    // The service's own account and session.
    const std::wstring user = winsim::Sessions::ServiceAccount().name;
    const winsim::Identity self{"user=<" + winsim::Narrow(user) + "> session=0", user, 0,
                                ERROR_SUCCESS};
    return winsim::CreateProcessFor(machine, "CreateProcessW", self, lpApplicationName,
                                    lpCommandLine, lpProcessAttributes, lpThreadAttributes,
                                    bInheritHandles, dwCreationFlags, lpEnvironment,
                                    lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}

BOOL WINAPI CreateProcessAsUserW(HANDLE hToken, LPCWSTR lpApplicationName, LPWSTR lpCommandLine,
                                 LPSECURITY_ATTRIBUTES lpProcessAttributes,
                                 LPSECURITY_ATTRIBUTES lpThreadAttributes, BOOL bInheritHandles,
                                 DWORD dwCreationFlags, LPVOID lpEnvironment,
                                 LPCWSTR lpCurrentDirectory, LPSTARTUPINFOW lpStartupInfo,
                                 LPPROCESS_INFORMATION lpProcessInformation) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CreateProcessAsUserW")) {
        return FALSE;
    }
    winsim::Identity identity{"user=(bad token) session=(bad token)", L"", 0, ERROR_INVALID_HANDLE};
    if (const auto token = machine.LookupAs<winsim::TokenObject>(hToken)) {
        identity.text = "user=<" + winsim::Narrow(token->user.name) +
                        "> session=" + std::to_string(token->sessionId);
        identity.user = token->user.name;
        identity.sessionId = token->sessionId;
        // Only a primary token can start a process, through a handle that may use it so.
        identity.error = !machine.Grants(hToken, winsim::kStartingRights) ? ERROR_ACCESS_DENIED
                         : token->primary                                 ? ERROR_SUCCESS
                                                                          : ERROR_BAD_TOKEN_TYPE;
    }
    return winsim::CreateProcessFor(machine, "CreateProcessAsUserW", identity, lpApplicationName,
                                    lpCommandLine, lpProcessAttributes, lpThreadAttributes,
                                    bInheritHandles, dwCreationFlags, lpEnvironment,
                                    lpCurrentDirectory, lpStartupInfo, lpProcessInformation);
}
