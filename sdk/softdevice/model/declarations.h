#ifndef TARN_SOFTDEVICE_DECLARATIONS_H
#define TARN_SOFTDEVICE_DECLARATIONS_H

// What a starting device lends the ready-made sources of its own library
// through the register factory it hands them: its register space, the
// registers whose accesses reach application code, and the registers its
// user sets keep through their sinks. Their features go through the GenApi
// factory like a script's.

#include "softdevice/model/register_space.h"

#include <string>

class IZuRegister;
class IZuRegisterEventSink;
class IZuRegisterFactory;

namespace tarn {
namespace softdevice {

class Declarations
{
public:
    virtual ~Declarations() {}
    virtual RegisterSpace &space() = 0;
    // A register whose accesses reach application code: a controller is
    // told to wait (PENDING_ACK) for its writes.
    virtual void markSlow(uint32_t aAddress) = 0;
    // Ends the start with ZU_INVALID_PARAMETER and this description.
    virtual void refuse(const std::string &aWhy) = 0;
    // A register that user sets save and load through aSink's Persist.
    virtual void persists(IZuRegisterEventSink *aSink, IZuRegister *aRegister) = 0;
};

// The device behind a register factory it lent; null for any other factory.
Declarations *declarationsOf(IZuRegisterFactory *aFactory);

} // namespace softdevice
} // namespace tarn

#endif
