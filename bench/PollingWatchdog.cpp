#include "PollingWatchdog.h"

#include "win32/UniqueAny.h"

#include <memory>

PollingWatchdog::PollingWatchdog(uint32_t processId, std::chrono::milliseconds period, HANDLE gone)
    : period_(period), gone_(gone) {
    auto process = std::make_shared<UniqueHandle>(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
    thread_ = std::thread([this, process] { Poll(process->get()); });
}

PollingWatchdog::~PollingWatchdog() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void PollingWatchdog::Poll(HANDLE process) {
    if (process == nullptr) {
        return;  // nothing to watch: the round that wanted it times out
    }
    std::unique_lock lock(mutex_);
    while (!stop_) {
        DWORD exitCode = 0;
        if (!GetExitCodeProcess(process, &exitCode) || exitCode != STILL_ACTIVE) {
            SetEvent(gone_);
            return;
        }
        wake_.wait_for(lock, period_, [this] { return stop_; });
    }
}
