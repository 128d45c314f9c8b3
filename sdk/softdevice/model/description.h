#ifndef TARN_SOFTDEVICE_DESCRIPTION_H
#define TARN_SOFTDEVICE_DESCRIPTION_H

// A device's GenICam description (schema 1.1): what it declares of each
// feature, and the one writer of its XML. The device's own features are
// declared from their rows (feature_row.h), a script's from what its
// feature factory collected (feature_factory.h), both as FeatureDecl; every
// node of the description, theirs and the helper nodes a script's
// features need, goes out through XmlNode.

#include "tarn/genicam/Schema.h"

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tarn {
namespace softdevice {

class CustomRegister;

// The kinds of feature a description declares; the device's own features
// are of the first seven.
enum class FeatureKind : uint8_t { Integer, Float, String, Register, Boolean, Command, Enumeration, IntSwissKnife,
                                   FloatSwissKnife, IntConverter, FloatConverter };

// A feature as the description declares it. Enumerated properties hold the
// words the description writes ("Beginner", "RO"); an empty text or a
// missing name is not written.
struct FeatureDecl {
    using Kind = FeatureKind;
    enum class Mapping { None, Chunk, Event };
    struct Entry {
        std::string name;
        int64_t value = 0;
        std::string displayName;
        bool standard = false;   // NameSpace Standard (else Custom)
    };

    Kind kind = Kind::Integer;
    int source = -1;   // the channel whose source declared it; -1: the device or a script
    std::string name, displayName, category, categoryDisplayName, description, toolTip, unit;
    bool standard = false;   // NameSpace Standard or Custom
    std::string visibility = "Beginner";
    // Imposed on the feature (a script's) or of its register (the device's own).
    std::string access;
    std::string representation;   // "Linear", "HexNumber", "IPV4Address", ...
    std::string cache = "NoCache";   // the register's Cachable
    bool hasPolling = false;
    uint32_t polling = 0;
    bool streamable = false;
    // TLParamsLocked locks it (a script's), or this feature does.
    bool tlLocked = false;
    std::string lockedBy;
    std::string pValue, pIsAvailable;
    std::vector<std::string> selected, invalidators, variables;
    std::vector<Entry> entries;
    std::vector<std::pair<std::string, std::string>> entryAvailable;   // entry, feature
    // Commands and booleans: the value written (and its opposite).
    int64_t commandValue = 1;

    // Where a chunk's or an event's data holds its value.
    Mapping mapping = Mapping::None;
    uint32_t mapId = 0, mapAddress = 0;
    uint64_t mapLength = 0;
    int endianness = 0;   // ZuGenEndianness
    bool adjust = true;

    // The register: address and length in bytes; lsb/msb (big-endian bit
    // numbers, 31 the lowest) for a bit field; the register itself when it
    // is one of the script's.
    bool hasRegister = false;
    uint64_t address = 0;
    uint32_t length = 4;
    bool registerWritable = true, registerReadable = true;
    CustomRegister *reg = nullptr;
    int lsb = -1, msb = -1;
    bool isSigned = false;
    // Another integer feature that selects the register (pIndex), with the
    // address step per selector value.
    std::string indexedBy;
    uint32_t indexStep = 0;

    // Limits given as values (a script's when hasLimits), or as the names of
    // features (pMin, pMax, pInc; floats too, but for the increment).
    bool hasLimits = false;
    int64_t min = 0, max = 0xFFFFFFFF, inc = 1;
    double fmin = 0, fmax = 0;
    std::string pMin, pMax, pInc;

    // Computed features.
    std::string formula, valueFeature, fromFormula, toFormula;
};

// One node of a description: its element, name and namespace, and its
// properties in the order they are written (or in the engine's schema
// order, once asked). The one emitter of descriptions.
struct XmlNode {
    struct Prop {
        ZU_GENAPI_NS::Attr attr;
        std::string text;
        std::pair<std::string, std::string> attribute;   // Name="..." of a variable, Offset="..." of an index
        std::vector<XmlNode> children;                    // nested nodes (enumeration entries)
    };
    std::string element, name;
    std::string nameSpace;   // empty: none written
    std::vector<Prop> props;

    XmlNode(std::string aElement, std::string aName, std::string aNameSpace = std::string())
        : element(std::move(aElement)), name(std::move(aName)), nameSpace(std::move(aNameSpace))
    {
    }
    XmlNode &Add(ZU_GENAPI_NS::Attr aAttr, const std::string &aText, std::pair<std::string, std::string> aAttribute = {});
    // The schema's word for an engine value; nothing for a value without one.
    XmlNode &Word(ZU_GENAPI_NS::Attr aAttr, int aValue);
    XmlNode &Children(ZU_GENAPI_NS::Attr aAttr, std::vector<XmlNode> aChildren);
    // The properties in the order of the engine's schema table, as the
    // schema wants them whatever order they were added in.
    XmlNode &InSchemaOrder();
    void Write(std::ostream &aOut, const std::string &aIndent = "  ") const;
};

struct DescriptionHeader {
    std::string modelName;
    std::string vendorName;
    std::string toolTip;
    uint16_t major = 1, minor = 0, subMinor = 0;
    std::string productGuid;
    std::string versionGuid;
};

class DescriptionWriter
{
public:
    // Categories hang below their parent (none: Root) in the order declared.
    void AddCategory(const std::string &aName, const std::string &aToolTip, const std::string &aParent = std::string(),
                     const std::string &aDisplayName = std::string());
    bool HasCategory(const std::string &aName) const;
    // Features written elsewhere (addNodes) listed in a category, or only
    // known by name (helpers no category lists).
    void AddMember(const std::string &aCategory, const std::string &aFeature);
    void AddName(const std::string &aName);
    // Nodes made by someone else, written after the device's own.
    void AddNodes(std::vector<XmlNode> aNodes);
    FeatureDecl *Find(const std::string &aName);
    // One of the device's own features.
    void Add(FeatureDecl aFeature);
    bool Has(const std::string &aName) const;
    const std::vector<FeatureDecl> &Features() const { return mFeatures; }

    std::string Write(const DescriptionHeader &aHeader) const;

private:
    std::vector<XmlNode> NodesOf(const FeatureDecl &aFeature) const;

    struct CategoryDecl {
        std::string name, toolTip, parent, displayName;
    };
    std::vector<CategoryDecl> mCategories;
    std::vector<FeatureDecl> mFeatures;
    std::vector<std::pair<std::string, std::string>> mMembers;
    std::vector<std::string> mNames;
    std::vector<XmlNode> mNodes;
};

// The schema's word for an engine value of a property ("RO" for
// ZuGenAccessModeReadOnly); empty for a value without one.
std::string schemaWord(ZU_GENAPI_NS::Attr aAttr, int aValue);
// XML text with the five special characters escaped.
std::string xmlEscape(const std::string &aText);
// An address or mask as the description writes it ("0x1A2B").
std::string xmlHex(uint64_t aValue);
// A float value, to the last digit a double holds.
std::string xmlFloat(double aValue);

} // namespace softdevice
} // namespace tarn

#endif
