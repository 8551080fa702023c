// The host's configuration queries.
#pragma once

#include <string>

class TandemConfig {
public:
    // Whether the registry key `keyPath` exists. `currentUser` selects the hive:
    // true looks under HKEY_CURRENT_USER (for a service that is the service
    // account's own hive, not the console user's), false under
    // HKEY_LOCAL_MACHINE. Leading backslashes in the path are ignored.
    static bool IsExistsRegKey(const std::wstring& keyPath, bool currentUser);
};
