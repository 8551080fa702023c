// CreateFileW and WriteFile over the machine's HID interfaces, the only paths
// the simulated machine can open besides the executable's own file.
#include "Faults.h"
#include "HidState.h"
#include "MachineState.h"

#include <cstdio>
#include <string>

namespace {

constexpr DWORD kFirstDisposition = CREATE_NEW;
constexpr DWORD kLastDisposition = TRUNCATE_EXISTING;

std::string WriteEntry(const std::wstring& path, const BYTE* bytes, DWORD count) {
    std::string text = "write " + winsim::Narrow(path) + " " + std::to_string(count) + " bytes";
    for (DWORD i = 0; i < count; ++i) {
        char group[4];
        std::snprintf(group, sizeof(group), " %02x", static_cast<unsigned>(bytes[i]));
        text += group;
    }
    return text;
}

// The executable's own file, open for reading; nothing is read from it.
class ExecutableFile : public winsim::Object {
public:
    const char* Kind() const override { return "file"; }
};

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
    // Sharing between the machine's own handles is not simulated; the system's
    // exclusive hold on an interface is (HoldExclusively).
    UNREFERENCED_PARAMETER(dwShareMode);
    UNREFERENCED_PARAMETER(lpSecurityAttributes);
    UNREFERENCED_PARAMETER(hTemplateFile);
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CreateFileW")) {
        return INVALID_HANDLE_VALUE;
    }
    if (lpFileName == nullptr || dwCreationDisposition < kFirstDisposition ||
        dwCreationDisposition > kLastDisposition) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if ((dwCreationDisposition != OPEN_EXISTING && dwCreationDisposition != OPEN_ALWAYS) ||
        (dwFlagsAndAttributes != 0 && dwFlagsAndAttributes != FILE_ATTRIBUTE_NORMAL)) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    // As for any file that exists, opening it with OPEN_ALWAYS says so.
    const DWORD openedError =
        dwCreationDisposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS;
    if (winsim::EqualsNoCase(lpFileName, machine.ExecutablePath())) {
        if ((dwDesiredAccess & ~GENERIC_READ) != 0) {
            SetLastError(ERROR_NOT_SUPPORTED);
            return INVALID_HANDLE_VALUE;
        }
        SetLastError(openedError);
        return machine.AddHandle(std::make_shared<ExecutableFile>());
    }
    auto& state = winsim::HidState();
    std::unique_lock lock(state.mutex);
    const auto index = state.Find(lpFileName);
    if (!index) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    const uint32_t exclusiveError = state.interfaces[*index].exclusiveError;
    lock.unlock();
    if (exclusiveError != 0 && (dwDesiredAccess & (GENERIC_READ | GENERIC_WRITE)) != 0) {
        SetLastError(exclusiveError);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(openedError);
    return machine.AddHandle(std::make_shared<winsim::HidFile>(*index, dwDesiredAccess));
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "WriteFile")) {
        return FALSE;
    }
    if (machine.LookupAs<ExecutableFile>(hFile)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    const auto file = machine.LookupAs<winsim::HidFile>(hFile);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if ((file->access & GENERIC_WRITE) == 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (lpNumberOfBytesWritten == nullptr && lpOverlapped == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const auto target = winsim::InterfaceOfHandle(hFile);
    if (!target) {
        return FALSE;
    }
    if (target->collection.outputReportLength == 0 ||
        nNumberOfBytesToWrite != target->collection.outputReportLength || lpBuffer == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    if (target->writeError != 0) {
        SetLastError(target->writeError);
        return FALSE;
    }
    if (lpNumberOfBytesWritten != nullptr) {
        *lpNumberOfBytesWritten = nNumberOfBytesToWrite;
    }
    machine.Record(
        "hid", WriteEntry(target->path, static_cast<const BYTE*>(lpBuffer), nNumberOfBytesToWrite));
    return TRUE;
}
