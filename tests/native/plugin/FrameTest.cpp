// The plug-in object as the host drives it: the start event, handler
// registration and removal.
#include "plugin/NxReVadiruServiceImpl.h"
#include "plugin/PluginTable.h"
#include "support/SimTest.h"

#include "SimulatedBus.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

namespace {

class FrameTest : public SimTest {
protected:
    void TearDown() override {
        plugin.reset();
        SimTest::TearDown();
    }

    std::shared_ptr<VLAPlugin> plugin = PluginRegistrationTable[0].factory();
};

TEST_F(FrameTest, StopClosesTheStartEventAndRemovesEveryHandler) {
    auto& bus = machine().Extension<simbus::Bus>();
    EXPECT_TRUE(plugin->Start());
    // Monitors started by Start() end at once when nothing they watch runs.
    ASSERT_TRUE(machine().WaitForThreads());
    EXPECT_EQ(machine().OpenHandleKinds(), std::vector<std::string>{"event"});
    bus.Send(0x6F0001, 0x6F0000, 0x6F0003, "5");
    ASSERT_TRUE(bus.WaitIdle());
    EXPECT_FALSE(plugin->Stop());
    EXPECT_TRUE(machine().OpenHandleKinds().empty());
    bus.Send(0x6F0001, 0x6F0000, 0x6F0003, "5");
    ASSERT_TRUE(bus.WaitIdle());
    const auto lines = LogLines();
    EXPECT_EQ(
        std::count(lines.begin(), lines.end(),
                   "3 recv tabtip value 5(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)"),
        1)
        << "heard before the stop only";
}

}  // namespace
