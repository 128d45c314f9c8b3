#include "gev/gvsp.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace gvsp {

using namespace detail;

namespace {

// Common leader and trailer prefix: reserved or field info, reserved or
// flags, then the payload type.
constexpr size_t kCommonLeader = 12;   // + timestamp
constexpr size_t kCommonTrailer = 4;

enum class Shape { Image, Raw, Chunk, MultiPart, GenDC, Compressed, Other };

Shape shapeOf(uint16_t aPayloadType)
{
    if (aPayloadType == PAYLOAD_COMPRESSED) return Shape::Compressed;
    switch (basePayloadType(aPayloadType)) {
    case PAYLOAD_IMAGE:
    case PAYLOAD_EXTENDED_CHUNK_OLD:
        return Shape::Image;
    case PAYLOAD_RAW:
        return Shape::Raw;
    case PAYLOAD_CHUNK:
        return Shape::Chunk;
    case PAYLOAD_MULTIPART:
        return Shape::MultiPart;
    case PAYLOAD_GENDC:
        return Shape::GenDC;
    default:
        return Shape::Other;
    }
}

} // namespace

size_t leaderBodySize(const Leader &aLeader)
{
    switch (shapeOf(aLeader.payloadType)) {
    case Shape::Image: return kCommonLeader + 24;
    case Shape::Raw: return kCommonLeader + 8;
    case Shape::MultiPart: return kCommonLeader + kPartLeaderSize * size_t(aLeader.partCount);
    case Shape::GenDC: return kCommonLeader + 16;
    case Shape::Compressed: return kCommonLeader + 20;
    case Shape::Chunk:
    case Shape::Other: break;
    }
    return kCommonLeader;
}

// Images and raw data (and kinds without fields of their own) report the
// chunks that follow them; the other kinds have no such fields.
static bool chunkFields(uint16_t aPayloadType)
{
    Shape shape = shapeOf(aPayloadType);
    return hasChunks(aPayloadType) && (shape == Shape::Image || shape == Shape::Raw || shape == Shape::Other);
}

// Bytes of the trailer's own fields after the common part.
static size_t trailerFields(Shape aShape)
{
    switch (aShape) {
    case Shape::Image:
    case Shape::Compressed:
    case Shape::Chunk:
    case Shape::GenDC:
        return 4;
    default:
        return 0;
    }
}

size_t trailerBodySize(const Trailer &aTrailer)
{
    Shape shape = shapeOf(aTrailer.payloadType);
    if (shape == Shape::MultiPart) return kCommonTrailer + kPartTrailerSize * size_t(aTrailer.partCount);
    return kCommonTrailer + trailerFields(shape) + (chunkFields(aTrailer.payloadType) ? 8 : 0);
}

PartInfo Leader::Part(uint32_t aIndex) const
{
    PartInfo p;
    if (!partTable || aIndex >= partCount) return p;
    const uint8_t *q = partTable + size_t(aIndex) * kPartLeaderSize;
    p.dataType = get16(q);
    p.length = get48(q + 2);
    p.dataFormat = get32(q + 8);
    p.sourceId = q[14];
    p.additionalZones = q[15] & 0x1F;
    p.zoneDirections = get32(q + 16);
    p.dataPurposeId = get16(q + 20);
    p.regionId = get16(q + 22);
    for (int k = 0; k < 6; ++k) p.specific[k] = get32(q + 24 + 4 * k);
    return p;
}

PartTrailer Trailer::Part(uint32_t aIndex) const
{
    PartTrailer p;
    if (!partTable || aIndex >= partCount) return p;
    const uint8_t *q = partTable + size_t(aIndex) * kPartTrailerSize;
    p.dataType = get16(q);
    p.length = get48(q + 2);
    p.sizeY = get32(q + 8);
    return p;
}

