#include "tarn/genicam/Schema.h"

namespace ZU_GENAPI_NS
{

namespace
{

using F = NodeFamily;
using I = NodeInterface;
using K = NodeKind;

const KindSchema kKinds[] = {
    {"Category", K::Category, F::Category, I::Category, false},
    {"Integer", K::Integer, F::Value, I::Integer, false},
    {"IntReg", K::IntReg, F::Register, I::Integer, false},
    {"MaskedIntReg", K::MaskedIntReg, F::Register, I::Integer, false},
    {"Float", K::Float, F::Value, I::Float, true},
    {"FloatReg", K::FloatReg, F::Register, I::Float, true},
    {"Boolean", K::Boolean, F::Value, I::Boolean, false},
    {"Command", K::Command, F::Value, I::Command, false},
    {"Enumeration", K::Enumeration, F::Enumeration, I::Enumeration, false},
    {"EnumEntry", K::EnumEntry, F::Enumeration, I::EnumEntry, false},
    {"String", K::String, F::Value, I::String, false},
    {"StringReg", K::StringReg, F::Register, I::String, false},
    {"Register", K::Register, F::Register, I::Register, false},
    {"StructEntry", K::StructEntry, F::Register, I::Integer, false},
    {"IntSwissKnife", K::IntSwissKnife, F::Formula, I::Integer, false},
    {"SwissKnife", K::SwissKnife, F::Formula, I::Float, true},
    {"IntConverter", K::IntConverter, F::Formula, I::Integer, false},
    {"Converter", K::Converter, F::Formula, I::Float, true},
    {"Port", K::Port, F::Category, I::Port, false},
};

#define TARN_WORDS(NAME) NAME, sizeof NAME / sizeof NAME[0]

const AttrWord kVisibility[] = {{"Beginner", ZuGenVisibilityBeginner}, {"Expert", ZuGenVisibilityExpert},
                                {"Guru", ZuGenVisibilityGuru}, {"Invisible", ZuGenVisibilityInvisible}};
const AttrWord kCachable[] = {{"NoCache", ZuGenCacheNone}, {"WriteThrough", ZuGenCacheWriteThrough},
                              {"WriteAround", ZuGenCacheWriteAround}};
const AttrWord kAccess[] = {{"RO", ZuGenAccessModeReadOnly}, {"RW", ZuGenAccessModeReadWrite}, {"WO", ZuGenAccessModeWriteOnly}};
const AttrWord kEndianness[] = {{"LittleEndian", ZuGenEndiannessLittle}, {"BigEndian", ZuGenEndiannessBig}};
const AttrWord kSign[] = {{"Signed", ZuGenSignSigned}, {"Unsigned", ZuGenSignUnsigned}};
const AttrWord kRepresentation[] = {
    {"Linear", ZuGenRepresentationLinear},         {"Logarithmic", ZuGenRepresentationLogarithmic},
    {"Boolean", ZuGenRepresentationBoolean},       {"PureNumber", ZuGenRepresentationPureNumber},
    {"HexNumber", ZuGenRepresentationHexNumber},   {"IPV4Address", ZuGenRepresentationIPV4Address},
    {"MACAddress", ZuGenRepresentationMACAddress}};

const uint32_t kAll = kEveryFamily;
const uint32_t kCat = FamilyBit(F::Category);
const uint32_t kVal = FamilyBit(F::Value);
const uint32_t kReg = FamilyBit(F::Register);
const uint32_t kFor = FamilyBit(F::Formula);
const uint32_t kEnu = FamilyBit(F::Enumeration);

using A = Attr;
using T = AttrType;

const AttrSchema kAttributes[] = {
    {"ToolTip", A::ToolTip, T::Text, kAll, nullptr, 0},
    {"Description", A::Description, T::Text, kAll, nullptr, 0},
    {"DisplayName", A::DisplayName, T::Text, kAll, nullptr, 0},
    {"Visibility", A::Visibility, T::Word, kAll, TARN_WORDS(kVisibility)},
    {"EventID", A::EventID, T::Text, kAll, nullptr, 0},
    {"pIsImplemented", A::pIsImplemented, T::Reference, kAll, nullptr, 0},
    {"pIsAvailable", A::pIsAvailable, T::Reference, kAll, nullptr, 0},
    {"pIsLocked", A::pIsLocked, T::Reference, kAll, nullptr, 0},
    {"ImposedAccessMode", A::ImposedAccessMode, T::Word, kAll, TARN_WORDS(kAccess)},
    {"pSelected", A::pSelected, T::Names, kAll, nullptr, 0},
    {"pInvalidator", A::pInvalidator, T::Names, kAll, nullptr, 0},
    {"Streamable", A::Streamable, T::Text, kAll, nullptr, 0},
    {"PollingTime", A::PollingTime, T::Integer, kAll, nullptr, 0},
    {"Cachable", A::Cachable, T::Word, kAll, TARN_WORDS(kCachable)},
    {"Unit", A::Unit, T::Text, kAll, nullptr, 0},
    {"Representation", A::Representation, T::Word, kAll, TARN_WORDS(kRepresentation)},
    {"pFeature", A::pFeature, T::Names, kCat, nullptr, 0},
    {"ChunkID", A::ChunkID, T::Text, kCat, nullptr, 0},
    {"Value", A::Value, T::Number, kVal | kFor | kEnu, nullptr, 0},
    {"pValue", A::pValue, T::Reference, kVal | kFor | kEnu, nullptr, 0},
    {"Min", A::Min, T::Number, kVal | kReg | kFor, nullptr, 0},
    {"pMin", A::pMin, T::Reference, kVal | kReg | kFor, nullptr, 0},
    {"Max", A::Max, T::Number, kVal | kReg | kFor, nullptr, 0},
    {"pMax", A::pMax, T::Reference, kVal | kReg | kFor, nullptr, 0},
    {"Inc", A::Inc, T::Number, kVal | kReg | kFor, nullptr, 0},
    {"pInc", A::pInc, T::Reference, kVal | kReg | kFor, nullptr, 0},
    {"pIndex", A::pIndex, T::Reference, kVal | kReg, nullptr, 0},
    {"ValueIndexed", A::ValueIndexed, T::Indexed, kVal, nullptr, 0},
    {"pValueIndexed", A::pValueIndexed, T::Indexed, kVal, nullptr, 0},
    {"ValueDefault", A::ValueDefault, T::Number, kVal, nullptr, 0},
    {"pValueDefault", A::pValueDefault, T::Reference, kVal, nullptr, 0},
    {"OnValue", A::OnValue, T::Integer, kVal, nullptr, 0},
    {"OffValue", A::OffValue, T::Integer, kVal, nullptr, 0},
    {"CommandValue", A::CommandValue, T::Integer, kVal, nullptr, 0},
    {"pCommandValue", A::pCommandValue, T::Reference, kVal, nullptr, 0},
    {"Address", A::Address, T::Integer, kReg, nullptr, 0},
    {"pAddress", A::pAddress, T::Reference, kReg, nullptr, 0},
    {"Length", A::Length, T::Integer, kReg, nullptr, 0},
    {"pLength", A::pLength, T::Reference, kReg, nullptr, 0},
    {"AccessMode", A::AccessMode, T::Word, kReg, TARN_WORDS(kAccess)},
    {"pPort", A::pPort, T::Reference, kReg, nullptr, 0},
    {"Endianess", A::Endianess, T::Word, kReg, TARN_WORDS(kEndianness)},
    {"Sign", A::Sign, T::Word, kReg, TARN_WORDS(kSign)},
    {"LSB", A::LSB, T::Integer, kReg, nullptr, 0},
    {"MSB", A::MSB, T::Integer, kReg, nullptr, 0},
    {"Bit", A::Bit, T::Integer, kReg, nullptr, 0},
    {"EnumEntry", A::EnumEntry, T::Child, kEnu, nullptr, 0},
    {"Symbolic", A::Symbolic, T::Text, kEnu, nullptr, 0},
    {"pVariable", A::pVariable, T::Named, kFor, nullptr, 0},
    {"Constant", A::Constant, T::Named, kFor, nullptr, 0},
    {"Expression", A::Expression, T::Named, kFor, nullptr, 0},
    {"Formula", A::Formula, T::FormulaText, kFor, nullptr, 0},
    {"FormulaTo", A::FormulaTo, T::FormulaText, kFor, nullptr, 0},
    {"FormulaFrom", A::FormulaFrom, T::FormulaText, kFor, nullptr, 0},
};

#undef TARN_WORDS

} // namespace

bool AttrSchema::WordValue(const std::string &aText, int32_t &aValue) const
{
    for (size_t lI = 0; lI < mWordCount; ++lI)
        if (aText == mWords[lI].mText) {
            aValue = mWords[lI].mValue;
            return true;
        }
    return false;
}

const char *AttrSchema::WordText(int32_t aValue) const
{
    for (size_t lI = 0; lI < mWordCount; ++lI)
        if (mWords[lI].mValue == aValue) return mWords[lI].mText;
    return nullptr;
}

const KindSchema *FindKind(const std::string &aElement)
{
    for (const KindSchema &lK : kKinds)
        if (aElement == lK.mElement) return &lK;
    return nullptr;
}

const KindSchema &SchemaOf(NodeKind aKind)
{
    for (const KindSchema &lK : kKinds)
        if (lK.mKind == aKind) return lK;
    return kKinds[0];  // unreachable: every kind is in the table (checked by the tests)
}

const AttrSchema *FindAttribute(const std::string &aElement)
{
    for (const AttrSchema &lA : kAttributes)
        if (aElement == lA.mElement) return &lA;
    return nullptr;
}

const KindSchema *KindTable(size_t &aCount)
{
    aCount = sizeof kKinds / sizeof kKinds[0];
    return kKinds;
}

const AttrSchema *AttributeTable(size_t &aCount)
{
    aCount = sizeof kAttributes / sizeof kAttributes[0];
    return kAttributes;
}

} // namespace ZU_GENAPI_NS
