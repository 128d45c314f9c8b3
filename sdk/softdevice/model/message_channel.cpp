#include "softdevice/model/message_channel.h"

#include "gev/gvcp.h"

namespace tarn {
namespace softdevice {

MessageChannel::MessageChannel(Statistics &aStatistics, std::function<uint64_t()> aClock)
    : mStatistics(aStatistics), mClock(std::move(aClock))
{
}

void MessageChannel::setTransport(EventTransport *aTransport)
{
    std::lock_guard<std::mutex> lock(mLock);
    mTransport = aTransport;
}

void MessageChannel::setSessionOpen(bool aOpen)
{
    std::lock_guard<std::mutex> lock(mLock);
    mSessionOpen = aOpen;
}

bool MessageChannel::IsOpened()
{
    std::lock_guard<std::mutex> lock(mLock);
    return mSessionOpen && mTransport && mConfig.destination != 0 && (mConfig.port & 0xFFFF) != 0;
}

ZuResult MessageChannel::FireEvent(uint16_t aEventID, uint64_t aBlockID, uint16_t aChannelIndex)
{
    return send(aEventID, nullptr, 0, false, aBlockID, aChannelIndex);
}

ZuResult MessageChannel::FireEvent(uint16_t aEventID, uint8_t *aData, uint32_t aDataLength, uint64_t aBlockID,
                                   uint16_t aChannelIndex)
{
    if (!aData || aDataLength == 0 || aDataLength > kMaxData || aDataLength % 4)
        return ZuResult(ZU_INVALID_PARAMETER);
    return send(aEventID, aData, aDataLength, true, aBlockID, aChannelIndex);
}

ZuResult MessageChannel::send(uint16_t aEventID, const uint8_t *aData, uint32_t aDataLength, bool aWithData,
                              uint64_t aBlockID, uint16_t aChannelIndex)
{
    std::lock_guard<std::mutex> lock(mLock);
    const uint16_t port = uint16_t(mConfig.port & 0xFFFF);
    if (!mSessionOpen || !mTransport || mConfig.destination == 0 || port == 0) return ZuResult(ZU_STATE_ERROR);

    gvcp::Event event;
    event.eventId = aEventID;
    event.streamChannel = aChannelIndex;
    event.blockId = mExtendedIds ? aBlockID : (aBlockID & 0xFFFF);
    event.timestamp = mClock ? mClock() : 0;
    if (++mReqId == 0) mReqId = 1;
    gvcp::Bytes packet;
    if (aWithData) {
        gvcp::EventDataCmd cmd;
        cmd.extendedId = mExtendedIds;
        cmd.event = event;
        // A copy: the caller's bytes are only ever read.
        cmd.data.assign(aData, aData + aDataLength);
        packet = cmd.encode(mReqId);
        mStatistics.bump(Statistics::EventDatas);
    } else {
        gvcp::EventCmd cmd;
        cmd.extendedId = mExtendedIds;
        cmd.events.push_back(event);
        packet = cmd.encode(mReqId);
        mStatistics.bump(Statistics::Events);
    }
    const uint32_t timeout = mConfig.timeoutMs ? mConfig.timeoutMs : 1;
    for (uint32_t attempt = 0; attempt <= mConfig.retryCount; ++attempt) {
        if (attempt) {
            mStatistics.bump(Statistics::EventRetries);
            mStatistics.atLeast(Statistics::EventRetriesMax, attempt);
        }
        if (mTransport->sendAwaitAck(packet, mConfig.destination, port, mReqId, timeout)) return ZuResult(ZU_OK);
    }
    return ZuResult(ZU_TIMEOUT);
}

} // namespace softdevice
} // namespace tarn
