#ifndef TARN_GENICAM_SCHEMA_H
#define TARN_GENICAM_SCHEMA_H

/// @file
/// The node kinds and node properties of a GenICam description, in one
/// table: the engine's loader reads descriptions by it, and writers of
/// descriptions (the device side's feature factory) write from it, so that
/// both agree on every element name and every word.

#include "tarn/genicam/Engine.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace ZU_GENAPI_NS
{

/// The engine's node classes: each kind belongs to exactly one.
enum class NodeFamily : uint8_t
{
    Category,     ///< nodes without a value of their own: categories and ports
    Value,        ///< values held or passed on: Integer, Float, Boolean, Command, String
    Register,     ///< device memory: IntReg, MaskedIntReg, StructEntry, FloatReg, StringReg, Register
    Formula,      ///< computed values: swiss knives and converters
    Enumeration,  ///< Enumeration and its EnumEntry
};

constexpr uint32_t FamilyBit(NodeFamily aFamily) { return 1u << static_cast<unsigned>(aFamily); }
constexpr uint32_t kEveryFamily = 0x1F;

/// One node kind: its element, family and the interface it offers.
struct KindSchema
{
    const char *mElement;
    NodeKind mKind;
    NodeFamily mFamily;
    NodeInterface mInterface;
    /// Constants of the kind (Value, Min, Max, ...) are floating-point.
    bool mFloatConstants;
};

/// Properties a node element may hold.
enum class Attr : uint8_t
{
    ToolTip, Description, DisplayName, Visibility, pIsImplemented, pIsAvailable, pIsLocked, pSelected,
    pInvalidator, pFeature, Streamable, EventID, ChunkID, Unit, Symbolic, PollingTime, Cachable, AccessMode,
    ImposedAccessMode, Endianess, Sign, Representation, Value, pValue, Min, pMin, Max, pMax, Inc, pInc, pIndex,
    ValueIndexed, pValueIndexed, ValueDefault, pValueDefault, Address, pAddress, Length, pLength, pPort, LSB,
    MSB, Bit, OnValue, OffValue, CommandValue, pCommandValue, EnumEntry, pVariable, Constant, Expression,
    Formula, FormulaTo, FormulaFrom
};

/// How a property's content is written.
enum class AttrType : uint8_t
{
    Text,        ///< free text
    Word,        ///< one of the property's words
    Integer,     ///< an integer constant
    Number,      ///< a constant in the node kind's number type
    Reference,   ///< the name of another node
    Names,       ///< the name of another node; the property may repeat
    Indexed,     ///< a constant or reference for one index (attribute Index)
    Named,       ///< a variable, constant or expression (attribute Name)
    FormulaText, ///< a formula
    Child,       ///< a node element nested in its parent
};

/// A word a Word property may hold, and the engine's value for it.
struct AttrWord
{
    const char *mText;
    int32_t mValue;
};

/// One property: its element, content and the families that hold it.
/// Families not listed ignore the property, as they ignore properties the
/// engine does not know (display hints, documentation, vendor extensions).
struct AttrSchema
{
    const char *mElement;
    Attr mAttr;
    AttrType mType;
    uint32_t mFamilies;
    const AttrWord *mWords;
    size_t mWordCount;

    bool HeldBy(NodeFamily aFamily) const { return (mFamilies & FamilyBit(aFamily)) != 0; }
    /// The value of a word; false when aText is none of the words.
    ZU_API bool WordValue(const std::string &aText, int32_t &aValue) const;
    /// The word for a value, or null.
    ZU_API const char *WordText(int32_t aValue) const;
};

/// The kind an element names, or null.
ZU_API const KindSchema *FindKind(const std::string &aElement);
/// The schema of a kind (every kind has one).
ZU_API const KindSchema &SchemaOf(NodeKind aKind);
/// The property an element names, or null for properties the engine does
/// not read.
ZU_API const AttrSchema *FindAttribute(const std::string &aElement);
/// The whole tables, in description order.
ZU_API const KindSchema *KindTable(size_t &aCount);
ZU_API const AttrSchema *AttributeTable(size_t &aCount);

} // namespace ZU_GENAPI_NS

#endif
