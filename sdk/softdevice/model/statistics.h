#ifndef TARN_SOFTDEVICE_STATISTICS_H
#define TARN_SOFTDEVICE_STATISTICS_H

// The counters of a software device, as its GVCP server counts them; read
// from any thread. Without a server (a device that never started) every
// counter reads 0.

#include "IZuVirtualDeviceGEVStatistics.h"

#include <functional>

namespace tarn {
namespace softdevice {

class Statistics : public IZuVirtualDeviceGEVStatistics
{
public:
    enum Counter {
        ReadMems, WriteMems, ReadRegs, WriteRegs, Discoveries, ActionCommands, ForceIps,
        PacketResends, PendingAcks, Retries, RetriesMax, Events, EventDatas, EventRetries,
        EventRetriesMax, SessionsOpened, SessionsClosed, HeartbeatFailed, TestPackets, kCount
    };
    using Read = std::function<void(uint64_t (&)[kCount])>;

    void setSource(Read aRead, std::function<void()> aReset)
    {
        mRead = std::move(aRead);
        mReset = std::move(aReset);
    }

    uint64_t get(Counter aCounter) const
    {
        uint64_t counts[kCount] = {};
        if (mRead) mRead(counts);
        return counts[aCounter];
    }

    void Reset() override
    {
        if (mReset) mReset();
    }
    uint64_t GetReadMemsReceived() const override { return get(ReadMems); }
    uint64_t GetWriteMemsReceived() const override { return get(WriteMems); }
    uint64_t GetReadRegsReceived() const override { return get(ReadRegs); }
    uint64_t GetWriteRegsReceived() const override { return get(WriteRegs); }
    uint64_t GetDiscoveriesReceived() const override { return get(Discoveries); }
    uint64_t GetActionCommandsReceived() const override { return get(ActionCommands); }
    uint64_t GetForceIpsReceived() const override { return get(ForceIps); }
    uint64_t GetPacketResendRequestsReceived() const override { return get(PacketResends); }
    uint64_t GetPendingAcksIssued() const override { return get(PendingAcks); }
    uint64_t GetRetriesReceived() const override { return get(Retries); }
    uint64_t GetRetriesReceivedMax() const override { return get(RetriesMax); }
    uint64_t GetEventsIssued() const override { return get(Events); }
    uint64_t GetEventDatasIssued() const override { return get(EventDatas); }
    uint64_t GetEventRetriesIssued() const override { return get(EventRetries); }
    uint64_t GetEventRetriesIssuedMax() const override { return get(EventRetriesMax); }
    uint64_t GetSessionsOpened() const override { return get(SessionsOpened); }
    uint64_t GetSessionsClosed() const override { return get(SessionsClosed); }
    uint64_t GetHeartbeatFailedCount() const override { return get(HeartbeatFailed); }
    uint64_t GetGVSPTestPacketsIssued() const override { return get(TestPackets); }

private:
    Read mRead;
    std::function<void()> mReset;
};

} // namespace softdevice
} // namespace tarn

#endif
