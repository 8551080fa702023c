// The virtual display driver's machine-wide state: whether the driver must be
// switched off, and its saved settings, which are dropped at every start and
// recovery. Both are written by the product's other programs, never here.
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"

#include "Registry.h"

bool NxReVadiruService::Impl::NeedDisable() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::NeedDisable";
    uint32_t driverState = 0;
    if (!DE::Registry::GetValue(HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\Norvane\\DeskSuite\\NxReVadiru",
                                L"DriverState", driverState, KEY_ALL_ACCESS)) {
        LogError(kOperation, "get need not disable VirtualDisplayDriver fail");
    }
    LogInfo(kOperation, " needDisableDriver VirtualDisplayDriver ", driverState);
    return driverState != 0;
}

void NxReVadiruService::Impl::ClearVdisplayInfo() {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::ClearVdisplayInfo";
    if (DE::Registry::DelKey(HKEY_LOCAL_MACHINE, L"\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings",
                             KEY_ALL_ACCESS)) {
        LogInfo(kOperation, "[VuVidazi] Clear Vdisplay info successfully");
    } else {
        LogError(kOperation, "[VuVidazi] Clear Vdisplay info failed");
    }
}
