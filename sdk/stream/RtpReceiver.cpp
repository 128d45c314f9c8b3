#include "RtpReceiver.h"

#include "ReceiverThread.h"
#include "tarn/BufferFill.h"

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace tarn {

namespace {

// Room for any UDP datagram; a TCP read takes as much at once.
constexpr size_t kSlotSize = 65536;
constexpr int kConnectTimeoutMs = 3000;


} // namespace

RtpReceiver::RtpReceiver(ZuStream::Impl &aQueue, StreamParameters &aParameters)
    : mQueue(aQueue), mParameters(aParameters)
{
}

RtpReceiver::~RtpReceiver() { Stop(); }

ZuResult RtpReceiver::Start(const Setup &aSetup)
{
    Stop();
    mSetup = aSetup;
    if (aSetup.format.payload == Payload::Video &&
        !mVideo.Configure(aSetup.format.width, aSetup.format.height, aSetup.format.sampling, aSetup.format.paddingX))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the prepared image cannot travel as RTP video"));
    mVideo.Flush(*this);
    mH264.Flush(*this);
    mFramer = rtp::StreamFramer();
    std::string error;
    int fd = -1;
    if (aSetup.tcp) {
        mTcp = net::TcpConnection::Connect(net::Endpoint{aSetup.serverIp, aSetup.serverPort}, aSetup.localIp,
                                           kConnectTimeoutMs, &error);
        if (!mTcp.Valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error.c_str()));
        mLocal = mTcp.Local();
        fd = mTcp.GetFd();
        mSlots.Assign(1, kSlotSize);
    } else {
        net::SocketOptions options;
        options.nonBlocking = true;
        options.reuseAddress = aSetup.multicast != 0;
        net::Endpoint local{aSetup.multicast ? 0 : aSetup.localIp, aSetup.localPort};
        mSocket = net::UdpSocket::Bind(local, options, &error);
        if (!mSocket.Valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error.c_str()));
        if (aSetup.multicast && !mSocket.JoinGroup(aSetup.multicast, aSetup.localIp)) {
            mSocket = net::UdpSocket();
            return ZuResult(ZU_NETWORK_ERROR, ZuString("the multicast group could not be joined"));
        }
        mSocket.SetReceiveBuffer(0x400000);
        mLocal = mSocket.Local();
        if (!mLocal.ip && !aSetup.multicast) mLocal.ip = aSetup.localIp;
        fd = mSocket.GetFd();
        mSlots.Assign(net::UdpSocket::kMaxBatch, kSlotSize);
    }
    mAbort = false;
    mLoop.Clear();
    mLoop.Watch(fd, [](int) { return false; });
    if (!mWorker.Start([this](Worker::Control &c) { Run(c); }, [this] { mLoop.Stop(); }, aSetup.priority).IsOK()) {
        mSocket = net::UdpSocket();
        mTcp = net::TcpConnection();
        return ZuResult(ZU_THREAD_ERROR, ZuString("the receiver thread could not start"));
    }
    return ZuResult();
}

void RtpReceiver::Stop()
{
    mWorker.Stop();
    mSocket = net::UdpSocket();
    mTcp = net::TcpConnection();
    mLoop.Clear();
}

void RtpReceiver::AbortFilling()
{
    mAbort = true;
    mLoop.Stop();
}

ZuResult RtpReceiver::SetPriority(uint32_t aPriority)
{
    ZuResult result = mWorker.SetPriority(aPriority);
    if (result.GetCode() != ZU_INVALID_PARAMETER) mSetup.priority = aPriority;
    return result;
}

void RtpReceiver::Run(const Worker::Control &aControl)
{
    while (!aControl.Stopping()) {
        if (mAbort.exchange(false)) Flush(true);
        const net::PollLoop::Exit exit = mLoop.Run(-1);
        if (exit == net::PollLoop::Exit::Done) Drain();
        else if (exit == net::PollLoop::Exit::Failed) break;
    }
    // What is being filled ends before the stream says it stopped.
    Flush(true);
}

