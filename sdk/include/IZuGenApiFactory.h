#ifndef IZU_GEN_API_FACTORY_H
#define IZU_GEN_API_FACTORY_H

#include "ZuBaseApi.h"
#include "ZuGenTypes.h"
#include "ZuResult.h"
#include "ZuString.h"

#include <cstddef>
#include <cstdint>

class IZuRegister;

/// Declares the custom GenApi features of a software device while it starts.
///
/// The software device owns it; it is lent to the callbacks that receive it.
/// One feature is declared at a time: SetName, any attribute setters, at most
/// one MapChunk or MapEvent, the lists (AddSelected, AddInvalidator,
/// AddEnumEntry, AddVariable), then exactly one Create*, which turns the
/// attributes into a feature and resets them.
class ZU_API IZuGenApiFactory
{
public:
    /// Virtual destructor.
    virtual ~IZuGenApiFactory() {}

    /// Sets the name of the next feature: letters, digits and underscores, first a letter.
    /// @param aName The name.
    virtual void SetName(const ZuString &aName) = 0;
    /// Sets the display name shown by GenApi browsers. Without one it is
    /// generated from the name: blanks between words, and the first word of
    /// the feature's last category level removed when the name starts with
    /// it ("DeviceType" in "DeviceControl" becomes "Type").
    /// @param aDisplayName The display name; may hold blanks.
    virtual void SetDisplayName(const ZuString &aDisplayName) = 0;
    /// Sets the category; levels are separated by one backslash, the outer
    /// level first. A feature without a category is hidden from browsers.
    /// @param aCategory The category.
    virtual void SetCategory(const ZuString &aCategory) = 0;
    /// Sets the category and the display name of its innermost level.
    /// @param aCategory The category.
    /// @param aCategoryDisplayName The category's display name.
    virtual void SetCategory(const ZuString &aCategory, const ZuString &aCategoryDisplayName) = 0;
    /// Sets the description.
    /// @param aDescription The description.
    virtual void SetDescription(const ZuString &aDescription) = 0;
    /// Sets the tooltip.
    /// @param aToolTip The tooltip.
    virtual void SetToolTip(const ZuString &aToolTip) = 0;
    /// Sets the access mode; may differ from the register's.
    /// @param aAccessMode The access mode.
    virtual void SetAccessMode(ZuGenAccessMode aAccessMode) = 0;
    /// Sets the numeric representation.
    /// @param aRepresentation The representation.
    virtual void SetRepresentation(ZuGenRepresentation aRepresentation) = 0;
    /// Sets the visibility.
    /// @param aVisibility The visibility.
    virtual void SetVisibility(ZuGenVisibility aVisibility) = 0;
    /// Sets the cache mode: write-through, write-around or none.
    /// @param aCache The cache mode.
    virtual void SetCachable(ZuGenCache aCache) = 0;
    /// Sets the polling time, a hint of how often browsers refresh uncached features.
    /// @param aPollingTime Milliseconds.
    virtual void SetPollingTime(uint32_t aPollingTime) = 0;
    /// Sets the name space: standard for SFNC features, custom otherwise.
    /// @param aNameSpace The name space.
    virtual void SetNameSpace(ZuGenNameSpace aNameSpace) = 0;
    /// True: the feature is read-only while the device streams.
    /// @param aLocked The flag.
    virtual void SetTLLocked(bool aLocked) = 0;
    /// True: the feature is persisted (user sets, persistence files).
    /// @param aStreamable The flag.
    virtual void SetStreamable(bool aStreamable) = 0;
    /// Sets the display unit of an integer, float, SwissKnife or Converter.
    /// @param aUnit The unit.
    virtual void SetUnit(const ZuString &aUnit) = 0;
    /// The feature takes its value from the named feature instead of a register.
    /// @param aFeatureName The feature.
    virtual void SetPValue(const ZuString &aFeatureName) = 0;
    /// The named feature decides whether the feature is available.
    /// @param aFeatureName The feature.
    virtual void SetPIsAvailable(const ZuString &aFeatureName) = 0;
    /// The named feature decides whether the feature is locked.
    /// @param aFeatureName The feature.
    virtual void SetPIsLocked(const ZuString &aFeatureName) = 0;
    /// Maps the next feature into chunk data instead of a register.
    /// @param aChunkID The chunk's ID.
    /// @param aAddress Byte offset in the chunk.
    /// @param aLength Byte length.
    /// @param aEndianness Byte order.
    virtual void MapChunk(uint32_t aChunkID, uint32_t aAddress, size_t aLength,
                          ZuGenEndianness aEndianness = ZuGenEndiannessLittle) = 0;
    /// Maps the next feature into the data of a messaging-channel event.
    /// @param aEventID The event's ID.
    /// @param aAddress Byte offset in the event data.
    /// @param aLength Byte length.
    /// @param aEndianness Byte order.
    /// @param aAdjustAddress True: the address counts from the event's data, after its 24-byte header.
    virtual void MapEvent(uint32_t aEventID, uint32_t aAddress, size_t aLength,
                          ZuGenEndianness aEndianness = ZuGenEndiannessLittle, bool aAdjustAddress = true) = 0;
    /// The named feature selects the next feature (pSelected); one selector
    /// makes a feature a vector, two a table.
    /// @param aFeatureName The selector.
    virtual void AddSelected(const ZuString &aFeatureName) = 0;
    /// A write to the named feature invalidates the next feature's cache.
    /// @param aFeatureName The feature.
    virtual void AddInvalidator(const ZuString &aFeatureName) = 0;
    /// Adds an entry to the next enumeration.
    /// @param aName The entry's name.
    /// @param aValue Its value.
    virtual void AddEnumEntry(const ZuString &aName, uint32_t aValue) = 0;
    /// Adds an entry to the next enumeration.
    /// @param aName The entry's name.
    /// @param aValue Its value.
    /// @param aDisplayName Its display name; empty: generated.
    /// @param aNameSpace Its name space.
    virtual void AddEnumEntry(const ZuString &aName, uint32_t aValue, const ZuString &aDisplayName,
                              ZuGenNameSpace aNameSpace = ZuGenNameSpaceCustom) = 0;
    /// Declares a variable of the next SwissKnife or Converter.
    /// @param aFeatureName The feature the formula names.
    virtual void AddVariable(const ZuString &aFeatureName) = 0;
    /// Creates an integer feature.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @param aMin Minimum.
    /// @param aMax Maximum.
    /// @param aInc Increment.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateInteger(IZuRegister *aRegister, int64_t aMin, int64_t aMax, int64_t aInc = 1) = 0;
    /// Creates an integer feature over the whole range of its register.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateInteger(IZuRegister *aRegister = 0) = 0;
    /// Creates a float feature.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @param aMin Minimum.
    /// @param aMax Maximum.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateFloat(IZuRegister *aRegister, double aMin, double aMax) = 0;
    /// Creates a float feature without limits.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateFloat(IZuRegister *aRegister = 0) = 0;
    /// Creates a string feature.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateString(IZuRegister *aRegister = 0) = 0;
    /// Creates a register (raw bytes) feature.
    /// @param aRegister The register.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateRegister(IZuRegister *aRegister = 0) = 0;
    /// Creates a Boolean feature.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateBoolean(IZuRegister *aRegister = 0) = 0;
    /// Creates a command feature.
    /// @param aRegister The register, or null with a pValue.
    /// @return ZU_OK; ZU_INVALID_PARAMETER; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateCommand(IZuRegister *aRegister = 0) = 0;
    /// Creates an enumeration holding the entries added since the last Create*.
    /// @param aRegister The register, or null for a chunk, event or pValue.
    /// @return ZU_OK; ZU_INVALID_PARAMETER, also without entries; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateEnum(IZuRegister *aRegister = 0) = 0;
    /// Creates a read-only integer whose value is the formula, over the declared variables.
    /// @param aFormula The formula.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an empty formula; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateIntSwissKnife(const ZuString &aFormula) = 0;
    /// Creates a read-only float whose value is the formula, over the declared variables.
    /// @param aFormula The formula.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an empty formula; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateFloatSwissKnife(const ZuString &aFormula) = 0;
    /// Creates an integer over another feature: a read gives aFromFormula
    /// with TO the feature's value; a write stores aToFormula with FROM the
    /// value written.
    /// @param aValueFeatureName The feature converted.
    /// @param aFromFormula Formula of a read.
    /// @param aToFormula Formula of a write.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an empty text; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateIntConverter(const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                        const ZuString &aToFormula) = 0;
    /// Float form of CreateIntConverter.
    /// @param aValueFeatureName The feature converted.
    /// @param aFromFormula Formula of a read.
    /// @param aToFormula Formula of a write.
    /// @return ZU_OK; ZU_INVALID_PARAMETER for an empty text; ZU_NOT_INITIALIZED without a name.
    virtual ZuResult CreateFloatConverter(const ZuString &aValueFeatureName, const ZuString &aFromFormula,
                                          const ZuString &aToFormula) = 0;
    /// A change of the invalidator invalidates a feature of the device's own.
    /// @param aStandardFeatureName The device's feature.
    /// @param aInvalidatorFeatureName The invalidator.
    /// @return ZU_OK.
    virtual ZuResult AddInvalidatorTo(const ZuString &aStandardFeatureName, const ZuString &aInvalidatorFeatureName) = 0;
    /// Adds a selected feature to a selector of the device's own.
    /// @param aSelectorFeatureName The device's selector.
    /// @param aSelectedFeatureName The feature it selects.
    /// @return ZU_OK.
    virtual ZuResult AddSelectedTo(const ZuString &aSelectorFeatureName, const ZuString &aSelectedFeatureName) = 0;
    /// A feature of the device's own is available while the named one is non-zero.
    /// @param aStandardFeatureName The device's feature.
    /// @param aPIsAvailableFeatureName The deciding feature.
    /// @return ZU_OK.
    virtual ZuResult SetPIsAvailableFor(const ZuString &aStandardFeatureName, const ZuString &aPIsAvailableFeatureName) = 0;
    /// An entry of an enumeration of the device's own is available while the named feature is non-zero.
    /// @param aStandardFeatureName The device's enumeration.
    /// @param aEnumEntryName The entry.
    /// @param aPIsAvailableFeatureName The deciding feature.
    /// @return ZU_OK.
    virtual ZuResult SetPIsAvailableForEnumEntry(const ZuString &aStandardFeatureName, const ZuString &aEnumEntryName,
                                                 const ZuString &aPIsAvailableFeatureName) = 0;
    /// The named feature decides whether a feature of the device's own is locked.
    /// @param aStandardFeatureName The device's feature.
    /// @param aPIsLockedFeatureName The deciding feature.
    /// @return ZU_OK.
    virtual ZuResult SetPIsLockedFor(const ZuString &aStandardFeatureName, const ZuString &aPIsLockedFeatureName) = 0;
    /// The named feature provides the value of a feature of the device's own.
    /// @param aStandardFeatureName The device's feature.
    /// @param aPValueFeatureName The providing feature.
    /// @return ZU_OK.
    virtual ZuResult SetPValueFor(const ZuString &aStandardFeatureName, const ZuString &aPValueFeatureName) = 0;
    /// The named feature provides the minimum of a device's integer or float.
    /// @param aStandardFeatureName The device's feature.
    /// @param aPMinFeatureName The providing feature.
    /// @return ZU_OK.
    virtual ZuResult SetPMinFor(const ZuString &aStandardFeatureName, const ZuString &aPMinFeatureName) = 0;
    /// The named feature provides the maximum of a device's integer or float.
    /// @param aStandardFeatureName The device's feature.
    /// @param aPMaxFeatureName The providing feature.
    /// @return ZU_OK.
    virtual ZuResult SetPMaxFor(const ZuString &aStandardFeatureName, const ZuString &aPMaxFeatureName) = 0;
    /// The named feature provides the increment of a device's integer.
    /// @param aStandardFeatureName The device's feature.
    /// @param aPIncFeatureName The providing feature.
    /// @return ZU_OK.
    virtual ZuResult SetPIncFor(const ZuString &aStandardFeatureName, const ZuString &aPIncFeatureName) = 0;
    /// The next integer or float takes its minimum from the named feature.
    /// @param aFeatureName The feature.
    virtual void SetPMin(const ZuString &aFeatureName) = 0;
    /// The next integer or float takes its maximum from the named feature.
    /// @param aFeatureName The feature.
    virtual void SetPMax(const ZuString &aFeatureName) = 0;
    /// The next integer takes its increment from the named feature.
    /// @param aFeatureName The feature.
    virtual void SetPInc(const ZuString &aFeatureName) = 0;
};

#endif
