// Blocks from the process heap through LocalAlloc, ours or handed out by the
// platform: a failed allocation is the platform's answer, which the callers
// handle as a failure of their own.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>

#include <cstddef>

template <class T>
void FreeLocal(T* block) {
    LocalFree(block);
}

// A block of Ts (one or an array) to be freed with LocalFree.
template <class T>
using LocalPtr = UniqueAny<T*, &FreeLocal<T>>;

// `count` zero-filled elements, or none when the heap has no room for them.
template <class T>
LocalPtr<T> AllocateZeroed(size_t count) {
    return LocalPtr<T>(static_cast<T*>(LocalAlloc(LPTR, count * sizeof(T))));
}
