#ifndef IZU_REGISTER_FACTORY_H
#define IZU_REGISTER_FACTORY_H

#include "ZuBaseApi.h"
#include "ZuGenTypes.h"
#include "ZuResult.h"
#include "ZuString.h"

#include <cstdint>

class IZuRegisterEventSink;

/// Creates the custom registers of a software device while it starts.
///
/// The software device owns it; it is lent to the callbacks that receive it.
class ZU_API IZuRegisterFactory
{
public:
    /// Virtual destructor.
    virtual ~IZuRegisterFactory() {}

    /// Adds an integer or float register of 4 or 8 bytes.
    /// @param aName Name of the register.
    /// @param aAddress Its address: unique, not overlapping other registers.
    /// @param aLength 4 or 8.
    /// @param aAccessMode Access of a controller.
    /// @param aRegisterEventSink Attached to the register, or null.
    /// @param aContext Returned by the register's GetContext.
    /// @return ZU_OK; ZU_GENERIC_ERROR when the register cannot be added.
    virtual ZuResult AddRegister(const ZuString &aName, uint32_t aAddress, uint32_t aLength, ZuGenAccessMode aAccessMode,
                                 IZuRegisterEventSink *aRegisterEventSink = 0, void *aContext = 0) = 0;
    /// Adds an integer or float register at an address the device chooses.
    /// @param aName Name of the register.
    /// @param aAssignedAddress Receives the address.
    /// @param aLength 4 or 8.
    /// @param aAccessMode Access of a controller.
    /// @param aRegisterEventSink Attached to the register, or null.
    /// @param aContext Returned by the register's GetContext.
    /// @return ZU_OK; ZU_GENERIC_ERROR when the register cannot be added.
    virtual ZuResult AddRegisterAuto(const ZuString &aName, uint32_t &aAssignedAddress, uint32_t aLength,
                                     ZuGenAccessMode aAccessMode, IZuRegisterEventSink *aRegisterEventSink,
                                     void *aContext = 0) = 0;
    /// Adds a byte-array register (string or register features).
    /// @param aName Name of the register.
    /// @param aAddress Its address: unique, not overlapping other registers.
    /// @param aLength A multiple of 4.
    /// @param aAccessMode Access of a controller.
    /// @param aRegisterEventSink Attached to the register, or null.
    /// @param aContext Returned by the register's GetContext.
    /// @return ZU_OK; ZU_GENERIC_ERROR when the register cannot be added.
    virtual ZuResult AddByteArray(const ZuString &aName, uint32_t aAddress, uint32_t aLength, ZuGenAccessMode aAccessMode,
                                  IZuRegisterEventSink *aRegisterEventSink = 0, void *aContext = 0) = 0;
};

#endif
