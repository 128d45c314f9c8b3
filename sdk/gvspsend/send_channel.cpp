#include "gvspsend/send_channel.h"

#include <vector>

namespace tarn {
namespace gvspsend {

bool SendChannel::Open(const SenderOptions &aOptions, std::string &aError)
{
    RestartIds();
    return mSender.Open(aOptions, aError);
}

void SendChannel::RestartIds()
{
    // Sequence first: a Resend that sees no block sent yet also sees the
    // blocks held before as another sequence's.
    ++mSequence;
    mAnySent = false;
}

void SendChannel::Close()
{
    mSender.Close();
}

bool SendChannel::Send(ZuBuffer &aBuffer, const void *aTag, uint64_t aBlockId, const BlockRoute &aRoute,
                       uint64_t *aPayload)
{
    HeldBlock &block = mHistory.Prepare();
    gvsp::BlockSource source;
    if (!describeBlock(aBuffer, source, block.parts) ||
        !block.packetizer.Start(source, aBlockId, aRoute.datagram, aRoute.extendedId)) {
        mHistory.Drop();
        return false;
    }
    if (mAnySent && (aRoute.extendedId != mLastExtended || !gvsp::isNewerBlock(aBlockId, mLastSent, aRoute.extendedId)))
        RestartIds();
    block.tag = aTag;
    block.sequence = mSequence;
    block.to = aRoute.to;
    mSender.Transmit(block.packetizer, 0, block.packetizer.PacketCount() - 1, false, block.to, &mPacer);
    mHistory.Commit(SendClock::now());
    mLastSent = aBlockId;
    mLastExtended = aRoute.extendedId;
    mAnySent = true;
    if (aPayload) {
        uint64_t bytes = source.size;
        for (uint32_t i = 0; i < source.leader.partCount; ++i) bytes += source.parts[i].length;
        *aPayload = bytes;
    }
    return true;
}

const HeldBlock *SendChannel::Current(uint64_t aBlockId) const
{
    // The newest block of that id: when it is of an earlier sequence, so is
    // any older one.
    const HeldBlock *block = mHistory.Find(aBlockId);
    return block && block->sequence == mSequence ? block : nullptr;
}

net::Endpoint SendChannel::DestinationOf(uint64_t aBlockId, net::Endpoint aOtherwise) const
{
    const HeldBlock *block = Current(aBlockId);
    return block ? block->to : aOtherwise;
}

ResendAnswer SendChannel::Resend(uint64_t aBlockId, uint32_t aFirst, uint32_t aLast, bool aExtendedId,
                                 net::Endpoint aTo)
{
    ResendAnswer answer;
    if (aLast < aFirst) return answer;
    if (const HeldBlock *block = Current(aBlockId)) {
        answer.resent = mSender.Transmit(block->packetizer, aFirst, aLast, true, block->to).packets;
        return answer;
    }
    // Nowhere to answer: the channel has no destination (any more).
    if (!aTo.ip || !aTo.port) return answer;
    const bool removed = mAnySent && !gvsp::isNewerBlock(aBlockId, mLastSent, aExtendedId);
    const uint16_t status = removed ? gvsp::STATUS_PACKET_REMOVED_FROM_MEMORY : gvsp::STATUS_PACKET_UNAVAILABLE;
    answer.refused = mSender.TransmitStatus(aBlockId, aExtendedId, aFirst, aLast, status, aTo);
    return answer;
}

bool SendChannel::SendTestPacket(size_t aSize, net::Endpoint aTo)
{
    std::vector<uint8_t> packet(aSize);
    if (!gvsp::encodeTestPacket(packet.data(), packet.size())) return false;
    return mSender.SendDatagram(packet.data(), packet.size(), aTo);
}

} // namespace gvspsend
} // namespace tarn
