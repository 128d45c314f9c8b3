#ifndef TARN_STREAM_GEV_RECEIVER_H
#define TARN_STREAM_GEV_RECEIVER_H

// The user-mode receiver of a GigE Vision stream: one thread reads the
// socket in batches, each datagram's header into packet memory set aside
// at the start and, where the reassembler expects the packet, its payload
// straight onto its place in the buffer the application queued; it hands
// each packet to the reassembler, which places what did not land where
// expected, and sends packet-resend requests to the device's control
// port. Nothing is allocated per packet. From our own devices the
// packets may come over TCP instead (gev/tcp.h), each framed, into the same
// reassembly; the UDP socket still takes whatever comes as datagrams.

#include "StreamImpl.h"
#include "StreamParameters.h"
#include "tarn/BufferFill.h"
#include "gev/gvcp.h"
#include "gev/reassembler.h"
#include "gev/tcp.h"
#include "net/poll_loop.h"
#include "net/socket.h"
#include "tarn/Worker.h"

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace tarn {

class GevReceiver : public ZuStream::Impl::Receiver, private gvsp::ReassemblerSink
{
public:
    struct Setup {
        uint32_t deviceIp = 0;
        uint32_t localIp = 0;         // 0: any
        uint16_t localPort = 0;       // 0: the system chooses
        uint32_t multicast = 0;       // a group to join, 0 for unicast
        uint16_t channel = 0;
        uint32_t socketBuffer = 0;    // requested SO_RCVBUF
        uint32_t packetBuffer = 17000;
        uint32_t priority = 0;
        uint16_t tcpPort = 0;         // the device's stream port on TCP, 0: UDP only
    };

    // What a device answers when asked over GVCP, from a socket of its own,
    // for the TCP stream port it offers for a channel: whether it answered
    // at all (from its control port), and the port (0: it offers none).
    struct Offer {
        bool answered = false;
        uint16_t tcpPort = 0;
    };
    // Asks aAttempts times with one request id, waiting aWaitMs for each
    // (gvcpclient/exchange.h).
    static Offer AskOffer(uint32_t aDeviceIp, uint16_t aChannel, int aWaitMs, int aAttempts = 1);

    GevReceiver(ZuStream::Impl &aQueue, StreamParameters &aParameters);
    ~GevReceiver() override;

    ZuResult Start(const Setup &aSetup);
    void Stop() override;
    void AbortFilling() override;
    // Drops what waits in the socket; returns once done.
    void Flush();
    ZuResult SetPriority(uint32_t aPriority);

    bool Running() const { return mWorker.Running(); }
    net::Endpoint Local() const { return mLocal; }
    int SocketBuffer() const { return mSocketBuffer; }
    // Whether packets come over a TCP connection (until the device ends it).
    bool OverTcp() const { return mOverTcp; }

    // The kernel's limit of a socket's receive buffer (rmem_max), 0 unknown.
    static uint32_t ReceiveBufferLimit();

private:
    void Run(const Worker::Control &aControl);
    void Configure();
    // Handles what waits in the socket; the datagrams received. With
    // aWait it first waits for one (the socket's receive time-out at
    // most), and aNowUs becomes the time it came.
    size_t Drain(uint64_t &aNowUs, bool aDrop, bool aWait = false);
    // Hands a batch of datagrams to the reassembler, the first aLandings
    // received with the landings it expected.
    void Place(size_t aCount, size_t aLandings, uint64_t aNowUs);
    size_t DrainTcp(uint64_t aNowUs, bool aDrop);
    void Watch();
    void Publish();

    bool Acquire(uint64_t aBlockId, gvsp::Destination &aDestination) override;
    void RequestResend(uint64_t aBlockId, bool aExtendedId, uint32_t aFirst, uint32_t aLast) override;
    void Complete(const gvsp::BlockResult &aResult) override;

    ZuStream::Impl &mQueue;
    StreamParameters &mParameters;
    Setup mSetup;
    net::UdpSocket mSocket;
    net::TcpConnection mTcp;
    gev::FrameReader mFrames;
    std::atomic<bool> mOverTcp{false};
    net::PollLoop mLoop;
    net::Endpoint mLocal;
    int mSocketBuffer = 0;
    gvsp::Reassembler mReassembler;
    uint64_t mSettingsVersion = UINT64_MAX;
    gvsp::StreamCounters mPublished;
    net::ReceiveSlots mSlots;
    gvsp::Reassembler::Landing mLandings[net::UdpSocket::kMaxBatch];
    size_t mBatch = net::UdpSocket::kMaxBatch;  // slots the next receive asks for
    std::vector<ReceivedPart> mParts;   // kept for the next block
    gvcp::RequestIds mRequestIds;
    Worker mWorker;
    std::atomic<bool> mAbort{false};
    std::atomic<bool> mFlush{false};
    std::mutex mFlushLock;
    std::condition_variable mFlushed;
};

} // namespace tarn

#endif
