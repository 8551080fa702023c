// Simulated Windows SDK: opening and writing files and devices.
//
// The simulated machine has no file system: the only paths that open are the
// HID interface paths of winsim/SimHid.h and the running program's own file
// (for reading; its image is held open for reading, sharing reading). Any
// other path fails with ERROR_FILE_NOT_FOUND. Share modes count as on Windows:
// an open fails with ERROR_SHARING_VIOLATION when an open still held does not
// share the reading or writing it asks, or when it does not share what such
// an open does. I/O is synchronous; overlapped I/O is not simulated.
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

// Opens a HID interface by its path (case-insensitive) for the access asked.
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
// file, ERROR_ACCESS_DENIED when the handle was opened without GENERIC_WRITE,
// ERROR_INVALID_PARAMETER without a count pointer or overlapped structure, or
// when the length is not the collection's output report length (which is how
// Windows answers a HID write of the wrong size).
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped);
