#include "softdevice/rtp_sender.h"

#include "gev/gvsp.h"
#include "ZuBuffer.h"
#include "ZuImage.h"

#include <cstring>
#include <random>

namespace tarn {
namespace softdevice {

// ---- SAP

bool SapAnnouncer::Open(uint32_t aDeviceIp, size_t aChannels, std::string &aError)
{
    Close();
    net::SocketOptions options;
    // TTL 1 out of the interface of the device's own address; members on
    // this host (a receiver beside the camera) hear it too.
    options.multicast = true;
    options.multicastLoop = true;
    mSocket = net::UdpSocket::Bind({aDeviceIp, 0}, options, &aError);
    if (!mSocket.Valid()) return false;
    std::lock_guard<std::mutex> lock(mLock);
    mOrigin = aDeviceIp;
    mEntries.assign(aChannels, Entry());
    // Every announcement again each interval, until closed.
    if (!mThread.Start([this](Worker::Control &c) {
            while (c.Sleep(kInterval)) {
                std::lock_guard<std::mutex> again(mLock);
                for (const Entry &e : mEntries)
                    if (e.active) Transmit(e.announcement);
            }
        }).IsOK()) {
        aError = "no thread for the announcements";
        return false;
    }
    return true;
}

void SapAnnouncer::Close()
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        for (Entry &e : mEntries)
            if (e.active) Transmit(e.deletion);
        mEntries.clear();
    }
    mThread.Stop();
    mSocket = net::UdpSocket();
}

void SapAnnouncer::Transmit(const std::vector<uint8_t> &aPacket)
{
    if (mSocket.Valid() && mSocket.SendTo(aPacket.data(), aPacket.size(), {rtp::kSapGroup, rtp::kSapPort})) ++mSent;
}

void SapAnnouncer::Announce(size_t aChannel, const rtp::VideoSession &aSession)
{
    std::lock_guard<std::mutex> lock(mLock);
    if (aChannel >= mEntries.size()) return;
    Entry &e = mEntries[aChannel];
    // A changed description is a new announcement: the old one goes first.
    if (e.active) Transmit(e.deletion);
    rtp::VideoSession session = aSession;
    session.origin = mOrigin;
    const std::string sdp = rtp::FormatSdp(session);
    const uint16_t hash = uint16_t(aSession.sessionId * 31 + aSession.version) | 1;
    rtp::FormatSap(false, hash, mOrigin, sdp, e.announcement);
    rtp::FormatSap(true, hash, mOrigin, sdp, e.deletion);
    e.active = true;
    Transmit(e.announcement);
}

void SapAnnouncer::Withdraw(size_t aChannel)
{
    std::lock_guard<std::mutex> lock(mLock);
    if (aChannel >= mEntries.size() || !mEntries[aChannel].active) return;
    mEntries[aChannel].active = false;
    Transmit(mEntries[aChannel].deletion);
}

// ---- RTP

namespace {
uint64_t randomBits()
{
    std::random_device seed;
    return uint64_t(seed()) << 32 | seed();
}
} // namespace

RtpSender::RtpSender(StreamConfig &aConfig, size_t aChannel, Datagrams aOut, SapAnnouncer *aAnnouncer)
    : mConfig(aConfig), mChannel(aChannel), mOut(std::move(aOut)), mAnnouncer(aAnnouncer),
      mRaw(kPayloadType, uint32_t(randomBits())), mH264(kPayloadType, uint32_t(randomBits())),
      mSessionId(randomBits() >> 1), mEpoch(std::chrono::steady_clock::now()), mTimestampBase(uint32_t(randomBits()))
{
}

void RtpSender::StreamStarted()
{
    std::lock_guard<std::mutex> lock(mLock);
    mStreaming = true;
    mAnnounced = false;
}

void RtpSender::StreamStopped()
{
    std::lock_guard<std::mutex> lock(mLock);
    mStreaming = false;
    if (mAnnounced && mAnnouncer) mAnnouncer->Withdraw(mChannel);
    mAnnounced = false;
}

uint32_t RtpSender::NextTimestamp()
{
    // 90 kHz from a monotonic clock; two frames never share a timestamp.
    const auto elapsed = std::chrono::steady_clock::now() - mEpoch;
    uint32_t ts = mTimestampBase + uint32_t(std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 9 / 100);
    if (mLastTimestamp && int32_t(ts - mLastTimestamp) <= 0) ts = mLastTimestamp + 1;
    return mLastTimestamp = ts;
}

