// The simulated machine's registry, as tests see it.
//
// Three trees: HKEY_LOCAL_MACHINE, HKEY_USERS and HKEY_CURRENT_USER (kept
// apart from HKEY_USERS; nothing links it to a SID). A new machine holds only
// HKEY_LOCAL_MACHINE\SOFTWARE and its WOW6432Node (the 32-bit view's keys, see
// winsim/sdk/registry.h), because Win32 cannot create keys directly below
// HKEY_LOCAL_MACHINE or HKEY_USERS: a test that wants a user's hive creates
// HKEY_USERS\<SID> itself (SetDword and CreateKey create every missing key).
//
// Key and value names compare case-insensitively and keep the case they were
// created with. Paths given here may begin or end with backslashes; empty
// components are ignored.
//
// Journal (kind "registry"): each successful change made through the Win32
// functions adds one entry; changes made through this class add none, so a
// test's set-up does not show among the effects it checks.
//   create <key>               RegCreateKeyExW created the key (parents implied)
//   set <key>\<name> = <data>  RegSetValueExW; the default value's name is "@";
//                              REG_DWORD data in unsigned decimal (-1 shows as
//                              4294967295), REG_SZ/REG_EXPAND_SZ in double quotes,
//                              other types as hex:xx,xx,...
//   delete <key>               RegDeleteTreeW with a subkey (the key and
//                              everything below it)
//   clear <key>                RegDeleteTreeW with no subkey (the key's subkeys
//                              and values; the key stays)
// <key> is the root's name and the path in stored case, e.g.
//   set HKEY_USERS\S-1-5-21-1-2-3-1001\SOFTWARE\Norvane\DeskSuite\setting\nxExcreenRunning = 0
//   delete HKEY_LOCAL_MACHINE\SOFTWARE\DeskSuite\Drivers\IDDSettings
//
// Faults: every registry function takes its fault by its own name
// (Machine::Fail("RegOpenKeyExW", ERROR_ACCESS_DENIED)) and returns that code.
#pragma once

#include <winsim/Machine.h>
#include <winsim/sdk/registry.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// What a key's security lets this process do with it.
enum class KeyAccess {
    Full,      // anything
    ReadOnly,  // opening for any write right (set value, create subkey, delete,
               // WRITE_DAC, WRITE_OWNER) fails with ERROR_ACCESS_DENIED, as do
               // creating subkeys in it and deleting it
    Denied,    // every open fails with ERROR_ACCESS_DENIED
};

class SimRegistry {
public:
    explicit SimRegistry(Machine& machine = Current());

    void CreateKey(HKEY root, const std::wstring& path);
    // Removes the key with everything below it; nothing happens when it is missing.
    void DeleteKey(HKEY root, const std::wstring& path);
    bool KeyExists(HKEY root, const std::wstring& path) const;
    std::vector<std::wstring> SubKeyNames(HKEY root, const std::wstring& path) const;

    void SetDword(HKEY root, const std::wstring& path, const std::wstring& name, uint32_t value);
    void SetString(HKEY root, const std::wstring& path, const std::wstring& name,
                   const std::wstring& value);
    // Empty when the key or value is missing or the value has another type.
    std::optional<uint32_t> GetDword(HKEY root, const std::wstring& path,
                                     const std::wstring& name) const;
    std::optional<std::wstring> GetString(HKEY root, const std::wstring& path,
                                          const std::wstring& name) const;
    std::optional<DWORD> GetType(HKEY root, const std::wstring& path,
                                 const std::wstring& name) const;

    // Creates the key when missing. Handles already open keep their access.
    void SetAccess(HKEY root, const std::wstring& path, KeyAccess access);

private:
    Machine& machine_;
};

}  // namespace winsim
