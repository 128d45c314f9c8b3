#include "tarn/genicam/Engine.h"
#include "fixture.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <cstring>

using namespace ZU_GENAPI_NS;

namespace
{

class NodeMapTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ZuResult lR = LoadNodeMap(kCameraXml, sizeof kCameraXml - 1, &mPort, mMap);
        ASSERT_TRUE(lR.IsOK()) << lR.GetDescription().GetAscii();
    }
    INode *N(const char *aName)
    {
        INode *lN = mMap->GetNode(aName);
        EXPECT_NE(lN, nullptr) << aName;
        return lN;
    }
    int64_t Int(const char *aName)
    {
        int64_t lV = 0;
        ZuResult lR = N(aName)->GetIntValue(lV);
        EXPECT_TRUE(lR.IsOK()) << aName << ": " << lR.GetDescription().GetAscii();
        return lV;
    }
    double Float(const char *aName)
    {
        double lV = 0;
        ZuResult lR = N(aName)->GetFloatValue(lV);
        EXPECT_TRUE(lR.IsOK()) << aName << ": " << lR.GetDescription().GetAscii();
        return lV;
    }
    uint8_t *Mem(size_t aOffset) { return mPort.Bytes().data() + aOffset; }

    MemoryPort mPort{4096};
    std::unique_ptr<INodeMap> mMap;
};

} // namespace

TEST_F(NodeMapTest, DescriptionAndTexts)
{
    EXPECT_EQ(mMap->GetModelName(), "TestCam");
    EXPECT_EQ(mMap->GetSchemaMinor(), 1);
    INode *lW = N("Width");
    EXPECT_EQ(lW->GetKind(), NodeKind::Integer);
    EXPECT_EQ(lW->GetToolTip(), "Width of the image");
    EXPECT_EQ(lW->GetDisplayName(), "Image Width");
    EXPECT_EQ(N("Height")->GetDisplayName(), "Height");
    EXPECT_EQ(lW->GetNameSpace(), ZuGenNameSpaceStandard);
    EXPECT_EQ(lW->GetUnit(), "px");
    EXPECT_TRUE(lW->IsStreamable());
    EXPECT_EQ(N("Gain")->GetVisibility(), ZuGenVisibilityExpert);
    EXPECT_EQ(N("Gain")->GetRepresentation(), ZuGenRepresentationLogarithmic);
    EXPECT_EQ(lW->GetParentCategory(), N("ImageFormat"));
    EXPECT_EQ(N("Root")->GetFeatures().size(), 2u);
    EXPECT_EQ(N("Mode")->GetEntries().size(), 4u);
}

