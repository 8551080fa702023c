// Watches the bus from a Windows test as one module.
#pragma once

#include "IPCMessageClient.h"
#include "wait/PollUntil.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

// What one module received, in order: "<msgId hex> <body>", the body as many
// bytes as the message said.
class BusObserver {
public:
    BusObserver(int32_t moduleId, const std::wstring& pipe)
        : received_(std::make_shared<Received>()), client_(moduleId, false, false, pipe) {
        client_.RegisterOtherMessagesCallback([received = received_](TagIPCMessageItem& msg) {
            std::ostringstream entry;
            entry << std::hex << msg.msgId << ' '
                  << std::string(msg.message != nullptr ? msg.message : "",
                                 static_cast<size_t>(msg.messageLen));
            std::lock_guard<std::mutex> lock(received->mutex);
            received->entries.push_back(entry.str());
        });
    }
    ~BusObserver() { client_.UnRegisterMessageCallbackAll(); }
    BusObserver(const BusObserver&) = delete;
    BusObserver& operator=(const BusObserver&) = delete;

    IPCMessageClient& Client() const { return client_; }
    std::vector<std::string> Entries() const {
        std::lock_guard<std::mutex> lock(received_->mutex);
        return received_->entries;
    }

private:
    struct Received {
        std::mutex mutex;
        std::vector<std::string> entries;
    };
    std::shared_ptr<Received> received_;
    mutable IPCMessageClient client_;
};

// An item pointing into `body`: pass a literal or a string that outlives it.
inline TagIPCMessageItem BusItem(int32_t receiverId, int32_t msgId, std::string_view body) {
    TagIPCMessageItem item;
    item.receiverId = receiverId;
    item.msgId = msgId;
    item.message = body.data();
    item.messageLen = static_cast<int32_t>(body.size());
    return item;
}

// True once the broker delivers to `client` as `moduleId`: a post for an absent
// module is dropped, so a test posts only after its receivers are on the bus.
// `client` is a bus client or the plug-in's connection.
template <class Client>
bool WaitUntilOnBus(Client& client, int32_t moduleId) {
    constexpr int32_t kPingMsg = 0x7FFF0001;
    const auto heard = std::make_shared<std::atomic<bool>>(false);
    client.RegisterMessageCallback(kPingMsg, [heard](TagIPCMessageItem&) { *heard = true; });
    const TagIPCMessageItem ping = BusItem(moduleId, kPingMsg, "");
    return PollUntil([&] {
        client.PostIPCMessage(ping);
        return heard->load();
    });
}
