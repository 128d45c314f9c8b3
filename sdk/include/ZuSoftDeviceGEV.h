#ifndef ZU_SOFT_DEVICE_GEV_H
#define ZU_SOFT_DEVICE_GEV_H

#include "IZuSoftDeviceGEV.h"
#include "IZuSWStreamingChannelSource.h"
#include "IZuVirtualDeviceGEVEventSink.h"
#include "IZuUserSetNotify.h"
#include "IZuMessageChannel.h"
#include "IZuVirtualDeviceGEVInfo.h"
#include "IZuVirtualDeviceGEVStatistics.h"

/// A software GigE Vision device.
///
/// Add one channel source per stream, register an event sink, then Start
/// on a local interface: the device answers GVCP, serves its GenICam XML
/// and streams GVSP from its own threads until Stop or destruction.
class ZU_API ZuSoftDeviceGEV : public IZuSoftDeviceGEV
{
public:
    /// Builds a device that is not running.
    ZuSoftDeviceGEV();
    /// Destroys the device, stopping it first.
    virtual ~ZuSoftDeviceGEV();

    virtual ZuResult SetUserSetCount(uint32_t aCount);
    virtual ZuResult SetUserSetNotify(IZuUserSetNotify *aUserSetNotify);
    virtual ZuResult SetActionHandler(ZuVirtualDeviceLib::IActionHandler *aActionHandler);
    virtual ZuResult RegisterEventSink(IZuVirtualDeviceGEVEventSink *aEventSink);
    virtual ZuResult UnregisterEventSink(IZuVirtualDeviceGEVEventSink *aEventSink);
    virtual ZuResult Start(const ZuString &aMACAddress);
    virtual ZuResult Stop();
    virtual IZuVirtualDeviceGEVInfo *GetInfo();
    virtual IZuRegisterMap *GetRegisterMap();
    virtual IZuVirtualDeviceGEVStatistics *GetStatistics();
    virtual IZuMessageChannel *GetMessagingChannel();
    virtual ZuResult GetGenICamXMLFile(ZuString &aString) const;
    virtual ZuResult AddStream(IZuSWStreamingChannelSource *aSource);
    virtual ZuResult SetTCPTransportEnabled(bool aEnabled);
    virtual ZuResult SetRTPProtocolEnabled(bool aEnabled);
    virtual ZuResult SetGenDCEnabled(bool aEnabled);

    /// Stamps each buffer when it is queued for sending (the default);
    /// false leaves the buffer's own timestamp.
    /// @param aEnabled Whether the device stamps buffers.
    ZuResult SetStreamTimestamping(bool aEnabled);

#ifndef SWIG
    ZuSoftDeviceGEV(const ZuSoftDeviceGEV &) = delete;
    ZuSoftDeviceGEV &operator=(const ZuSoftDeviceGEV &) = delete;

    struct Impl;
    Impl &GetImpl() const { return *mImpl; }

private:
    Impl *mImpl;
#endif
};

#endif
