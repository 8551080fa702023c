// Owns one reference to a COM interface and releases it once; spelled as the
// other owners of the family (reset, put), with put_void() for calls that
// hand a reference out through void** (CoCreateInstance, Activate).
#pragma once

#include <utility>

template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* operator->() const { return pointer_; }

    void reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }
    // The reference held so far is released first.
    Interface** put() {
        reset();
        return &pointer_;
    }
    // The interface asked for must be Interface.
    void** put_void() { return reinterpret_cast<void**>(put()); }

private:
    Interface* pointer_ = nullptr;
};
