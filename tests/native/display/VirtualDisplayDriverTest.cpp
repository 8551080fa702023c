#include "native/display/ImplTest.h"

#include <winsim/SimRegistry.h>

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace {

const std::wstring kDriverKey = L"SOFTWARE\\Norvane\\DeskSuite\\NxReVadiru";
const std::wstring kSettingsKey = L"SOFTWARE\\DeskSuite\\Drivers\\IDDSettings";
const std::string kNeedDisable = "(NxReVadiruService::Impl::NeedDisable)";
const std::string kClear = "(NxReVadiruService::Impl::ClearVdisplayInfo)";

using VirtualDisplayDriverTest = displaytest::ImplTest;

struct DriverStateCase {
    const char* name;
    std::optional<uint32_t> stored;
    bool needDisable;
    std::vector<std::string> lines;
};

void PrintTo(const DriverStateCase& value, std::ostream* out) {
    *out << value.name;
}

class NeedDisableTest : public displaytest::ImplTest,
                        public ::testing::WithParamInterface<DriverStateCase> {};

TEST_P(NeedDisableTest, ReadsDriverStateAndLogsTheValue) {
    winsim::SimRegistry registry(machine());
    registry.CreateKey(HKEY_LOCAL_MACHINE, kDriverKey);
    if (GetParam().stored) {
        registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", *GetParam().stored);
    }

    EXPECT_EQ(impl().NeedDisable(), GetParam().needDisable);
    EXPECT_EQ(LogLines(), GetParam().lines);
    EXPECT_TRUE(Journal("registry").empty());
}

INSTANTIATE_TEST_SUITE_P(
    DriverState, NeedDisableTest,
    ::testing::Values(
        DriverStateCase{"Absent",
                        std::nullopt,
                        false,
                        {"4 get need not disable VirtualDisplayDriver fail" + kNeedDisable,
                         "3  needDisableDriver VirtualDisplayDriver 0" + kNeedDisable}},
        DriverStateCase{
            "Zero", 0, false, {"3  needDisableDriver VirtualDisplayDriver 0" + kNeedDisable}},
        DriverStateCase{
            "One", 1, true, {"3  needDisableDriver VirtualDisplayDriver 1" + kNeedDisable}},
        DriverStateCase{
            "Two", 2, true, {"3  needDisableDriver VirtualDisplayDriver 2" + kNeedDisable}},
        DriverStateCase{"AllBitsAsUnsigned",
                        0xFFFFFFFFu,
                        true,
                        {"3  needDisableDriver VirtualDisplayDriver 4294967295" + kNeedDisable}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualDisplayDriverTest, NeedDisableReadsTheMachineKeyNotTheUsersKey) {
    winsim::SimRegistry registry(machine());
    // The per-user path, but under the machine hive: not where DriverState lives.
    registry.SetDword(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\NxReVadiru", L"DriverState", 1);

    EXPECT_FALSE(impl().NeedDisable());
}

TEST_F(VirtualDisplayDriverTest, ClearVdisplayInfoDeletesTheSettingsKeyWithItsContent) {
    winsim::SimRegistry registry(machine());
    registry.SetDword(HKEY_LOCAL_MACHINE, kSettingsKey + L"\\Monitor0", L"Width", 1920);

    impl().ClearVdisplayInfo();

    EXPECT_FALSE(registry.KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
    EXPECT_TRUE(registry.KeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\DeskSuite\\Drivers"));
    EXPECT_EQ(Journal("registry"),
              std::vector<std::string>{
                  "delete HKEY_LOCAL_MACHINE\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings"});
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"3 [VuVidazi] Clear Vdisplay info successfully" + kClear});
}

TEST_F(VirtualDisplayDriverTest, ClearVdisplayInfoLogsAFailedDeleteAndKeepsTheKey) {
    winsim::SimRegistry registry(machine());
    registry.CreateKey(HKEY_LOCAL_MACHINE, kSettingsKey);
    registry.SetAccess(HKEY_LOCAL_MACHINE, kSettingsKey, winsim::KeyAccess::ReadOnly);

    impl().ClearVdisplayInfo();

    EXPECT_TRUE(registry.KeyExists(HKEY_LOCAL_MACHINE, kSettingsKey));
    EXPECT_TRUE(Journal("registry").empty());
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"4 [VuVidazi] Clear Vdisplay info failed" + kClear});
}

TEST_F(VirtualDisplayDriverTest, ClearVdisplayInfoWithoutTheKeyLogsWhatTheStoreAnswers) {
    impl().ClearVdisplayInfo();

    EXPECT_TRUE(Journal("registry").empty());
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"4 [VuVidazi] Clear Vdisplay info failed" + kClear});
}

}  // namespace
