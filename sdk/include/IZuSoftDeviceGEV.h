#ifndef IZU_SOFT_DEVICE_GEV_H
#define IZU_SOFT_DEVICE_GEV_H

#include "IZuVirtualDeviceGEV.h"

class IZuSWStreamingChannelSource;

/// A software GigE Vision device: a virtual device with stream channels fed
/// by channel sources.
class ZU_API IZuSoftDeviceGEV : public IZuVirtualDeviceGEV
{
public:
    virtual ~IZuSoftDeviceGEV() {}

    /// Adds a stream channel fed by a source; before Start only.
    /// @param aSource The source; it must outlive the device.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if null; ZU_STATE_ERROR while running; ZU_NOT_SUPPORTED when the device has its maximum number of streams.
    virtual ZuResult AddStream(IZuSWStreamingChannelSource *aSource) = 0;
    /// Enables the optional TCP transport besides UDP.
    /// @param aEnabled Whether it is enabled.
    virtual ZuResult SetTCPTransportEnabled(bool aEnabled) = 0;
    /// Makes RTP selectable as the transport of each stream channel.
    /// @param aEnabled Whether it is selectable.
    virtual ZuResult SetRTPProtocolEnabled(bool aEnabled) = 0;
    /// Makes GenDC selectable for streaming.
    /// @param aEnabled Whether it is selectable.
    virtual ZuResult SetGenDCEnabled(bool aEnabled) = 0;
};

#endif
