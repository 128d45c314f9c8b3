#ifndef ZU_DEVICE_H
#define ZU_DEVICE_H

#include "ZuAccessType.h"
#include "ZuBaseApi.h"
#include "ZuDeviceEventSink.h"
#include "ZuDeviceInfo.h"
#include "ZuGenParameterArray.h"
#include "ZuResult.h"
#include "ZuString.h"
#include "ZuSystemTypes.h"

#ifndef SWIG
#include <memory>
#endif

/// A controller of one device: connects to it, reads and writes its GenICam
/// features, registers and memory, and delivers its events to sinks.
///
/// While connected, a GigE Vision device runs three threads of the SDK: the
/// heartbeat thread keeps control of the device (and reports a device that
/// stops answering) and fires the GenICam and event callbacks; the
/// interrupt-link thread receives, acknowledges and queues the messaging
/// channel's events; the interrupt-queue thread fires the link callbacks.
class ZU_API ZuDevice
{
public:
    /// Disconnects the device and destroys the controller.
    virtual ~ZuDevice();

    /// Builds the controller of the right kind for a found device and
    /// connects it.
    ///
    /// From Python: result, device = ZuDevice.CreateAndConnect(info), a tuple
    /// of the ZuResult and the device as its kind (ZuDeviceGEV), None unless
    /// the result is OK; aResult is not passed.
    /// @param aDeviceInfo The device, as discovery found it.
    /// @param aResult Receives the outcome: ZU_OK; ZU_INVALID_PARAMETER (no
    /// information); ZU_NOT_CONNECTED (connection lost while connecting);
    /// ZU_NETWORK_ERROR, ZU_TIMEOUT (GigE Vision); ZU_THREAD_ERROR;
    /// ZU_GENERIC_ERROR (for example another controller holds the device);
    /// ZU_GENICAM_XML_ERROR; ZU_NOT_FOUND; ZU_NOT_SUPPORTED.
    /// @return The connected device, released with Free; null on failure.
    static ZuDevice *CreateAndConnect(const ZuDeviceInfo *aDeviceInfo, ZuResult *aResult);
    /// Builds the controller of the right kind for a device named by text
    /// and connects it.
    ///
    /// From Python: result, device = ZuDevice.CreateAndConnect("192.168.1.114"),
    /// a tuple of the ZuResult and the device as its kind, None unless the
    /// result is OK; aResult is not passed.
    /// @param aDeviceText A GigE Vision device's IP address ("192.168.1.114":
    /// connected directly), its MAC address ("00:11:22:33:44:5F": found by
    /// a discovery), a USB3 Vision GUID or a device's user-defined name.
    /// @param aResult Receives the outcome, as for the other overload.
    /// @return The connected device, released with Free; null on failure.
    static ZuDevice *CreateAndConnect(const ZuString &aDeviceText, ZuResult *aResult);
    /// Releases a device made by CreateAndConnect.
    /// @param aDevice The device; null does nothing.
    static void Free(ZuDevice *aDevice);

    /// Returns the kind of device.
    ZuDeviceType GetType() const;

    /// Connects a found device; one device at a time per controller.
    /// @param aDeviceInfo The device, as discovery found it.
    /// @return ZU_OK, or the codes of CreateAndConnect.
    virtual ZuResult Connect(const ZuDeviceInfo *aDeviceInfo) = 0;
    /// Connects a device named by text (see CreateAndConnect).
    /// @param aInfoStr IP address, MAC address, GUID or user-defined name.
    /// @return ZU_OK, or the codes of CreateAndConnect.
    virtual ZuResult Connect(const ZuString &aInfoStr) = 0;
    /// Disconnects: releases the device's control and its channels.
    /// @return ZU_OK.
    ZuResult Disconnect();

    /// Locks the transport-layer parameters for streaming (the device's
    /// TLParamsLocked feature). Execute the device's AcquisitionStart after it.
    /// @param aChannel The stream channel.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_GENERIC_ERROR, ZU_INVALID_PARAMETER.
    ZuResult StreamEnable(uint32_t aChannel = 0);
    /// Unlocks the transport-layer parameters; call it after AcquisitionStop
    /// once all images arrived.
    /// @param aChannel The stream channel.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_GENERIC_ERROR, ZU_INVALID_PARAMETER.
    ZuResult StreamDisable(uint32_t aChannel = 0);
    /// Tells whether the device is connected (and still answering).
    bool IsConnected() const;
    /// Tells whether the device is one of the maker's own; always false here.
    bool IsMorvekPowered() const;

