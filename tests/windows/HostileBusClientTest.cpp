// A hostile module on the real bus: the broker on the host's pipe and the real
// plug-in, and a bare pipe client that writes garbage, an oversized frame, a
// frame whose length lies, a frame cut off by a disconnect, and bodies without
// a terminator. The broker drops each offending connection with its reason,
// without allocating what a length claims; afterwards the plug-in still
// handles a message and well-behaved modules still reach each other.
#include "BusBroker.h"
#include "BusFrame.h"
#include "IPCMessageClient.h"
#include "plugin/PluginTable.h"
#include "support/BusObserver.h"
#include "support/LogCapture.h"
#include "wait/PollUntil.h"
#include "support/RawPipeClient.h"
#include "win32/LocalMemory.h"

#include <windows.h>
#include <psapi.h>
#include <sddl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace {

// The plug-in's client connects only to the host's fixed pipe; the Wine prefix
// is private to the build, so nothing else owns it.
constexpr wchar_t kBusPipe[] = L"\\\\.\\Pipe\\iVellumAssistant";
constexpr int32_t kPlugin = 0x6F0000;
constexpr int32_t kTabTipMsg = 0x6F0003;
constexpr int32_t kSender = 0x7E0001;
constexpr int32_t kReceiver = 0x7E0002;
constexpr int32_t kChatMsg = 0x7E0010;
const std::string kTabTipHandler = "(NxReVadiruService::Impl::OnRecvMessageCenterTabTipMsg)";
// A header may claim up to 4 GiB; the broker must refuse it at the header.
constexpr uint32_t kHugePayloadBytes = 0xFFFFFFF0;
constexpr size_t kFloodBytes = 1 << 20;
// Far below what honouring the claimed length would take.
constexpr size_t kMemoryGrowthLimit = 64u << 20;

std::string TabTipLine(const std::string& value) {
    return "3 recv tabtip value " + value + kTabTipHandler;
}

std::string Hello(int32_t moduleId) {
    BusFrame frame{BusFrameKind::Hello, false, {}};
    frame.message.senderId = moduleId;
    return EncodeBusFrame(frame);
}

std::string PostTo(int32_t receiverId, int32_t msgId, const std::string& body) {
    BusFrame frame{BusFrameKind::Post, false, {}};
    frame.message.receiverId = receiverId;
    frame.message.msgId = msgId;
    frame.message.body = body;
    return EncodeBusFrame(frame);
}

// A frame header claiming `payloadBytes`, with nothing after it.
std::string HeaderClaiming(uint32_t payloadBytes) {
    std::string header = PostTo(kPlugin, kTabTipMsg, "").substr(0, kBusFrameHeaderBytes);
    for (size_t i = 0; i < 4; ++i) {
        header[8 + i] = static_cast<char>((payloadBytes >> (8 * i)) & 0xFF);
    }
    return header;
}

size_t PeakCommittedBytes() {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    return GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)
               ? counters.PeakPagefileUsage
               : 0;
}

struct HostileCase {
    const char* name;
    std::string bytes;
    // Empty: the broker must hang up. Otherwise the client hangs up itself,
    // once this line shows that its bytes have been read.
    std::string readBeforeHangingUp;
    std::string brokerLine;
};

std::vector<HostileCase> HostileCases() {
    std::string lyingLength = PostTo(kPlugin, kTabTipMsg, "99");
    lyingLength[kBusFrameHeaderBytes + 28] = static_cast<char>(0xF4);  // messageLen 500
    lyingLength[kBusFrameHeaderBytes + 29] = 1;
    const std::string cutOff = PostTo(kPlugin, kTabTipMsg, "77");
    return {
        {"garbage",
         "\x7f"
         "ELF, or anything else but a frame",
         "", "BusBroker: 4 dropped a connection: bad magic"},
        {"oversized frame",
         Hello(0x7E0661) + HeaderClaiming(kHugePayloadBytes) + std::string(kFloodBytes, 'A'), "",
         "BusBroker: 4 dropped module 0x7e0661: payload length 4294967280 over the cap"},
        {"message length that lies", Hello(0x7E0662) + lyingLength, "",
         "BusBroker: 4 dropped module 0x7e0662: messageLen 500 does not match body of 2 bytes"},
        {"payload length below the fixed fields", Hello(0x7E0663) + HeaderClaiming(8), "",
         "BusBroker: 4 dropped module 0x7e0663: payload length 8 below the fixed fields"},
        {"claim of a connected module's id", Hello(kPlugin), "",
         "BusBroker: 4 dropped a connection: module 0x6f0000 is already connected"},
        {"frame cut off by a disconnect", Hello(0x7E0664) + cutOff.substr(0, cutOff.size() - 1),
         "BusBroker: 3 module 0x7e0664 connected", "BusBroker: 3 module 0x7e0664 disconnected"},
        // Bodies travel with their length only; the largest one the bus
        // carries first, then one the plug-in's log shows.
        {"bodies without a terminator",
         Hello(0x7E0665) + PostTo(kPlugin, kTabTipMsg, std::string(kMaxBusBodyBytes, '8')) +
             PostTo(kPlugin, kTabTipMsg, "31337"),
         TabTipLine("31337"), "BusBroker: 3 module 0x7e0665 disconnected"},
    };
}

