#ifndef ZU_INTERFACE_H
#define ZU_INTERFACE_H

#include "ZuBaseApi.h"
#include "ZuString.h"
#include "ZuSystemTypes.h"

#include <memory>

class ZuDeviceInfo;
class ZuSystem;

/// A way out of the host through which discovery reaches devices: a
/// network adapter or a USB host controller.
///
/// Interfaces are found and owned by a ZuSystem; each lists the devices
/// that discovery found through it.
class ZU_API ZuInterface
{
public:
    /// Destroys the interface and the device informations it owns.
    virtual ~ZuInterface();

    /// Returns the kind of interface.
    /// @return ZuInterfaceTypeNetworkAdapter or ZuInterfaceTypeUSBHostController.
    ZuInterfaceType GetType() const;

    /// Returns the operating system's name of the interface.
    /// @return A text for people to read.
    ZuString GetName() const;

    /// Returns a text that names the interface in a user interface.
    ZuString GetDisplayID() const;

    /// Returns a text that tells this interface from every other one while
    /// the application runs.
    ZuString GetUniqueID() const;

    /// Returns the text by which interfaces are sorted.
    ZuString GetCompareID() const;

    /// Returns the version of the maker's driver on this interface.
    /// @return "#.#.#.#.####", or an empty text when that driver is not installed.
    ZuString GetMorvekDriverVersion() const;

    /// Returns how many devices discovery found through this interface.
    uint32_t GetDeviceCount() const;

    /// Returns a device found through this interface.
    /// @param aIndex Index from 0 to GetDeviceCount() - 1.
    /// @return The device information, or a null pointer for an index out of range.
    const ZuDeviceInfo *GetDeviceInfo(uint32_t aIndex) const;

    /// Makes a copy of the interface, detached from its system, with copies
    /// of its device informations.
    /// @return The new copy; the caller deletes it.
    ZuInterface *Copy() const;

    /// Ordering of interfaces by their compare texts.
    /// @param a1 First interface.
    /// @param a2 Second interface.
    /// @return true when a1 sorts before a2; false when either is missing.
    static bool Compare(const ZuInterface *a1, const ZuInterface *a2);

protected:
    explicit ZuInterface(ZuInterfaceType aType);
    // A copy takes the identity only, not the device informations.
    ZuInterface(const ZuInterface &aOther);

private:
    // Discovery fills the interfaces of every kind.
    friend struct ZuSystemDetail;
    ZuInterface &operator=(const ZuInterface &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

/// A network interface card, through which GigE Vision devices are found.
class ZU_API ZuNetworkAdapter : public ZuInterface
{
public:
    /// Builds an empty adapter.
    ZuNetworkAdapter();

    /// Destroys the adapter.
    virtual ~ZuNetworkAdapter();

    /// Returns the adapter's MAC address.
    /// @return Six groups of two upper-case hexadecimal digits separated by points.
    ZuString GetMACAddress() const;

    /// Returns the operating system's description of the adapter.
    ZuString GetDescription() const;

    /// Returns the number of IPv4 address and subnet mask pairs.
    uint32_t GetIPAddressCount() const;

    /// Returns one IPv4 address of the adapter.
    /// @param aIndex Index from 0 to GetIPAddressCount() - 1.
    /// @return Dotted-decimal address; "0.0.0.0" for an index out of range.
    ZuString GetIPAddress(uint32_t aIndex) const;

    /// Returns the subnet mask of one IPv4 address.
    /// @param aIndex Index from 0 to GetIPAddressCount() - 1.
    /// @return Dotted-decimal mask; "0.0.0.0" for an index out of range.
    ZuString GetSubnetMask(uint32_t aIndex) const;

    /// Returns the default gateway reached through this adapter.
    /// @return Dotted-decimal address; "0.0.0.0" when there is none.
    ZuString GetDefaultGateway() const;

    /// Tells whether the maker's network driver is installed on this adapter.
    bool IsMorvekDriverInstalled() const;
};

/// A USB host controller, through which USB3 Vision devices are found.
class ZU_API ZuUSBHostController : public ZuInterface
{
public:
    /// Builds an empty controller.
    ZuUSBHostController();

    /// Destroys the controller.
    virtual ~ZuUSBHostController();

    /// Returns the PCI vendor ID of the controller.
    uint32_t GetVendorID() const;

    /// Returns the PCI device ID of the controller.
    uint32_t GetDeviceID() const;

    /// Returns the PCI subsystem ID: subsystem device in the high 16 bits,
    /// subsystem vendor in the low 16 bits.
    uint32_t GetSubsystemID() const;

    /// Returns the controller's hardware revision.
    uint32_t GetRevision() const;

    /// Returns the highest speed that the controller offers.
    /// @return A ZuUSBSpeed value.
    ZuUSBSpeed GetSpeed() const;
};

#endif
