#ifndef ZU_GEN_PARAMETER_H
#define ZU_GEN_PARAMETER_H

#include "ZuBaseApi.h"
#include "ZuGenApi.h"
#include "ZuGenTypes.h"
#include "ZuResult.h"
#include "ZuString.h"

#include <memory>

class ZuGenParameter;
class ZuGenParameterArray;

// The parameter library's own access to the state of these classes; what
// other SDK libraries and the bindings reach beyond this API is in the
// internal tier (tarn/genicam/Parameters.h).
namespace tarn { struct GenParameterAccess; }

/// Receiver of parameter update notifications.
///
/// A sink registered with a parameter is told each time the parameter's
/// value may have changed: after a write to it or to anything it depends
/// on, after an invalidation, after a poll. The sink is not owned by the
/// parameter and must outlive its registration.
class ZU_API ZuGenEventSink
{
public:
    /// Called after the value of a parameter the sink is registered with may
    /// have changed, on the thread that caused the change.
    /// @param aParameter The parameter.
    virtual void OnParameterUpdate(ZuGenParameter *aParameter) = 0;
    // Virtual so that a derived sink deleted through this interface is
    // destroyed whole; deliberately undocumented, so that its Python
    // function carries no docstring.
    virtual ~ZuGenEventSink() {}
};

/// A list of parameters with a cursor. The list does not own its items:
/// they stay owned by their parameter array.
class ZU_API ZuGenParameterList
{
public:
    /// Builds an empty list.
    ZuGenParameterList();
    /// Destroys the list; its items stay with their parameter array.
    ~ZuGenParameterList();

