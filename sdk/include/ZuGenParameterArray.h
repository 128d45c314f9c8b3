#ifndef ZU_GEN_PARAMETER_ARRAY_H
#define ZU_GEN_PARAMETER_ARRAY_H

#include "ZuBaseApi.h"
#include "ZuGenApi.h"
#include "ZuGenParameter.h"
#include "ZuGenTypes.h"
#include "ZuResult.h"
#include "ZuString.h"

#include <memory>

/// The GenICam features of one node map: a device's, its communication
/// layer's or a stream's. Parameters, categories and the node map handed
/// out stay owned by the array and live as long as it does.
class ZU_API ZuGenParameterArray
{
public:
    /// Builds an empty array, with no features until a description is loaded.
    ZuGenParameterArray();
    /// Destroys the array with its parameters and node map.
    virtual ~ZuGenParameterArray();

    /// Returns the number of parameters.
    uint32_t GetCount() const;
    /// Returns the parameter at an index, or null past the end.
    /// @param aIndex Position, from 0.
    ZuGenParameter *Get(uint32_t aIndex);
    /// Returns the parameter with a name, or null.
    /// @param aName The feature's name.
    ZuGenParameter *Get(const ZuString &aName);
    /// Returns the parameter at an index, or null past the end.
    /// @param aIndex Position, from 0.
    ZuGenParameter *operator[](uint32_t aIndex);
    /// Returns the parameter with a name, or null.
    /// @param aName The feature's name.
    ZuGenParameter *operator[](const ZuString &aName);

    /// Returns the integer feature with a name, or null (also for another kind).
    /// @param aName The feature's name.
    ZuGenInteger *GetInteger(const ZuString &aName);
    /// Returns the float feature with a name, or null.
    /// @param aName The feature's name.
    ZuGenFloat *GetFloat(const ZuString &aName);
    /// Returns the enumeration feature with a name, or null.
    /// @param aName The feature's name.
    ZuGenEnum *GetEnum(const ZuString &aName);
    /// Returns the boolean feature with a name, or null.
    /// @param aName The feature's name.
    ZuGenBoolean *GetBoolean(const ZuString &aName);
    /// Returns the command feature with a name, or null.
    /// @param aName The feature's name.
    ZuGenCommand *GetCommand(const ZuString &aName);
    /// Returns the text feature with a name, or null.
    /// @param aName The feature's name.
    ZuGenString *GetString(const ZuString &aName);
    /// Returns the register feature with a name, or null.
    /// @param aName The feature's name.
    ZuGenRegister *GetRegister(const ZuString &aName);

    /// Reads an integer feature by name.
    /// @param aName The feature's name.
    /// @param aValue Receives the value.
    ZuResult GetIntegerValue(const ZuString &aName, int64_t &aValue);
    /// Reads a float feature by name.
    /// @param aName The feature's name.
    /// @param aValue Receives the value.
    ZuResult GetFloatValue(const ZuString &aName, double &aValue);
    /// Reads a boolean feature by name.
    /// @param aName The feature's name.
    /// @param aValue Receives the value.
    ZuResult GetBooleanValue(const ZuString &aName, bool &aValue);
    /// Reads a text feature by name.
    /// @param aName The feature's name.
    /// @param aOutText Receives the text.
    ZuResult GetStringValue(const ZuString &aName, ZuString &aOutText);
    /// Reads the current entry name of an enumeration by name.
    /// @param aName The feature's name.
    /// @param aOutText Receives the entry's name.
    ZuResult GetEnumValue(const ZuString &aName, ZuString &aOutText);
    /// Reads the current entry value of an enumeration by name.
    /// @param aName The feature's name.
    /// @param aValue Receives the entry's value.
    ZuResult GetEnumValue(const ZuString &aName, int64_t &aValue);

    /// Writes an integer feature by name.
    /// @param aName The feature's name.
    /// @param aValue The new value.
    ZuResult SetIntegerValue(const ZuString &aName, int64_t aValue);
    /// Writes a float feature by name.
    /// @param aName The feature's name.
    /// @param aValue The new value.
    ZuResult SetFloatValue(const ZuString &aName, double aValue);
    /// Writes a boolean feature by name.
    /// @param aName The feature's name.
    /// @param aValue The new value.
    ZuResult SetBooleanValue(const ZuString &aName, bool aValue);
    /// Writes a text feature by name.
    /// @param aName The feature's name.
    /// @param aText The new text.
    ZuResult SetStringValue(const ZuString &aName, const ZuString &aText);
    /// Chooses an enumeration entry by name.
    /// @param aName The feature's name.
    /// @param aText The entry's name.
    ZuResult SetEnumValue(const ZuString &aName, const ZuString &aText);
    /// Chooses an enumeration entry by value.
    /// @param aName The feature's name.
    /// @param aValue The entry's value.
    ZuResult SetEnumValue(const ZuString &aName, int64_t aValue);
    /// Runs a command by name.
    /// @param aName The feature's name.
    ZuResult ExecuteCommand(const ZuString &aName);

