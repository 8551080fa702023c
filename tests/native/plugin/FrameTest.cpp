// The plug-in object as the host drives it: its five slots, the start event,
// handler registration and removal, and the one routine that posts.
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

TEST_F(FrameTest, SlotsReturnWhatTheHostExpects) {
    EXPECT_TRUE(plugin->Initialize());
    EXPECT_FALSE(plugin->Uninitialize());
    EXPECT_TRUE(plugin->Start());
    SettleWorkers();
    EXPECT_FALSE(plugin->Stop());
    EXPECT_FALSE(plugin->Stop());
}

TEST_F(FrameTest, EachFactoryCallMakesAnIndependentObject) {
    const std::shared_ptr<VLAPlugin> other = PluginRegistrationTable[0].factory();
    EXPECT_NE(other.get(), plugin.get());
    EXPECT_EQ(other.use_count(), 1);
}

TEST_F(FrameTest, StartCreatesTheStartEventOnceAndStopClosesIt) {
    EXPECT_EQ(OpenEvents(), 0u);
    plugin->Start();
    SettleWorkers();
    EXPECT_EQ(OpenEvents(), 1u);
    plugin->Start();
    SettleWorkers();
    EXPECT_EQ(OpenEvents(), 1u) << "a second start keeps the first event";
    plugin->Stop();
    EXPECT_EQ(OpenEvents(), 0u);
    plugin->Stop();
    EXPECT_EQ(OpenEvents(), 0u);
}

TEST_F(FrameTest, StopRemovesEveryHandler) {
    constexpr char kTabTipLine[] =
        "3 recv tabtip value 5(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)";
    plugin->Start();
    SettleWorkers();
    bus().Send(0x6F0001, 0x6F0000, 0x6F0003, "5");
    ASSERT_TRUE(bus().WaitIdle());
    const auto heard = LogLines();
    EXPECT_EQ(std::count(heard.begin(), heard.end(), kTabTipLine), 1);
    plugin->Stop();
    bus().Send(0x6F0001, 0x6F0000, 0x6F0003, "5");
    ASSERT_TRUE(bus().WaitIdle());
    const auto lines = LogLines();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kTabTipLine), 1);
}

struct PostCase {
    const char* name;
    int32_t receiverId;
    int32_t msgId;
    std::string body;
    std::string journal;
};

class PostBusMessageTest : public SimTest, public ::testing::WithParamInterface<PostCase> {};

TEST_P(PostBusMessageTest, SendsReceiverMessageAndBody) {
    const PostCase& test = GetParam();
    auto& bus = machine().Extension<winsim::Bus>();
    winsim::BusObserver receiver(bus, test.receiverId);
    {
        IPCMessageClient client(0x6F0000, false, false, L"\\\\.\\Pipe\\iVellumAssistant");
        EXPECT_TRUE(PostBusMessage(client, test.receiverId, test.msgId, test.body));
        ASSERT_TRUE(bus.WaitIdle());
    }
    const std::vector<BusMessage> deliveries = receiver.Received();
    ASSERT_EQ(deliveries.size(), 1u);
    const BusMessage& received = deliveries[0];
    EXPECT_EQ(received.receiverId, test.receiverId);
    EXPECT_EQ(received.msgId, test.msgId);
    EXPECT_EQ(received.body, test.body);
    // Every field the routine does not set keeps the item's default.
    EXPECT_EQ(received.messageType, -1);
    EXPECT_EQ(received.sequence, -1);
    EXPECT_EQ(received.priority, 0);
    EXPECT_FALSE(received.needReply);
    EXPECT_EQ(received.timeoutMs, 0);
    EXPECT_EQ(Journal("post"), std::vector<std::string>{test.journal});
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, PostBusMessageTest,
    ::testing::Values(PostCase{"Text", 0x20000, 0x22711, "quit_mainframe",
                               "0x20000 0x22711 \"quit_mainframe\""},
                      PostCase{"Empty", 0x690000, 0x690022, "", "0x690000 0x690022 \"\""}),
    [](const ::testing::TestParamInfo<PostCase>& info) { return info.param.name; });

using PostBusMessageDownTest = SimTest;

TEST_F(PostBusMessageDownTest, ReportsABusThatIsDown) {
    auto& bus = machine().Extension<winsim::Bus>();
    IPCMessageClient client(0x6F0000, false, false, L"\\\\.\\Pipe\\iVellumAssistant");
    bus.SetDown(true);
    EXPECT_FALSE(PostBusMessage(client, 0x590000, 0x590003, std::string()));
}

}  // namespace