    /// Saves the device's GenICam description as the device stores it (XML,
    /// or the ZIP file that holds it).
    /// @param aFilePath The file to write.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_CANNOT_OPEN_FILE, ZU_FILE_ERROR.
    ZuResult DumpGenICamXML(const ZuString &aFilePath);
    /// Gives a file name for the description, from the URL it was read through.
    /// @param aFilename Receives the name.
    /// @return ZU_OK, ZU_NOT_CONNECTED.
    ZuResult GetDefaultGenICamXMLFilename(ZuString &aFilename);

    /// Returns the device's own features, null while not connected. The
    /// array belongs to the device.
    ZuGenParameterArray *GetParameters();
    /// Returns the parameters of how the controller talks with the device
    /// (time-outs, retries, heartbeat, statistics); they belong to the
    /// device and keep their values across connections.
    ZuGenParameterArray *GetCommunicationParameters();

    /// Reads device memory. Address and byte count are multiples of 4.
    /// @param aAddress Where to read.
    /// @param aDestination Receives the bytes.
    /// @param aByteCount How many, not 0.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_NOT_CONNECTED, ZU_TIMEOUT,
    /// ZU_GENERIC_ERROR, ZU_NETWORK_ERROR.
    ZuResult ReadMemory(int64_t aAddress, uint8_t *aDestination, int64_t aByteCount);
    /// Writes device memory. Address and byte count are multiples of 4. A
    /// device that cannot write memory gets a series of register writes.
    /// @param aAddress Where to write.
    /// @param aSource The bytes.
    /// @param aByteCount How many, not 0.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_NOT_CONNECTED, ZU_TIMEOUT,
    /// ZU_GENERIC_ERROR, ZU_NETWORK_ERROR.
    ZuResult WriteMemory(int64_t aAddress, const uint8_t *aSource, int64_t aByteCount);
    /// Waits until every event received has been delivered to the sinks.
    /// @param aTimeout The longest wait, in milliseconds.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_TIMEOUT.
    ZuResult WaitForMessagingChannelIdle(uint32_t aTimeout);

    /// Registers a sink for the device's events; the caller keeps it alive
    /// until it is unregistered.
    /// @param aEventSink The sink.
    /// @return ZU_OK, ZU_INVALID_PARAMETER (null, or registered already).
    ZuResult RegisterEventSink(ZuDeviceEventSink *aEventSink);
    /// Unregisters a sink, waiting for a call to it in progress on another thread.
    /// @param aEventSink The sink.
    /// @return ZU_OK, ZU_NOT_FOUND (not registered), ZU_INVALID_PARAMETER (null).
    ZuResult UnregisterEventSink(ZuDeviceEventSink *aEventSink);

    /// Returns the heartbeat thread's priority.
    uint32_t GetHeartbeatThreadPriority() const;
    /// Sets the heartbeat thread's priority. On Linux 0 to 99, 99 the
    /// highest, as SCHED_FIFO's priorities (0: the ordinary scheduler); a
    /// process without the privilege runs every thread under SCHED_OTHER at
    /// priority 0. The heartbeat must not starve lest control be lost.
    /// @param aPriority The priority.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_THREAD_ERROR (not permitted).
    ZuResult SetHeartbeatThreadPriority(uint32_t aPriority);
    /// Returns the interrupt-link thread's priority.
    uint32_t GetInterruptLinkThreadPriority() const;
    /// Sets the interrupt-link thread's priority (as the heartbeat's).
    /// @param aPriority The priority.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_THREAD_ERROR.
    ZuResult SetInterruptLinkThreadPriority(uint32_t aPriority);
    /// Returns the interrupt-queue thread's priority.
    uint32_t GetInterruptQueueThreadPriority() const;
    /// Sets the interrupt-queue thread's priority (as the heartbeat's).
    /// @param aPriority The priority.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_THREAD_ERROR.
    ZuResult SetInterruptQueueThreadPriority(uint32_t aPriority);

