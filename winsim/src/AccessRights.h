// The rights a new handle holds, read from the access mask its caller asked
// for, and the check of a handle's rights before it is used.
#pragma once

#include <winsim/Machine.h>
#include <winsim/sdk/base.h>

#include <memory>

namespace winsim {

// What the four generic rights mean for one kind of object.
struct GenericMapping {
    DWORD read;
    DWORD write;
    DWORD execute;
    DWORD all;
};

// The specific rights of `desired` with its generic rights mapped. MAXIMUM_ALLOWED
// gives every right of the kind: the simulated code runs as the local system,
// and every process and token here grants it everything.
inline DWORD GrantedRights(DWORD desired, const GenericMapping& mapping) {
    if ((desired & (MAXIMUM_ALLOWED | GENERIC_ALL)) != 0) {
        return mapping.all;
    }
    DWORD granted = desired & ~(GENERIC_READ | GENERIC_WRITE | GENERIC_EXECUTE);
    granted |= (desired & GENERIC_READ) != 0 ? mapping.read : 0;
    granted |= (desired & GENERIC_WRITE) != 0 ? mapping.write : 0;
    granted |= (desired & GENERIC_EXECUTE) != 0 ? mapping.execute : 0;
    return granted & mapping.all;
}

// The object of kind T behind `handle` when the handle holds every one of
// `rights`; null otherwise, with the last error Windows sets
// (ERROR_INVALID_HANDLE for a handle of another kind, ERROR_ACCESS_DENIED).
template <class T>
std::shared_ptr<T> ObjectWithRights(Machine& machine, HANDLE handle, DWORD rights) {
    auto object = machine.LookupAs<T>(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    if (!machine.Grants(handle, rights)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
    }
    return object;
}

}  // namespace winsim
