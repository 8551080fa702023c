// The configuration manager's device interface lists: the HID class lists the
// machine's HID interfaces (of present devices only, unless all are asked
// for), every other class is empty.
#include "HidState.h"

#include <cfgmgr32.h>

#include <cstring>
#include <string>

namespace {

CONFIGRET CheckArguments(const char* function, LPGUID classGuid, DEVINSTID_W deviceId,
                         ULONG flags) {
    uint32_t fault = 0;
    if (winsim::Current().TakeFault(function, fault)) {
        return fault;
    }
    if (classGuid == nullptr) {
        return CR_INVALID_POINTER;
    }
    if ((flags & ~static_cast<ULONG>(CM_GET_DEVICE_INTERFACE_LIST_BITS)) != 0) {
        return CR_INVALID_FLAG;
    }
    if (deviceId != nullptr) {
        return CR_INVALID_DEVICE_ID;
    }
    return CR_SUCCESS;
}

// The multi-string: each path and its NUL, then the final empty string.
std::wstring InterfaceList(const GUID& classGuid, ULONG flags) {
    const bool absentToo = (flags & CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES) != 0;
    std::wstring list;
    if (std::memcmp(&classGuid, &winsim::kHidInterfaceClass, sizeof(GUID)) == 0) {
        auto& state = winsim::HidState();
        std::lock_guard lock(state.mutex);
        for (const auto& hidInterface : state.interfaces) {
            if (hidInterface.present || absentToo) {
                list += hidInterface.path;
                list += L'\0';
            }
        }
    }
    list += L'\0';
    return list;
}

}  // namespace

CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                                    DEVINSTID_W pDeviceID, ULONG ulFlags) {
    const CONFIGRET checked = CheckArguments("CM_Get_Device_Interface_List_SizeW",
                                             InterfaceClassGuid, pDeviceID, ulFlags);
    if (checked != CR_SUCCESS) {
        return checked;
    }
    if (pulLen == nullptr) {
        return CR_INVALID_POINTER;
    }
    *pulLen = static_cast<ULONG>(InterfaceList(*InterfaceClassGuid, ulFlags).size());
    return CR_SUCCESS;
}

CONFIGRET WINAPI CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                               PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags) {
    const CONFIGRET checked =
        CheckArguments("CM_Get_Device_Interface_ListW", InterfaceClassGuid, pDeviceID, ulFlags);
    if (checked != CR_SUCCESS) {
        return checked;
    }
    if (Buffer == nullptr) {
        return CR_INVALID_POINTER;
    }
    const std::wstring list = InterfaceList(*InterfaceClassGuid, ulFlags);
    if (list.size() > BufferLen) {
        if (BufferLen > 0) {
            Buffer[0] = L'\0';
        }
        return CR_BUFFER_SMALL;
    }
    list.copy(Buffer, list.size());
    return CR_SUCCESS;
}
