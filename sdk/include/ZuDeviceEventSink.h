#ifndef ZU_DEVICE_EVENT_SINK_H
#define ZU_DEVICE_EVENT_SINK_H

#include "ZuBaseApi.h"

#ifndef SWIG
#include <cstdint>
#include <memory>
#endif

class ZuDevice;
class ZuGenParameterList;

/// Receives what a connected device reports: the loss of its link, events
/// of its messaging channel (raw, and through the GenICam node map) and
/// each successful read and write of its GenApi port. Every operation has
/// an empty default body; override what you need.
///
/// The device calls the sink from its own threads: events on its heartbeat
/// thread, the link callbacks on its interrupt-queue thread, and the
/// command-link callbacks on the thread that reads or writes a feature. No
/// lock of the device is held during a call, so a sink may call the device.
/// A sink destroyed while registered leaves its devices first, waiting for
/// a call in progress on another thread.
class ZU_API ZuDeviceEventSink
{
public:
    /// Builds a sink registered nowhere.
    ZuDeviceEventSink();
    /// Leaves every device the sink is registered with.
    virtual ~ZuDeviceEventSink();

    /// The device stopped answering: its heartbeat failed for longer than
    /// the heartbeat time-out. The device is no longer connected.
    /// @param aDevice The device.
    virtual void OnLinkDisconnected(ZuDevice *aDevice);
    /// Kept for compatibility: the device no longer reconnects by itself,
    /// so this is never called.
    /// @param aDevice The device.
    virtual void OnLinkReconnected(ZuDevice *aDevice);
    /// An event of the messaging channel, with its data (EVENTDATA) or
    /// without (EVENT). The data is valid during the call only.
    /// @param aDevice The device.
    /// @param aEventID The event's identifier.
    /// @param aChannel The stream channel it concerns (0xFFFF: none).
    /// @param aBlockID The block it concerns.
    /// @param aTimestamp The device's time of the event.
    /// @param aData The event's data, or null.
    /// @param aDataLength The data's length in bytes.
    virtual void OnEvent(ZuDevice *aDevice, uint16_t aEventID, uint16_t aChannel, uint64_t aBlockID,
                         uint64_t aTimestamp, const void *aData, uint32_t aDataLength);
    /// The same event as the device's GenICam node map sees it: the
    /// parameters its data changed, or null when it maps to none. The list
    /// is valid during the call only.
    /// @param aDevice The device.
    /// @param aEventID The event's identifier.
    /// @param aChannel The stream channel it concerns (0xFFFF: none).
    /// @param aBlockID The block it concerns.
    /// @param aTimestamp The device's time of the event.
    /// @param aData The parameters the event changed, or null.
    virtual void OnEventGenICam(ZuDevice *aDevice, uint16_t aEventID, uint16_t aChannel, uint64_t aBlockID,
                                uint64_t aTimestamp, ZuGenParameterList *aData);
    /// A read of the GenApi port succeeded.
    /// @param aBuffer The bytes read.
    /// @param aAddress Where they were read.
    /// @param aLength How many.
    virtual void OnCmdLinkRead(const void *aBuffer, int64_t aAddress, int64_t aLength);
    /// A write of the GenApi port succeeded.
    /// @param aBuffer The bytes written.
    /// @param aAddress Where they were written.
    /// @param aLength How many.
    virtual void OnCmdLinkWrite(const void *aBuffer, int64_t aAddress, int64_t aLength);

#ifndef SWIG
    /// Leaves every device the sink is registered with, waiting for a call
    /// in progress on another thread; a destructor of a derived sink calls
    /// it first, so that no device calls a sink half destroyed.
    void LeaveDevices();
    struct Registrations;

private:
    ZuDeviceEventSink(const ZuDeviceEventSink &) = delete;
    ZuDeviceEventSink &operator=(const ZuDeviceEventSink &) = delete;
    friend struct ZuDeviceSinkAccess;
    std::shared_ptr<Registrations> mRegistrations;
#endif
};

#endif
