// Uncompressed video over RTP: any bytes as RTP packets framed for TCP, into
// a frame whose size and sampling the first byte picks.
#include "rtp_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (aSize < 1) return 0;
    static const tarn::rtp::Sampling kSamplings[] = {{1, 1}, {3, 1}, {4, 1}, {4, 2}};
    const uint32_t width = 2 * (1 + (aData[0] >> 2 & 7)), height = 1 + (aData[0] >> 5);
    tarn::rtp::RawVideoDepacketizer depacketizer;
    if (!depacketizer.Configure(width, height, kSamplings[aData[0] & 3], aData[0] & 1)) return 0;
    fuzz_rtp::Sink sink(depacketizer.FrameSize());
    fuzz_rtp::Feed(aData + 1, aSize - 1, depacketizer, sink);
    return 0;
}
