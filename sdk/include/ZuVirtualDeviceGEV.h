#ifndef ZU_VIRTUAL_DEVICE_GEV_H
#define ZU_VIRTUAL_DEVICE_GEV_H

#include "IZuTransmitterGEV.h"
#include "ZuResult.h"
#include "ZuString.h"

/// A light GigE Vision device that answers the control protocol (GVCP) on
/// one local interface and leaves the streaming to stream transmitters.
///
/// Controllers discover it, read its identity from the bootstrap
/// registers, and send it packet-resend requests, which the transmitters
/// added to it serve. Configure it and add its transmitters before
/// StartListening: while it listens those setters answer ZU_BUSY.
class ZU_API ZuVirtualDeviceGEV
{
public:
    /// Builds a responder that is not listening.
    ZuVirtualDeviceGEV();
    /// Stops listening and destroys the responder.
    ~ZuVirtualDeviceGEV();

    /// Sets the GigE Vision version the device announces (2.0 by default).
    /// @param aMajor Major version, 1 or 2.
    /// @param aMinor Minor version, 0 to 2.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the major or minor version is
    ///         out of range; ZU_BUSY while listening.
    ZuResult SetGEVSpecificationVersion(uint16_t aMajor, uint16_t aMinor);
    /// Writes the GigE Vision version the device announces.
    /// @param aMajor Receives the major version.
    /// @param aMinor Receives the minor version.
    /// @return ZU_OK.
    ZuResult GetGEVSpecificationVersion(uint16_t &aMajor, uint16_t &aMinor);
    /// Chooses whether the device announces the packet-resend command (on by default).
    /// @param aValue True to announce it.
    /// @return ZU_OK; ZU_BUSY while listening.
    ZuResult SetGVCPCapabilityPacketResendCommandSupported(bool aValue);
    /// Tells whether the device announces the packet-resend command.
    /// @return True if announced.
    bool GetGVCPCapabilityPacketResendCommandSupported();
    /// Sets the device version: at most 31 bytes of UTF-8, as the 32-byte
    /// bootstrap field ends with a zero.
    /// @param aDeviceVersion The text.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the text is too long; ZU_BUSY while listening.
    ZuResult SetDeviceVersion(const ZuString &aDeviceVersion);
    /// Returns the device version.
    ZuString GetDeviceVersion();
    /// Sets the serial number: at most 15 bytes of UTF-8.
    /// @param aSerialNumber The text.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the text is too long; ZU_BUSY while listening.
    ZuResult SetSerialNumber(const ZuString &aSerialNumber);
    /// Returns the serial number.
    ZuString GetSerialNumber();
    /// Sets the manufacturer name: at most 31 bytes of UTF-8.
    /// @param aManufacturerName The text.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the text is too long; ZU_BUSY while listening.
    ZuResult SetManufacturerName(const ZuString &aManufacturerName);
    /// Returns the manufacturer name.
    ZuString GetManufacturerName();
    /// Sets the model name: at most 31 bytes of UTF-8.
    /// @param aModelName The text.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the text is too long; ZU_BUSY while listening.
    ZuResult SetModelName(const ZuString &aModelName);
    /// Returns the model name.
    ZuString GetModelName();
    /// Adds the transmitter of the next stream channel: the first added
    /// serves channel 0. Packet resends that controllers request for its
    /// channel go to it. It must outlive the responder's listening.
    /// @param aTransmitterGEV The transmitter.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the transmitter is null,
    ///         already added, already transmitting, or beyond the 16
    ///         channels; ZU_BUSY while listening.
    ZuResult AddTransmitterGEV(IZuTransmitterGEV *aTransmitterGEV);
    /// Starts answering GVCP on the local interface with this address, on
    /// the GVCP port 3956.
    /// @param aIPAddress Local address, dotted decimal.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the text is no IPv4 address;
    ///         ZU_STATE_ERROR if already listening; ZU_NETWORK_ERROR if the
    ///         address cannot be bound.
    ZuResult StartListening(ZuString aIPAddress);
    /// Stops answering GVCP and closes the sockets; the setters are accepted again.
    void StopListening();
    /// Returns the priority of the thread that serves the control channel.
    uint32_t GetDevicePortThreadPriority() const;
    /// Sets the priority of the control channel's thread: 0 to 99, 99 the
    /// highest, as for the SCHED_FIFO scheduler (0: the normal scheduler);
    /// without the privilege only 0 is allowed. Changing priorities may
    /// impair stability.
    /// @param aPriority The priority.
    /// @return ZU_OK; ZU_INVALID_PARAMETER above 99; ZU_THREAD_ERROR if the system refused it.
    ZuResult SetDevicePortThreadPriority(uint32_t aPriority);

#ifndef SWIG
    ZuVirtualDeviceGEV(const ZuVirtualDeviceGEV &) = delete;
    ZuVirtualDeviceGEV &operator=(const ZuVirtualDeviceGEV &) = delete;

    struct Impl;
    Impl &GetImpl() const { return *mImpl; }

private:
    Impl *mImpl;
#endif
};

#endif
