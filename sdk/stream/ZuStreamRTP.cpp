#include "ZuStreamRTP.h"
#include "RtpReceiver.h"
#include "StreamImpl.h"

#include "ZuPixelTypeInfo.h"
#include "gev/gvcp.h"

namespace {

bool ParseAddress(const ZuString &aText, uint32_t &aIp)
{
    return tarn::gvcp::parseIPv4(std::string(aText.GetAscii()), aIp);
}

ZuString Dotted(uint32_t aIp)
{
    return aIp ? ZuString(tarn::gvcp::formatIPv4(aIp).c_str()) : ZuString();
}

ZuResult OpenAlready() { return ZuResult(ZU_GENERIC_ERROR, ZuString("the stream is open already")); }

// An empty text stands for any local address.
bool LocalAddress(const ZuString &aText, uint32_t &aIp)
{
    aIp = 0;
    return aText.GetLength() == 0 || ParseAddress(aText, aIp);
}

} // namespace


struct ZuStreamRTP::RtpImpl {
    explicit RtpImpl(ZuStream::Impl &aQueue) : receiver(aQueue, aQueue.parameters) {}
    tarn::RtpReceiver receiver;
    tarn::RtpReceiver::Format format;
    uint32_t priority = 0;
    tarn::RtpReceiver::Setup opened;  // the setup of the current opening
};

ZuStreamRTP::ZuStreamRTP() : mRtp(new RtpImpl(GetImpl())) {}

ZuStreamRTP::~ZuStreamRTP()
{
    if (IsOpen()) Close();
    GetImpl().receiver = nullptr;
}

ZuStreamType ZuStreamRTP::GetType() const { return ZuStreamTypeRTP; }

ZuResult ZuStreamRTP::Open(const ZuDeviceInfo *)
{
    return ZuResult(ZU_NOT_SUPPORTED, ZuString("an RTP stream is opened by address"));
}

ZuResult ZuStreamRTP::Open(const ZuString &)
{
    return ZuResult(ZU_NOT_SUPPORTED, ZuString("an RTP stream is opened by address"));
}

ZuResult ZuStreamRTP::Open(const ZuSessionInfoSDP *, const ZuString &, uint16_t)
{
    return ZuResult(ZU_NOT_SUPPORTED, ZuString("SDP sessions are not supported"));
}

namespace {

// Opens the queue and starts the receiver with the prepared format; what the
// queries tell is kept once it started.
ZuResult Start(ZuStream::Impl &aQueue, ZuStreamRTP::RtpImpl &aRtp, tarn::RtpReceiver::Setup aSetup)
{
    std::lock_guard<std::mutex> turn(aQueue.opening);
    if (aQueue.IsOpen()) return OpenAlready();
    if (aRtp.format.payload == tarn::RtpReceiver::Payload::None)
        return ZuResult(ZU_NOT_INITIALIZED, ZuString("prepare the payload first (PrepareFor or PrepareForH264)"));
    aSetup.format = aRtp.format;
    aSetup.priority = aRtp.priority;
    aQueue.Opened(64, 0);
    ZuResult result = aRtp.receiver.Start(aSetup);
    if (!result.IsOK()) {
        aQueue.Closed();
        return result;
    }
    aQueue.receiver = &aRtp.receiver;
    aRtp.opened = aSetup;
    return result;
}

} // namespace

ZuResult ZuStreamRTP::Open(const ZuString &aLocalIpAddress, uint16_t aLocalPort)
{
    tarn::RtpReceiver::Setup setup;
    if (!LocalAddress(aLocalIpAddress, setup.localIp))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the local IP address is not an address"));
    setup.localPort = aLocalPort;
    return Start(GetImpl(), *mRtp, setup);
}

