// Simulated Windows SDK: terminal services sessions.
#pragma once

#include <winsim/sdk/base.h>

#define WTS_CURRENT_SERVER_HANDLE ((HANDLE)NULL)

typedef enum _WTS_CONNECTSTATE_CLASS {
    WTSActive,
    WTSConnected,
    WTSConnectQuery,
    WTSShadow,
    WTSDisconnected,
    WTSIdle,
    WTSListen,
    WTSReset,
    WTSDown,
    WTSInit
} WTS_CONNECTSTATE_CLASS;

typedef struct _WTS_SESSION_INFOW {
    DWORD SessionId;
    LPWSTR pWinStationName;
    WTS_CONNECTSTATE_CLASS State;
} WTS_SESSION_INFOW, *PWTS_SESSION_INFOW;

// The primary token of the user logged on in the session; ERROR_NO_TOKEN when
// nobody is, ERROR_FILE_NOT_FOUND when the session does not exist.
BOOL WINAPI WTSQueryUserToken(ULONG SessionId, PHANDLE phToken);

// Only the local server and version 1. The list is one block owned by the
// caller until WTSFreeMemory.
BOOL WINAPI WTSEnumerateSessionsW(HANDLE hServer, DWORD Reserved, DWORD Version,
                                  PWTS_SESSION_INFOW* ppSessionInfo, DWORD* pCount);
void WINAPI WTSFreeMemory(PVOID pMemory);