    /// Removes every item.
    void Clear();
    /// Appends a parameter and puts the cursor back to the start; a null
    /// parameter is not added.
    /// @param aParameter The parameter to add.
    void Add(ZuGenParameter *aParameter);
    /// Returns the number of items.
    uint32_t GetSize() const;
    /// Returns the item at an index, or null past the end.
    /// @param aIndex Position in the list.
    ZuGenParameter *GetItem(uint32_t aIndex);
    /// Returns the item at an index, or null past the end.
    /// @param aIndex Position in the list.
    ZuGenParameter *operator[](uint32_t aIndex);
    /// Moves the cursor to the first item and returns it; null when empty.
    ZuGenParameter *GetFirst();
    /// Moves the cursor on and returns the next item; null after the last.
    ZuGenParameter *GetNext();

private:
    ZuGenParameterList(const ZuGenParameterList &) = delete;
    ZuGenParameterList &operator=(const ZuGenParameterList &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

/// One GenICam feature: its texts, type, flags, selectors, notifications
/// and value as text. The typed kinds derive from it. Parameters belong to
/// their parameter array.
class ZU_API ZuGenParameter
{
public:
    /// Gets the feature's name.
    /// @param aOutText Receives the name.
    ZuResult GetName(ZuString &aOutText) const;
    /// Gets the name of the first category that lists the feature.
    /// @param aOutText Receives the category name.
    ZuResult GetCategory(ZuString &aOutText) const;
    /// Gets the short help text.
    /// @param aOutText Receives the tool tip.
    ZuResult GetToolTip(ZuString &aOutText) const;
    /// Gets the long help text.
    /// @param aOutText Receives the description.
    ZuResult GetDescription(ZuString &aOutText) const;
    /// Gets the name to show to a user.
    /// @param aOutText Receives the display name.
    ZuResult GetDisplayName(ZuString &aOutText) const;
    /// Gets the current value as text.
    /// @param aOutText Receives the value.
    ZuResult ToString(ZuString &aOutText) const;
    /// Gets the kind of value.
    /// @param aType Receives a ZuGenType.
    ZuResult GetType(ZuGenType &aType) const;
    /// Gets whether the name is standard or maker-specific.
    /// @param aNameSpace Receives a ZuGenNameSpace.
    ZuResult GetNameSpace(ZuGenNameSpace &aNameSpace) const;
    /// Gets the audience the feature is meant for.
    /// @param aVisibility Receives a ZuGenVisibility.
    ZuResult GetVisibility(ZuGenVisibility &aVisibility) const;

    /// Tells whether reads are served from the cache.
    /// @param aFlag Receives the answer.
    ZuResult IsValueCached(bool &aFlag) const;
    /// Tells whether the value is saved with the device's settings.
    /// @param aFlag Receives the answer.
    ZuResult IsPersistent(bool &aFlag) const;
    /// Tells whether the device has the feature.
    /// @param aFlag Receives the answer.
    ZuResult IsImplemented(bool &aFlag) const;
    /// Tells whether the feature can be used in the device's current state.
    /// @param aFlag Receives the answer.
    ZuResult IsAvailable(bool &aFlag) const;
    /// Tells whether the value can be written now.
    /// @param aFlag Receives the answer.
    ZuResult IsWritable(bool &aFlag) const;
    /// Tells whether the value can be read now.
    /// @param aFlag Receives the answer.
    ZuResult IsReadable(bool &aFlag) const;
    /// Tells whether the value may be saved to and loaded from a file.
    /// @param aFlag Receives the answer.
    ZuResult IsStreamable(bool &aFlag) const;
    /// Tells whether other features depend on this one's value.
    /// @param aFlag Receives the answer.
    ZuResult IsSelector(bool &aFlag) const;
    /// Tells whether the feature is shown at a visibility level.
    /// @param aVisibility The level of the user.
    /// @param aFlag Receives the answer.
    ZuResult IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const;

    /// Lists the features this one selects.
    /// @param aList Receives the features.
    ZuResult GetSelectedParameters(ZuGenParameterList &aList) const;
    /// Lists the features that select this one.
    /// @param aList Receives the features.
    ZuResult GetSelectingParameters(ZuGenParameterList &aList) const;

    /// Registers a sink for update notifications; the sink is not owned.
    /// @param aEventSink The sink.
    ZuResult RegisterEventSink(ZuGenEventSink *aEventSink);
    /// Removes a sink registered before.
    /// @param aRegisteredSink The sink.
    ZuResult UnregisterEventSink(ZuGenEventSink *aRegisteredSink);

    /// Sets the value from text.
    /// @param aValue The value as text.
    ZuResult FromString(const ZuString &aValue);

    /// Returns the GenApi node behind the feature.
    ZU_GENAPI_NS::INode *GetNode();

    /// Tells whether update notifications are sent.
    bool GetUpdatesEnabled();
    /// Turns update notifications on or off.
    /// @param aEnabled true to send them.
    void SetUpdatesEnabled(bool aEnabled);

protected:
    // Made and deleted by their array only.
    explicit ZuGenParameter(ZU_GENAPI_NS::INode *aNode);
    virtual ~ZuGenParameter();

private:
    friend struct tarn::GenParameterAccess;
    ZuGenParameter(const ZuGenParameter &) = delete;
    ZuGenParameter &operator=(const ZuGenParameter &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

/// An integer feature.
class ZU_API ZuGenInteger : public ZuGenParameter
{
public:
    /// Writes the value.
    /// @param aValue The new value, within the range and increment.
    ZuResult SetValue(int64_t aValue);
    /// Reads the value.
    /// @param aValue Receives the value.
    ZuResult GetValue(int64_t &aValue) const;
    /// Reads the smallest allowed value.
    /// @param aValue Receives the minimum.
    ZuResult GetMin(int64_t &aValue) const;
    /// Reads the largest allowed value.
    /// @param aValue Receives the maximum.
    ZuResult GetMax(int64_t &aValue) const;
    /// Reads the step between allowed values.
    /// @param aValue Receives the increment.
    ZuResult GetIncrement(int64_t &aValue) const;
    /// Gets how the value should be shown.
    /// @param aRepresentation Receives a ZuGenRepresentation.
    ZuResult GetRepresentation(ZuGenRepresentation &aRepresentation) const;
    /// Gets the unit of the value.
    /// @param aOutText Receives the unit.
    ZuResult GetUnit(ZuString &aOutText) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenInteger(ZU_GENAPI_NS::INode *aNode) : ZuGenParameter(aNode) {}
};

/// A floating-point feature.
class ZU_API ZuGenFloat : public ZuGenParameter
{
public:
    /// Writes the value.
    /// @param aValue The new value, within the range.
    ZuResult SetValue(double aValue);
    /// Reads the value.
    /// @param aValue Receives the value.
    ZuResult GetValue(double &aValue) const;
    /// Reads the smallest allowed value.
    /// @param aValue Receives the minimum.
    ZuResult GetMin(double &aValue) const;
    /// Reads the largest allowed value.
    /// @param aValue Receives the maximum.
    ZuResult GetMax(double &aValue) const;
    /// Gets how the value should be shown.
    /// @param aRepresentation Receives a ZuGenRepresentation.
    ZuResult GetRepresentation(ZuGenRepresentation &aRepresentation) const;
    /// Gets the unit of the value.
    /// @param aOutText Receives the unit.
    ZuResult GetUnit(ZuString &aOutText) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenFloat(ZU_GENAPI_NS::INode *aNode) : ZuGenParameter(aNode) {}
};

/// A true-or-false feature.
class ZU_API ZuGenBoolean : public ZuGenParameter
{
public:
    /// Writes the value.
    /// @param aValue The new value.
    ZuResult SetValue(bool aValue);
    /// Reads the value.
    /// @param aValue Receives the value.
    ZuResult GetValue(bool &aValue) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenBoolean(ZU_GENAPI_NS::INode *aNode) : ZuGenParameter(aNode) {}
};

/// An action of the device.
class ZU_API ZuGenCommand : public ZuGenParameter
{
public:
    /// Starts the action.
    ZuResult Execute();
    /// Tells whether the last action has finished.
    /// @param aDone Receives the answer.
    ZuResult IsDone(bool &aDone);

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenCommand(ZU_GENAPI_NS::INode *aNode) : ZuGenParameter(aNode) {}
};

/// A text feature.
class ZU_API ZuGenString : public ZuGenParameter
{
public:
    /// Writes the value.
    /// @param aValue The new text.
    ZuResult SetValue(const ZuString &aValue);
    /// Reads the value.
    /// @param aOutText Receives the text.
    ZuResult GetValue(ZuString &aOutText) const;
    /// Reads the longest text the feature holds, in bytes.
    /// @param aValue Receives the length.
    ZuResult GetMaxLength(int64_t &aValue) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenString(ZU_GENAPI_NS::INode *aNode) : ZuGenParameter(aNode) {}
};

/// A raw block of register bytes.
class ZU_API ZuGenRegister : public ZuGenParameter
{
public:
    /// Reads the register into caller memory. Fails without writing when
    /// aLength is smaller than the register; never writes past aLength.
    /// @param aData Memory of at least aLength bytes.
    /// @param aLength Size of that memory.
    ZuResult Get(uint8_t *aData, int64_t aLength) const;
    /// Writes the register from caller memory. Fails when aLength is
    /// smaller than the register; never reads past aLength.
    /// @param aData Memory of at least aLength bytes.
    /// @param aLength Size of that memory.
    ZuResult Set(const uint8_t *aData, int64_t aLength);
    /// Reads the register's length in bytes.
    /// @param aValue Receives the length.
    ZuResult GetLength(int64_t &aValue) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenRegister(ZU_GENAPI_NS::INode *aNode) : ZuGenParameter(aNode) {}
};

/// One named value of an enumeration.
class ZU_API ZuGenEnumEntry
{
public:
    /// Reads the entry's integer value.
    /// @param aValue Receives the value.
    ZuResult GetValue(int64_t &aValue) const;
    /// Gets the entry's symbolic name.
    /// @param aOutText Receives the name.
    ZuResult GetName(ZuString &aOutText) const;
    /// Gets the short help text.
    /// @param aOutText Receives the tool tip.
    ZuResult GetToolTip(ZuString &aOutText) const;
    /// Gets the long help text.
    /// @param aOutText Receives the description.
    ZuResult GetDescription(ZuString &aOutText) const;
    /// Gets the name to show to a user.
    /// @param aOutText Receives the display name.
    ZuResult GetDisplayName(ZuString &aOutText) const;
    /// Gets the audience the entry is meant for.
    /// @param aVisibility Receives a ZuGenVisibility.
    ZuResult GetVisibility(ZuGenVisibility &aVisibility) const;
    /// Gets whether the name is standard or maker-specific.
    /// @param aNameSpace Receives a ZuGenNameSpace.
    ZuResult GetNameSpace(ZuGenNameSpace &aNameSpace) const;
    /// Tells whether the entry is shown at a visibility level.
    /// @param aVisibility The level of the user.
    /// @param aFlag Receives the answer.
    ZuResult IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const;
    /// Tells whether the entry can be chosen now.
    /// @param aFlag Receives the answer.
    ZuResult IsAvailable(bool &aFlag) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenEnumEntry(ZU_GENAPI_NS::INode *aNode) : mNode(aNode) {}
    ZU_GENAPI_NS::INode *mNode;
};

/// A feature whose value is one of a list of named entries.
class ZU_API ZuGenEnum : public ZuGenParameter
{
public:
    /// Chooses the entry with a value.
    /// @param aValue The entry's value.
    ZuResult SetValue(int64_t aValue);
    /// Chooses the entry with a name.
    /// @param aSymbol The entry's symbolic name.
    ZuResult SetValue(const ZuString &aSymbol);
    /// Reads the current entry's value.
    /// @param aValue Receives the value.
    ZuResult GetValue(int64_t &aValue) const;
    /// Reads the current entry's name.
    /// @param aOutText Receives the name.
    ZuResult GetValue(ZuString &aOutText) const;
    /// Counts the entries.
    /// @param aValue Receives the count.
    ZuResult GetEntriesCount(int64_t &aValue) const;
    /// Finds an entry by position.
    /// @param aIndex Position, from 0.
    /// @param aEntry Receives the entry, or null.
    ZuResult GetEntryByIndex(int64_t aIndex, const ZuGenEnumEntry **aEntry) const;
    /// Finds an entry by symbolic name.
    /// @param aName The name.
    /// @param aEntry Receives the entry, or null.
    ZuResult GetEntryByName(const ZuString &aName, const ZuGenEnumEntry **aEntry) const;
    /// Finds an entry by value.
    /// @param aValue The value.
    /// @param aEntry Receives the entry, or null.
    ZuResult GetEntryByValue(int64_t aValue, const ZuGenEnumEntry **aEntry) const;

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenEnum(ZU_GENAPI_NS::INode *aNode);
};

/// A group of features in the feature tree.
class ZU_API ZuGenCategory
{
public:
    /// Gets the category's name.
    /// @param aOutText Receives the name.
    ZuResult GetName(ZuString &aOutText) const;
    /// Gets the short help text.
    /// @param aOutText Receives the tool tip.
    ZuResult GetToolTip(ZuString &aOutText) const;
    /// Gets the long help text.
    /// @param aOutText Receives the description.
    ZuResult GetDescription(ZuString &aOutText) const;
    /// Gets the name to show to a user.
    /// @param aOutText Receives the display name.
    ZuResult GetDisplayName(ZuString &aOutText) const;
    /// Gets whether the name is standard or maker-specific.
    /// @param aNameSpace Receives a ZuGenNameSpace.
    ZuResult GetNameSpace(ZuGenNameSpace &aNameSpace) const;
    /// Gets the audience the category is meant for.
    /// @param aVisibility Receives a ZuGenVisibility.
    ZuResult GetVisibility(ZuGenVisibility &aVisibility) const;
    /// Tells whether the category is shown at a visibility level.
    /// @param aVisibility The level of the user.
    /// @param aFlag Receives the answer.
    ZuResult IsVisible(ZuGenVisibility aVisibility, bool &aFlag) const;
    /// Tells whether the device has the category.
    /// @param aFlag Receives the answer.
    ZuResult IsImplemented(bool &aFlag) const;
    /// Returns the GenApi node behind the category.
    ZU_GENAPI_NS::INode *GetNode();

private:
    friend struct tarn::GenParameterAccess;
    explicit ZuGenCategory(ZU_GENAPI_NS::INode *aNode) : mNode(aNode) {}
    ZU_GENAPI_NS::INode *mNode;
};

#endif
