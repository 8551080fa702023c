// The broker and the client over real named pipes.
#include "BusBroker.h"
#include "BusFrame.h"
#include "IPCMessageClient.h"
#include "NxLogger.h"
#include "support/BusInbox.h"
#include "support/RawPipeClient.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using namespace std::chrono_literals;

constexpr int32_t kPlugin = 0x6F0000;
constexpr int32_t kHelper = 0x690000;
constexpr int32_t kCenter = 0x20000;
// Sent until it arrives, to learn that both ends are connected and introduced.
constexpr int32_t kProbe = 0x7FFF0001;

std::wstring UniquePipeName() {
    static std::atomic<int> counter{0};
    return L"\\\\.\\pipe\\NxBusTest-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
           std::to_wstring(++counter);
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = 5s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        Sleep(5);
    }
    return true;
}

// A module: a client with what its callbacks saw. Probes are kept apart.
struct Module {
    Module(int32_t id, const std::wstring& pipe, bool receiveOwnPublications = false)
        : id(id), client(id, false, receiveOwnPublications, pipe) {
        client.RegisterMessageCallback(kProbe, probes.Recorder());
    }
    const int32_t id;
    BusInbox probes;
    BusInbox inbox;
    IPCMessageClient client;
};

// Probes `to` from `from` until one arrives.
bool Reaches(Module& from, Module& to) {
    const size_t before = to.probes.All().size();
    return WaitUntil([&] {
        from.client.PostIPCMessage(BusItem(to.id, kProbe, "probe"));
        return WaitUntil([&] { return to.probes.All().size() > before; }, 100ms);
    });
}

// The broker's log lines, captured for the test.
class BrokerLog {
public:
    BrokerLog() {
        previous_ = NxLogger::GetInstance().SetSink(
            [this](LOG_MESSAGE_LEVEL level, const std::wstring& logger, const std::wstring& text) {
                if (logger == L"BusBroker") {
                    std::lock_guard lock(mutex_);
                    lines_.push_back(std::to_string(level) + " " +
                                     std::string(text.begin(), text.end()));
                }
            });
    }
    ~BrokerLog() { NxLogger::GetInstance().SetSink(previous_); }
    bool Contains(const std::string& line) const {
        std::lock_guard lock(mutex_);
        return std::find(lines_.begin(), lines_.end(), line) != lines_.end();
    }

private:
    mutable std::mutex mutex_;
    std::vector<std::string> lines_;
    NxLogger::Sink previous_;
};

class BusTest : public ::testing::Test {
protected:
    BrokerLog log_;
    const std::wstring pipe_ = UniquePipeName();
    BusBroker broker_{pipe_};
};

TEST_F(BusTest, PostReachesOnlyTheAddressedModuleWithBodyLengthAndSender) {
    ASSERT_TRUE(broker_.Start());
    Module plugin(kPlugin, pipe_), helper(kHelper, pipe_), center(kCenter, pipe_);
    ASSERT_TRUE(Reaches(plugin, helper));
    ASSERT_TRUE(Reaches(plugin, center));
    helper.client.RegisterMessageCallback(0x30003, helper.inbox.Recorder());
    center.client.RegisterMessageCallback(0x30003, center.inbox.Recorder());

    const std::string silent("Silent\0", 7);
    TagIPCMessageItem request = BusItem(kHelper, 0x30003, silent);
    request.messageType = 0;
    EXPECT_TRUE(plugin.client.PostIPCMessage(request));
    EXPECT_TRUE(plugin.client.PostIPCMessage(BusItem(kHelper, 0x30003, "quit_zarCenter")));
    ASSERT_TRUE(WaitUntil([&] { return helper.inbox.All().size() == 2; }));
    // A probe reaches the center after everything the plug-in sent before it.
    ASSERT_TRUE(Reaches(plugin, center));

    const std::vector<BusSeen> seen = helper.inbox.All();
    EXPECT_EQ(seen[0].body, silent);
    EXPECT_EQ(seen[0].messageType, 0);
    EXPECT_EQ(seen[1].body, "quit_zarCenter");
    EXPECT_EQ(seen[1].messageType, -1);
    for (const BusSeen& message : seen) {
        EXPECT_TRUE(message.terminated);
        EXPECT_EQ(message.receiverId, kHelper);
        EXPECT_EQ(message.senderId, kPlugin);
        EXPECT_EQ(message.senderName, "0x6f0000");
        EXPECT_NE(message.thread, std::this_thread::get_id());
    }
    EXPECT_TRUE(center.inbox.All().empty());
}

