#ifndef TARN_SOFTDEVICE_DESCRIPTION_H
#define TARN_SOFTDEVICE_DESCRIPTION_H

// Writes a device's GenICam description (schema 1.1) from declarations:
// categories and features, each feature over one register of the device's
// port. The device declares its standard features here; the custom-feature
// factory adds its own declarations to the same writer.

#include <cstdint>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

namespace tarn {
namespace softdevice {

struct FeatureDecl {
    enum class Kind { Integer, Enumeration, Command, Boolean, String, Float };
    Kind kind = Kind::Integer;
    std::string name;
    std::string category;
    std::string toolTip;
    std::string visibility = "Beginner";
    bool standard = true;         // NameSpace Standard or Custom
    bool streamable = false;
    // The register: address and length in bytes, "RO", "RW" or "WO";
    // lsb/msb (big-endian bit numbers, 31 the lowest) for a bit field.
    uint64_t address = 0;
    uint32_t length = 4;
    std::string access = "RW";
    int lsb = -1, msb = -1;
    bool isSigned = false;
    // Another integer feature that selects the register (pIndex), with the
    // address step per selector value.
    std::string indexedBy;
    uint32_t indexStep = 0;
    std::vector<std::string> selected;    // what this feature selects
    // Integers: limits given as values, or as the names of features (pMin,
    // pMax, pInc; floats too, but for the increment).
    int64_t min = 0, max = 0xFFFFFFFF, inc = 1;
    // Floats (an 8-byte IEEE register): limits.
    double fmin = 0, fmax = 0;
    std::string pMin, pMax, pInc;
    std::string representation;   // "Linear", "HexNumber", "IPV4Address", ...
    std::string unit;
    // Enumerations: entry names and values.
    std::vector<std::pair<std::string, int64_t>> entries;
    // Commands and booleans: the value written (and its opposite).
    int64_t commandValue = 1;
    // A feature that locks this one while it is non-zero (TLParamsLocked).
    std::string lockedBy;
    // What a script adds to the device's own feature.
    std::string pIsAvailable, pValue;
    std::vector<std::string> invalidators;
    std::vector<std::pair<std::string, std::string>> entryAvailable;   // entry, feature
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
    void addCategory(const std::string &aName, const std::string &aToolTip, const std::string &aParent = std::string(),
                     const std::string &aDisplayName = std::string());
    bool hasCategory(const std::string &aName) const;
    // Features written elsewhere (addNodes) listed in a category, or only
    // known by name (helpers no category lists).
    void addMember(const std::string &aCategory, const std::string &aFeature);
    void addName(const std::string &aName);
    // Nodes written by someone else, after the device's own.
    void addNodes(const std::string &aXml) { mNodes += aXml; }
    FeatureDecl *find(const std::string &aName);
    void add(FeatureDecl aFeature);
    bool has(const std::string &aName) const;
    const std::vector<FeatureDecl> &features() const { return mFeatures; }

    std::string write(const DescriptionHeader &aHeader) const;

private:
    void writeSelected(std::ostream &aOut, const FeatureDecl &aFeature) const;

    struct CategoryDecl {
        std::string name, toolTip, parent, displayName;
    };
    std::vector<CategoryDecl> mCategories;
    std::vector<FeatureDecl> mFeatures;
    std::vector<std::pair<std::string, std::string>> mMembers;
    std::vector<std::string> mNames;
    std::string mNodes;
};

// XML text with the five special characters escaped.
std::string xmlEscape(const std::string &aText);
// An address or mask as the description writes it ("0x1A2B").
std::string xmlHex(uint64_t aValue);
// A float value, to the last digit a double holds.
std::string xmlFloat(double aValue);

} // namespace softdevice
} // namespace tarn

#endif
