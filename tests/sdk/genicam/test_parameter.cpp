#include "ZuGenParameterArray.h"
#include "tarn/genicam/Engine.h"
#include "tarn/Holds.h"
#include "tarn/genicam/Parameters.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>

using namespace ZU_GENAPI_NS;

namespace
{

struct CountingSink : ZuGenEventSink
{
    int mCalls = 0;
    ZuGenParameter *mLast = nullptr;
    void OnParameterUpdate(ZuGenParameter *aParameter) override
    {
        ++mCalls;
        mLast = aParameter;
    }
};

class ArrayTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZuResult lR = tarn::LoadDescription(mArray, kCameraXml, sizeof kCameraXml - 1, &mPort);
        ASSERT_TRUE(lR.IsOK()) << lR.GetDescription().GetAscii();
    }
    MemoryPort mPort{4096};
    ZuGenParameterArray mArray;
};

// A stored (uncompressed) single-member archive, built by hand.
std::string StoredZip(const std::string &aName, const std::string &aXml)
{
    std::string lZip;
    auto lU16 = [&](uint16_t aV) { lZip.push_back(char(aV & 0xFF)); lZip.push_back(char(aV >> 8)); };
    auto lU32 = [&](uint32_t aV) { lU16(uint16_t(aV & 0xFFFF)); lU16(uint16_t(aV >> 16)); };
    lU32(0x04034b50); lU16(10); lU16(0); lU16(0); lU16(0); lU16(0); lU32(0);
    lU32(uint32_t(aXml.size())); lU32(uint32_t(aXml.size())); lU16(uint16_t(aName.size())); lU16(0);
    lZip += aName + aXml;
    uint32_t lCentral = uint32_t(lZip.size());
    lU32(0x02014b50); lU16(20); lU16(10); lU16(0); lU16(0); lU16(0); lU16(0); lU32(0);
    lU32(uint32_t(aXml.size())); lU32(uint32_t(aXml.size())); lU16(uint16_t(aName.size())); lU16(0); lU16(0);
    lU16(0); lU16(0); lU32(0); lU32(0);
    lZip += aName;
    uint32_t lCentralSize = uint32_t(lZip.size()) - lCentral;
    lU32(0x06054b50); lU16(0); lU16(0); lU16(1); lU16(1); lU32(lCentralSize); lU32(lCentral); lU16(0);
    return lZip;
}

std::string Name(ZuGenParameter *aP)
{
    ZuString lS;
    aP->GetName(lS);
    return lS.GetAscii();
}

} // namespace

TEST_F(ArrayTest, KindsCountsAndLookups)
{
    EXPECT_EQ(mArray.GetCategoryCount(), 3u);
    EXPECT_EQ(mArray.Get(mArray.GetCount()), nullptr);
    EXPECT_NE(dynamic_cast<ZuGenInteger *>(mArray.Get("Width")), nullptr);
    EXPECT_NE(dynamic_cast<ZuGenInteger *>(mArray.Get("PairLow")), nullptr);
    EXPECT_NE(dynamic_cast<ZuGenFloat *>(mArray.Get("Exposure")), nullptr);
    EXPECT_NE(dynamic_cast<ZuGenEnum *>(mArray.Get("Mode")), nullptr);
    EXPECT_NE(dynamic_cast<ZuGenString *>(mArray.Get("DeviceName")), nullptr);
    EXPECT_NE(dynamic_cast<ZuGenRegister *>(mArray.Get("Blob")), nullptr);
    EXPECT_EQ(mArray.Get("Off"), nullptr);  // entries are no parameters
    EXPECT_EQ(mArray.Get("Root"), nullptr);  // nor categories
    EXPECT_NE(mArray.GetCategory("Root"), nullptr);
    EXPECT_EQ(mArray.GetFloat("Width"), nullptr);
    // Each kind by name: the parameter of that kind, and nothing for a name
    // of another kind.
    const char *kOfEachKind[] = {"Width", "Gain", "Mode", "Enable", "Start", "Label", "Blob"};
    for (size_t lKind = 0; lKind < 7; ++lKind) {
        for (size_t lOf = 0; lOf < 7; ++lOf) {
            ZuString lName(kOfEachKind[lOf]);
            ZuGenParameter *lGot = nullptr;
            switch (lKind) {
            case 0: lGot = mArray.GetInteger(lName); break;
            case 1: lGot = mArray.GetFloat(lName); break;
            case 2: lGot = mArray.GetEnum(lName); break;
            case 3: lGot = mArray.GetBoolean(lName); break;
            case 4: lGot = mArray.GetCommand(lName); break;
            case 5: lGot = mArray.GetString(lName); break;
            default: lGot = mArray.GetRegister(lName); break;
            }
            EXPECT_EQ(lGot, lKind == lOf ? mArray.Get(lName) : nullptr) << lKind << " " << kOfEachKind[lOf];
        }
    }
    ZuString lCat;
    ASSERT_TRUE(mArray.Get("Width")->GetCategory(lCat).IsOK());
    EXPECT_STREQ(lCat.GetAscii(), "ImageFormat");
    ZuGenType lType;
    mArray.Get("Blob")->GetType(lType);
    EXPECT_EQ(lType, ZuGenTypeRegister);
    mArray.Get("Device")->GetType(lType);
    EXPECT_EQ(lType, ZuGenTypeUndefined);
    EXPECT_EQ(mArray.GetAccessMode(), ZuGenAccessModeReadWrite);
}