TEST_F(BusTest, PublishReachesEveryOtherModuleAndTheSenderOnlyWhenAsked) {
    ASSERT_TRUE(broker_.Start());
    Module plugin(kPlugin, pipe_), helper(kHelper, pipe_), center(kCenter, pipe_, true);
    ASSERT_TRUE(Reaches(plugin, helper));
    ASSERT_TRUE(Reaches(plugin, center));
    ASSERT_TRUE(Reaches(plugin, plugin));
    for (Module* module : {&plugin, &helper, &center}) {
        module->client.RegisterMessageCallback(0xB90004, module->inbox.Recorder());
    }

    TagIPCMessageItem exit = BusItem(-1, 0xB90004, "ZAR_SERVICE_UNINIT_ADV_NAME");
    EXPECT_TRUE(plugin.client.PublishIPCMessage(exit));
    // Publications of different modules are not ordered among each other.
    ASSERT_TRUE(WaitUntil([&] { return helper.inbox.Bodies().size() == 1; }));
    ASSERT_TRUE(WaitUntil([&] { return center.inbox.Bodies().size() == 1; }));
    TagIPCMessageItem again = BusItem(-1, 0xB90004, "again");
    EXPECT_TRUE(center.client.PublishIPCMessage(again));
    const std::vector<std::string> both = {"ZAR_SERVICE_UNINIT_ADV_NAME", "again"};
    ASSERT_TRUE(WaitUntil([&] { return helper.inbox.Bodies().size() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return center.inbox.Bodies().size() == 2; }));
    ASSERT_TRUE(WaitUntil([&] { return !plugin.inbox.Bodies().empty(); }));
    // The plug-in's own publication would have come before this probe to itself.
    ASSERT_TRUE(Reaches(plugin, plugin));

    EXPECT_EQ(helper.inbox.Bodies(), both);
    EXPECT_EQ(center.inbox.Bodies(), both);
    EXPECT_EQ(plugin.inbox.Bodies(), std::vector<std::string>{"again"});
    EXPECT_EQ(helper.inbox.All()[0].receiverId, -1);
    EXPECT_EQ(helper.inbox.All()[0].senderId, kPlugin);
    EXPECT_EQ(helper.inbox.All()[0].senderName, "0x6f0000");
}

TEST_F(BusTest, UnregisterAllStopsDelivery) {
    ASSERT_TRUE(broker_.Start());
    Module plugin(kPlugin, pipe_), helper(kHelper, pipe_);
    ASSERT_TRUE(Reaches(plugin, helper));
    helper.client.RegisterMessageCallback(0x6F0001, helper.inbox.Recorder());
    EXPECT_TRUE(plugin.client.PostIPCMessage(BusItem(kHelper, 0x6F0001, "before")));
    ASSERT_TRUE(WaitUntil([&] { return !helper.inbox.All().empty(); }));

    EXPECT_TRUE(helper.client.UnRegisterMessageCallbackAll());
    EXPECT_TRUE(plugin.client.PostIPCMessage(BusItem(kHelper, 0x6F0001, "after")));
    // Probing again needs a callback; the probe arrives after "after" was handled.
    helper.client.RegisterMessageCallback(kProbe, helper.probes.Recorder());
    ASSERT_TRUE(Reaches(plugin, helper));

    EXPECT_EQ(helper.inbox.Bodies(), std::vector<std::string>{"before"});
}

