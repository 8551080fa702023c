// What several conformance files need, on both sides: error codes as
// GetLastError returns them, names without case and this program's own path.
// Handles are owned by the plug-in's own UniqueHandle.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>

#include <cwctype>
#include <string>

namespace conformance {

// The SDK's error and wait constants are signed; GetLastError and the waits return a DWORD.
constexpr DWORD Code(long value) {
    return static_cast<DWORD>(value);
}

// For names that Windows compares without regard to case.
inline std::wstring Lower(std::wstring text) {
    for (wchar_t& unit : text) {
        unit = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(unit)));
    }
    return text;
}

inline std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

}  // namespace conformance
