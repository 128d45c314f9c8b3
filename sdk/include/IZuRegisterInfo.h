#ifndef IZU_REGISTER_INFO_H
#define IZU_REGISTER_INFO_H

#include "ZuBaseApi.h"
#include "ZuString.h"

#include <cstddef>
#include <cstdint>

/// The read-only description of a register of a software device.
///
/// The software device creates, owns and deletes every register.
class ZU_API IZuRegisterInfo
{
public:
    /// Virtual destructor.
    virtual ~IZuRegisterInfo() {}

    /// Returns the register's name.
    virtual const ZuString &GetName() = 0;
    /// Returns the register's address.
    virtual uint32_t GetAddress() const = 0;
    /// Returns the register's length in bytes.
    virtual size_t GetLength() const = 0;
    /// Returns the context pointer given when the register was created.
    virtual const void *GetContext() const = 0;
    /// Returns the context pointer given when the register was created.
    virtual void *GetContext() = 0;
    /// True when a controller may write the register.
    virtual bool IsWritable() const = 0;
    /// True when a controller may read the register.
    virtual bool IsReadable() const = 0;
    /// True for a byte-array register, false for a 4- or 8-byte value.
    virtual bool IsArrayOfBytes() const = 0;
};

#endif
