// The three programs the plug-in watches (helper, message center,
// collaboration center), running on the measured PC until ended.
#pragma once

#include "MeasuredPc.h"

#include <cstdint>

struct WatchedPrograms {
    explicit WatchedPrograms(MeasuredPc& measuredPc);
    // Ends those still running.
    ~WatchedPrograms();
    WatchedPrograms(const WatchedPrograms&) = delete;
    WatchedPrograms& operator=(const WatchedPrograms&) = delete;

    void EndAll() const;

    MeasuredPc& pc;
    const uint32_t helper;
    const uint32_t messageCenter;
    const uint32_t center;
};
