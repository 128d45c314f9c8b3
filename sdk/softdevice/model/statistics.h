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

    void SetSource(Read aRead, std::function<void()> aReset)
    {
        mRead = std::move(aRead);
        mReset = std::move(aReset);
    }

    uint64_t Get(Counter aCounter) const
    {
        uint64_t counts[kCount] = {};
        if (mRead) mRead(counts);
        return counts[aCounter];
    }

    void Reset() override
    {
        if (mReset) mReset();
    }
    uint64_t GetReadMemsReceived() const override { return Get(ReadMems); }
    uint64_t GetWriteMemsReceived() const override { return Get(WriteMems); }
    uint64_t GetReadRegsReceived() const override { return Get(ReadRegs); }
    uint64_t GetWriteRegsReceived() const override { return Get(WriteRegs); }
    uint64_t GetDiscoveriesReceived() const override { return Get(Discoveries); }
    uint64_t GetActionCommandsReceived() const override { return Get(ActionCommands); }
    uint64_t GetForceIpsReceived() const override { return Get(ForceIps); }
    uint64_t GetPacketResendRequestsReceived() const override { return Get(PacketResends); }
    uint64_t GetPendingAcksIssued() const override { return Get(PendingAcks); }
    uint64_t GetRetriesReceived() const override { return Get(Retries); }
    uint64_t GetRetriesReceivedMax() const override { return Get(RetriesMax); }
    uint64_t GetEventsIssued() const override { return Get(Events); }
    uint64_t GetEventDatasIssued() const override { return Get(EventDatas); }
    uint64_t GetEventRetriesIssued() const override { return Get(EventRetries); }
    uint64_t GetEventRetriesIssuedMax() const override { return Get(EventRetriesMax); }
    uint64_t GetSessionsOpened() const override { return Get(SessionsOpened); }
    uint64_t GetSessionsClosed() const override { return Get(SessionsClosed); }
    uint64_t GetHeartbeatFailedCount() const override { return Get(HeartbeatFailed); }
    uint64_t GetGVSPTestPacketsIssued() const override { return Get(TestPackets); }

private:
    Read mRead;
    std::function<void()> mReset;
};

} // namespace softdevice
} // namespace tarn

#endif
