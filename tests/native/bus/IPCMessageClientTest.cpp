#include "IPCMessageClient.h"
#include "support/BusInbox.h"
#include "support/SimTest.h"
#include "winsim/Bus.h"
#include "winsim/Machine.h"

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr int32_t kPlugin = 0x6F0000;
constexpr int32_t kHelper = 0x690000;
constexpr int32_t kCenter = 0x20000;
const std::wstring kPipe = L"\\\\.\\Pipe\\iVellumAssistant";

class BusClientTest : public SimTest {
protected:
    winsim::Bus& Bus() { return machine().Extension<winsim::Bus>(); }
    std::vector<std::string> BusJournal() { return machine().JournalLines({"post", "publish"}); }
};

TEST_F(BusClientTest, PostReachesOnlyTheAddressedModuleWithSenderAndBody) {
    BusInbox atPlugin, atHelper, atCenter;
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    IPCMessageClient helper(kHelper, false, false, kPipe);
    IPCMessageClient center(kCenter, false, false, kPipe);
    plugin.RegisterMessageCallback(0x690022, atPlugin.Recorder());
    helper.RegisterMessageCallback(0x690022, atHelper.Recorder());
    center.RegisterMessageCallback(0x690022, atCenter.Recorder());

    const std::string body = "1234";
    EXPECT_TRUE(plugin.PostIPCMessage(BusItem(kHelper, 0x690022, body)));
    ASSERT_TRUE(Bus().WaitIdle());

    const std::vector<BusSeen> seen = atHelper.All();
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].msgId, 0x690022);
    EXPECT_EQ(seen[0].receiverId, kHelper);
    EXPECT_EQ(seen[0].senderId, kPlugin);
    EXPECT_EQ(seen[0].senderName, "0x6f0000");
    EXPECT_EQ(seen[0].body, "1234");
    EXPECT_TRUE(seen[0].terminated);
    EXPECT_NE(seen[0].thread, std::this_thread::get_id());
    EXPECT_TRUE(atPlugin.All().empty());
    EXPECT_TRUE(atCenter.All().empty());
    EXPECT_EQ(BusJournal(), std::vector<std::string>{"post: 0x690000 0x690022 \"1234\""});
}

TEST_F(BusClientTest, CallbackMayPostTheAnswerFromItsOwnThread) {
    BusInbox atPlugin;
    const std::string pid = "4321";
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    IPCMessageClient helper(kHelper, false, false, kPipe);
    plugin.RegisterMessageCallback(0x690022, atPlugin.Recorder());
    helper.RegisterMessageCallback(0x690022, [&](TagIPCMessageItem& item) {
        helper.PostIPCMessage(BusItem(item.senderId, 0x690022, pid));
    });

    EXPECT_TRUE(plugin.PostIPCMessage(BusItem(kHelper, 0x690022, "")));
    ASSERT_TRUE(Bus().WaitIdle());

    EXPECT_EQ(atPlugin.Bodies(), std::vector<std::string>{"4321"});
    EXPECT_EQ(BusJournal(), (std::vector<std::string>{"post: 0x690000 0x690022 \"\"",
                                                      "post: 0x6f0000 0x690022 \"4321\""}));
}

TEST_F(BusClientTest, PublishReachesEveryModuleAndTheSenderOnlyWhenAsked) {
    BusInbox atPlugin, atHelper, atCenter;
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    IPCMessageClient helper(kHelper, false, false, kPipe);
    IPCMessageClient center(kCenter, false, true, kPipe);
    for (auto [client, inbox] : {std::pair{&plugin, &atPlugin}, std::pair{&helper, &atHelper},
                                 std::pair{&center, &atCenter}}) {
        client->RegisterMessageCallback(0xB90004, inbox->Recorder());
    }
    TagIPCMessageItem fromPlugin = BusItem(-1, 0xB90004, "ZAR_SERVICE_UNINIT_ADV_NAME");
    EXPECT_TRUE(plugin.PublishIPCMessage(fromPlugin));
    TagIPCMessageItem fromCenter = BusItem(-1, 0xB90004, "again");
    EXPECT_TRUE(center.PublishIPCMessage(fromCenter));
    ASSERT_TRUE(Bus().WaitIdle());

    EXPECT_EQ(atPlugin.Bodies(), std::vector<std::string>{"again"});
    EXPECT_EQ(atHelper.Bodies(),
              (std::vector<std::string>{"ZAR_SERVICE_UNINIT_ADV_NAME", "again"}));
    EXPECT_EQ(atCenter.Bodies(),
              (std::vector<std::string>{"ZAR_SERVICE_UNINIT_ADV_NAME", "again"}));
    EXPECT_EQ(atHelper.All().at(0).receiverId, -1);
    EXPECT_EQ(BusJournal(),
              (std::vector<std::string>{"publish: 0xb90004 \"ZAR_SERVICE_UNINIT_ADV_NAME\"",
                                        "publish: 0xb90004 \"again\""}));
}