TEST_F(ArrayTest, ByNameShortcutsAndRanges)
{
    ASSERT_TRUE(mArray.SetIntegerValue("Width", 320).IsOK());
    int64_t lV = 0;
    ASSERT_TRUE(mArray.GetIntegerValue("Width", lV).IsOK());
    EXPECT_EQ(lV, 320);
    EXPECT_EQ(mArray.GetIntegerValue("Gain", lV).GetCode(), uint32_t(ZU_NOT_FOUND));
    int64_t lMin = 0, lMax = 0;
    ASSERT_TRUE(mArray.GetIntegerRange("Width", lMin, lMax).IsOK());
    EXPECT_EQ(lMin, 16);
    EXPECT_EQ(lMax, 4096);
    double lFMin = 1, lFMax = 0;
    ASSERT_TRUE(mArray.GetFloatRange("Gain", lFMin, lFMax).IsOK());
    EXPECT_EQ(lFMin, 0.0);
    EXPECT_EQ(lFMax, 48.0);
    ASSERT_TRUE(mArray.SetEnumValue("Mode", ZuString("On")).IsOK());
    ZuString lText;
    ASSERT_TRUE(mArray.GetEnumValue("Mode", lText).IsOK());
    EXPECT_STREQ(lText.GetAscii(), "On");
    ASSERT_TRUE(mArray.SetEnumValue("Mode", int64_t(0)).IsOK());
    ASSERT_TRUE(mArray.GetEnumValue("Mode", lV).IsOK());
    EXPECT_EQ(lV, 0);
    ASSERT_TRUE(mArray.SetBooleanValue("Enable", true).IsOK());
    bool lB = false;
    ASSERT_TRUE(mArray.GetBooleanValue("Enable", lB).IsOK());
    EXPECT_TRUE(lB);
    ASSERT_TRUE(mArray.SetStringValue("Label", "bye").IsOK());
    ASSERT_TRUE(mArray.GetStringValue("Label", lText).IsOK());
    EXPECT_STREQ(lText.GetAscii(), "bye");
    ASSERT_TRUE(mArray.ExecuteCommand("Start").IsOK());
    EXPECT_EQ(mArray.ExecuteCommand("Width").GetCode(), uint32_t(ZU_NOT_FOUND));
    ASSERT_TRUE(mArray.Get("Height")->FromString("250").IsOK());
    ASSERT_TRUE(mArray.Get("Height")->ToString(lText).IsOK());
    EXPECT_STREQ(lText.GetAscii(), "250");
}

TEST_F(ArrayTest, EnumerationEntries)
{
    ZuGenEnum *lE = mArray.GetEnum("Mode");
    int64_t lCount = 0;
    lE->GetEntriesCount(lCount);
    EXPECT_EQ(lCount, 4);
    const ZuGenEnumEntry *lEntry = nullptr;
    ASSERT_TRUE(lE->GetEntryByName("Special", &lEntry).IsOK());
    int64_t lV = 0;
    lEntry->GetValue(lV);
    EXPECT_EQ(lV, 7);
    ZuGenVisibility lVis;
    lEntry->GetVisibility(lVis);
    EXPECT_EQ(lVis, ZuGenVisibilityGuru);
    ASSERT_TRUE(lE->GetEntryByValue(2, &lEntry).IsOK());
    bool lAvailable = true;
    lEntry->IsAvailable(lAvailable);
    EXPECT_FALSE(lAvailable);
    EXPECT_FALSE(lE->GetEntryByIndex(4, &lEntry).IsOK());
    EXPECT_EQ(lEntry, nullptr);
    EXPECT_FALSE(lE->GetEntryByIndex(-1, &lEntry).IsOK());
}

