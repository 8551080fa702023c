// How many handles this process holds, counted by trying every handle value up
// to a bound far above what a test or measuring program uses: Wine answers
// GetProcessHandleCount with 0.
#pragma once

#include <windows.h>

#include <cstdint>

inline long CountOpenHandles() {
    constexpr uintptr_t kHandleValueLimit = 0x4000;
    constexpr uintptr_t kHandleValueStep = 4;
    long count = 0;
    for (uintptr_t value = kHandleValueStep; value < kHandleValueLimit; value += kHandleValueStep) {
        DWORD flags = 0;
        count += GetHandleInformation(reinterpret_cast<HANDLE>(value), &flags) ? 1 : 0;
    }
    return count;
}
