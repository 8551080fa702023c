#include "Faults.h"
#include "MachineState.h"

#include <windows.h>

#include <atomic>
#include <string>

namespace winsim {

namespace {

// Values look like the small, 4-aligned numbers Windows hands out. The counter
// is global so that a value is never reused, not even by a later machine: a
// stale handle from an earlier test can never reach a new object.
constexpr uintptr_t kFirstHandle = 0x1000;
constexpr uintptr_t kHandleStep = 4;
std::atomic<uintptr_t> nextHandle{kFirstHandle};

}  // namespace

void* Machine::AddHandle(std::shared_ptr<Object> object, uint32_t grantedAccess, bool inheritable) {
    void* handle = reinterpret_cast<void*>(nextHandle.fetch_add(kHandleStep));
    const std::string kind = object->Kind();
    {
        auto lock = state_->Locked();
        state_->handles.emplace(handle,
                                State::HandleEntry{std::move(object), grantedAccess, inheritable});
    }
    if (inheritable) {
        Record("handle", "inheritable " + kind);
    }
    return handle;
}

std::shared_ptr<Object> Machine::Lookup(void* handle) const {
    auto lock = state_->Locked();
    const auto found = state_->handles.find(handle);
    return found == state_->handles.end() ? nullptr : found->second.object;
}

uint32_t Machine::GrantedAccess(void* handle) const {
    auto lock = state_->Locked();
    const auto found = state_->handles.find(handle);
    return found == state_->handles.end() ? 0 : found->second.grantedAccess;
}

bool Machine::Inheritable(void* handle) const {
    auto lock = state_->Locked();
    const auto found = state_->handles.find(handle);
    return found != state_->handles.end() && found->second.inheritable;
}

bool Machine::RemoveHandle(void* handle) {
    std::shared_ptr<Object> closed;  // declared first: destroyed after the lock is released
    auto lock = state_->Locked();
    const auto found = state_->handles.find(handle);
    if (found == state_->handles.end()) {
        return false;
    }
    closed = std::move(found->second.object);
    state_->handles.erase(found);
    return true;
}

size_t Machine::OpenHandleCount() const {
    auto lock = state_->Locked();
    size_t count = state_->handles.size();
    for (const auto& [kind, held] : state_->resources) {
        count += held;
    }
    return count;
}

std::vector<std::string> Machine::OpenHandleKinds() const {
    auto lock = state_->Locked();
    std::vector<std::string> kinds;
    for (const auto& [handle, entry] : state_->handles) {
        kinds.emplace_back(entry.object->Kind());
    }
    for (const auto& [kind, held] : state_->resources) {
        kinds.insert(kinds.end(), held, kind);
    }
    return kinds;
}

void Machine::AcquireResource(const std::string& kind) {
    auto lock = state_->Locked();
    ++state_->resources[kind];
}

bool Machine::ReleaseResource(const std::string& kind) {
    auto lock = state_->Locked();
    const auto found = state_->resources.find(kind);
    if (found == state_->resources.end()) {
        return false;
    }
    if (--found->second == 0) {
        state_->resources.erase(found);
    }
    return true;
}

}  // namespace winsim

BOOL WINAPI CloseHandle(HANDLE hObject) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CloseHandle")) {
        return FALSE;
    }
    if (!machine.RemoveHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetHandleInformation(HANDLE hObject, LPDWORD lpdwFlags) {
    auto& machine = winsim::Current();
    if (!machine.Lookup(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpdwFlags = machine.Inheritable(hObject) ? HANDLE_FLAG_INHERIT : 0;
    return TRUE;
}