TEST(HostileBusClientTest, BrokerAndPluginOutlastAHostileModule) {
    const LogCapture log;
    BusBroker broker(kBusPipe);
    ASSERT_TRUE(broker.Start());
    const std::shared_ptr<VLAPlugin> plugin = CreatePluginInstance();
    ASSERT_TRUE(plugin->Start());
    IPCMessageClient sender(kSender, false, false, kBusPipe);
    const BusObserver receiver(kReceiver, kBusPipe);
    ASSERT_TRUE(WaitUntilOnBus(receiver.Client(), kReceiver));
    // A post to a module not yet on the bus goes nowhere: repeat until heard.
    ASSERT_TRUE(PollUntil([&] {
        sender.PostIPCMessage(BusItem(kPlugin, kTabTipMsg, "1"));
        return log.Contains(TabTipLine("1"));
    }));

    const size_t peakBefore = PeakCommittedBytes();
    for (const HostileCase& hostile : HostileCases()) {
        SCOPED_TRACE(hostile.name);
        RawPipeClient raw(kBusPipe);
        ASSERT_TRUE(raw.IsConnected());
        // The broker may hang up while the rest is still being written.
        const bool written = raw.Write(hostile.bytes);
        if (hostile.readBeforeHangingUp.empty()) {
            EXPECT_TRUE(raw.WaitUntilDropped());
        } else {
            EXPECT_TRUE(written);
            EXPECT_TRUE(PollUntil([&] { return log.Contains(hostile.readBeforeHangingUp); }));
            raw.Close();
        }
        EXPECT_TRUE(PollUntil([&] { return log.Contains(hostile.brokerLine); }));
    }
    EXPECT_LT(PeakCommittedBytes() - peakBefore, kMemoryGrowthLimit)
        << "peak committed bytes went from " << peakBefore;

    EXPECT_FALSE(log.Contains(TabTipLine("99"))) << "a frame whose length lies was delivered";
    EXPECT_FALSE(log.Contains(TabTipLine("77"))) << "a cut-off frame was delivered";
    EXPECT_TRUE(sender.PostIPCMessage(BusItem(kPlugin, kTabTipMsg, "4242")));
    EXPECT_TRUE(PollUntil([&] { return log.Contains(TabTipLine("4242")); }));
    EXPECT_TRUE(sender.PostIPCMessage(BusItem(kReceiver, kChatMsg, "still here")));
    EXPECT_TRUE(PollUntil([&] { return !receiver.Entries().empty(); }));
    EXPECT_EQ(receiver.Entries(), std::vector<std::string>{"7e0010 still here"});

    plugin->Stop();
}

// A server that took the bus's name while the broker was away, under an
// account the client does not trust (Guests; on Windows a user can make a pipe
// only his own). The client, at its first attempt, hangs up without a byte:
// the server learns no module id and has no message to impersonate it by.
TEST(HostileBusServerTest, ClientSendsNothingToAServerOfAnotherAccount) {
    constexpr wchar_t kSquattedPipe[] = L"\\\\.\\Pipe\\nx-squatted-bus";
    LocalPtr<void> descriptor;
    ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(
        L"O:BGD:(A;;GA;;;WD)", SDDL_REVISION_1, descriptor.put(), nullptr));
    SECURITY_ATTRIBUTES attributes{sizeof attributes, descriptor.get(), FALSE};
    const UniqueHandle squatter(CreateNamedPipeW(kSquattedPipe, PIPE_ACCESS_DUPLEX, PIPE_TYPE_BYTE,
                                                 1, 4096, 4096, 0, &attributes));
    const LogCapture log;

    const IPCMessageClient client(kSender, false, false, kSquattedPipe);
    // The refusal comes only after a connection.
    EXPECT_TRUE(log.Contains(
        "IPCMessageClient: 4 refused the bus server: its pipe belongs to S-1-5-32-546"));
    // A client still connected (and maybe written to) would let the peek succeed.
    EXPECT_FALSE(PeekNamedPipe(squatter.get(), nullptr, 0, nullptr, nullptr, nullptr));
}

}  // namespace
