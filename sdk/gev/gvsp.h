#ifndef TARN_GEV_GVSP_H
#define TARN_GEV_GVSP_H

// GigE Vision stream protocol (GVSP): the packets a transmitter sends and a
// receiver reassembles, as views over bytes in place. Decoding checks every
// length before it reads and gives std::nullopt for anything truncated or
// malformed; encoding writes into caller memory and gives 0 when it does
// not fit. Nothing here allocates or keeps state, so both can run per
// packet on a streaming thread.

#include <cstddef>
#include <cstdint>
#include <optional>

namespace tarn {
namespace gvsp {

// Packet formats (low nibble of the format byte).
enum : uint8_t {
    FORMAT_LEADER = 1,
    FORMAT_TRAILER = 2,
    FORMAT_PAYLOAD = 3,        // generic payload: image, raw data, chunk data, compressed
    FORMAT_ALLIN = 4,
    FORMAT_H264 = 5,
    FORMAT_MULTIZONE = 6,
    FORMAT_MULTIPART = 7,
    FORMAT_GENDC = 8,
};

// Payload types announced by leaders and trailers.
enum : uint16_t {
    PAYLOAD_IMAGE = 0x0001,
    PAYLOAD_RAW = 0x0002,
    PAYLOAD_FILE = 0x0003,
    PAYLOAD_CHUNK = 0x0004,
    PAYLOAD_EXTENDED_CHUNK_OLD = 0x0005,
    PAYLOAD_JPEG = 0x0006,
    PAYLOAD_JPEG2000 = 0x0007,
    PAYLOAD_H264 = 0x0008,
    PAYLOAD_MULTIZONE = 0x0009,
    PAYLOAD_MULTIPART = 0x000A,
    PAYLOAD_GENDC = 0x000B,
    PAYLOAD_COMPRESSED = 0x80E7,         // the maker's own compressed image
    PAYLOAD_CHUNK_FLAG = 0x4000,         // the payload is followed by chunks
    PAYLOAD_DEVICE_SPECIFIC = 0x8000,
};

// Flags of the extended-id header (they share the block-id field).
enum : uint16_t {
    FLAG_PACKET_RESEND = 0x0001,
    FLAG_PREVIOUS_BLOCK_DROPPED = 0x0002,
    FLAG_RESEND_RANGE_ERROR = 0x0004,
};

// Statuses a transmitter puts in the header; the last four answer a
// resend request for a packet it no longer has.
enum : uint16_t {
    STATUS_SUCCESS = 0x0000,
    STATUS_PACKET_RESEND = 0x0100,
    STATUS_PACKET_UNAVAILABLE = 0x800C,
    STATUS_DATA_OVERRUN = 0x800D,
    STATUS_PACKET_NOT_YET_AVAILABLE = 0x8010,
    STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY = 0x8011,
    STATUS_PACKET_REMOVED_FROM_MEMORY = 0x8012,
};

constexpr size_t kHeaderSize = 8;
constexpr size_t kExtendedHeaderSize = 20;
// An IPv4 header without options and a UDP header: what the stream channel
// packet size register counts besides the GVSP packet.
constexpr size_t kIpUdpOverhead = 28;
constexpr uint32_t kMaxPacketId24 = 0xFFFFFF;
// Block id 0 is never a block's: test packets carry it.
constexpr uint64_t kTestBlockId = 0;

// Bytes a leader or trailer body (after the header) holds per part.
constexpr size_t kPartLeaderSize = 48;
constexpr size_t kPartTrailerSize = 16;
// What a multi-part or GenDC payload packet puts before its data.
constexpr size_t kMultiPartPayloadHeader = 8;
constexpr size_t kGenDCPayloadHeader = 16;

struct Header {
    uint16_t status = STATUS_SUCCESS;
    uint16_t flags = 0;          // extended ids only
    uint64_t blockId = 0;        // 16 bits unless extendedId
    uint32_t packetId = 0;       // 24 bits unless extendedId
    uint8_t format = 0;
    bool extendedId = false;
};

inline size_t headerSize(bool aExtendedId) { return aExtendedId ? kExtendedHeaderSize : kHeaderSize; }

// One received packet: its header, and its body in place.
struct Packet {
    Header header;
    const uint8_t *body = nullptr;
    size_t bodySize = 0;
};

namespace detail {
inline uint16_t get16(const uint8_t *p) { return uint16_t((p[0] << 8) | p[1]); }
inline uint32_t get24(const uint8_t *p) { return (uint32_t(p[0]) << 16) | (uint32_t(p[1]) << 8) | p[2]; }
inline uint32_t get32(const uint8_t *p) { return (uint32_t(get16(p)) << 16) | get16(p + 2); }
inline uint64_t get48(const uint8_t *p) { return (uint64_t(get16(p)) << 32) | get32(p + 2); }
inline uint64_t get64(const uint8_t *p) { return (uint64_t(get32(p)) << 32) | get32(p + 4); }
inline void put16(uint8_t *p, uint16_t v) { p[0] = uint8_t(v >> 8); p[1] = uint8_t(v); }
inline void put24(uint8_t *p, uint32_t v) { p[0] = uint8_t(v >> 16); p[1] = uint8_t(v >> 8); p[2] = uint8_t(v); }
inline void put32(uint8_t *p, uint32_t v) { put16(p, uint16_t(v >> 16)); put16(p + 2, uint16_t(v)); }
inline void put48(uint8_t *p, uint64_t v) { put16(p, uint16_t(v >> 32)); put32(p + 2, uint32_t(v)); }
inline void put64(uint8_t *p, uint64_t v) { put32(p, uint32_t(v >> 32)); put32(p + 4, uint32_t(v)); }
} // namespace detail

// The header and body of a datagram; nullopt when it is shorter than its
// header. Any format is accepted here: callers decide what they place.
inline std::optional<Packet> parsePacket(const uint8_t *aData, size_t aSize)
{
    if (!aData || aSize < kHeaderSize) return std::nullopt;
    Packet packet;
    Header &h = packet.header;
    h.status = detail::get16(aData);
    h.extendedId = (aData[4] & 0x80) != 0;
    h.format = aData[4] & 0x0F;
    if (h.extendedId) {
        if (aSize < kExtendedHeaderSize) return std::nullopt;
        h.flags = detail::get16(aData + 2);
        h.blockId = detail::get64(aData + 8);
        h.packetId = detail::get32(aData + 16);
    } else {
        h.blockId = detail::get16(aData + 2);
        h.packetId = detail::get24(aData + 5);
    }
    size_t header = headerSize(h.extendedId);
    packet.body = aData + header;
    packet.bodySize = aSize - header;
    return packet;
}

// Writes a header; 0 when it does not fit or an id does not fit its field.
inline size_t writeHeader(const Header &aHeader, uint8_t *aOut, size_t aCapacity)
{
    size_t size = headerSize(aHeader.extendedId);
    if (!aOut || aCapacity < size) return 0;
    if (!aHeader.extendedId && (aHeader.blockId > 0xFFFF || aHeader.packetId > kMaxPacketId24)) return 0;
    detail::put16(aOut, aHeader.status);
    aOut[4] = uint8_t((aHeader.extendedId ? 0x80 : 0) | (aHeader.format & 0x0F));
    if (aHeader.extendedId) {
        detail::put16(aOut + 2, aHeader.flags);
        detail::put24(aOut + 5, 0);
        detail::put64(aOut + 8, aHeader.blockId);
        detail::put32(aOut + 16, aHeader.packetId);
    } else {
        detail::put16(aOut + 2, uint16_t(aHeader.blockId));
        detail::put24(aOut + 5, aHeader.packetId);
    }
    return size;
}

// The payload type a leader or trailer names, without its chunk flag.
inline uint16_t basePayloadType(uint16_t aPayloadType)
{
    return aPayloadType & PAYLOAD_DEVICE_SPECIFIC ? aPayloadType : uint16_t(aPayloadType & ~PAYLOAD_CHUNK_FLAG);
}
inline bool hasChunks(uint16_t aPayloadType)
{
    return !(aPayloadType & PAYLOAD_DEVICE_SPECIFIC) && (aPayloadType & PAYLOAD_CHUNK_FLAG);
}

// The block after aBlockId: standard ids run 1..65535 and skip 0.
inline uint64_t nextBlockId(uint64_t aBlockId, bool aExtendedId)
{
    if (aExtendedId) return aBlockId + 1 ? aBlockId + 1 : 1;
    return aBlockId >= 0xFFFF ? 1 : aBlockId + 1;
}

// How many blocks aId lies after aReference in the stream: positive ahead,
// negative behind, 0 the same block. Ids skip 0 and wrap, standard ones
// from 65535 to 1 and extended ones from 2^64 - 1 to 1, and the half of the
// id space ahead counts as ahead.
inline int64_t blockDistance(uint64_t aId, uint64_t aReference, bool aExtendedId)
{
    if (aExtendedId) {
        // Steps forward through 1 .. 2^64 - 1, a space one short of 2^64.
        const uint64_t forward = aId >= aReference ? aId - aReference : aId - aReference - 1;
        return forward < (uint64_t(1) << 63) ? int64_t(forward) : -int64_t(~forward);
    }
    const int64_t forward = int64_t((aId % 0xFFFF + 0xFFFF - aReference % 0xFFFF) % 0xFFFF);
    return forward < 0x8000 ? forward : forward - 0xFFFF;
}

// True when aId comes after aReference in the stream (see blockDistance).
inline bool isNewerBlock(uint64_t aId, uint64_t aReference, bool aExtendedId)
{
    return blockDistance(aId, aReference, aExtendedId) > 0;
}

struct ImageInfo {
    uint32_t pixelFormat = 0;
    uint32_t sizeX = 0;
    uint32_t sizeY = 0;
    uint32_t offsetX = 0;
    uint32_t offsetY = 0;
    uint16_t paddingX = 0;
    uint16_t paddingY = 0;
};

// One part of a multi-part block as its leader describes it.
struct PartInfo {
    uint16_t dataType = 0;        // 1 = 2D image, ...
    uint64_t length = 0;          // bytes, 48 bits on the wire
    uint32_t dataFormat = 0;      // the pixel format of an image part
    uint8_t sourceId = 0;
    uint8_t additionalZones = 0;
    uint32_t zoneDirections = 0;
    uint16_t dataPurposeId = 0;
    uint16_t regionId = 0;
    // Image parts: size x, size y, offset x, offset y, padding x (high 16
    // bits of the fifth word); other data types use them as they define.
    uint32_t specific[6] = {};

