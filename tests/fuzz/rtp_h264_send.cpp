// H.264 to RTP: any bytes as an Annex B access unit, cut into packets of a
// size the first byte picks; every packet fits, parses, and the packets read
// back into one complete access unit with the marker on the last alone.
#include "rtp_feed.h"

#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (aSize < 1) return 0;
    const size_t maxPacket = tarn::rtp::kHeaderSize + 3 + aData[0];
    // An exact-size copy, so that a read past the unit is seen.
    const size_t size = aSize - 1;
    std::unique_ptr<uint8_t[]> unit(new uint8_t[size ? size : 1]);
    if (size) std::memcpy(unit.get(), aData + 1, size);
    tarn::rtp::H264Packetizer packetizer(96, 1);
    tarn::rtp::H264Depacketizer depacketizer;
    fuzz_rtp::Sink sink(size * 2 + 16);
    size_t packets = 0;
    bool marked = false;
    const bool sent = packetizer.Send(unit.get(), size, 90, maxPacket, [&](const uint8_t *p, size_t n) {
        tarn::rtp::Packet packet;
        if (n > maxPacket || marked || !tarn::rtp::Parse(p, n, packet)) std::abort();
        marked = packet.marker;
        depacketizer.Feed(packet, sink);
        ++packets;
    });
    if (sent != (packets > 0) || (sent && (!marked || depacketizer.Frames() != 1 || depacketizer.Incomplete() != 0)))
        std::abort();
    return 0;
}
