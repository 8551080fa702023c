// The keyboard driver's HID channel on a simulated machine: which interface is
// chosen, what is logged on each path, what reaches the device, and that every
// handle and preparsed data block is released (the fixture's end check).
#include "support/ImplTest.h"

#include <winsim/SimHid.h>
#include <windows.h>
#include <cfgmgr32.h>
#include <hidpi.h>

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using winsim::HidCollectionSpec;
using winsim::HidDeviceSpec;

constexpr size_t kReportSize = 93;
const std::string kSearch = "(NxReVadiruService::Impl::SetKeyboardDriverFile)";
const std::string kCheck = "(NxReVadiruService::Impl::CheckIfOurDevice)";

const HidCollectionSpec kKeyboardCollection{0x0001, 0x0006, 2};
const HidCollectionSpec kDriverCollection{0xFF00, 0x0001, kReportSize};
// The keyboard driver's device: a keyboard, consumer keys, then its channel.
const HidDeviceSpec kDriverDevice{
    0xDEED, 0xFEED, 0x0100, {kKeyboardCollection, {0x000C, 0x0001, 0}, kDriverCollection}};
const HidDeviceSpec kMouse{0x046D, 0xC077, 0x7200, {{0x0001, 0x0002, 0}}};
// A collection of our device that fails its check, listed before the driver's device.
const std::vector<HidDeviceSpec> kFailingCheckFirst{{0xDEED, 0xFEED, 0x0100, {kDriverCollection}},
                                                    kDriverDevice};

// The recovery sequence's release report, 01 08 01 and ninety zero bytes, as dumped.
std::string ReleaseDump() {
    std::string dump = " 01 08 01";
    for (int i = 0; i < 90; ++i) {
        dump += " 00";
    }
    return dump;
}

const std::string kSearchFailed = "log: 4 get device interface list size failed" + kSearch;
const std::string kFound = "log: 4 Success: Found my device.." + kCheck;

class HidChannelTest : public simtest::ImplTest {
protected:
    winsim::Hid& hid() { return machine().Extension<winsim::Hid>(); }
};

// What a machine holds, which call fails once, and what one release write does.
struct WriteCase {
    const char* name;
    std::vector<HidDeviceSpec> devices;
    const char* failing;  // nullptr: none
    uint32_t error;
    std::vector<std::string> searchLines;
    // The interface written to, by its place in the list; none: the write
    // fails for want of a device.
    std::optional<size_t> writtenTo;
};

void PrintTo(const WriteCase& writeCase, std::ostream* out) {
    *out << writeCase.name;
}

class WriteToHidDriverTest : public HidChannelTest,
                             public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteToHidDriverTest, LogsAndWritesAsExpected) {
    std::vector<std::wstring> paths;
    for (const auto& device : GetParam().devices) {
        const auto added = hid().AddDevice(device);
        paths.insert(paths.end(), added.begin(), added.end());
    }
    // As on a real PC, other programs have the interfaces open, sharing them.
    for (const auto& path : paths) {
        hid().OpenElsewhere(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    }
    if (GetParam().failing) {
        machine().Fail(GetParam().failing, GetParam().error);
    }
    std::array<unsigned char, kReportSize> report{0x01, 0x08, 0x01};

    impl().WriteToHidDriver(report.data());

    std::vector<std::string> effects = GetParam().searchLines;
    effects.push_back(GetParam().writtenTo
                          ? "hid: write " + winsim::Narrow(paths.at(*GetParam().writtenTo)) +
                                " 93 bytes" + ReleaseDump()
                          // 6: the handle of a device not found is invalid.
                          : "log: 4 WriteToHidDriver [" + ReleaseDump() +
                                "] failed 6(NxReVadiruService::Impl::WriteToHidDriver)");
    EXPECT_EQ(machine().JournalLines({"log", "hid"}), effects);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, WriteToHidDriverTest,
    ::testing::Values(WriteCase{"NoInterfaces", {}, nullptr, 0, {kSearchFailed}, std::nullopt},
                      // Only present devices count: an unplugged one's are not listed.
                      WriteCase{"DriverDeviceUnplugged",
                                {{0xDEED, 0xFEED, 0x0100, {kDriverCollection}, false}},
                                nullptr,
                                0,
                                {kSearchFailed},
                                std::nullopt},
                      WriteCase{"SameVendorOtherProduct",
                                {{0xDEED, 0x0001, 0x0100, {kDriverCollection}}},
                                nullptr,
                                0,
                                {"log: 4 VID or PID not match" + kCheck},
                                std::nullopt},
                      WriteCase{"NoMemoryForTheInterfaceList",
                                {kDriverDevice},
                                "LocalAlloc",
                                ERROR_NOT_ENOUGH_MEMORY,
                                {"log: 4 malloc failed" + kSearch},
                                std::nullopt},
                      WriteCase{"InterfaceListUnavailable",
                                {kDriverDevice},
                                "CM_Get_Device_Interface_ListW",
                                CR_BUFFER_SMALL,
                                {"log: 4 retrieving device interface list failed" + kSearch},
                                std::nullopt},
                      WriteCase{"UnreadableAttributes",
                                kFailingCheckFirst,
                                "HidD_GetAttributes",
                                ERROR_GEN_FAILURE,
                                {kFound},
                                3},
                      WriteCase{"UnreadablePreparsedData",
                                kFailingCheckFirst,
                                "HidD_GetPreparsedData",
                                ERROR_NOT_ENOUGH_MEMORY,
                                {"log: 4 HidD_GetPreparsedData failed." + kCheck, kFound},
                                3},
                      WriteCase{"UnreadableCapabilities",
                                kFailingCheckFirst,
                                "HidP_GetCaps",
                                static_cast<uint32_t>(HIDP_STATUS_INVALID_PREPARSED_DATA),
                                {"log: 4 HidP_GetCaps failed." + kCheck, kFound},
                                3}),
    [](const auto& info) { return std::string(info.param.name); });

// The search's own answer, for each way it ends.
TEST_F(HidChannelTest, SearchAnswersWhetherItFoundTheDevice) {
    hid().AddDevice(kMouse);
    HANDLE device = INVALID_HANDLE_VALUE;
    EXPECT_FALSE(impl().SetKeyboardDriverFile(device)) << "only a mouse";
    hid().AddDevice(kDriverDevice);
    for (const char* failing :
         {"CM_Get_Device_Interface_List_SizeW", "LocalAlloc", "CM_Get_Device_Interface_ListW"}) {
        machine().Fail(failing,
                       std::string(failing) == "LocalAlloc" ? ERROR_NOT_ENOUGH_MEMORY : CR_FAILURE);
        EXPECT_FALSE(impl().SetKeyboardDriverFile(device)) << failing;
    }
    EXPECT_TRUE(impl().SetKeyboardDriverFile(device));
    EXPECT_TRUE(CloseHandle(device));
}

}  // namespace
