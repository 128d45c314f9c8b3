#ifndef ZU_STREAM_U3V_H
#define ZU_STREAM_U3V_H

#include "ZuStream.h"

/// The stream channel of a USB3 Vision device. This SDK has no USB
/// transport: no USB3 Vision device is ever found or reached, so every
/// Open answers ZU_NOT_FOUND (no such device) or ZU_NOT_SUPPORTED (not a
/// USB3 Vision device) and the stream stays closed.
class ZU_API ZuStreamU3V : public ZuStream
{
public:
    /// Makes a closed stream.
    ZuStreamU3V();
    virtual ~ZuStreamU3V();

    /// Opens the stream of a USB3 Vision device on the transmitter's
    /// default channel (0) with the default settings.
    /// @param aDeviceInfo Information of a found USB3 Vision device.
    /// @return ZU_OK; ZU_BUSY (only one stream instance can be open to one
    ///   transmitter at a time); ZU_NOT_CONNECTED; ZU_GENERIC_ERROR;
    ///   ZU_NOT_FOUND; ZU_CANNOT_OPEN_FILE; ZU_NOT_SUPPORTED.
    virtual ZuResult Open(const ZuDeviceInfo *aDeviceInfo);

    /// Opens the stream of a USB3 Vision device.
    /// @param aDeviceInfo Information of a found USB3 Vision device.
    /// @param aChannel The transmitter's streaming channel.
    /// @param aBuffersCapacity The most buffers the data receiver holds at once.
    /// @param aSmallImageThreshold The size under which data exchanged with
    ///   the driver is copied rather than memory-mapped, to cut overhead.
    /// @param aMaxNumPendingURB How many USB request blocks may be pending in
    ///   the controller at one time.
    /// @return As Open by device information alone.
    ZuResult Open(const ZuDeviceInfo *aDeviceInfo, uint16_t aChannel, uint32_t aBuffersCapacity = 64,
                  uint32_t aSmallImageThreshold = 512, uint32_t aMaxNumPendingURB = 64);

    /// Opens the stream of the USB3 Vision device with a GUID, on the
    /// default channel with the default settings.
    /// @param aGUID The device's USB3 Vision GUID.
    /// @return As Open by device information alone.
    virtual ZuResult Open(const ZuString &aGUID);

    /// Opens the stream of the USB3 Vision device with a GUID; see the form
    /// by device information.
    ZuResult Open(const ZuString &aGUID, uint16_t aChannel, uint32_t aBuffersCapacity = 64,
                  uint32_t aSmallImageThreshold = 512, uint32_t aMaxNumPendingURB = 64);

    /// The GUID of the device the stream is open to; empty when closed.
    ZuString GetGUID();

    /// Tells the kind of the stream: ZuStreamTypeU3V.
    virtual ZuStreamType GetType() const;
};

#endif
