// The HID area's test API and the lookups its Win32 functions share.
#include "HidState.h"
#include "MachineState.h"

#include <iomanip>
#include <sstream>
#include <stdexcept>

namespace winsim {

namespace {

constexpr wchar_t kHidClassText[] = L"{4d1e55b2-f16f-11cf-88cb-001111000030}";

// The collections the system opens for itself.
constexpr uint16_t kGenericDesktopPage = 0x01;
constexpr uint16_t kMouseUsage = 0x02;
constexpr uint16_t kKeyboardUsage = 0x06;

// \\?\hid#vid_xxxx&pid_xxxx[&colNN]#7&<device>&0&<collection>#{class}
std::wstring InterfacePath(const HidDeviceSpec& device, size_t deviceNumber, size_t collection) {
    std::wostringstream path;
    path << std::hex << std::setfill(L'0') << L"\\\\?\\hid#vid_" << std::setw(4) << device.vendorId
         << L"&pid_" << std::setw(4) << device.productId;
    if (device.collections.size() > 1) {
        path << L"&col" << std::dec << std::setw(2) << collection + 1 << std::hex;
    }
    path << L"#7&" << std::setw(8) << deviceNumber << L"&0&" << std::setw(4) << collection << L"#"
         << kHidClassText;
    return path.str();
}

HidInterface& Existing(Hid::State& state, const std::wstring& path) {
    const auto index = state.Find(path);
    if (!index) {
        throw std::invalid_argument("no HID interface " + Narrow(path));
    }
    return state.interfaces[*index];
}

}  // namespace

std::optional<size_t> Hid::State::Find(const std::wstring& path) const {
    for (size_t i = 0; i < interfaces.size(); ++i) {
        if (EqualsNoCase(interfaces[i].path, path)) {
            return i;
        }
    }
    return std::nullopt;
}

Hid::Hid() : state_(std::make_unique<State>()) {}

Hid::~Hid() = default;

std::vector<std::wstring> Hid::AddDevice(const HidDeviceSpec& device) {
    std::lock_guard lock(state_->mutex);
    const size_t deviceNumber = ++state_->devices;
    std::vector<std::wstring> paths;
    for (size_t i = 0; i < device.collections.size(); ++i) {
        HidInterface added;
        added.path = InterfacePath(device, deviceNumber, i);
        added.vendorId = device.vendorId;
        added.productId = device.productId;
        added.versionNumber = device.versionNumber;
        added.collection = device.collections[i];
        added.present = device.present;
        const bool keyboardOrMouse =
            added.collection.usagePage == kGenericDesktopPage &&
            (added.collection.usage == kKeyboardUsage || added.collection.usage == kMouseUsage);
        added.exclusiveError = keyboardOrMouse ? ERROR_ACCESS_DENIED : 0;
        state_->interfaces.push_back(added);
        paths.push_back(added.path);
    }
    return paths;
}

bool Hid::OpenElsewhere(const std::wstring& path, uint32_t access, uint32_t share) {
    auto open = OpenShared(path, access, share);
    if (!open) {
        return false;
    }
    std::lock_guard lock(state_->mutex);
    state_->elsewhere.push_back(std::move(open));
    return true;
}

void Hid::FailWrites(const std::wstring& path, uint32_t error) {
    std::lock_guard lock(state_->mutex);
    Existing(*state_, path).writeError = error;
}

Hid::State& HidState() {
    return Current().Extension<Hid>().state();
}

std::optional<HidInterface> InterfaceOfHandle(HANDLE handle) {
    const auto file = Current().LookupAs<HidFile>(handle);
    if (!file) {
        SetLastError(ERROR_INVALID_HANDLE);
        return std::nullopt;
    }
    auto& state = HidState();
    std::lock_guard lock(state.mutex);
    return state.interfaces[file->interfaceIndex];
}

}  // namespace winsim
