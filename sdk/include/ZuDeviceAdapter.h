#ifndef ZU_DEVICE_ADAPTER_H
#define ZU_DEVICE_ADAPTER_H

#include "ZuBaseApi.h"
#include "ZuDevice.h"
#include "ZuDeviceEventSink.h"
#include "ZuGenParameter.h"
#include "ZuResult.h"
#include "ZuString.h"

#ifdef SWIG
class ZuStringList;
class IZuDeviceEventSink;
#else
#include <memory>
#include <vector>

namespace tarn {
struct DeviceFollow;
}

/// A list of texts (the entries of an enumeration).
class ZU_API ZuStringList : public std::vector<ZuString>
{
};

/// What the serial-port layer hears from a device through its adapter:
/// raw events and the invalidation of parameters it follows.
class ZU_API IZuDeviceEventSink
{
public:
    virtual ~IZuDeviceEventSink() {}
    /// An event of the device's messaging channel.
    virtual void OnDeviceEvent(uint16_t aEventID, const uint8_t *aData, uint32_t aDataLength) = 0;
    /// A parameter registered with RegisterGenInvalidator may have changed.
    virtual void OnGenInvalidate(const ZuString &aParameterName) = 0;
};
#endif

/// A connected device as the serial-port layer needs it: GenICam features
/// by name, registers and memory, events and connection queries.
class ZU_API IZuDeviceAdapter
{
public:
    /// Destroys the adapter.
    virtual ~IZuDeviceAdapter() {}