struct MalformedCase {
    std::string name;
    std::function<std::string()> bytes;
    std::string logLine;
};

class BusMalformed : public BusTest, public ::testing::WithParamInterface<MalformedCase> {};

// Writes `bytes` as a bare pipe client and waits until the broker hangs up.
bool DroppedAfterWriting(const std::wstring& pipe, const std::string& bytes) {
    const RawPipeClient raw(pipe);
    return raw.IsConnected() && raw.Write(bytes) && raw.WaitUntilDropped();
}

TEST_P(BusMalformed, DropsOnlyTheOffendingConnectionWithItsReason) {
    ASSERT_TRUE(broker_.Start());
    Module plugin(kPlugin, pipe_), helper(kHelper, pipe_);
    ASSERT_TRUE(Reaches(plugin, helper));

    EXPECT_TRUE(DroppedAfterWriting(pipe_, GetParam().bytes()));
    EXPECT_TRUE(WaitUntil([&] { return log_.Contains(GetParam().logLine); }));

    EXPECT_TRUE(Reaches(plugin, helper));
    EXPECT_TRUE(Reaches(helper, plugin));
}

std::string Frame(BusFrameKind kind, int32_t senderId, const std::string& body) {
    BusFrame frame{kind, false, {}};
    frame.message.senderId = senderId;
    frame.message.receiverId = kHelper;
    frame.message.msgId = kProbe;
    frame.message.body = body;
    return EncodeBusFrame(frame);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BusMalformed,
    ::testing::Values(
        MalformedCase{"Garbage", [] { return std::string("GARBAGE, NOT A FRAME"); },
                      "4 dropped a connection: bad magic"},
        MalformedCase{"LengthNotMatchingBody",
                      [] {
                          std::string post = Frame(BusFrameKind::Post, 0, "abcd");
                          post[kBusFrameHeaderBytes + 28] = 9;  // messageLen
                          return Frame(BusFrameKind::Hello, 0x123, "") + post;
                      },
                      "4 dropped module 0x123: messageLen 9 does not match body of 4 bytes"},
        MalformedCase{"PostBeforeHello", [] { return Frame(BusFrameKind::Post, 0, "x"); },
                      "4 dropped a connection: message before hello"},
        MalformedCase{"DeliverFromAModule",
                      [] {
                          return Frame(BusFrameKind::Hello, 0x124, "") +
                                 Frame(BusFrameKind::Deliver, 0, "x");
                      },
                      "4 dropped module 0x124: deliver frame from a module"}),
    [](const auto& info) { return info.param.name; });

TEST_F(BusTest, ClientsReconnectAfterTheBrokerRestarts) {
    ASSERT_TRUE(broker_.Start());
    Module plugin(kPlugin, pipe_), helper(kHelper, pipe_);
    ASSERT_TRUE(Reaches(plugin, helper));

    broker_.Stop();
    EXPECT_TRUE(
        WaitUntil([&] { return !plugin.client.PostIPCMessage(BusItem(kHelper, kProbe, "lost")); }));

    ASSERT_TRUE(broker_.Start());
    EXPECT_TRUE(Reaches(plugin, helper));
    EXPECT_TRUE(Reaches(helper, plugin));
}

TEST_F(BusTest, WithoutABrokerSendingFailsAndOnlyOneBrokerOwnsTheName) {
    Module plugin(kPlugin, pipe_);
    EXPECT_FALSE(plugin.client.PostIPCMessage(BusItem(kHelper, kProbe, "")));
    TagIPCMessageItem published = BusItem(-1, kProbe, "");
    EXPECT_FALSE(plugin.client.PublishIPCMessage(published));

    ASSERT_TRUE(broker_.Start());
    BusBroker second(pipe_);
    EXPECT_FALSE(second.Start());
    EXPECT_TRUE(Reaches(plugin, plugin));
}

}  // namespace