void RtpSender::Queue(const uint8_t *aData, size_t aSize, net::Endpoint aTo)
{
    if (mCount == kBatch) Flush(aTo);
    uint8_t *slot = mBatch.data() + mCount * mSlot;
    std::memcpy(slot, aData, aSize);
    mDatas[mCount] = slot;
    mSizes[mCount] = aSize;
    ++mCount;
}

void RtpSender::Flush(net::Endpoint aTo)
{
    // What a full socket buffer left behind goes in the next call.
    size_t done = 0;
    while (done < mCount && mOut) {
        const int sent = mOut(mDatas + done, mSizes + done, mCount - done, aTo);
        if (sent <= 0) break;
        done += size_t(sent);
    }
    if (done != mCount) mFailed = true;
    mPackets += done;
    mCount = 0;
}

bool RtpSender::SendImage(ZuBuffer &aBuffer, uint32_t aTimestamp, size_t aMaxPacket, net::Endpoint aTo,
                          rtp::VideoSession &aSession)
{
    const ZuImage *image = aBuffer.GetImage();
    rtp::Sampling sampling;
    if (!image || !rtp::SamplingOf(int32_t(image->GetPixelType()), sampling)) return false;
    const uint32_t width = image->GetWidth(), height = image->GetHeight();
    const uint8_t *data = image->GetDataPointer();
    if (!data || !width || !height || width % sampling.pixels) return false;
    // The image counts a line's padding in pixels, the packetiser in bytes;
    // every line it reads lies inside the image's memory.
    const uint64_t line = uint64_t(width / sampling.pixels) * sampling.bytes;
    const uint64_t padding = uint64_t(image->GetPaddingX()) * line / width;
    if ((line + padding) * (height - 1) + line > image->GetImageSize()) return false;
    const bool sent = mRaw.Send(data, width, height, sampling, uint32_t(padding), aTimestamp, aMaxPacket,
                                [&](const uint8_t *p, size_t n) { Queue(p, n, aTo); });
    aSession.format = rtp::VideoSession::Format::RawVideo;
    aSession.sampling = rtp::SamplingName(int32_t(image->GetPixelType()));
    aSession.width = width;
    aSession.height = height;
    return sent;
}

bool RtpSender::SendH264(ZuBuffer &aBuffer, uint32_t aTimestamp, size_t aMaxPacket, net::Endpoint aTo)
{
    const uint8_t *data = aBuffer.GetDataPointer();
    if (!data || !aBuffer.GetSize()) return false;
    return mH264.Send(data, aBuffer.GetSize(), aTimestamp, aMaxPacket,
                      [&](const uint8_t *p, size_t n) { Queue(p, n, aTo); });
}

bool RtpSender::Send(ZuBuffer &aBuffer, uint64_t)
{
    std::lock_guard<std::mutex> lock(mLock);
    const net::Endpoint to{mConfig.destination, uint16_t(mConfig.port & 0xFFFF)};
    const size_t packetSize = mConfig.packetSize & 0xFFFF;
    if (!to.ip || !to.port || packetSize <= gvsp::kIpUdpOverhead + rtp::kHeaderSize) return false;
    const size_t maxPacket = packetSize - gvsp::kIpUdpOverhead;
    if (mSlot < maxPacket) {
        mSlot = maxPacket;
        mBatch.resize(kBatch * mSlot);
    }
    mCount = 0;
    mFailed = false;
    rtp::VideoSession session;
    session.destination = to.ip;
    session.port = to.port;
    session.payloadType = kPayloadType;
    bool sent = false;
    switch (aBuffer.GetPayloadType()) {
    case ZuPayloadTypeImage:
    case ZuPayloadTypeExtendedChunkData:
        // The image alone: RTP has no place for its chunks.
        sent = SendImage(aBuffer, NextTimestamp(), maxPacket, to, session);
        break;
    case ZuPayloadTypeH264:
        session.format = rtp::VideoSession::Format::H264;
        sent = SendH264(aBuffer, NextTimestamp(), maxPacket, to);
        break;
    default:
        break;
    }
    if (!sent) {
        mCount = 0;
        ++mRefused;
        return false;
    }
    Flush(to);
    const bool changed = !mAnnounced || session.format != mSession.format || session.sampling != mSession.sampling ||
                         session.width != mSession.width || session.height != mSession.height ||
                         session.destination != mSession.destination || session.port != mSession.port;
    if (mStreaming && changed && mAnnouncer) {
        session.sessionId = mSessionId;
        session.version = ++mVersion;
        session.name = "Software camera stream " + std::to_string(mChannel);
        mAnnouncer->Announce(mChannel, session);
        mSession = session;
        mAnnounced = true;
    }
    return !mFailed;
}

} // namespace softdevice
} // namespace tarn
