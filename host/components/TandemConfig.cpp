#include "TandemConfig.h"

#include "Registry.h"

bool TandemConfig::IsExistsRegKey(const std::wstring& keyPath, bool currentUser) {
    DE::Registry registry;
    registry.SetRootKey(currentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE);
    return registry.KeyExists(keyPath);
}
