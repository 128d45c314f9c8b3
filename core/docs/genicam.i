/* Docstrings of the GenICam operations that return out-values, in the
 * modules whose profile gives signature docstrings (their Python signature
 * and what comes back), and, in every module, of the chunk attachment,
 * which takes a NumPy array in place of memory and its length and keeps it
 * alive, where the SDK's own text leaves that to the caller. */

%feature("docstring") ZuGenParameterArray::AttachDataChunks "AttachDataChunks(aBuffer) -> ZuResult

Lets the chunk features read chunk data from a one-dimensional NumPy array; an earlier
attachment ends first, even when this one fails. The array is read where it is, not
copied, and kept alive until DetachDataChunks or the next attach; after changing its
bytes, call InvalidateCache before reading the features again. An input that is not a
C-contiguous uint8 array (a list, another element type) is attached as a copy; elements
that do not convert to uint8 safely raise TypeError.
:type aBuffer: numpy.ndarray
:param aBuffer: The chunk data, each chunk followed by its trailer, less than 4 GiB
      (OverflowError beyond).
:rtype: :py:class:`ZuResult`
:return: ZU_OK, an empty array included; ZU_NOT_INITIALIZED when no description is
      loaded; ZU_INVALID_DATA_FORMAT when the trailers do not form a chunk list.";

#ifdef TARN_SIGNATURE_DOCS

