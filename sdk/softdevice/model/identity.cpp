#include "softdevice/model/identity.h"

#include <cctype>

namespace tarn {
namespace softdevice {

uint32_t Identity::LimitOf(Field aField)
{
    switch (aField) {
    case Field::ManufacturerInfo: return 47;
    case Field::Serial: return 15;
    default: return 31;
    }
}

Identity::Identity()
{
    mTexts[int(Field::Manufacturer)] = ZuString("Tarn");
    mTexts[int(Field::Model)] = ZuString("SoftCamera");
    mTexts[int(Field::DeviceVersion)] = ZuString("7.0");
    mTexts[int(Field::Firmware)] = ZuString("7.0.0");
    mTexts[int(Field::ManufacturerInfo)] = ZuString("Software GigE Vision camera");
    mTexts[int(Field::Serial)] = ZuString("00000001");
    mProductGuid = ZuString("5F7E1A2C-3B4D-4E6F-8091-A2B3C4D5E6F7");
    mVersionGuid = ZuString("0A1B2C3D-4E5F-4061-8273-94A5B6C7D8E9");
}

ZuString &Identity::Slot(Field aField)
{
    return mTexts[int(aField)];
}

std::string Identity::Text(Field aField) const
{
    std::lock_guard<std::mutex> lock(mLock);
    return mTexts[int(aField)].Narrow();
}

IdentityTexts Identity::Texts() const
{
    IdentityTexts t;
    t.manufacturerName = Text(Field::Manufacturer);
    t.modelName = Text(Field::Model);
    t.deviceVersion = Text(Field::DeviceVersion);
    t.manufacturerInfo = Text(Field::ManufacturerInfo);
    t.serialNumber = Text(Field::Serial);
    return t;
}

std::string Identity::RegDescModel() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return (mRegDescModelSet ? mRegDescModel : mTexts[int(Field::Model)]).Narrow();
}

std::string Identity::RegDescVendor() const
{
    std::lock_guard<std::mutex> lock(mLock);
    return (mRegDescVendorSet ? mRegDescVendor : mTexts[int(Field::Manufacturer)]).Narrow();
}

void Identity::FreezeDescription(bool aFrozen)
{
    std::lock_guard<std::mutex> lock(mLock);
    mFrozen = aFrozen;
}

ZuResult Identity::Set(Field aField, const ZuString &aValue)
{
    // The register keeps a terminating null, so the text is one byte shorter.
    if (aValue.Narrow().size() > LimitOf(aField)) return ZuResult(ZU_INVALID_PARAMETER);
    {
        std::lock_guard<std::mutex> lock(mLock);
        Slot(aField) = aValue;
    }
    if (mOnChange) mOnChange(aField);
    return ZuResult(ZU_OK);
}

const ZuString &Identity::GetManufacturerName() { return Slot(Field::Manufacturer); }
const ZuString &Identity::GetModelName() { return Slot(Field::Model); }
const ZuString &Identity::GetDeviceVersion() { return Slot(Field::DeviceVersion); }
const ZuString &Identity::GetDeviceFirmwareVersion() { return Slot(Field::Firmware); }
const ZuString &Identity::GetManufacturerInformation() { return Slot(Field::ManufacturerInfo); }
const ZuString &Identity::GetSerialNumber() { return Slot(Field::Serial); }
ZuResult Identity::SetManufacturerName(const ZuString &aValue) { return Set(Field::Manufacturer, aValue); }
ZuResult Identity::SetModelName(const ZuString &aValue) { return Set(Field::Model, aValue); }
ZuResult Identity::SetDeviceVersion(const ZuString &aValue) { return Set(Field::DeviceVersion, aValue); }
ZuResult Identity::SetDeviceFirmwareVersion(const ZuString &aValue) { return Set(Field::Firmware, aValue); }
ZuResult Identity::SetManufacturerInformation(const ZuString &aValue) { return Set(Field::ManufacturerInfo, aValue); }
ZuResult Identity::SetSerialNumber(const ZuString &aValue) { return Set(Field::Serial, aValue); }

uint16_t Identity::GetGenICamXMLVersionMajor() const { std::lock_guard<std::mutex> lock(mLock); return mVersion[0]; }
uint16_t Identity::GetGenICamXMLVersionMinor() const { std::lock_guard<std::mutex> lock(mLock); return mVersion[1]; }
uint16_t Identity::GetGenICamXMLVersionSubMinor() const { std::lock_guard<std::mutex> lock(mLock); return mVersion[2]; }
const ZuString &Identity::GetGenICamXMLProductGUID() { return mProductGuid; }
const ZuString &Identity::GetGenICamXMLVersionGUID() { return mVersionGuid; }

const ZuString &Identity::GetGenICamXMLRegDescModelName()
{
    return mRegDescModelSet ? mRegDescModel : GetModelName();
}

const ZuString &Identity::GetGenICamXMLRegDescVendorName()
{
    return mRegDescVendorSet ? mRegDescVendor : GetManufacturerName();
}

ZuResult Identity::SetGenICamXMLVersion(uint16_t aMajor, uint16_t aMinor, uint16_t aSubMinor)
{
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (mFrozen) return ZuResult(ZU_STATE_ERROR);
        mVersion[0] = aMajor;
        mVersion[1] = aMinor;
        mVersion[2] = aSubMinor;
    }
    if (mOnChange) mOnChange(Field::Description);
    return ZuResult(ZU_OK);
}

bool Identity::IsGuid(const std::string &aText)
{
    static const int kGroups[] = {8, 4, 4, 4, 12};
    size_t at = 0;
    for (int g = 0; g < 5; ++g) {
        if (g) {
            if (at >= aText.size() || aText[at] != '-') return false;
            ++at;
        }
        for (int i = 0; i < kGroups[g]; ++i, ++at)
            if (at >= aText.size() || !std::isxdigit(static_cast<unsigned char>(aText[at]))) return false;
    }
    return at == aText.size();
}

ZuResult Identity::SetGenICamXMLGUIDs(const ZuString &aProduct, const ZuString &aVersion)
{
    if (!IsGuid(aProduct.Narrow()) || !IsGuid(aVersion.Narrow())) return ZuResult(ZU_INVALID_PARAMETER);
    {
        std::lock_guard<std::mutex> lock(mLock);
        if (mFrozen) return ZuResult(ZU_STATE_ERROR);
        mProductGuid = aProduct;
        mVersionGuid = aVersion;
    }
    if (mOnChange) mOnChange(Field::Description);
    return ZuResult(ZU_OK);
}

ZuResult Identity::SetRegDesc(ZuString &aSlot, bool &aIsSet, const ZuString &aValue)
{
    if (aValue.Narrow().size() > 31) return ZuResult(ZU_INVALID_PARAMETER);
    {
        std::lock_guard<std::mutex> lock(mLock);
        aSlot = aValue;
        aIsSet = true;
    }
    if (mOnChange) mOnChange(Field::Description);
    return ZuResult(ZU_OK);
}

ZuResult Identity::SetGenICamXMLRegDescModelName(const ZuString &aModelName)
{
    return SetRegDesc(mRegDescModel, mRegDescModelSet, aModelName);
}

ZuResult Identity::SetGenICamXMLRegDescVendorName(const ZuString &aVendorName)
{
    return SetRegDesc(mRegDescVendor, mRegDescVendorSet, aVendorName);
}

} // namespace softdevice
} // namespace tarn
