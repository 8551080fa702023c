// Initialises COM on the calling thread for the scope's lifetime. A failed
// initialisation (e.g. the thread already runs another apartment model) is not
// undone, so the thread's own balance stays intact.
#pragma once

#include <windows.h>
#include <objbase.h>

class ComInitScope {
public:
    ComInitScope() : result_(CoInitialize(nullptr)) {}
    ~ComInitScope() {
        if (SUCCEEDED(result_)) {
            CoUninitialize();
        }
    }
    ComInitScope(const ComInitScope&) = delete;
    ComInitScope& operator=(const ComInitScope&) = delete;

private:
    const HRESULT result_;
};
