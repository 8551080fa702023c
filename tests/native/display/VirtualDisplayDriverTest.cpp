// The virtual display driver's switch, which the session's PC does not hold.
#include "support/SessionPc.h"

#include <string>
#include <vector>

namespace {

using VirtualDisplayDriverTest = simtest::SessionPcTest;

TEST_F(VirtualDisplayDriverTest, AbsentDriverStateIsLoggedAndLeavesTheDriverOn) {
    EXPECT_FALSE(impl().NeedDisable());

    const std::string operation = "(NxReVadiruService::Impl::NeedDisable)";
    EXPECT_EQ(LogLines(), (std::vector<std::string>{
                              "4 get need not disable VirtualDisplayDriver fail" + operation,
                              "3  needDisableDriver VirtualDisplayDriver 0" + operation,
                          }));
}

TEST_F(VirtualDisplayDriverTest, RefusedDeletionOfTheSettingsIsLogged) {
    machine().Fail("RegDeleteTreeW", ERROR_ACCESS_DENIED);
    impl().ClearVdisplayInfo();
    EXPECT_EQ(LogLines(),
              std::vector<std::string>{"4 [VuVidazi] Clear Vdisplay info "
                                       "failed(NxReVadiruService::Impl::ClearVdisplayInfo)"});
}

}  // namespace
