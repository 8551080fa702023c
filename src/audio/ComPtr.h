// Owns one reference to a COM interface and releases it once.
#pragma once

#include <utility>

template <class Interface>
class ComPtr {
public:
    ComPtr() = default;
    ~ComPtr() { Reset(); }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;

    Interface* operator->() const { return pointer_; }

    // For calls that hand out a reference through Interface** (the reference
    // held so far is released first).
    Interface** Receive() {
        Reset();
        return &pointer_;
    }
    // For calls that hand out a reference through void** (CoCreateInstance,
    // Activate); the interface asked for must be Interface.
    void** ReceiveVoid() { return reinterpret_cast<void**>(Receive()); }

    void Reset() {
        if (pointer_ != nullptr) {
            std::exchange(pointer_, nullptr)->Release();
        }
    }

private:
    Interface* pointer_ = nullptr;
};
