// Text helpers shared by the stand-in programs.
#pragma once

#include <windows.h>

#include <cwchar>
#include <string>

// The value of an environment variable; empty when it is not set or too long.
inline std::wstring EnvironmentValue(const wchar_t* name) {
    wchar_t value[MAX_PATH] = {};
    const DWORD length = GetEnvironmentVariableW(name, value, MAX_PATH);
    return length < MAX_PATH ? std::wstring(value, length) : std::wstring();
}

// Milliseconds given as text; INFINITE when there is no text.
inline DWORD MillisecondsOrInfinite(const wchar_t* text) {
    return text != nullptr ? static_cast<DWORD>(std::wcstoul(text, nullptr, 10)) : INFINITE;
}
