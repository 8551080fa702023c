// One reference on this library for as long as the plug-in is started. A
// host's FreeLibrary meanwhile only gives back its own: the detach, and the
// manager's UnRegisterPlugin in it, wait for the plug-in's stop, instead of
// the stop waiting under the loader lock for a handler that may need it.
#pragma once

#include "win32/SrwLock.h"

#include <windows.h>

class LibraryPin {
public:
    LibraryPin() = default;
    LibraryPin(const LibraryPin&) = delete;
    LibraryPin& operator=(const LibraryPin&) = delete;

    // Takes the reference unless one is held; without one the plug-in runs
    // as before, unpinned.
    void Take();
    // Gives the reference back on a thread of its own that leaves this
    // library's code as it does so: it may be the last reference. Without a
    // thread the reference stays, and with it the library, which is safe.
    void Release();

private:
    SrwMutex mutex_;
    HMODULE module_ = nullptr;
};
