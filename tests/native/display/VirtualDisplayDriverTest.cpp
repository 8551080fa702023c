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

std::string ValueLine(const std::string& value) {
    return "3  needDisableDriver VirtualDisplayDriver " + value + kNeedDisable;
}

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
        DriverStateCase{
            "Absent",
            std::nullopt,
            false,
            {"4 get need not disable VirtualDisplayDriver fail" + kNeedDisable, ValueLine("0")}},
        DriverStateCase{"Zero", 0, false, {ValueLine("0")}},
        DriverStateCase{"AllBitsAsUnsigned", 0xFFFFFFFFu, true, {ValueLine("4294967295")}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(VirtualDisplayDriverTest, ClearVdisplayInfoDeletesTheSettingsKey) {
    winsim::SimRegistry(machine()).SetDword(HKEY_LOCAL_MACHINE, kSettingsKey, L"Width", 1920);

    impl().ClearVdisplayInfo();

    EXPECT_EQ(Journal("registry"),
              std::vector<std::string>{
                  "delete HKEY_LOCAL_MACHINE\\SOFTWARE\\DeskSuite\\Drivers\\IDDSettings"});
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"3 [VuVidazi] Clear Vdisplay info successfully" + kClear});
}

TEST_F(VirtualDisplayDriverTest, ClearVdisplayInfoWithoutTheKeyLogsWhatTheStoreAnswers) {
    impl().ClearVdisplayInfo();

    EXPECT_TRUE(Journal("registry").empty());
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"4 [VuVidazi] Clear Vdisplay info failed" + kClear});
}

}  // namespace
