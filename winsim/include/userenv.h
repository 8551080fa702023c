// Simulated Windows SDK: user environment blocks.
#pragma once

#include <winsim/sdk/base.h>

// A block of "NAME=value" strings, each NUL-terminated, ending with an empty
// string, sorted by name. Owned by the caller until DestroyEnvironmentBlock.
// A primary token needs TOKEN_QUERY and TOKEN_DUPLICATE, an impersonation
// token TOKEN_QUERY (ERROR_ACCESS_DENIED otherwise). Each block made is
// journalled (see winsim/SimSessions.h).
BOOL WINAPI CreateEnvironmentBlock(LPVOID* lpEnvironment, HANDLE hToken, BOOL bInherit);
BOOL WINAPI DestroyEnvironmentBlock(LPVOID lpEnvironment);
