// Buffers from the process heap through LocalAlloc: a failed allocation is the
// platform's answer, which the callers handle as a failure of their own.
#pragma once

#include <windows.h>

#include <cstddef>
#include <memory>

struct LocalFreeDeleter {
    void operator()(void* block) const { LocalFree(block); }
};

// A block allocated with LocalAlloc (by us or handed out by the platform).
template <class T>
using LocalPtr = std::unique_ptr<T, LocalFreeDeleter>;

// `count` zero-filled elements, or none when the heap has no room for them.
template <class T>
LocalPtr<T[]> AllocateZeroed(size_t count) {
    return LocalPtr<T[]>(static_cast<T*>(LocalAlloc(LPTR, count * sizeof(T))));
}
