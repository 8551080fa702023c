#include "Registry.h"

#include "win32/UniqueAny.h"

namespace DE {

namespace {

// Win32 refuses a leading backslash; callers pass SID + "\SOFTWARE\...".
std::wstring Normalize(const std::wstring& subKey) {
    const auto first = subKey.find_first_not_of(L'\\');
    if (first == std::wstring::npos) {
        return {};
    }
    return subKey.substr(first, subKey.find_last_not_of(L'\\') - first + 1);
}

bool Open(HKEY root, const std::wstring& subKey, REGSAM access, UniqueHKey& key) {
    return RegOpenKeyExW(root, Normalize(subKey).c_str(), 0, access, key.put()) == ERROR_SUCCESS;
}

bool ReadDword(HKEY root, const std::wstring& subKey, const std::wstring& name, REGSAM access,
               DWORD& value) {
    UniqueHKey key;
    if (!Open(root, subKey, access, key)) {
        return false;
    }
    DWORD type = REG_NONE;
    DWORD data = 0;
    DWORD size = sizeof(data);
    if (RegQueryValueExW(key.get(), name.c_str(), nullptr, &type, reinterpret_cast<LPBYTE>(&data),
                         &size) != ERROR_SUCCESS ||
        type != REG_DWORD || size != sizeof(data)) {
        return false;
    }
    value = data;
    return true;
}

}  // namespace

void Registry::SetRootKey(HKEY root) {
    root_ = root;
}

bool Registry::KeyExists(const std::wstring& subKey) {
    UniqueHKey key;
    return Open(root_, subKey, KEY_READ, key);
}

bool Registry::CreateKey(const std::wstring& subKey) {
    UniqueHKey key;
    return RegCreateKeyExW(root_, Normalize(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                           KEY_ALL_ACCESS, nullptr, key.put(), nullptr) == ERROR_SUCCESS;
}

bool Registry::GetValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                        int32_t& value, REGSAM access) {
    DWORD data = 0;
    if (!ReadDword(root, subKey, name, access, data)) {
        return false;
    }
    value = static_cast<int32_t>(data);
    return true;
}

bool Registry::GetValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                        uint32_t& value, REGSAM access) {
    DWORD data = 0;
    if (!ReadDword(root, subKey, name, access, data)) {
        return false;
    }
    value = data;
    return true;
}

bool Registry::SetValue(HKEY root, const std::wstring& subKey, const std::wstring& name,
                        const int32_t& value, REGSAM access) {
    UniqueHKey key;
    if (!Open(root, subKey, access, key)) {
        return false;
    }
    const auto data = static_cast<DWORD>(value);
    return RegSetValueExW(key.get(), name.c_str(), 0, REG_DWORD,
                          reinterpret_cast<const BYTE*>(&data), sizeof(data)) == ERROR_SUCCESS;
}

bool Registry::DelKey(HKEY root, const std::wstring& subKey, REGSAM access) {
    // The parent is opened with the caller's access (and so its registry view);
    // RegDeleteTreeW then removes the key with everything below it.
    const auto path = Normalize(subKey);
    if (path.empty()) {
        return false;
    }
    const auto split = path.find_last_of(L'\\');
    const auto parentPath = split == std::wstring::npos ? std::wstring() : path.substr(0, split);
    const auto leaf = split == std::wstring::npos ? path : path.substr(split + 1);
    UniqueHKey parent;
    return Open(root, parentPath, access, parent) &&
           RegDeleteTreeW(parent.get(), leaf.c_str()) == ERROR_SUCCESS;
}

}  // namespace DE
