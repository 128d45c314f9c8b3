#ifndef IZU_MESSAGE_CHANNEL_H
#define IZU_MESSAGE_CHANNEL_H

#include "ZuResult.h"

/// Sends GigE Vision messaging-channel events of a software device.
///
/// The channel is open once a controller has written the messaging
/// channel's destination (MCDA and MCP registers).
class IZuMessageChannel
{
public:
    virtual ~IZuMessageChannel() {}

    /// Fires an event without data.
    /// @param aEventID Event ID: a standard code, or 0x9000 to 0xFFFF for a custom event.
    /// @param aBlockID Block the event relates to, or 0.
    /// @param aChannelIndex Stream channel the event relates to, or 0xFFFF.
    /// @return ZU_OK; ZU_STATE_ERROR when the channel is not open.
    virtual ZuResult FireEvent(uint16_t aEventID, uint64_t aBlockID = 0, uint16_t aChannelIndex = 0xFFFF) = 0;
    /// Fires an event with data.
    /// @param aEventID Event ID: a standard code, or 0x9000 to 0xFFFF for a custom event.
    /// @param aData Event data; never written.
    /// @param aDataLength Length of the data: a multiple of 4, at most 512 bytes.
    /// @param aBlockID Block the event relates to, or 0.
    /// @param aChannelIndex Stream channel the event relates to, or 0xFFFF.
    /// @return ZU_OK; ZU_STATE_ERROR when the channel is not open; ZU_INVALID_PARAMETER when the data is missing, too short, too long or not a multiple of 4 bytes.
    virtual ZuResult FireEvent(uint16_t aEventID, uint8_t *aData, uint32_t aDataLength, uint64_t aBlockID = 0, uint16_t aChannelIndex = 0xFFFF) = 0;
    /// Tests whether a controller has set up the messaging channel's destination.
    virtual bool IsOpened() = 0;
};

#endif
