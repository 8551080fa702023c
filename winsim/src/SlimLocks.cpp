// Slim reader/writer locks and condition variables: the lock word holds null
// when free, the condition variable's word counts its wake-ups. Waiting uses
// the standard library's atomic waits, so the machine's clock is not involved.
#include <windows.h>

#include <atomic>
#include <cstdint>

namespace {

PVOID const kHeld = reinterpret_cast<PVOID>(uintptr_t{1});

}  // namespace

void WINAPI AcquireSRWLockExclusive(PSRWLOCK SRWLock) {
    std::atomic_ref<PVOID> word(SRWLock->Ptr);
    for (;;) {
        PVOID seen = nullptr;
        if (word.compare_exchange_strong(seen, kHeld, std::memory_order_acquire)) {
            return;
        }
        word.wait(seen, std::memory_order_relaxed);
    }
}

void WINAPI ReleaseSRWLockExclusive(PSRWLOCK SRWLock) {
    std::atomic_ref<PVOID> word(SRWLock->Ptr);
    word.store(nullptr, std::memory_order_release);
    word.notify_all();
}

BOOL WINAPI SleepConditionVariableSRW(PCONDITION_VARIABLE ConditionVariable, PSRWLOCK SRWLock,
                                      DWORD dwMilliseconds, ULONG /*Flags*/) {
    if (dwMilliseconds != INFINITE) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    std::atomic_ref<PVOID> wakeUps(ConditionVariable->Ptr);
    // Read under the lock: a wake-up after the caller's last look changes it.
    PVOID const seen = wakeUps.load(std::memory_order_acquire);
    ReleaseSRWLockExclusive(SRWLock);
    wakeUps.wait(seen, std::memory_order_acquire);
    AcquireSRWLockExclusive(SRWLock);
    return TRUE;
}

void WINAPI WakeAllConditionVariable(PCONDITION_VARIABLE ConditionVariable) {
    std::atomic_ref<PVOID> wakeUps(ConditionVariable->Ptr);
    PVOID seen = wakeUps.load(std::memory_order_relaxed);
    while (!wakeUps.compare_exchange_weak(
        seen, reinterpret_cast<PVOID>(reinterpret_cast<uintptr_t>(seen) + 1),
        std::memory_order_release)) {
    }
    wakeUps.notify_all();
}