std::optional<Leader> decodeLeader(const Packet &aPacket)
{
    const uint8_t *b = aPacket.body;
    size_t n = aPacket.bodySize;
    if (aPacket.header.format != FORMAT_LEADER || !b || n < kCommonLeader) return std::nullopt;
    Leader l;
    l.payloadType = get16(b + 2);
    l.timestamp = get64(b + 4);
    Shape shape = shapeOf(l.payloadType);
    if (shape == Shape::MultiPart) {
        // The part count follows from the length: trailing bytes that do
        // not make a whole entry (Ethernet padding) are not a part.
        l.partCount = uint32_t((n - kCommonLeader) / kPartLeaderSize);
        l.partTable = l.partCount ? b + kCommonLeader : nullptr;
        return l;
    }
    if (n < leaderBodySize(l)) return std::nullopt;
    const uint8_t *q = b + kCommonLeader;
    switch (shape) {
    case Shape::Image:
        l.fieldInfo = b[0];
        l.image.pixelFormat = get32(q);
        l.image.sizeX = get32(q + 4);
        l.image.sizeY = get32(q + 8);
        l.image.offsetX = get32(q + 12);
        l.image.offsetY = get32(q + 16);
        l.image.paddingX = get16(q + 20);
        l.image.paddingY = get16(q + 22);
        break;
    case Shape::Raw:
        l.payloadSize = get64(q);
        break;
    case Shape::GenDC:
        l.payloadSize = get64(q);
        l.genDCFlags = q[8];
        l.genDCDescriptorSize = get32(q + 12);
        break;
    case Shape::Compressed:
        l.image.pixelFormat = get32(q);
        l.image.sizeX = get32(q + 4);
        l.image.sizeY = get32(q + 8);
        l.payloadSize = get64(q + 12);
        break;
    default:
        break;
    }
    return l;
}

std::optional<Trailer> decodeTrailer(const Packet &aPacket)
{
    const uint8_t *b = aPacket.body;
    size_t n = aPacket.bodySize;
    if (aPacket.header.format != FORMAT_TRAILER || !b || n < kCommonTrailer) return std::nullopt;
    Trailer t;
    t.payloadType = get16(b + 2);
    Shape shape = shapeOf(t.payloadType);
    if (shape == Shape::MultiPart) {
        t.partCount = uint32_t((n - kCommonTrailer) / kPartTrailerSize);
        t.partTable = t.partCount ? b + kCommonTrailer : nullptr;
        return t;
    }
    if (n < trailerBodySize(t)) return std::nullopt;
    const uint8_t *q = b + kCommonTrailer;
    if (shape == Shape::Image || shape == Shape::Compressed) t.sizeY = get32(q);
    if (shape == Shape::Chunk) t.chunkPayloadLength = get32(q);
    q += trailerFields(shape);
    if (chunkFields(t.payloadType)) {
        t.chunkPayloadLength = get32(q);
        t.chunkLayoutId = get32(q + 4);
    }
    return t;
}

std::optional<MultiPartData> decodeMultiPartData(const Packet &aPacket, const uint8_t **aData, size_t *aSize)
{
    if (aPacket.header.format != FORMAT_MULTIPART || !aPacket.body || aPacket.bodySize < kMultiPartPayloadHeader)
        return std::nullopt;
    const uint8_t *b = aPacket.body;
    MultiPartData d;
    d.partId = b[0];
    d.zoneInfo = b[1];
    d.offset = get48(b + 2);
    if (aData) *aData = b + kMultiPartPayloadHeader;
    if (aSize) *aSize = aPacket.bodySize - kMultiPartPayloadHeader;
    return d;
}

std::optional<GenDCData> decodeGenDCData(const Packet &aPacket, const uint8_t **aData, size_t *aSize)
{
    if (aPacket.header.format != FORMAT_GENDC || !aPacket.body || aPacket.bodySize < kGenDCPayloadHeader)
        return std::nullopt;
    const uint8_t *b = aPacket.body;
    GenDCData d;
    d.dataSize = get32(b);
    d.destinationOffset = get64(b + 4);
    d.dataFlags = b[12];
    d.flowFlags = b[13];
    d.flowId = get16(b + 14);
    // The data is what the packet holds, never more than it announces.
    size_t held = aPacket.bodySize - kGenDCPayloadHeader;
    if (aData) *aData = b + kGenDCPayloadHeader;
    if (aSize) *aSize = d.dataSize < held ? d.dataSize : held;
    return d;
}