%define TARN_GEN_DOC(METHOD, TEXT)
%feature("docstring") METHOD TEXT;
%enddef
TARN_GEN_DOC(ZuGenParameter::GetName, "GetName() -> ZuResult, str\n\nThe feature's name.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetCategory, "GetCategory() -> ZuResult, str\n\nThe name of the first category that lists the feature.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetToolTip, "GetToolTip() -> ZuResult, str\n\nThe short help text.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetDescription, "GetDescription() -> ZuResult, str\n\nThe long help text.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetDisplayName, "GetDisplayName() -> ZuResult, str\n\nThe name to show to a user.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::ToString, "ToString() -> ZuResult, str\n\nThe current value as text.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetType, "GetType() -> ZuResult, int\n\nThe kind of value, a ZuGenType constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetNameSpace, "GetNameSpace() -> ZuResult, int\n\nWhether the name is standard or maker-specific, a ZuGenNameSpace constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetVisibility, "GetVisibility() -> ZuResult, int\n\nThe audience the feature is meant for, a ZuGenVisibility constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsValueCached, "IsValueCached() -> ZuResult, bool\n\nWhether reads are served from the cache; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsPersistent, "IsPersistent() -> ZuResult, bool\n\nWhether the value is saved with the device's settings; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsImplemented, "IsImplemented() -> ZuResult, bool\n\nWhether the device has the feature; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsAvailable, "IsAvailable() -> ZuResult, bool\n\nWhether the feature can be used now; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsWritable, "IsWritable() -> ZuResult, bool\n\nWhether the value can be written now; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsReadable, "IsReadable() -> ZuResult, bool\n\nWhether the value can be read now; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsStreamable, "IsStreamable() -> ZuResult, bool\n\nWhether the value may be saved to and loaded from a file; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsSelector, "IsSelector() -> ZuResult, bool\n\nWhether other features depend on this one's value; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::IsVisible, "IsVisible(aVisibility) -> ZuResult, bool\n\nWhether the feature is shown at a visibility level; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetSelectedParameters, "GetSelectedParameters() -> ZuResult, ZuGenParameterList\n\nThe features this one selects, in a new list owned by Python.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameter::GetSelectingParameters, "GetSelectingParameters() -> ZuResult, ZuGenParameterList\n\nThe features that select this one, in a new list owned by Python.\n:rtype: list")
TARN_GEN_DOC(ZuGenInteger::GetValue, "GetValue() -> ZuResult, int\n\nThe value.\n:rtype: list")
TARN_GEN_DOC(ZuGenInteger::GetMin, "GetMin() -> ZuResult, int\n\nThe smallest allowed value.\n:rtype: list")
TARN_GEN_DOC(ZuGenInteger::GetMax, "GetMax() -> ZuResult, int\n\nThe largest allowed value.\n:rtype: list")
TARN_GEN_DOC(ZuGenInteger::GetIncrement, "GetIncrement() -> ZuResult, int\n\nThe step between allowed values.\n:rtype: list")
TARN_GEN_DOC(ZuGenInteger::GetRepresentation, "GetRepresentation() -> ZuResult, int\n\nHow the value should be shown, a ZuGenRepresentation constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenInteger::GetUnit, "GetUnit() -> ZuResult, str\n\nThe unit of the value.\n:rtype: list")
TARN_GEN_DOC(ZuGenFloat::GetValue, "GetValue() -> ZuResult, float\n\nThe value.\n:rtype: list")
TARN_GEN_DOC(ZuGenFloat::GetMin, "GetMin() -> ZuResult, float\n\nThe smallest allowed value.\n:rtype: list")
TARN_GEN_DOC(ZuGenFloat::GetMax, "GetMax() -> ZuResult, float\n\nThe largest allowed value.\n:rtype: list")
TARN_GEN_DOC(ZuGenFloat::GetRepresentation, "GetRepresentation() -> ZuResult, int\n\nHow the value should be shown, a ZuGenRepresentation constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenFloat::GetUnit, "GetUnit() -> ZuResult, str\n\nThe unit of the value.\n:rtype: list")
TARN_GEN_DOC(ZuGenBoolean::GetValue, "GetValue() -> ZuResult, bool\n\nThe value; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenCommand::IsDone, "IsDone() -> ZuResult, bool\n\nWhether the last action has finished; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenString::GetValue, "GetValue() -> ZuResult, str\n\nThe text.\n:rtype: list")
TARN_GEN_DOC(ZuGenString::GetMaxLength, "GetMaxLength() -> ZuResult, int\n\nThe longest text the feature holds, in bytes.\n:rtype: list")
TARN_GEN_DOC(ZuGenRegister::GetLength, "GetLength() -> ZuResult, int\n\nThe register's length in bytes.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnum::GetValueInt, "GetValueInt() -> ZuResult, int\n\nThe current entry's value.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnum::GetValueString, "GetValueString() -> ZuResult, str\n\nThe current entry's name.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnum::GetEntriesCount, "GetEntriesCount() -> ZuResult, int\n\nThe number of entries.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnum::GetEntryByIndex, "GetEntryByIndex(aIndex) -> ZuResult, ZuGenEnumEntry\n\nThe entry at a position, or None.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnum::GetEntryByName, "GetEntryByName(aName) -> ZuResult, ZuGenEnumEntry\n\nThe entry with a symbolic name, or None.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnum::GetEntryByValue, "GetEntryByValue(aValue) -> ZuResult, ZuGenEnumEntry\n\nThe entry with a value, or None.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetValue, "GetValue() -> ZuResult, int\n\nThe entry's value.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetName, "GetName() -> ZuResult, str\n\nThe entry's symbolic name.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetToolTip, "GetToolTip() -> ZuResult, str\n\nThe short help text.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetDescription, "GetDescription() -> ZuResult, str\n\nThe long help text.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetDisplayName, "GetDisplayName() -> ZuResult, str\n\nThe name to show to a user.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetVisibility, "GetVisibility() -> ZuResult, int\n\nThe audience the entry is meant for, a ZuGenVisibility constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::GetNameSpace, "GetNameSpace() -> ZuResult, int\n\nWhether the name is standard or maker-specific, a ZuGenNameSpace constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::IsVisible, "IsVisible(aVisibility) -> ZuResult, bool\n\nWhether the entry is shown at a visibility level; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenEnumEntry::IsAvailable, "IsAvailable() -> ZuResult, bool\n\nWhether the entry can be chosen now; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::GetName, "GetName() -> ZuResult, str\n\nThe category's name.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::GetToolTip, "GetToolTip() -> ZuResult, str\n\nThe short help text.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::GetDescription, "GetDescription() -> ZuResult, str\n\nThe long help text.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::GetDisplayName, "GetDisplayName() -> ZuResult, str\n\nThe name to show to a user.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::GetNameSpace, "GetNameSpace() -> ZuResult, int\n\nWhether the name is standard or maker-specific, a ZuGenNameSpace constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::GetVisibility, "GetVisibility() -> ZuResult, int\n\nThe audience the category is meant for, a ZuGenVisibility constant.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::IsVisible, "IsVisible(aVisibility) -> ZuResult, bool\n\nWhether the category is shown at a visibility level; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenCategory::IsImplemented, "IsImplemented() -> ZuResult, bool\n\nWhether the device has the category; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::GetIntegerValue, "GetIntegerValue(aName) -> ZuResult, int\n\nReads an integer feature by name.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::GetFloatValue, "GetFloatValue(aName) -> ZuResult, float\n\nReads a float feature by name.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::GetBooleanValue, "GetBooleanValue(aName) -> ZuResult, bool\n\nReads a boolean feature by name; the bool comes whatever the result.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::GetStringValue, "GetStringValue(aName) -> ZuResult, str\n\nReads a text feature by name.\n:rtype: list")
/* Renamed operations take their documentation under the declared name. */
TARN_GEN_DOC(ZuGenParameterArray::GetEnumValue(const ZuString &, ZuString &), "GetEnumValueString(aName) -> ZuResult, str\n\nReads the current entry name of an enumeration by name.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::GetEnumValue(const ZuString &, int64_t &), "GetEnumValueInt(aName) -> ZuResult, int\n\nReads the current entry value of an enumeration by name.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::SetStringValue, "SetStringValue(aName, aText) -> ZuResult, str\n\nWrites a text feature by name; the text written comes back.\n:rtype: list")
TARN_GEN_DOC(ZuGenParameterArray::GetIntegerRange, "GetIntegerRange(aName) -> ZuResult, int, int\n\nReads the range of an integer feature by name: (ZuResult, minimum, maximum).\n:rtype: tuple")
TARN_GEN_DOC(ZuGenParameterArray::GetFloatRange, "GetFloatRange(aName) -> ZuResult, float, float\n\nReads the range of a float feature by name: (ZuResult, minimum, maximum).\n:rtype: tuple")
/* An overloaded function has one docstring: SWIG takes it from one overload,
 * so each carries the blocks of both. */
TARN_GEN_DOC(ZuGenParameterArray::SetEnumValue, "*Overload 1:*\nSetEnumValue(aName, aText) -> ZuResult, str\n\nChooses an enumeration entry by name; the name written comes back.\n:rtype: list\n\n|\n\n*Overload 2:*\nSetEnumValue(aName, aValue) -> ZuResult\n\nChooses an enumeration entry by value.")
TARN_GEN_DOC(ZuGenStateStack::SetStringValue, "SetStringValue(aName, aText) -> ZuResult, str\n\nWrites a text feature, remembering its value; the text written comes back.\n:rtype: list")
TARN_GEN_DOC(ZuGenStateStack::SetEnumValue, "*Overload 1:*\nSetEnumValue(aName, aText) -> ZuResult, str\n\nChooses an enumeration entry by name, remembering the entry; the name written comes back.\n:rtype: list\n\n|\n\n*Overload 2:*\nSetEnumValue(aName, aValue) -> ZuResult\n\nChooses an enumeration entry by value, remembering the entry.")

#endif
