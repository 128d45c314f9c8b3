#include "softdevice/model/identity.h"

#include <gtest/gtest.h>

using namespace tarn::softdevice;

TEST(Identity, EachTextHasItsOwnLongestLength)
{
    Identity id;
    EXPECT_EQ(id.SetSerialNumber(ZuString(std::string(15, 's'))).GetCode(), ZU_OK);
    EXPECT_EQ(id.GetSerialNumber().Narrow(), std::string(15, 's'));
    EXPECT_EQ(id.SetSerialNumber(ZuString(std::string(16, 's'))).GetCode(), ZU_INVALID_PARAMETER);
    EXPECT_EQ(id.GetSerialNumber().Narrow(), std::string(15, 's'));
    EXPECT_EQ(id.SetManufacturerInformation(ZuString(std::string(47, 'i'))).GetCode(), ZU_OK);
    EXPECT_EQ(id.SetManufacturerInformation(ZuString(std::string(48, 'i'))).GetCode(), ZU_INVALID_PARAMETER);
    for (auto set : {&Identity::SetManufacturerName, &Identity::SetModelName, &Identity::SetDeviceVersion,
                     &Identity::SetDeviceFirmwareVersion, &Identity::SetGenICamXMLRegDescModelName,
                     &Identity::SetGenICamXMLRegDescVendorName}) {
        EXPECT_EQ((id.*set)(ZuString(std::string(31, 'm'))).GetCode(), ZU_OK);
        EXPECT_EQ((id.*set)(ZuString(std::string(32, 'm'))).GetCode(), ZU_INVALID_PARAMETER);
    }
}

TEST(Identity, RegisterDescriptionNamesFollowTheModelUntilSet)
{
    Identity id;
    id.SetModelName(ZuString("First"));
    EXPECT_EQ(id.GetGenICamXMLRegDescModelName().Narrow(), "First");
    id.SetModelName(ZuString("Second"));
    EXPECT_EQ(id.RegDescModel(), "Second");
    id.SetGenICamXMLRegDescModelName(ZuString("Own"));
    id.SetModelName(ZuString("Third"));
    EXPECT_EQ(id.RegDescModel(), "Own");
    id.SetManufacturerName(ZuString("Maker"));
    EXPECT_EQ(id.GetGenICamXMLRegDescVendorName().Narrow(), "Maker");
}

TEST(Identity, VersionAndGuidsChangeUntilTheDescriptionIsFrozen)
{
    Identity id;
    int changes = 0;
    id.SetOnChange([&](Identity::Field f) { changes += f == Identity::Field::Description; });
    EXPECT_EQ(id.SetGenICamXMLVersion(2, 3, 4).GetCode(), ZU_OK);
    EXPECT_EQ(id.GetGenICamXMLVersionMajor(), 2);
    EXPECT_EQ(id.GetGenICamXMLVersionMinor(), 3);
    EXPECT_EQ(id.GetGenICamXMLVersionSubMinor(), 4);
    const char *good = "01234567-89ab-CDEF-0123-456789ABCDEF";
    EXPECT_EQ(id.SetGenICamXMLGUIDs(ZuString(good), ZuString(good)).GetCode(), ZU_OK);
    EXPECT_EQ(changes, 2);
    for (const char *bad : {"01234567-89ab-CDEF-0123-456789ABCDE", "01234567-89ab-CDEF-0123-456789ABCDEFF",
                            "0123456789ab-CDEF-0123-456789ABCDEF-", "g1234567-89ab-CDEF-0123-456789ABCDEF", ""}) {
        EXPECT_EQ(id.SetGenICamXMLGUIDs(ZuString(bad), ZuString(good)).GetCode(), ZU_INVALID_PARAMETER) << bad;
        EXPECT_EQ(id.SetGenICamXMLGUIDs(ZuString(good), ZuString(bad)).GetCode(), ZU_INVALID_PARAMETER) << bad;
    }
    id.FreezeDescription();
    EXPECT_EQ(id.SetGenICamXMLVersion(1, 0, 0).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(id.SetGenICamXMLGUIDs(ZuString(good), ZuString(good)).GetCode(), ZU_STATE_ERROR);
    EXPECT_EQ(id.GetGenICamXMLVersionMajor(), 2);
    EXPECT_EQ(changes, 2);
}
