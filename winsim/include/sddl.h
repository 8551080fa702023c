// Simulated Windows SDK: string forms of security identifiers.
#pragma once

#include <winsim/sdk/security.h>

// Writes "S-R-A-S1-S2-..." into a LocalAlloc'd string the caller frees with
// LocalFree.
BOOL WINAPI ConvertSidToStringSidW(PSID Sid, LPWSTR* StringSid);
