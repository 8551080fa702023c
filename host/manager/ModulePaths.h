// The host loads the manager and the plug-ins from its own directory.
#pragma once

#include "win32/UniqueAny.h"

#include <string>

// The directory of the running executable, without a trailing backslash; empty
// when it cannot be read.
std::wstring ExecutableDirectory();

// Loads `fileName` from the executable's directory; empty on failure, with the
// reason in GetLastError().
UniqueModule LoadBesideExecutable(const std::wstring& fileName);

// Waits until no library named `fileName` is loaded in the process: threads a
// library started may hold it after its host's FreeLibrary. False when it is
// still loaded after `timeoutMs`.
bool WaitUntilUnloaded(const std::wstring& fileName, DWORD timeoutMs);
