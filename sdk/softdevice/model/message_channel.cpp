#include "softdevice/model/message_channel.h"

#include "softdevice/model/control_link.h"

namespace tarn {
namespace softdevice {

bool MessageChannel::IsOpened()
{
    ControlLink *link = mLink;
    return link && link->EventsOpen();
}

ZuResult MessageChannel::FireEvent(uint16_t aEventID, uint64_t aBlockID, uint16_t aChannelIndex)
{
    ControlLink *link = mLink;
    if (!link || !link->PostEvent(aEventID, aBlockID, aChannelIndex, nullptr, 0)) return ZuResult(ZU_STATE_ERROR);
    return ZuResult(ZU_OK);
}

ZuResult MessageChannel::FireEvent(uint16_t aEventID, uint8_t *aData, uint32_t aDataLength, uint64_t aBlockID,
                                   uint16_t aChannelIndex)
{
    if (!aData || aDataLength == 0 || aDataLength > kMaxData || aDataLength % 4)
        return ZuResult(ZU_INVALID_PARAMETER);
    ControlLink *link = mLink;
    if (!link || !link->PostEvent(aEventID, aBlockID, aChannelIndex, aData, aDataLength))
        return ZuResult(ZU_STATE_ERROR);
    return ZuResult(ZU_OK);
}

} // namespace softdevice
} // namespace tarn
