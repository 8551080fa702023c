#include "RegistryTree.h"

#include <cstring>
#include <cwctype>
#include <stdexcept>

namespace winsim::registry {

namespace {

std::shared_ptr<Key> MakeRoot(const wchar_t* name, bool holdsHivesOnly) {
    auto root = std::make_shared<Key>();
    root->name = name;
    root->holdsHivesOnly = holdsHivesOnly;
    return root;
}

}  // namespace

std::wstring Fold(const std::wstring& name) {
    std::wstring folded(name);
    for (auto& c : folded) {
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    }
    return folded;
}

std::vector<std::wstring> SplitPath(const std::wstring& path) {
    std::vector<std::wstring> parts;
    size_t start = 0;
    while (start <= path.size()) {
        size_t end = path.find(L'\\', start);
        if (end == std::wstring::npos) {
            end = path.size();
        }
        if (end > start) {
            parts.push_back(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return parts;
}

std::wstring TextOf(const std::vector<uint8_t>& data) {
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    while (!text.empty() && text.back() == L'\0') {
        text.pop_back();
    }
    return text;
}

Tree::Tree()
    : localMachine_(MakeRoot(L"HKEY_LOCAL_MACHINE", true)),
      users_(MakeRoot(L"HKEY_USERS", true)),
      currentUser_(MakeRoot(L"HKEY_CURRENT_USER", false)) {
    // Win32 cannot create it, and every machine has it, with the 32-bit view's node.
    AddChild(AddChild(localMachine_, L"SOFTWARE"), kWow64Node);
}

std::shared_ptr<Key> Tree::Root(HKEY handle) const {
    if (handle == HKEY_LOCAL_MACHINE) {
        return localMachine_;
    }
    if (handle == HKEY_USERS) {
        return users_;
    }
    if (handle == HKEY_CURRENT_USER) {
        return currentUser_;
    }
    return nullptr;
}

std::shared_ptr<Key> Tree::Find(const std::shared_ptr<Key>& from,
                                const std::vector<std::wstring>& parts) {
    auto key = from;
    for (const auto& part : parts) {
        auto child = key->children.find(Fold(part));
        if (child == key->children.end()) {
            return nullptr;
        }
        key = child->second;
    }
    return key;
}

std::shared_ptr<Key> Tree::AddChild(const std::shared_ptr<Key>& parent, const std::wstring& name) {
    auto child = std::make_shared<Key>();
    child->name = name;
    child->parent = parent;
    parent->children[Fold(name)] = child;
    return child;
}

void Tree::Remove(const std::shared_ptr<Key>& key) {
    if (auto parent = key->parent.lock()) {
        parent->children.erase(Fold(key->name));
    }
    Clear(*key);
    key->deleted = true;
}

void Tree::Clear(Key& key) {
    for (auto& [folded, child] : key.children) {
        Clear(*child);
        child->deleted = true;
    }
    key.children.clear();
    key.values.clear();
}

void Tree::SetValue(Key& key, const std::wstring& name, DWORD type, const uint8_t* data,
                    size_t size) {
    auto [slot, added] = key.values.try_emplace(Fold(name));
    if (added) {
        slot->second.name = name;
    }
    slot->second.type = type;
    slot->second.data.assign(data, data + size);
}

std::string Tree::PathOf(const Key& key) {
    std::wstring path = key.name;
    for (auto parent = key.parent.lock(); parent; parent = parent->parent.lock()) {
        path = parent->name + L"\\" + path;
    }
    return Narrow(path);
}

}  // namespace winsim::registry

namespace winsim {

using registry::Key;
using registry::SplitPath;
using registry::Tree;

namespace {

std::shared_ptr<Key> RootOf(const Tree& tree, HKEY root) {
    auto key = tree.Root(root);
    if (!key) {
        throw std::invalid_argument("SimRegistry: not a predefined root key");
    }
    return key;
}

std::shared_ptr<Key> FindOrCreate(const Tree& tree, HKEY root, const std::wstring& path) {
    auto key = RootOf(tree, root);
    for (const auto& part : SplitPath(path)) {
        auto next = Tree::Find(key, {part});
        key = next ? next : Tree::AddChild(key, part);
    }
    return key;
}

const registry::Value* FindValue(const Tree& tree, HKEY root, const std::wstring& path,
                                 const std::wstring& name) {
    auto key = Tree::Find(RootOf(tree, root), SplitPath(path));
    if (!key) {
        return nullptr;
    }
    auto value = key->values.find(registry::Fold(name));
    return value == key->values.end() ? nullptr : &value->second;
}

void Store(const Tree& tree, HKEY root, const std::wstring& path, const std::wstring& name,
           DWORD type, const void* data, size_t size) {
    Tree::SetValue(*FindOrCreate(tree, root, path), name, type, static_cast<const uint8_t*>(data),
                   size);
}

}  // namespace

SimRegistry::SimRegistry(Machine& machine) : machine_(machine) {}

void SimRegistry::CreateKey(HKEY root, const std::wstring& path) {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    FindOrCreate(tree, root, path);
}

void SimRegistry::DeleteKey(HKEY root, const std::wstring& path) {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    auto key = Tree::Find(RootOf(tree, root), SplitPath(path));
    if (key && key != tree.Root(root)) {
        Tree::Remove(key);
    }
}

bool SimRegistry::KeyExists(HKEY root, const std::wstring& path) const {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    return Tree::Find(RootOf(tree, root), SplitPath(path)) != nullptr;
}

std::vector<std::wstring> SimRegistry::SubKeyNames(HKEY root, const std::wstring& path) const {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    std::vector<std::wstring> names;
    if (auto key = Tree::Find(RootOf(tree, root), SplitPath(path))) {
        for (const auto& [folded, child] : key->children) {
            names.push_back(child->name);
        }
    }
    return names;
}

void SimRegistry::SetDword(HKEY root, const std::wstring& path, const std::wstring& name,
                           uint32_t value) {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    const DWORD data = value;
    Store(tree, root, path, name, REG_DWORD, &data, sizeof(data));
}

void SimRegistry::SetString(HKEY root, const std::wstring& path, const std::wstring& name,
                            const std::wstring& value) {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    // Stored with its terminating null, as programs write REG_SZ.
    Store(tree, root, path, name, REG_SZ, value.c_str(), (value.size() + 1) * sizeof(wchar_t));
}

std::optional<uint32_t> SimRegistry::GetDword(HKEY root, const std::wstring& path,
                                              const std::wstring& name) const {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    const auto* value = FindValue(tree, root, path, name);
    if (!value || value->type != REG_DWORD || value->data.size() != sizeof(DWORD)) {
        return std::nullopt;
    }
    DWORD data = 0;
    std::memcpy(&data, value->data.data(), sizeof(data));
    return data;
}

std::optional<std::wstring> SimRegistry::GetString(HKEY root, const std::wstring& path,
                                                   const std::wstring& name) const {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    const auto* value = FindValue(tree, root, path, name);
    if (!value || (value->type != REG_SZ && value->type != REG_EXPAND_SZ)) {
        return std::nullopt;
    }
    return registry::TextOf(value->data);
}

std::optional<DWORD> SimRegistry::GetType(HKEY root, const std::wstring& path,
                                          const std::wstring& name) const {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    const auto* value = FindValue(tree, root, path, name);
    return value ? std::optional<DWORD>(value->type) : std::nullopt;
}

void SimRegistry::SetAccess(HKEY root, const std::wstring& path, KeyAccess access) {
    auto& tree = machine_.Extension<Tree>();
    std::lock_guard lock(tree.mutex);
    FindOrCreate(tree, root, path)->access = access;
}

}  // namespace winsim
