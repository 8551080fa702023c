// Records what a bus client's callbacks receive, copied while the item is
// valid, for tests on both platforms.
#pragma once

#include "IPCMessageClient.h"

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct BusSeen {
    int32_t msgId;
    int32_t receiverId;
    int32_t senderId;
    std::string senderName;
    int32_t messageType;
    std::string body;  // the messageLen bytes
    bool terminated;   // a zero byte right after them
    std::thread::id thread;
};

class BusInbox {
public:
    IPCMessageClient::Callback Recorder() {
        return [this](TagIPCMessageItem& item) {
            std::lock_guard lock(mutex_);
            seen_.push_back({item.msgId, item.receiverId, item.senderId, item.senderName,
                             item.messageType,
                             std::string(item.message, static_cast<size_t>(item.messageLen)),
                             item.message[item.messageLen] == '\0', std::this_thread::get_id()});
        };
    }
    std::vector<BusSeen> All() const {
        std::lock_guard lock(mutex_);
        return seen_;
    }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const BusSeen& seen : All()) {
            bodies.push_back(seen.body);
        }
        return bodies;
    }

private:
    mutable std::mutex mutex_;
    std::vector<BusSeen> seen_;
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
