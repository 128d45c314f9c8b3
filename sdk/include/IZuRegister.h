#ifndef IZU_REGISTER_H
#define IZU_REGISTER_H

#include "IZuRegisterInfo.h"
#include "ZuResult.h"

class IZuRegisterEventSink;

/// A register of a software device: typed reads and writes, and the event
/// sinks told of every access.
///
/// Every read and write, local or from a GigE Vision controller, runs the
/// register's event sinks: the pre-read sinks before a read, the pre-write
/// sinks before a write (the new value is readable while they run). An
/// error from a pre-read or pre-write sink fails the access; a failed write
/// restores the previous value. Writability and readability bind only a
/// controller. Each register is thread-safe for reads and writes.
class ZU_API IZuRegister : public IZuRegisterInfo
{
public:
    /// Reads bytes of the register.
    /// @param aData Receives the bytes.
    /// @param aDataLength Number of bytes.
    /// @param aOffset Byte offset in the register.
    /// @return ZU_OK, ZU_INVALID_PARAMETER when the range leaves the register, or a sink's error.
    virtual ZuResult ReadBytes(uint8_t *aData, uint32_t aDataLength, uint32_t aOffset = 0) = 0;
    /// Writes bytes to the register.
    /// @param aData The bytes.
    /// @param aDataLength Number of bytes.
    /// @param aOffset Byte offset in the register.
    /// @return ZU_OK, ZU_INVALID_PARAMETER when the range leaves the register, or a sink's error.
    virtual ZuResult Write(const uint8_t *aData, uint32_t aDataLength, uint32_t aOffset = 0) = 0;
    /// Reads a 4-byte unsigned integer.
    /// @param aValue Receives the value.
    /// @param aOffset Byte offset in the register.
    virtual ZuResult ReadInt(uint32_t &aValue, uint32_t aOffset = 0) = 0;
    /// Writes a 4-byte unsigned integer.
    /// @param aValue The value.
    /// @param aOffset Byte offset in the register.
    virtual ZuResult Write(uint32_t aValue, uint32_t aOffset = 0) = 0;
    /// Reads the register as a string.
    /// @param aValue Receives the text.
    virtual ZuResult ReadString(ZuString &aValue) = 0;
    /// Writes a string to the register.
    /// @param aValue The text; the rest of the register is zeroed.
    virtual ZuResult Write(const ZuString &aValue) = 0;
    /// Reads a 4-byte float.
    /// @param aValue Receives the value.
    virtual ZuResult ReadFloat(float &aValue) = 0;
    /// Writes a 4-byte float.
    /// @param aValue The value.
    virtual ZuResult WriteFloat(float aValue) = 0;
    /// Reads an 8-byte double.
    /// @param aValue Receives the value.
    virtual ZuResult ReadDouble(double &aValue) = 0;
    /// Writes an 8-byte double.
    /// @param aValue The value.
    virtual ZuResult WriteDouble(double aValue) = 0;
    /// Attaches an event sink.
    /// @param aEventSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null sink or one already attached.
    virtual ZuResult AddEventSink(IZuRegisterEventSink *aEventSink) = 0;
    /// Detaches an event sink.
    /// @param aEventSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a null sink or one not attached.
    virtual ZuResult RemoveEventSink(IZuRegisterEventSink *aEventSink) = 0;
};

#endif
