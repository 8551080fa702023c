// One message on the host's bus.
#pragma once

#include <cstdint>
#include <string>

struct TagIPCMessageItem {
    std::string senderName;         // name of the sending module, filled in by the bus
    int32_t receiverId = -1;        // module id of the receiver; -1 when published
    int32_t senderId = -1;          // module id of the sender, filled in by the bus
    int32_t msgId = -1;             // message id; handlers are registered by it
    int32_t messageType = -1;       // 0 marks a request that expects the receiver to act on it
    int32_t sequence = -1;          // reserved for replies
    int32_t priority = 0;           // reserved
    int32_t messageLen = 0;         // length of the body in bytes
    const char* message = nullptr;  // the body; not owned by the item
    bool needReply = false;         // reserved
    int32_t timeoutMs = 0;          // reserved
};
