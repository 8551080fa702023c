// The keyboard driver's HID channel: finds the driver's vendor-defined
// collection among the HID interfaces present, writes one output report to it
// and closes it again. Nothing stays open between writes.
#include "plugin/Log.h"
#include "plugin/NxReVadiruServiceImpl.h"
#include "win32/LocalMemory.h"
#include "win32/UniqueAny.h"
#include "win32/UniqueHid.h"

#include <windows.h>
#include <cfgmgr32.h>

#include <cwchar>
#include <iomanip>
#include <sstream>

using Impl = NxReVadiruService::Impl;

namespace {

// Every line of this channel is written at the failure level, success included.
template <class... Parts>
void LogChannel(std::wstring_view operation, const Parts&... parts) {
    LogLine(LOG_LEVEL_ERROR, operation, parts...);
}

// " 01 08 01 00 ...": each byte as a space and two lowercase hex digits.
std::string DumpReport(const unsigned char* report) {
    std::ostringstream dump;
    dump << std::hex << std::setfill('0');
    for (DWORD i = 0; i < Impl::kKeyboardReportLength; ++i) {
        dump << ' ' << std::setw(2) << static_cast<unsigned>(report[i]);
    }
    return dump.str();
}

}  // namespace

void Impl::WriteToHidDriver(const unsigned char* report) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::WriteToHidDriver";
    // When no device is found the handle stays invalid and the write reports it.
    HANDLE device = INVALID_HANDLE_VALUE;
    SetKeyboardDriverFile(device);
    const UniqueHandle owner(device);
    DWORD written = 0;
    if (!WriteFile(device, report, Impl::kKeyboardReportLength, &written, nullptr)) {
        const DWORD error = GetLastError();
        LogChannel(kOperation, "WriteToHidDriver [", DumpReport(report).c_str(), "]", " failed ",
                   error);
    }
}

bool Impl::SetKeyboardDriverFile(HANDLE& device) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::SetKeyboardDriverFile";
    GUID hidClass;
    HidD_GetHidGuid(&hidClass);
    ULONG listLength = 0;
    if (CM_Get_Device_Interface_List_SizeW(&listLength, &hidClass, nullptr,
                                           CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS ||
        listLength <= 1) {
        LogChannel(kOperation, "get device interface list size failed");
        return false;
    }
    const LocalPtr<WCHAR> list = AllocateZeroed<WCHAR>(listLength);
    if (!list) {
        LogChannel(kOperation, "malloc failed");
        return false;
    }
    if (CM_Get_Device_Interface_ListW(&hidClass, nullptr, list.get(), listLength,
                                      CM_GET_DEVICE_INTERFACE_LIST_PRESENT) != CR_SUCCESS) {
        LogChannel(kOperation, "retrieving device interface list failed");
        return false;
    }
    for (const WCHAR* path = list.get(); *path != L'\0'; path += wcslen(path) + 1) {
        UniqueHandle candidate(CreateFileW(path, GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
        if (candidate && CheckIfOurDevice(candidate.get())) {
            device = candidate.release();
            return true;
        }
    }
    return false;
}

bool Impl::CheckIfOurDevice(HANDLE device) {
    constexpr wchar_t kOperation[] = L"NxReVadiruService::Impl::CheckIfOurDevice";
    constexpr USHORT kVendorId = 0xDEED;
    constexpr USHORT kProductId = 0xFEED;
    constexpr USAGE kVendorDefinedPage = 0xFF00;
    constexpr USAGE kDriverUsage = 0x0001;
    HIDD_ATTRIBUTES attributes{};
    attributes.Size = sizeof(attributes);
    if (!HidD_GetAttributes(device, &attributes)) {
        return false;
    }
    if (attributes.VendorID != kVendorId || attributes.ProductID != kProductId) {
        LogChannel(kOperation, "VID or PID not match");
        return false;
    }
    UniquePreparsedData preparsed;
    if (!HidD_GetPreparsedData(device, preparsed.put())) {
        LogChannel(kOperation, "HidD_GetPreparsedData failed.");
        return false;
    }
    HIDP_CAPS caps{};
    if (HidP_GetCaps(preparsed.get(), &caps) != HIDP_STATUS_SUCCESS) {
        LogChannel(kOperation, "HidP_GetCaps failed.");
        return false;
    }
    if (caps.UsagePage != kVendorDefinedPage || caps.Usage != kDriverUsage) {
        return false;
    }
    LogChannel(kOperation, "Success: Found my device..");
    return true;
}