TEST_F(BusClientTest, LatestCallbackOfAnIdIsCalledUntilAllAreUnregistered) {
    BusInbox first, second;
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    plugin.RegisterMessageCallback(0x6F0001, first.Recorder());
    plugin.RegisterMessageCallback(0x6F0001, second.Recorder());
    Bus().Send(kHelper, kPlugin, 0x6F0009, "unhandled id");
    Bus().Send(kHelper, kPlugin, 0x6F0001, "before");
    ASSERT_TRUE(Bus().WaitIdle());

    EXPECT_TRUE(plugin.UnRegisterMessageCallbackAll());
    Bus().Send(kHelper, kPlugin, 0x6F0001, "after");
    ASSERT_TRUE(Bus().WaitIdle());

    EXPECT_TRUE(first.All().empty());
    EXPECT_EQ(second.Bodies(), std::vector<std::string>{"before"});
}

TEST_F(BusClientTest, UnregisterAllWaitsForTheCallbackThatIsRunning) {
    std::promise<void> entered;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::atomic<bool> finished{false};
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    plugin.RegisterMessageCallback(0x6F0001, [&](TagIPCMessageItem&) {
        entered.set_value();
        released.wait();
        finished = true;
    });
    Bus().Send(kHelper, kPlugin, 0x6F0001, "");
    entered.get_future().wait();

    auto unregistered = std::async(std::launch::async, [&] {
        plugin.UnRegisterMessageCallbackAll();
        return finished.load();
    });
    // Give a wrong implementation the chance to return while the callback runs.
    EXPECT_EQ(unregistered.wait_for(std::chrono::milliseconds(20)), std::future_status::timeout);
    release.set_value();
    EXPECT_TRUE(unregistered.get());
}

TEST_F(BusClientTest, UnregisterAllFromInsideACallbackReturnsAndStopsLaterDeliveries) {
    std::atomic<int> calls{0};
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    plugin.RegisterMessageCallback(0x6F0001, [&](TagIPCMessageItem&) {
        ++calls;
        plugin.UnRegisterMessageCallbackAll();
    });
    Bus().Send(kHelper, kPlugin, 0x6F0001, "first");
    Bus().Send(kHelper, kPlugin, 0x6F0001, "second");
    ASSERT_TRUE(Bus().WaitIdle());
    EXPECT_EQ(calls.load(), 1);
}

TEST_F(BusClientTest, BusDownOrInjectedFaultFailsTheCallAndIsJournaled) {
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    winsim::BusObserver helper(Bus(), kHelper);
    TagIPCMessageItem published = BusItem(-1, 0xB90004, "x");

    Bus().SetDown(true);
    EXPECT_FALSE(plugin.PostIPCMessage(BusItem(kHelper, 0x690022, "")));
    EXPECT_FALSE(plugin.PublishIPCMessage(published));
    Bus().SetDown(false);
    machine().Fail("PostIPCMessage", 0, 1);
    machine().Fail("PublishIPCMessage", 0, 1);
    EXPECT_FALSE(plugin.PostIPCMessage(BusItem(kHelper, 0x690022, "")));
    EXPECT_FALSE(plugin.PublishIPCMessage(published));
    EXPECT_TRUE(plugin.PostIPCMessage(BusItem(kHelper, 0x690022, "")));
    ASSERT_TRUE(Bus().WaitIdle());

    EXPECT_EQ(helper.Received().size(), 1u);
    EXPECT_EQ(BusJournal(), (std::vector<std::string>{
                                "post: 0x690000 0x690022 \"\" failed",
                                "publish: 0xb90004 \"x\" failed",
                                "post: 0x690000 0x690022 \"\" failed",
                                "publish: 0xb90004 \"x\" failed",
                                "post: 0x690000 0x690022 \"\"",
                            }));
}

TEST_F(BusClientTest, PostToAModuleNobodyConnectedIsAcceptedAndJournaled) {
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    EXPECT_TRUE(plugin.PostIPCMessage(BusItem(0x590000, 0x590003, "")));
    EXPECT_EQ(BusJournal(), std::vector<std::string>{"post: 0x590000 0x590003 \"\""});
}

// Which items cannot be carried is the copy's business (BusMessageCopy); here
// only that a refused item never reaches the bus.
TEST_F(BusClientTest, ItemTheBusCannotCarryIsRefusedWithoutReachingIt) {
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    TagIPCMessageItem negative = BusItem(kHelper, 1, "abc");
    negative.messageLen = -1;
    EXPECT_FALSE(plugin.PostIPCMessage(negative));
    EXPECT_FALSE(plugin.PublishIPCMessage(negative));
    EXPECT_TRUE(BusJournal().empty());
}

