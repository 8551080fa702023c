// Notes when an event is signalled: a thread of its own waits on it without a
// time limit, as a program waiting for that signal does, and reads the clock
// the moment its wait returns.
#pragma once

#include "Figures.h"

#include <windows.h>

#include <future>
#include <optional>
#include <thread>

class EventStamp {
public:
    // `event` must stay open until the stamp is destroyed.
    explicit EventStamp(HANDLE event);
    // A waiter that was never signalled is released by signalling the event.
    ~EventStamp();
    EventStamp(const EventStamp&) = delete;
    EventStamp& operator=(const EventStamp&) = delete;

    // When the wait returned; empty when that did not happen within `limit`.
    std::optional<Clock::time_point> Await(std::chrono::milliseconds limit);

private:
    HANDLE event_;
    std::promise<Clock::time_point> signalled_;
    std::future<Clock::time_point> stamp_;
    std::thread waiter_;
};