TEST_F(NodeMapTest, IntegerRangeIncrementAndLock)
{
    INode *lW = N("Width");
    ASSERT_TRUE(lW->SetIntValue(640).IsOK());
    EXPECT_EQ(Mem(0x10)[0], 0);
    EXPECT_EQ(Mem(0x10)[2], 0x02);
    EXPECT_EQ(Mem(0x10)[3], 0x80);
    EXPECT_EQ(Int("Width"), 640);
    int64_t lMin = 0, lMax = 0, lInc = 0;
    EXPECT_TRUE(lW->GetIntMin(lMin).IsOK());
    EXPECT_TRUE(lW->GetIntMax(lMax).IsOK());
    EXPECT_TRUE(lW->GetIntInc(lInc).IsOK());
    EXPECT_EQ(lMin, 16);
    EXPECT_EQ(lMax, 4096);
    EXPECT_EQ(lInc, 8);
    EXPECT_EQ(lW->SetIntValue(8).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(lW->SetIntValue(5000).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(lW->SetIntValue(641).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(Int("Width"), 640);
    ASSERT_TRUE(N("Locked")->SetIntValue(1).IsOK());
    EXPECT_EQ(lW->GetAccessMode(), ZuGenAccessModeReadOnly);
    EXPECT_EQ(lW->SetIntValue(320).GetCode(), uint32_t(ZU_STATE_ERROR));
}

TEST_F(NodeMapTest, SignAndEndianness)
{
    Mem(0x20)[0] = 0xFE;
    Mem(0x20)[1] = 0xFF;
    EXPECT_EQ(Int("SignedLE"), -2);
    int64_t lMin = 0, lMax = 0;
    N("SignedLE")->GetIntMin(lMin);
    N("SignedLE")->GetIntMax(lMax);
    EXPECT_EQ(lMin, -32768);
    EXPECT_EQ(lMax, 32767);
    EXPECT_EQ(Int("SignedAlias"), 0xFFFE);
    ASSERT_TRUE(N("SignedLE")->SetIntValue(-300).IsOK());
    EXPECT_EQ(Mem(0x20)[0], 0xD4);
    EXPECT_EQ(Mem(0x20)[1], 0xFE);
    // A register over the same bytes sees the write without an invalidator.
    EXPECT_EQ(Int("SignedAlias"), 0xFED4);
    N("WidthReg")->GetIntMax(lMax);
    EXPECT_EQ(lMax, 4294967295LL);
}

TEST_F(NodeMapTest, MaskedRegistersKeepOtherBits)
{
    // Big-endian bits are numbered from the most significant one.
    ASSERT_TRUE(N("LowNibble")->SetIntValue(0x5).IsOK());
    EXPECT_EQ(Mem(0x33)[0], 0x05);
    ASSERT_TRUE(N("HighNibble")->SetIntValue(-1).IsOK());
    EXPECT_EQ(Mem(0x30)[0], 0xF0);
    EXPECT_EQ(Mem(0x33)[0], 0x05);
    EXPECT_EQ(Int("HighNibble"), -1);
    EXPECT_EQ(Int("LowNibble"), 5);
    int64_t lMax = 0;
    N("LowNibble")->GetIntMax(lMax);
    EXPECT_EQ(lMax, 15);
    EXPECT_EQ(N("LowNibble")->SetIntValue(16).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ASSERT_TRUE(N("LEBit")->SetIntValue(1).IsOK());
    EXPECT_EQ(Mem(0x35)[0], 0x02);
    EXPECT_EQ(Mem(0x34)[0], 0x00);
    Mem(0x38)[0] = 0xFF;
    Mem(0x38)[1] = 0xFE;
    Mem(0x38)[2] = 0x12;
    Mem(0x38)[3] = 0x34;
    EXPECT_EQ(Int("PairLow"), 0x1234);
    EXPECT_EQ(Int("PairHigh"), -2);
}

TEST(NodeMapLegacy, SchemaOneZeroAcceptsLittleEndianBitNumbersOnBigEndianRegisters)
{
    auto lXml = [](const char *aMinor) {
        return std::string("<RegisterDescription SchemaMajorVersion=\"1\" SchemaMinorVersion=\"") + aMinor +
               "\"><MaskedIntReg Name=\"M\"><Address>0</Address><Length>4</Length><pPort>P</pPort>"
               "<LSB>0</LSB><MSB>3</MSB><Endianess>BigEndian</Endianess></MaskedIntReg><Port Name=\"P\"/></RegisterDescription>";
    };
    MemoryPort lPort(16);
    lPort.Bytes()[3] = 0x0A;
    std::unique_ptr<INodeMap> lMap;
    std::string lOld = lXml("0");
    ASSERT_TRUE(LoadNodeMap(lOld.data(), lOld.size(), &lPort, lMap).IsOK());
    int64_t lV = 0;
    ASSERT_TRUE(lMap->GetNode("M")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 0x0A);
    std::string lNew = lXml("1");
    ASSERT_TRUE(LoadNodeMap(lNew.data(), lNew.size(), &lPort, lMap).IsOK());
    EXPECT_EQ(lMap->GetNode("M")->GetIntValue(lV).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
}

TEST_F(NodeMapTest, FloatRegisters)
{
    ASSERT_TRUE(N("Gain")->SetFloatValue(12.5).IsOK());
    float lF = 0;
    std::memcpy(&lF, Mem(0x40), 4);
    EXPECT_EQ(lF, 12.5f);
    EXPECT_DOUBLE_EQ(Float("Gain"), 12.5);
    EXPECT_EQ(N("Gain")->SetFloatValue(60).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ASSERT_TRUE(N("DoubleReg")->SetFloatValue(-1.0).IsOK());
    EXPECT_EQ(Mem(0x48)[0], 0xBF);
    EXPECT_EQ(Mem(0x48)[1], 0xF0);
    EXPECT_DOUBLE_EQ(Float("DoubleReg"), -1.0);
    EXPECT_EQ(N("Gain")->GetUnit(), "dB");
}

TEST_F(NodeMapTest, BooleanAndCommand)
{
    INode *lB = N("Enable");
    ASSERT_TRUE(lB->SetBoolValue(true).IsOK());
    EXPECT_EQ(Mem(0x50)[0], 5);
    bool lV = false;
    ASSERT_TRUE(lB->GetBoolValue(lV).IsOK());
    EXPECT_TRUE(lV);
    ASSERT_TRUE(lB->SetBoolValue(false).IsOK());
    EXPECT_EQ(Mem(0x50)[0], 2);
    Mem(0x50)[0] = 9;
    mMap->InvalidateNodes();
    EXPECT_EQ(lB->GetBoolValue(lV).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));

    INode *lC = N("Start");
    ASSERT_TRUE(lC->Execute().IsOK());
    EXPECT_EQ(Mem(0x54)[0], 1);
    bool lDone = true;
    ASSERT_TRUE(lC->IsDone(lDone).IsOK());
    EXPECT_FALSE(lDone);
    Mem(0x54)[0] = 0;  // the device clears it
    ASSERT_TRUE(lC->IsDone(lDone).IsOK());
    EXPECT_TRUE(lDone);
    ASSERT_TRUE(N("Fire")->Execute().IsOK());
    EXPECT_EQ(Mem(0x5C)[0], 3);
    ASSERT_TRUE(N("Fire")->IsDone(lDone).IsOK());
    EXPECT_TRUE(lDone);
    EXPECT_EQ(N("Fire")->GetAccessMode(), ZuGenAccessModeWriteOnly);
}

TEST_F(NodeMapTest, Enumeration)
{
    INode *lE = N("Mode");
    ASSERT_TRUE(lE->SetEntryByName("On").IsOK());
    EXPECT_EQ(Mem(0x58)[0], 1);
    INode *lEntry = nullptr;
    ASSERT_TRUE(lE->GetEntry(lEntry).IsOK());
    EXPECT_EQ(lEntry->GetSymbolic(), "On");
    EXPECT_EQ(lEntry->GetToolTip(), "Always on");
    ASSERT_TRUE(lE->SetEntryByName("Special").IsOK());
    EXPECT_EQ(Int("Mode"), 7);
    EXPECT_EQ(lE->SetEntryByName("Auto").GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(lE->SetIntValue(3).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    EXPECT_EQ(lE->SetEntryByName("Nope").GetCode(), uint32_t(ZU_NOT_FOUND));
    ASSERT_TRUE(N("AutoAvailable")->SetIntValue(1).IsOK());
    EXPECT_TRUE(lE->SetEntryByName("Auto").IsOK());
    std::string lText;
    ASSERT_TRUE(lE->ToString(lText).IsOK());
    EXPECT_EQ(lText, "Auto");
    Mem(0x58)[0] = 5;
    mMap->InvalidateNodes();
    EXPECT_EQ(lE->GetEntry(lEntry).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
}

TEST_F(NodeMapTest, StringsAndRegisters)
{
    std::string lS;
    ASSERT_TRUE(N("Label")->GetStringValue(lS).IsOK());
    EXPECT_EQ(lS, "hello");
    ASSERT_TRUE(N("DeviceName")->SetStringValue("camera-1").IsOK());
    EXPECT_EQ(std::memcmp(Mem(0x60), "camera-1\0", 9), 0);
    ASSERT_TRUE(N("DeviceName")->GetStringValue(lS).IsOK());
    EXPECT_EQ(lS, "camera-1");
    EXPECT_EQ(N("DeviceName")->SetStringValue(std::string(17, 'x')).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    // A String may show the text of another node.
    ASSERT_TRUE(N("DeviceNameText")->GetStringValue(lS).IsOK());
    EXPECT_EQ(lS, "camera-1");
    ASSERT_TRUE(N("DeviceNameText")->SetStringValue("cam-2").IsOK());
    EXPECT_EQ(std::memcmp(Mem(0x60), "cam-2\0", 6), 0);
    int64_t lMaxLength = 0;
    ASSERT_TRUE(N("DeviceNameText")->GetStringMaxLength(lMaxLength).IsOK());
    EXPECT_EQ(lMaxLength, 16);

    uint8_t lIn[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    ASSERT_TRUE(N("Blob")->SetRegister(lIn, 8).IsOK());
    EXPECT_EQ(Mem(0x87)[0], 8);
    uint8_t lOut[10];
    std::memset(lOut, 0xEE, sizeof lOut);
    EXPECT_EQ(N("Blob")->GetRegister(lOut, 4).GetCode(), uint32_t(ZU_BUFFER_TOO_SMALL));
    EXPECT_EQ(lOut[0], 0xEE);  // nothing written into too little memory
    ASSERT_TRUE(N("Blob")->GetRegister(lOut, 10).IsOK());
    EXPECT_EQ(lOut[7], 8);
    EXPECT_EQ(lOut[8], 0xEE);
    EXPECT_EQ(N("Blob")->SetRegister(lIn, 7).GetCode(), uint32_t(ZU_BUFFER_TOO_SMALL));
    EXPECT_EQ(N("Blob")->GetRegister(nullptr, 8).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
    ASSERT_TRUE(N("Blob")->ToString(lS).IsOK());
    EXPECT_EQ(lS, "0102030405060708");
}

TEST_F(NodeMapTest, SwissKnivesAndConverters)
{
    ASSERT_TRUE(N("Width")->SetIntValue(640).IsOK());
    EXPECT_EQ(Int("Payload"), 640 * 100 * 2);
    EXPECT_EQ(Int("Halves"), 33);  // integer division
    ASSERT_TRUE(N("Gain")->SetFloatValue(3.0).IsOK());
    EXPECT_DOUBLE_EQ(Float("Ratio"), 6.5);
    EXPECT_EQ(N("Payload")->GetAccessMode(), ZuGenAccessModeReadOnly);
    EXPECT_NE(N("Payload")->SetIntValue(1).GetCode(), uint32_t(ZU_OK));

    ASSERT_TRUE(N("Exposure")->SetFloatValue(12.5).IsOK());
    EXPECT_EQ(Int("ExposureReg"), 125);
    EXPECT_DOUBLE_EQ(Float("Exposure"), 12.5);
    double lMax = 0;
    ASSERT_TRUE(N("Exposure")->GetFloatMax(lMax).IsOK());
    EXPECT_DOUBLE_EQ(lMax, 429496729.5);

    ASSERT_TRUE(N("Offset")->SetIntValue(-50).IsOK());
    EXPECT_EQ(Int("OffsetReg"), 50);
    EXPECT_EQ(Int("Offset"), -50);
    int64_t lMin = 0;
    ASSERT_TRUE(N("Offset")->GetIntMin(lMin).IsOK());
    EXPECT_EQ(lMin, -100);
}

TEST_F(NodeMapTest, SelectorsMoveAddressesAndNotify)
{
    INode *lSel = N("Sel");
    ASSERT_EQ(lSel->GetSelectedNodes().size(), 2u);
    ASSERT_EQ(N("SelValue")->GetSelectingNodes().size(), 1u);
    int lCalls = 0;
    int lId = N("SelValue")->RegisterCallback([&](INode *) { ++lCalls; });
    ASSERT_TRUE(N("SelValue")->SetIntValue(42).IsOK());
    EXPECT_EQ(Mem(0x100)[0], 42);
    EXPECT_EQ(lCalls, 1);
    ASSERT_TRUE(lSel->SetIntValue(2).IsOK());
    EXPECT_EQ(lCalls, 2);
    ASSERT_TRUE(N("SelValue")->SetIntValue(43).IsOK());
    EXPECT_EQ(Mem(0x108)[0], 43);
    EXPECT_EQ(Int("Indexed"), 99);
    lSel->SetIntValue(1);
    EXPECT_EQ(Int("Indexed"), 11);
    EXPECT_EQ(Int("SelValue"), 0);
    lSel->SetIntValue(0);
    EXPECT_EQ(Int("SelValue"), 42);
    N("SelValue")->UnregisterCallback(lId);
    lSel->SetIntValue(1);
    EXPECT_EQ(lCalls, 5);
}

TEST_F(NodeMapTest, CachingAndInvalidation)
{
    int lPayloadCalls = 0;
    N("Payload")->RegisterCallback([&](INode *) { ++lPayloadCalls; });
    EXPECT_EQ(Int("Width"), 0);
    uint64_t lBefore = mPort.GetAccessCount();
    EXPECT_EQ(Int("Width"), 0);
    EXPECT_EQ(mPort.GetAccessCount(), lBefore);  // served from the cache
    Mem(0x13)[0] = 32;
    EXPECT_EQ(Int("Width"), 0);
    mMap->InvalidateNodes();
    EXPECT_EQ(Int("Width"), 32);
    // The shadow register reads the same address and names WidthReg as invalidator.
    EXPECT_EQ(Int("Shadow"), 32);
    ASSERT_TRUE(N("Width")->SetIntValue(64).IsOK());
    EXPECT_EQ(Int("Shadow"), 64);
    EXPECT_EQ(lPayloadCalls, 1);
    lBefore = mPort.GetAccessCount();
    EXPECT_EQ(Int("Width"), 64);  // written through into the cache
    EXPECT_EQ(mPort.GetAccessCount(), lBefore);
    Int("Live");
    Int("Live");
    EXPECT_EQ(mPort.GetAccessCount(), lBefore + 2);
}

TEST_F(NodeMapTest, PollingByPollingTime)
{
    int lCalls = 0;
    N("Temperature")->RegisterCallback([&](INode *) { ++lCalls; });
    EXPECT_EQ(Int("Temperature"), 0);
    Mem(0x90)[0] = 40;
    mMap->Poll(50);
    EXPECT_EQ(Int("Temperature"), 0);
    EXPECT_EQ(lCalls, 0);
    mMap->Poll(60);
    EXPECT_EQ(Int("Temperature"), 40);
    EXPECT_EQ(lCalls, 1);
}

TEST_F(NodeMapTest, AccessModes)
{
    int64_t lV = 0;
    EXPECT_EQ(N("Ghost")->GetAccessMode(), ZuGenAccessModeNotImplemented);
    EXPECT_EQ(N("Ghost")->GetIntValue(lV).GetCode(), uint32_t(ZU_NOT_IMPLEMENTED));
    EXPECT_EQ(N("Hidden")->GetAccessMode(), ZuGenAccessModeNotAvailable);
    EXPECT_EQ(N("Hidden")->GetIntValue(lV).GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(N("Shadow")->SetIntValue(1).GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_EQ(N("WriteOnly")->GetIntValue(lV).GetCode(), uint32_t(ZU_STATE_ERROR));
    EXPECT_TRUE(N("WriteOnly")->SetIntValue(1).IsOK());
    EXPECT_EQ(N("Root")->GetAccessMode(), ZuGenAccessModeReadOnly);
}

TEST(NodeMapPorts, ReadOnlyPortAndMissingPort)
{
    MemoryPort lPort(4096, 0, ZuGenAccessModeReadOnly);
    std::unique_ptr<INodeMap> lMap;
    ASSERT_TRUE(LoadNodeMap(kCameraXml, sizeof kCameraXml - 1, &lPort, lMap).IsOK());
    EXPECT_EQ(lMap->GetPortAccessMode(), ZuGenAccessModeReadOnly);
    EXPECT_EQ(lMap->GetNode("Width")->GetAccessMode(), ZuGenAccessModeReadOnly);
    ASSERT_TRUE(LoadNodeMap(kCameraXml, sizeof kCameraXml - 1, nullptr, lMap).IsOK());
    int64_t lV = 0;
    EXPECT_EQ(lMap->GetNode("Width")->GetIntValue(lV).GetCode(), uint32_t(ZU_NOT_IMPLEMENTED));
    EXPECT_EQ(lMap->GetPortAccessMode(), ZuGenAccessModeNotImplemented);
    // A register past the end of the memory is refused, not read.
    MemoryPort lSmall(0x12);
    ASSERT_TRUE(LoadNodeMap(kCameraXml, sizeof kCameraXml - 1, &lSmall, lMap).IsOK());
    EXPECT_EQ(lMap->GetNode("Width")->GetIntValue(lV).GetCode(), uint32_t(ZU_INVALID_PARAMETER));
}

TEST_F(NodeMapTest, ChunkPortsReadAttachedData)
{
    int64_t lV = 0;
    EXPECT_EQ(N("ChunkCounter")->GetIntValue(lV).GetCode(), uint32_t(ZU_NO_AVAILABLE_DATA));
    // Image bytes, then chunk 0xABCD with 4 bytes, then its trailer.
    std::vector<uint8_t> lData = {9, 9, 9, 9, 0, 0, 0, 0, 0, 0, 0, 4, 0x01, 0x02, 0x03, 0x04, 0, 0, 0xAB, 0xCD, 0, 0, 0, 4};
    ASSERT_TRUE(mMap->AttachDataChunks(lData.data(), static_cast<uint32_t>(lData.size())).IsOK());
    ASSERT_TRUE(N("ChunkCounter")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 0x01020304);
    EXPECT_EQ(N("ChunkCounter")->GetAccessMode(), ZuGenAccessModeReadOnly);
    lData[15] = 5;  // a new payload in the same memory, attached again
    ASSERT_TRUE(mMap->AttachDataChunks(lData.data(), static_cast<uint32_t>(lData.size())).IsOK());
    ASSERT_TRUE(N("ChunkCounter")->GetIntValue(lV).IsOK());
    EXPECT_EQ(lV, 0x01020305);
    ASSERT_TRUE(mMap->DetachDataChunks().IsOK());
    EXPECT_EQ(N("ChunkCounter")->GetIntValue(lV).GetCode(), uint32_t(ZU_NO_AVAILABLE_DATA));
    std::vector<uint8_t> lBad = {1, 2, 0, 0, 0xAB, 0xCD, 0, 0, 0, 9};
    EXPECT_EQ(mMap->AttachDataChunks(lBad.data(), static_cast<uint32_t>(lBad.size())).GetCode(), uint32_t(ZU_INVALID_DATA_FORMAT));
    std::vector<uint8_t> lOther = {1, 2, 3, 4, 0, 0, 0x12, 0x34, 0, 0, 0, 4};
    ASSERT_TRUE(mMap->AttachDataChunks(lOther.data(), static_cast<uint32_t>(lOther.size())).IsOK());
    EXPECT_EQ(N("ChunkCounter")->GetIntValue(lV).GetCode(), uint32_t(ZU_NOT_FOUND));
    EXPECT_TRUE(mMap->AttachDataChunks(nullptr, 0).IsOK());
}

// ---- Descriptions that must be refused -------------------------------------------

namespace
{

std::string Wrap(const std::string &aBody)
{
    return "<RegisterDescription SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\">" + aBody + "<Port Name=\"Device\"/></RegisterDescription>";
}

struct BadCase
{
    const char *mLabel;
    std::string mXml;
    const char *mExpected;
};

class BadXml : public ::testing::TestWithParam<BadCase>
{
};

} // namespace

TEST_P(BadXml, FailsWithXmlErrorNamingTheProblem)
{
    const BadCase &lC = GetParam();
    std::unique_ptr<INodeMap> lMap;
    ZuResult lR = LoadNodeMap(lC.mXml.data(), lC.mXml.size(), nullptr, lMap);
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
    EXPECT_EQ(lMap, nullptr);
    std::string lWhy = lR.GetDescription().GetAscii();
    EXPECT_NE(lWhy.find(lC.mExpected), std::string::npos) << lWhy;
}

INSTANTIATE_TEST_SUITE_P(
    Engine, BadXml,
    ::testing::Values(
        BadCase{"Malformed", "<RegisterDescription><Integer Name=\"A\">", "malformed XML"},
        BadCase{"NotXml", "\x01\x02garbage", "malformed XML"},
        BadCase{"WrongRoot", "<Foo/>", "<Foo>"},
        BadCase{"UnknownKind", Wrap("<Widget Name=\"W\"/>"), "unknown node kind <Widget>"},
        BadCase{"Dangling", Wrap("<Integer Name=\"A\"><pValue>Nowhere</pValue></Integer>"), "missing node 'Nowhere'"},
        BadCase{"DanglingSelected", Wrap("<Integer Name=\"A\"><pSelected>B</pSelected><Value>1</Value></Integer>"), "missing node 'B'"},
        BadCase{"Cycle", Wrap("<Integer Name=\"A\"><pValue>B</pValue></Integer><Integer Name=\"B\"><pMax>A</pMax><Value>1</Value></Integer>"), "reference cycle"},
        BadCase{"SelfCycle", Wrap("<IntSwissKnife Name=\"A\"><pVariable Name=\"X\">A</pVariable><Formula>X</Formula></IntSwissKnife>"), "reference cycle"},
        BadCase{"CategoryCycle", Wrap("<Category Name=\"A\"><pFeature>B</pFeature></Category><Category Name=\"B\"><pFeature>A</pFeature></Category>"), "category cycle"},
        BadCase{"BadFormula", Wrap("<IntSwissKnife Name=\"A\"><Formula>1 + * 2</Formula></IntSwissKnife>"), "does not parse"},
        BadCase{"UnknownVariable", Wrap("<IntSwissKnife Name=\"A\"><Formula>Q + 1</Formula></IntSwissKnife>"), "unknown name 'Q'"},
        BadCase{"ConverterWithoutFrom", Wrap("<Converter Name=\"C\"><FormulaTo>FROM</FormulaTo><pValue>I</pValue></Converter><Integer Name=\"I\"><Value>0</Value></Integer>"), "FormulaFrom"},
        BadCase{"Duplicate", Wrap("<Integer Name=\"A\"><Value>1</Value></Integer><Integer Name=\"A\"><Value>2</Value></Integer>"), "defined twice"},
        BadCase{"BadNumber", Wrap("<Integer Name=\"A\"><Value>12x</Value></Integer>"), "bad number '12x'"},
        BadCase{"RegisterWithoutLength", Wrap("<IntReg Name=\"R\"><Address>0</Address><pPort>Device</pPort></IntReg>"), "no <Length>"},
        BadCase{"PortIsNoPort", Wrap("<IntReg Name=\"R\"><Address>0</Address><Length>4</Length><pPort>X</pPort></IntReg><Integer Name=\"X\"><Value>0</Value></Integer>"), "no <Port>"},
        BadCase{"EnumWithoutEntries", Wrap("<Enumeration Name=\"E\"><Value>0</Value></Enumeration>"), "no entries"},
        BadCase{"NoName", Wrap("<Integer><Value>0</Value></Integer>"), "without a Name"},
        BadCase{"BadSchema", "<RegisterDescription SchemaMajorVersion=\"2\" SchemaMinorVersion=\"0\"/>", "schema version 2.0"},
        BadCase{"TextFromNumber", Wrap("<String Name=\"S\"><pValue>I</pValue></String><Integer Name=\"I\"><Value>0</Value></Integer>"), "holds none"},
        BadCase{"NumberFromText", Wrap("<Integer Name=\"I\"><pValue>S</pValue></Integer><String Name=\"S\"><Value>x</Value></String>"), "no numeric value"},
        BadCase{"BadAccess", Wrap("<IntReg Name=\"R\"><Address>0</Address><Length>4</Length><AccessMode>XX</AccessMode><pPort>Device</pPort></IntReg>"), "bad <AccessMode>"}),
    [](const ::testing::TestParamInfo<BadCase> &aInfo) { return std::string(aInfo.param.mLabel); });

TEST(NodeMapLoad, NullAndHugeNesting)
{
    std::unique_ptr<INodeMap> lMap;
    EXPECT_EQ(LoadNodeMap(nullptr, 0, nullptr, lMap).GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
    // A chain of references as long as the engine evaluates loads, and reads
    // from its top; one node more is refused, whichever order the nodes
    // come in (a first walk from the bottom sees only short paths).
    auto lChain = [](int aNodes, bool aBottomFirst) {
        std::vector<std::string> lNodes;
        for (int lI = 0; lI + 1 < aNodes; ++lI)
            lNodes.push_back("<Integer Name=\"N" + std::to_string(lI) + "\"><pValue>N" + std::to_string(lI + 1) + "</pValue></Integer>");
        lNodes.push_back("<Integer Name=\"N" + std::to_string(aNodes - 1) + "\"><Value>7</Value></Integer>");
        if (aBottomFirst) std::reverse(lNodes.begin(), lNodes.end());
        std::string lBody;
        for (const std::string &lN : lNodes) lBody += lN;
        return Wrap(lBody);
    };
    for (bool lBottomFirst : {false, true}) {
        std::string lXml = lChain(256, lBottomFirst);
        ASSERT_TRUE(LoadNodeMap(lXml.data(), lXml.size(), nullptr, lMap).IsOK());
        int64_t lV = 0;
        ASSERT_TRUE(lMap->GetNode("N0")->GetIntValue(lV).IsOK());
        EXPECT_EQ(lV, 7);
        EXPECT_TRUE(lMap->GetNode("N0")->SetIntValue(8).IsOK());
        lXml = lChain(257, lBottomFirst);
        ZuResult lR = LoadNodeMap(lXml.data(), lXml.size(), nullptr, lMap);
        EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
        EXPECT_NE(std::string(lR.GetDescription().GetAscii()).find("nested more than 256 deep at 'N0'"), std::string::npos)
            << lR.GetDescription().GetAscii();
        EXPECT_FALSE(lMap);
    }
    std::string lXml = lChain(5000, false);
    EXPECT_EQ(LoadNodeMap(lXml.data(), lXml.size(), nullptr, lMap).GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
    std::string lGroups;
    for (int lI = 0; lI < 100; ++lI) lGroups = "<Group>" + lGroups + "</Group>";
    lXml = Wrap(lGroups);
    EXPECT_EQ(LoadNodeMap(lXml.data(), lXml.size(), nullptr, lMap).GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
}

// ---- Caches against a device that changes underneath ----------------------------------

namespace
{

uint32_t Le32(const std::vector<uint8_t> &aM, size_t aAt)
{
    return uint32_t(aM[aAt]) | uint32_t(aM[aAt + 1]) << 8 | uint32_t(aM[aAt + 2]) << 16 | uint32_t(aM[aAt + 3]) << 24;
}

int64_t Read(INodeMap &aMap, const char *aName)
{
    int64_t lV = -1;
    ZuResult lR = aMap.GetNode(aName)->GetIntValue(lV);
    EXPECT_TRUE(lR.IsOK()) << aName << ": " << lR.GetDescription().GetAscii();
    return lV;
}

std::string Reg(const char *aName, const char *aWhere, int aLength, const char *aExtra = "")
{
    return std::string("<IntReg Name=\"") + aName + "\">" + aWhere + "<Length>" + std::to_string(aLength) +
           "</Length><AccessMode>RW</AccessMode><pPort>Device</pPort>" + aExtra + "</IntReg>";
}

} // namespace

TEST(NodeMapCache, SelectorMovedOnTheDeviceIsNotServedFromTheOldAddress)
{
    // The selector is read from the device every time (the device may move
    // it); the values it selects are cached, keyed by address.
    std::string lXml = Wrap(Reg("Sel", "<Address>0x200</Address>", 4, "<Cachable>NoCache</Cachable>") +
                            Reg("ByIndex", "<Address>0x300</Address><pIndex Offset=\"4\">Sel</pIndex>", 4) +
                            Reg("ByAddress", "<pAddress>Where</pAddress>", 4) +
                            "<IntSwissKnife Name=\"Where\"><pVariable Name=\"S\">Sel</pVariable>"
                            "<Formula>0x400 + S * 8</Formula></IntSwissKnife>");
    MemoryPort lPort(4096);
    std::unique_ptr<INodeMap> lMap;
    ASSERT_TRUE(LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap).IsOK());
    std::vector<uint8_t> &lM = lPort.Bytes();
    lM[0x300] = 10;
    lM[0x304] = 20;
    lM[0x400] = 30;
    lM[0x408] = 40;
    EXPECT_EQ(Read(*lMap, "ByIndex"), 10);
    EXPECT_EQ(Read(*lMap, "ByAddress"), 30);
    // Unchanged selector: only the selector itself is read again.
    uint64_t lBefore = lPort.GetAccessCount();
    EXPECT_EQ(Read(*lMap, "ByIndex"), 10);
    EXPECT_EQ(lPort.GetAccessCount() - lBefore, 1u);
    lM[0x200] = 1;  // the device moves the selector
    EXPECT_EQ(Read(*lMap, "ByIndex"), 20);
    EXPECT_EQ(Read(*lMap, "ByAddress"), 40);
    lM[0x200] = 0;
    lM[0x300] = 11;  // changed while another address was selected
    lM[0x400] = 31;
    EXPECT_EQ(Read(*lMap, "ByIndex"), 11);
    EXPECT_EQ(Read(*lMap, "ByAddress"), 31);
}

TEST(NodeMapCache, WriteDropsEveryCachedRegisterItOverlaps)
{
    std::string lXml = Wrap(Reg("Target", "<Address>0x500</Address>", 4) +
                            Reg("Straddles", "<Address>0x502</Address>", 4) +
                            Reg("Encloses", "<Address>0x4FC</Address>", 8) +
                            Reg("Inside", "<Address>0x501</Address>", 2) +
                            Reg("EndsBefore", "<Address>0x4FC</Address>", 4) +
                            Reg("StartsAfter", "<Address>0x504</Address>", 4) +
                            Reg("StartsBefore", "<Address>0x4FF</Address>", 2) +
                            "<Integer Name=\"InsideValue\"><pValue>Inside</pValue></Integer>");
    MemoryPort lPort(4096);
    std::unique_ptr<INodeMap> lMap;
    ASSERT_TRUE(LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap).IsOK());
    const char *kAll[] = {"Straddles", "Encloses", "Inside", "EndsBefore", "StartsAfter", "StartsBefore"};
    for (const char *lName : kAll) EXPECT_EQ(Read(*lMap, lName), 0) << lName;
    // What reads an overlapped register is read anew too, and told.
    EXPECT_EQ(Read(*lMap, "InsideValue"), 0);
    int lTold = 0;
    lMap->GetNode("InsideValue")->RegisterCallback([&](INode *) { ++lTold; });
    ASSERT_TRUE(lMap->GetNode("Target")->SetIntValue(0x44332211).IsOK());
    EXPECT_EQ(lTold, 1);
    EXPECT_EQ(Read(*lMap, "InsideValue"), 0x3322);
    const std::vector<uint8_t> &lM = lPort.Bytes();
    ASSERT_EQ(Le32(lM, 0x500), 0x44332211u);
    // Overlapping in full or in part: read anew, one port access each.
    uint64_t lBefore = lPort.GetAccessCount();
    EXPECT_EQ(Read(*lMap, "Straddles"), Le32(lM, 0x502));
    EXPECT_EQ(Read(*lMap, "Encloses"), int64_t(uint64_t(Le32(lM, 0x500)) << 32));
    EXPECT_EQ(Read(*lMap, "StartsBefore"), 0x1100);
    EXPECT_EQ(Read(*lMap, "Inside"), 0x3322);
    EXPECT_EQ(lPort.GetAccessCount() - lBefore, 3u);
    // Touching but not overlapping: still served from the cache.
    lBefore = lPort.GetAccessCount();
    EXPECT_EQ(Read(*lMap, "EndsBefore"), 0);
    EXPECT_EQ(Read(*lMap, "StartsAfter"), 0);
    EXPECT_EQ(lPort.GetAccessCount(), lBefore);
}

namespace
{

// A device port whose access changes with the device (control taken by
// another host) and that may fail writes.
class ChangingPort : public MemoryPort
{
public:
    using MemoryPort::MemoryPort;
    ZuGenAccessMode GetAccessMode() const override
    {
        ++mAccessAsked;
        return mAccess;
    }
    ZuResult Write(uint64_t aAddress, const void *aData, int64_t aLength) override
    {
        if (mFailWrites) return ZuResult(ZU_TIMEOUT);
        return MemoryPort::Write(aAddress, aData, aLength);
    }
    ZuGenAccessMode mAccess = ZuGenAccessModeReadWrite;
    bool mFailWrites = false;
    mutable int mAccessAsked = 0;
};

} // namespace

// A read that reached only cached registers is not computed again for every
// access; whatever may change what it gave must make it be read anew.
TEST(NodeMapCache, AReadHeldAcrossAccessesGoesWhenWhatItReadChanges)
{
    std::string lXml = Wrap(Reg("Reg", "<Address>0x100</Address>", 4) +
                            "<Integer Name=\"Value\"><pValue>Reg</pValue></Integer>" +
                            Reg("Gate", "<Address>0x200</Address>", 4, "<Cachable>NoCache</Cachable>") +
                            "<Integer Name=\"Gated\"><pValue>Gate</pValue></Integer>"
                            "<Integer Name=\"Shown\"><pIsAvailable>Gated</pIsAvailable><pValue>Gated</pValue></Integer>");
    ChangingPort lPort(4096);
    std::unique_ptr<INodeMap> lMap;
    ASSERT_TRUE(LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap).IsOK());
    std::vector<uint8_t> &lM = lPort.Bytes();
    INode *lValue = lMap->GetNode("Value");

    EXPECT_EQ(Read(*lMap, "Value"), 0);
    EXPECT_EQ(lValue->GetAccessMode(), ZuGenAccessModeReadWrite);
    // The device takes the port's write access away, and gives it back.
    lPort.mAccess = ZuGenAccessModeReadOnly;
    EXPECT_EQ(lValue->GetAccessMode(), ZuGenAccessModeReadOnly);
    EXPECT_EQ(lValue->SetIntValue(1).GetCode(), uint32_t(ZU_STATE_ERROR));
    lPort.mAccess = ZuGenAccessModeReadWrite;
    EXPECT_EQ(lValue->GetAccessMode(), ZuGenAccessModeReadWrite);

    // A write the port refused leaves the register to be read from the device.
    lM[0x100] = 5;
    EXPECT_EQ(Read(*lMap, "Value"), 0);  // cached
    lPort.mFailWrites = true;
    EXPECT_EQ(lValue->SetIntValue(7).GetCode(), uint32_t(ZU_TIMEOUT));
    lPort.mFailWrites = false;
    EXPECT_EQ(Read(*lMap, "Value"), 5);

    // What reads an uncached register, directly or through a node another
    // path read first in the same access, follows the device every time.
    lM[0x200] = 1;
    EXPECT_EQ(Read(*lMap, "Shown"), 1);
    lM[0x200] = 2;
    EXPECT_EQ(Read(*lMap, "Shown"), 2);
    lM[0x200] = 0;
    EXPECT_EQ(lMap->GetNode("Shown")->GetAccessMode(), ZuGenAccessModeNotAvailable);
    lM[0x200] = 3;
    EXPECT_EQ(Read(*lMap, "Shown"), 3);

    // Served from what was read, without reaching the device.
    uint64_t lBefore = lPort.GetAccessCount();
    for (int lI = 0; lI < 3; ++lI) EXPECT_EQ(Read(*lMap, "Value"), 5);
    EXPECT_EQ(lValue->GetAccessMode(), ZuGenAccessModeReadWrite);
    EXPECT_EQ(lPort.GetAccessCount(), lBefore);

    // What reads nothing never asks the port: a parameter going away, for
    // one, may do so after its owner's port is gone.
    int lAsked = lPort.mAccessAsked;
    int lId = lValue->RegisterCallback([](INode *) {});
    lValue->UnregisterCallback(lId);
    EXPECT_EQ(lPort.mAccessAsked, lAsked);
}
