#ifndef IZU_TRANSMITTER_GEV_H
#define IZU_TRANSMITTER_GEV_H

#include "ZuResult.h"

/// A GigE Vision stream transmitter as a control responder sees it: its
/// state, its id mode and the resend of packets a receiver lost.
class ZU_API IZuTransmitterGEV
{
public:
    virtual ~IZuTransmitterGEV() {}

    /// Tells whether the transmitter is open and ready to transmit.
    /// @return True while open.
    virtual bool IsOpen() const = 0;
    /// Tells whether the transmitter is actively transmitting data: a
    /// buffer is waiting in its queue or being sent.
    /// @return True while transmitting.
    virtual bool IsTransmitting() const = 0;
    /// Tells whether blocks go out with extended IDs (64-bit block IDs and
    /// 32-bit packet IDs, GigE Vision 2.x) rather than 16-bit block IDs and
    /// 24-bit packet IDs.
    /// @return True with extended IDs.
    virtual bool GetExtendedIDs() const = 0;
    /// Chooses extended IDs (64-bit block IDs, 32-bit packet IDs) or the
    /// standard ones for the blocks sent from now on.
    /// @param aExtendedID True for extended IDs.
    /// @return ZU_OK when applied; ZU_BUSY, unchanged, while transmitting.
    virtual ZuResult SetExtendedIDs(bool aExtendedID) = 0;
    /// Queues the retransmission of packets aFirstPacketID to aLastPacketID,
    /// both inclusive, of block aBlockID, in answer to a receiver's
    /// packet-resend request. Packets of a block no longer held are answered
    /// with their header alone and the status "packet removed from memory"
    /// (a block sent earlier) or "packet unavailable" (one never sent).
    /// @param aBlockID The block, as it went out (16 bits without extended IDs).
    /// @param aFirstPacketID The first packet to send again.
    /// @param aLastPacketID The last packet to send again.
    virtual void QueuePacketResend(uint64_t aBlockID, uint32_t aFirstPacketID, uint32_t aLastPacketID) = 0;
};

#endif
