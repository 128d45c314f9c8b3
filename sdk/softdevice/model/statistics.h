#ifndef TARN_SOFTDEVICE_STATISTICS_H
#define TARN_SOFTDEVICE_STATISTICS_H

// The counters of a software device, bumped by its control and streaming
// threads and read from any thread.

#include "IZuVirtualDeviceGEVStatistics.h"

#include <atomic>

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

    Statistics() { Reset(); }

    void bump(Counter aCounter, uint64_t aBy = 1) { mCounts[aCounter].fetch_add(aBy, std::memory_order_relaxed); }
    // Keeps the largest value seen (the two maxima).
    void atLeast(Counter aCounter, uint64_t aValue)
    {
        uint64_t seen = mCounts[aCounter].load(std::memory_order_relaxed);
        while (seen < aValue && !mCounts[aCounter].compare_exchange_weak(seen, aValue, std::memory_order_relaxed)) {}
    }
    uint64_t get(Counter aCounter) const { return mCounts[aCounter].load(std::memory_order_relaxed); }

    void Reset() override
    {
        for (auto &c : mCounts) c.store(0, std::memory_order_relaxed);
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
    std::atomic<uint64_t> mCounts[kCount];
};

} // namespace softdevice
} // namespace tarn

#endif
