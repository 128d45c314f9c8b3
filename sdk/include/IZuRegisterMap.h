#ifndef IZU_REGISTER_MAP_H
#define IZU_REGISTER_MAP_H

#include "ZuBaseApi.h"
#include "ZuResult.h"

#include <cstddef>
#include <cstdint>

class IZuRegister;

/// The register map of a running software device.
///
/// The software device owns it; it is lent to the callbacks that receive it.
class ZU_API IZuRegisterMap
{
public:
    /// Virtual destructor.
    virtual ~IZuRegisterMap() {}

    /// Returns the number of registers.
    virtual size_t GetRegisterCount() = 0;
    /// Returns a register by its index, 0 to count - 1; null on failure.
    /// @param aIndex The index.
    virtual IZuRegister *GetRegisterByIndex(size_t aIndex) = 0;
    /// Returns the register at an address; null when none lies there.
    /// @param aAddress The address.
    virtual IZuRegister *GetRegisterByAddress(uint32_t aAddress) = 0;
    /// Locks the map against additions and removals of registers.
    /// @return ZU_OK; ZU_STATE_ERROR when the device is not running.
    virtual ZuResult Lock() = 0;
    /// Locks the map, waiting at most aTimeout milliseconds.
    /// @param aTimeout Time-out in milliseconds.
    /// @return ZU_OK; ZU_STATE_ERROR when the device is not running; ZU_TIMEOUT.
    virtual ZuResult Lock(uint32_t aTimeout) = 0;
    /// Releases the lock taken by a successful Lock.
    virtual void Release() = 0;
};

#endif
