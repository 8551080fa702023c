// Win32 registry functions over the machine's registry tree.
#include "RegistryTree.h"

#include <windows.h>

#include <cstdio>
#include <cstring>
#include <functional>

using winsim::KeyAccess;
using winsim::registry::Key;
using winsim::registry::KeyObject;
using winsim::registry::Tree;

namespace {

// Rights that a read-only key refuses.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | DELETE |
                                WRITE_DAC | WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// What a handle refers to, resolved under the tree's lock.
struct Target {
    std::shared_ptr<Key> key;
    REGSAM access = 0;
    bool predefined = false;
};

LSTATUS Resolve(winsim::Machine& machine, const Tree& tree, HKEY handle, Target& target) {
    if (auto root = tree.Root(handle)) {
        target = {root, KEY_ALL_ACCESS, true};
        return ERROR_SUCCESS;
    }
    auto object = machine.LookupAs<KeyObject>(handle);
    if (!object) {
        return ERROR_INVALID_HANDLE;
    }
    target = {object->key, object->access, false};
    return ERROR_SUCCESS;
}

// Splits a Win32 subkey argument. Windows refuses a leading backslash and
// accepts trailing ones.
LSTATUS ParseSubKey(LPCWSTR subKey, std::vector<std::wstring>& parts) {
    parts.clear();
    if (!subKey) {
        return ERROR_SUCCESS;
    }
    if (subKey[0] == L'\\') {
        return ERROR_BAD_PATHNAME;
    }
    parts = winsim::registry::SplitPath(subKey);
    return ERROR_SUCCESS;
}

// A 64-bit program's 32-bit view (KEY_WOW64_32KEY) finds HKEY_LOCAL_MACHINE\SOFTWARE
// at SOFTWARE\WOW6432Node; the other keys of this machine are one for both
// views. Rewrites `from` and `parts` into the path from the root that the
// view addresses.
void ApplyView(const Tree& tree, REGSAM access, std::shared_ptr<Key>& from,
               std::vector<std::wstring>& parts) {
    if ((access & KEY_WOW64_RES) != KEY_WOW64_32KEY) {
        return;
    }
    std::vector<std::wstring> path = parts;
    auto root = from;
    for (auto parent = root->parent.lock(); parent; parent = root->parent.lock()) {
        path.insert(path.begin(), root->name);
        root = std::move(parent);
    }
    const auto folded = [&path](size_t i) { return winsim::registry::Fold(path[i]); };
    if (root != tree.Root(HKEY_LOCAL_MACHINE) || path.empty() || folded(0) != L"software" ||
        (path.size() > 1 && folded(1) == winsim::registry::Fold(Tree::kWow64Node))) {
        return;
    }
    path.insert(path.begin() + 1, Tree::kWow64Node);
    from = std::move(root);
    parts = std::move(path);
}

LSTATUS CheckOpen(const Key& key, REGSAM desired) {
    switch (key.access) {
        case KeyAccess::Full:
            return ERROR_SUCCESS;
        case KeyAccess::ReadOnly:
            return (desired & kWriteRights) ? ERROR_ACCESS_DENIED : ERROR_SUCCESS;
        case KeyAccess::Denied:
            break;
    }
    return ERROR_ACCESS_DENIED;
}

bool SubtreeDeletable(const Key& key) {
    if (key.access != KeyAccess::Full) {
        return false;
    }
    for (const auto& [folded, child] : key.children) {
        if (!SubtreeDeletable(*child)) {
            return false;
        }
    }
    return true;
}

std::string DataText(DWORD type, const std::vector<uint8_t>& data) {
    if (type == REG_DWORD && data.size() == sizeof(DWORD)) {
        DWORD value = 0;
        std::memcpy(&value, data.data(), sizeof(value));
        return std::to_string(value);
    }
    if (type == REG_SZ || type == REG_EXPAND_SZ) {
        return "\"" + winsim::Narrow(winsim::registry::TextOf(data)) + "\"";
    }
    std::string text = "hex:";
    for (size_t i = 0; i < data.size(); ++i) {
        char byte[4];
        std::snprintf(byte, sizeof(byte), i ? ",%02x" : "%02x", data[i]);
        text += byte;
    }
    return text;
}

// Runs `body` under the registry's lock with the machine and the key `handle`
// stands for, after the fault check and the handle's checks. `needed` is the
// access the handle must have been opened with.
LSTATUS WithKey(const char* function, HKEY handle, REGSAM needed,
                const std::function<LSTATUS(winsim::Machine&, const Target&)>& body) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault(function, fault)) {
        return static_cast<LSTATUS>(fault);
    }
    auto& tree = machine.Extension<Tree>();
    Target target;
    if (auto status = Resolve(machine, tree, handle, target); status != ERROR_SUCCESS) {
        return status;
    }
    std::lock_guard lock(tree.mutex);
    if (target.key->deleted) {
        return ERROR_KEY_DELETED;
    }
    if ((target.access & needed) != needed) {
        return ERROR_ACCESS_DENIED;
    }
    return body(machine, target);
}

