// The host's registry component: 32-bit integers under a root key and a
// subkey path, over the Win32 registry functions.
//
// How it treats its arguments:
// - Subkey paths: leading and trailing backslashes are dropped before the
//   path reaches Win32 (which refuses a leading one with ERROR_BAD_PATHNAME).
//   Callers build user paths as SID + "\SOFTWARE\...", so with an empty SID
//   the path addresses the key directly below the root.
// - Values are REG_DWORD. GetValue reads REG_DWORD only; a value of any other
//   type or size counts as unreadable. A signed value is stored as its 32-bit
//   pattern, so -1 reads back as -1 (and as 0xFFFFFFFF through the unsigned form).
// - SetValue writes into an existing key and never creates one; callers that
//   need the key create it first with CreateKey.
// - DelKey removes the key with all its subkeys and values.
// - KeyExists opens the key for reading (KEY_READ); CreateKey creates or opens
//   it for KEY_ALL_ACCESS, so true means the key is there and writable. Until
//   SetRootKey names a root, both answer false.
// - The static operations open the key with the access the caller passes.
// Every opened key is closed again on every path; failures are reported as
// false only, never thrown.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace DE {

class Registry {
public:
    Registry() = default;
    virtual ~Registry() = default;

    void SetRootKey(HKEY root);
    bool KeyExists(const std::wstring& subKey);
    bool CreateKey(const std::wstring& subKey);

    // True and `value` set when a REG_DWORD value was read; otherwise false
    // and `value` untouched.
    static bool GetValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                         int32_t& value, REGSAM access);
    static bool GetValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                         uint32_t& value, REGSAM access);
    static bool SetValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                         const int32_t& value, REGSAM access);
    static bool DelKey(HKEY root, const std::wstring& subKey, REGSAM access);

private:
    HKEY root_ = nullptr;
};

}  // namespace DE
