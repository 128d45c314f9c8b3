#ifndef ZU_STREAM_RTP_H
#define ZU_STREAM_RTP_H

#include "ZuPixelType.h"
#include "ZuStream.h"

#ifndef SWIG
#include <memory>
#endif

/// A session described in SDP; no such session is made by this SDK.
class ZuSessionInfoSDP;

/// An RTP stream received unicast, multicast or over TCP (RFC 4571): images
/// without compression (RFC 4175) or H.264 (RFC 6184). Set the payload to
/// expect with PrepareFor or PrepareForH264, then open. Each frame (the
/// packets of one RTP timestamp, ended by the marker bit) fills one queued
/// buffer: an image of the prepared width, height and pixel type, or for
/// H.264 one access unit as an Annex B byte stream in a raw-data buffer
/// (not decoded). A frame with lost packets comes back with
/// ZU_MISSING_PACKETS, one larger than its buffer with ZU_BUFFER_TOO_SMALL.
/// Packets that are no RTP, or that do not fit the prepared format, are
/// dropped.
class ZU_API ZuStreamRTP : public ZuStream
{
public:
    /// Makes a closed stream with no payload prepared.
    ZuStreamRTP();
    virtual ~ZuStreamRTP();

    /// Not supported: an RTP stream is opened by address.
    /// @return ZU_NOT_SUPPORTED.
    virtual ZuResult Open(const ZuDeviceInfo *aDeviceInfo);

    /// Not supported: an RTP stream is opened by address.
    /// @return ZU_NOT_SUPPORTED.
    virtual ZuResult Open(const ZuString &aInfo);

    /// Opens the stream an SDP session describes.
    /// @param aSessionInfo The session.
    /// @param aLocalIpAddress The local interface's address.
    /// @param aLocalPort The local port.
    /// @return ZU_NOT_SUPPORTED.
    ZuResult Open(const ZuSessionInfoSDP *aSessionInfo, const ZuString &aLocalIpAddress, uint16_t aLocalPort = 0);

    /// Opens unicast: receives the RTP packets sent to a local address and
    /// UDP port.
    /// @param aLocalIpAddress The local interface's address; empty for any.
    /// @param aLocalPort The local port; 0 lets the system choose (read it
    ///   with GetLocalPort).
    /// @return ZU_OK; ZU_NOT_INITIALIZED (no payload prepared);
    ///   ZU_GENERIC_ERROR (open already); ZU_INVALID_PARAMETER (not an
    ///   address); ZU_NETWORK_ERROR (the socket could not be bound).
    ZuResult Open(const ZuString &aLocalIpAddress, uint16_t aLocalPort);

    /// Opens multicast: joins a group on a data port.
    /// @param aMulticastAddr The group's address.
    /// @param aDataPort The group's UDP port.
    /// @param aLocalIpAddress The local interface's address; empty to let
    ///   the system choose.
    /// @return As the unicast form; ZU_INVALID_PARAMETER also for an address
    ///   that is no multicast group.
    ZuResult Open(const ZuString &aMulticastAddr, uint16_t aDataPort, const ZuString &aLocalIpAddress);

    /// Receives over TCP from the RTP server at an address and port, each
    /// packet after its 16-bit length (RFC 4571).
    /// @param aServerIpAddress The server's address.
    /// @param aServerPort The server's TCP port.
    /// @return ZU_OK; ZU_NOT_INITIALIZED; ZU_GENERIC_ERROR (open already);
    ///   ZU_INVALID_PARAMETER; ZU_NETWORK_ERROR (no connection).
    ZuResult OpenTCP(const ZuString &aServerIpAddress, uint16_t aServerPort);

    /// Expects images without compression (RFC 4175).
    /// @param aWidth Pixels a line.
    /// @param aHeight Lines.
    /// @param aPixelType Mono8, RGB8, BGR8, RGBa8, BGRa8 or YUV422_8_UYVY.
    /// @param aPaddingX Bytes after each line in the buffer.
    /// @return ZU_OK; ZU_INVALID_PARAMETER (a size or pixel type RTP cannot
    ///   carry); ZU_GENERIC_ERROR (the stream is open).
    ZuResult PrepareFor(uint32_t aWidth, uint32_t aHeight, ZuPixelType aPixelType, uint16_t aPaddingX = 0);

    /// Expects an H.264 stream (RFC 6184, non-interleaved).
    /// @return ZU_OK; ZU_GENERIC_ERROR (the stream is open).
    ZuResult PrepareForH264();

    /// Sets the expected payload back to undefined.
    /// @return ZU_OK; ZU_GENERIC_ERROR (the stream is open).
    ZuResult ResetPayloadType();

    /// The local UDP port; 0 when not open or in TCP mode.
    uint16_t GetLocalPort() const;
    /// The TCP server's port; 0 when not in TCP mode.
    uint16_t GetTCPServerPort() const;
    /// The local IP address; empty when not open.
    ZuString GetLocalIPAddress() const;
    /// The multicast group's address; empty unless open multicast.
    ZuString GetMulticastIPAddress() const;
    /// The TCP server's address; empty when not in TCP mode.
    ZuString GetTCPServerIPAddress() const;

    /// The priority of the data receiver thread.
    uint32_t GetThreadPriority() const;
    /// Sets the priority of the data receiver thread; values as for the
    /// pipeline's buffer-handling thread (on Linux 0..99, the SCHED_FIFO
    /// priorities, 0 for the normal scheduler).
    /// @return ZU_OK; ZU_INVALID_PARAMETER (above 99); ZU_THREAD_ERROR (the
    ///   system refused the priority).
    ZuResult SetThreadPriority(uint32_t aPriority);

    /// Tells the kind of the stream: ZuStreamTypeRTP.
    virtual ZuStreamType GetType() const;

#ifndef SWIG
    struct RtpImpl;

private:
    std::unique_ptr<RtpImpl> mRtp;
#endif
};

#endif