    /// Tells whether the node map has an integer of this name.
    /// @param aParameterName The feature's name.
    virtual bool IsGenIntegerInNodeMap(const ZuString &aParameterName) = 0;
    /// Tells whether the node map has an enumeration of this name.
    /// @param aParameterName The feature's name.
    virtual bool IsGenEnumInNodeMap(const ZuString &aParameterName) = 0;
    /// Tells whether the node map has a boolean of this name.
    /// @param aParameterName The feature's name.
    virtual bool IsGenBooleanInNodeMap(const ZuString &aParameterName) = 0;
    /// Tells whether the node map has a register of this name.
    /// @param aParameterName The feature's name.
    virtual bool IsGenRegisterInNodeMap(const ZuString &aParameterName) = 0;
    /// Tells whether the feature exists and can be read now.
    /// @param aParameterName The feature's name.
    virtual bool IsGenReadable(const ZuString &aParameterName) = 0;
    /// Tells whether the feature exists and can be written now.
    /// @param aParameterName The feature's name.
    virtual bool IsGenWritable(const ZuString &aParameterName) = 0;
    /// Tells whether the enumeration exists and has the entry available now.
    /// @param aParameterName The enumeration's name.
    /// @param aEnumEntry The entry's name.
    virtual bool IsGenEnumEntryAvailable(const ZuString &aParameterName, const ZuString &aEnumEntry) = 0;
    /// Reads an integer feature.
    /// @param aParameterName The feature's name.
    /// @param aValue Receives the value.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenIntegerValue(const ZuString &aParameterName, int64_t &aValue) = 0;
    /// Lists the entries of an enumeration available now.
    /// @param aParameterName The enumeration's name.
    /// @param aList Receives the entries' names.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenEnumEntriesAvailable(const ZuString &aParameterName, ZuStringList &aList) = 0;
    /// Reads the current entry of an enumeration.
    /// @param aParameterName The enumeration's name.
    /// @param aEnumEntry Receives the entry's name.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenEnumValue(const ZuString &aParameterName, ZuString &aEnumEntry) = 0;
    /// Chooses the entry of an enumeration.
    /// @param aParameterName The enumeration's name.
    /// @param aEnumEntry The entry's name.
    /// @return ZU_OK, or why not.
    virtual ZuResult SetGenEnumValue(const ZuString &aParameterName, const ZuString &aEnumEntry) = 0;
    /// Reads a boolean feature.
    /// @param aParameterName The feature's name.
    /// @param aValue Receives the value.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenBooleanValue(const ZuString &aParameterName, bool &aValue) = 0;
    /// Writes a boolean feature.
    /// @param aParameterName The feature's name.
    /// @param aValue The value.
    /// @return ZU_OK, or why not.
    virtual ZuResult SetGenBooleanValue(const ZuString &aParameterName, bool aValue) = 0;
    /// Reads a text feature.
    /// @param aParameterName The feature's name.
    /// @param aValue Receives the text.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenStringValue(const ZuString &aParameterName, ZuString &aValue) = 0;
    /// Reads the length of a register feature.
    /// @param aParameterName The feature's name.
    /// @param aLength Receives the length in bytes.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenRegisterLength(const ZuString &aParameterName, int64_t &aLength) = 0;
    /// Reads a register feature.
    /// @param aParameterName The feature's name.
    /// @param aDataBuffer Receives the bytes.
    /// @param aByteCount How many bytes the buffer holds.
    /// @return ZU_OK, or why not.
    virtual ZuResult GetGenRegisterData(const ZuString &aParameterName, uint8_t *aDataBuffer, int64_t aByteCount) = 0;
    /// Writes a register feature.
    /// @param aParameterName The feature's name.
    /// @param aDataBuffer The bytes.
    /// @param aByteCount How many.
    /// @return ZU_OK, or why not.
    virtual ZuResult SetGenRegisterData(const ZuString &aParameterName, const uint8_t *aDataBuffer, int64_t aByteCount) = 0;
    /// Follows the invalidation of a parameter: the registered event sinks
    /// hear of each change.
    /// @param aParameterName The feature's name.
    /// @return ZU_OK, ZU_NOT_FOUND.
    virtual ZuResult RegisterGenInvalidator(const ZuString &aParameterName) = 0;
    /// Stops following the invalidation of a parameter.
    /// @param aParameterName The feature's name.
    /// @return ZU_OK, ZU_NOT_FOUND.
    virtual ZuResult UnregisterGenInvalidator(const ZuString &aParameterName) = 0;
    /// Writes a 32-bit GigE Vision register.
    /// @param aAddress Its address.
    /// @param aValue The value.
    /// @return ZU_OK; ZU_NOT_IMPLEMENTED for a device that is not GigE Vision.
    virtual ZuResult WriteRegister(int64_t aAddress, uint32_t aValue) = 0;
    /// Reads a 32-bit GigE Vision register.
    /// @param aAddress Its address.
    /// @param aValue Receives the value.
    /// @return ZU_OK; ZU_NOT_IMPLEMENTED for a device that is not GigE Vision.
    virtual ZuResult ReadRegister(int64_t aAddress, uint32_t &aValue) = 0;
    /// Writes device memory.
    /// @param aBuffer The bytes.
    /// @param aAddress Where.
    /// @param aLength How many.
    /// @return ZU_OK, or why not.
    virtual ZuResult WriteMemory(const uint8_t *aBuffer, int64_t aAddress, int64_t aLength) = 0;
    /// Reads device memory.
    /// @param aBuffer Receives the bytes.
    /// @param aAddress Where.
    /// @param aLength How many.
    /// @return ZU_OK, or why not.
    virtual ZuResult ReadMemory(uint8_t *aBuffer, int64_t aAddress, int64_t aLength) = 0;
    /// Waits until the messaging channel's queue is empty.
    /// @param aTimeout The longest wait, in milliseconds.
    /// @return ZU_OK, ZU_TIMEOUT, ZU_NOT_CONNECTED.
    virtual ZuResult WaitForMessagingChannelIdle(uint32_t aTimeout) = 0;
    /// Tells whether the device is connected.
    virtual bool IsConnected() = 0;
    /// Tells whether the device is one of the maker's own.
    virtual bool IsMorvekPowered() = 0;
    /// Tells whether the device is a GigE Vision device.
    virtual bool IsGigEVision() = 0;
    /// Tells whether the device is a USB3 Vision device.
    virtual bool IsUSB3Vision() = 0;
    /// Registers a sink for raw events and the invalidation of followed parameters.
    /// @param aEventSink The sink.
    /// @return ZU_OK, ZU_INVALID_PARAMETER.
    virtual ZuResult RegisterEventSink(IZuDeviceEventSink *aEventSink) = 0;
    /// Unregisters a sink.
    /// @param aEventSink The sink.
    /// @return ZU_OK, ZU_NOT_FOUND.
    virtual ZuResult UnregisterEventSink(IZuDeviceEventSink *aEventSink) = 0;
    /// Gives a text that identifies the device uniquely.
    /// @param aDeviceUniqueID Receives the text.
    /// @return ZU_OK, ZU_INVALID_PARAMETER.
    virtual ZuResult GetUniqueID(ZuString &aDeviceUniqueID) = 0;
};

