#ifndef ZU_STREAM_GEV_H
#define ZU_STREAM_GEV_H

#include "ZuStream.h"

/// The GigE Vision stream (GVSP) of one streaming channel of a transmitter,
/// received unicast on a local port or multicast in a group. A user-mode
/// receiver thread reads the packets, places them into the queued buffers
/// and asks the device again for packets that were lost.
class ZU_API ZuStreamGEV : public ZuStream
{
public:
    /// Makes a closed stream.
    ZuStreamGEV();
    virtual ~ZuStreamGEV();

    /// Opens unicast with the defaults: a local port the system assigns,
    /// channel 0, the interface towards the device, 64 buffers.
    /// @param aDeviceInfo Information of a found GigE Vision device.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_SUPPORTED (not a GigE
    ///   Vision device); ZU_GENERIC_ERROR (open already); ZU_NETWORK_ERROR (the
    ///   socket could not be bound).
    virtual ZuResult Open(const ZuDeviceInfo *aDeviceInfo);

    /// Opens unicast: receives the blocks sent to this host. With local port
    /// 0 the system assigns the port (read it with GetLocalPort, then set the
    /// transmitter's stream destination accordingly). In the forms by device
    /// information the local IP address is ignored.
    /// @param aDeviceInfo Information of a found GigE Vision device.
    /// @param aLocalPort Local UDP port; 0 lets the system choose.
    /// @param aChannel The transmitter's streaming channel.
    /// @param aLocalIpAddress Local interface address; empty to choose it.
    /// @param aBuffersCapacity Buffers the queue may hold.
    /// @return ZU_OK; ZU_NOT_CONNECTED; ZU_INVALID_PARAMETER; ZU_NOT_FOUND;
    ///   ZU_GENERIC_ERROR; ZU_BAD_VERSION; ZU_NETWORK_ERROR.
    ZuResult Open(const ZuDeviceInfo *aDeviceInfo, uint16_t aLocalPort, uint16_t aChannel = 0,
                  const ZuString &aLocalIpAddress = ZuString(), uint32_t aBuffersCapacity = 64);

    /// Opens multicast: joins the group (addresses of the form 239.192.x.y)
    /// on the data port. The device's address is still needed: packet-resend
    /// requests go to it over the control protocol. Multicast needs an
    /// IGMP-compliant switch (IGMP version 3, RFC 3376), else the stream is
    /// broadcast to every station.
    /// @param aDeviceInfo Information of a found GigE Vision device.
    /// @param aMulticastAddr The group's address.
    /// @param aDataPort The group's UDP port.
    /// @param aChannel The transmitter's streaming channel.
    /// @param aLocalIpAddress Local interface address; empty to choose it.
    /// @param aBuffersCapacity Buffers the queue may hold.
    /// @return As the unicast forms.
    ZuResult Open(const ZuDeviceInfo *aDeviceInfo, const ZuString &aMulticastAddr, uint16_t aDataPort,
                  uint16_t aChannel = 0, const ZuString &aLocalIpAddress = ZuString(),
                  uint32_t aBuffersCapacity = 64);

    /// Opens unicast with the defaults, for the device at an IP address.
    /// @param aIPAddress The device's IP address ("192.168.1.114").
    /// @return As Open by device information.
    virtual ZuResult Open(const ZuString &aIPAddress);

    /// Opens unicast for the device at an IP address; see the form by device
    /// information.
    ZuResult Open(const ZuString &aIPAddress, uint16_t aLocalPort, uint16_t aChannel = 0,
                  const ZuString &aLocalIpAddress = ZuString(), uint32_t aBuffersCapacity = 64);

    /// Opens multicast for the device at an IP address; see the form by
    /// device information.
    ZuResult Open(const ZuString &aIPAddress, const ZuString &aMulticastAddr, uint16_t aDataPort,
                  uint16_t aChannel = 0, const ZuString &aLocalIpAddress = ZuString(),
                  uint32_t aBuffersCapacity = 64);

    /// Tells the kind of the stream: ZuStreamTypeGEV.
    virtual ZuStreamType GetType() const;

    /// What receives the packets: ZuDataReceiverTypeUserMode while open,
    /// ZuDataReceiverTypeUnknown when closed.
    ZuDataReceiverType GetDataReceiverType() const;

