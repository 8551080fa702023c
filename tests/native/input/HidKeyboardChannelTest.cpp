// The keyboard driver's HID channel on a simulated machine: which interface is
// chosen, what is logged on each path, what reaches the device, and that every
// handle and preparsed data block is released (the fixture's end check).
#include "native/display/ImplTest.h"

#include <winsim/SimHid.h>
#include <windows.h>
#include <cfgmgr32.h>
#include <hidpi.h>

#include <gtest/gtest.h>

#include <array>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

namespace {

using winsim::HidCollectionSpec;
using winsim::HidDeviceSpec;

constexpr size_t kReportSize = 93;
const std::string kWrite = "(NxReVadiruService::Impl::WriteToHidDriver)";
const std::string kSearch = "(NxReVadiruService::Impl::SetKeyboardDriverFile)";
const std::string kCheck = "(NxReVadiruService::Impl::CheckIfOurDevice)";

const HidCollectionSpec kKeyboardCollection{0x0001, 0x0006, 2};
const HidCollectionSpec kConsumerCollection{0x000C, 0x0001, 0};
const HidCollectionSpec kDriverCollection{0xFF00, 0x0001, kReportSize};
// The keyboard driver's device: a keyboard, consumer keys, then its channel.
const HidDeviceSpec kDriverDevice{
    0xDEED, 0xFEED, 0x0100, {kKeyboardCollection, kConsumerCollection, kDriverCollection}};
const HidDeviceSpec kMouse{0x046D, 0xC077, 0x7200, {{0x0001, 0x0002, 0}}};
const HidDeviceSpec kOtherKeyboard{0x045E, 0x07A5, 0x0100, {kKeyboardCollection}};

// The recovery sequence's release report: 01 08 01 and ninety zero bytes.
std::array<unsigned char, kReportSize> ReleaseReport() {
    std::array<unsigned char, kReportSize> report{};
    report[0] = 0x01;
    report[1] = 0x08;
    report[2] = 0x01;
    return report;
}

std::string Repeated(const std::string& text, size_t times) {
    std::string out;
    for (size_t i = 0; i < times; ++i) {
        out += text;
    }
    return out;
}

const std::string kReleaseDump = " 01 08 01" + Repeated(" 00", 90);

std::string FailureLine(const std::string& dump, DWORD error) {
    return "log: 4 WriteToHidDriver [" + dump + "] failed " + std::to_string(error) + kWrite;
}

// A "hid" journal text of a 93-byte write.
std::string WriteText(const std::wstring& path, const std::string& dump) {
    return "write " + winsim::Narrow(path) + " 93 bytes" + dump;
}

std::string WriteEntry(const std::wstring& path, const std::string& dump) {
    return "hid: " + WriteText(path, dump);
}

const std::string kSearchFailed = "log: 4 get device interface list size failed" + kSearch;
const std::string kNotOurs = "log: 4 VID or PID not match" + kCheck;
const std::string kFound = "log: 4 Success: Found my device.." + kCheck;

class HidChannelTest : public displaytest::ImplTest {
protected:
    winsim::Hid& hid() { return machine().Extension<winsim::Hid>(); }
    // Log lines and device writes, in the order they happened.
    std::vector<std::string> Effects() { return machine().JournalLines({"log", "hid"}); }
};

// What a machine holds and what one release write must do on it. `arrange`
// gets the paths of every interface added, in list order.
struct WriteCase {
    const char* name;
    std::vector<HidDeviceSpec> devices;
    std::function<void(winsim::Machine&, winsim::Hid&, const std::vector<std::wstring>&)> arrange;
    // The expected effects; `paths` as above.
    std::function<std::vector<std::string>(const std::vector<std::wstring>&)> effects;
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
    if (GetParam().arrange) {
        GetParam().arrange(machine(), hid(), paths);
    }
    const auto report = ReleaseReport();

    impl().WriteToHidDriver(report.data());

