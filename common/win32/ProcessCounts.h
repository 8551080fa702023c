// What this process holds, as a test or a measurement counts it: its handles,
// by trying every handle value up to a bound far above what such a program
// uses (Wine answers GetProcessHandleCount with 0), and its threads.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>
#include <tlhelp32.h>

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

inline long CountOwnThreads() {
    const UniqueHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0));
    THREADENTRY32 entry{};
    entry.dwSize = sizeof entry;
    long count = 0;
    for (BOOL more = Thread32First(snapshot.get(), &entry); more;
         more = Thread32Next(snapshot.get(), &entry)) {
        count += entry.th32OwnerProcessID == GetCurrentProcessId() ? 1 : 0;
    }
    return count;
}