struct JournalCase {
    std::string name;
    std::string body;
    int32_t messageLen;
    std::function<void(TagIPCMessageItem&)> change;
    std::string journal;
    std::string delivered;
};

class BusJournalFormat : public BusClientTest, public ::testing::WithParamInterface<JournalCase> {};

TEST_P(BusJournalFormat, WritesThePostAndDeliversTheCountedBytesTerminated) {
    const JournalCase& param = GetParam();
    IPCMessageClient plugin(kPlugin, false, false, kPipe);
    winsim::BusObserver receiver(Bus(), 0x30000);
    TagIPCMessageItem item = BusItem(0x30000, 0x30003, param.body);
    item.messageLen = param.messageLen;
    param.change(item);

    EXPECT_TRUE(plugin.PostIPCMessage(item));
    ASSERT_TRUE(Bus().WaitIdle());

    EXPECT_EQ(machine().JournalTexts("post"), std::vector<std::string>{param.journal});
    const std::vector<BusMessage> received = receiver.Received();
    ASSERT_EQ(received.size(), 1u);
    const TagIPCMessageItem got = ViewBusMessage(received[0]);
    EXPECT_EQ(std::string(got.message, static_cast<size_t>(got.messageLen)), param.delivered);
    EXPECT_EQ(got.message[got.messageLen], '\0');
}

INSTANTIATE_TEST_SUITE_P(
    Bodies, BusJournalFormat,
    ::testing::Values(
        JournalCase{"CountedTerminatorAndRequestType", std::string("Silent\0", 7), 7,
                    [](TagIPCMessageItem& i) { i.messageType = 0; },
                    "0x30000 0x30003 \"Silent\" len=7 type=0", std::string("Silent\0", 7)},
        JournalCase{"EscapedBytes", "a\"b\\c\n\xff", 7, [](TagIPCMessageItem&) {},
                    "0x30000 0x30003 \"a\\\"b\\\\c\\x0a\\xff\"", "a\"b\\c\n\xff"},
        JournalCase{"ReservedFieldsSet", "", 0,
                    [](TagIPCMessageItem& i) {
                        i.sequence = 5;
                        i.priority = 2;
                        i.needReply = true;
                        i.timeoutMs = 300;
                    },
                    "0x30000 0x30003 \"\" sequence=5 priority=2 needReply=1 timeoutMs=300", ""}),
    [](const auto& info) { return info.param.name; });

TEST_F(BusClientTest, LazyClientJoinsAtItsFirstPostAndLeavesWhenDestroyed) {
    BusInbox inbox;
    {
        IPCMessageClient lazy(kPlugin, true, false, kPipe);
        lazy.RegisterMessageCallback(0x6F0001, inbox.Recorder());
        Bus().Send(kHelper, kPlugin, 0x6F0001, "before joining");
        ASSERT_TRUE(Bus().WaitIdle());
        EXPECT_TRUE(lazy.PostIPCMessage(BusItem(kHelper, 0x690022, "")));
        Bus().Send(kHelper, kPlugin, 0x6F0001, "joined");
        ASSERT_TRUE(Bus().WaitIdle());
    }
    Bus().Send(kHelper, kPlugin, 0x6F0001, "gone");
    ASSERT_TRUE(Bus().WaitIdle());
    EXPECT_EQ(inbox.Bodies(), std::vector<std::string>{"joined"});
}

TEST_F(BusClientTest, ClientDestroyedFromItsOwnCallbackLeavesTheBus) {
    auto client = std::make_unique<IPCMessageClient>(kPlugin, false, false, kPipe);
    std::atomic<int> calls{0};
    client->RegisterMessageCallback(0x6F0001, [&](TagIPCMessageItem&) {
        ++calls;
        client.reset();
    });
    Bus().Send(kHelper, kPlugin, 0x6F0001, "stop");
    ASSERT_TRUE(Bus().WaitIdle());
    Bus().Send(kHelper, kPlugin, 0x6F0001, "nobody left");
    ASSERT_TRUE(Bus().WaitIdle());
    EXPECT_EQ(calls.load(), 1);
    EXPECT_EQ(client, nullptr);
}

TEST(BusLifetime, LinkThatOutlivesItsMachineTurnsInert) {
    winsim::BusLink link;
    {
        winsim::Machine machine;
        winsim::MachineScope scope(machine);
        link = machine.Extension<winsim::Bus>().Connect(kPlugin, false, [](const BusMessage&) {});
        ASSERT_TRUE(link.Post(BusMessage{}));
    }
    EXPECT_FALSE(link.Post(BusMessage{}));
    EXPECT_FALSE(link.Publish(BusMessage{}));
    link.Disconnect();
    EXPECT_FALSE(link);
}

}  // namespace