TEST_F(ArrayTest, SelectedAndSelectingParameters)
{
    ZuGenParameterList lList;
    ASSERT_TRUE(mArray.Get("Sel")->GetSelectedParameters(lList).IsOK());
    ASSERT_EQ(lList.GetSize(), 2u);
    EXPECT_EQ(Name(lList.GetFirst()), "SelValue");
    EXPECT_EQ(Name(lList.GetNext()), "Indexed");
    EXPECT_EQ(lList.GetNext(), nullptr);
    EXPECT_EQ(lList.GetItem(2), nullptr);
    ASSERT_TRUE(mArray.Get("Indexed")->GetSelectingParameters(lList).IsOK());
    ASSERT_EQ(lList.GetSize(), 1u);
    bool lSelector = false;
    mArray.Get("Sel")->IsSelector(lSelector);
    EXPECT_TRUE(lSelector);
}

TEST_F(ArrayTest, EventSinksAndWhatIsHeldForTheirParameters)
{
    CountingSink lSink;
    ZuGenParameter *lPayload = mArray.Get("Payload");
    ASSERT_TRUE(lPayload->RegisterEventSink(&lSink).IsOK());
    mArray.SetIntegerValue("Width", 64);
    EXPECT_EQ(lSink.mCalls, 1);
    EXPECT_EQ(lSink.mLast, lPayload);
    lPayload->SetUpdatesEnabled(false);
    mArray.SetIntegerValue("Width", 72);
    EXPECT_EQ(lSink.mCalls, 1);
    lPayload->SetUpdatesEnabled(true);
    // Registering the same sink again leaves one registration.
    ASSERT_TRUE(lPayload->RegisterEventSink(&lSink).IsOK());
    mArray.SetIntegerValue("Width", 80);
    EXPECT_EQ(lSink.mCalls, 2);
    ASSERT_TRUE(lPayload->UnregisterEventSink(&lSink).IsOK());
    EXPECT_EQ(lPayload->UnregisterEventSink(&lSink).GetCode(), uint32_t(ZU_NOT_FOUND));
    mArray.SetIntegerValue("Width", 88);
    EXPECT_EQ(lSink.mCalls, 2);
    EXPECT_FALSE(lPayload->RegisterEventSink(nullptr).IsOK());
    // What a binding held for a parameter (its sinks) goes once the array
    // has destroyed it, not before.
    auto lHeld = std::make_shared<int>(1);
    std::weak_ptr<int> lWatch = lHeld;
    {
        ZuGenParameterArray lOther;
        ASSERT_TRUE(tarn::LoadDescription(lOther, kCameraXml, sizeof kCameraXml - 1, &mPort).IsOK());
        ZuGenParameter *lWidth = lOther.Get("Width");
        ASSERT_TRUE(lWidth->RegisterEventSink(&lSink).IsOK());
        tarn::Holds::Keep(dynamic_cast<const void *>(lWidth), tarn::Holds::kSinks, &lSink, std::move(lHeld), true);
        EXPECT_FALSE(lWatch.expired());
    }
    EXPECT_TRUE(lWatch.expired());
}

TEST_F(ArrayTest, StateStackRestoresInReverseOrder)
{
    mArray.SetIntegerValue("Sel", 0);
    mArray.SetIntegerValue("SelValue", 5);
    mArray.SetIntegerValue("Sel", 1);
    mArray.SetIntegerValue("SelValue", 6);
    mArray.SetIntegerValue("Sel", 0);
    {
        ZuGenStateStack lStack(&mArray);
        ASSERT_TRUE(lStack.SetIntegerValue("Sel", 1).IsOK());
        ASSERT_TRUE(lStack.SetIntegerValue("SelValue", 60).IsOK());
        ASSERT_TRUE(lStack.SetIntegerValue("Sel", 0).IsOK());
        ASSERT_TRUE(lStack.SetIntegerValue("SelValue", 50).IsOK());
        ASSERT_TRUE(lStack.SetEnumValue("Mode", ZuString("On")).IsOK());
        ASSERT_TRUE(lStack.SetFloatValue("Gain", 7.5).IsOK());
        ASSERT_TRUE(lStack.SetBooleanValue("Enable", true).IsOK());
        ASSERT_TRUE(lStack.SetStringValue("Label", "temp").IsOK());
        EXPECT_FALSE(lStack.SetIntegerValue("Width", 7).IsOK());
        EXPECT_EQ(lStack.SetIntegerValue("Nope", 7).GetCode(), uint32_t(ZU_NOT_FOUND));
    }
    int64_t lV = 0;
    mArray.GetIntegerValue("Sel", lV);
    EXPECT_EQ(lV, 0);
    mArray.GetIntegerValue("SelValue", lV);
    EXPECT_EQ(lV, 5);
    mArray.SetIntegerValue("Sel", 1);
    mArray.GetIntegerValue("SelValue", lV);
    EXPECT_EQ(lV, 6);
    mArray.GetEnumValue("Mode", lV);
    EXPECT_EQ(lV, 0);
    double lG = 1;
    mArray.GetFloatValue("Gain", lG);
    EXPECT_EQ(lG, 0.0);
    ZuString lText;
    mArray.GetStringValue("Label", lText);
    EXPECT_STREQ(lText.GetAscii(), "hello");
}

