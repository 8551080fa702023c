#include "AccessRights.h"
#include "Faults.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>

namespace {

class EventObject : public winsim::Waitable {
public:
    EventObject(bool manualReset, bool signalled, std::wstring name)
        : manualReset_(manualReset), signalled_(signalled), name_(std::move(name)) {}
    const char* Kind() const override { return "event"; }
    bool IsSignalled() const override { return signalled_.load(); }
    void Consume() override {
        if (!manualReset_) {
            signalled_.store(false);
        }
    }
    void Set(bool signalled) { signalled_.store(signalled); }
    const std::wstring& Name() const { return name_; }

private:
    const bool manualReset_;
    std::atomic<bool> signalled_;
    const std::wstring name_;
};

// Named events of the machine. An event lives while a handle refers to it, so
// the table holds weak references. Names are case-sensitive, as kernel object
// names are.
class NamedEvents {
public:
    // The event of that name, made now when none exists; `existed` tells which.
    std::shared_ptr<EventObject> FindOrAdd(const std::wstring& name, bool manualReset,
                                           bool signalled, bool& existed) {
        std::lock_guard lock(mutex_);
        auto& slot = events_[name];
        auto event = slot.lock();
        existed = event != nullptr;
        if (!existed) {
            event = std::make_shared<EventObject>(manualReset, signalled, name);
            slot = event;
        }
        return event;
    }
    std::shared_ptr<EventObject> Find(const std::wstring& name) {
        std::lock_guard lock(mutex_);
        const auto found = events_.find(name);
        return found == events_.end() ? nullptr : found->second.lock();
    }

private:
    std::mutex mutex_;
    std::map<std::wstring, std::weak_ptr<EventObject>> events_;
};

// SetEvent and ResetEvent on a named event are effects other programs can see.
BOOL ChangeEvent(HANDLE hEvent, bool signalled, const char* function) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, function)) {
        return FALSE;
    }
    const auto event = machine.LookupAs<EventObject>(hEvent);
    if (!event) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    event->Set(signalled);
    if (!event->Name().empty()) {
        machine.Record("event", std::string(function) + " " + winsim::Narrow(event->Name()));
    }
    machine.NotifyStateChanged();
    return TRUE;
}

}  // namespace

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES, BOOL bManualReset, BOOL bInitialState,
                           LPCWSTR lpName) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CreateEventW")) {
        return nullptr;
    }
    if (lpName == nullptr || *lpName == L'\0') {
        SetLastError(ERROR_SUCCESS);
        return machine.AddHandle(
            std::make_shared<EventObject>(bManualReset != FALSE, bInitialState != FALSE, L""));
    }
    bool existed = false;
    auto event = machine.Extension<NamedEvents>().FindOrAdd(lpName, bManualReset != FALSE,
                                                            bInitialState != FALSE, existed);
    HANDLE handle = machine.AddHandle(std::move(event));
    // Opening an existing event succeeds and says so through the last error.
    SetLastError(existed ? ERROR_ALREADY_EXISTS : ERROR_SUCCESS);
    return handle;
}

BOOL WINAPI SetEvent(HANDLE hEvent) {
    return ChangeEvent(hEvent, true, "SetEvent");
}

BOOL WINAPI ResetEvent(HANDLE hEvent) {
    return ChangeEvent(hEvent, false, "ResetEvent");
}

DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "WaitForSingleObject")) {
        return WAIT_FAILED;
    }
    // The wait keeps its own reference: closing the handle meanwhile does not end it.
    const auto object = winsim::ObjectWithRights<winsim::Waitable>(machine, hHandle, SYNCHRONIZE);
    if (!object) {
        return WAIT_FAILED;
    }
    const auto acquire = [&object] {
        if (!object->IsSignalled()) {
            return false;
        }
        object->Consume();
        return true;
    };
    if (dwMilliseconds == INFINITE) {
        machine.BlockUntil(acquire);
        return WAIT_OBJECT_0;
    }
    return machine.ParkUntil(machine.Now() + dwMilliseconds, acquire) ? WAIT_OBJECT_0
                                                                      : WAIT_TIMEOUT;
}

void WINAPI Sleep(DWORD dwMilliseconds) {
    auto& machine = winsim::Current();
    const auto never = [] { return false; };
    if (dwMilliseconds == INFINITE) {
        machine.BlockUntil(never);
        return;
    }
    machine.ParkUntil(machine.Now() + dwMilliseconds, never);
}
