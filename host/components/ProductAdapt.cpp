#include "ProductAdapt.h"
#include "Registry.h"

#include "win32/UniqueAny.h"

#include <windows.h>

#include <vector>

namespace ProductAdapt {

namespace {

const wchar_t kCurrentVersionKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion";
const wchar_t kBuildNumberValue[] = L"CurrentBuildNumber";
const wchar_t kProductKey[] = L"SOFTWARE\\Norvane\\DeskSuite";
const wchar_t kRetailValue[] = L"RetailComputer";

// The key, or none when it cannot be opened for reading.
UniqueHKey OpenKey(HKEY root, const wchar_t* path) {
    UniqueHKey key;
    if (RegOpenKeyExW(root, path, 0, KEY_QUERY_VALUE, key.put()) != ERROR_SUCCESS) {
        key.release();
    }
    return key;
}

}  // namespace

std::string MachineOSInfo::GetOSCurrentBuildNumber() {
    const UniqueHKey key = OpenKey(HKEY_LOCAL_MACHINE, kCurrentVersionKey);
    if (!key) {
        return {};
    }
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExW(key.get(), kBuildNumberValue, nullptr, &type, nullptr, &size) !=
            ERROR_SUCCESS ||
        type != REG_SZ) {
        return {};
    }
    std::vector<wchar_t> text(size / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key.get(), kBuildNumberValue, nullptr, &type,
                         reinterpret_cast<BYTE*>(text.data()), &size) != ERROR_SUCCESS) {
        return {};
    }
    // A build number is plain ASCII digits; anything else is kept as '?' so
    // that the caller's conversion rejects it rather than misreading it.
    std::string build;
    for (const wchar_t* c = text.data(); *c != L'\0'; ++c) {
        build.push_back(*c < 0x80 ? static_cast<char>(*c) : '?');
    }
    return build;
}

const MachineType& MachineType::GetInstance() {
    static const MachineType instance;
    return instance;
}

bool MachineType::IsRetailComputer() const {
    uint32_t retail = 0;
    return DE::Registry::GetValue(HKEY_LOCAL_MACHINE, kProductKey, kRetailValue, retail,
                                  KEY_READ) &&
           retail == 1;
}

}  // namespace ProductAdapt
