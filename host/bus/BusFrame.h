// The bus's wire format, shared by the client and the broker.
//
// A frame is a 12-byte header followed by a payload, all integers little-endian:
//
//   header:  magic "NXBF" | version u8 (1) | kind u8 | flags u8 | reserved u8 (0)
//            | payload length u32
//   payload: receiverId, senderId, msgId, messageType, sequence, priority,
//            timeoutMs, messageLen (8 x i32) | needReply u8 (0 or 1)
//            | sender name length u8 | sender name | body
//
// The body is whatever follows the name; messageLen must equal its size. Both
// the body and the payload are capped, so a peer can neither make the reader
// allocate without bound nor desynchronise it with a length that disagrees
// with the bytes.
#pragma once

#include "BusMessage.h"

#include <cstddef>
#include <cstdint>
#include <string>

enum class BusFrameKind : uint8_t {
    Hello = 1,    // client -> broker: registers the module (message.senderId)
    Post = 2,     // client -> broker: to message.receiverId
    Publish = 3,  // client -> broker: to every module
    Deliver = 4,  // broker -> client: a message for this module
};

struct BusFrame {
    BusFrameKind kind = BusFrameKind::Post;
    // Hello only: the module also wants the messages it publishes itself.
    bool receiveOwnPublications = false;
    BusMessage message;

    bool operator==(const BusFrame&) const = default;
};

inline constexpr size_t kBusFrameHeaderBytes = 12;
inline constexpr size_t kMaxBusSenderNameBytes = 255;

// The frame's bytes; empty when the body or the sender name is over its cap.
std::string EncodeBusFrame(const BusFrame& frame);

// Turns bytes that arrive in pieces of any size back into frames. After the
// first malformed frame it refuses everything: the stream cannot be resynced.
class BusFrameDecoder {
public:
    enum class Status { NeedMore, Ready, Malformed };

    void Feed(const char* data, size_t size);
    // Takes the next whole frame out of the bytes fed so far.
    Status Next(BusFrame& frame);
    // Why the stream was refused; empty while it is well formed.
    const std::string& Error() const { return error_; }

private:
    Status Fail(std::string reason);

    std::string buffer_;
    std::string error_;
};
