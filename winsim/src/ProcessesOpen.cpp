// Opening processes, their ids and exit codes, and ending them.
#include "AccessRights.h"
#include "Faults.h"
#include "ProcessesState.h"

#include <windows.h>

namespace {

// Windows' meaning of the generic rights for processes.
constexpr winsim::GenericMapping kProcessRights{
    READ_CONTROL | PROCESS_VM_READ | PROCESS_QUERY_INFORMATION,
    READ_CONTROL | PROCESS_SUSPEND_RESUME | PROCESS_SET_INFORMATION | PROCESS_SET_QUOTA |
        PROCESS_CREATE_PROCESS | PROCESS_DUP_HANDLE | PROCESS_VM_WRITE | PROCESS_VM_OPERATION |
        PROCESS_CREATE_THREAD,
    READ_CONTROL | SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_TERMINATE,
    PROCESS_ALL_ACCESS};

// Held by every handle granted either query right (see OpenProcess).
constexpr DWORD kQueryRight = PROCESS_QUERY_LIMITED_INFORMATION;

}  // namespace

HANDLE WINAPI GetCurrentProcess() {
    return INVALID_HANDLE_VALUE;
}

HANDLE WINAPI OpenProcess(DWORD dwDesiredAccess, BOOL bInheritHandle, DWORD dwProcessId) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "OpenProcess")) {
        return nullptr;
    }
    const auto process = winsim::FindProcess(machine, dwProcessId);
    // Windows answers an invalid parameter for the idle process's id 0 and for
    // ids of no live process alike.
    if (dwProcessId == 0 || !process || !process->Running()) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    if (process->OpenDenied()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    DWORD granted = winsim::GrantedRights(dwDesiredAccess, kProcessRights);
    // The full query right brings the limited one with it.
    if ((granted & PROCESS_QUERY_INFORMATION) != 0) {
        granted |= kQueryRight;
    }
    return machine.AddHandle(process, granted, bInheritHandle != FALSE);
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "GetExitCodeProcess")) {
        return FALSE;
    }
    const auto process =
        winsim::ObjectWithRights<winsim::ProcessObject>(machine, hProcess, kQueryRight);
    if (!process) {
        return FALSE;
    }
    *lpExitCode = process->ExitCode();
    return TRUE;
}

BOOL WINAPI TerminateProcess(HANDLE hProcess, UINT uExitCode) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "TerminateProcess")) {
        return FALSE;
    }
    const auto process =
        winsim::ObjectWithRights<winsim::ProcessObject>(machine, hProcess, PROCESS_TERMINATE);
    if (!process) {
        return FALSE;
    }
    // A process that has ended cannot be terminated again.
    if (!process->Running()) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    winsim::EndProcess(machine, *process, uExitCode);
    return TRUE;
}

DWORD WINAPI GetProcessId(HANDLE Process) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "GetProcessId")) {
        return 0;
    }
    const auto process =
        winsim::ObjectWithRights<winsim::ProcessObject>(machine, Process, kQueryRight);
    if (!process) {
        return 0;
    }
    return process->Id();
}
