// What several conformance files need, on both sides: error codes as
// GetLastError returns them, an owned handle and this program's own path.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <type_traits>

namespace conformance {

// The SDK's error and wait constants are signed; GetLastError and the waits return a DWORD.
constexpr DWORD Code(long value) {
    return static_cast<DWORD>(value);
}

struct HandleCloser {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<std::remove_pointer_t<HANDLE>, HandleCloser>;

inline std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

}  // namespace conformance
