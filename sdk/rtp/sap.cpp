#include "rtp/sap.h"

#include "ZuPixelType.h"

#include <cstring>

namespace tarn {
namespace rtp {

namespace {

std::string dotted(uint32_t aIp)
{
    return std::to_string(aIp >> 24) + "." + std::to_string(aIp >> 16 & 0xFF) + "." +
           std::to_string(aIp >> 8 & 0xFF) + "." + std::to_string(aIp & 0xFF);
}

bool multicast(uint32_t aIp)
{
    return (aIp >> 28) == 0xE;
}

const char kMimeType[] = "application/sdp";

} // namespace

std::string SamplingName(int32_t aPixelType)
{
    switch (aPixelType) {
    case ZuPixelMono8: return "GRAYSCALE";
    case ZuPixelRGB8: return "RGB";
    case ZuPixelBGR8: return "BGR";
    case ZuPixelRGBa8: return "RGBA";
    case ZuPixelBGRa8: return "BGRA";
    case ZuPixelYUV422_8_UYVY: return "YCbCr-4:2:2";
    default: return std::string();
    }
}

std::string FormatSdp(const VideoSession &aSession)
{
    std::string name = aSession.name.empty() ? std::string("-") : aSession.name;
    for (char &c : name)
        if (c == '\r' || c == '\n' || c == '\0') c = ' ';
    const std::string pt = std::to_string(aSession.payloadType);
    std::string sdp;
    sdp += "v=0\r\n";
    sdp += "o=- " + std::to_string(aSession.sessionId) + " " + std::to_string(aSession.version) + " IN IP4 " +
           dotted(aSession.origin) + "\r\n";
    sdp += "s=" + name + "\r\n";
    // A group needs its TTL; ours never leaves the link.
    sdp += "c=IN IP4 " + dotted(aSession.destination) + (multicast(aSession.destination) ? "/1" : "") + "\r\n";
    sdp += "t=0 0\r\n";
    sdp += "m=video " + std::to_string(aSession.port) + " RTP/AVP " + pt + "\r\n";
    if (aSession.format == VideoSession::Format::H264) {
        sdp += "a=rtpmap:" + pt + " H264/90000\r\n";
        sdp += "a=fmtp:" + pt + " packetization-mode=1\r\n";
    } else {
        sdp += "a=rtpmap:" + pt + " raw/90000\r\n";
        sdp += "a=fmtp:" + pt + " sampling=" + aSession.sampling + "; width=" + std::to_string(aSession.width) +
               "; height=" + std::to_string(aSession.height) + "; depth=" + std::to_string(aSession.depth) +
               "; colorimetry=" + aSession.colorimetry + "\r\n";
    }
    sdp += "a=recvonly\r\n";
    return sdp;
}

void FormatSap(bool aDeletion, uint16_t aHash, uint32_t aOrigin, const std::string &aSdp, std::vector<uint8_t> &aOut)
{
    aOut.clear();
    // Version 1, IPv4, announcement or deletion, neither encrypted nor
    // compressed, no authentication data.
    aOut.push_back(uint8_t(0x20 | (aDeletion ? 0x04 : 0)));
    aOut.push_back(0);
    aOut.push_back(uint8_t(aHash >> 8));
    aOut.push_back(uint8_t(aHash));
    for (int shift = 24; shift >= 0; shift -= 8) aOut.push_back(uint8_t(aOrigin >> shift));
    aOut.insert(aOut.end(), kMimeType, kMimeType + sizeof kMimeType);  // with its terminating zero
    aOut.insert(aOut.end(), aSdp.begin(), aSdp.end());
}

} // namespace rtp
} // namespace tarn