    /// Drops every received, unprocessed UDP packet of the data receiver.
    /// Call it before resuming after a pause, so that old packets are not
    /// taken for new data.
    /// @return ZU_OK; ZU_NOT_CONNECTED when the stream is not open.
    ZuResult FlushPacketQueue();

    /// Whether a block starts only with its first packet (the leader); the
    /// stream parameter "StartStreamOnlyOnPacketIdZero".
    bool GetWaitForFirstPacketOfBlockToStart() const;

    /// Sets the stream parameter "StartStreamOnlyOnPacketIdZero": with true,
    /// packets of a block whose leader was not received are ignored.
    /// @return ZU_OK; ZU_NOT_SUPPORTED; ZU_NOT_CONNECTED.
    ZuResult SetWaitForFirstPacketOfBlockToStart(bool aWait);

    /// The local UDP port the stream receives on; 0 when not open.
    uint16_t GetLocalPort() const;

    /// The local UDP port requested at Open; 0 when none was requested or the
    /// stream is not open.
    uint16_t GetSpecificLocalPort() const;

    /// The local IP address the stream receives on; empty when not open.
    ZuString GetLocalIPAddress() const;

    /// The multicast group's address; empty for a unicast stream.
    ZuString GetMulticastIPAddress() const;

    /// The device's IP address; empty when not open.
    ZuString GetDeviceIPAddress() const;

    /// The priority of the user-mode receiver thread.
    uint32_t GetUserModeDataReceiverThreadPriority() const;

    /// Sets the priority of the user-mode receiver thread, which receives and
    /// processes every packet from the device; values as for the pipeline's
    /// buffer-handling thread (on Linux 0..99, the SCHED_FIFO priorities, 0
    /// for the normal scheduler).
    /// @return ZU_OK; ZU_INVALID_PARAMETER (above 99); ZU_THREAD_ERROR (the
    ///   system refused the priority).
    ZuResult SetUserModeDataReceiverThreadPriority(uint32_t aPriority);

    /// The receive buffer size (SO_RCVBUF) of the receiver's socket.
    /// @param aSize Set to the size in bytes.
    /// @return ZU_OK; ZU_NOT_CONNECTED (not open); ZU_NOT_SUPPORTED.
    ZuResult GetUserModeSocketRxBufferSize(uint32_t &aSize);

    /// Sets SO_RCVBUF of the receiver's socket for this stream; call it
    /// before Open. Linux limits it by the kernel's rmem_max (a larger value
    /// uses rmem_max and returns ZU_INVALID_PARAMETER); the kernel may double
    /// the value, so GetUserModeSocketRxBufferSize may read up to twice it.
    /// @param aSize Bytes.
    /// @return ZU_OK; ZU_NETWORK_CONFIG_ERROR (the stream is open);
    ///   ZU_INVALID_PARAMETER (above rmem_max).
    ZuResult SetUserModeSocketRxBufferSize(uint32_t aSize);

    /// Sets the largest (jumbo) packet the receiver accepts: 17000 bytes (the
    /// default, enough for every physical network card) to 65500 (for virtual
    /// network cards); a value outside is clamped to the nearer bound. Call
    /// it before Open.
    /// @param aSize Bytes.
    /// @return ZU_OK; ZU_NETWORK_CONFIG_ERROR (the stream is open).
    ZuResult SetUserModeRxPacketBufferSize(uint32_t aSize);

    /// Tells whether the device at an IP address is reached through the
    /// maker's network driver; this SDK has none, so the answer is false.
    /// @param aIPAddress The device's IP address.
    /// @param aInstalled Set to the answer.
    /// @param aLocalIPAddress Ignored.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (not an IP address).
    static ZuResult IsDriverInstalled(ZuString &aIPAddress, bool &aInstalled,
                                      const ZuString &aLocalIPAddress = ZuString());

#ifndef SWIG
private:
    ZuResult OpenAt(uint32_t aDeviceIp, uint32_t aMulticast, uint16_t aPort, uint16_t aChannel,
                    const ZuString &aLocalIpAddress, uint32_t aBuffersCapacity, bool aIgnoreLocalIp);
    struct GevImpl;
    std::unique_ptr<GevImpl> mGev;
#endif
};

#endif
