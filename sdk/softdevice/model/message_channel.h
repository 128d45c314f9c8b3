#ifndef TARN_SOFTDEVICE_MESSAGE_CHANNEL_H
#define TARN_SOFTDEVICE_MESSAGE_CHANNEL_H

// The messaging channel: events towards the destination the controller
// wrote (MCDA, MCP). The GVCP server sends them and retries each until
// acknowledged; this side checks what the application gives and copies it
// (the caller's bytes are only ever read).

#include "IZuMessageChannel.h"

#include <atomic>

namespace tarn {
namespace softdevice {

class ControlLink;

class MessageChannel : public IZuMessageChannel
{
public:
    // Largest event data: what fits a 576-byte GVCP datagram after the
    // extended-ID event header, rounded down to whole words.
    static constexpr uint32_t kMaxData = 512;

    void SetLink(ControlLink *aLink) { mLink = aLink; }

    ZuResult FireEvent(uint16_t aEventID, uint64_t aBlockID = 0, uint16_t aChannelIndex = 0xFFFF) override;
    ZuResult FireEvent(uint16_t aEventID, uint8_t *aData, uint32_t aDataLength, uint64_t aBlockID = 0,
                       uint16_t aChannelIndex = 0xFFFF) override;
    bool IsOpened() override;

private:
    std::atomic<ControlLink *> mLink{nullptr};
};

} // namespace softdevice
} // namespace tarn

#endif