    ImageInfo Image() const
    {
        ImageInfo i;
        i.pixelFormat = dataFormat;
        i.sizeX = specific[0];
        i.sizeY = specific[1];
        i.offsetX = specific[2];
        i.offsetY = specific[3];
        i.paddingX = uint16_t(specific[4] >> 16);
        return i;
    }
};

// One part of a multi-part block as its trailer reports it.
struct PartTrailer {
    uint16_t dataType = 0;
    uint64_t length = 0;
    uint32_t sizeY = 0;
};

// A leader's body. Multi-part parts stay in the packet: Part(i) reads one.
struct Leader {
    uint16_t payloadType = PAYLOAD_IMAGE;
    uint8_t fieldInfo = 0;          // images: field id and count
    uint64_t timestamp = 0;
    ImageInfo image;                // image and compressed payloads
    uint64_t payloadSize = 0;       // raw data, GenDC, compressed
    uint8_t genDCFlags = 0;
    uint32_t genDCDescriptorSize = 0;
    uint32_t partCount = 0;         // multi-part
    const uint8_t *partTable = nullptr;

    // Part aIndex < partCount of a decoded leader.
    PartInfo Part(uint32_t aIndex) const;
};

struct Trailer {
    uint16_t payloadType = PAYLOAD_IMAGE;
    uint32_t sizeY = 0;             // images: lines sent
    uint32_t chunkPayloadLength = 0;
    uint32_t chunkLayoutId = 0;
    uint32_t partCount = 0;
    const uint8_t *partTable = nullptr;

