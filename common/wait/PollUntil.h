// Waits in real time for something another process or thread does.
#pragma once

#include <chrono>
#include <thread>

// Polls until `condition` holds; false when it still does not after `timeout`.
template <typename Condition>
bool PollUntil(Condition condition, std::chrono::milliseconds timeout = std::chrono::seconds(20)) {
    constexpr std::chrono::milliseconds kPollInterval{50};
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(kPollInterval);
    }
    return true;
}
