#ifndef TARN_RTP_SAP_H
#define TARN_RTP_SAP_H

// Session announcements: the SDP description (RFC 4566) of one RTP video
// stream, and the SAP packet (RFC 2974) that announces it or withdraws it.
// Pure: no sockets, no clock; the caller picks the identifiers.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace tarn {
namespace rtp {

// The well-known SAP group and port.
constexpr uint32_t kSapGroup = 0xE0027FFEu;  // 224.2.127.254
constexpr uint16_t kSapPort = 9875;

struct VideoSession {
    enum class Format { RawVideo, H264 };
    uint32_t origin = 0;          // the sender's address, host order
    uint64_t sessionId = 0;       // o= session id, the same for one stream
    uint64_t version = 0;         // o= version, grows when the description changes
    std::string name;             // s=, the session's name (no line breaks)
    uint32_t destination = 0;     // c=, host order
    uint16_t port = 0;            // m=
    uint8_t payloadType = 96;     // a dynamic payload type
    Format format = Format::RawVideo;
    // Uncompressed video only: RFC 4175's format parameters.
    std::string sampling;         // e.g. "RGB", "YCbCr-4:2:2"
    uint32_t width = 0, height = 0, depth = 8;
    std::string colorimetry = "BT709-2";
};

// The RFC 4175 sampling name of a pixel type (a ZuPixelType value), empty
// for one that has none.
std::string SamplingName(int32_t aPixelType);

// The SDP text, lines ended by CRLF. Line breaks in the name become blanks.
std::string FormatSdp(const VideoSession &aSession);

// The SAP packet for a description: header (IPv4 origin, no
// authentication, no encryption or compression), "application/sdp", then
// the description. aDeletion withdraws the session. aHash tells this
// session's announcements from others of the same origin; it changes when
// the description does.
void FormatSap(bool aDeletion, uint16_t aHash, uint32_t aOrigin, const std::string &aSdp, std::vector<uint8_t> &aOut);

} // namespace rtp
} // namespace tarn

#endif
