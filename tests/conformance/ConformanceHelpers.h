// What several conformance files need, on both sides: error codes as
// GetLastError returns them, this program's own path, and names compared
// without regard to case. Handles are owned by
// the plug-in's own UniqueHandle.
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

inline std::wstring OwnPath() {
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    return std::wstring(path, length < MAX_PATH ? length : 0);
}

inline std::wstring Lower(std::wstring text) {
    for (wchar_t& unit : text) {
        unit = static_cast<wchar_t>(std::towlower(static_cast<std::wint_t>(unit)));
    }
    return text;
}

}  // namespace conformance
