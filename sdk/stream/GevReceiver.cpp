#include "GevReceiver.h"

#include "gev/gvcp.h"
#include "gvcpclient/exchange.h"
#include "ReceiverThread.h"
#include "tarn/BufferFill.h"

#include <algorithm>
#include <chrono>
#include <fstream>

namespace tarn {

namespace {

constexpr int kConnectMs = 1000;
// The longest a receive waits for the next datagram of a flowing stream:
// a stop, flush or abort asked meanwhile waits as long at most.
constexpr uint64_t kFlowWaitUs = 2000;
// The fewest slots a receive asks for.
constexpr size_t kLeastBatch = 8;

uint64_t NowUs()
{
    return uint64_t(std::chrono::duration_cast<std::chrono::microseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count());
}

ZuPayloadType PayloadTypeOf(uint16_t aType)
{
    if (aType == gvsp::PAYLOAD_COMPRESSED) return ZuPayloadTypeMorvekCompressed;
    switch (gvsp::basePayloadType(aType)) {
    case gvsp::PAYLOAD_IMAGE: return gvsp::hasChunks(aType) ? ZuPayloadTypeExtendedChunkData : ZuPayloadTypeImage;
    case gvsp::PAYLOAD_RAW: return ZuPayloadTypeRawData;
    case gvsp::PAYLOAD_FILE: return ZuPayloadTypeFile;
    case gvsp::PAYLOAD_CHUNK: return ZuPayloadTypeChunkData;
    case gvsp::PAYLOAD_EXTENDED_CHUNK_OLD: return ZuPayloadTypeExtendedChunkData;
    case gvsp::PAYLOAD_JPEG: return ZuPayloadTypeJPEG;
    case gvsp::PAYLOAD_JPEG2000: return ZuPayloadTypeJPEG2000;
    case gvsp::PAYLOAD_H264: return ZuPayloadTypeH264;
    case gvsp::PAYLOAD_MULTIZONE: return ZuPayloadTypeMultiZoneImage;
    case gvsp::PAYLOAD_MULTIPART: return ZuPayloadTypeMultiPart;
    case gvsp::PAYLOAD_GENDC: return ZuPayloadTypeGenDC;
    }
    return ZuPayloadType(aType);
}

ZuResult ResultOf(const gvsp::BlockResult &aResult)
{
    switch (aResult.outcome) {
    case gvsp::Outcome::Complete: return ZuResult();
    case gvsp::Outcome::MissingPackets:
        return ZuResult(ZU_MISSING_PACKETS, ZuString("packets of the block were lost"));
    case gvsp::Outcome::TooManyResends:
        return ZuResult(ZU_TOO_MANY_RESENDS, ZuString("more packets were lost than may be asked for again"));
    case gvsp::Outcome::BufferTooSmall:
        return ZuResult(ZU_BUFFER_TOO_SMALL, ZuString("the block does not fit the buffer"));
    case gvsp::Outcome::Aborted: return ZuResult(ZU_ABORTED);
    }
    return ZuResult(ZU_GENERIC_ERROR);
}

} // namespace

GevReceiver::GevReceiver(ZuStream::Impl &aQueue, StreamParameters &aParameters)
    : mQueue(aQueue), mParameters(aParameters), mReassembler(*this)
{
}

GevReceiver::~GevReceiver() { Stop(); }

uint32_t GevReceiver::ReceiveBufferLimit()
{
    std::ifstream in("/proc/sys/net/core/rmem_max");
    uint64_t value = 0;
    if (!(in >> value)) return 0;
    return uint32_t(std::min<uint64_t>(value, INT32_MAX));
}

ZuResult GevReceiver::Start(const Setup &aSetup)
{
    Stop();
    mSetup = aSetup;
    net::SocketOptions options;
    // Blocking, for the receive that waits while a stream flows; every
    // other receive asks not to wait.
    options.nonBlocking = false;
    options.reuseAddress = aSetup.multicast != 0;
    std::string error;
    net::Endpoint local{aSetup.multicast ? 0 : aSetup.localIp, aSetup.localPort};
    mSocket = net::UdpSocket::Bind(local, options, &error);
    if (!mSocket.Valid()) return ZuResult(ZU_NETWORK_ERROR, ZuString(error.c_str()));
    if (aSetup.multicast && !mSocket.JoinGroup(aSetup.multicast, aSetup.localIp)) {
        mSocket = net::UdpSocket();
        return ZuResult(ZU_NETWORK_ERROR, ZuString("the multicast group could not be joined"));
    }
    uint32_t limit = ReceiveBufferLimit();
    uint32_t request = aSetup.socketBuffer ? aSetup.socketBuffer : std::min<uint32_t>(limit ? limit : 0x400000, 0x4000000);
    if (limit) request = std::min(request, limit);
    mSocket.SetReceiveTimeout(std::chrono::microseconds(kFlowWaitUs));
    mSocketBuffer = mSocket.SetReceiveBuffer(int(request));
    if (mSocketBuffer < 0) mSocketBuffer = mSocket.ReceiveBuffer();
    mParameters.Set(StreamParameters::SocketRxBufferSize, mSocketBuffer);
    mLocal = mSocket.Local();
    if (mLocal.ip == 0 && !aSetup.multicast) mLocal.ip = net::localAddressToward(aSetup.deviceIp);
    mTcp = net::TcpConnection();
    if (aSetup.tcpPort && !aSetup.multicast) {
        // From the address and port of the UDP socket, which the device is
        // told as the stream's destination: that is how it knows which
        // connection is this stream's. Without it the device sends
        // datagrams as to anyone.
        mTcp = net::TcpConnection::Connect({aSetup.deviceIp, aSetup.tcpPort}, mLocal, kConnectMs);
        mFrames.Reset();
    }
    mOverTcp = mTcp.Valid();

    mSlots.Assign(net::UdpSocket::kMaxBatch, aSetup.packetBuffer);
    mReassembler.Reset();
    mReassembler.ResetCounters();
    mPublished = gvsp::StreamCounters();
    mSettingsVersion = UINT64_MAX;
    Configure();
    mAbort = false;
    mFlush = false;
    Watch();
    if (!mWorker.Start([this](Worker::Control &c) { Run(c); }, [this] { mLoop.Stop(); }, aSetup.priority).IsOK()) {
        mSocket = net::UdpSocket();
        mTcp = net::TcpConnection();
        return ZuResult(ZU_THREAD_ERROR, ZuString("the receiver thread could not start"));
    }
    return ZuResult();
}

GevReceiver::Offer GevReceiver::AskOffer(uint32_t aDeviceIp, uint16_t aChannel, int aWaitMs, int aAttempts)
{
    Offer offer;
    if (aAttempts < 1) return offer;
    gvcpclient::Exchange exchange;
    // Only the device's control port speaks for the device.
    if (!exchange.Add({{net::localAddressToward(aDeviceIp), 0}, {{aDeviceIp, gvcp::kPort}}})) return offer;
    gvcpclient::Exchange::Request request;
    request.id = exchange.NextId();
    request.packet = gvcp::ReadMemCmd{gev::tcpreg::Advertisement, uint16_t(gev::tcpreg::Size)}.Encode(request.id);
    request.answer = gvcp::READMEM_ACK;
    request.retries = uint32_t(aAttempts - 1);
    request.wait = std::chrono::milliseconds(aWaitMs);
    exchange.Ask(request, [&](const gvcpclient::Exchange::Answer &aAnswer) {
        // An error or anything but an offer still is an answer: the device
        // is there and streams over UDP.
        offer.answered = true;
        if (aAnswer.ack.header.status != gvcp::STATUS_SUCCESS) return true;
        auto memory = gvcp::ReadMemAck::Decode(aAnswer.ack);
        if (!memory || memory->address != gev::tcpreg::Advertisement) return true;
        auto advertised = gev::TcpAdvertisement::Decode(memory->data.data(), memory->data.size());
        if (advertised) offer.tcpPort = advertised->StreamPort(aChannel);
        return true;
    });
    return offer;
}

void GevReceiver::Stop()
{
    mWorker.Stop();
    mSocket = net::UdpSocket();
    mTcp = net::TcpConnection();
    mOverTcp = false;
    mLoop.Clear();
}

void GevReceiver::Watch()
{
    mLoop.Clear();
    mLoop.Watch(mSocket.GetFd(), [](int) { return false; });
    if (mTcp.Valid()) mLoop.Watch(mTcp.GetFd(), [](int) { return false; });
}

void GevReceiver::AbortFilling()
{
    mAbort = true;
    mLoop.Stop();
}

void GevReceiver::Flush()
{
    // A run that ends clears the request too.
    if (!mWorker.Running()) return;
    std::unique_lock<std::mutex> guard(mFlushLock);
    mFlush = true;
    mLoop.Stop();
    mFlushed.wait(guard, [this] { return !mFlush.load() || !mWorker.Running(); });
}

ZuResult GevReceiver::SetPriority(uint32_t aPriority)
{
    ZuResult result = mWorker.SetPriority(aPriority);
    if (result.GetCode() != ZU_INVALID_PARAMETER) mSetup.priority = aPriority;
    return result;
}

void GevReceiver::Configure()
{
    uint64_t version = mParameters.SettingsVersion();
    if (version == mSettingsVersion) return;
    mSettingsVersion = version;
    gvsp::ReassemblerConfig c;
    c.resendEnabled = mParameters.Get(StreamParameters::RequestMissingPackets) != 0;
    c.waitForLeader = mParameters.Get(StreamParameters::StartStreamOnlyOnPacketIdZero) != 0;
    c.resendDelayUs = uint32_t(mParameters.Get(StreamParameters::ResendRequestDelay));
    c.resendTimeoutUs = uint32_t(mParameters.Get(StreamParameters::ResendRequestTimeout));
    c.maxResendsPerPacket = uint32_t(mParameters.Get(StreamParameters::MaximumResendRequestsPerPacket));
    c.maxResendPacketsPerBlock = uint32_t(mParameters.Get(StreamParameters::MaximumResendPacketsPerBlock));
    c.blockTimeoutUs = uint32_t(mParameters.Get(StreamParameters::BlockTimeout));
    mReassembler.Configure(c);
}

void GevReceiver::Run(const Worker::Control &aControl)
{
    // While datagrams keep coming, the thread waits for the next ones in
    // the receive itself: one system call a batch, where the poll first
    // would be two. Stop, flush and abort wake only the poll, so that wait
    // is short (kFlowWaitUs) and is made only while no deadline falls
    // within it; once it finds nothing, the stream went quiet and the poll
    // waits again, the processor idle.
    bool flowing = false;
    uint64_t now = NowUs();
    while (!aControl.Stopping()) {
        Configure();
        if (mAbort.load(std::memory_order_relaxed) && mAbort.exchange(false)) mReassembler.Abort();
        if (mFlush.load()) {
            now = NowUs();
            Drain(now, true);
            std::lock_guard<std::mutex> guard(mFlushLock);
            mFlush = false;
            mFlushed.notify_all();
        }
        const uint64_t deadline = mReassembler.NextDeadline();
        if (flowing && !mTcp.Valid() && (deadline == UINT64_MAX || deadline >= now + kFlowWaitUs)) {
            flowing = Drain(now, false, true) > 0;
        } else {
            now = NowUs();
            int timeout = 100;
            if (deadline != UINT64_MAX)
                timeout = deadline <= now ? 0 : int(std::min<uint64_t>((deadline - now + 999) / 1000, 100));
            // Each run ends after one readable event, so that requests and
            // deadlines are looked at between batches.
            // Packets are not left to gather by sleeping: on a shared core a
            // thread that gives its core away gets it back when the scheduler
            // says, and the socket overflows first. Woken less often, it finds
            // more waiting anyway.
            net::PollLoop::Exit exit = mLoop.Run(timeout);
            now = NowUs();
            flowing = exit == net::PollLoop::Exit::Done && Drain(now, false) > 0;
        }
        mReassembler.OnTick(now);
        Publish();
    }
    mReassembler.Abort();
    Publish();
    std::lock_guard<std::mutex> guard(mFlushLock);
    mFlush = false;
    mFlushed.notify_all();
}

size_t GevReceiver::DrainTcp(uint64_t aNowUs, bool aDrop)
{
    size_t total = 0;
    // A bounded number of reads, as for datagrams.
    for (int reads = 0; reads < 64 && mTcp.Valid(); ++reads) {
        bool drained = false;  // a short read: the socket holds no more now
        const auto read = mFrames.FillFrom([&](uint8_t *aTo, size_t aRoom) {
            const long n = mTcp.Receive(aTo, aRoom);
            drained = n > 0 && size_t(n) < aRoom;
            return n;
        });
        if (read == gev::FrameReader::Fill::Nothing) break;
        const uint8_t *frame = nullptr;
        size_t size = 0;
        while (mFrames.NextFrame(frame, size) == gev::FrameReader::Next::Frame) {
            ++total;
            if (!aDrop) mReassembler.OnPacket(frame, size, aNowUs);
        }
        if (read == gev::FrameReader::Fill::Ended || mFrames.Bad()) {
            // The device went or broke the framing: what is missing of the
            // blocks under way ends them as lost packets would.
            if (mFrames.Bad()) mParameters.Add(StreamParameters::PacketsIgnored, 1);
            mTcp = net::TcpConnection();
            mOverTcp = false;
            Watch();
            break;
        }
        if (drained) break;
    }
    return total;
}

size_t GevReceiver::Drain(uint64_t &aNowUs, bool aDrop, bool aWait)
{
    size_t total = mTcp.Valid() ? DrainTcp(aNowUs, aDrop) : 0;
    // A bounded number of batches, so that a flood cannot starve requests.
    for (int batch = 0; batch < 64; ++batch) {
        // The payloads the reassembler expects go straight onto their
        // landings in the block's memory.
        gvsp::Reassembler::Expectation e;
        if (!aDrop) e = mReassembler.Expect(mLandings, std::min(mBatch, mSlots.Size()), mSlots[0].capacity);
        const size_t want = aDrop ? mSlots.Size() : e.batch;
        for (size_t k = 0; k < want; ++k) {
            net::Datagram &d = mSlots[k];
            d.landing = k < e.landings ? mLandings[k].at : nullptr;
            d.landingSize = k < e.landings ? mLandings[k].size : 0;
            d.head = e.headerSize;
        }
        const bool wait = aWait && batch == 0;
        int got = mSocket.ReceiveMany(mSlots.Data(), want, wait);
        if (wait) aNowUs = NowUs();
        if (got <= 0) return total;
        total += size_t(got);
        if (!aDrop) Place(size_t(got), e.landings, aNowUs);
        // Every slot asked for is set up, filled or not: a batch asks for
        // twice what the last found (at least kLeastBatch), and one that
        // comes back full for twice as many at once. With the core to itself
        // a wake-up finds one or two datagrams, and setting up all the slots
        // each time cost more than receiving them.
        if (size_t(got) == want) {
            mBatch = std::min(mSlots.Size(), std::max(mBatch, 2 * want));
        } else {
            mBatch = std::min(mSlots.Size(), std::max(kLeastBatch, 2 * size_t(got)));
            return total;
        }
    }
    return total;
}

void GevReceiver::Place(size_t aCount, size_t aLandings, uint64_t aNowUs)
{
    gvsp::Reassembler::Arrival arrivals[net::UdpSocket::kMaxBatch];
    size_t valid = 0;
    for (size_t k = 0; k < aCount; ++k) {
        const net::Datagram &d = mSlots[k];
        if (d.truncated || (mSetup.deviceIp && d.from.ip != mSetup.deviceIp)) {
            mParameters.Add(StreamParameters::PacketsIgnored, 1);
            continue;
        }
        arrivals[valid++] = {d.data, d.size, k < aLandings ? k : gvsp::Reassembler::kNoLanding};
    }
    mReassembler.OnBatch(arrivals, valid, aNowUs);
}

void GevReceiver::Publish()
{
    const gvsp::StreamCounters &c = mReassembler.Counters();
    mParameters.Add(StreamParameters::PacketCount, int64_t(c.packets - mPublished.packets));
    mParameters.Add(StreamParameters::ByteCount, int64_t(c.bytes - mPublished.bytes));
    mParameters.Add(StreamParameters::TestPacketCount, int64_t(c.testPackets - mPublished.testPackets));
    mParameters.Add(StreamParameters::PacketsIgnored,
                    int64_t(c.malformed + c.ignored - mPublished.malformed - mPublished.ignored));
    mParameters.Add(StreamParameters::ResendRequestCount, int64_t(c.resendRequests - mPublished.resendRequests));
    mParameters.Add(StreamParameters::ResendPacketCount, int64_t(c.resendPackets - mPublished.resendPackets));
    mParameters.Set(StreamParameters::PacketPayloadSize, mReassembler.Stride());
    mPublished = c;
}

bool GevReceiver::Acquire(uint64_t, gvsp::Destination &aDestination)
{
    ZuBuffer *buffer = mQueue.Take();
    if (!buffer) {
        mParameters.Add(StreamParameters::BlocksDropped, 1);
        return false;
    }
    aDestination.data = buffer->GetDataPointer();
    aDestination.capacity = aDestination.data ? buffer->GetSize() : 0;
    aDestination.cookie = buffer;
    return true;
}

void GevReceiver::RequestResend(uint64_t aBlockId, bool aExtendedId, uint32_t aFirst, uint32_t aLast)
{
    gvcp::PacketResendCmd cmd;
    cmd.streamChannel = mSetup.channel;
    cmd.extendedId = aExtendedId;
    cmd.blockId = aBlockId;
    cmd.firstPacketId = aFirst;
    cmd.lastPacketId = aLast;
    gvcp::Bytes packet = cmd.Encode(mRequestIds.Next());
    mSocket.SendTo(packet.data(), packet.size(), net::Endpoint{mSetup.deviceIp, gvcp::kPort});
}

void GevReceiver::Complete(const gvsp::BlockResult &aResult)
{
    ZuBuffer *buffer = static_cast<ZuBuffer *>(aResult.cookie);
    ZuResult result = ResultOf(aResult);
    BufferFill &fill = FillOf(*buffer);
    fill.Clear();
    fill.leader.valid = aResult.leaderValid;
    fill.leader.extendedID = aResult.extendedId;
    fill.leader.blockID = aResult.blockId;
    fill.leader.timestamp = aResult.leader.timestamp;
    fill.trailer.valid = aResult.trailerValid;
    fill.image.interlacedEven = aResult.leaderValid && (aResult.leader.fieldInfo >> 4) == 0 &&
                                (aResult.leader.fieldInfo & 0x0F) == 1;
    fill.image.interlacedOdd = aResult.leaderValid && (aResult.leader.fieldInfo >> 4) == 1 &&
                               (aResult.leader.fieldInfo & 0x0F) == 1;
    fill.image.dataOverrun = aResult.leaderStatus == gvsp::STATUS_DATA_OVERRUN;
    fill.operationResult = result;
    fill.acquiredSize = uint32_t(std::min<uint64_t>(aResult.bytesWritten, UINT32_MAX));
    if (aResult.outcome == gvsp::Outcome::BufferTooSmall) {
        fill.requiredSize = uint32_t(std::min<uint64_t>(aResult.requiredSize, UINT32_MAX));
        fill.reachedSize = uint32_t(std::min<uint64_t>(aResult.dataEnd, UINT32_MAX));
    }
    fill.receptionTime = receiver::WallNs();
    fill.duration = aResult.lastPacketUs - aResult.firstPacketUs;
    const PacketStatistics &s = aResult.statistics;
    fill.statistics = s;
    for (size_t k = 0; k < aResult.missingCount; ++k)
        fill.missing.push_back(MissingPacketRange{aResult.missing[k].low, aResult.missing[k].high});

    if (aResult.leaderValid) {
        ReceivedLayout layout;
        layout.payloadType = PayloadTypeOf(aResult.leader.payloadType);
        layout.width = aResult.leader.image.sizeX;
        layout.height = aResult.leader.image.sizeY;
        layout.offsetX = aResult.leader.image.offsetX;
        layout.offsetY = aResult.leader.image.offsetY;
        layout.paddingXBytes = aResult.leader.image.paddingX;
        layout.paddingY = aResult.leader.image.paddingY;
        layout.pixelType = ZuPixelType(aResult.leader.image.pixelFormat);
        layout.dataLength = uint32_t(std::min<uint64_t>(aResult.leader.payloadSize, UINT32_MAX));
        if (aResult.trailerValid) {
            layout.chunkLength = aResult.trailer.chunkPayloadLength;
            layout.chunkLayoutID = aResult.trailer.chunkLayoutId;
        }
        mParts.clear();
        for (uint32_t i = 0; i < aResult.leader.partCount; ++i) {
            const gvsp::PartInfo &p = aResult.parts[i];
            ReceivedPart part;
            part.dataType = p.dataType;
            part.offset = aResult.partOffsets[i];
            part.length = p.length;
            part.dataFormat = p.dataFormat;
            gvsp::ImageInfo image = p.Image();
            part.sizeX = image.sizeX;
            part.sizeY = image.sizeY;
            part.offsetX = image.offsetX;
            part.offsetY = image.offsetY;
            part.paddingXBytes = image.paddingX;
            part.sourceID = p.sourceId;
            part.dataPurposeID = p.dataPurposeId;
            part.regionID = p.regionId;
            part.additionalZones = p.additionalZones;
            part.zoneDirectionMask = p.zoneDirections;
            mParts.push_back(part);
        }
        layout.parts = mParts.data();
        layout.partCount = mParts.size();
        // A block that ended early does not describe more than arrived.
        if (aResult.outcome != gvsp::Outcome::Aborted) DescribeReceived(*buffer, layout);
    }

    switch (aResult.outcome) {
    case gvsp::Outcome::Complete: mParameters.Add(StreamParameters::BlockCount, 1); break;
    case gvsp::Outcome::MissingPackets: mParameters.Add(StreamParameters::BlocksMissingPackets, 1); break;
    case gvsp::Outcome::TooManyResends: mParameters.Add(StreamParameters::BlocksTooManyResends, 1); break;
    case gvsp::Outcome::BufferTooSmall: mParameters.Add(StreamParameters::BlocksBufferTooSmall, 1); break;
    case gvsp::Outcome::Aborted: mParameters.Add(StreamParameters::BlocksAborted, 1); break;
    }
    mParameters.Add(StreamParameters::PacketsRecovered, s.recovered);
    mParameters.Add(StreamParameters::PacketsLost, s.lost);
    mParameters.Add(StreamParameters::PacketsRedundant, s.redundant);
    mParameters.Add(StreamParameters::PacketsOutOfOrder, s.outOfOrder);
    mQueue.Done(buffer, result);
}

} // namespace tarn
