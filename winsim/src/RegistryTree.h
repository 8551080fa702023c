// The registry's keys and values, shared by the Win32 functions (Registry.cpp)
// and the test-facing SimRegistry (RegistryTree.cpp).
#pragma once

#include <winsim/Machine.h>
#include <winsim/SimRegistry.h>

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace winsim::registry {

struct Value {
    std::wstring name;  // as first written
    DWORD type = REG_NONE;
    std::vector<uint8_t> data;
};

// Every member is guarded by the owning Tree's mutex.
struct Key {
    std::wstring name;  // as created; a root carries its predefined name
    std::weak_ptr<Key> parent;
    std::map<std::wstring, std::shared_ptr<Key>> children;  // by folded name
    std::map<std::wstring, Value> values;                   // by folded name
    KeyAccess access = KeyAccess::Full;
    bool holdsHivesOnly = false;  // HKEY_LOCAL_MACHINE and HKEY_USERS
    bool deleted = false;         // open handles outlive the key itself
};

// An open key handle in the machine's table. The access is what the handle
// was opened with; predefined roots have no object and allow everything.
class KeyObject : public Object {
public:
    KeyObject(std::shared_ptr<Key> key, REGSAM access) : key(std::move(key)), access(access) {}
    const char* Kind() const override { return "registry key"; }
    const std::shared_ptr<Key> key;
    const REGSAM access;
};

std::wstring Fold(const std::wstring& name);
// Path components without empty ones (doubled or trailing backslashes).
std::vector<std::wstring> SplitPath(const std::wstring& path);
// The text of REG_SZ data without its terminating nulls.
std::wstring TextOf(const std::vector<uint8_t>& data);

// The machine extension holding the three trees.
class Tree {
public:
    // Where HKEY_LOCAL_MACHINE\SOFTWARE keeps the 32-bit view's keys.
    static constexpr const wchar_t* kWow64Node = L"WOW6432Node";

    Tree();

    // The root a predefined handle stands for; null for any other handle.
    std::shared_ptr<Key> Root(HKEY handle) const;

    // The following require `mutex` to be held.
    static std::shared_ptr<Key> Find(const std::shared_ptr<Key>& from,
                                     const std::vector<std::wstring>& parts);
    static std::shared_ptr<Key> AddChild(const std::shared_ptr<Key>& parent,
                                         const std::wstring& name);
    // Detaches the key from its parent and marks it and its subtree deleted.
    static void Remove(const std::shared_ptr<Key>& key);
    static void Clear(Key& key);  // removes the subkeys and values, keeps the key
    // Writes a value; an existing value keeps the case of its name.
    static void SetValue(Key& key, const std::wstring& name, DWORD type, const uint8_t* data,
                         size_t size);
    // Root name and path in stored case, for the journal.
    static std::string PathOf(const Key& key);

    mutable std::mutex mutex;

private:
    std::shared_ptr<Key> localMachine_;
    std::shared_ptr<Key> users_;
    std::shared_ptr<Key> currentUser_;
};

}  // namespace winsim::registry
