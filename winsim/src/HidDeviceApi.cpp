// The HID user-mode functions: attributes, preparsed data and capabilities.
#include "Faults.h"
#include "HidState.h"

#include <cstring>

namespace {

constexpr char kPreparsedDataResource[] = "HID preparsed data";

}  // namespace

void WINAPI HidD_GetHidGuid(LPGUID HidGuid) {
    *HidGuid = winsim::kHidInterfaceClass;
}

BOOLEAN WINAPI HidD_GetAttributes(HANDLE HidDeviceObject, PHIDD_ATTRIBUTES Attributes) {
    if (winsim::FailsNow(winsim::Current(), "HidD_GetAttributes")) {
        return FALSE;
    }
    const auto target = winsim::InterfaceOfHandle(HidDeviceObject);
    if (!target) {
        return FALSE;
    }
    Attributes->Size = sizeof(HIDD_ATTRIBUTES);
    Attributes->VendorID = target->vendorId;
    Attributes->ProductID = target->productId;
    Attributes->VersionNumber = target->versionNumber;
    return TRUE;
}

BOOLEAN WINAPI HidD_GetPreparsedData(HANDLE HidDeviceObject, PHIDP_PREPARSED_DATA* PreparsedData) {
    auto& machine = winsim::Current();
    if (winsim::FailsNow(machine, "HidD_GetPreparsedData")) {
        return FALSE;
    }
    const auto target = winsim::InterfaceOfHandle(HidDeviceObject);
    if (!target) {
        return FALSE;
    }
    auto data = std::make_unique<_HIDP_PREPARSED_DATA>();
    std::memset(&data->caps, 0, sizeof(data->caps));
    data->caps.UsagePage = target->collection.usagePage;
    data->caps.Usage = target->collection.usage;
    data->caps.OutputReportByteLength = target->collection.outputReportLength;
    data->caps.NumberLinkCollectionNodes = 1;
    PHIDP_PREPARSED_DATA handedOut = data.get();
    auto& state = winsim::HidState();
    {
        std::lock_guard lock(state.mutex);
        state.preparsed.emplace(handedOut, std::move(data));
    }
    machine.AcquireResource(kPreparsedDataResource);
    *PreparsedData = handedOut;
    return TRUE;
}

BOOLEAN WINAPI HidD_FreePreparsedData(PHIDP_PREPARSED_DATA PreparsedData) {
    auto& state = winsim::HidState();
    {
        std::lock_guard lock(state.mutex);
        if (state.preparsed.erase(PreparsedData) == 0) {
            return FALSE;
        }
    }
    winsim::Current().ReleaseResource(kPreparsedDataResource);
    return TRUE;
}

NTSTATUS WINAPI HidP_GetCaps(PHIDP_PREPARSED_DATA PreparsedData, PHIDP_CAPS Capabilities) {
    uint32_t fault = 0;
    if (winsim::Current().TakeFault("HidP_GetCaps", fault)) {
        return static_cast<NTSTATUS>(fault);
    }
    auto& state = winsim::HidState();
    std::lock_guard lock(state.mutex);
    const auto found = state.preparsed.find(PreparsedData);
    if (found == state.preparsed.end()) {
        return HIDP_STATUS_INVALID_PREPARSED_DATA;
    }
    *Capabilities = found->second->caps;
    return HIDP_STATUS_SUCCESS;
}
