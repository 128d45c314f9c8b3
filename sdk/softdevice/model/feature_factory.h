#ifndef TARN_SOFTDEVICE_FEATURE_FACTORY_H
#define TARN_SOFTDEVICE_FEATURE_FACTORY_H

// The features a script declares while the device starts, and their place
// in the device's description.
//
// A declaration (a FeatureDecl, as the device's own features have) is
// collected attribute by attribute and becomes a feature at its Create*. Features declared by channel sources belong to them: when
// the device has several sources, a feature is available only while
// SourceSelector selects a source that declared it, and whatever differs
// between the sources' declarations (register, limits, entries) follows
// SourceSelector through small formula nodes, so every controller sees one
// feature whose value is the selected source's.

#include "IZuGenApiFactory.h"
#include "softdevice/model/description.h"

#include <cstdint>
#include <string>
#include <vector>

class IZuRegister;

namespace tarn {
namespace softdevice {

// A script's addition to a feature of the device's own.
struct FeatureReference {
    enum class Kind { Invalidator, Selected, PIsAvailable, PIsAvailableEntry, PIsLocked, PValue, PMin, PMax, PInc };
    Kind kind;
    std::string feature, entry, other;
};

class FeatureFactory : public IZuGenApiFactory
{
public:
    // Later declarations belong to this channel (-1: the device).
    void SetSource(int aSource) { mSource = aSource; }
    const std::vector<FeatureDecl> &Features() const { return mFeatures; }
    const std::vector<FeatureReference> &References() const { return mReferences; }

