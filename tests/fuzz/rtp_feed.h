// What the RTP fuzz targets share: frame memory between guard bytes, and the
// input's bytes as RTP packets framed for TCP, fed to a depacketiser with
// the guards checked after every packet.
#include "rtp/rtp.h"

#include <cstdlib>
#include <vector>

namespace fuzz_rtp {

struct Sink : tarn::rtp::FrameSink {
    std::vector<uint8_t> memory;
    size_t size = 0;
    explicit Sink(size_t aSize) : memory(aSize + 32, 0xA5), size(aSize) {}
    Memory Begin(uint32_t) override { return Memory{memory.data() + 16, size}; }
    void End(const Memory &, size_t aBytes, bool, uint32_t) override
    {
        if (aBytes > size) std::abort();
    }
};

template <class Depacketizer> void Feed(const uint8_t *aData, size_t aSize, Depacketizer &aDepacketizer, Sink &aSink)
{
    tarn::rtp::StreamFramer framer;
    framer.Feed(aData, aSize, [&](const uint8_t *p, size_t n) {
        tarn::rtp::Packet packet;
        if (tarn::rtp::Parse(p, n, packet)) aDepacketizer.Feed(packet, aSink);
        for (size_t k = 0; k < 16; ++k)
            if (aSink.memory[k] != 0xA5 || aSink.memory[aSink.memory.size() - 1 - k] != 0xA5) std::abort();
    });
    aDepacketizer.Flush(aSink);
}

} // namespace fuzz_rtp
