// Opening processes, their ids and exit codes, and ending them.
#include "Faults.h"
#include "ProcessesState.h"

#include <windows.h>

HANDLE WINAPI OpenProcess(DWORD, BOOL, DWORD dwProcessId) {
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
    return machine.AddHandle(process);
}

BOOL WINAPI GetExitCodeProcess(HANDLE hProcess, LPDWORD lpExitCode) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "GetExitCodeProcess")) {
        return FALSE;
    }
    const auto process = machine.LookupAs<winsim::ProcessObject>(hProcess);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
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
    const auto process = machine.LookupAs<winsim::ProcessObject>(hProcess);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
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
    const auto process = machine.LookupAs<winsim::ProcessObject>(Process);
    if (!process) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    return process->Id();
}
