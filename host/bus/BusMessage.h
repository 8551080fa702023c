// One message as the bus carries it: every field of TagIPCMessageItem, with
// the body owned. The body's size is the message length; its c_str() is the
// zero-terminated copy that receivers see, so a body sent without a
// terminator arrives with one.
//
// Header-only because the simulated bus in winsim carries the same type.
#pragma once

#include "TagIPCMessageItem.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

struct BusMessage {
    std::string senderName;
    int32_t receiverId = -1;
    int32_t senderId = -1;
    int32_t msgId = -1;
    int32_t messageType = -1;
    int32_t sequence = -1;
    int32_t priority = 0;
    std::string body;
    // Sent with a null `message` (and length 0): receivers on the same machine
    // get null, which handlers tell from an empty text. The pipe's frames do
    // not carry it; there such a body arrives empty.
    bool nullBody = false;
    bool needReply = false;
    int32_t timeoutMs = 0;

    bool operator==(const BusMessage&) const = default;
};

// Largest body the bus carries; bigger posts are refused by the sender.
inline constexpr size_t kMaxBusBodyBytes = 64 * 1024;

// Copies an item for sending. Empty when the item's length is negative or over
// the cap, or when it claims bytes without pointing at any.
inline std::optional<BusMessage> CopyBusMessage(const TagIPCMessageItem& item) {
    if (item.messageLen < 0 || static_cast<size_t>(item.messageLen) > kMaxBusBodyBytes ||
        (item.message == nullptr && item.messageLen > 0)) {
        return std::nullopt;
    }
    BusMessage message;
    message.senderName = item.senderName;
    message.receiverId = item.receiverId;
    message.senderId = item.senderId;
    message.msgId = item.msgId;
    message.messageType = item.messageType;
    message.sequence = item.sequence;
    message.priority = item.priority;
    if (item.messageLen > 0) {
        message.body.assign(item.message, static_cast<size_t>(item.messageLen));
    }
    message.nullBody = item.message == nullptr;
    message.needReply = item.needReply;
    message.timeoutMs = item.timeoutMs;
    return message;
}

// The item a receiver's callback gets; it points into `message` and is valid
// as long as `message` is.
inline TagIPCMessageItem ViewBusMessage(const BusMessage& message) {
    TagIPCMessageItem item;
    item.senderName = message.senderName;
    item.receiverId = message.receiverId;
    item.senderId = message.senderId;
    item.msgId = message.msgId;
    item.messageType = message.messageType;
    item.sequence = message.sequence;
    item.priority = message.priority;
    item.messageLen = static_cast<int32_t>(message.body.size());
    item.message = message.nullBody ? nullptr : message.body.c_str();
    item.needReply = message.needReply;
    item.timeoutMs = message.timeoutMs;
    return item;
}

// A module or message id as the bus writes it: lowercase hex with 0x, a minus
// sign before negative ids ("0x6f0000", "-0x1").
inline std::string FormatBusId(int32_t id) {
    const int64_t value = id;
    const uint64_t magnitude = static_cast<uint64_t>(value < 0 ? -value : value);
    char text[24];
    std::snprintf(text, sizeof text, "%s0x%llx", value < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude));
    return text;
}
