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

} // namespace

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

// A node written with each word of a property reads back as that word's
// value: a word table whose values were swapped would show here.
TEST(Schema, EveryWordLoadsAsItsValue)
{
    MemoryPort lPort(64);
    std::unique_ptr<INodeMap> lMap;
    auto lLoad = [&](const std::string &aBody) -> INode * {
        std::string lXml = Describe(aBody);
        ZuResult lR = LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap);
        EXPECT_TRUE(lR.IsOK()) << aBody << ": " << lR.GetDescription().GetAscii();
        return lR.IsOK() ? lMap->GetNode("N") : nullptr;
    };
    size_t lCount = 0;
    const AttrSchema *lAttrs = AttributeTable(lCount);
    int lChecked = 0;
    for (size_t lI = 0; lI < lCount; ++lI) {
        const AttrSchema &lA = lAttrs[lI];
        ASSERT_EQ(FindAttribute(lA.mElement), &lA) << lA.mElement;
        EXPECT_NE(lA.mFamilies, 0u) << lA.mElement << " is held by no family";
        EXPECT_EQ(lA.mType == AttrType::Word, lA.mWordCount > 0) << lA.mElement;
        for (size_t lW = 0; lW < lA.mWordCount; ++lW) {
            const AttrWord &lWord = lA.mWords[lW];
            EXPECT_STREQ(lA.WordText(lWord.mValue), lWord.mText);
            std::string lProp = std::string("<") + lA.mElement + ">" + lWord.mText + "</" + lA.mElement + ">";
            // Registers hold every word property; an IntReg shows each.
            INode *lN = lLoad("<IntReg Name=\"N\"><Address>0</Address><Length>4</Length><pPort>Device</pPort>" + lProp + "</IntReg>");
            if (!lN) continue;
            switch (lA.mAttr) {
            case Attr::Visibility: EXPECT_EQ(lN->GetVisibility(), lWord.mValue) << lWord.mText; break;
            case Attr::Cachable: EXPECT_EQ(lN->GetCachingMode(), lWord.mValue) << lWord.mText; break;
            case Attr::Representation: EXPECT_EQ(lN->GetRepresentation(), lWord.mValue) << lWord.mText; break;
            case Attr::AccessMode:
            case Attr::ImposedAccessMode: EXPECT_EQ(lN->GetAccessMode(), lWord.mValue) << lWord.mText; break;
            case Attr::Endianess: {
                lPort.Bytes().assign(64, 0);
                lPort.Bytes()[0] = 1;
                int64_t lV = 0;
                ASSERT_TRUE(lN->GetIntValue(lV).IsOK());
                EXPECT_EQ(lV, lWord.mValue == ZuGenEndiannessLittle ? 1 : 0x01000000) << lWord.mText;
                break;
            }
            case Attr::Sign: {
                lPort.Bytes().assign(64, 0xFF);
                int64_t lV = 0;
                ASSERT_TRUE(lN->GetIntValue(lV).IsOK());
                EXPECT_EQ(lV, lWord.mValue == ZuGenSignSigned ? int64_t(-1) : int64_t(0xFFFFFFFF)) << lWord.mText;
                break;
            }
            default: ADD_FAILURE() << "no check for the words of " << lA.mElement; break;
            }
            ++lChecked;
        }
        // A word the table does not list is refused by name.
        if (lA.mWordCount) {
            std::string lXml = Describe(std::string("<IntReg Name=\"N\"><Address>0</Address><Length>4</Length><pPort>Device</pPort><") +
                                        lA.mElement + ">Bogus</" + lA.mElement + "></IntReg>");
            ZuResult lR = LoadNodeMap(lXml.data(), lXml.size(), &lPort, lMap);
            EXPECT_EQ(lR.GetCode(), uint32_t(ZU_GENICAM_XML_ERROR)) << lA.mElement;
            EXPECT_NE(std::string(lR.GetDescription().GetAscii()).find(std::string("bad <") + lA.mElement + "> 'Bogus'"), std::string::npos);
        }
    }
    EXPECT_GE(lChecked, 20);
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
