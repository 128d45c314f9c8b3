#ifndef IZU_VIRTUAL_DEVICE_GEV_INFO_H
#define IZU_VIRTUAL_DEVICE_GEV_INFO_H

#include "ZuResult.h"
#include "ZuString.h"

/// Identity of a software GigE Vision device: the texts of its read-only
/// bootstrap registers and the header data of its GenICam XML file.
///
/// The getters return a text that the device keeps: copy it out before the
/// next call on the object.
class ZU_API IZuVirtualDeviceGEVInfo
{
public:
    virtual ~IZuVirtualDeviceGEVInfo() {}

    /// Returns the manufacturer name (bootstrap register 0x0048).
    virtual const ZuString &GetManufacturerName() = 0;
    /// Returns the model name (bootstrap register 0x0068).
    virtual const ZuString &GetModelName() = 0;
    /// Returns the device version (bootstrap register 0x0088).
    virtual const ZuString &GetDeviceVersion() = 0;
    /// Returns the firmware version (register 0x3FFF0100).
    virtual const ZuString &GetDeviceFirmwareVersion() = 0;
    /// Returns the manufacturer information (bootstrap register 0x00A8).
    virtual const ZuString &GetManufacturerInformation() = 0;
    /// Returns the serial number (bootstrap register 0x00D8).
    virtual const ZuString &GetSerialNumber() = 0;
    /// Sets the manufacturer name: at most 31 characters.
    /// @param aValue The text.
    virtual ZuResult SetManufacturerName(const ZuString &aValue) = 0;
    /// Sets the model name: at most 31 characters.
    /// @param aValue The text.
    virtual ZuResult SetModelName(const ZuString &aValue) = 0;
    /// Sets the device version: at most 31 characters.
    /// @param aValue The text.
    virtual ZuResult SetDeviceVersion(const ZuString &aValue) = 0;
    /// Sets the firmware version: at most 31 characters.
    /// @param aValue The text.
    virtual ZuResult SetDeviceFirmwareVersion(const ZuString &aValue) = 0;
    /// Sets the manufacturer information: at most 47 characters.
    /// @param aValue The text.
    virtual ZuResult SetManufacturerInformation(const ZuString &aValue) = 0;
    /// Sets the serial number: at most 15 characters.
    /// @param aValue The text.
    virtual ZuResult SetSerialNumber(const ZuString &aValue) = 0;
    /// Returns the major version of the GenICam XML file.
    virtual uint16_t GetGenICamXMLVersionMajor() const = 0;
    /// Returns the minor version of the GenICam XML file.
    virtual uint16_t GetGenICamXMLVersionMinor() const = 0;
    /// Returns the subminor version of the GenICam XML file.
    virtual uint16_t GetGenICamXMLVersionSubMinor() const = 0;
    /// Returns the product GUID of the GenICam XML file.
    virtual const ZuString &GetGenICamXMLProductGUID() = 0;
    /// Returns the version GUID of the GenICam XML file.
    virtual const ZuString &GetGenICamXMLVersionGUID() = 0;
    /// Returns the model name of the XML file's register description; the model name unless set.
    virtual const ZuString &GetGenICamXMLRegDescModelName() { return GetModelName(); }
    /// Returns the vendor name of the XML file's register description; the manufacturer name unless set.
    virtual const ZuString &GetGenICamXMLRegDescVendorName() { return GetManufacturerName(); }
    /// Sets the version of the GenICam XML file.
    /// @param aMajor Major version.
    /// @param aMinor Minor version.
    /// @param aSubMinor Subminor version.
    /// @return ZU_OK; ZU_STATE_ERROR once the XML file has been created.
    virtual ZuResult SetGenICamXMLVersion(uint16_t aMajor, uint16_t aMinor, uint16_t aSubMinor) = 0;
    /// Sets the GUIDs of the GenICam XML file.
    /// @param aProduct Product GUID, as xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx.
    /// @param aVersion Version GUID, in the same form.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for a text that is no GUID; ZU_STATE_ERROR once the XML file has been created.
    virtual ZuResult SetGenICamXMLGUIDs(const ZuString &aProduct, const ZuString &aVersion) = 0;
    /// Sets the model name of the XML file's register description: at most 31 characters.
    /// @param aModelName The text.
    virtual ZuResult SetGenICamXMLRegDescModelName(const ZuString &aModelName) { (void)aModelName; return ZuResult(ZU_OK); }
    /// Sets the vendor name of the XML file's register description: at most 31 characters.
    /// @param aVendorName The text.
    virtual ZuResult SetGenICamXMLRegDescVendorName(const ZuString &aVendorName) { (void)aVendorName; return ZuResult(ZU_OK); }
};

#endif
