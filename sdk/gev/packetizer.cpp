#include "gev/packetizer.h"

#include <algorithm>
#include <cstring>

namespace tarn {
namespace gvsp {

size_t Packetizer::DataPerPacket(size_t aDatagramSize, bool aExtendedId, uint8_t aFormat)
{
    size_t prefix = headerSize(aExtendedId);
    if (aFormat == FORMAT_MULTIPART) prefix += kMultiPartPayloadHeader;
    if (aFormat == FORMAT_GENDC) prefix += kGenDCPayloadHeader;
    return aDatagramSize > prefix ? aDatagramSize - prefix : 0;
}

bool Packetizer::Start(const BlockSource &aSource, uint64_t aBlockId, size_t aDatagramSize, bool aExtendedId)
{
    mCount = 0;
    mSource = aSource;
    mBlockId = aBlockId;
    mExtendedId = aExtendedId;
    mDatagram = aDatagramSize;
    mPartFirst.clear();
    mPartStart.clear();
    mPartTrailers.clear();
    if (aBlockId == kTestBlockId || (!aExtendedId && aBlockId > 0xFFFF)) return false;

    uint16_t base = basePayloadType(aSource.leader.payloadType);
    bool multiPart = base == PAYLOAD_MULTIPART && aSource.leader.payloadType != PAYLOAD_COMPRESSED;
    mDataFormat = multiPart ? FORMAT_MULTIPART : base == PAYLOAD_GENDC ? FORMAT_GENDC : FORMAT_PAYLOAD;
    mPerPacket = DataPerPacket(aDatagramSize, aExtendedId, mDataFormat);
    size_t header = headerSize(aExtendedId);
    Trailer trailer = aSource.trailer;
    trailer.payloadType = aSource.leader.payloadType;
    trailer.partCount = multiPart ? aSource.leader.partCount : 0;
    if (mPerPacket == 0 || header + leaderBodySize(aSource.leader) > aDatagramSize ||
        header + trailerBodySize(trailer) > aDatagramSize)
        return false;

    uint64_t dataPackets = 0;
    if (multiPart) {
        uint32_t parts = aSource.leader.partCount;
        // A part's index travels in one byte of its data packets.
        if (parts > 256 || (parts && (!aSource.parts || !aSource.partData))) return false;
        mPartFirst.reserve(parts + 1);
        uint64_t start = 0;
        for (uint32_t i = 0; i < parts; ++i) {
            const PartInfo &p = aSource.parts[i];
            if (p.length >> 48 || (p.length && !aSource.partData[i])) return false;
            mPartFirst.push_back(uint32_t(1 + dataPackets));
            mPartStart.push_back(start);
            // Data packets address their bytes within the block, in 48 bits.
            start += p.length;
            if (start >> 48) return false;
            dataPackets += (p.length + mPerPacket - 1) / mPerPacket;
            if (dataPackets > 0xFFFFFFF0u) return false;
            PartTrailer t;
            t.dataType = p.dataType;
            t.length = p.length;
            t.sizeY = p.dataType == 1 ? p.specific[1] : 0;
            mPartTrailers.push_back(t);
        }
    } else {
        if (aSource.size && !aSource.data) return false;
        dataPackets = (aSource.size + mPerPacket - 1) / mPerPacket;
    }
    uint64_t count = dataPackets + 2;
    if (count - 1 > (aExtendedId ? 0xFFFFFFFFull : uint64_t(kMaxPacketId24))) return false;
    mPartFirst.push_back(uint32_t(count - 1));
    mCount = uint32_t(count);
    return true;
}

Header Packetizer::GetHeader(uint32_t aPacketId, bool aResend) const
{
    Header h;
    h.extendedId = mExtendedId;
    h.blockId = mBlockId;
    h.packetId = aPacketId;
    if (aResend) {
        if (mExtendedId) h.flags = FLAG_PACKET_RESEND;
        else h.status = STATUS_PACKET_RESEND;
    }
    return h;
}

size_t Packetizer::Write(uint32_t aPacketId, uint8_t *aOut, size_t aCapacity, bool aResend) const
{
    const uint8_t *data = nullptr;
    size_t length = 0;
    const size_t head = WriteHead(aPacketId, aOut, aCapacity, aResend, &data, &length);
    if (!head) return 0;
    if (length) std::memcpy(aOut + head, data, length);
    return head + length;
}

size_t Packetizer::WriteHead(uint32_t aPacketId, uint8_t *aOut, size_t aCapacity, bool aResend, const uint8_t **aData,
                             size_t *aLength) const
{
    *aData = nullptr;
    *aLength = 0;
    if (!mCount || aPacketId >= mCount || !aOut) return 0;
    Header h = GetHeader(aPacketId, aResend);
    if (aCapacity > mDatagram) aCapacity = mDatagram;
    if (aPacketId == 0) return encodeLeader(h, mSource.leader, mSource.parts, aOut, aCapacity);
    if (aPacketId == TrailerId()) {
        Trailer t = mSource.trailer;
        t.payloadType = mSource.leader.payloadType;
        t.partCount = uint32_t(mPartTrailers.size());
        return encodeTrailer(h, t, mPartTrailers.data(), aOut, aCapacity);
    }

    h.format = mDataFormat;
    size_t prefix = headerSize(mExtendedId);
    const uint8_t *from = nullptr;
    uint64_t length = 0;
    if (mDataFormat == FORMAT_MULTIPART) {
        // The part whose packets hold this id; parts start on a packet.
        auto it = std::upper_bound(mPartFirst.begin(), mPartFirst.end(), aPacketId);
        size_t part = size_t(it - mPartFirst.begin()) - 1;
        uint64_t offset = uint64_t(aPacketId - mPartFirst[part]) * mPerPacket;
        length = std::min<uint64_t>(mPerPacket, mSource.parts[part].length - offset);
        from = mSource.partData[part] + offset;
        if (aCapacity < prefix + kMultiPartPayloadHeader + length || !writeHeader(h, aOut, aCapacity)) return 0;
        uint8_t *q = aOut + prefix;
        q[0] = uint8_t(part);
        q[1] = 0;
        // As GigE Vision has it, the offset is the bytes' place in the
        // block (the parts one after another), not in their part.
        detail::put48(q + 2, mPartStart[part] + offset);
        prefix += kMultiPartPayloadHeader;
    } else {
        uint64_t offset = uint64_t(aPacketId - 1) * mPerPacket;
        length = std::min<uint64_t>(mPerPacket, mSource.size - offset);
        from = mSource.data + offset;
        if (mDataFormat == FORMAT_GENDC) {
            if (aCapacity < prefix + kGenDCPayloadHeader + length || !writeHeader(h, aOut, aCapacity)) return 0;
            uint8_t *q = aOut + prefix;
            uint64_t descriptor = mSource.leader.genDCDescriptorSize;
            uint8_t flags = 0;
            if (offset < descriptor) {
                flags |= GENDC_DESCRIPTOR_PRESENT;
                if (offset == 0) flags |= GENDC_DESCRIPTOR_START;
                if (offset + length >= descriptor) flags |= GENDC_DESCRIPTOR_END;
            }
            detail::put32(q, uint32_t(length));
            detail::put64(q + 4, offset);
            q[12] = flags;
            q[13] = uint8_t((aPacketId == 1 ? GENDC_FLOW_FIRST : 0) |
                            (aPacketId + 1 == TrailerId() ? GENDC_FLOW_LAST : 0));
            detail::put16(q + 14, 0);
            prefix += kGenDCPayloadHeader;
        } else if (aCapacity < prefix + length || !writeHeader(h, aOut, aCapacity)) {
            return 0;
        }
    }
    *aData = from;
    *aLength = size_t(length);
    return prefix;
}

size_t Packetizer::WriteStatus(uint32_t aPacketId, uint16_t aStatus, uint8_t *aOut, size_t aCapacity) const
{
    if (!mCount) return 0;
    Header h = GetHeader(aPacketId, false);
    h.status = aStatus;
    h.format = aPacketId == 0 ? uint8_t(FORMAT_LEADER) : aPacketId == TrailerId() ? uint8_t(FORMAT_TRAILER) : mDataFormat;
    return writeHeader(h, aOut, aCapacity);
}

} // namespace gvsp
} // namespace tarn