    /// Returns the size of one payload: the PayloadSize feature; failing
    /// that, width times height times the pixel size; failing that, a size
    /// still large enough for buffers. 0 only when not connected.
    uint32_t GetPayloadSize();
    /// Gives a text that identifies the device uniquely (its MAC address
    /// for GigE Vision).
    /// @param aDeviceUniqueID Receives the text.
    /// @return ZU_OK, ZU_NOT_CONNECTED.
    ZuResult GetUniqueID(ZuString &aDeviceUniqueID);

#ifndef SWIG
    struct State;
    // The device's state, shared with what outlives it (adapters,
    // parameter arrays handed to the bindings).
    const std::shared_ptr<State> &GetState() const { return mState; }

protected:
    explicit ZuDevice(ZuDeviceType aType);
    ZuDevice(const ZuDevice &) = delete;
    ZuDevice &operator=(const ZuDevice &) = delete;
    std::shared_ptr<State> mState;
#endif
};

/// A GigE Vision device.
class ZU_API ZuDeviceGEV : public ZuDevice
{
public:
    /// Builds a controller that is not connected.
    ZuDeviceGEV();
    /// Disconnects the device and destroys the controller.
    virtual ~ZuDeviceGEV();

    /// Connects a found device with control access.
    /// @param aDeviceInfo The device, as discovery found it.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_GENERIC_ERROR, ZU_GENICAM_XML_ERROR.
    ZuResult Connect(const ZuDeviceInfo *aDeviceInfo) override;
    /// Connects a found device with the access given.
    /// @param aDeviceInfo The device, as discovery found it.
    /// @param aAccessType Open (reads beside the controller that holds the
    /// device), control (others may read) or exclusive.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_GENERIC_ERROR, ZU_GENICAM_XML_ERROR.
    ZuResult Connect(const ZuDeviceInfo *aDeviceInfo, ZuAccessType aAccessType);
    /// Connects a device named by its IP address, its MAC address
    /// ("00:11:22:33:44:5F") or its user-defined name, with control access.
    /// @param aInfoStr The name.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_GENERIC_ERROR, ZU_GENICAM_XML_ERROR.
    ZuResult Connect(const ZuString &aInfoStr) override;
    /// Connects a device named by text with the access given.
    /// @param aInfoStr The name.
    /// @param aAccessType The access.
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_GENERIC_ERROR, ZU_GENICAM_XML_ERROR.
    ZuResult Connect(const ZuString &aInfoStr, ZuAccessType aAccessType);

    /// Sets where a stream channel sends (the device's GevSCDA and
    /// GevSCPHostPort).
    /// @param aIPAddress The receiver's address, unicast or multicast.
    /// @param aDataPort The receiver's port.
    /// @param aChannel The stream channel, 0 for a single-channel device.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_TIMEOUT, ZU_GENERIC_ERROR.
    ZuResult SetStreamDestination(const ZuString &aIPAddress, uint16_t aDataPort, uint32_t aChannel = 0);
    /// Clears where a stream channel sends (address 0.0.0.0, port 0).
    /// @param aChannel The stream channel.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_TIMEOUT, ZU_GENERIC_ERROR.
    ZuResult ResetStreamDestination(uint32_t aChannel = 0);
    /// Sets a stream channel's packet size without testing it.
    /// @param aPacketSize The size, with the IP and UDP headers.
    /// @param aChannel The stream channel.
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_TIMEOUT, ZU_GENERIC_ERROR, ZU_NOT_FOUND.
    ZuResult SetPacketSize(uint32_t aPacketSize, uint32_t aChannel = 0);
    /// Finds and sets the largest packet size the network carries between
    /// device and host, with test packets: the MTU (below 9000), 9000,
    /// 8000, 4000, 2000, 1500, 1000 and 600, each less 24 bytes and rounded
    /// down to the packet size's increment. Resets the stream destination
    /// of the channel: call it after connecting, before SetStreamDestination.
    /// @param aChannel The stream channel.
    /// @param aDefaultPacketSize Applied when no size passes; 0 keeps the
    /// device's setting (1476 is a safe value).
    /// @return ZU_OK, ZU_NOT_CONNECTED, ZU_TIMEOUT, ZU_GENERIC_ERROR.
    ZuResult NegotiatePacketSize(uint32_t aChannel = 0, uint32_t aDefaultPacketSize = 0);

