// Simulated Windows SDK: shell path helpers.
#pragma once

#include <windows.h>

// Removes the trailing file name and its backslash; TRUE when something was removed.
BOOL WINAPI PathRemoveFileSpecW(LPWSTR pszPath);
