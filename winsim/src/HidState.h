// State of the simulated HID area and what its source files share.
#pragma once

#include "FileSharing.h"

#include <winsim/SimHid.h>
#include <windows.h>
#include <hidsdi.h>

#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

// What HidD_GetPreparsedData hands out: the collection's capabilities.
struct _HIDP_PREPARSED_DATA {
    HIDP_CAPS caps;
};

namespace winsim {

// The HID device interface class.
inline constexpr GUID kHidInterfaceClass = {
    0x4D1E55B2, 0xF16F, 0x11CF, {0x88, 0xCB, 0x00, 0x11, 0x11, 0x00, 0x00, 0x30}};

// One device interface: one top-level collection of a device.
struct HidInterface {
    std::wstring path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t versionNumber = 0;
    HidCollectionSpec collection;
    bool present = true;
    uint32_t exclusiveError = 0;  // 0: not held by the system (keyboards and mice are)
    uint32_t writeError = 0;      // 0: writes succeed
};

struct Hid::State {
    mutable std::mutex mutex;
    // Never shrinks: an open handle refers to its interface by index.
    std::vector<HidInterface> interfaces;
    size_t devices = 0;
    std::map<PHIDP_PREPARSED_DATA, std::unique_ptr<_HIDP_PREPARSED_DATA>> preparsed;
    // Other programs' opens (OpenElsewhere), held for the machine's life.
    std::vector<std::shared_ptr<const ShareAccess>> elsewhere;

    // The index of the interface with that path (any case). Lock held.
    std::optional<size_t> Find(const std::wstring& path) const;
};

// A handle to an open interface.
class HidFile : public Object {
public:
    HidFile(size_t interfaceIndex, DWORD access, std::shared_ptr<const ShareAccess> sharing)
        : interfaceIndex(interfaceIndex), access(access), sharing(std::move(sharing)) {}
    const char* Kind() const override { return "HID interface"; }
    const size_t interfaceIndex;
    const DWORD access;
    const std::shared_ptr<const ShareAccess> sharing;
};

// The current machine's HID area.
Hid::State& HidState();

// A copy of the interface that an open handle refers to; empty (with
// ERROR_INVALID_HANDLE as the last error) when the handle is not one.
std::optional<HidInterface> InterfaceOfHandle(HANDLE handle);

}  // namespace winsim
