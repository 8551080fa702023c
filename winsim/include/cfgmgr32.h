// Simulated Windows SDK: the configuration manager's device interface lists
// over the machine's HID devices (winsim/SimHid.h).
//
// A fault injected under a function's name is returned as its CONFIGRET
// (Machine::Fail("CM_Get_Device_Interface_ListW", CR_BUFFER_SMALL)).
#pragma once

#include <winsim/sdk/base.h>

typedef DWORD RETURN_TYPE;
typedef RETURN_TYPE CONFIGRET;
typedef WCHAR *DEVNODEID_W, *DEVINSTID_W;
typedef WCHAR* PZZWSTR;

#define CR_SUCCESS 0x00000000
#define CR_OUT_OF_MEMORY 0x00000002
#define CR_INVALID_POINTER 0x00000003
#define CR_INVALID_FLAG 0x00000004
#define CR_FAILURE 0x00000013
#define CR_BUFFER_SMALL 0x0000001A
#define CR_INVALID_DEVICE_ID 0x0000001E

#define CM_GET_DEVICE_INTERFACE_LIST_PRESENT 0x00000000
#define CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES 0x00000001
#define CM_GET_DEVICE_INTERFACE_LIST_BITS 0x00000001

// Every simulated device is present, so both flags list the same interfaces.
// Naming a device instance is not simulated: any pDeviceID fails with
// CR_INVALID_DEVICE_ID.
//
// *pulLen receives the list's length in WCHARs, final empty string included:
// 1 for a class without interfaces.
CONFIGRET WINAPI CM_Get_Device_Interface_List_SizeW(PULONG pulLen, LPGUID InterfaceClassGuid,
                                                    DEVINSTID_W pDeviceID, ULONG ulFlags);

// The paths in the order the devices were added, each ended by a NUL, the
// whole ended by an empty string. CR_BUFFER_SMALL when the list does not fit.
CONFIGRET WINAPI CM_Get_Device_Interface_ListW(LPGUID InterfaceClassGuid, DEVINSTID_W pDeviceID,
                                               PZZWSTR Buffer, ULONG BufferLen, ULONG ulFlags);
