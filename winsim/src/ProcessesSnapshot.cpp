// Process snapshots: the running processes frozen when the snapshot is taken.
#include "Faults.h"
#include "ProcessesState.h"

#include <windows.h>
#include <tlhelp32.h>

#include <atomic>
#include <cwchar>
#include <vector>

namespace {

class SnapshotObject : public winsim::Object {
public:
    explicit SnapshotObject(std::vector<winsim::ProcessInfo> entries)
        : entries_(std::move(entries)) {}
    const char* Kind() const override { return "snapshot"; }

    // Fills `entry` with the entry at `index`, and moves past it; false past the end.
    bool Read(size_t index, PROCESSENTRY32W& entry) {
        if (index >= entries_.size()) {
            next_.store(entries_.size());
            return false;
        }
        const winsim::ProcessInfo& process = entries_[index];
        const DWORD size = entry.dwSize;
        entry = PROCESSENTRY32W{};
        entry.dwSize = size;
        entry.th32ProcessID = process.id;
        entry.cntThreads = 1;
        entry.th32ParentProcessID = process.parentId;
        entry.pcPriClassBase = kNormalPriority;
        std::wcsncpy(entry.szExeFile, process.imageName.c_str(), MAX_PATH - 1);
        next_.store(index + 1);
        return true;
    }
    size_t Next() const { return next_.load(); }

private:
    static constexpr LONG kNormalPriority = 8;
    const std::vector<winsim::ProcessInfo> entries_;
    std::atomic<size_t> next_{0};
};

BOOL ReadEntry(HANDLE hSnapshot, LPPROCESSENTRY32W lppe, const char* function, bool first) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, function)) {
        return FALSE;
    }
    const auto snapshot = machine.LookupAs<SnapshotObject>(hSnapshot);
    if (!snapshot) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (lppe == nullptr || lppe->dwSize != sizeof(PROCESSENTRY32W)) {
        SetLastError(ERROR_BAD_LENGTH);
        return FALSE;
    }
    if (!snapshot->Read(first ? 0 : snapshot->Next(), *lppe)) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    return TRUE;
}

}  // namespace

HANDLE WINAPI CreateToolhelp32Snapshot(DWORD dwFlags, DWORD) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CreateToolhelp32Snapshot")) {
        return INVALID_HANDLE_VALUE;
    }
    if (dwFlags != TH32CS_SNAPPROCESS) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<winsim::ProcessInfo> entries;
    for (const auto& process : winsim::RunningProcesses(machine)) {
        entries.push_back(process->Info());
    }
    return machine.AddHandle(std::make_shared<SnapshotObject>(std::move(entries)));
}

BOOL WINAPI Process32FirstW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe) {
    return ReadEntry(hSnapshot, lppe, "Process32FirstW", true);
}

BOOL WINAPI Process32NextW(HANDLE hSnapshot, LPPROCESSENTRY32W lppe) {
    return ReadEntry(hSnapshot, lppe, "Process32NextW", false);
}