    /// Reads one 32-bit register.
    /// @param aAddress Its address, a multiple of 4.
    /// @param aValue Receives the value, in host byte order.
    /// @return As ReadMemory.
    ZuResult ReadRegister(int64_t aAddress, uint32_t &aValue);
    /// Writes one 32-bit register.
    /// @param aAddress Its address, a multiple of 4.
    /// @param aValue The value, in host byte order.
    /// @param aAcknowledge False: no acknowledgement is asked for, and the
    /// call returns once the command is sent.
    /// @return As WriteMemory.
    ZuResult WriteRegister(int64_t aAddress, uint32_t aValue, bool aAcknowledge = true);

    /// Returns the device's class; transmitter when not connected.
    ZuDeviceClass GetClass() const;
    /// Returns the device's IP address, empty when not connected.
    ZuString GetIPAddress() const;
    /// Returns the device's MAC address, empty when not connected.
    ZuString GetMACAddress() const;
    /// Returns the access the device was connected with; unknown when not connected.
    ZuAccessType GetAccessType() const;
    /// Asks the device at an address which access a controller holds on it now.
    /// @param aIPAddress The device's address.
    /// @param aAccessType Receives the access (unknown on failure).
    /// @return ZU_OK, ZU_INVALID_PARAMETER, ZU_TIMEOUT, ZU_GENERIC_ERROR.
    static ZuResult GetAccessType(const ZuString &aIPAddress, ZuAccessType &aAccessType);
    /// Assigns an address to the device with a MAC address (FORCEIP), only
    /// while no controller is connected to it.
    /// @param aMACAddress The device's MAC address.
    /// @param aIP The new IP address.
    /// @param aSubnetMask The new subnet mask.
    /// @param aGateway The new default gateway.
    /// @return ZU_OK, ZU_INVALID_PARAMETER; ZU_TIMEOUT when no device
    /// answered; ZU_GENERIC_ERROR when the device refused.
    static ZuResult SetIPConfiguration(const ZuString &aMACAddress, const ZuString &aIP,
                                       const ZuString &aSubnetMask = ZuString("255.255.255.0"),
                                       const ZuString &aGateway = ZuString("0.0.0.0"));
};

/// A USB3 Vision device. This SDK reaches no USB device: connecting finds none.
class ZU_API ZuDeviceU3V : public ZuDevice
{
public:
    /// Builds a controller that is not connected.
    ZuDeviceU3V();
    /// Destroys the controller.
    virtual ~ZuDeviceU3V();

    /// Connects a device named by its GUID or its user-defined name.
    /// @param aInfoStr The name.
    /// @return ZU_NOT_FOUND here; ZU_INVALID_PARAMETER for an empty name.
    ZuResult Connect(const ZuString &aInfoStr) override;
    /// Connects a found USB3 Vision device.
    /// @param aDeviceInfo The device.
    /// @return ZU_NOT_FOUND here; ZU_INVALID_PARAMETER without one.
    ZuResult Connect(const ZuDeviceInfo *aDeviceInfo) override;
    /// Returns the device's GUID, empty when not connected.
    ZuString GetGUID() const;
};

/// Devices of the maker's own network protocol.
class ZU_API ZuDeviceMorvekProtocol
{
public:
    /// Assigns an address to the device with a MAC address.
    /// @param aMACAddress The device's MAC address.
    /// @param aIP The new IP address.
    /// @param aSubnetMask The new subnet mask.
    /// @param aGateway The new default gateway.
    /// @return ZU_OK, ZU_INVALID_PARAMETER; ZU_NOT_FOUND when no such
    /// device answers (this SDK reaches none).
    static ZuResult SetIPConfiguration(const ZuString &aMACAddress, const ZuString &aIP,
                                       const ZuString &aSubnetMask = ZuString("255.255.255.0"),
                                       const ZuString &aGateway = ZuString("0.0.0.0"));
};

#endif
