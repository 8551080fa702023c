// Owners of HID resources, kinds of the UniqueAny family.
#pragma once

#include "win32/UniqueAny.h"

#include <windows.h>
// The SDK's HID headers declare C functions without a C++ linkage block.
extern "C" {
#include <hidsdi.h>
}

// A collection's preparsed data, from HidD_GetPreparsedData.
using UniquePreparsedData = UniqueAny<PHIDP_PREPARSED_DATA, &HidD_FreePreparsedData>;
