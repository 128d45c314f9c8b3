#ifndef ZU_DEVICE_INFO_H
#define ZU_DEVICE_INFO_H

#include "ZuBaseApi.h"
#include "ZuString.h"
#include "ZuSystemTypes.h"

#include <memory>
#include <string>
#include <vector>

class ZuInterface;

/// Description of one device that discovery found: who made it, what it
/// is and how to reach it. Hand it on to connect the device or to open its
/// stream.
class ZU_API ZuDeviceInfo
{
public:
    /// Destroys the information.
    virtual ~ZuDeviceInfo();

    /// Returns the protocol through which the device is reached.
    /// @return A ZuDeviceInfoType value; it tells which kind describes the device.
    ZuDeviceInfoType GetType() const;

    /// Returns the device's role on the stream.
    /// @return A ZuDeviceClass value.
    ZuDeviceClass GetClass() const;

    /// Returns the maker of the device.
    ZuString GetVendorName() const;

    /// Returns the device's model.
    ZuString GetModelName() const;

    /// Returns the device's firmware version.
    ZuString GetVersion() const;

    /// Returns the maker's information as the device reports it.
    ZuString GetManufacturerInfo() const;

    /// Returns the device's serial number.
    ZuString GetSerialNumber() const;

    /// Returns the name stored in the device.
    /// @return The name; empty when the device has none.
    ZuString GetUserDefinedName() const;

    /// Returns a text that names the device for display.
    ZuString GetDisplayID() const;

    /// Returns a text that tells this device from every other one while the
    /// application runs.
    ZuString GetUniqueID() const;

    /// Returns the text by which a device or stream can be created for this
    /// device in place of this information.
    ZuString GetConnectionID() const;

    /// Tells whether the device can be reached as it is configured now.
    /// A GigE Vision device can when its address is on a subnet of the
    /// adapter through which it was found.
    bool IsConfigurationValid() const;

    /// Returns the interface through which the device was found.
    /// @return The interface, or a null pointer when there is none.
    const ZuInterface *GetInterface() const;

