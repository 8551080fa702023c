#include "MachineState.h"

#include <windows.h>

#include <algorithm>
#include <system_error>
#include <thread>

namespace winsim {

namespace {

// How long (in real time) Advance waits for the waiters it woke to leave their wait.
constexpr auto kWakeTimeout = std::chrono::seconds(10);

// A waiter whose machine is going away: tell the machine it has left, then
// sleep until the program ends without touching the machine again.
[[noreturn]] void Abandon(Machine::State& state, Machine::State::Lock& lock) {
    --state.waiting;
    state.changed.notify_all();
    lock.unlock();
    for (;;) {
        std::this_thread::sleep_for(std::chrono::hours(24));
    }
}

// Set on the threads of StartThreadOnClock.
thread_local bool holdsClock = false;

bool DueWaitersReleased(const Machine::State& state) {
    return (state.deadlines.empty() || *state.deadlines.begin() > state.now) &&
           state.clockHolders == 0;
}

// A thread that holds the clock lets go of it while it waits.
void LeaveClock(Machine::State& state) {
    if (holdsClock) {
        --state.clockHolders;
        state.changed.notify_all();
    }
}

void ReturnToClock(Machine::State& state) {
    if (holdsClock) {
        ++state.clockHolders;
    }
}

}  // namespace

uint64_t Machine::Now() const {
    auto lock = state_->Locked();
    return state_->now;
}

void Machine::Advance(uint64_t ms) {
    auto lock = state_->Locked();
    state_->changed.wait_for(lock, kWakeTimeout, [this] { return state_->clockHolders == 0; });
    state_->now += ms;
    state_->changed.notify_all();
    state_->changed.wait_for(lock, kWakeTimeout, [this] { return DueWaitersReleased(*state_); });
}

bool Machine::AdvanceToNextDeadline() {
    auto lock = state_->Locked();
    state_->changed.wait_for(lock, kWakeTimeout, [this] { return state_->clockHolders == 0; });
    if (state_->deadlines.empty()) {
        return false;
    }
    state_->now = std::max(state_->now, *state_->deadlines.begin());
    state_->changed.notify_all();
    state_->changed.wait_for(lock, kWakeTimeout, [this] { return DueWaitersReleased(*state_); });
    return true;
}

size_t Machine::ParkedCount() const {
    auto lock = state_->Locked();
    return state_->deadlines.size();
}

bool Machine::WaitForParked(size_t count, std::chrono::milliseconds timeout) const {
    auto lock = state_->Locked();
    return state_->changed.wait_for(lock, timeout,
                                    [&] { return state_->deadlines.size() >= count; });
}

size_t Machine::BlockedCount() const {
    auto lock = state_->Locked();
    return state_->blocked;
}

bool Machine::WaitForBlocked(size_t count, std::chrono::milliseconds timeout) const {
    auto lock = state_->Locked();
    return state_->changed.wait_for(lock, timeout, [&] { return state_->blocked >= count; });
}

bool Machine::ParkUntil(uint64_t deadline, const std::function<bool()>& wake) {
    auto lock = state_->Locked();
    if (wake()) {
        return true;
    }
    if (state_->now >= deadline) {
        return false;
    }
    ++state_->waiting;
    const auto parked = state_->deadlines.insert(deadline);
    LeaveClock(*state_);
    state_->changed.notify_all();
    bool woken = false;
    for (;;) {
        if (state_->shuttingDown) {
            Abandon(*state_, lock);
        }
        if (wake()) {
            woken = true;
            break;
        }
        if (state_->now >= deadline) {
            break;
        }
        state_->changed.wait(lock);
    }
    state_->deadlines.erase(parked);
    --state_->waiting;
    ReturnToClock(*state_);
    state_->changed.notify_all();
    return woken;
}

void Machine::BlockUntil(const std::function<bool()>& wake) {
    auto lock = state_->Locked();
    if (wake()) {
        return;
    }
    ++state_->waiting;
    ++state_->blocked;
    LeaveClock(*state_);
    state_->changed.notify_all();
    for (;;) {
        if (state_->shuttingDown) {
            --state_->blocked;
            Abandon(*state_, lock);
        }
        if (wake()) {
            break;
        }
        state_->changed.wait(lock);
    }
    --state_->blocked;
    --state_->waiting;
    ReturnToClock(*state_);
    state_->changed.notify_all();
}

bool Machine::StartThreadOnClock(std::function<void()> body) {
    const auto leave = [this] {
        auto lock = state_->Locked();
        --state_->clockHolders;
        --state_->runningThreads;
        state_->changed.notify_all();
    };
    {
        auto lock = state_->Locked();
        ++state_->clockHolders;
        ++state_->runningThreads;
    }
    try {
        std::thread([body = std::move(body), leave] {
            holdsClock = true;
            body();
            leave();
        }).detach();
    } catch (const std::system_error&) {
        leave();
        return false;
    }
    return true;
}

void Machine::NotifyStateChanged() {
    auto lock = state_->Locked();
    state_->changed.notify_all();
}

}  // namespace winsim

DWORD WINAPI GetTickCount() {
    return static_cast<DWORD>(winsim::Current().Now());
}

ULONGLONG WINAPI GetTickCount64() {
    return winsim::Current().Now();
}
