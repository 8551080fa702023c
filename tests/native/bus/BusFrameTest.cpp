#include "BusFrame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

namespace {

BusFrame FullFrame() {
    BusFrame frame;
    frame.kind = BusFrameKind::Deliver;
    frame.message.senderName = "0x6f0000";
    frame.message.receiverId = 0x690000;
    frame.message.senderId = 0x6F0000;
    frame.message.msgId = 0x690022;
    frame.message.messageType = 0;
    frame.message.sequence = 17;
    frame.message.priority = 3;
    frame.message.body = "1234";
    frame.message.needReply = true;
    frame.message.timeoutMs = 2500;
    return frame;
}

std::vector<BusFrame> DecodeAll(const std::string& bytes, size_t pieceSize) {
    BusFrameDecoder decoder;
    std::vector<BusFrame> frames;
    for (size_t at = 0; at < bytes.size(); at += pieceSize) {
        decoder.Feed(bytes.data() + at, std::min(pieceSize, bytes.size() - at));
        BusFrame frame;
        BusFrameDecoder::Status status;
        while ((status = decoder.Next(frame)) == BusFrameDecoder::Status::Ready) {
            frames.push_back(frame);
        }
        EXPECT_EQ(status, BusFrameDecoder::Status::NeedMore) << decoder.Error();
    }
    return frames;
}

struct RoundTripCase {
    std::string name;
    std::function<void(BusFrame&)> change;
};

class BusFrameRoundTrip : public ::testing::TestWithParam<RoundTripCase> {};

TEST_P(BusFrameRoundTrip, DecodesWhatWasEncodedInAnyPieceSize) {
    BusFrame frame = FullFrame();
    GetParam().change(frame);
    const std::string bytes = EncodeBusFrame(frame);
    ASSERT_FALSE(bytes.empty());
    for (size_t pieceSize : {size_t{1}, size_t{5}, size_t{12}, bytes.size()}) {
        const std::vector<BusFrame> frames = DecodeAll(bytes + bytes, pieceSize);
        ASSERT_EQ(frames.size(), 2u) << "piece size " << pieceSize;
        EXPECT_EQ(frames[0], frame);
        EXPECT_EQ(frames[1], frame);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fields, BusFrameRoundTrip,
    ::testing::Values(RoundTripCase{"EveryFieldSet", [](BusFrame&) {}},
                      RoundTripCase{"DefaultItem",
                                    [](BusFrame& f) {
                                        f = BusFrame{};
                                        f.kind = BusFrameKind::Post;
                                    }},
                      RoundTripCase{"HelloWithOwnPublications",
                                    [](BusFrame& f) {
                                        f.kind = BusFrameKind::Hello;
                                        f.receiveOwnPublications = true;
                                    }},
                      RoundTripCase{"NegativeAndExtremeIds",
                                    [](BusFrame& f) {
                                        f.message.receiverId = -1;
                                        f.message.senderId = INT32_MIN;
                                        f.message.msgId = INT32_MAX;
                                        f.message.timeoutMs = -7;
                                    }},
                      RoundTripCase{
                          "BodyWithTerminatorAndInnerZeros",
                          [](BusFrame& f) { f.message.body = std::string("Sil\0ent\0", 8); }},
                      RoundTripCase{"LargestBodyAndName",
                                    [](BusFrame& f) {
                                        f.message.body.assign(kMaxBusBodyBytes, 'b');
                                        f.message.senderName.assign(kMaxBusSenderNameBytes, 'n');
                                    }}),
    [](const auto& info) { return info.param.name; });

TEST(BusFrameDecoder, WaitsAtEveryTruncationPointThenCompletes) {
    const BusFrame frame = FullFrame();
    const std::string bytes = EncodeBusFrame(frame);
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
        BusFrameDecoder decoder;
        decoder.Feed(bytes.data(), cut);
        BusFrame out;
        ASSERT_EQ(decoder.Next(out), BusFrameDecoder::Status::NeedMore) << "cut at " << cut;
        decoder.Feed(bytes.data() + cut, bytes.size() - cut);
        ASSERT_EQ(decoder.Next(out), BusFrameDecoder::Status::Ready) << "cut at " << cut;
        EXPECT_EQ(out, frame);
        EXPECT_EQ(decoder.Next(out), BusFrameDecoder::Status::NeedMore);
    }
}

struct MalformedCase {
    std::string name;
    std::function<void(std::string&)> damage;
    size_t bytesFed;  // 0: all of them
    std::string reason;
};

class BusFrameMalformed : public ::testing::TestWithParam<MalformedCase> {};

void PutU32At(std::string& bytes, size_t at, uint32_t value) {
    for (size_t i = 0; i < 4; ++i) {
        bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

// Offsets in the frame: header fields, then the payload's messageLen, needReply
// and name length.
constexpr size_t kPayloadLengthAt = 8;
constexpr size_t kMessageLenAt = 12 + 28;
constexpr size_t kNeedReplyAt = 12 + 32;
constexpr size_t kNameLengthAt = 12 + 33;

TEST_P(BusFrameMalformed, IsRefusedWithItsReasonAndStaysRefused) {
    const MalformedCase& param = GetParam();
    std::string bytes = EncodeBusFrame(FullFrame());
    param.damage(bytes);
    const size_t fed = param.bytesFed == 0 ? bytes.size() : param.bytesFed;

    BusFrameDecoder decoder;
    decoder.Feed(bytes.data(), fed);
    BusFrame out;
    EXPECT_EQ(decoder.Next(out), BusFrameDecoder::Status::Malformed);
    EXPECT_EQ(decoder.Error(), param.reason);

    const std::string good = EncodeBusFrame(FullFrame());
    decoder.Feed(good.data(), good.size());
    EXPECT_EQ(decoder.Next(out), BusFrameDecoder::Status::Malformed);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, BusFrameMalformed,
    ::testing::Values(
        MalformedCase{"BadMagic", [](std::string& b) { b[0] = 'X'; }, 0, "bad magic"},
        MalformedCase{"BadMagicSeenBeforeTheHeaderIsIn", [](std::string& b) { b[2] = 'Z'; }, 3,
                      "bad magic"},
        MalformedCase{"UnsupportedVersion", [](std::string& b) { b[4] = 2; }, 5,
                      "unsupported version 2"},
        MalformedCase{"KindZero", [](std::string& b) { b[5] = 0; }, 0, "unknown frame kind 0"},
        MalformedCase{"KindPastDeliver", [](std::string& b) { b[5] = 5; }, 0,
                      "unknown frame kind 5"},
        MalformedCase{"UnknownFlag", [](std::string& b) { b[6] = 2; }, 0, "unknown flags 2"},
        MalformedCase{"ReservedByteSet", [](std::string& b) { b[7] = 1; }, 0, "reserved byte set"},
        MalformedCase{"LengthOverCapRefusedFromTheHeaderAlone",
                      [](std::string& b) { PutU32At(b, kPayloadLengthAt, 0xFFFFFFF0u); }, 12,
                      "payload length 4294967280 over the cap"},
        MalformedCase{"LengthBelowFixedFields",
                      [](std::string& b) { PutU32At(b, kPayloadLengthAt, 33); }, 0,
                      "payload length 33 below the fixed fields"},
        MalformedCase{"MessageLenShorterThanBody",
                      [](std::string& b) { PutU32At(b, kMessageLenAt, 3); }, 0,
                      "messageLen 3 does not match body of 4 bytes"},
        MalformedCase{"NegativeMessageLen",
                      [](std::string& b) { PutU32At(b, kMessageLenAt, 0xFFFFFFFFu); }, 0,
                      "messageLen -1 does not match body of 4 bytes"},
        MalformedCase{"NameRunsPastPayload",
                      [](std::string& b) { b[kNameLengthAt] = static_cast<char>(200); }, 0,
                      "sender name runs past the payload"},
        MalformedCase{"NeedReplyNotABool", [](std::string& b) { b[kNeedReplyAt] = 2; }, 0,
                      "needReply byte 2"}),
    [](const auto& info) { return info.param.name; });

TEST(BusFrameEncode, RefusesBodyOrNameOverTheCap) {
    BusFrame bigBody = FullFrame();
    bigBody.message.body.assign(kMaxBusBodyBytes + 1, 'b');
    EXPECT_EQ(EncodeBusFrame(bigBody), "");
    BusFrame longName = FullFrame();
    longName.message.senderName.assign(kMaxBusSenderNameBytes + 1, 'n');
    EXPECT_EQ(EncodeBusFrame(longName), "");
}

TEST(BusMessageView, BodyArrivesZeroTerminatedWithItsLength) {
    struct Case {
        std::string body;
        int32_t expectedLen;
        const char* expectedText;
    };
    for (const Case& c : {Case{std::string("Silent\0", 7), 7, "Silent"}, Case{"", 0, ""}}) {
        BusFrame frame;
        frame.message.body = c.body;
        const std::vector<BusFrame> frames = DecodeAll(EncodeBusFrame(frame), 1);
        ASSERT_EQ(frames.size(), 1u);
        const TagIPCMessageItem item = ViewBusMessage(frames[0].message);
        ASSERT_NE(item.message, nullptr);
        EXPECT_EQ(item.messageLen, c.expectedLen);
        EXPECT_STREQ(item.message, c.expectedText);
        EXPECT_EQ(item.message[item.messageLen], '\0');
    }
}

TEST(BusMessageCopy, TakesExactlyMessageLenBytesOrRefuses) {
    const char text[] = "quit_zarCenter and more";
    TagIPCMessageItem item;
    item.message = text;
    item.messageLen = 14;
    item.messageType = 0;
    const auto copy = CopyBusMessage(item);
    ASSERT_TRUE(copy.has_value());
    EXPECT_EQ(copy->body, "quit_zarCenter");
    EXPECT_EQ(copy->messageType, 0);

    struct Bad {
        const char* message;
        int32_t len;
    };
    for (const Bad& bad :
         {Bad{text, -1}, Bad{nullptr, 1}, Bad{text, static_cast<int32_t>(kMaxBusBodyBytes) + 1}}) {
        TagIPCMessageItem refused;
        refused.message = bad.message;
        refused.messageLen = bad.len;
        EXPECT_FALSE(CopyBusMessage(refused).has_value()) << bad.len;
    }
    TagIPCMessageItem empty;
    ASSERT_TRUE(CopyBusMessage(empty).has_value());
    EXPECT_EQ(CopyBusMessage(empty)->body, "");
}

TEST(FormatBusId, WritesLowercaseHexWithSign) {
    EXPECT_EQ(FormatBusId(0x6F0000), "0x6f0000");
    EXPECT_EQ(FormatBusId(0), "0x0");
    EXPECT_EQ(FormatBusId(-1), "-0x1");
    EXPECT_EQ(FormatBusId(INT32_MIN), "-0x80000000");
}

}  // namespace