    EXPECT_EQ(Effects(), GetParam().effects(paths));
}

INSTANTIATE_TEST_SUITE_P(
    Machines, WriteToHidDriverTest,
    ::testing::Values(
        WriteCase{"NoInterfaces",
                  {},
                  nullptr,
                  [](const auto&) {
                      return std::vector<std::string>{
                          kSearchFailed, FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"OtherVendorsOnly",
                  {kMouse, kOtherKeyboard},
                  nullptr,
                  [](const auto&) {
                      return std::vector<std::string>{
                          kNotOurs, kNotOurs, FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"OnlyTheVendorCollectionOfOurDeviceIsUsed",
                  {kDriverDevice},
                  nullptr,
                  [](const auto& paths) {
                      return std::vector<std::string>{kFound, WriteEntry(paths[2], kReleaseDump)};
                  }},
        WriteCase{"OtherVendorsListedFirstAreRejected",
                  {kMouse, kDriverDevice},
                  nullptr,
                  [](const auto& paths) {
                      return std::vector<std::string>{kNotOurs, kFound,
                                                      WriteEntry(paths[3], kReleaseDump)};
                  }},
        WriteCase{"FirstMatchingCollectionWins",
                  {kDriverDevice, kDriverDevice},
                  nullptr,
                  [](const auto& paths) {
                      return std::vector<std::string>{kFound, WriteEntry(paths[2], kReleaseDump)};
                  }},
        WriteCase{"InterfacesHeldBySystemAreSkippedSilently",
                  {kOtherKeyboard, kDriverDevice},
                  [](winsim::Machine&, winsim::Hid& hid, const auto& paths) {
                      hid.HoldExclusively(paths[0], ERROR_ACCESS_DENIED);
                      hid.HoldExclusively(paths[1], ERROR_SHARING_VIOLATION);
                  },
                  [](const auto& paths) {
                      return std::vector<std::string>{kFound, WriteEntry(paths[3], kReleaseDump)};
                  }},
        WriteCase{"VendorCollectionHeldByAnotherProgram",
                  {kDriverDevice},
                  [](winsim::Machine&, winsim::Hid& hid, const auto& paths) {
                      hid.HoldExclusively(paths[2], ERROR_SHARING_VIOLATION);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{
                          FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"VendorPageWithAnotherUsageIsNotOurs",
                  {{0xDEED, 0xFEED, 0x0100, {{0xFF00, 0x0002, kReportSize}}}},
                  nullptr,
                  [](const auto&) {
                      return std::vector<std::string>{
                          FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"DeviceRefusesTheWrite",
                  {kDriverDevice},
                  [](winsim::Machine&, winsim::Hid& hid, const auto& paths) {
                      hid.FailWrites(paths[2], ERROR_GEN_FAILURE);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{kFound,
                                                      FailureLine(kReleaseDump, ERROR_GEN_FAILURE)};
                  }},
        WriteCase{"InterfaceListSizeUnavailable",
                  {kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("CM_Get_Device_Interface_List_SizeW", CR_FAILURE);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{
                          kSearchFailed, FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"InterfaceListUnavailable",
                  {kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("CM_Get_Device_Interface_ListW", CR_BUFFER_SMALL);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{
                          "log: 4 retrieving device interface list failed" + kSearch,
                          FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"UnreadableAttributesRejectSilently",
                  {{0xDEED, 0xFEED, 0x0100, {kDriverCollection}}, kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("HidD_GetAttributes", ERROR_GEN_FAILURE);
                  },
                  [](const auto& paths) {
                      return std::vector<std::string>{kFound, WriteEntry(paths[3], kReleaseDump)};
                  }},
        WriteCase{"UnreadablePreparsedData",
                  {{0xDEED, 0xFEED, 0x0100, {kDriverCollection}}, kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("HidD_GetPreparsedData", ERROR_NOT_ENOUGH_MEMORY);
                  },
                  [](const auto& paths) {
                      return std::vector<std::string>{
                          "log: 4 HidD_GetPreparsedData failed." + kCheck, kFound,
                          WriteEntry(paths[3], kReleaseDump)};
                  }},
        WriteCase{"UnreadableCapabilities",
                  {{0xDEED, 0xFEED, 0x0100, {kDriverCollection}}, kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("HidP_GetCaps",
                                   static_cast<uint32_t>(HIDP_STATUS_INVALID_PREPARSED_DATA));
                  },
                  [](const auto& paths) {
                      return std::vector<std::string>{"log: 4 HidP_GetCaps failed." + kCheck,
                                                      kFound, WriteEntry(paths[3], kReleaseDump)};
                  }},
        WriteCase{"NoMemoryForTheInterfaceList",
                  {kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{
                          "log: 4 malloc failed" + kSearch,
                          FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"NoInterfaceCanBeOpened",
                  {kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("CreateFileW", ERROR_ACCESS_DENIED, -1);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{
                          FailureLine(kReleaseDump, ERROR_INVALID_HANDLE)};
                  }},
        WriteCase{"WriteRefusedByThePlatform",
                  {kDriverDevice},
                  [](winsim::Machine& machine, winsim::Hid&, const auto&) {
                      machine.Fail("WriteFile", ERROR_DEVICE_NOT_CONNECTED);
                  },
                  [](const auto&) {
                      return std::vector<std::string>{
                          kFound, FailureLine(kReleaseDump, ERROR_DEVICE_NOT_CONNECTED)};
                  }}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(HidChannelTest, DumpWritesEveryByteAsTwoLowercaseHexDigits) {
    std::array<unsigned char, kReportSize> report{};
    report[0] = 0xFF;
    report[1] = 0x0A;
    report[2] = 0xAB;
    report[92] = 0x10;

    impl().WriteToHidDriver(report.data());

    const std::string dump = " ff 0a ab" + Repeated(" 00", 89) + " 10";
    EXPECT_EQ(Effects(),
              (std::vector<std::string>{kSearchFailed, FailureLine(dump, ERROR_INVALID_HANDLE)}));
}

TEST_F(HidChannelTest, SearchHandsTheOpenChannelToTheCaller) {
    const auto paths = hid().AddDevice(kDriverDevice);
    HANDLE device = INVALID_HANDLE_VALUE;

    ASSERT_TRUE(impl().SetKeyboardDriverFile(device));

    const auto report = ReleaseReport();
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(device, report.data(), kReportSize, &written, nullptr));
    EXPECT_EQ(Journal("hid"), std::vector<std::string>{WriteText(paths[2], kReleaseDump)});
    EXPECT_EQ(machine().OpenHandleCount(), 1u);
    EXPECT_TRUE(CloseHandle(device));
}

TEST_F(HidChannelTest, FailedSearchLeavesTheCallersHandleAsItWas) {
    hid().AddDevice(kMouse);
    const HANDLE before = reinterpret_cast<HANDLE>(0x1234);
    HANDLE device = before;

    EXPECT_FALSE(impl().SetKeyboardDriverFile(device));

    EXPECT_EQ(device, before);
    EXPECT_EQ(LogLines(), std::vector<std::string>{"4 VID or PID not match" + kCheck});
}

TEST_F(HidChannelTest, CheckLeavesTheHandleOpenWhateverItFinds) {
    std::vector<std::wstring> paths = hid().AddDevice(kDriverDevice);
    const auto mouse = hid().AddDevice(kMouse);
    paths.insert(paths.end(), mouse.begin(), mouse.end());
    const std::vector<bool> ours{false, false, true, false};

    for (size_t i = 0; i < paths.size(); ++i) {
        const HANDLE device =
            CreateFileW(paths[i].c_str(), GENERIC_READ | GENERIC_WRITE,
                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
        ASSERT_NE(device, INVALID_HANDLE_VALUE);
        EXPECT_EQ(impl().CheckIfOurDevice(device), ours[i]) << winsim::Narrow(paths[i]);
        EXPECT_TRUE(CloseHandle(device)) << "the check closed " << winsim::Narrow(paths[i]);
    }
    EXPECT_EQ(LogLines(), (std::vector<std::string>{"4 Success: Found my device.." + kCheck,
                                                    "4 VID or PID not match" + kCheck}));
}

}  // namespace
