#ifndef TARN_SOFTDEVICE_RTP_SENDER_H
#define TARN_SOFTDEVICE_RTP_SENDER_H

// A stream channel whose controller chose RTP: images as RFC 4175 and H.264
// access units as RFC 6184, to the destination and at the packet size the
// GigE Vision registers set, from the channel's source port; and the SAP
// announcer that tells the link about each such stream while it runs.

#include "net/socket.h"
#include "rtp/rtp.h"
#include "rtp/sap.h"
#include "softdevice/model/channel.h"
#include "tarn/Worker.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace tarn {
namespace softdevice {

// Announces the RTP streams of one device on the SAP group, out of the
// device's own address only (one hop): each at once when it starts or its
// description changes, again every kInterval while it runs, and a deletion
// when it stops.
class SapAnnouncer
{
public:
    static constexpr std::chrono::milliseconds kInterval{1000};

    SapAnnouncer() = default;
    ~SapAnnouncer() { Close(); }
    SapAnnouncer(const SapAnnouncer &) = delete;
    SapAnnouncer &operator=(const SapAnnouncer &) = delete;

    bool Open(uint32_t aDeviceIp, size_t aChannels, std::string &aError);
    // Withdraws what is still announced and ends the thread.
    void Close();
    // The description of a channel's stream (new or changed).
    void Announce(size_t aChannel, const rtp::VideoSession &aSession);
    // The channel's stream ended.
    void Withdraw(size_t aChannel);
    uint64_t Sent() const { return mSent; }

private:
    struct Entry {
        bool active = false;
        std::vector<uint8_t> announcement, deletion;
    };
    void Transmit(const std::vector<uint8_t> &aPacket);

    std::mutex mLock;
    Worker mThread;
    net::UdpSocket mSocket;
    uint32_t mOrigin = 0;
    std::vector<Entry> mEntries;
    std::atomic<uint64_t> mSent{0};
};

class RtpSender : public BlockSender
{
public:
    // Where the packets go: a batch of datagrams to one destination; the
    // number that left. The channel's GVSP socket, so that they leave from
    // its source port.
    using Datagrams = std::function<int(const uint8_t *const *aDatas, const size_t *aSizes, size_t aCount,
                                        net::Endpoint aTo)>;
    static constexpr uint8_t kPayloadType = 96;

    RtpSender(StreamConfig &aConfig, size_t aChannel, Datagrams aOut, SapAnnouncer *aAnnouncer);

    bool Send(ZuBuffer &aBuffer, uint64_t aBlockId) override;
    // No resends over RTP: nothing is held.
    void StreamStarted() override;
    void StreamStopped() override;

    // Blocks RTP cannot carry (no RFC 4175 sampling, multi-part, GenDC, a
    // frame the packet size cannot cut): dropped, never sent.
    uint64_t Refused() const { return mRefused; }
    uint64_t PacketsSent() const { return mPackets; }

private:
    bool SendImage(ZuBuffer &aBuffer, uint32_t aTimestamp, size_t aMaxPacket, net::Endpoint aTo,
                   rtp::VideoSession &aSession);
    bool SendH264(ZuBuffer &aBuffer, uint32_t aTimestamp, size_t aMaxPacket, net::Endpoint aTo);
    void Queue(const uint8_t *aData, size_t aSize, net::Endpoint aTo);
    void Flush(net::Endpoint aTo);
    uint32_t NextTimestamp();

    StreamConfig &mConfig;
    const size_t mChannel;
    Datagrams mOut;
    SapAnnouncer *mAnnouncer;
    std::mutex mLock;
    rtp::RawVideoPacketizer mRaw;
    rtp::H264Packetizer mH264;
    // Packets wait here for one system call per batch; reused block to block.
    static constexpr size_t kBatch = 64;
    std::vector<uint8_t> mBatch;
    size_t mSlot = 0, mCount = 0;
    const uint8_t *mDatas[kBatch] = {};
    size_t mSizes[kBatch] = {};
    bool mFailed = false;
    // What was announced last, to tell a change.
    rtp::VideoSession mSession;
    bool mAnnounced = false;
    bool mStreaming = false;
    uint64_t mVersion = 0;
    const uint64_t mSessionId;
    const std::chrono::steady_clock::time_point mEpoch;
    const uint32_t mTimestampBase;
    uint32_t mLastTimestamp = 0;
    std::atomic<uint64_t> mRefused{0}, mPackets{0};
};

} // namespace softdevice
} // namespace tarn

#endif
