#ifndef IZU_VIRTUAL_DEVICE_GEV_H
#define IZU_VIRTUAL_DEVICE_GEV_H

#include "ZuResult.h"
#include "ZuString.h"

class IZuUserSetNotify;
class IZuVirtualDeviceGEVEventSink;
class IZuVirtualDeviceGEVInfo;
class IZuVirtualDeviceGEVStatistics;
class IZuMessageChannel;
class IZuRegisterMap;

namespace ZuVirtualDeviceLib {
class IActionHandler;
}

/// A virtual GigE Vision device: control channel, messaging channel and
/// the device's identity, registers and GenICam XML.
class ZU_API IZuVirtualDeviceGEV
{
public:
    virtual ~IZuVirtualDeviceGEV() {}

    /// Sets the number of user sets besides the default one; before Start only.
    /// @param aCount Number of user sets, at most 256.
    /// @return ZU_OK; ZU_INVALID_PARAMETER above 256; ZU_STATE_ERROR while running.
    virtual ZuResult SetUserSetCount(uint32_t aCount) = 0;
    /// Binds the object told when a user set is saved or loaded.
    /// @param aUserSetNotify The object, or null.
    virtual ZuResult SetUserSetNotify(IZuUserSetNotify *aUserSetNotify) = 0;
    /// Sets the handler that processes action commands.
    /// @param aActionHandler The handler, or null.
    virtual ZuResult SetActionHandler(ZuVirtualDeviceLib::IActionHandler *aActionHandler) = 0;
    /// Registers an event sink; may be called before Start.
    /// @param aEventSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the sink is null or already registered.
    virtual ZuResult RegisterEventSink(IZuVirtualDeviceGEVEventSink *aEventSink) = 0;
    /// Unregisters an event sink; before Start or after Stop.
    /// @param aEventSink The sink.
    /// @return ZU_OK; ZU_INVALID_PARAMETER if the sink is null.
    virtual ZuResult UnregisterEventSink(IZuVirtualDeviceGEVEventSink *aEventSink) = 0;
    /// Starts the device on the local interface with the given MAC address.
    /// @param aMACAddress MAC address, as 00:11:22:33:44:55.
    /// @return ZU_OK; ZU_STATE_ERROR if already running; ZU_INVALID_PARAMETER if the MAC address is not valid.
    virtual ZuResult Start(const ZuString &aMACAddress) = 0;
    /// Stops the device.
    /// @return ZU_OK; ZU_STATE_ERROR if not running.
    virtual ZuResult Stop() = 0;
    /// Returns the device's identity, or null while it is not running.
    /// Inside Start it is there too, for Start's own callbacks: the XML
    /// file's version and GUIDs can be set until Start creates the file.
    virtual IZuVirtualDeviceGEVInfo *GetInfo() = 0;
    /// Returns the device's register map, or null while it is not running.
    virtual IZuRegisterMap *GetRegisterMap() = 0;
    /// Returns the device's statistics, or null while it is not running.
    virtual IZuVirtualDeviceGEVStatistics *GetStatistics() = 0;
    /// Returns the device's messaging channel, or null while it is not running.
    virtual IZuMessageChannel *GetMessagingChannel() = 0;
    /// Returns the device's GenICam XML file.
    /// @param aString Receives the XML.
    /// @return ZU_OK, after Start whether it succeeded or failed; ZU_STATE_ERROR if Start was never called.
    virtual ZuResult GetGenICamXMLFile(ZuString &aString) const = 0;
};

#endif
