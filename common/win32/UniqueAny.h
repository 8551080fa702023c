// Owners of Win32 resources, one family in the manner of WIL's unique_any: a
// kind is the resource's type, the function that releases it and, where a
// call may answer with more than null for "none", what counts as none.
//
// Every kind is spelled the same way: get(), release(), reset(), put() for a
// call that hands a resource out through a pointer, addressof() for one that
// also reads what it is given. reset() keeps the thread's last error, so an
// owner released on a failure path never changes the code a caller reads.
#pragma once

#include <windows.h>

#include <utility>

template <class T>
constexpr bool IsNull(T value) {
    return value == T{};
}

// Owns one resource and hands it to `Release` once. A value `IsNone` calls
// none is never released.
template <class T, auto Release, bool (*IsNone)(T) = &IsNull<T>>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(value) {}
    ~UniqueAny() { reset(); }
    UniqueAny(UniqueAny&& other) noexcept : value_(other.release()) {}
    UniqueAny& operator=(UniqueAny&& other) noexcept {
        if (this != &other) {
            reset(other.release());
        }
        return *this;
    }
    UniqueAny(const UniqueAny&) = delete;
    UniqueAny& operator=(const UniqueAny&) = delete;

    T get() const { return value_; }
    explicit operator bool() const { return !IsNone(value_); }
    T release() { return std::exchange(value_, T{}); }
    void reset(T value = T{}) {
        const T old = std::exchange(value_, value);
        if (!IsNone(old)) {
            const DWORD lastError = GetLastError();
            Release(old);
            SetLastError(lastError);
        }
    }
    // Releases what is held and lends the storage to a call that writes a new
    // resource into it.
    T* put() {
        reset();
        return &value_;
    }
    // The storage as it is, for a call that may read it before replacing it.
    T* addressof() { return &value_; }

private:
    T value_{};
};

inline bool IsNoHandle(HANDLE handle) {
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

// A kernel object; the invalid handle value some calls answer with is none.
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle, &IsNoHandle>;
// A reference to a loaded library.
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;
// An open registry key. The predefined roots are never opened, so never owned.
using UniqueHKey = UniqueAny<HKEY, &RegCloseKey>;
