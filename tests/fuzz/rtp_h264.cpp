// H.264 over RTP: any bytes as RTP packets framed for TCP, into access units
// in memory whose size the first byte picks.
#include "rtp_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *aData, size_t aSize)
{
    if (aSize < 1) return 0;
    tarn::rtp::H264Depacketizer depacketizer;
    fuzz_rtp::Sink sink(1 + size_t(aData[0]) * 4);
    fuzz_rtp::Feed(aData + 1, aSize - 1, depacketizer, sink);
    return 0;
}
