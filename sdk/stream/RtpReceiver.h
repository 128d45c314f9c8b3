#ifndef TARN_STREAM_RTP_RECEIVER_H
#define TARN_STREAM_RTP_RECEIVER_H

// The receiver of an RTP stream: one thread reads the UDP socket in batches
// (or the TCP connection through its framing) into memory set aside at the
// start, and the depacketiser of the prepared payload writes each packet
// straight into the buffer the application queued. Nothing is allocated
// per packet.

#include "StreamImpl.h"
#include "ZuPixelType.h"
#include "StreamParameters.h"
#include "net/poll_loop.h"
#include "net/socket.h"
#include "rtp/rtp.h"
#include "tarn/Worker.h"

#include <atomic>
#include <vector>

namespace tarn {

class RtpReceiver : public ZuStream::Impl::Receiver, private rtp::FrameSink
{
public:
    enum class Payload { None, Video, H264 };
    struct Format {
        Payload payload = Payload::None;
        uint32_t width = 0, height = 0;
        uint16_t paddingX = 0;
        ZuPixelType pixelType = ZuPixelUndefined;
        rtp::Sampling sampling;
    };
    struct Setup {
        Format format;
        uint32_t localIp = 0;
        uint16_t localPort = 0;
        uint32_t multicast = 0;   // a group to join
        uint32_t serverIp = 0;    // TCP: the server
        uint16_t serverPort = 0;
        bool tcp = false;
        uint32_t priority = 0;
    };

    RtpReceiver(ZuStream::Impl &aQueue, StreamParameters &aParameters);
    ~RtpReceiver() override;

    ZuResult Start(const Setup &aSetup);
    void Stop() override;
    void AbortFilling() override;
    ZuResult SetPriority(uint32_t aPriority);
    net::Endpoint Local() const { return mLocal; }

private:
    void Run(const Worker::Control &aControl);
    void Drain();
    void Feed(const uint8_t *aData, size_t aSize);
    void Flush(bool aAborted);

    Memory Begin(uint32_t aTimestamp) override;
    void End(const Memory &aMemory, size_t aBytes, bool aComplete, uint32_t aTimestamp) override;

    ZuStream::Impl &mQueue;
    StreamParameters &mParameters;
    Setup mSetup;
    net::UdpSocket mSocket;
    net::TcpConnection mTcp;
    net::PollLoop mLoop;
    net::Endpoint mLocal;
    rtp::RawVideoDepacketizer mVideo;
    rtp::H264Depacketizer mH264;
    rtp::StreamFramer mFramer;
    net::ReceiveSlots mSlots;
    ZuBuffer *mFilling = nullptr;
    uint64_t mBlockId = 0;
    bool mAborting = false;
    Worker mWorker;
    std::atomic<bool> mAbort{false};
};

} // namespace tarn

#endif
