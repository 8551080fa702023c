// CreateFileW and WriteFile over the machine's HID interfaces and the running
// program's own file, the only paths the simulated machine can open.
#include "Faults.h"
#include "FileSharing.h"
#include "HidState.h"
#include "MachineState.h"

#include <cstdio>
#include <mutex>
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

// The running program's file, open for reading only.
class ExecutableFile : public winsim::Object {
public:
    explicit ExecutableFile(std::shared_ptr<const winsim::ShareAccess> sharing)
        : sharing_(std::move(sharing)) {}
    const char* Kind() const override { return "file"; }

private:
    const std::shared_ptr<const winsim::ShareAccess> sharing_;
};

// The loader keeps the program's image open for reading, sharing reading, from
// the first time anyone opens the file (on whichever thread).
struct RunningImage {
    std::once_flag opened;
    std::shared_ptr<const winsim::ShareAccess> open;
};

// The open file object, or nothing with the last error set.
std::shared_ptr<winsim::Object> OpenExecutable(winsim::Machine& machine, const std::wstring& path,
                                               DWORD access, DWORD share) {
    auto& image = machine.Extension<RunningImage>();
    std::call_once(image.opened, [&] {
        image.open = winsim::OpenShared(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE);
    });
    // The image's open does not share writing, so no one can write to the file.
    auto sharing = winsim::OpenShared(path, access, share);
    if (!sharing) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return nullptr;
    }
    return std::make_shared<ExecutableFile>(std::move(sharing));
}

// The open interface object, or nothing with the last error set.
std::shared_ptr<winsim::Object> OpenHidInterface(const std::wstring& name, DWORD access,
                                                 DWORD share) {
    auto& state = winsim::HidState();
    std::unique_lock lock(state.mutex);
    const auto index = state.Find(name);
    if (!index || !state.interfaces[*index].present) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return nullptr;
    }
    const uint32_t exclusiveError = state.interfaces[*index].exclusiveError;
    const std::wstring path = state.interfaces[*index].path;
    lock.unlock();
    if (exclusiveError != 0 && (access & (GENERIC_READ | GENERIC_WRITE)) != 0) {
        SetLastError(exclusiveError);
        return nullptr;
    }
    auto sharing = winsim::OpenShared(path, access, share);
    if (!sharing) {
        SetLastError(ERROR_SHARING_VIOLATION);
        return nullptr;
    }
    return std::make_shared<winsim::HidFile>(*index, access, std::move(sharing));
}

}  // namespace

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile) {
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
    const auto file = winsim::EqualsNoCase(lpFileName, machine.ExecutablePath())
                          ? OpenExecutable(machine, lpFileName, dwDesiredAccess, dwShareMode)
                          : OpenHidInterface(lpFileName, dwDesiredAccess, dwShareMode);
    if (!file) {
        return INVALID_HANDLE_VALUE;
    }
    // As for files, opening what exists with OPEN_ALWAYS says so.
    SetLastError(dwCreationDisposition == OPEN_ALWAYS ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return machine.AddHandle(file);
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "WriteFile")) {
        return FALSE;
    }
    if (machine.LookupAs<ExecutableFile>(hFile)) {
        SetLastError(ERROR_ACCESS_DENIED);  // it opens for reading only
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
