// capisim's frame reader on a byte stream that arrives in pieces, and the decoding of
// every frame. Beyond not crashing: the frames do not depend on the piece sizes, and a
// frame re-framed and read again gives back the same payload.
#include "tools/capisim/Protocol.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

using capisim::Bytes;
using capisim::FrameReader;

namespace {

// Every frame that the reader gives now; the final status in status.
std::vector<Bytes> drain(FrameReader &reader, FrameReader::Status &status)
{
    std::vector<Bytes> frames;
    Bytes payload;
    while ((status = reader.next(payload)) == FrameReader::Status::Frame)
        frames.push_back(std::move(payload)); // next() assigns it afresh
    return frames;
}

// Checks one frame's payload; returns it framed again.
Bytes checkFrame(const Bytes &payload)
{
    if (payload.size() > capisim::kMaxFrame)
        std::abort();
    (void)capisim::parseManagement(payload);
    const capisim::Decoded d = capisim::decode(payload);
    if (d.name.empty())
        std::abort();

    FrameReader again;
    const Bytes framed = capisim::frame(payload);
    again.feed(framed.data(), framed.size());
    FrameReader::Status status;
    const std::vector<Bytes> back = drain(again, status);
    if (back.size() != 1 || back[0] != payload || status != FrameReader::Status::NeedMore)
        std::abort();
    return framed;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    if (size == 0)
        return 0;
    const std::size_t chunk = 1 + data[0] % 64;
    const std::uint8_t *stream = data + 1;
    const std::size_t length = size - 1;

    FrameReader whole;
    whole.feed(stream, length);
    FrameReader::Status wholeStatus;
    const std::vector<Bytes> expected = drain(whole, wholeStatus);

    FrameReader pieces;
    std::vector<Bytes> got;
    FrameReader::Status status = FrameReader::Status::NeedMore;
    for (std::size_t at = 0; at < length; at += chunk) {
        pieces.feed(stream + at, std::min(chunk, length - at));
        for (Bytes &f : drain(pieces, status))
            got.push_back(std::move(f));
    }
    if (length == 0)
        drain(pieces, status);
    if (got != expected || status != wholeStatus || pieces.error() != whole.error())
        std::abort();

    // The frames are the stream's front, byte for byte.
    std::size_t at = 0;
    for (const Bytes &payload : expected) {
        const Bytes framed = checkFrame(payload);
        if (!std::equal(framed.begin(), framed.end(), stream + at))
            std::abort();
        at += framed.size();
    }
    return 0;
}