    /// Reads the range of an integer feature by name.
    /// @param aName The feature's name.
    /// @param aMin Receives the minimum.
    /// @param aMax Receives the maximum.
    ZuResult GetIntegerRange(const ZuString &aName, int64_t &aMin, int64_t &aMax);
    /// Reads the range of a float feature by name.
    /// @param aName The feature's name.
    /// @param aMin Receives the minimum.
    /// @param aMax Receives the maximum.
    ZuResult GetFloatRange(const ZuString &aName, double &aMin, double &aMax);

    /// Drops every cached feature value.
    ZuResult InvalidateCache();
    /// Invalidates the features whose polling time has passed.
    ZuResult Poll();

    /// Returns the number of categories.
    uint32_t GetCategoryCount() const;
    /// Returns the category at an index, or null.
    /// @param aIndex Position, from 0.
    ZuGenCategory *GetCategory(uint32_t aIndex);
    /// Returns the category with a name, or null.
    /// @param aName The category's name.
    ZuGenCategory *GetCategory(const ZuString &aName);

    /// Returns the node map behind the features, or null when none is loaded.
    ZU_GENAPI_NS::INodeMap *GetNodeMap();
    /// Returns the access the node map's port allows.
    ZuGenAccessMode GetAccessMode() const;

    /// Lets the chunk features read chunk data from a received payload. The
    /// memory must stay valid and unchanged until DetachDataChunks.
    /// @param aBuffer The chunk data.
    /// @param aBufferLength Its length in bytes.
    ZuResult AttachDataChunks(uint8_t *aBuffer, uint32_t aBufferLength);
    /// Ends the attachment of chunk data.
    ZuResult DetachDataChunks();

private:
    friend struct tarn::GenParameterAccess;
    ZuGenParameterArray(const ZuGenParameterArray &) = delete;
    ZuGenParameterArray &operator=(const ZuGenParameterArray &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

/// Changes features of a parameter array and puts them back when it is
/// destroyed. Every change made through the stack pushes the feature's
/// previous value; destruction restores them in reverse order, so that a
/// feature behind a selector is restored while the selector still has the
/// value it had when the feature was changed.
class ZU_API ZuGenStateStack
{
public:
    /// Builds a stack over a parameter array, which must outlive it.
    /// @param aArray The array.
    ZuGenStateStack(ZuGenParameterArray *aArray);
    /// Restores the features changed through the stack.
    virtual ~ZuGenStateStack();

    /// Writes an integer feature, remembering its value.
    /// @param aName The feature's name.
    /// @param aValue The new value.
    ZuResult SetIntegerValue(const ZuString &aName, int64_t aValue);
    /// Writes a float feature, remembering its value.
    /// @param aName The feature's name.
    /// @param aValue The new value.
    ZuResult SetFloatValue(const ZuString &aName, double aValue);
    /// Writes a boolean feature, remembering its value.
    /// @param aName The feature's name.
    /// @param aValue The new value.
    ZuResult SetBooleanValue(const ZuString &aName, bool aValue);
    /// Writes a text feature, remembering its value.
    /// @param aName The feature's name.
    /// @param aText The new text.
    ZuResult SetStringValue(const ZuString &aName, const ZuString &aText);
    /// Chooses an enumeration entry by name, remembering the entry.
    /// @param aName The feature's name.
    /// @param aText The entry's name.
    ZuResult SetEnumValue(const ZuString &aName, const ZuString &aText);
    /// Chooses an enumeration entry by value, remembering the entry.
    /// @param aName The feature's name.
    /// @param aValue The entry's value.
    ZuResult SetEnumValue(const ZuString &aName, int64_t aValue);

private:
    friend struct tarn::GenParameterAccess;
    ZuGenStateStack(const ZuGenStateStack &) = delete;
    ZuGenStateStack &operator=(const ZuGenStateStack &) = delete;
    struct Impl;
    std::unique_ptr<Impl> mImpl;
};

#endif