ZuResult ZuStreamRTP::Open(const ZuString &aMulticastAddr, uint16_t aDataPort, const ZuString &aLocalIpAddress)
{
    tarn::RtpReceiver::Setup setup;
    if (!ParseAddress(aMulticastAddr, setup.multicast) || (setup.multicast >> 28) != 0xE)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("not a multicast address"));
    if (!LocalAddress(aLocalIpAddress, setup.localIp))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the local IP address is not an address"));
    setup.localPort = aDataPort;
    return Start(GetImpl(), *mRtp, setup);
}

ZuResult ZuStreamRTP::OpenTCP(const ZuString &aServerIpAddress, uint16_t aServerPort)
{
    tarn::RtpReceiver::Setup setup;
    if (!ParseAddress(aServerIpAddress, setup.serverIp) || !setup.serverIp || !aServerPort)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("not a server address and port"));
    setup.serverPort = aServerPort;
    setup.tcp = true;
    return Start(GetImpl(), *mRtp, setup);
}

ZuResult ZuStreamRTP::PrepareFor(uint32_t aWidth, uint32_t aHeight, ZuPixelType aPixelType, uint16_t aPaddingX)
{
    if (IsOpen()) return OpenAlready();
    tarn::RtpReceiver::Format f;
    f.payload = tarn::RtpReceiver::Payload::Video;
    f.width = aWidth;
    f.height = aHeight;
    f.paddingX = aPaddingX;
    f.pixelType = aPixelType;
    tarn::rtp::RawVideoDepacketizer check;
    if (!tarn::rtp::SamplingOf(int32_t(aPixelType), f.sampling))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("RTP does not carry this pixel type"));
    // The padding follows each line in bytes, and the image counts it in
    // pixels: a part of a pixel could not be described.
    const uint32_t bits = ZuPixelTypeGetBitsPerPixel(aPixelType);
    if (aPaddingX && (!bits || (uint32_t(aPaddingX) * 8) % bits))
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("the padding is not a whole number of pixels"));
    // RFC 4175 numbers lines and pixels with 15 bits.
    if (!aWidth || !aHeight || aWidth > 0x8000 || aHeight > 0x8000 ||
        !check.Configure(aWidth, aHeight, f.sampling, aPaddingX) || check.FrameSize() > UINT32_MAX)
        return ZuResult(ZU_INVALID_PARAMETER, ZuString("RTP cannot carry an image of this size"));
    mRtp->format = f;
    return ZuResult();
}

ZuResult ZuStreamRTP::PrepareForH264()
{
    if (IsOpen()) return OpenAlready();
    mRtp->format = tarn::RtpReceiver::Format();
    mRtp->format.payload = tarn::RtpReceiver::Payload::H264;
    return ZuResult();
}

ZuResult ZuStreamRTP::ResetPayloadType()
{
    if (IsOpen()) return OpenAlready();
    mRtp->format = tarn::RtpReceiver::Format();
    return ZuResult();
}

uint16_t ZuStreamRTP::GetLocalPort() const
{
    return IsOpen() && !mRtp->opened.tcp ? mRtp->receiver.Local().port : 0;
}

uint16_t ZuStreamRTP::GetTCPServerPort() const { return IsOpen() && mRtp->opened.tcp ? mRtp->opened.serverPort : 0; }

ZuString ZuStreamRTP::GetLocalIPAddress() const { return IsOpen() ? Dotted(mRtp->receiver.Local().ip) : ZuString(); }

ZuString ZuStreamRTP::GetMulticastIPAddress() const
{
    return IsOpen() ? Dotted(mRtp->opened.multicast) : ZuString();
}

ZuString ZuStreamRTP::GetTCPServerIPAddress() const
{
    return IsOpen() && mRtp->opened.tcp ? Dotted(mRtp->opened.serverIp) : ZuString();
}

uint32_t ZuStreamRTP::GetThreadPriority() const { return mRtp->priority; }

ZuResult ZuStreamRTP::SetThreadPriority(uint32_t aPriority)
{
    ZuResult r = mRtp->receiver.SetPriority(aPriority);
    if (r.GetCode() != ZU_INVALID_PARAMETER) mRtp->priority = aPriority;
    return r;
}
