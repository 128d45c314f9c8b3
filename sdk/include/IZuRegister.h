#ifndef IZU_REGISTER_H
#define IZU_REGISTER_H

#include "ZuBaseApi.h"
#include "ZuString.h"

#include <cstddef>
#include <cstdint>

/// The description of one register of a software device.
class ZU_API IZuRegisterInfo
{
public:
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
    /// Tests whether a controller may write the register.
    virtual bool IsWritable() const = 0;
    /// Tests whether a controller may read the register.
    virtual bool IsReadable() const = 0;
    /// Tests whether the register is an array of bytes rather than a 4- or 8-byte value.
    virtual bool IsArrayOfBytes() const = 0;
};

/// One register of a software device.
class ZU_API IZuRegister : public IZuRegisterInfo
{
public:
    virtual ~IZuRegister() {}
};

#endif