TEST(ArrayLoad, FailureLeavesTheArrayEmptyAndZipLoads)
{
    ZuGenParameterArray lArray;
    EXPECT_EQ(lArray.GetCount(), 0u);
    EXPECT_EQ(lArray.GetNodeMap(), nullptr);
    EXPECT_EQ(lArray.AttachDataChunks(nullptr, 0).GetCode(), uint32_t(ZU_NOT_INITIALIZED));
    ASSERT_TRUE(tarn::LoadDescription(lArray, kCameraXml, sizeof kCameraXml - 1, nullptr).IsOK());
    EXPECT_GT(lArray.GetCount(), 30u);
    EXPECT_EQ(tarn::LoadDescription(lArray, "<bad", 4, nullptr).GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
    EXPECT_EQ(lArray.GetCount(), 0u);

    const std::string lXml = "<RegisterDescription><Integer Name=\"A\"><Value>3</Value></Integer></RegisterDescription>";
    const std::string lZip = StoredZip("d.xml", lXml);
    const uint8_t *lBytes = reinterpret_cast<const uint8_t *>(lZip.data());
    ASSERT_TRUE(tarn::LoadZippedDescription(lArray, lBytes, lZip.size(), nullptr).IsOK());
    int64_t lV = 0;
    ASSERT_TRUE(lArray.GetIntegerValue("A", lV).IsOK());
    EXPECT_EQ(lV, 3);
    for (size_t lCut : {size_t(0), size_t(10), lZip.size() - 5})
        EXPECT_EQ(tarn::LoadZippedDescription(lArray, lBytes, lCut, nullptr).GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
}

// Names are looked up in views of the loaded nodes' names: a reload must
// answer from the new description only, kinds and categories included.
TEST(ArrayLoad, AReloadAnswersByNameFromTheNewDescriptionOnly)
{
    MemoryPort lPort(4096);
    ZuGenParameterArray lArray;
    ASSERT_TRUE(tarn::LoadDescription(lArray, kCameraXml, sizeof kCameraXml - 1, &lPort).IsOK());
    ASSERT_NE(lArray.GetInteger("Width"), nullptr);
    ASSERT_NE(lArray.GetCategory("Root"), nullptr);
    const std::string lLong = "AFeatureNameLongerThanAnyShortStringBuffer";
    const std::string lXml = "<RegisterDescription><Float Name=\"Width\"><Value>2.5</Value></Float>"
                             "<Integer Name=\"" + lLong + "\"><Value>7</Value></Integer>"
                             "<Category Name=\"Other\"><pFeature>Width</pFeature></Category></RegisterDescription>";
    ASSERT_TRUE(tarn::LoadDescription(lArray, lXml.data(), lXml.size(), nullptr).IsOK());

    EXPECT_EQ(lArray.GetInteger("Width"), nullptr);
    int64_t lI = -1;
    ZuResult lR = lArray.GetIntegerValue("Width", lI);
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_STREQ(lR.GetDescription().GetAscii(), "no integer feature 'Width'");
    double lF = 0;
    ASSERT_TRUE(lArray.GetFloatValue("Width", lF).IsOK());
    EXPECT_EQ(lF, 2.5);
    EXPECT_EQ(lArray.Get("Height"), nullptr);
    EXPECT_EQ(lArray.GetCategory("Root"), nullptr);
    EXPECT_NE(lArray.GetCategory("Other"), nullptr);
    ASSERT_TRUE(lArray.GetIntegerValue(ZuString(lLong.c_str()), lI).IsOK());
    EXPECT_EQ(lI, 7);
    EXPECT_EQ(lArray.GetInteger(ZuString((lLong + "x").c_str())), nullptr);
    EXPECT_EQ(lArray.GetInteger(ZuString(lLong.substr(0, lLong.size() - 1).c_str())), nullptr);

    EXPECT_FALSE(tarn::LoadDescription(lArray, "<bad", 4, nullptr).IsOK());
    EXPECT_EQ(lArray.Get("Width"), nullptr);
    EXPECT_EQ(lArray.GetCategory("Other"), nullptr);
}

TEST(ArrayLoad, FromTheUrlADeviceGives)
{
    MemoryPort lPort(0x8000);
    const std::string lXml(kCameraXml);
    std::copy(lXml.begin(), lXml.end(), lPort.Bytes().begin() + 0x1000);
    const std::string lZip = StoredZip("cam.xml", lXml);
    std::copy(lZip.begin(), lZip.end(), lPort.Bytes().begin() + 0x8000 - lZip.size());
    char lUrl[96];
    std::snprintf(lUrl, sizeof lUrl, "Local:cam.xml;1000;%zx?SchemaVersion=1.1.0", lXml.size());
    ZuGenParameterArray lArray;
    ZuResult lR = tarn::LoadDescriptionFromUrl(lArray, std::string(lUrl) + std::string(8, '\0'), &lPort);
    ASSERT_TRUE(lR.IsOK()) << lR.GetDescription().GetAscii();
    size_t lCount = lArray.GetCount();
    EXPECT_GT(lCount, 30u);
    std::snprintf(lUrl, sizeof lUrl, "local:CAM.ZIP;%zx;%zx", 0x8000 - lZip.size(), lZip.size());
    ASSERT_TRUE(tarn::LoadDescriptionFromUrl(lArray, lUrl, &lPort).IsOK());
    EXPECT_EQ(lArray.GetCount(), lCount);

    const char *lPath = "/tmp/tarn_genicam_url_test.xml";
    {
        std::ofstream lOut(lPath, std::ios::binary);
        lOut << lXml;
    }
    ASSERT_TRUE(tarn::LoadDescriptionFromUrl(lArray, std::string("File:///") + (lPath + 1), nullptr).IsOK());
    EXPECT_EQ(lArray.GetCount(), lCount);
    std::remove(lPath);

    const std::pair<const char *, uint32_t> kBad[] = {
        {"Local:cam.xml;1000", ZU_GENICAM_XML_ERROR}, {"Local:cam.xml;zz;10", ZU_GENICAM_XML_ERROR},
        {"Local:cam.xml;1000;0", ZU_GENICAM_XML_ERROR}, {"Local:cam.xml;7ff0;100", ZU_INVALID_PARAMETER},
        {"Local:cam.xml;0;10", ZU_GENICAM_XML_ERROR}, {"http://example.invalid/cam.xml", ZU_NOT_SUPPORTED},
        {"File:/nonexistent/cam.xml", ZU_CANNOT_OPEN_FILE}, {"", ZU_NOT_SUPPORTED}};
    for (const auto &lB : kBad) {
        EXPECT_EQ(tarn::LoadDescriptionFromUrl(lArray, lB.first, &lPort).GetCode(), lB.second) << lB.first;
        EXPECT_EQ(lArray.GetCount(), 0u);
    }
}

TEST_F(ArrayTest, EventDataReachTheEventFeatures)
{
    CountingSink lSink;
    ZuGenParameter *lStamp = mArray.Get("EventExposureEndTimestamp");
    ASSERT_TRUE(lStamp->RegisterEventSink(&lSink).IsOK());
    int64_t lV = 0;
    EXPECT_EQ(mArray.GetIntegerValue("EventExposureEndTimestamp", lV).GetCode(), uint32_t(ZU_NO_AVAILABLE_DATA));
    uint8_t lData[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};
    ZuGenParameterList lAffected;
    ASSERT_TRUE(tarn::DeliverEvent(mArray, 0x9001, lData, sizeof lData, &lAffected).IsOK());
    EXPECT_EQ(lSink.mCalls, 1);
    ASSERT_EQ(lAffected.GetSize(), 2u);
    EXPECT_EQ(Name(lAffected.GetItem(0)), "EventTimestampReg");
    lData[15] = 0x35;  // the engine keeps its own copy
    ASSERT_TRUE(mArray.GetIntegerValue("EventExposureEndTimestamp", lV).IsOK());
    EXPECT_EQ(lV, 0x1234);
    EXPECT_EQ(mArray.Get("EventTimestampReg")->FromString("1").GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(tarn::DeliverEvent(mArray, 0x9002, lData, sizeof lData, &lAffected).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_EQ(lAffected.GetSize(), 0u);
    ASSERT_TRUE(tarn::DeliverEvent(mArray, 0x9001, lData, 12, nullptr).IsOK());  // too short for the register
    EXPECT_EQ(mArray.GetIntegerValue("EventExposureEndTimestamp", lV).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(tarn::DeliverEvent(mArray, 0x9001, nullptr, 4, nullptr).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    lStamp->UnregisterEventSink(&lSink);
}

// What the bindings answer without waiting is what a read would give: never
// a value something has changed since it was read, never one that needs the
// device, and nothing touched when it cannot answer.
TEST_F(ArrayTest, AReadWithoutWaitingAnswersOnlyWhatStillHolds)
{
    int64_t lV = -1;
    ZuResult lR(ZU_GENERIC_ERROR);
    // Whatever it answers, it never reaches the device.
    auto lTry = [&](const char *aName) {
        const uint64_t lAccesses = mPort.GetAccessCount();
        bool lAnswered = tarn::TryIntegerValueWithoutWaiting(mArray, aName, lV, lR);
        EXPECT_EQ(mPort.GetAccessCount(), lAccesses) << aName;
        return lAnswered;
    };
    EXPECT_FALSE(lTry("Width"));  // never read: the device would be asked
    EXPECT_EQ(lV, -1);
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENERIC_ERROR));

    ASSERT_TRUE(mArray.SetIntegerValue("Width", 640).IsOK());
    ASSERT_TRUE(mArray.GetIntegerValue("Width", lV).IsOK());
    lV = -1;
    ASSERT_TRUE(lTry("Width"));
    EXPECT_TRUE(lR.IsOK());
    EXPECT_EQ(lV, 640);
    // The device changes the register on its own: the held value stands
    // until the cache is invalidated, and then only the device answers.
    mPort.Bytes()[0x13] = 0x88;
    ASSERT_TRUE(lTry("Width"));
    EXPECT_EQ(lV, 640);
    ASSERT_TRUE(mArray.InvalidateCache().IsOK());
    lV = -1;
    EXPECT_FALSE(lTry("Width"));
    EXPECT_EQ(lV, -1);
    ASSERT_TRUE(mArray.GetIntegerValue("Width", lV).IsOK());
    ASSERT_TRUE(lTry("Width"));
    EXPECT_EQ(lV, 0x288);

    // A write through another register over the same bytes.
    ASSERT_TRUE(mArray.GetIntegerValue("SignedAlias", lV).IsOK());
    ASSERT_TRUE(lTry("SignedAlias"));
    ASSERT_TRUE(mArray.SetIntegerValue("SignedLE", -2).IsOK());
    lV = 0;
    EXPECT_FALSE(lTry("SignedAlias"));
    ASSERT_TRUE(mArray.GetIntegerValue("SignedAlias", lV).IsOK());
    EXPECT_EQ(lV, 0xFFFE);  // the same two bytes, read unsigned

    // A constant needs no device; a name that is no integer is answered at once.
    EXPECT_TRUE(lTry("Height"));
    EXPECT_EQ(lV, 100);
    EXPECT_TRUE(lTry("Gain"));
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_STREQ(lR.GetDescription().GetAscii(), "no integer feature 'Gain'");
    EXPECT_TRUE(lTry("NoSuchFeature"));
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_NOT_FOUND));

    // Event data replace what an event feature held.
    uint8_t lData[16] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34};
    ASSERT_TRUE(tarn::DeliverEvent(mArray, 0x9001, lData, sizeof lData, nullptr).IsOK());
    ASSERT_TRUE(mArray.GetIntegerValue("EventExposureEndTimestamp", lV).IsOK());
    ASSERT_TRUE(lTry("EventExposureEndTimestamp"));
    EXPECT_EQ(lV, 0x1234);
    lData[15] = 0x35;
    ASSERT_TRUE(tarn::DeliverEvent(mArray, 0x9001, lData, sizeof lData, nullptr).IsOK());
    lV = 0;
    ASSERT_TRUE(lTry("EventExposureEndTimestamp"));  // event data need no device
    EXPECT_EQ(lV, 0x1235);
}
