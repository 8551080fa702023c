// Typed exports of a loaded library.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>

// Null when the library has no such export.
template <class Function>
Function ModuleExport(const UniqueModule& module, const char* name) {
    // Through the generic function pointer type, which converts to any other
    // function pointer type without a cast-function-type warning.
    return reinterpret_cast<Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(module.get(), name)));
}