    /// Makes a copy of the information, detached from its system (with a
    /// copy of its interface).
    /// @return The new copy, of the same kind; the caller deletes it.
    ZuDeviceInfo *Copy() const;

protected:
    explicit ZuDeviceInfo(ZuDeviceInfoType aType);
    ZuDeviceInfo(const ZuDeviceInfo &aOther);

private:
    // Discovery fills the information of every kind.
    friend struct ZuSystemDetail;
    ZuDeviceInfo &operator=(const ZuDeviceInfo &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

/// A GigE Vision device as its discovery acknowledge describes it.
class ZU_API ZuDeviceInfoGEV : public ZuDeviceInfo
{
public:
    /// Builds an empty information.
    ZuDeviceInfoGEV();

    /// Destroys the information.
    virtual ~ZuDeviceInfoGEV();

    /// Returns the device's MAC address.
    /// @return Six groups of two lower-case hexadecimal digits separated by colons.
    ZuString GetMACAddress() const;

    /// Returns the device's current IP address (GevCurrentIPAddress).
    /// @return Dotted-decimal address.
    ZuString GetIPAddress() const;

    /// Returns the device's current subnet mask (GevCurrentSubnetMask).
    ZuString GetSubnetMask() const;

    /// Returns the device's current default gateway (GevCurrentDefaultGateway).
    ZuString GetDefaultGateway() const;

    /// Returns the GigE Vision version of the device.
    /// @return Major version in the high 16 bits, minor in the low 16 bits.
    uint32_t GetGEVVersion() const;

    /// Returns the IP configuration methods that the device offers.
    /// @return The methods' names separated by ", ", among "LLA", "DHCP",
    ///   "Persistent IP", "PAUSE reception" and "PAUSE generation".
    ZuString GetIPConfigOptionsString() const;

    /// Returns the IP configuration methods now enabled, in the same form.
    ZuString GetIPConfigCurrentString() const;

    /// Tells whether the device offers a link-local address.
    bool IsLLAAvailable() const;
    /// Tells whether the device offers DHCP.
    bool IsDHCPAvailable() const;
    /// Tells whether the device offers a persistent IP address.
    bool IsPersistentAvailable() const;
    /// Tells whether the device offers PAUSE frame reception.
    bool IsPRAvailable() const;
    /// Tells whether the device offers PAUSE frame generation.
    bool IsPGAvailable() const;

    /// Tells whether the device uses a link-local address.
    bool IsLLAEnabled() const;
    /// Tells whether the device uses DHCP.
    bool IsDHCPEnabled() const;
    /// Tells whether the device uses its persistent IP address.
    bool IsPersistentEnabled() const;
    /// Tells whether the device honours PAUSE frames.
    bool IsPREnabled() const;
    /// Tells whether the device sends PAUSE frames.
    bool IsPGEnabled() const;
};

/// A device found through the maker's own discovery protocol.
class ZU_API ZuDeviceInfoMorvekProtocol : public ZuDeviceInfo
{
public:
    /// Builds an empty information.
    ZuDeviceInfoMorvekProtocol();

    /// Destroys the information.
    virtual ~ZuDeviceInfoMorvekProtocol();

    /// Returns the device's MAC address, as ZuDeviceInfoGEV writes it.
    ZuString GetMACAddress() const;
    /// Returns the device's IP address, dotted decimal.
    ZuString GetIPAddress() const;
    /// Returns the device's subnet mask, dotted decimal.
    ZuString GetSubnetMask() const;
    /// Returns the device's default gateway, dotted decimal.
    ZuString GetDefaultGateway() const;
    /// Returns the device's identification number in the maker's protocol.
    uint8_t GetDeviceID() const;
    /// Returns the device's module number in the maker's protocol.
    uint8_t GetModuleID() const;
    /// Returns the device's sub-identification number in the maker's protocol.
    uint8_t GetSubID() const;
    /// Returns the device's vendor number in the maker's protocol.
    uint8_t GetVendorID() const;
    /// Returns the major version of the device's firmware.
    uint8_t GetSoftwareMajor() const;
    /// Returns the minor version of the device's firmware.
    uint8_t GetSoftwareMinor() const;
};

/// A USB device.
class ZU_API ZuDeviceInfoUSB : public ZuDeviceInfo
{
public:
    /// Builds an empty information.
    ZuDeviceInfoUSB();

    /// Destroys the information.
    virtual ~ZuDeviceInfoUSB();

    /// Returns the state of the device's enumeration.
    /// @return A ZuUSBStatus value; anything but ZuUSBStatusConnected means
    ///   the device cannot be opened.
    ZuUSBStatus GetStatus() const;

protected:
    explicit ZuDeviceInfoUSB(ZuDeviceInfoType aType);
};

/// A USB3 Vision device.
class ZU_API ZuDeviceInfoU3V : public ZuDeviceInfoUSB
{
public:
    /// Builds an empty information.
    ZuDeviceInfoU3V();

    /// Destroys the information.
    virtual ~ZuDeviceInfoU3V();

    /// Returns the device's GenCP version (major high 16 bits, minor low).
    uint32_t GetGenCPVersion() const;
    /// Returns the device's USB3 Vision version (major high 16 bits, minor low).
    uint32_t GetU3VVersion() const;
    /// Returns the device's USB3 Vision GUID.
    ZuString GetDeviceGUID() const;
    /// Returns the device's family name.
    ZuString GetFamilyName() const;
    /// Returns the serial number of the USB3 Vision device.
    ZuString GetU3VSerialNumber() const;
    /// Returns the operating system's path of the device.
    ZuString GetDevicePath() const;
    /// Returns the key by which the SDK loads the device's driver.
    ZuString GetDeviceKey() const;
    /// Returns the negotiated speed ("low", "full", "high", "super"), or
    /// "Unknown", or a text that explains a problem.
    ZuString GetSpeedMessage() const;
    /// Returns "Ok" when the device seems properly powered, else a text
    /// that explains the problem.
    ZuString GetPowerMessage() const;
    /// Tells whether the device supports USB 1.0 speed.
    bool IsLowSpeedSupported() const;
    /// Tells whether the device supports USB 1.1 speed.
    bool IsFullSpeedSupported() const;
    /// Tells whether the device supports USB 2 speed.
    bool IsHighSpeedSupported() const;
    /// Tells whether the device supports USB 3 speed.
    bool IsSuperSpeedSupported() const;
    /// Tells whether the device supports USB 3.1 speed.
    bool IsSuperSpeedPlusSupported() const;
    /// Tells whether the host controller supports the speed at which the
    /// device now runs.
    bool IsCurrentSpeedSupported() const;
    /// Returns the speed at which the device now runs.
    /// @return A ZuUSBSpeed value.
    ZuUSBSpeed GetSpeed() const;
    /// Returns the device's power consumption in milliamperes.
    uint32_t GetMaxPower() const;
    /// Returns the largest packet that the device can use, in bytes.
    uint32_t GetMaxPacketSize() const;
    /// Tells whether the driver now selected for the device is the maker's.
    bool IsMorvekDriverInstalled() const;
    /// Tells whether the device's USB3 Vision capabilities were read.
    bool IsInitializedCapabilities() const;
};

namespace ZuSystemLib
{
    /// An IPv4 address with its subnet mask, as dotted-decimal texts.
    struct IPConfig
    {
        // Plain comments on the fields: the accessors of plain records
        // carry no docstring in the bindings.
        // The address, dotted decimal.
        std::string mIPAddress;
        // Its subnet mask, dotted decimal.
        std::string mSubnetMask;
    };

    /// Several addresses with their masks.
    typedef std::vector<IPConfig> IPConfigVector;
    /// Several gateways, dotted decimal.
    typedef std::vector<std::string> GatewayVector;
}

#endif
