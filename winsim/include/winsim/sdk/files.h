// Simulated Windows SDK: opening and writing files and devices.
//
// The simulated machine has no file system: the only paths that open are the
// HID interface paths of winsim/SimHid.h and the executable's own path (for
// reading only). Any other path fails with ERROR_FILE_NOT_FOUND. I/O is
// synchronous; overlapped I/O is not simulated.
#pragma once

#include <winsim/sdk/base.h>

#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004

// Creation dispositions.
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5

#define FILE_ATTRIBUTE_NORMAL 0x00000080

// Kept only so that WriteFile has the SDK's signature; the simulated writes
// complete at once whatever is passed here.
typedef struct _OVERLAPPED {
    ULONG_PTR Internal;
    ULONG_PTR InternalHigh;
    DWORD Offset;
    DWORD OffsetHigh;
    HANDLE hEvent;
} OVERLAPPED, *LPOVERLAPPED;

// Opens a HID interface by its path (case-insensitive) for the access asked,
// or the executable's file for GENERIC_READ (other access: ERROR_NOT_SUPPORTED).
// Success sets the last error as Windows does: ERROR_ALREADY_EXISTS with
// OPEN_ALWAYS (what opens exists), else 0.
// Fails with ERROR_FILE_NOT_FOUND for an unknown path, ERROR_INVALID_PARAMETER
// for a disposition outside 1..5, ERROR_NOT_SUPPORTED for a disposition other
// than OPEN_EXISTING or OPEN_ALWAYS (devices cannot be created) and for flags
// other than 0 or FILE_ATTRIBUTE_NORMAL, and with the interface's own error
// when the system holds it exclusively and read or write access is asked.
// The handle is closed with CloseHandle.
HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);

// Writes synchronously. ERROR_INVALID_HANDLE for a handle that is not an open
// file, ERROR_ACCESS_DENIED when the handle was opened without GENERIC_WRITE
// (the executable's file always),
// ERROR_INVALID_PARAMETER without a count pointer or overlapped structure, or
// when the length is not the collection's output report length (which is how
// Windows answers a HID write of the wrong size).
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
