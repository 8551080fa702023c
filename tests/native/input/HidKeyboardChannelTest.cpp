// The keyboard driver's HID channel on a simulated machine: which interface is
// chosen, what is logged on each path, what reaches the device, and that every
// handle and preparsed data block is released (the fixture's end check).
#include "support/ImplTest.h"
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"

#include <winsim/SimHid.h>
#include <windows.h>
#include <cfgmgr32.h>
#include <hidpi.h>

#include <gtest/gtest.h>

#include <array>
#include <optional>
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

const std::string kSearchFailed = "log: 4 get device interface list size failed" + kSearch;
const std::string kFound = "log: 4 Success: Found my device.." + kCheck;
const std::vector<HidDeviceSpec> kNoDevices;
const std::vector<HidDeviceSpec> kDriverOnly{kDriverDevice};
// Only present devices count: an unplugged one's interfaces are not listed.
const std::vector<HidDeviceSpec> kDriverUnplugged{
    {0xDEED, 0xFEED, 0x0100, {kDriverCollection}, false}};
const std::vector<HidDeviceSpec> kOtherProduct{{0xDEED, 0x0001, 0x0100, {kDriverCollection}}};

class HidChannelTest : public simtest::ImplTest {
protected:
    winsim::Hid& hid() { return machine().Extension<winsim::Hid>(); }
};

// What a machine holds, which call fails once, and what one release write does.
struct WriteCase : testrows::Named {
    const std::vector<HidDeviceSpec>* devices;
    const char* failing;  // nullptr: none
    uint32_t error;
    std::string failureLine;  // the search's line on the failure; empty: none
    // The interface written to, by its place in the list, once the search has
    // found it; none: the write fails for want of a device.
    std::optional<size_t> writtenTo;
};

class WriteToHidDriverTest : public HidChannelTest,
                             public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteToHidDriverTest, LogsAndWritesAsExpected) {
    const WriteCase& row = GetParam();
    std::vector<std::wstring> paths;
    for (const auto& device : *row.devices) {
        const auto added = hid().AddDevice(device);
        paths.insert(paths.end(), added.begin(), added.end());
    }
    // As on a real PC, other programs have the interfaces open, sharing them.
    for (const auto& path : paths) {
        hid().OpenElsewhere(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    }
    if (row.failing) {
        machine().Fail(row.failing, row.error);
    }
    std::array<unsigned char, kReportSize> report{0x01, 0x08, 0x01};

    impl().WriteToHidDriver(report.data());

    std::vector<std::string> effects;
    if (!row.failureLine.empty()) {
        effects.push_back(row.failureLine);
    }
    if (row.writtenTo) {
        effects.push_back(kFound);
        effects.push_back("hid: write " + winsim::Narrow(paths.at(*row.writtenTo)) + " 93 bytes" +
                          simtest::ReleaseReportDump());
    } else {
        // 6: the handle of a device not found is invalid.
        effects.push_back("log: 4 WriteToHidDriver [" + simtest::ReleaseReportDump() +
                          "] failed 6(NxReVadiruService::Impl::WriteToHidDriver)");
    }
    EXPECT_EQ(machine().JournalLines({"log", "hid"}), effects);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, WriteToHidDriverTest,
    ::testing::Values(
        WriteCase{"NoInterfaces", &kNoDevices, nullptr, 0, kSearchFailed, std::nullopt},
        WriteCase{"DriverDeviceUnplugged", &kDriverUnplugged, nullptr, 0, kSearchFailed,
                  std::nullopt},
        WriteCase{"SameVendorOtherProduct", &kOtherProduct, nullptr, 0,
                  "log: 4 VID or PID not match" + kCheck, std::nullopt},
        WriteCase{"NoMemoryForTheInterfaceList", &kDriverOnly, "LocalAlloc",
                  ERROR_NOT_ENOUGH_MEMORY, "log: 4 malloc failed" + kSearch, std::nullopt},
        WriteCase{"InterfaceListUnavailable", &kDriverOnly, "CM_Get_Device_Interface_ListW",
                  CR_BUFFER_SMALL, "log: 4 retrieving device interface list failed" + kSearch,
                  std::nullopt},
        WriteCase{"UnreadableAttributes", &kFailingCheckFirst, "HidD_GetAttributes",
                  ERROR_GEN_FAILURE, "", 3},
        WriteCase{"UnreadablePreparsedData", &kFailingCheckFirst, "HidD_GetPreparsedData",
                  ERROR_NOT_ENOUGH_MEMORY, "log: 4 HidD_GetPreparsedData failed." + kCheck, 3},
        WriteCase{"UnreadableCapabilities", &kFailingCheckFirst, "HidP_GetCaps",
                  static_cast<uint32_t>(HIDP_STATUS_INVALID_PREPARSED_DATA),
                  "log: 4 HidP_GetCaps failed." + kCheck, 3}),
    testrows::RowName());

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
