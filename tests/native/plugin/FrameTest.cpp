// The plug-in object as the host drives it: the start event, handler
// registration and removal, and the one routine that posts.
#include "plugin/NxReVadiruServiceImpl.h"
#include "plugin/PluginTable.h"
#include "support/SimTest.h"

#include <winsim/Bus.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

class FrameTest : public SimTest {
protected:
    size_t OpenEvents() {
        const auto kinds = machine().OpenHandleKinds();
        return static_cast<size_t>(std::count(kinds.begin(), kinds.end(), "event"));
    }
    // Monitors started by Start() end at once when nothing they watch runs.
    void SettleWorkers() { ASSERT_TRUE(machine().WaitForThreads()); }
    winsim::Bus& bus() { return machine().Extension<winsim::Bus>(); }

    std::shared_ptr<VLAPlugin> plugin = PluginRegistrationTable[0].factory();

    void TearDown() override {
        plugin.reset();
        SimTest::TearDown();
    }
};

TEST_F(FrameTest, StartCreatesTheStartEventOnceAndStopClosesIt) {
    EXPECT_EQ(OpenEvents(), 0u);
    EXPECT_TRUE(plugin->Start());
    SettleWorkers();
    EXPECT_EQ(OpenEvents(), 1u);
    EXPECT_TRUE(plugin->Start());
    SettleWorkers();
    EXPECT_EQ(OpenEvents(), 1u) << "a second start keeps the first event";
    EXPECT_FALSE(plugin->Stop());
    EXPECT_EQ(OpenEvents(), 0u);
    EXPECT_FALSE(plugin->Stop()) << "a second stop finds no event";
}

TEST_F(FrameTest, StopRemovesEveryHandler) {
    constexpr char kTabTipLine[] =
        "3 recv tabtip value 5(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)";
    plugin->Start();
    SettleWorkers();
    bus().Send(0x6F0001, 0x6F0000, 0x6F0003, "5");
    ASSERT_TRUE(bus().WaitIdle());
    plugin->Stop();
    bus().Send(0x6F0001, 0x6F0000, 0x6F0003, "5");
    ASSERT_TRUE(bus().WaitIdle());
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kTabTipLine), 1)
        << "heard before the stop only";
}

using PostBusMessageTest = SimTest;

// The bus journals every field that differs from the item's default, so the
// lines show that the routine sets only receiver, message and body.
TEST_F(PostBusMessageTest, PostsTheBodyAsGivenAndReportsABusThatIsDown) {
    auto& bus = machine().Extension<winsim::Bus>();
    BusConnection client(0x6F0000, false, false, L"\\\\.\\Pipe\\iVellumAssistant");
    EXPECT_TRUE(PostBusMessage(client, 0x690000, 0x690022, std::string()));
    ASSERT_TRUE(bus.WaitIdle());
    bus.SetDown(true);
    EXPECT_FALSE(PostBusMessage(client, 0x20000, 0x22711, "quit_mainframe"));
    EXPECT_EQ(Journal("post"), (std::vector<std::string>{
                                   "0x690000 0x690022 \"\"",
                                   "0x20000 0x22711 \"quit_mainframe\" failed",
                               }));
}

}  // namespace
