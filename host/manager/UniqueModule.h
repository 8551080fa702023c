// Owns a loaded library and frees it once; finds typed exports in it.
#pragma once

#include <windows.h>

#include <utility>

class UniqueModule {
public:
    UniqueModule() = default;
    explicit UniqueModule(HMODULE module) : module_(module) {}
    ~UniqueModule() { reset(); }
    UniqueModule(UniqueModule&& other) noexcept : module_(std::exchange(other.module_, nullptr)) {}
    UniqueModule& operator=(UniqueModule&& other) noexcept {
        if (this != &other) {
            reset(std::exchange(other.module_, nullptr));
        }
        return *this;
    }
    UniqueModule(const UniqueModule&) = delete;
    UniqueModule& operator=(const UniqueModule&) = delete;

    HMODULE get() const { return module_; }
    explicit operator bool() const { return module_ != nullptr; }
    HMODULE release() { return std::exchange(module_, nullptr); }
    void reset(HMODULE module = nullptr) {
        if (module_ != nullptr) {
            FreeLibrary(module_);
        }
        module_ = module;
    }

    // Null when the library has no such export.
    template <class Function>
    Function Export(const char* name) const {
        // Through the generic function pointer type, which converts to any other
        // function pointer type without a cast-function-type warning.
        return reinterpret_cast<Function>(
            reinterpret_cast<void (*)()>(GetProcAddress(module_, name)));
    }

private:
    HMODULE module_ = nullptr;
};