    void SetName(const ZuString &aName) override { mNext.name = aName.Narrow(); }
    void SetDisplayName(const ZuString &aDisplayName) override { mNext.displayName = aDisplayName.Narrow(); }
    void SetCategory(const ZuString &aCategory) override { mNext.category = aCategory.Narrow(); }
    void SetCategory(const ZuString &aCategory, const ZuString &aCategoryDisplayName) override
    {
        mNext.category = aCategory.Narrow();
        mNext.categoryDisplayName = aCategoryDisplayName.Narrow();
    }
    void SetDescription(const ZuString &aDescription) override { mNext.description = aDescription.Narrow(); }
    void SetToolTip(const ZuString &aToolTip) override { mNext.toolTip = aToolTip.Narrow(); }
    void SetAccessMode(ZuGenAccessMode aAccessMode) override;
    void SetRepresentation(ZuGenRepresentation aRepresentation) override;
    void SetVisibility(ZuGenVisibility aVisibility) override;
    void SetCachable(ZuGenCache aCache) override;
    void SetPollingTime(uint32_t aPollingTime) override
    {
        mNext.hasPolling = true;
        mNext.polling = aPollingTime;
    }
    void SetNameSpace(ZuGenNameSpace aNameSpace) override { mNext.standard = aNameSpace == ZuGenNameSpaceStandard; }
    void SetTLLocked(bool aLocked) override { mNext.tlLocked = aLocked; }
    void SetStreamable(bool aStreamable) override { mNext.streamable = aStreamable; }
    void SetUnit(const ZuString &aUnit) override { mNext.unit = aUnit.Narrow(); }
    void SetPValue(const ZuString &aFeatureName) override { mNext.pValue = aFeatureName.Narrow(); }
    void SetPIsAvailable(const ZuString &aFeatureName) override { mNext.pIsAvailable = aFeatureName.Narrow(); }
    void SetPIsLocked(const ZuString &aFeatureName) override { mNext.lockedBy = aFeatureName.Narrow(); }
    void MapChunk(uint32_t aChunkID, uint32_t aAddress, size_t aLength, ZuGenEndianness aEndianness) override;
    void MapEvent(uint32_t aEventID, uint32_t aAddress, size_t aLength, ZuGenEndianness aEndianness,
                  bool aAdjustAddress) override;
    void AddSelected(const ZuString &aFeatureName) override { mNext.selected.push_back(aFeatureName.Narrow()); }
    void AddInvalidator(const ZuString &aFeatureName) override { mNext.invalidators.push_back(aFeatureName.Narrow()); }
    void AddEnumEntry(const ZuString &aName, uint32_t aValue) override;
    void AddEnumEntry(const ZuString &aName, uint32_t aValue, const ZuString &aDisplayName,
                      ZuGenNameSpace aNameSpace) override;
    void AddVariable(const ZuString &aFeatureName) override { mNext.variables.push_back(aFeatureName.Narrow()); }
    ZuResult CreateInteger(IZuRegister *aRegister, int64_t aMin, int64_t aMax, int64_t aInc) override;
    ZuResult CreateInteger(IZuRegister *aRegister) override;
    ZuResult CreateFloat(IZuRegister *aRegister, double aMin, double aMax) override;
    ZuResult CreateFloat(IZuRegister *aRegister) override;
    ZuResult CreateString(IZuRegister *aRegister) override;
    ZuResult CreateRegister(IZuRegister *aRegister) override;
    ZuResult CreateBoolean(IZuRegister *aRegister) override;
    ZuResult CreateCommand(IZuRegister *aRegister) override;
    ZuResult CreateEnum(IZuRegister *aRegister) override;
    ZuResult CreateIntSwissKnife(const ZuString &aFormula) override;
    ZuResult CreateFloatSwissKnife(const ZuString &aFormula) override;
    ZuResult CreateIntConverter(const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                const ZuString &aToFormula) override;
    ZuResult CreateFloatConverter(const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                  const ZuString &aToFormula) override;
    ZuResult AddInvalidatorTo(const ZuString &aStandardFeatureName, const ZuString &aInvalidatorFeatureName) override;
    ZuResult AddSelectedTo(const ZuString &aSelectorFeatureName, const ZuString &aSelectedFeatureName) override;
    ZuResult SetPIsAvailableFor(const ZuString &aStandardFeatureName, const ZuString &aPIsAvailableFeatureName) override;
    ZuResult SetPIsAvailableForEnumEntry(const ZuString &aStandardFeatureName, const ZuString &aEnumEntryName,
                                         const ZuString &aPIsAvailableFeatureName) override;
    ZuResult SetPIsLockedFor(const ZuString &aStandardFeatureName, const ZuString &aPIsLockedFeatureName) override;
    ZuResult SetPValueFor(const ZuString &aStandardFeatureName, const ZuString &aPValueFeatureName) override;
    ZuResult SetPMinFor(const ZuString &aStandardFeatureName, const ZuString &aPMinFeatureName) override;
    ZuResult SetPMaxFor(const ZuString &aStandardFeatureName, const ZuString &aPMaxFeatureName) override;
    ZuResult SetPIncFor(const ZuString &aStandardFeatureName, const ZuString &aPIncFeatureName) override;
    void SetPMin(const ZuString &aFeatureName) override { mNext.pMin = aFeatureName.Narrow(); }
    void SetPMax(const ZuString &aFeatureName) override { mNext.pMax = aFeatureName.Narrow(); }
    void SetPInc(const ZuString &aFeatureName) override { mNext.pInc = aFeatureName.Narrow(); }

private:
    // Checks the name, takes the register and adds the declaration; the
    // attributes are reset whatever the outcome.
    ZuResult Create(FeatureKind aKind, IZuRegister *aRegister, bool aNeedsValue);
    ZuResult SwissKnife(FeatureKind aKind, const ZuString &aFormula);
    ZuResult Converter(FeatureKind aKind, const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                       const ZuString &aToFormula);
    ZuResult Reference(FeatureReference::Kind aKind, const ZuString &aFeature, const ZuString &aOther,
                       const ZuString &aEntry = ZuString());

    int mSource = -1;
    FeatureDecl mNext;
    std::vector<FeatureDecl> mFeatures;
    std::vector<FeatureReference> mReferences;
};

// The name a browser shows for a feature without a display name: blanks
// between its words, less the first word of its innermost category level
// when the name starts with that word ("DeviceType" in "DeviceControl":
// "Type"; "EventTestTimestamp" in "EventControl\EventTestData": "Test
// Timestamp").
std::string generatedDisplayName(const std::string &aName, const std::string &aCategory);
// Letters, digits and underscores, a letter first.
bool validFeatureName(const std::string &aName);

// Adds the declared features to the description; with several channels
// they follow SourceSelector. False, with aError, when two declarations of
// one name differ in kind or a name is one of the device's own.
bool describeFeatures(const std::vector<FeatureDecl> &aFeatures, const std::vector<FeatureReference> &aReferences,
                      size_t aChannels, DescriptionWriter &aWriter, std::string &aError);

} // namespace softdevice
} // namespace tarn

#endif
