// Simulated Windows SDK: path helpers with a buffer size.
#pragma once

#include <windows.h>

// Removes the last element of a path. S_OK when something was removed,
// S_FALSE when nothing was (a bare root or an empty path), E_INVALIDARG for a
// null path or a size of 0 or above the long-path limit.
HRESULT APIENTRY PathCchRemoveFileSpec(PWSTR pszPath, size_t cchPath);
