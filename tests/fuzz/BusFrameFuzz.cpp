// The bus frame decoder against arbitrary bytes, as a hostile peer would send
// them. The first byte sets how the rest arrives: in one piece, or in pieces of
// 1 to 64 bytes. The decoder must give the same frames and the same verdict
// either way, each frame must be exactly the bytes it was decoded from (so
// nothing is misread or skipped), and a refused stream stays refused.
#include "BusFrame.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

constexpr size_t kMaxPieceBytes = 64;

struct Decoded {
    std::vector<BusFrame> frames;
    BusFrameDecoder::Status last = BusFrameDecoder::Status::NeedMore;
    std::string error;
};

void Require(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "bus frame decoder: %s\n", what);
        std::abort();
    }
}

// Takes every frame out of what has arrived, as the broker and the client do.
void Drain(BusFrameDecoder& decoder, Decoded& out) {
    if (out.last == BusFrameDecoder::Status::Malformed) {
        return;
    }
    BusFrame frame;
    while ((out.last = decoder.Next(frame)) == BusFrameDecoder::Status::Ready) {
        out.frames.push_back(frame);
    }
}

Decoded Decode(const std::string& stream, size_t pieceBytes) {
    BusFrameDecoder decoder;
    Decoded out;
    for (size_t at = 0; at < stream.size(); at += pieceBytes) {
        const size_t count = std::min(pieceBytes, stream.size() - at);
        decoder.Feed(stream.data() + at, count);
        Drain(decoder, out);
    }
    Drain(decoder, out);
    out.error = decoder.Error();
    if (out.last == BusFrameDecoder::Status::Malformed) {
        // Once refused, more bytes (even a valid frame) change nothing.
        decoder.Feed(stream.data(), stream.size());
        BusFrame frame;
        Require(decoder.Next(frame) == BusFrameDecoder::Status::Malformed,
                "a refused stream was taken up again");
        Require(!out.error.empty(), "refused without a reason");
    } else {
        Require(out.error.empty(), "a reason given for a stream that was not refused");
    }
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const size_t pieceBytes = data[0] % (kMaxPieceBytes + 1);
    const std::string stream(reinterpret_cast<const char*>(data) + 1, size - 1);

    const Decoded whole = Decode(stream, stream.size() + 1);
    const Decoded pieces = Decode(stream, pieceBytes == 0 ? stream.size() + 1 : pieceBytes);
    Require(whole.frames == pieces.frames, "frames depend on how the bytes arrived");
    Require(whole.last == pieces.last, "verdict depends on how the bytes arrived");
    Require(whole.error == pieces.error, "reason depends on how the bytes arrived");

    std::string encoded;
    for (const BusFrame& frame : whole.frames) {
        const std::string bytes = EncodeBusFrame(frame);
        Require(!bytes.empty(), "a decoded frame cannot be encoded again");
        encoded += bytes;
    }
    Require(stream.compare(0, encoded.size(), encoded) == 0,
            "decoded frames are not the bytes they came from");
    return 0;
}
