// Simulated Windows SDK: the HID user-mode functions (hidsdi.h) over the
// machine's HID devices (winsim/SimHid.h).
//
// The SDK's own header has no C++ linkage block, so callers wrap its include in
// extern "C"; this one declares C linkage itself and works either way. Faults
// are injected under each function's name and set the last error.
#pragma once

#include <hidpi.h>

typedef struct _HIDD_ATTRIBUTES {
    ULONG Size;
    USHORT VendorID;
    USHORT ProductID;
    USHORT VersionNumber;
} HIDD_ATTRIBUTES, *PHIDD_ATTRIBUTES;

extern "C" {

// The HID device interface class, {4D1E55B2-F16F-11CF-88CB-001111000030}.
void WINAPI HidD_GetHidGuid(LPGUID HidGuid);

// FALSE with ERROR_INVALID_HANDLE for a handle that is not an open HID
// interface. Works on a handle opened without read or write access.
BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes);

// Each successful call holds one "HID preparsed data" resource until
// HidD_FreePreparsedData.
BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData);
// FALSE for data the machine did not hand out or already freed.
BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData);

}  // extern "C"
