#include "StopSignal.h"

#include "process/UniqueHandle.h"

#include <windows.h>

#include <atomic>
#include <mutex>
#include <thread>

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

// Reads and discards the standard input until it ends. A blocking read cannot
// be cancelled on every kind of input handle, so the thread is detached and
// keeps the state alive itself; the process ending ends it.
void WatchStandardInput(std::shared_ptr<StopSignal::State> state) {
    std::thread([state = std::move(state)] {
        const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
        char buffer[256];
        DWORD read = 0;
        while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
        }
        state->Request("standard input closed");
    }).detach();
}

}  // namespace

StopSignal::StopSignal() : state_(std::make_shared<State>()) {
    if (!state_->IsReady()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(handlerMutex);
        handlerState = state_;
    }
    SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WatchStandardInput(state_);
}

StopSignal::~StopSignal() {
    SetConsoleCtrlHandler(OnConsoleControl, FALSE);
    std::lock_guard<std::mutex> lock(handlerMutex);
    handlerState.reset();
}

bool StopSignal::IsReady() const {
    return state_->IsReady();
}

std::string StopSignal::Wait(std::optional<std::chrono::milliseconds> limit) const {
    return state_->Wait(limit);
}
