// The virtual display driver's switch and saved settings.
#include "support/JournalMatchers.h"
#include "support/NamedRows.h"
#include "support/SessionPc.h"

#include <optional>
#include <string>
#include <vector>

namespace {

using namespace simtest;
using ::testing::Contains;

constexpr char kNeedDisable[] = "NxReVadiruService::Impl::NeedDisable";

using VirtualDisplayDriverTest = SessionPcTest;

// "DriverState" (nullopt: absent): any value but 0 switches the driver off.
struct DriverStateCase : testrows::Named {
    std::optional<uint32_t> driverState;
    bool needDisable;
};

class DriverStateTest : public VirtualDisplayDriverTest,
                        public ::testing::WithParamInterface<DriverStateCase> {};

TEST_P(DriverStateTest, DecidesWhetherTheDriverIsSwitchedOff) {
    if (GetParam().driverState) {
        registry.SetDword(HKEY_LOCAL_MACHINE, kDriverKey, L"DriverState", *GetParam().driverState);
    }
    EXPECT_EQ(impl().NeedDisable(), GetParam().needDisable);
    const std::string shown = std::to_string(GetParam().driverState.value_or(0));
    EXPECT_THAT(
        machine().Journal(),
        Contains(Logged(3, " needDisableDriver VirtualDisplayDriver " + shown, kNeedDisable)));
    EXPECT_THAT(machine().Journal(),
                Contains(Logged(4, "get need not disable VirtualDisplayDriver fail", kNeedDisable))
                    .Times(GetParam().driverState ? 0 : 1));
}

INSTANTIATE_TEST_SUITE_P(Values, DriverStateTest,
                         ::testing::Values(DriverStateCase{"Absent", std::nullopt, false},
                                           DriverStateCase{"Zero", 0, false},
                                           DriverStateCase{"One", 1, true},
                                           DriverStateCase{"Two", 2, true}),
                         testrows::RowName());

// The session's PC holds the settings; the second deletion finds them gone.
TEST_F(VirtualDisplayDriverTest, SettingsDeletionLogsWhetherTheKeyWentAway) {
    impl().ClearVdisplayInfo();
    impl().ClearVdisplayInfo();
    EXPECT_EQ(LogLines(),
              (std::vector<std::string>{"3 [VuVidazi] Clear Vdisplay info "
                                        "successfully(NxReVadiruService::Impl::ClearVdisplayInfo)",
                                        "4 [VuVidazi] Clear Vdisplay info "
                                        "failed(NxReVadiruService::Impl::ClearVdisplayInfo)"}));
}

}  // namespace
