#ifndef TARN_STREAM_PARAMETERS_H
#define TARN_STREAM_PARAMETERS_H

// A stream's settings and statistics as GenICam features. The values live
// here as atomics: the receiver thread counts into them and reads the
// settings without a lock, and the features read and write them through a
// register port of their own, never cached.

#include "ZuGenParameterArray.h"
#include "tarn/genicam/Parameters.h"

#include <atomic>
#include <memory>

namespace tarn {

class StreamParameters : public ZU_GENAPI_NS::IPort
{
public:
    enum Id {
        // Settings (read and written).
        RequestMissingPackets,
        StartStreamOnlyOnPacketIdZero,
        ResendRequestDelay,
        ResendRequestTimeout,
        MaximumResendRequestsPerPacket,
        MaximumResendPacketsPerBlock,
        BlockTimeout,
        // Statistics (read only; ResetStats clears them).
        BlockCount,
        BlocksMissingPackets,
        BlocksTooManyResends,
        BlocksBufferTooSmall,
        BlocksAborted,
        BlocksDropped,
        PipelineImagesDropped,
        PacketCount,
        ByteCount,
        ResendRequestCount,
        ResendPacketCount,
        PacketsRecovered,
        PacketsLost,
        PacketsRedundant,
        PacketsOutOfOrder,
        PacketsIgnored,
        TestPacketCount,
        // What the receiver learned or was granted.
        PacketPayloadSize,
        SocketRxBufferSize,
        kCount
    };

    StreamParameters();
    ~StreamParameters() override;

    // The features; null only when the description failed to load.
    ZuGenParameterArray *Array() { return mArray.get(); }

    int64_t Get(Id aId) const { return mValues[aId].load(std::memory_order_relaxed); }
    void Set(Id aId, int64_t aValue);
    void Add(Id aId, int64_t aDelta) { mValues[aId].fetch_add(aDelta, std::memory_order_relaxed); }
    // Clears the statistics, not the settings.
    void ResetStatistics();
    // Changes whenever a setting is written, so that a receiver re-reads them.
    uint64_t SettingsVersion() const { return mVersion.load(std::memory_order_acquire); }

    ZuResult Read(uint64_t aAddress, void *aData, int64_t aLength) override;
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override;

private:
    std::atomic<int64_t> mValues[kCount];
    std::atomic<uint64_t> mVersion{0};
    std::unique_ptr<ZuGenParameterArray> mArray;
};

} // namespace tarn

#endif
