// The schema table against the loader: every word the table lists must
// load as the value it names, and every kind must be found by its element.

#include "tarn/genicam/Engine.h"
#include "tarn/genicam/Schema.h"

#include <gtest/gtest.h>

#include <set>

using namespace ZU_GENAPI_NS;

namespace
{

std::string Describe(const std::string &aBody)
{
    return "<RegisterDescription SchemaMajorVersion=\"1\" SchemaMinorVersion=\"1\">" + aBody +
           "<Port Name=\"Device\"/></RegisterDescription>";
}

TEST(Schema, EveryKindOnceFoundByItsElement)
{
    size_t lCount = 0;
    const KindSchema *lKinds = KindTable(lCount);
    std::set<int> lSeen;
    for (size_t lI = 0; lI < lCount; ++lI) {
        const KindSchema &lK = lKinds[lI];
        EXPECT_TRUE(lSeen.insert(static_cast<int>(lK.mKind)).second) << lK.mElement << " listed twice";
        ASSERT_EQ(FindKind(lK.mElement), &lK) << lK.mElement;
        EXPECT_EQ(&SchemaOf(lK.mKind), &lK) << lK.mElement;
        EXPECT_EQ(lK.mFloatConstants, lK.mInterface == NodeInterface::Float) << lK.mElement;
    }
    EXPECT_EQ(lSeen.size(), static_cast<size_t>(NodeKind::Port) + 1);
    EXPECT_EQ(FindKind("Integers"), nullptr);
    EXPECT_EQ(FindKind(""), nullptr);
}

// What each word must mean, written out here rather than taken from the
// table: a table whose words were swapped would load them swapped.
struct WordCase
{
    const char *mElement;
    const char *mWord;
    int32_t mValue;
};

const WordCase kWords[] = {
    {"Visibility", "Beginner", ZuGenVisibilityBeginner}, {"Visibility", "Expert", ZuGenVisibilityExpert},
    {"Visibility", "Guru", ZuGenVisibilityGuru}, {"Visibility", "Invisible", ZuGenVisibilityInvisible},
    {"Cachable", "NoCache", ZuGenCacheNone}, {"Cachable", "WriteThrough", ZuGenCacheWriteThrough},
    {"Cachable", "WriteAround", ZuGenCacheWriteAround},
    {"AccessMode", "RO", ZuGenAccessModeReadOnly}, {"AccessMode", "RW", ZuGenAccessModeReadWrite},
    {"AccessMode", "WO", ZuGenAccessModeWriteOnly},
    {"ImposedAccessMode", "RO", ZuGenAccessModeReadOnly}, {"ImposedAccessMode", "RW", ZuGenAccessModeReadWrite},
    {"ImposedAccessMode", "WO", ZuGenAccessModeWriteOnly},
    {"Endianess", "LittleEndian", ZuGenEndiannessLittle}, {"Endianess", "BigEndian", ZuGenEndiannessBig},
    {"Sign", "Signed", ZuGenSignSigned}, {"Sign", "Unsigned", ZuGenSignUnsigned},
    {"Representation", "Linear", ZuGenRepresentationLinear}, {"Representation", "Logarithmic", ZuGenRepresentationLogarithmic},
    {"Representation", "Boolean", ZuGenRepresentationBoolean}, {"Representation", "PureNumber", ZuGenRepresentationPureNumber},
    {"Representation", "HexNumber", ZuGenRepresentationHexNumber},
    {"Representation", "IPV4Address", ZuGenRepresentationIPV4Address},
    {"Representation", "MACAddress", ZuGenRepresentationMACAddress},
};

// The node's view of a word property, as loaded.
int64_t Observed(Attr aAttr, INode &aN, MemoryPort &aPort)
{
    int64_t lV = 0;
    switch (aAttr) {
    case Attr::Visibility: return aN.GetVisibility();
    case Attr::Cachable: return aN.GetCachingMode();
    case Attr::Representation: return aN.GetRepresentation();
    case Attr::AccessMode:
    case Attr::ImposedAccessMode: return aN.GetAccessMode();
    case Attr::Endianess:
        // 01 00 00 00 reads 1 little-endian.
        aPort.Bytes().assign(64, 0);
        aPort.Bytes()[0] = 1;
        aN.GetIntValue(lV);
        return lV == 1 ? ZuGenEndiannessLittle : lV == 0x01000000 ? ZuGenEndiannessBig : -100;
    case Attr::Sign:
        aPort.Bytes().assign(64, 0xFF);
        aN.GetIntValue(lV);
        return lV == -1 ? ZuGenSignSigned : lV == 0xFFFFFFFF ? ZuGenSignUnsigned : -100;
    default: return -200;
    }
}

} // namespace

