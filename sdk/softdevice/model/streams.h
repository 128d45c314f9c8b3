#ifndef TARN_SOFTDEVICE_STREAMS_H
#define TARN_SOFTDEVICE_STREAMS_H

// A software device's stream channels, one per source: what each source
// told at Start, the channel's buffers and configuration as the controller
// set it, its senders, and the acquisition that streams all of them (at a
// frame rate, while one is enabled).

#include "IZuSWStreamingChannelSource.h"
#include "ZuResult.h"
#include "softdevice/model/channel.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

class ZuGenDCManager;

namespace tarn {
namespace softdevice {

// What a channel's source told at Start.
struct SourceFacts {
    uint32_t widthMin = 0, widthMax = 0, widthInc = 1, heightMin = 0, heightMax = 0, heightInc = 1, packetMax = 0;
    bool multiPart = false;
    std::vector<ZuPixelType> pixelTypes;
    std::vector<std::pair<std::string, uint32_t>> chunks;   // name, id
};

class Streams
{
public:
    static constexpr size_t kMaxStreams = 4;

    // aOwner marks the channels' threads as the device's (see guard.h);
    // aClock gives the device's time for the buffers it stamps.
    Streams(const void *aOwner, std::function<uint64_t()> aClock);
    ~Streams();
    Streams(const Streams &) = delete;
    Streams &operator=(const Streams &) = delete;

    // ---- Settings, while the device is created (read at the next Start).
    ZuResult Add(IZuSWStreamingChannelSource *aSource);
    void SetTimestamping(bool aEnabled) { mStamping = aEnabled; }
    void SetGenDCEnabled(bool aEnabled) { mGenDC = aEnabled; }
    // RTP selectable per stream channel; read by the transport at Start.
    void SetRtpEnabled(bool aEnabled) { mRtp = aEnabled; }
    bool RtpEnabled() const { return mRtp; }

    // ---- Start and stop. open() makes a channel for each source;
    // Learn() asks each source what it offers, false with aError when the
    // device cannot stream from one of them; Allocate() takes the buffers
    // and GenDC containers. close() gives everything back.
    void Open();
    bool Learn(std::string &aError);
    bool Allocate(std::string &aError);
    void Close();
    size_t Count() const { return mChannels.size(); }
    Channel &GetChannel(size_t aIndex) { return *mChannels[aIndex]; }
    const SourceFacts &Facts(size_t aIndex) const { return mFacts[aIndex]; }
    // The channel's GenDC manager, null when its source sends no GenDC.
    ZuGenDCManager *GenDCManager(size_t aChannel) const
    {
        return aChannel < mGenDCInUse.size() ? mGenDCInUse[aChannel] : nullptr;
    }
    bool GenDCStreaming(size_t aChannel);
    // Bytes of one block of the channel.
    uint32_t PayloadSize(size_t aChannel);
    // The source accepted a write that changes its image: the channel
    // streams what it now describes.
    void RefreshGeometry(size_t aChannel);

    // ---- What the controller does.
    // The sender of a channel (set by the transport before control), and
    // the one while it streams over RTP.
    void SetSender(size_t aChannel, BlockSender *aSender);
    void SetRtpSender(size_t aChannel, BlockSender *aSender);
    // A channel's destination (port 0: closed), packets and configuration
    // register (gvcp::SCC_* bits).
    void Changed(size_t aChannel, uint32_t aIp, uint16_t aPort, uint32_t aPacketSize, uint32_t aDelay,
                 uint32_t aConfiguration = 0);
    // What each channel offers in its capability register (SCC_* bits):
    // multi-part where its source supports it.
    std::vector<uint32_t> Capabilities() const;
    void StartAcquisition();
    void StopAcquisition();
    // The controller's session ended: its streams end with it.
    void EndSession();

    // The frame rate the channels keep to while enabled, and the time
    // between two frames then (0 without a frame rate).
    double FrameRate() const;
    void SetFrameRate(double aRate);
    bool FrameRateEnabled() const { return mFrameRateEnable != 0; }
    void EnableFrameRate(bool aEnabled) { mFrameRateEnable = aEnabled; }
    std::chrono::nanoseconds FramePeriod() const;

private:
    void OpenStream(Channel &aChannel);
    void CloseStream(Channel &aChannel);
    void Configure(Channel &aChannel, uint32_t aConfiguration, bool aPacketSizeChanged);
    void AssignGenDCManagers();

    const void *const mOwner;
    const std::function<uint64_t()> mClock;
    std::vector<IZuSWStreamingChannelSource *> mSources;
    std::vector<std::unique_ptr<Channel>> mChannels;
    std::vector<SourceFacts> mFacts;
    std::vector<BlockSender *> mSenders;
    std::vector<BlockSender *> mRtpSenders;
    bool mStamping = true;
    bool mGenDC = false;
    bool mRtp = false;
    // One GenDC manager per channel whose source streams GenDC, kept until
    // the device is destroyed: the source may hold on to the one it was
    // given after the device stopped.
    std::vector<std::unique_ptr<ZuGenDCManager>> mGenDCManagers;
    // Those the channels of this start use (null: the channel sends no GenDC).
    std::vector<ZuGenDCManager *> mGenDCInUse;
    // The frame rate (IEEE double, as the register holds it).
    std::atomic<uint64_t> mFrameRateBits{0};
    std::atomic<uint32_t> mFrameRateEnable{0};
};

} // namespace softdevice
} // namespace tarn

#endif
