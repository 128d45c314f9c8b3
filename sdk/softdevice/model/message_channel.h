#ifndef TARN_SOFTDEVICE_MESSAGE_CHANNEL_H
#define TARN_SOFTDEVICE_MESSAGE_CHANNEL_H

// The messaging channel: events towards the destination the controller
// wrote (MCDA, MCP), each retried until acknowledged or the retry count
// (MCRC) is spent, waiting the transmission time-out (MCTT) for each
// acknowledge. The datagrams go through a transport given to it, so tests
// drive it without sockets.

#include "IZuMessageChannel.h"
#include "softdevice/model/statistics.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace tarn {
namespace softdevice {

class EventTransport
{
public:
    virtual ~EventTransport() {}
    // Sends one datagram and waits up to aTimeoutMs for the acknowledge
    // with aReqId from the destination; true when it came.
    virtual bool sendAwaitAck(const std::vector<uint8_t> &aPacket, uint32_t aIp, uint16_t aPort,
                              uint16_t aReqId, uint32_t aTimeoutMs) = 0;
};

struct MessageChannelConfig {
    uint32_t destination = 0;    // MCDA
    uint32_t port = 0;           // MCP (low 16 bits)
    uint32_t timeoutMs = 300;    // MCTT
    uint32_t retryCount = 2;     // MCRC
};

class MessageChannel : public IZuMessageChannel
{
public:
    // Largest event data: what fits a 576-byte GVCP datagram after the
    // extended-ID event header, rounded down to whole words.
    static constexpr uint32_t kMaxData = 512;

    MessageChannel(Statistics &aStatistics, std::function<uint64_t()> aClock);

    void setTransport(EventTransport *aTransport);
    // The registers that open the channel and shape its retries.
    MessageChannelConfig &config() { return mConfig; }
    // Whether a controller holds the device; the channel is closed without one.
    void setSessionOpen(bool aOpen);
    void setExtendedIds(bool aExtended) { mExtendedIds = aExtended; }

    ZuResult FireEvent(uint16_t aEventID, uint64_t aBlockID = 0, uint16_t aChannelIndex = 0xFFFF) override;
    ZuResult FireEvent(uint16_t aEventID, uint8_t *aData, uint32_t aDataLength, uint64_t aBlockID = 0,
                       uint16_t aChannelIndex = 0xFFFF) override;
    bool IsOpened() override;

private:
    ZuResult send(uint16_t aEventID, const uint8_t *aData, uint32_t aDataLength, bool aWithData, uint64_t aBlockID,
                  uint16_t aChannelIndex);

    Statistics &mStatistics;
    std::function<uint64_t()> mClock;
    std::mutex mLock;   // one event at a time: its retries go before the next
    EventTransport *mTransport = nullptr;
    MessageChannelConfig mConfig;
    bool mSessionOpen = false;
    bool mExtendedIds = false;
    uint16_t mReqId = 0;
};

} // namespace softdevice
} // namespace tarn

#endif