void RtpReceiver::Drain()
{
    if (mSetup.tcp) {
        const long n = mTcp.Receive(mSlots[0].data, kSlotSize);
        if (n > 0) {
            mFramer.Feed(mSlots[0].data, size_t(n), [this](const uint8_t *p, size_t size) { Feed(p, size); });
        } else if (n == 0 || (errno != EAGAIN && errno != EINTR)) {
            // The server went: what was under way ends, the stream stays
            // open without a connection until it is closed.
            Flush(false);
            mLoop.Clear();
        }
        return;
    }
    const int count = mSocket.ReceiveMany(mSlots.Data(), mSlots.Size());
    for (int k = 0; k < count; ++k)
        if (!mSlots[k].truncated) Feed(mSlots[k].data, mSlots[k].size);
}

void RtpReceiver::Feed(const uint8_t *aData, size_t aSize)
{
    mParameters.Add(StreamParameters::PacketCount, 1);
    mParameters.Add(StreamParameters::ByteCount, int64_t(aSize));
    rtp::Packet packet;
    if (!rtp::Parse(aData, aSize, packet)) {
        mParameters.Add(StreamParameters::PacketsIgnored, 1);
        return;
    }
    if (mSetup.format.payload == Payload::Video) mVideo.Feed(packet, *this);
    else mH264.Feed(packet, *this);
}

void RtpReceiver::Flush(bool aAborted)
{
    mAborting = aAborted;
    mVideo.Flush(*this);
    mH264.Flush(*this);
    mAborting = false;
}

rtp::FrameSink::Memory RtpReceiver::Begin(uint32_t)
{
    mFilling = mQueue.Take();
    if (!mFilling) {
        mParameters.Add(StreamParameters::BlocksDropped, 1);
        return Memory();
    }
    Memory m{mFilling->GetDataPointer(), mFilling->GetSize()};
    if (!m.data) m.size = 0;
    if (!m.size) {
        // A buffer without memory: it comes back at once, too small.
        BufferFill &fill = FillOf(*mFilling);
        fill.Clear();
        fill.requiredSize = mSetup.format.payload == Payload::Video ? uint32_t(mVideo.FrameSize()) : 1;
        ZuResult result(ZU_BUFFER_TOO_SMALL, ZuString("the frame does not fit the buffer"));
        fill.operationResult = result;
        mParameters.Add(StreamParameters::BlocksBufferTooSmall, 1);
        mQueue.Done(mFilling, result);
        mFilling = nullptr;
    }
    return m;
}

void RtpReceiver::End(const Memory &aMemory, size_t aBytes, bool aComplete, uint32_t aTimestamp)
{
    ZuBuffer *buffer = mFilling;
    mFilling = nullptr;
    if (!buffer) return;
    const bool video = mSetup.format.payload == Payload::Video;
    const bool tooSmall = video ? aMemory.size < mVideo.FrameSize() : mH264.Cut();
    ZuResult result;
    StreamParameters::Id counter = StreamParameters::BlockCount;
    if (mAborting) {
        result = ZuResult(ZU_ABORTED);
        counter = StreamParameters::BlocksAborted;
    } else if (tooSmall) {
        result = ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the frame does not fit the buffer"));
        counter = StreamParameters::BlocksBufferTooSmall;
    } else if (!aComplete) {
        result = ZuResult(ZU_MISSING_PACKETS, ZuString("packets of the frame were lost or damaged"));
        counter = StreamParameters::BlocksMissingPackets;
    }
    BufferFill &fill = FillOf(*buffer);
    fill.Clear();
    fill.leader.valid = true;
    fill.leader.blockID = ++mBlockId;
    fill.leader.timestamp = aTimestamp;
    fill.trailer.valid = aComplete;
    fill.operationResult = result;
    fill.acquiredSize = uint32_t(std::min<size_t>(std::min(aBytes, aMemory.size), UINT32_MAX));
    if (tooSmall && video) fill.requiredSize = uint32_t(std::min<size_t>(mVideo.FrameSize(), UINT32_MAX));
    fill.receptionTime = receiver::WallNs();
    if (!tooSmall) {
        ReceivedLayout layout;
        if (video) {
            layout.payloadType = ZuPayloadTypeImage;
            layout.width = mSetup.format.width;
            layout.height = mSetup.format.height;
            layout.paddingXBytes = mSetup.format.paddingX;
            layout.pixelType = mSetup.format.pixelType;
            layout.dataLength = uint32_t(mVideo.FrameSize());
        } else {
            layout.payloadType = ZuPayloadTypeRawData;
            layout.dataLength = fill.acquiredSize;
        }
        DescribeReceived(*buffer, layout);
    }
    mParameters.Add(counter, 1);
    mQueue.Done(buffer, result);
}

} // namespace tarn
