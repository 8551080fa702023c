#include "Faults.h"

#include <pathcch.h>
#include <shlwapi.h>

#include <cwchar>

namespace {

// The longest path the PathCch functions accept, terminator included.
constexpr size_t kPathCchMaxChars = 32768;

// Characters of the path's root that removing a file spec must keep: "C:\",
// "C:", "\\server\share" or a leading "\".
size_t RootLength(const WCHAR* path, size_t length) {
    if (length >= 2 && path[1] == L':') {
        return length >= 3 && path[2] == L'\\' ? 3 : 2;
    }
    if (length >= 2 && path[0] == L'\\' && path[1] == L'\\') {
        size_t end = 2;
        for (int part = 0; part < 2 && end < length; ++part) {
            while (end < length && path[end] != L'\\') {
                ++end;
            }
            if (part == 0 && end < length) {
                ++end;  // the backslash between server and share
            }
        }
        return end;
    }
    return length >= 1 && path[0] == L'\\' ? 1 : 0;
}

}  // namespace

HRESULT APIENTRY PathCchRemoveFileSpec(PWSTR pszPath, size_t cchPath) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "PathCchRemoveFileSpec")) {
        return HRESULT_FROM_WIN32(GetLastError());
    }
    if (pszPath == nullptr || cchPath == 0 || cchPath > kPathCchMaxChars) {
        return E_INVALIDARG;
    }
    const size_t length = wcsnlen(pszPath, cchPath);
    if (length == cchPath) {
        return E_INVALIDARG;  // not terminated within the buffer
    }
    const size_t root = RootLength(pszPath, length);
    if (root == length) {
        return S_FALSE;
    }
    size_t cut = root;
    for (size_t i = length; i-- > root;) {
        if (pszPath[i] == L'\\') {
            cut = i;
            break;
        }
    }
    pszPath[cut] = L'\0';
    return S_OK;
}

BOOL WINAPI PathRemoveFileSpecW(LPWSTR pszPath) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "PathRemoveFileSpecW") || pszPath == nullptr) {
        return FALSE;
    }
    // The file spec starts after the last backslash, the drive ("C:" or "C:\")
    // or one or two leading backslashes; the backslash before it goes too.
    WCHAR* cursor = pszPath;
    WCHAR* cut = pszPath;
    for (int lead = 0; lead < 2 && *cursor == L'\\'; ++lead) {
        cut = ++cursor;
    }
    while (*cursor != L'\0') {
        if (*cursor == L':') {
            ++cursor;
            if (*cursor == L'\\') {
                ++cursor;
            }
            cut = cursor;
            continue;
        }
        if (*cursor == L'\\') {
            cut = cursor;
        }
        ++cursor;
    }
    if (*cut == L'\0') {
        return FALSE;
    }
    *cut = L'\0';
    return TRUE;
}
