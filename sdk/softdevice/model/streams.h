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
    ZuResult add(IZuSWStreamingChannelSource *aSource);
    void setTimestamping(bool aEnabled) { mStamping = aEnabled; }
    void setGenDCEnabled(bool aEnabled) { mGenDC = aEnabled; }
    // RTP selectable per stream channel; read by the transport at Start.
    void setRtpEnabled(bool aEnabled) { mRtp = aEnabled; }
    bool rtpEnabled() const { return mRtp; }

    // ---- Start and stop. open() makes a channel for each source;
    // learn() asks each source what it offers, false with aError when the
    // device cannot stream from one of them; allocate() takes the buffers
    // and GenDC containers. close() gives everything back.
    void open();
    bool learn(std::string &aError);
    bool allocate(std::string &aError);
    void close();
    size_t count() const { return mChannels.size(); }
    Channel &channel(size_t aIndex) { return *mChannels[aIndex]; }
    const SourceFacts &facts(size_t aIndex) const { return mFacts[aIndex]; }
    // The channel's GenDC manager, null when its source sends no GenDC.
    ZuGenDCManager *genDCManager(size_t aChannel) const
    {
        return aChannel < mGenDCInUse.size() ? mGenDCInUse[aChannel] : nullptr;
    }
    bool genDCStreaming(size_t aChannel);
    // Bytes of one block of the channel.
    uint32_t payloadSize(size_t aChannel);
    // The source accepted a write that changes its image: the channel
    // streams what it now describes.
    void refreshGeometry(size_t aChannel);

    // ---- What the controller does.
    // The sender of a channel (set by the transport before control), and
    // the one while it streams over RTP.
    void setSender(size_t aChannel, BlockSender *aSender);
    void setRtpSender(size_t aChannel, BlockSender *aSender);
    // A channel's destination (port 0: closed), packets and configuration
    // register (gvcp::SCC_* bits).
    void changed(size_t aChannel, uint32_t aIp, uint16_t aPort, uint32_t aPacketSize, uint32_t aDelay,
                 uint32_t aConfiguration = 0);
    // What each channel offers in its capability register (SCC_* bits):
    // multi-part where its source supports it.
    std::vector<uint32_t> capabilities() const;
    void startAcquisition();
    void stopAcquisition();
    // The controller's session ended: its streams end with it.
    void endSession();

    // The frame rate the channels keep to while enabled, and the time
    // between two frames then (0 without a frame rate).
    double frameRate() const;
    void setFrameRate(double aRate);
    bool frameRateEnabled() const { return mFrameRateEnable != 0; }
    void enableFrameRate(bool aEnabled) { mFrameRateEnable = aEnabled; }
    std::chrono::nanoseconds framePeriod() const;

private:
    void openStream(Channel &aChannel);
    void closeStream(Channel &aChannel);
    void configure(Channel &aChannel, uint32_t aConfiguration, bool aPacketSizeChanged);
    void assignGenDCManagers();

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