/// The adapter over a device of this SDK. It follows the device without
/// keeping it: once the device is freed or disconnected, its operations
/// answer ZU_NOT_CONNECTED (or false).
class ZU_API ZuDeviceAdapter : public IZuDeviceAdapter, public ZuDeviceEventSink, public ZuGenEventSink
{
public:
    /// Builds an adapter over a device.
    /// @param aDevice The device, connected.
    ZuDeviceAdapter(ZuDevice *aDevice);
    /// Leaves the device and the parameters it follows.
    virtual ~ZuDeviceAdapter();

    /// Tells whether the node map has an integer of this name.
    /// @param aParameterName The feature's name.
    bool IsGenIntegerInNodeMap(const ZuString &aParameterName) override;
    /// Tells whether the node map has an enumeration of this name.
    /// @param aParameterName The feature's name.
    bool IsGenEnumInNodeMap(const ZuString &aParameterName) override;
    /// Tells whether the node map has a boolean of this name.
    /// @param aParameterName The feature's name.
    bool IsGenBooleanInNodeMap(const ZuString &aParameterName) override;
    /// Tells whether the node map has a register of this name.
    /// @param aParameterName The feature's name.
    bool IsGenRegisterInNodeMap(const ZuString &aParameterName) override;
    /// Tells whether the feature exists and can be read now.
    /// @param aParameterName The feature's name.
    bool IsGenReadable(const ZuString &aParameterName) override;
    /// Tells whether the feature exists and can be written now.
    /// @param aParameterName The feature's name.
    bool IsGenWritable(const ZuString &aParameterName) override;
    /// Tells whether the enumeration exists and has the entry available now.
    /// @param aParameterName The enumeration's name.
    /// @param aEnumEntry The entry's name.
    bool IsGenEnumEntryAvailable(const ZuString &aParameterName, const ZuString &aEnumEntry) override;
    /// Reads an integer feature.
    /// @param aParameterName The feature's name.
    /// @param aValue Receives the value.
    /// @return ZU_OK, or why not.
    ZuResult GetGenIntegerValue(const ZuString &aParameterName, int64_t &aValue) override;
    /// Lists the entries of an enumeration available now.
    /// @param aParameterName The enumeration's name.
    /// @param aList Receives the entries' names.
    /// @return ZU_OK, or why not.
    ZuResult GetGenEnumEntriesAvailable(const ZuString &aParameterName, ZuStringList &aList) override;
    /// Reads the current entry of an enumeration.
    /// @param aParameterName The enumeration's name.
    /// @param aEnumEntry Receives the entry's name.
    /// @return ZU_OK, or why not.
    ZuResult GetGenEnumValue(const ZuString &aParameterName, ZuString &aEnumEntry) override;
    /// Chooses the entry of an enumeration.
    /// @param aParameterName The enumeration's name.
    /// @param aEnumEntry The entry's name.
    /// @return ZU_OK, or why not.
    ZuResult SetGenEnumValue(const ZuString &aParameterName, const ZuString &aEnumEntry) override;
    /// Reads a boolean feature.
    /// @param aParameterName The feature's name.
    /// @param aValue Receives the value.
    /// @return ZU_OK, or why not.
    ZuResult GetGenBooleanValue(const ZuString &aParameterName, bool &aValue) override;
    /// Writes a boolean feature.
    /// @param aParameterName The feature's name.
    /// @param aValue The value.
    /// @return ZU_OK, or why not.
    ZuResult SetGenBooleanValue(const ZuString &aParameterName, bool aValue) override;
    /// Reads a text feature.
    /// @param aParameterName The feature's name.
    /// @param aValue Receives the text.
    /// @return ZU_OK, or why not.
    ZuResult GetGenStringValue(const ZuString &aParameterName, ZuString &aValue) override;
    /// Reads the length of a register feature.
    /// @param aParameterName The feature's name.
    /// @param aLength Receives the length in bytes.
    /// @return ZU_OK, or why not.
    ZuResult GetGenRegisterLength(const ZuString &aParameterName, int64_t &aLength) override;
    /// Reads a register feature.
    /// @param aParameterName The feature's name.
    /// @param aDataBuffer Receives the bytes.
    /// @param aByteCount How many bytes the buffer holds.
    /// @return ZU_OK, or why not.
    ZuResult GetGenRegisterData(const ZuString &aParameterName, uint8_t *aDataBuffer, int64_t aByteCount) override;
    /// Writes a register feature.
    /// @param aParameterName The feature's name.
    /// @param aDataBuffer The bytes.
    /// @param aByteCount How many.
    /// @return ZU_OK, or why not.
    ZuResult SetGenRegisterData(const ZuString &aParameterName, const uint8_t *aDataBuffer, int64_t aByteCount) override;
    /// Follows the invalidation of a parameter: the registered event sinks
    /// hear of each change.
    /// @param aParameterName The feature's name.
    /// @return ZU_OK, ZU_NOT_FOUND.
    ZuResult RegisterGenInvalidator(const ZuString &aParameterName) override;
    /// Stops following the invalidation of a parameter.
    /// @param aParameterName The feature's name.
    /// @return ZU_OK, ZU_NOT_FOUND.
    ZuResult UnregisterGenInvalidator(const ZuString &aParameterName) override;
    /// Writes a 32-bit GigE Vision register.
    /// @param aAddress Its address.
    /// @param aValue The value.
    /// @return ZU_OK; ZU_NOT_IMPLEMENTED for a device that is not GigE Vision.
    ZuResult WriteRegister(int64_t aAddress, uint32_t aValue) override;
    /// Reads a 32-bit GigE Vision register.
    /// @param aAddress Its address.
    /// @param aValue Receives the value.
    /// @return ZU_OK; ZU_NOT_IMPLEMENTED for a device that is not GigE Vision.
    ZuResult ReadRegister(int64_t aAddress, uint32_t &aValue) override;
    /// Writes device memory.
    /// @param aBuffer The bytes.
    /// @param aAddress Where.
    /// @param aLength How many.
    /// @return ZU_OK, or why not.
    ZuResult WriteMemory(const uint8_t *aBuffer, int64_t aAddress, int64_t aLength) override;
    /// Reads device memory.
    /// @param aBuffer Receives the bytes.
    /// @param aAddress Where.
    /// @param aLength How many.
    /// @return ZU_OK, or why not.
    ZuResult ReadMemory(uint8_t *aBuffer, int64_t aAddress, int64_t aLength) override;
    /// Waits until the messaging channel's queue is empty.
    /// @param aTimeout The longest wait, in milliseconds.
    /// @return ZU_OK, ZU_TIMEOUT, ZU_NOT_CONNECTED.
    ZuResult WaitForMessagingChannelIdle(uint32_t aTimeout) override;
    /// Tells whether the device is connected.
    bool IsConnected() override;
    /// Tells whether the device is one of the maker's own.
    bool IsMorvekPowered() override;
    /// Tells whether the device is a GigE Vision device.
    bool IsGigEVision() override;
    /// Tells whether the device is a USB3 Vision device.
    bool IsUSB3Vision() override;
    /// Registers a sink for raw events and the invalidation of followed parameters.
    /// @param aEventSink The sink.
    /// @return ZU_OK, ZU_INVALID_PARAMETER.
    ZuResult RegisterEventSink(IZuDeviceEventSink *aEventSink) override;
    /// Unregisters a sink.
    /// @param aEventSink The sink.
    /// @return ZU_OK, ZU_NOT_FOUND.
    ZuResult UnregisterEventSink(IZuDeviceEventSink *aEventSink) override;
    /// Gives a text that identifies the device uniquely.
    /// @param aDeviceUniqueID Receives the text.
    /// @return ZU_OK, ZU_INVALID_PARAMETER.
    ZuResult GetUniqueID(ZuString &aDeviceUniqueID) override;

#ifndef SWIG
    // Raw events and the changes of followed parameters, forwarded to the
    // registered sinks.
    void OnEvent(ZuDevice *aDevice, uint16_t aEventID, uint16_t aChannel, uint64_t aBlockID, uint64_t aTimestamp,
                 const void *aData, uint32_t aDataLength) override;
    void OnParameterUpdate(ZuGenParameter *aParameter) override;
    struct Impl;
    friend struct tarn::DeviceFollow;

private:
    std::unique_ptr<Impl> mImpl;
#endif
};

#endif
