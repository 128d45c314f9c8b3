#ifndef TARN_GEV_PACKETIZER_H
#define TARN_GEV_PACKETIZER_H

// A block to its GVSP packets: leader (packet id 0), data packets, trailer
// (the last id). Packets are written one at a time into the caller's
// memory, in order or again on a resend request, straight from the
// block's own bytes: nothing is copied ahead and nothing is allocated per
// packet. The block's bytes must stay as they are while packets of it may
// still be written.

#include "gev/gvsp.h"

#include <vector>

namespace tarn {
namespace gvsp {

// What a transmitter sends as one block.
struct BlockSource {
    // Payload type, timestamp and the fields of its kind. For multi-part
    // blocks leader.partCount parts follow in parts and partData.
    Leader leader;
    const PartInfo *parts = nullptr;
    const uint8_t *const *partData = nullptr;   // each part's PartInfo::length bytes
    // Trailer fields other than the payload type (taken from the leader);
    // multi-part trailers are derived from the parts.
    Trailer trailer;
    // Every other payload: its bytes in order (image then chunks, raw data,
    // the GenDC container, the compressed image).
    const uint8_t *data = nullptr;
    uint64_t size = 0;
};

class Packetizer
{
public:
    // Lays out a block in datagrams of at most aDatagramSize bytes (the
    // GVSP packet: the stream channel packet size less kIpUdpOverhead).
    // False when the block cannot be sent so: a datagram too small for its
    // leader or for one byte of data, more packets than the ids can count,
    // a part too large, or parts without data.
    bool Start(const BlockSource &aSource, uint64_t aBlockId, size_t aDatagramSize, bool aExtendedId);

    uint64_t BlockId() const { return mBlockId; }
    bool ExtendedId() const { return mExtendedId; }
    // Leader, data packets and trailer: ids 0 .. PacketCount() - 1.
    uint32_t PacketCount() const { return mCount; }
    uint32_t TrailerId() const { return mCount ? mCount - 1 : 0; }

    // Writes packet aPacketId; a resend carries the resend status (standard
    // ids) or flag (extended ids). 0 for an id beyond the block or memory
    // too small for the packet.
    size_t Write(uint32_t aPacketId, uint8_t *aOut, size_t aCapacity, bool aResend = false) const;
    // The same packet without copying its data: writes what comes before
    // the data (the whole packet for a leader or trailer) and points
    // aData/aLength at the block's bytes that follow it. The size written,
    // 0 as for Write().
    size_t WriteHead(uint32_t aPacketId, uint8_t *aOut, size_t aCapacity, bool aResend, const uint8_t **aData,
                     size_t *aLength) const;

    // The answer to a resend request for a packet the transmitter no
    // longer holds: its header alone, with aStatus (PACKET_UNAVAILABLE...).
    size_t WriteStatus(uint32_t aPacketId, uint16_t aStatus, uint8_t *aOut, size_t aCapacity) const;

    // Data bytes a packet of aFormat carries in a datagram of aDatagramSize.
    static size_t DataPerPacket(size_t aDatagramSize, bool aExtendedId, uint8_t aFormat);

private:
    Header GetHeader(uint32_t aPacketId, bool aResend) const;

    BlockSource mSource;
    uint64_t mBlockId = 0;
    bool mExtendedId = false;
    size_t mDatagram = 0;
    uint8_t mDataFormat = FORMAT_PAYLOAD;
    size_t mPerPacket = 0;
    uint32_t mCount = 0;
    // Resend index of multi-part blocks: the first packet id of each part,
    // then the trailer's id; and where each part's bytes begin in the block.
    std::vector<uint32_t> mPartFirst;
    std::vector<uint64_t> mPartStart;
    std::vector<PartTrailer> mPartTrailers;
};

} // namespace gvsp
} // namespace tarn

#endif
