// Simulated Windows SDK: HID parsing (the part of hidpi.h this project uses).
//
// The SDK's own header has no C++ linkage block, so callers wrap its include in
// extern "C"; this one declares C linkage itself and works either way.
#pragma once

extern "C++" {
#include <winsim/sdk/base.h>
}

typedef LONG NTSTATUS;
typedef USHORT USAGE, *PUSAGE;

// Opaque to callers; the machine keeps one per HidD_GetPreparsedData call.
typedef struct _HIDP_PREPARSED_DATA* PHIDP_PREPARSED_DATA;

typedef struct _HIDP_CAPS {
    USAGE Usage;
    USAGE UsagePage;
    USHORT InputReportByteLength;
    USHORT OutputReportByteLength;
    USHORT FeatureReportByteLength;
    USHORT Reserved[17];
    USHORT NumberLinkCollectionNodes;
    USHORT NumberInputButtonCaps;
    USHORT NumberInputValueCaps;
    USHORT NumberInputDataIndices;
    USHORT NumberOutputButtonCaps;
    USHORT NumberOutputValueCaps;
    USHORT NumberOutputDataIndices;
    USHORT NumberFeatureButtonCaps;
    USHORT NumberFeatureValueCaps;
    USHORT NumberFeatureDataIndices;
} HIDP_CAPS, *PHIDP_CAPS;

#define FACILITY_HID_ERROR_CODE 0x11
#define HIDP_ERROR_CODES(SEV, CODE) \
    ((NTSTATUS)((((ULONG)(SEV)) << 28) | (FACILITY_HID_ERROR_CODE << 16) | (CODE)))
#define HIDP_STATUS_SUCCESS (HIDP_ERROR_CODES(0x0, 0))
#define HIDP_STATUS_INVALID_PREPARSED_DATA (HIDP_ERROR_CODES(0xC, 1))

extern "C" {

// HIDP_STATUS_INVALID_PREPARSED_DATA for data the machine did not hand out (or
// already freed). A fault injected under "HidP_GetCaps" is returned as the status.
NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities);

}  // extern "C"