size_t encodeLeader(const Header &aHeader, const Leader &aLeader, const PartInfo *aParts, uint8_t *aOut,
                    size_t aCapacity)
{
    Header h = aHeader;
    h.format = FORMAT_LEADER;
    size_t header = headerSize(h.extendedId);
    size_t body = leaderBodySize(aLeader);
    if (aLeader.partCount && !aParts && shapeOf(aLeader.payloadType) == Shape::MultiPart) return 0;
    if (!aOut || aCapacity < header + body || !writeHeader(h, aOut, aCapacity)) return 0;
    uint8_t *b = aOut + header;
    std::memset(b, 0, body);
    Shape shape = shapeOf(aLeader.payloadType);
    // With extended ids, a multi-part leader's header also carries the
    // number of parts (the last byte before the block id), where receivers
    // such as Wireshark's dissector read it; a leader without it shows no
    // parts there.
    if (h.extendedId && shape == Shape::MultiPart) aOut[7] = uint8_t(std::min<uint32_t>(aLeader.partCount, 0xFF));
    if (shape == Shape::Image) b[0] = aLeader.fieldInfo;
    put16(b + 2, aLeader.payloadType);
    put64(b + 4, aLeader.timestamp);
    uint8_t *q = b + kCommonLeader;
    switch (shape) {
    case Shape::Image:
        put32(q, aLeader.image.pixelFormat);
        put32(q + 4, aLeader.image.sizeX);
        put32(q + 8, aLeader.image.sizeY);
        put32(q + 12, aLeader.image.offsetX);
        put32(q + 16, aLeader.image.offsetY);
        put16(q + 20, aLeader.image.paddingX);
        put16(q + 22, aLeader.image.paddingY);
        break;
    case Shape::Raw:
        put64(q, aLeader.payloadSize);
        break;
    case Shape::GenDC:
        put64(q, aLeader.payloadSize);
        q[8] = aLeader.genDCFlags;
        put32(q + 12, aLeader.genDCDescriptorSize);
        break;
    case Shape::Compressed:
        put32(q, aLeader.image.pixelFormat);
        put32(q + 4, aLeader.image.sizeX);
        put32(q + 8, aLeader.image.sizeY);
        put64(q + 12, aLeader.payloadSize);
        break;
    case Shape::MultiPart:
        for (uint32_t i = 0; i < aLeader.partCount; ++i, q += kPartLeaderSize) {
            const PartInfo &p = aParts[i];
            put16(q, p.dataType);
            put48(q + 2, p.length);
            put32(q + 8, p.dataFormat);
            q[14] = p.sourceId;
            q[15] = p.additionalZones & 0x1F;
            put32(q + 16, p.zoneDirections);
            put16(q + 20, p.dataPurposeId);
            put16(q + 22, p.regionId);
            for (int k = 0; k < 6; ++k) put32(q + 24 + 4 * k, p.specific[k]);
        }
        break;
    default:
        break;
    }
    return header + body;
}

size_t encodeTrailer(const Header &aHeader, const Trailer &aTrailer, const PartTrailer *aParts, uint8_t *aOut,
                     size_t aCapacity)
{
    Header h = aHeader;
    h.format = FORMAT_TRAILER;
    size_t header = headerSize(h.extendedId);
    size_t body = trailerBodySize(aTrailer);
    Shape shape = shapeOf(aTrailer.payloadType);
    if (aTrailer.partCount && !aParts && shape == Shape::MultiPart) return 0;
    if (!aOut || aCapacity < header + body || !writeHeader(h, aOut, aCapacity)) return 0;
    uint8_t *b = aOut + header;
    std::memset(b, 0, body);
    put16(b + 2, aTrailer.payloadType);
    uint8_t *q = b + kCommonTrailer;
    if (shape == Shape::MultiPart) {
        for (uint32_t i = 0; i < aTrailer.partCount; ++i, q += kPartTrailerSize) {
            put16(q, aParts[i].dataType);
            put48(q + 2, aParts[i].length);
            put32(q + 8, aParts[i].sizeY);
        }
        return header + body;
    }
    if (shape == Shape::Image || shape == Shape::Compressed) put32(q, aTrailer.sizeY);
    if (shape == Shape::Chunk) put32(q, aTrailer.chunkPayloadLength);
    q += trailerFields(shape);
    if (chunkFields(aTrailer.payloadType)) {
        put32(q, aTrailer.chunkPayloadLength);
        put32(q + 4, aTrailer.chunkLayoutId);
    }
    return header + body;
}