    PartTrailer Part(uint32_t aIndex) const;
};

// Data packet prefixes of multi-part and GenDC blocks.
struct MultiPartData {
    uint8_t partId = 0;
    uint8_t zoneInfo = 0;
    uint64_t offset = 0;            // within the block (the parts one after another), 48 bits
};
struct GenDCData {
    uint32_t dataSize = 0;
    uint64_t destinationOffset = 0; // within the container
    uint8_t dataFlags = 0;
    uint8_t flowFlags = 0;
    uint16_t flowId = 0;
};

// Leader GenDC flag and GenDC data flags.
enum : uint8_t {
    GENDC_PRELIMINARY_DESCRIPTOR = 0x80,
    GENDC_DESCRIPTOR_PRESENT = 0x40,     // descriptor data (final)
    GENDC_DESCRIPTOR_START = 0x20,
    GENDC_DESCRIPTOR_END = 0x10,
    GENDC_FLOW_FIRST = 0x80,
    GENDC_FLOW_LAST = 0x40,
};

// Body sizes.
size_t leaderBodySize(const Leader &aLeader);
size_t trailerBodySize(const Trailer &aTrailer);

// Decode a leader or trailer packet's body; nullopt when the body is
// shorter than its payload type needs or the packet has another format.
std::optional<Leader> decodeLeader(const Packet &aPacket);
std::optional<Trailer> decodeTrailer(const Packet &aPacket);
std::optional<MultiPartData> decodeMultiPartData(const Packet &aPacket, const uint8_t **aData, size_t *aSize);
std::optional<GenDCData> decodeGenDCData(const Packet &aPacket, const uint8_t **aData, size_t *aSize);

// Encode whole packets (header included) into aOut; the bytes written, 0
// when they do not fit. aParts / aPartTrailers hold partCount entries for
// multi-part blocks (the leader's and trailer's own partTable is ignored).
size_t encodeLeader(const Header &aHeader, const Leader &aLeader, const PartInfo *aParts, uint8_t *aOut,
                    size_t aCapacity);
size_t encodeTrailer(const Header &aHeader, const Trailer &aTrailer, const PartTrailer *aParts, uint8_t *aOut,
                     size_t aCapacity);

// A test packet: block id 0, packet id 0, filled to aSize bytes with the
// pattern of a 16-bit linear feedback shift register, so that a receiver
// can tell a whole one from a truncated one.
size_t encodeTestPacket(uint8_t *aOut, size_t aSize);
bool isTestPacket(const Packet &aPacket);

// The name of a format ("LEADER"), payload type ("IMAGE") or status, null
// when unknown.
const char *formatName(uint8_t aFormat);
const char *payloadTypeName(uint16_t aPayloadType);
const char *statusName(uint16_t aStatus);

} // namespace gvsp
} // namespace tarn

#endif
