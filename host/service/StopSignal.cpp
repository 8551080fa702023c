#include "StopSignal.h"

#include "win32/UniqueAny.h"

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>

class StopSignal::State {
public:
    State() : event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

    bool IsReady() const { return static_cast<bool>(event_); }

    // The first request names the reason; later ones change nothing.
    void Request(const char* reason) {
        const char* expected = nullptr;
        reason_.compare_exchange_strong(expected, reason);
        SetEvent(event_.get());
    }

    std::string Wait(std::optional<std::chrono::milliseconds> limit) const {
        if (WaitForSingleObject(event_.get(), limit ? static_cast<DWORD>(limit->count())
                                                    : INFINITE) == WAIT_TIMEOUT) {
            return "time limit reached";
        }
        const char* reason = reason_.load();
        return reason != nullptr ? reason : "";
    }

private:
    UniqueHandle event_;
    std::atomic<const char*> reason_{nullptr};
};

namespace {

// The console control handler is a plain function, so it reaches the signal
// through this slot while a StopSignal exists.
std::mutex handlerMutex;
std::shared_ptr<StopSignal::State> handlerState;

BOOL WINAPI OnConsoleControl(DWORD controlType) {
    if (controlType != CTRL_C_EVENT && controlType != CTRL_BREAK_EVENT &&
        controlType != CTRL_CLOSE_EVENT) {
        return FALSE;
    }
    std::shared_ptr<StopSignal::State> state;
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        state = handlerState;
    }
    if (!state) {
        return FALSE;
    }
    state->Request("Ctrl+C");
    return TRUE;
}

// Reads and discards the standard input until it ends, then asks for the stop.
DWORD WINAPI ReadUntilInputEnds(LPVOID parameter) {
    const std::unique_ptr<std::shared_ptr<StopSignal::State>> state(
        static_cast<std::shared_ptr<StopSignal::State>*>(parameter));
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    char buffer[256];
    DWORD read = 0;
    while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
    }
    (*state)->Request("standard input closed");
    return 0;
}

// A blocking read cannot be cancelled on every kind of input handle, so nobody
// waits for the reader: it keeps the state alive itself and the process ending
// ends it. A plain Win32 thread, because the C++ runtime's thread library
// recycles the record of a thread detached while it ends (an input at its end
// ends the reader at once) and the ending thread then destroys parts of the
// next thread given that record: the bus client's, in nxbus, which corrupted
// the heap.
bool WatchStandardInput(const std::shared_ptr<StopSignal::State>& state) {
    auto owned = std::make_unique<std::shared_ptr<StopSignal::State>>(state);
    const UniqueHandle reader(
        CreateThread(nullptr, 0, ReadUntilInputEnds, owned.get(), 0, nullptr));
    if (!reader) {
        return false;
    }
    owned.release();  // the reader owns it now
    return true;
}

}  // namespace

StopSignal::StopSignal(InputEnd inputEnd) : state_(std::make_shared<State>()) {
    if (!state_->IsReady()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handlerState = state_;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    const bool watchInput =
        inputEnd == InputEnd::Any || GetFileType(GetStdHandle(STD_INPUT_HANDLE)) == FILE_TYPE_PIPE;
    ready_ = !watchInput || WatchStandardInput(state_);
}

StopSignal::~StopSignal() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    std::lock_guard<std::mutex> lock(handlerMutex);
    handlerState.reset();
}

bool StopSignal::IsReady() const {
    return ready_;
}

std::string StopSignal::Wait(std::optional<std::chrono::milliseconds> limit) const {
    return state_->Wait(limit);
}
