#include "BusFrame.h"

#include <algorithm>
#include <array>
#include <utility>

namespace {

constexpr std::array<char, 4> kMagic = {'N', 'X', 'B', 'F'};
constexpr uint8_t kVersion = 1;
constexpr uint8_t kFlagOwnPublications = 0x01;
// Eight 32-bit fields, needReply and the name's length.
constexpr size_t kFixedPayloadBytes = 8 * 4 + 2;
constexpr size_t kMaxPayloadBytes = kFixedPayloadBytes + kMaxBusSenderNameBytes + kMaxBusBodyBytes;

void PutU32(std::string& out, uint32_t value) {
    for (int shift = 0; shift < 32; shift += 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

void PutI32(std::string& out, int32_t value) {
    PutU32(out, static_cast<uint32_t>(value));
}

uint32_t GetU32(const std::string& in, size_t at) {
    uint32_t value = 0;
    for (size_t i = 0; i < 4; ++i) {
        value |= static_cast<uint32_t>(static_cast<unsigned char>(in[at + i])) << (8 * i);
    }
    return value;
}

int32_t GetI32(const std::string& in, size_t at) {
    return static_cast<int32_t>(GetU32(in, at));
}

uint8_t GetU8(const std::string& in, size_t at) {
    return static_cast<unsigned char>(in[at]);
}

bool IsKnownKind(uint8_t kind) {
    return kind >= static_cast<uint8_t>(BusFrameKind::Hello) &&
           kind <= static_cast<uint8_t>(BusFrameKind::Deliver);
}

}  // namespace

std::string EncodeBusFrame(const BusFrame& frame) {
    const BusMessage& message = frame.message;
    if (message.body.size() > kMaxBusBodyBytes ||
        message.senderName.size() > kMaxBusSenderNameBytes) {
        return {};
    }
    const size_t payloadBytes =
        kFixedPayloadBytes + message.senderName.size() + message.body.size();
    std::string out;
    out.reserve(kBusFrameHeaderBytes + payloadBytes);
    out.append(kMagic.data(), kMagic.size());
    out.push_back(static_cast<char>(kVersion));
    out.push_back(static_cast<char>(frame.kind));
    out.push_back(static_cast<char>(frame.receiveOwnPublications ? kFlagOwnPublications : 0));
    out.push_back('\0');
    PutU32(out, static_cast<uint32_t>(payloadBytes));
    PutI32(out, message.receiverId);
    PutI32(out, message.senderId);
    PutI32(out, message.msgId);
    PutI32(out, message.messageType);
    PutI32(out, message.sequence);
    PutI32(out, message.priority);
    PutI32(out, message.timeoutMs);
    PutI32(out, static_cast<int32_t>(message.body.size()));
    out.push_back(message.needReply ? '\1' : '\0');
    out.push_back(static_cast<char>(message.senderName.size()));
    out += message.senderName;
    out += message.body;
    return out;
}

void BusFrameDecoder::Feed(const char* data, size_t size) {
    if (error_.empty()) {
        buffer_.append(data, size);
    }
}

BusFrameDecoder::Status BusFrameDecoder::Fail(std::string reason) {
    error_ = std::move(reason);
    buffer_.clear();
    return Status::Malformed;
}

BusFrameDecoder::Status BusFrameDecoder::Next(BusFrame& frame) {
    if (!error_.empty()) {
        return Status::Malformed;
    }
    // Each header field is checked as soon as its bytes are in, so that a
    // stream of garbage is refused without waiting for the length it claims.
    const size_t magicBytes = std::min(buffer_.size(), kMagic.size());
    if (buffer_.compare(0, magicBytes, kMagic.data(), magicBytes) != 0) {
        return Fail("bad magic");
    }
    if (buffer_.size() > 4 && GetU8(buffer_, 4) != kVersion) {
        return Fail("unsupported version " + std::to_string(GetU8(buffer_, 4)));
    }
    if (buffer_.size() > 5 && !IsKnownKind(GetU8(buffer_, 5))) {
        return Fail("unknown frame kind " + std::to_string(GetU8(buffer_, 5)));
    }
    if (buffer_.size() > 6 && (GetU8(buffer_, 6) & ~kFlagOwnPublications) != 0) {
        return Fail("unknown flags " + std::to_string(GetU8(buffer_, 6)));
    }
    if (buffer_.size() > 7 && GetU8(buffer_, 7) != 0) {
        return Fail("reserved byte set");
    }
    if (buffer_.size() < kBusFrameHeaderBytes) {
        return Status::NeedMore;
    }
    const size_t payloadBytes = GetU32(buffer_, 8);
    if (payloadBytes < kFixedPayloadBytes) {
        return Fail("payload length " + std::to_string(payloadBytes) + " below the fixed fields");
    }
    if (payloadBytes > kMaxPayloadBytes) {
        return Fail("payload length " + std::to_string(payloadBytes) + " over the cap");
    }
    if (buffer_.size() < kBusFrameHeaderBytes + payloadBytes) {
        return Status::NeedMore;
    }

    const size_t at = kBusFrameHeaderBytes;
    const int32_t messageLen = GetI32(buffer_, at + 28);
    const uint8_t needReply = GetU8(buffer_, at + 32);
    const size_t nameBytes = GetU8(buffer_, at + 33);
    if (needReply > 1) {
        return Fail("needReply byte " + std::to_string(needReply));
    }
    if (nameBytes > payloadBytes - kFixedPayloadBytes) {
        return Fail("sender name runs past the payload");
    }
    const size_t bodyBytes = payloadBytes - kFixedPayloadBytes - nameBytes;
    if (messageLen < 0 || static_cast<size_t>(messageLen) != bodyBytes) {
        return Fail("messageLen " + std::to_string(messageLen) + " does not match body of " +
                    std::to_string(bodyBytes) + " bytes");
    }

    frame.kind = static_cast<BusFrameKind>(GetU8(buffer_, 5));
    frame.receiveOwnPublications = (GetU8(buffer_, 6) & kFlagOwnPublications) != 0;
    BusMessage& message = frame.message;
    message.receiverId = GetI32(buffer_, at);
    message.senderId = GetI32(buffer_, at + 4);
    message.msgId = GetI32(buffer_, at + 8);
    message.messageType = GetI32(buffer_, at + 12);
    message.sequence = GetI32(buffer_, at + 16);
    message.priority = GetI32(buffer_, at + 20);
    message.timeoutMs = GetI32(buffer_, at + 24);
    message.needReply = needReply == 1;
    message.senderName = buffer_.substr(at + kFixedPayloadBytes, nameBytes);
    message.body = buffer_.substr(at + kFixedPayloadBytes + nameBytes, bodyBytes);
    buffer_.erase(0, kBusFrameHeaderBytes + payloadBytes);
    return Status::Ready;
}
