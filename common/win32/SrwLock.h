// A mutex and a condition variable over Win32's slim reader/writer lock. They
// need nothing created or freed, and, unlike the threading runtime's, keep no
// record of the threads that use them: a library that unloads while its
// host's threads live on leaves nothing of them behind.
#pragma once

#include <windows.h>

#include <mutex>

// Exclusive only; usable with std::lock_guard and std::unique_lock.
class SrwMutex {
public:
    constexpr SrwMutex() = default;
    SrwMutex(const SrwMutex&) = delete;
    SrwMutex& operator=(const SrwMutex&) = delete;

    void lock() { AcquireSRWLockExclusive(&lock_); }
    void unlock() { ReleaseSRWLockExclusive(&lock_); }

private:
    friend class SrwCondition;
    SRWLOCK lock_ = SRWLOCK_INIT;
};

class SrwCondition {
public:
    SrwCondition() = default;
    SrwCondition(const SrwCondition&) = delete;
    SrwCondition& operator=(const SrwCondition&) = delete;

    // Waits, without a time limit, until `done` holds; the lock is let go
    // while waiting and held again whenever `done` is asked.
    template <class Predicate>
    void Wait(std::unique_lock<SrwMutex>& lock, Predicate done) {
        while (!done()) {
            SleepConditionVariableSRW(&condition_, &lock.mutex()->lock_, INFINITE, 0);
        }
    }
    void NotifyAll() { WakeAllConditionVariable(&condition_); }

private:
    CONDITION_VARIABLE condition_ = CONDITION_VARIABLE_INIT;
};