// Hands out a handle for an opened key. Called without the tree's lock.
HKEY NewHandle(winsim::Machine& machine, std::shared_ptr<Key> key, REGSAM access) {
    return static_cast<HKEY>(
        machine.AddHandle(std::make_shared<KeyObject>(std::move(key), access)));
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    if (!phkResult) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::shared_ptr<Key> opened;
    const auto status = WithKey(
        "RegOpenKeyExW", hKey, 0, [&](winsim::Machine& machine, const Target& target) -> LSTATUS {
            std::vector<std::wstring> parts;
            if (auto parsed = ParseSubKey(lpSubKey, parts); parsed != ERROR_SUCCESS) {
                return parsed;
            }
            if (parts.empty() && target.predefined) {
                *phkResult = hKey;
                return ERROR_SUCCESS;
            }
            auto from = target.key;
            ApplyView(machine.Extension<Tree>(), samDesired, from, parts);
            auto key = Tree::Find(from, parts);
            if (!key) {
                return ERROR_FILE_NOT_FOUND;
            }
            if (auto allowed = CheckOpen(*key, samDesired); allowed != ERROR_SUCCESS) {
                return allowed;
            }
            opened = std::move(key);
            return ERROR_SUCCESS;
        });
    if (opened) {
        *phkResult = NewHandle(winsim::Current(), std::move(opened), samDesired);
    }
    return status;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    if (!phkResult || !lpSubKey) {
        return ERROR_INVALID_PARAMETER;
    }
    *phkResult = nullptr;
    std::shared_ptr<Key> opened;
    bool created = false;
    const auto status = WithKey(
        "RegCreateKeyExW", hKey, 0, [&](winsim::Machine& machine, const Target& target) -> LSTATUS {
            std::vector<std::wstring> parts;
            if (auto parsed = ParseSubKey(lpSubKey, parts); parsed != ERROR_SUCCESS) {
                return parsed;
            }
            // Creation is checked against each parent's security, not the
            // handle's access; nothing is created unless the whole path can be.
            auto key = target.key;
            ApplyView(machine.Extension<Tree>(), samDesired, key, parts);
            size_t depth = 0;
            for (; depth < parts.size(); ++depth) {
                auto next = Tree::Find(key, {parts[depth]});
                if (!next) {
                    break;
                }
                key = std::move(next);
            }
            if (depth < parts.size()) {
                if (key->access != KeyAccess::Full || key->holdsHivesOnly) {
                    return ERROR_ACCESS_DENIED;
                }
                for (; depth < parts.size(); ++depth) {
                    key = Tree::AddChild(key, parts[depth]);
                }
                created = true;
                machine.Record("registry", "create " + Tree::PathOf(*key));
            } else if (auto allowed = CheckOpen(*key, samDesired); allowed != ERROR_SUCCESS) {
                return allowed;
            }
            opened = std::move(key);
            return ERROR_SUCCESS;
        });
    if (opened) {
        *phkResult = NewHandle(winsim::Current(), std::move(opened), samDesired);
        if (lpdwDisposition) {
            *lpdwDisposition = created ? REG_CREATED_NEW_KEY : REG_OPENED_EXISTING_KEY;
        }
    }
    return status;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) {
        return ERROR_INVALID_PARAMETER;
    }
    return WithKey("RegQueryValueExW", hKey, KEY_QUERY_VALUE,
                   [&](winsim::Machine&, const Target& target) -> LSTATUS {
                       auto found = target.key->values.find(
                           winsim::registry::Fold(lpValueName ? lpValueName : L""));
                       if (found == target.key->values.end()) {
                           return ERROR_FILE_NOT_FOUND;
                       }
                       const auto& value = found->second;
                       if (lpType) {
                           *lpType = value.type;
                       }
                       if (!lpcbData) {
                           return ERROR_SUCCESS;
                       }
                       const auto size = static_cast<DWORD>(value.data.size());
                       const bool fits = *lpcbData >= size;
                       *lpcbData = size;
                       if (!lpData) {
                           return ERROR_SUCCESS;
                       }
                       if (!fits) {
                           return ERROR_MORE_DATA;
                       }
                       std::memcpy(lpData, value.data.data(), size);
                       return ERROR_SUCCESS;
                   });
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData) {
        return ERROR_NOACCESS;
    }
    return WithKey("RegSetValueExW", hKey, KEY_SET_VALUE,
                   [&](winsim::Machine& machine, const Target& target) -> LSTATUS {
                       const std::wstring name = lpValueName ? lpValueName : L"";
                       Tree::SetValue(*target.key, name, dwType, lpData, cbData);
                       const auto& stored = target.key->values.at(winsim::registry::Fold(name));
                       machine.Record("registry",
                                      "set " + Tree::PathOf(*target.key) + "\\" +
                                          (name.empty() ? "@" : winsim::Narrow(stored.name)) +
                                          " = " + DataText(dwType, stored.data));
                       return ERROR_SUCCESS;
                   });
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
    // Clearing the handle's own key needs the rights Windows documents for it;
    // naming a subkey opens that subkey afresh.
    const REGSAM needed = lpSubKey ? 0 : (DELETE | KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE);
    return WithKey("RegDeleteTreeW", hKey, needed,
                   [&](winsim::Machine& machine, const Target& target) -> LSTATUS {
                       if (!lpSubKey) {
                           if (!target.key->values.empty() && !(target.access & KEY_SET_VALUE)) {
                               return ERROR_ACCESS_DENIED;
                           }
                           for (const auto& [folded, child] : target.key->children) {
                               if (!SubtreeDeletable(*child)) {
                                   return ERROR_ACCESS_DENIED;
                               }
                           }
                           machine.Record("registry", "clear " + Tree::PathOf(*target.key));
                           Tree::Clear(*target.key);
                           return ERROR_SUCCESS;
                       }
                       std::vector<std::wstring> parts;
                       if (auto parsed = ParseSubKey(lpSubKey, parts); parsed != ERROR_SUCCESS) {
                           return parsed;
                       }
                       auto key = Tree::Find(target.key, parts);
                       if (!key) {
                           return ERROR_FILE_NOT_FOUND;
                       }
                       if (key->parent.expired() || !SubtreeDeletable(*key)) {
                           return ERROR_ACCESS_DENIED;
                       }
                       machine.Record("registry", "delete " + Tree::PathOf(*key));
                       Tree::Remove(key);
                       return ERROR_SUCCESS;
                   });
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    auto& machine = winsim::Current();
    uint32_t fault = 0;
    if (machine.TakeFault("RegCloseKey", fault)) {
        return static_cast<LSTATUS>(fault);
    }
    if (machine.Extension<Tree>().Root(hKey)) {
        return ERROR_SUCCESS;
    }
    if (!machine.LookupAs<KeyObject>(hKey)) {
        return ERROR_INVALID_HANDLE;
    }
    machine.RemoveHandle(hKey);
    return ERROR_SUCCESS;
}
