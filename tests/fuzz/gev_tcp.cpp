// Bytes as they arrive on one of our TCP connections, cut into frames in
// reads of a size the first byte picks; and the first 64 bytes as a
// device's TCP offer.
#include "gev/tcp.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

using namespace tarn::gev;

namespace {

void Require(bool aHolds)
{
    if (!aHolds) abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (aSize < 1) return 0;
    const size_t read = size_t(aData[0]) * 13 + 1;
    const uint8_t *bytes = aData + 1;
    const size_t count = aSize - 1;

    // A small limit, so that oversized frames are reached often.
    constexpr size_t kLimit = 1500;
    FrameReader reader(kLimit);
    size_t at = 0, framed = 0;
    while (at < count) {
        size_t room = 0;
        uint8_t *space = reader.Space(room);
        if (!room) {
            Require(reader.Bad());
            break;
        }
        const size_t n = std::min({room, read, count - at});
        std::memcpy(space, bytes + at, n);
        reader.Commit(n);
        at += n;
        const uint8_t *frame = nullptr;
        size_t size = 0;
        while (reader.NextFrame(frame, size) == FrameReader::Next::Frame) {
            Require(size >= 1 && size <= kLimit);
            // The frame is the bytes after its header, as they came.
            Require(std::memcmp(frame, bytes + framed + kFrameHeaderSize, size) == 0);
            framed += kFrameHeaderSize + size;
        }
    }
    Require(reader.Bad() || framed + reader.Pending() == at);

    if (auto offer = TcpAdvertisement::Decode(bytes, count)) {
        Require(offer->streamPorts.size() <= tcpreg::MaxStreamChannels);
        auto again = TcpAdvertisement::Decode(offer->Encode().data(), tcpreg::Size);
        Require(again && again->controlPort == offer->controlPort && again->streamPorts == offer->streamPorts);
    }
    return 0;
}
