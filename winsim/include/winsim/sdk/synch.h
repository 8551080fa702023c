// Simulated Windows SDK: events, waits, sleeping and threads.
//
// Finite waits and Sleep park on the machine's virtual clock and cost no real
// time; INFINITE waits block until the object is signalled. Any handle whose
// object is a winsim::Waitable can be waited on (see winsim/Waitable.h).
#pragma once

#include <winsim/sdk/base.h>

#define EVENT_MODIFY_STATE 0x0002
#define EVENT_ALL_ACCESS (STANDARD_RIGHTS_REQUIRED | SYNCHRONIZE | 0x3)
#define CREATE_SUSPENDED 0x00000004

typedef DWORD(WINAPI* PTHREAD_START_ROUTINE)(LPVOID lpThreadParameter);
typedef PTHREAD_START_ROUTINE LPTHREAD_START_ROUTINE;

HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES lpEventAttributes, BOOL bManualReset,
                           BOOL bInitialState, LPCWSTR lpName);
BOOL WINAPI SetEvent(HANDLE hEvent);
BOOL WINAPI ResetEvent(HANDLE hEvent);

// The handle must hold SYNCHRONIZE: without it the wait fails (WAIT_FAILED,
// ERROR_ACCESS_DENIED).
DWORD WINAPI WaitForSingleObject(HANDLE hHandle, DWORD dwMilliseconds);
void WINAPI Sleep(DWORD dwMilliseconds);

HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES lpThreadAttributes, SIZE_T dwStackSize,
                           LPTHREAD_START_ROUTINE lpStartAddress, LPVOID lpParameter,
                           DWORD dwCreationFlags, LPDWORD lpThreadId);
DWORD WINAPI GetCurrentThreadId();

// Slim reader/writer locks (exclusive use only) and condition variables over
// them: real locks and waits in real time, not on the virtual clock; a
// condition wait takes only INFINITE.
typedef struct _RTL_SRWLOCK {
    PVOID Ptr;
} SRWLOCK, *PSRWLOCK;
typedef struct _RTL_CONDITION_VARIABLE {
    PVOID Ptr;
} CONDITION_VARIABLE, *PCONDITION_VARIABLE;
#define SRWLOCK_INIT \
    { nullptr }
#define CONDITION_VARIABLE_INIT \
    { nullptr }

void WINAPI AcquireSRWLockExclusive(PSRWLOCK SRWLock);
void WINAPI ReleaseSRWLockExclusive(PSRWLOCK SRWLock);
BOOL WINAPI SleepConditionVariableSRW(PCONDITION_VARIABLE ConditionVariable, PSRWLOCK SRWLock,
                                      DWORD dwMilliseconds, ULONG Flags);
void WINAPI WakeAllConditionVariable(PCONDITION_VARIABLE ConditionVariable);
DWORD WINAPI GetCurrentProcessId();