TEST(Schema, EveryWordLoadsAsWhatItMeans)
{
    MemoryPort lPort(64);
    std::unique_ptr<INodeMap> lMap;
    auto lLoad = [&](const char *aElement, const char *aWord) -> ZuResult {
        // Registers hold every word property; an IntReg shows each.
        std::string lXml = Describe(std::string("<IntReg Name=\"N\"><Address>0</Address><Length>4</Length><pPort>Device</pPort><") +
                                    aElement + ">" + aWord + "</" + aElement + "></IntReg>");
        return LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap);
    };
    size_t lTested = 0;
    for (const WordCase &lC : kWords) {
        const AttrSchema *lA = FindAttribute(lC.mElement);
        ASSERT_NE(lA, nullptr) << lC.mElement;
        int32_t lTableValue = -1;
        EXPECT_TRUE(lA->WordValue(lC.mWord, lTableValue)) << lC.mElement << " " << lC.mWord;
        EXPECT_STREQ(lA->WordText(lC.mValue), lC.mWord) << lC.mElement;
        ZuResult lR = lLoad(lC.mElement, lC.mWord);
        ASSERT_TRUE(lR.IsOK()) << lC.mWord << ": " << lR.GetDescription().GetAscii();
        EXPECT_EQ(Observed(lA->mAttr, *lMap->GetNode("N"), lPort), lC.mValue) << lC.mElement << " " << lC.mWord;
        ++lTested;
    }
    // Every word of the table has its case above, and a word it lacks is
    // refused by name.
    size_t lCount = 0, lWords = 0;
    const AttrSchema *lAttrs = AttributeTable(lCount);
    for (size_t lI = 0; lI < lCount; ++lI) {
        const AttrSchema &lA = lAttrs[lI];
        ASSERT_EQ(FindAttribute(lA.mElement), &lA) << lA.mElement;
        EXPECT_NE(lA.mFamilies, 0u) << lA.mElement << " is held by no family";
        EXPECT_EQ(lA.mType == AttrType::Word, lA.mWordCount > 0) << lA.mElement;
        lWords += lA.mWordCount;
        if (!lA.mWordCount) continue;
        ZuResult lR = lLoad(lA.mElement, "Bogus");
        EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR)) << lA.mElement;
        EXPECT_NE(std::string(lR.GetDescription().GetAscii()).find(std::string("bad <") + lA.mElement + "> 'Bogus'"), std::string::npos);
    }
    EXPECT_EQ(lWords, lTested);
}

// Properties a family does not hold are ignored like unknown ones, except a
// formula, which only computed nodes may carry.
TEST(Schema, PropertiesOutsideTheirFamily)
{
    MemoryPort lPort(64);
    std::unique_ptr<INodeMap> lMap;
    std::string lXml = Describe("<Category Name=\"C\"><Address>4</Address><pFeature>I</pFeature></Category>"
                                "<Integer Name=\"I\"><Value>3</Value><Length>99</Length><pFeature>C</pFeature></Integer>");
    ZuResult lR = LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap);
    ASSERT_TRUE(lR.IsOK()) << lR.GetDescription().GetAscii();
    EXPECT_TRUE(lMap->GetNode("I")->GetFeatures().empty());
    EXPECT_EQ(lMap->GetNode("I")->GetParentCategory(), lMap->GetNode("C"));
    lXml = Describe("<Integer Name=\"I\"><Value>3</Value><Formula>1</Formula></Integer>");
    lR = LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap);
    EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR));
    EXPECT_NE(std::string(lR.GetDescription().GetAscii()).find("has a formula but is no swiss knife or converter"), std::string::npos);
}
