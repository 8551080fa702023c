// The simulated machine's HID devices, as tests see them.
//
// Each top-level collection of a device is its own device interface, listed by
// CM_Get_Device_Interface_ListW (HID class) in the order the devices were
// added and opened by path with CreateFileW. A new machine has no HID devices.
// The interfaces of a device that is not present (connected once, unplugged
// now) are listed only when all devices are asked for
// (CM_GET_DEVICE_INTERFACE_LIST_ALL_DEVICES), and do not open
// (ERROR_FILE_NOT_FOUND). As on Windows, the system holds the keyboard and
// mouse collections (generic desktop page, usages 6 and 2) for itself: opening
// one for reading or writing fails with ERROR_ACCESS_DENIED, opening it with no
// access succeeds.
//
// Journal (kind "hid"): each successful WriteFile to an interface adds
//   write <interface path> <n> bytes xx xx ...
// with every byte as a space and two lowercase hex digits.
//
// Faults: the HID, configuration manager and file functions take faults under
// their own names ("CreateFileW", "WriteFile", "HidD_GetAttributes",
// "HidD_GetPreparsedData", "HidP_GetCaps", "CM_Get_Device_Interface_List_SizeW",
// "CM_Get_Device_Interface_ListW"). The CM functions and HidP_GetCaps return
// the fault's error as their result; the others set it as the last error.
#pragma once

#include <winsim/Machine.h>
#include <winsim/sdk/base.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace winsim {

// One top-level collection: what HidP_GetCaps reports for its interface.
struct HidCollectionSpec {
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    // Bytes of an output report, report id included; WriteFile takes exactly
    // this many. 0 for a collection without output reports.
    uint16_t outputReportLength = 0;
};

struct HidDeviceSpec {
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    std::vector<HidCollectionSpec> collections;
    bool present = true;
};

class Hid {
public:
    Hid();
    ~Hid();
    Hid(const Hid&) = delete;
    Hid& operator=(const Hid&) = delete;

    // Adds a device and returns its interface paths, one per collection in
    // order, in the form Windows uses, e.g.
    //   \\?\hid#vid_deed&pid_feed&col02#7&00000001&0&0001#{4d1e55b2-f16f-11cf-88cb-001111000030}
    // ("&colNN" only when the device has more than one collection).
    std::vector<std::wstring> AddDevice(const HidDeviceSpec& device);

    // Another program opens the interface with this access and sharing and
    // keeps it open; later opens must share with it (ERROR_SHARING_VIOLATION
    // otherwise). False when the opens already there forbid this one.
    bool OpenElsewhere(const std::wstring& path, uint32_t access, uint32_t share);

    // Every later write to the interface fails with `error` (e.g.
    // ERROR_DEVICE_NOT_CONNECTED, ERROR_GEN_FAILURE); 0 makes writes work again.
    void FailWrites(const std::wstring& path, uint32_t error);

    // Implementation detail shared by the area's source files.
    struct State;
    State& state() const { return *state_; }

private:
    std::unique_ptr<State> state_;
};

}  // namespace winsim
