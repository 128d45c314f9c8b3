#ifndef TARN_SOFTDEVICE_CONTROL_LINK_H
#define TARN_SOFTDEVICE_CONTROL_LINK_H

// What the device model asks of its GVCP server: the server keeps the
// bootstrap registers, the controller's session, the description it serves,
// the messaging channel and the counters; the model hands it what changes
// and reads back what it needs.

#include "softdevice/model/statistics.h"

#include <cstdint>
#include <string>

namespace tarn {
namespace softdevice {

struct IdentityTexts {
    std::string manufacturerName, modelName, deviceVersion, manufacturerInfo, serialNumber;
};

class ControlLink
{
public:
    virtual ~ControlLink() {}
    virtual void PublishIdentity(const IdentityTexts &aTexts) = 0;
    virtual void PublishDescription(const std::string &aXml) = 0;
    // Queues an event for the messaging channel; false while no controller
    // has opened it.
    virtual bool PostEvent(uint16_t aEventId, uint64_t aBlockId, uint16_t aChannel, const uint8_t *aData,
                           uint32_t aSize) = 0;
    virtual bool EventsOpen() const = 0;
    // The device's clock, in the ticks of its timestamp registers.
    virtual uint64_t Timestamp() const = 0;
    virtual void ReadStatistics(uint64_t (&aCounts)[Statistics::kCount]) const = 0;
    virtual void ResetStatistics() = 0;
};

} // namespace softdevice
} // namespace tarn

#endif
