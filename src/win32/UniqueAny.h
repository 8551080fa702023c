// Owners of Win32 resources, one family in the manner of WIL's unique_any: a
// kind is the resource's type, the function that releases it and, where a
// call may answer with more than null for "none", what counts as none. Typed
// memory blocks are LocalPtr (LocalMemory.h).
#pragma once

#include <windows.h>

#include <utility>

template <class T>
constexpr bool IsNull(T value) {
    return value == T{};
}

// Owns one resource and hands it to `Release` once. A value `IsNone` calls
// none is kept as the null value and never released.
template <class T, auto Release, bool (*IsNone)(T) = &IsNull<T>>
class UniqueAny {
public:
    UniqueAny() = default;
    explicit UniqueAny(T value) : value_(Stored(value)) {}
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
    explicit operator bool() const { return value_ != T{}; }
    T release() { return std::exchange(value_, T{}); }
    void reset(T value = T{}) {
        if (value_ != T{}) {
            Release(value_);
        }
        value_ = Stored(value);
    }

private:
    static T Stored(T value) { return IsNone(value) ? T{} : value; }

    T value_{};
};

inline bool IsNoHandle(HANDLE handle) {
    return handle == nullptr || handle == INVALID_HANDLE_VALUE;
}

// A kernel object; the invalid handle value some calls answer with is none.
using UniqueHandle = UniqueAny<HANDLE, &CloseHandle, &IsNoHandle>;
// A reference to a loaded library.
using UniqueModule = UniqueAny<HMODULE, &FreeLibrary>;
