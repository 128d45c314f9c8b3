#ifndef IZU_VIRTUAL_DEVICE_GEV_EVENT_SINK_H
#define IZU_VIRTUAL_DEVICE_GEV_EVENT_SINK_H

#include "ZuBaseApi.h"
#include "ZuString.h"
#include "ZuSoftDeviceTypes.h"

class IZuVirtualDeviceGEV;
class IZuRegisterFactory;
class IZuGenApiFactory;

/// Notifications of a software GigE Vision device.
///
/// Every notification does nothing unless overridden. The device calls
/// OnCreateCustomRegisters and then OnCreateCustomGenApiFeatures inside
/// Start, on the thread that called it; the others come from its control
/// channel.
class IZuVirtualDeviceGEVEventSink
{
public:
    virtual ~IZuVirtualDeviceGEVEventSink() {}

    /// A controller took the control channel.
    /// @param aDevice The device.
    /// @param aIPAddress The controller's IP address, dotted-decimal.
    /// @param aPort The controller's UDP port.
    /// @param aAccessType The access the controller secured.
    virtual void OnApplicationConnect(IZuVirtualDeviceGEV *aDevice, const ZuString &aIPAddress, uint16_t aPort, ZuAccessType aAccessType)
    { (void)aDevice; (void)aIPAddress; (void)aPort; (void)aAccessType; }
    /// The control channel started.
    /// @param aDevice The device.
    /// @param aMACAddress MAC address of the local interface.
    /// @param aIPAddress IP address the control channel is bound to.
    /// @param aMask Its subnet mask.
    /// @param aGateway The interface's default gateway.
    /// @param aPort UDP port the control channel listens on.
    virtual void OnControlChannelStart(IZuVirtualDeviceGEV *aDevice, const ZuString &aMACAddress, const ZuString &aIPAddress, const ZuString &aMask, const ZuString &aGateway, uint16_t aPort)
    { (void)aDevice; (void)aMACAddress; (void)aIPAddress; (void)aMask; (void)aGateway; (void)aPort; }
    /// The controller released the control channel, or its heartbeat failed.
    /// @param aDevice The device.
    virtual void OnApplicationDisconnect(IZuVirtualDeviceGEV *aDevice) { (void)aDevice; }
    /// The control channel stopped.
    /// @param aDevice The device.
    virtual void OnControlChannelStop(IZuVirtualDeviceGEV *aDevice) { (void)aDevice; }
    /// The device was reset as by a power cycle.
    /// @param aDevice The device.
    virtual void OnDeviceResetFull(IZuVirtualDeviceGEV *aDevice) { (void)aDevice; }
    /// The device's network was reset, as after a FORCEIP_CMD.
    /// @param aDevice The device.
    virtual void OnDeviceResetNetwork(IZuVirtualDeviceGEV *aDevice) { (void)aDevice; }
    /// Create the device-wide custom registers.
    /// @param aDevice The device.
    /// @param aFactory Register factory, valid during the call.
    virtual void OnCreateCustomRegisters(IZuVirtualDeviceGEV *aDevice, IZuRegisterFactory *aFactory) { (void)aDevice; (void)aFactory; }
    /// Declare the device-wide custom GenApi features.
    /// @param aDevice The device.
    /// @param aFactory GenApi factory, valid during the call.
    virtual void OnCreateCustomGenApiFeatures(IZuVirtualDeviceGEV *aDevice, IZuGenApiFactory *aFactory) { (void)aDevice; (void)aFactory; }
};

#endif
