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

// The "hid" journal line of a 93-byte write.
std::string WriteEntry(const std::wstring& path, const std::string& dump) {
    return "hid: write " + winsim::Narrow(path) + " 93 bytes" + dump;
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

// Gets the paths of every interface added, in list order.
using Arrange =
    std::function<void(winsim::Machine&, winsim::Hid&, const std::vector<std::wstring>&)>;

Arrange Failing(const char* function, uint32_t error) {
    return
        [=](winsim::Machine& machine, winsim::Hid&, const auto&) { machine.Fail(function, error); };
}

// Other programs hold the interfaces at these places exclusively.
Arrange HeldAt(std::vector<size_t> places) {
    return [=](winsim::Machine&, winsim::Hid& hid, const auto& paths) {
        for (size_t place : places) {
            hid.HoldExclusively(paths[place], ERROR_SHARING_VIOLATION);
        }
    };
}

// The driver's own service has the interface open, sharing it.
Arrange SharedBy(size_t place) {
    return [=](winsim::Machine&, winsim::Hid& hid, const auto& paths) {
        ASSERT_TRUE(hid.OpenElsewhere(paths[place], GENERIC_READ | GENERIC_WRITE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE));
    };
}

// What a machine holds and what one release write must do on it.
struct WriteCase {
    const char* name;
    std::vector<HidDeviceSpec> devices;
    Arrange arrange;
    std::vector<std::string> searchLines;
    // The write: to the interface at this place in the list when `error` is
    // 0, otherwise failing with it.
    size_t writtenTo;
    DWORD error;
};

void PrintTo(const WriteCase& writeCase, std::ostream* out) {
    *out << writeCase.name;
}

// A collection of our device that fails its check, listed before the driver's device.
const std::vector<HidDeviceSpec> kFailingCheckFirst{{0xDEED, 0xFEED, 0x0100, {kDriverCollection}},
                                                    kDriverDevice};
constexpr DWORD kNoDevice = ERROR_INVALID_HANDLE;

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

    std::vector<std::string> effects = GetParam().searchLines;
    effects.push_back(GetParam().error == 0
                          ? WriteEntry(paths.at(GetParam().writtenTo), kReleaseDump)
                          : FailureLine(kReleaseDump, GetParam().error));
    EXPECT_EQ(Effects(), effects);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, WriteToHidDriverTest,
    ::testing::Values(
        WriteCase{"NoInterfaces", {}, nullptr, {kSearchFailed}, 0, kNoDevice},
        WriteCase{"SameVendorOtherProduct",
                  {{0xDEED, 0x0001, 0x0100, {kDriverCollection}}},
                  nullptr,
                  {kNotOurs},
                  0,
                  kNoDevice},
        WriteCase{"OtherVendorsOnly",
                  {kMouse, kOtherKeyboard},
                  nullptr,
                  {kNotOurs, kNotOurs},
                  0,
                  kNoDevice},
        WriteCase{
            "OnlyTheVendorCollectionOfOurDeviceIsUsed", {kDriverDevice}, nullptr, {kFound}, 2, 0},
        WriteCase{
            "FirstMatchingCollectionWins", {kDriverDevice, kDriverDevice}, nullptr, {kFound}, 2, 0},
        WriteCase{"InterfacesHeldBySystemAreSkippedSilently",
                  {kOtherKeyboard, kDriverDevice},
                  HeldAt({0, 1}),
                  {kFound},
                  3,
                  0},
        WriteCase{"VendorCollectionSharedWithAnotherProgram",
                  {kDriverDevice},
                  SharedBy(2),
                  {kFound},
                  2,
                  0},
        WriteCase{
            "VendorCollectionHeldByAnotherProgram", {kDriverDevice}, HeldAt({2}), {}, 0, kNoDevice},
        WriteCase{"VendorPageWithAnotherUsageIsNotOurs",
                  {{0xDEED, 0xFEED, 0x0100, {{0xFF00, 0x0002, kReportSize}}}},
                  nullptr,
                  {},
                  0,
                  kNoDevice},
        WriteCase{"DeviceRefusesTheWrite",
                  {kDriverDevice},
                  [](winsim::Machine&, winsim::Hid& hid, const auto& paths) {
                      hid.FailWrites(paths[2], ERROR_GEN_FAILURE);
                  },
                  {kFound},
                  0,
                  ERROR_GEN_FAILURE},
        WriteCase{"InterfaceListSizeUnavailable",
                  {kDriverDevice},
                  Failing("CM_Get_Device_Interface_List_SizeW", CR_FAILURE),
                  {kSearchFailed},
                  0,
                  kNoDevice},
        WriteCase{"InterfaceListUnavailable",
                  {kDriverDevice},
                  Failing("CM_Get_Device_Interface_ListW", CR_BUFFER_SMALL),
                  {"log: 4 retrieving device interface list failed" + kSearch},
                  0,
                  kNoDevice},
        WriteCase{"NoMemoryForTheInterfaceList",
                  {kDriverDevice},
                  Failing("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY),
                  {"log: 4 malloc failed" + kSearch},
                  0,
                  kNoDevice},
        WriteCase{"UnreadableAttributesRejectSilently",
                  kFailingCheckFirst,
                  Failing("HidD_GetAttributes", ERROR_GEN_FAILURE),
                  {kFound},
                  3,
                  0},
        WriteCase{"UnreadablePreparsedData",
                  kFailingCheckFirst,
                  Failing("HidD_GetPreparsedData", ERROR_NOT_ENOUGH_MEMORY),
                  {"log: 4 HidD_GetPreparsedData failed." + kCheck, kFound},
                  3,
                  0},
        WriteCase{
            "UnreadableCapabilities",
            kFailingCheckFirst,
            Failing("HidP_GetCaps", static_cast<uint32_t>(HIDP_STATUS_INVALID_PREPARSED_DATA)),
            {"log: 4 HidP_GetCaps failed." + kCheck, kFound},
            3,
            0}),
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

// The search's own answer, for each way it ends.
TEST_F(HidChannelTest, SearchAnswersWhetherItFoundTheDevice) {
    hid().AddDevice(kDriverDevice);
    HANDLE device = INVALID_HANDLE_VALUE;
    for (const char* failing :
         {"CM_Get_Device_Interface_List_SizeW", "LocalAlloc", "CM_Get_Device_Interface_ListW"}) {
        machine().Fail(failing,
                       std::string(failing) == "LocalAlloc" ? ERROR_NOT_ENOUGH_MEMORY : CR_FAILURE);
        EXPECT_FALSE(impl().SetKeyboardDriverFile(device)) << failing;
    }
    EXPECT_TRUE(impl().SetKeyboardDriverFile(device));
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
