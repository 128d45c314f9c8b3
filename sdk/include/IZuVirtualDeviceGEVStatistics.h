#ifndef IZU_VIRTUAL_DEVICE_GEV_STATISTICS_H
#define IZU_VIRTUAL_DEVICE_GEV_STATISTICS_H

#include "ZuBaseApi.h"

/// Counters of a software GigE Vision device's control-channel traffic,
/// controller sessions and stream test packets.
class ZU_API IZuVirtualDeviceGEVStatistics
{
public:
    virtual ~IZuVirtualDeviceGEVStatistics() {}

    /// Sets every counter to zero.
    virtual void Reset() = 0;
    /// Returns the number of GVCP read-memory commands received.
    virtual uint64_t GetReadMemsReceived() const = 0;
    /// Returns the number of GVCP write-memory commands received.
    virtual uint64_t GetWriteMemsReceived() const = 0;
    /// Returns the number of GVCP read-register commands received.
    virtual uint64_t GetReadRegsReceived() const = 0;
    /// Returns the number of GVCP write-register commands received.
    virtual uint64_t GetWriteRegsReceived() const = 0;
    /// Returns the number of GVCP discovery commands received.
    virtual uint64_t GetDiscoveriesReceived() const = 0;
    /// Returns the number of GVCP action commands received.
    virtual uint64_t GetActionCommandsReceived() const = 0;
    /// Returns the number of GVCP force-IP commands received.
    virtual uint64_t GetForceIpsReceived() const = 0;
    /// Returns the number of GVCP packet-resend commands received.
    virtual uint64_t GetPacketResendRequestsReceived() const = 0;
    /// Returns the number of GVCP pending acknowledges sent.
    virtual uint64_t GetPendingAcksIssued() const = 0;
    /// Returns the number of GVCP command retries received.
    virtual uint64_t GetRetriesReceived() const = 0;
    /// Returns the largest number of retries received for a single command.
    virtual uint64_t GetRetriesReceivedMax() const = 0;
    /// Returns the number of messaging-channel event commands sent.
    virtual uint64_t GetEventsIssued() const = 0;
    /// Returns the number of messaging-channel event-with-data commands sent.
    virtual uint64_t GetEventDatasIssued() const = 0;
    /// Returns the number of retries sent for unacknowledged event or event-data commands.
    virtual uint64_t GetEventRetriesIssued() const = 0;
    /// Returns the largest number of retries sent for a single event or event-data command.
    virtual uint64_t GetEventRetriesIssuedMax() const = 0;
    /// Returns the number of controller sessions opened.
    virtual uint64_t GetSessionsOpened() const = 0;
    /// Returns the number of controller sessions closed.
    virtual uint64_t GetSessionsClosed() const = 0;
    /// Returns the number of controller sessions closed because the heartbeat failed.
    virtual uint64_t GetHeartbeatFailedCount() const = 0;
    /// Returns the number of GVSP test packets sent.
    virtual uint64_t GetGVSPTestPacketsIssued() const = 0;
};

#endif
