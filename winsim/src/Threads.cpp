#include "Faults.h"

#include <windows.h>

#include <atomic>
#include <system_error>
#include <thread>

namespace {

// Windows thread ids are multiples of 4; 0 never names a thread.
constexpr DWORD kFirstThreadId = 0x1004;
constexpr DWORD kThreadIdStep = 4;
std::atomic<DWORD> nextThreadId{kFirstThreadId};

thread_local DWORD currentThreadId = 0;

// A thread handle's object: signalled once the thread's function has returned.
class ThreadObject : public winsim::Waitable {
public:
    const char* Kind() const override { return "thread"; }
    bool IsSignalled() const override { return ended_.load(); }
    void Finish() { ended_.store(true); }

private:
    std::atomic<bool> ended_{false};
};

}  // namespace

DWORD WINAPI GetCurrentThreadId() {
    if (currentThreadId == 0) {
        currentThreadId = nextThreadId.fetch_add(kThreadIdStep);
    }
    return currentThreadId;
}

DWORD WINAPI GetCurrentProcessId() {
    return winsim::Current().CurrentProcessId();
}

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE lpStartAddress,
                           LPVOID lpParameter, DWORD, LPDWORD lpThreadId) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "CreateThread")) {
        return nullptr;
    }
    auto thread = std::make_shared<ThreadObject>();
    const DWORD id = nextThreadId.fetch_add(kThreadIdStep);
    machine.ThreadStarted();
    try {
        std::thread([&machine, thread, id, lpStartAddress, lpParameter] {
            currentThreadId = id;
            lpStartAddress(lpParameter);
            thread->Finish();
            machine.NotifyStateChanged();
            machine.ThreadFinished();
        }).detach();
    } catch (const std::system_error&) {
        machine.ThreadFinished();
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    if (lpThreadId != nullptr) {
        *lpThreadId = id;
    }
    return machine.AddHandle(thread);
}
