#ifndef TARN_SOFTDEVICE_IDENTITY_H
#define TARN_SOFTDEVICE_IDENTITY_H

// The identity of a software device: the texts a controller reads from its
// bootstrap registers and the header data of its GenICam description. Each
// change is handed on (to the register space and the description) through
// the change callback, outside the identity's lock.

#include "IZuVirtualDeviceGEVInfo.h"
#include "softdevice/model/control_link.h"

#include <functional>
#include <mutex>

namespace tarn {
namespace softdevice {

class Identity : public IZuVirtualDeviceGEVInfo
{
public:
    enum class Field { Manufacturer, Model, DeviceVersion, Firmware, ManufacturerInfo, Serial, Description };

    // Largest text of each field in bytes (the register holds a null after it).
    static uint32_t LimitOf(Field aField);

    Identity();

    void SetOnChange(std::function<void(Field)> aOnChange) { mOnChange = std::move(aOnChange); }
    // From now on the description's version and GUIDs stay as they are
    // (until thawed by the next Start, which writes a new description).
    void FreezeDescription(bool aFrozen = true);

    // A copy, safe while another thread sets it.
    std::string Text(Field aField) const;
    // The texts the bootstrap registers show.
    IdentityTexts Texts() const;
    std::string RegDescModel() const;
    std::string RegDescVendor() const;

    const ZuString &GetManufacturerName() override;
    const ZuString &GetModelName() override;
    const ZuString &GetDeviceVersion() override;
    const ZuString &GetDeviceFirmwareVersion() override;
    const ZuString &GetManufacturerInformation() override;
    const ZuString &GetSerialNumber() override;
    ZuResult SetManufacturerName(const ZuString &aValue) override;
    ZuResult SetModelName(const ZuString &aValue) override;
    ZuResult SetDeviceVersion(const ZuString &aValue) override;
    ZuResult SetDeviceFirmwareVersion(const ZuString &aValue) override;
    ZuResult SetManufacturerInformation(const ZuString &aValue) override;
    ZuResult SetSerialNumber(const ZuString &aValue) override;
    uint16_t GetGenICamXMLVersionMajor() const override;
    uint16_t GetGenICamXMLVersionMinor() const override;
    uint16_t GetGenICamXMLVersionSubMinor() const override;
    const ZuString &GetGenICamXMLProductGUID() override;
    const ZuString &GetGenICamXMLVersionGUID() override;
    const ZuString &GetGenICamXMLRegDescModelName() override;
    const ZuString &GetGenICamXMLRegDescVendorName() override;
    ZuResult SetGenICamXMLVersion(uint16_t aMajor, uint16_t aMinor, uint16_t aSubMinor) override;
    ZuResult SetGenICamXMLGUIDs(const ZuString &aProduct, const ZuString &aVersion) override;
    ZuResult SetGenICamXMLRegDescModelName(const ZuString &aModelName) override;
    ZuResult SetGenICamXMLRegDescVendorName(const ZuString &aVendorName) override;

    static bool IsGuid(const std::string &aText);

private:
    ZuResult Set(Field aField, const ZuString &aValue);
    ZuResult SetRegDesc(ZuString &aSlot, bool &aIsSet, const ZuString &aValue);
    ZuString &Slot(Field aField);

    mutable std::mutex mLock;
    ZuString mTexts[6];
    ZuString mRegDescModel, mRegDescVendor;
    bool mRegDescModelSet = false, mRegDescVendorSet = false;
    uint16_t mVersion[3] = {1, 0, 0};
    ZuString mProductGuid, mVersionGuid;
    bool mFrozen = false;
    std::function<void(Field)> mOnChange;
};

} // namespace softdevice
} // namespace tarn

#endif
