// The least a monitor can do, to compare the plug-in's with: a thread that
// waits on the process handle without a time limit and signals its event the
// moment that wait returns.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>

#include <cstdint>
#include <thread>

class BareWatcher {
public:
    // Opens the process at once; `gone` must stay open while the watcher lives.
    BareWatcher(uint32_t processId, HANDLE gone);
    // Joins, so the process must have ended (or could not be opened).
    ~BareWatcher();
    BareWatcher(const BareWatcher&) = delete;
    BareWatcher& operator=(const BareWatcher&) = delete;

private:
    const UniqueHandle process_;
    std::thread thread_;
};