size_t encodeTestPacket(uint8_t *aOut, size_t aSize)
{
    Header h;
    h.format = FORMAT_PAYLOAD;
    h.blockId = kTestBlockId;
    if (!writeHeader(h, aOut, aSize)) return 0;
    uint16_t lfsr = 0xACE1;
    for (size_t k = kHeaderSize; k < aSize; ++k) {
        aOut[k] = uint8_t(lfsr);
        uint16_t bit = uint16_t(((lfsr >> 0) ^ (lfsr >> 2) ^ (lfsr >> 3) ^ (lfsr >> 5)) & 1);
        lfsr = uint16_t((lfsr >> 1) | (bit << 15));
    }
    return aSize;
}

bool isTestPacket(const Packet &aPacket)
{
    return aPacket.header.blockId == kTestBlockId && aPacket.header.packetId == 0 &&
           aPacket.header.format == FORMAT_PAYLOAD;
}

const char *formatName(uint8_t aFormat)
{
    switch (aFormat) {
    case FORMAT_LEADER: return "LEADER";
    case FORMAT_TRAILER: return "TRAILER";
    case FORMAT_PAYLOAD: return "PAYLOAD";
    case FORMAT_ALLIN: return "ALLIN";
    case FORMAT_H264: return "H264";
    case FORMAT_MULTIZONE: return "MULTIZONE";
    case FORMAT_MULTIPART: return "MULTIPART";
    case FORMAT_GENDC: return "GENDC";
    }
    return nullptr;
}

const char *payloadTypeName(uint16_t aPayloadType)
{
    if (aPayloadType == PAYLOAD_COMPRESSED) return "COMPRESSED";
    switch (basePayloadType(aPayloadType)) {
    case PAYLOAD_IMAGE: return "IMAGE";
    case PAYLOAD_RAW: return "RAW";
    case PAYLOAD_FILE: return "FILE";
    case PAYLOAD_CHUNK: return "CHUNK";
    case PAYLOAD_EXTENDED_CHUNK_OLD: return "EXTENDED_CHUNK";
    case PAYLOAD_JPEG: return "JPEG";
    case PAYLOAD_JPEG2000: return "JPEG2000";
    case PAYLOAD_H264: return "H264";
    case PAYLOAD_MULTIZONE: return "MULTIZONE";
    case PAYLOAD_MULTIPART: return "MULTIPART";
    case PAYLOAD_GENDC: return "GENDC";
    }
    return nullptr;
}

const char *statusName(uint16_t aStatus)
{
    switch (aStatus) {
    case STATUS_SUCCESS: return "SUCCESS";
    case STATUS_PACKET_RESEND: return "PACKET_RESEND";
    case STATUS_PACKET_UNAVAILABLE: return "PACKET_UNAVAILABLE";
    case STATUS_DATA_OVERRUN: return "DATA_OVERRUN";
    case STATUS_PACKET_NOT_YET_AVAILABLE: return "PACKET_NOT_YET_AVAILABLE";
    case STATUS_PACKET_AND_PREV_REMOVED_FROM_MEMORY: return "PACKET_AND_PREV_REMOVED_FROM_MEMORY";
    case STATUS_PACKET_REMOVED_FROM_MEMORY: return "PACKET_REMOVED_FROM_MEMORY";
    }
    return nullptr;
}

} // namespace gvsp
} // namespace tarn
