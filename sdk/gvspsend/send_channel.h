#ifndef TARN_GVSPSEND_SEND_CHANNEL_H
#define TARN_GVSPSEND_SEND_CHANNEL_H

// The sending end of one device-side stream channel, the same for the
// software camera's channels and the stand-alone transmitter: each buffer
// sent as the next block (paced when a rate is set) and held for resends,
// a resend request answered from what is held or, for a block no longer
// held, with the status that tells the receiver why, and test packets, all
// from the channel's one socket.
//
// Block ids are answered within one sequence: the ids as they go out from
// one start of the ids to the next. A block held from an earlier sequence
// shares its id with a block of this one that may not be sent yet, so it
// is never resent: a receiver would complete the new block with the old
// block's bytes.
//
// Not thread-safe, except SendTestPacket and RestartIds: each user serialises its calls
// (the camera under its channel's lock, the transmitter on its own thread).

#include "gvspsend/sender.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class ZuBuffer;

namespace tarn {
namespace gvspsend {

// Where a block goes and how it is cut.
struct BlockRoute {
    net::Endpoint to;
    size_t datagram = 0;   // the GVSP packet: the channel's packet size less kIpUdpOverhead
    bool extendedId = false;
};

// What one resend request got: packets sent again, and headers that say a
// packet is not there any more.
struct ResendAnswer {
    uint64_t resent = 0;
    uint64_t refused = 0;
};

class SendChannel
{
public:
    // Opening starts the block ids again (RestartIds).
    bool Open(const SenderOptions &aOptions, std::string &aError);
    void Close();
    bool IsOpen() const { return mSender.IsOpen(); }
    net::Endpoint Local() const { return mSender.Local(); }

    // aBuffer as block aBlockId, the id on the wire as gvsp::nextBlockId
    // steps it, held for resends under aTag. False, with nothing sent or
    // held, when the buffer holds nothing to send, the id is none the route
    // carries or the block does not fit the route. aPayload learns the
    // block's payload bytes.
    bool Send(ZuBuffer &aBuffer, const void *aTag, uint64_t aBlockId, const BlockRoute &aRoute,
              uint64_t *aPayload = nullptr);

    // Where a held block of this sequence went, else aOtherwise.
    net::Endpoint DestinationOf(uint64_t aBlockId, net::Endpoint aOtherwise) const;
    // Packets aFirst..aLast of a block held from this sequence again
    // (clipped to the block), to where it went. Any other gets, as GigE
    // Vision has it, one header per packet (at most
    // Sender::kMaxStatusAnswers) to aTo: PACKET_REMOVED_FROM_MEMORY for a
    // block this sequence sent and let go since, so that the receiver gives
    // those packets up at once instead of asking again, and
    // PACKET_UNAVAILABLE for one it has not sent.
    ResendAnswer Resend(uint64_t aBlockId, uint32_t aFirst, uint32_t aLast, bool aExtendedId, net::Endpoint aTo);

    // One test packet of aSize bytes (the UDP payload) to aTo, as a datagram
    // even while blocks go over a TCP connection. It uses only the socket, so
    // it may be sent while another thread sends a block; not while the
    // channel opens or closes.
    bool SendTestPacket(size_t aSize, net::Endpoint aTo);

    // The ids start again (another id mode): a new sequence, in which no
    // block counts as sent and none held before is resent.
    void RestartIds();

    // The held blocks (see History).
    void Expire(size_t aCount, SendClock::time_point aBefore, const std::function<void(const void *)> &aGone)
    {
        mHistory.Expire(aCount, aBefore, aGone);
    }
    void Clear(const std::function<void(const void *)> &aGone) { mHistory.Clear(aGone); }
    size_t Held() const { return mHistory.Size(); }

    Pacer &GetPacer() { return mPacer; }
    Sender &GetSender() { return mSender; }
    const Sender &GetSender() const { return mSender; }

private:
    // The block sent as aBlockId in this sequence, while it is held.
    const HeldBlock *Current(uint64_t aBlockId) const;

    Sender mSender;
    History mHistory;
    Pacer mPacer;
    // The sequence, and its newest block sent for telling a block let go
    // from one not sent yet. Read by Resend on the sending thread, started
    // again by RestartIds from another.
    std::atomic<uint64_t> mSequence{0};
    std::atomic<bool> mAnySent{false};
    std::atomic<uint64_t> mLastSent{0};
    bool mLastExtended = false;
};

} // namespace gvspsend
} // namespace tarn

#endif
