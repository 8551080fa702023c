// The baseline the plug-in's monitors are compared with: a watchdog that
// looks every period whether a process is still there (its exit code still
// STILL_ACTIVE) and signals its event once the process has gone. Its pauses
// are real time on both platforms.
#pragma once

#include <windows.h>

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

class PollingWatchdog {
public:
    // Opens the process at once; `gone` must stay open while the watchdog lives.
    PollingWatchdog(uint32_t processId, std::chrono::milliseconds period, HANDLE gone);
    // Stops polling (at once, not after the period) and joins.
    ~PollingWatchdog();
    PollingWatchdog(const PollingWatchdog&) = delete;
    PollingWatchdog& operator=(const PollingWatchdog&) = delete;

private:
    void Poll(HANDLE process);

    const std::chrono::milliseconds period_;
    const HANDLE gone_;
    std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    std::thread thread_;
};
