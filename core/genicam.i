/* GenICam features: parameters, their array, lists, categories, the event
 * sink and the state stack. Compiled into every module, after its constants. */

%{
#include "ZuGenParameter.h"
#include "ZuGenParameterArray.h"
%}

/* The node and node map travel as opaque handles: Python never sees inside. */
namespace ZU_GENAPI_NS {
class INode;
class INodeMap;
}

/* ---- Out-values ------------------------------------------------------------
 * An operation's out-values follow its ZuResult in a list. Numbers and texts
 * are converted only when the result is OK (None otherwise); flags always. */
%fragment("Tarn_GenOut", "header") %{
SWIGINTERN PyObject *Tarn_GenNone(void)
{
  Py_INCREF(Py_None);
  return Py_None;
}
%}

%define TARN_GEN_OUT(TYPE, NAME, CONVERT)
%typemap(in, numinputs=0) TYPE &NAME (TYPE tarn_out) {
  tarn_out = TYPE();
  $1 = &tarn_out;
}
%typemap(argout, fragment="Tarn_GenOut", fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") TYPE &NAME {
  %append_output((&result)->IsOK() ? (CONVERT) : Tarn_GenNone());
}
%enddef

%define TARN_GEN_FLAG(NAME)
%typemap(in, numinputs=0) bool &NAME (bool tarn_flag) {
  tarn_flag = false;
  $1 = &tarn_flag;
}
%typemap(argout) bool &NAME {
  %append_output(PyBool_FromLong(*$1 ? 1 : 0));
}
%enddef

TARN_GEN_OUT(int64_t, aValue, PyLong_FromLongLong((long long)*$1))
TARN_GEN_OUT(double, aValue, PyFloat_FromDouble(*$1))
TARN_GEN_OUT(ZuString, aOutText, Tarn_FromZuString(*$1))
TARN_GEN_OUT(ZuGenType, aType, PyLong_FromLong((long)*$1))
TARN_GEN_OUT(ZuGenNameSpace, aNameSpace, PyLong_FromLong((long)*$1))
TARN_GEN_OUT(ZuGenVisibility, aVisibility, PyLong_FromLong((long)*$1))
TARN_GEN_OUT(ZuGenRepresentation, aRepresentation, PyLong_FromLong((long)*$1))
TARN_GEN_FLAG(aValue)
TARN_GEN_FLAG(aFlag)
TARN_GEN_FLAG(aDone)

/* Ranges come back as a fixed tuple (ZuResult, min, max). */
%define TARN_GEN_RANGE(TYPE, CONVERT)
%typemap(in, numinputs=0) (TYPE &aMin, TYPE &aMax) (TYPE tarn_min, TYPE tarn_max) {
  tarn_min = TYPE();
  tarn_max = TYPE();
  $1 = &tarn_min;
  $2 = &tarn_max;
}
%typemap(argout, fragment="Tarn_GenOut") (TYPE &aMin, TYPE &aMax) {
  {
    bool tarn_ok = (&result)->IsOK();
    PyObject *tarn_tuple = PyTuple_New(3);
    if (!tarn_tuple) SWIG_fail;
    PyTuple_SetItem(tarn_tuple, 0, $result);
    $result = tarn_tuple;
    { TYPE tarn_v = *$1; PyTuple_SetItem(tarn_tuple, 1, tarn_ok ? (CONVERT) : Tarn_GenNone()); }
    { TYPE tarn_v = *$2; PyTuple_SetItem(tarn_tuple, 2, tarn_ok ? (CONVERT) : Tarn_GenNone()); }
  }
}
%enddef
TARN_GEN_RANGE(int64_t, PyLong_FromLongLong((long long)tarn_v))
TARN_GEN_RANGE(double, PyFloat_FromDouble(tarn_v))

/* The selector queries fill a new list that always passes to Python. */
%typemap(in, numinputs=0) ZuGenParameterList &aList {
  $1 = new ZuGenParameterList();
}
%typemap(argout) ZuGenParameterList &aList {
  %append_output(Tarn_KeepOwner(SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor(ZuGenParameterList *), SWIG_POINTER_OWN), swig_obj[0]));
  $1 = 0;
}
/* Made before the arguments are checked: freed when a check fails. */
%typemap(freearg) ZuGenParameterList &aList {
  delete $1;
}

/* Entry look-ups: the entry (or None) whatever the outcome. */
%typemap(in, numinputs=0) const ZuGenEnumEntry **aEntry (const ZuGenEnumEntry *tarn_entry) {
  tarn_entry = 0;
  $1 = ($1_ltype)&tarn_entry;
}
%typemap(argout) const ZuGenEnumEntry **aEntry {
  %append_output(Tarn_KeepOwner(SWIG_NewPointerObj(SWIG_as_voidptr(*$1), $descriptor(ZuGenEnumEntry *), 0), swig_obj[0]));
}

/* Writers of a text echo it back: [ZuResult, text] with the text as given. */
%typemap(argout, fragment="Tarn_GenOut", fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") const ZuString &aText {
  %append_output((&result)->IsOK() ? Tarn_FromZuString(*$1) : Tarn_GenNone());
}

/* Name-or-index and text-or-number overloads: the text candidate is the last
 * one tried, and its text argument is converted rather than checked, so a
 * wrong value names the argument instead of listing every prototype. */
%typemap(typecheck, precedence=145) const ZuString &aName "$1 = 1;";
%typemap(typecheck, precedence=145) const ZuString &aText "$1 = 1;";
%typemap(typecheck, precedence=145) const ZuString &aSymbol "$1 = 1;";

/* ---- parameter_to_proxy ------------------------------------------------------
 * Every parameter handed out as the base class comes back as its most
 * specific kind; all seven tests run, the first match wins.
 *
 * What an array, an enumeration or a parameter hands out lives in the array:
 * its proxy keeps the proxy it came from (argument 1), so that a feature,
 * entry, category or selector list stays usable after the caller has dropped
 * the array's proxy. A list's items keep the list, which keeps its parameter
 * when the SDK filled it. */
%typemap(out) ZuGenParameter * {
  {
    swig_type_info *tarn_type = $descriptor(ZuGenParameter *);
    void *tarn_ptr = $1;
    if ($1) {
      ZuGenInteger *tarn_i = dynamic_cast<ZuGenInteger *>($1);
      ZuGenFloat *tarn_f = dynamic_cast<ZuGenFloat *>($1);
      ZuGenEnum *tarn_e = dynamic_cast<ZuGenEnum *>($1);
      ZuGenBoolean *tarn_b = dynamic_cast<ZuGenBoolean *>($1);
      ZuGenCommand *tarn_c = dynamic_cast<ZuGenCommand *>($1);
      ZuGenString *tarn_s = dynamic_cast<ZuGenString *>($1);
      ZuGenRegister *tarn_r = dynamic_cast<ZuGenRegister *>($1);
      if (tarn_i) { tarn_type = $descriptor(ZuGenInteger *); tarn_ptr = tarn_i; }
      else if (tarn_f) { tarn_type = $descriptor(ZuGenFloat *); tarn_ptr = tarn_f; }
      else if (tarn_e) { tarn_type = $descriptor(ZuGenEnum *); tarn_ptr = tarn_e; }
      else if (tarn_b) { tarn_type = $descriptor(ZuGenBoolean *); tarn_ptr = tarn_b; }
      else if (tarn_c) { tarn_type = $descriptor(ZuGenCommand *); tarn_ptr = tarn_c; }
      else if (tarn_s) { tarn_type = $descriptor(ZuGenString *); tarn_ptr = tarn_s; }
      else if (tarn_r) { tarn_type = $descriptor(ZuGenRegister *); tarn_ptr = tarn_r; }
    }
    $result = Tarn_KeepOwner(SWIG_NewPointerObj(tarn_ptr, tarn_type, 0), swig_obj[0]);
  }
}

/* A list that Python fills keeps the proxies of its items, so that they (and
 * through them their array) outlive the caller's references; Clear lets
 * them go. Only a proxy with attributes can hold them. */
%fragment("Tarn_GenListHold", "header") %{
SWIGINTERN void Tarn_GenListHold(PyObject *list, PyObject *item)
{
  PyObject *name = PyUnicode_InternFromString("_tarn_items");
  if (!name) {
    PyErr_Clear();
    return;
  }
  PyObject *held = item ? PyObject_GenericGetAttr(list, name) : NULL;
  if (!held) {
    PyErr_Clear();
    held = item ? PyList_New(0) : NULL;
    if (held && PyObject_GenericSetAttr(list, name, held) < 0) {
      Py_CLEAR(held);
      PyErr_Clear();
    }
  }
  if (!item) {
    if (PyObject_GenericSetAttr(list, name, NULL) < 0) PyErr_Clear();
  } else if (held && PyList_Check(held) && PyList_Append(held, item) < 0) {
    PyErr_Clear();
  }
  Py_XDECREF(held);
  Py_DECREF(name);
}
%}
%exception ZuGenParameterList::Add {
  $action
  if (arg2) Tarn_GenListHold(swig_obj[0], swig_obj[1]);
}
%exception ZuGenParameterList::Clear {
  $action
  Tarn_GenListHold(swig_obj[0], NULL);
}
%fragment("Tarn_GenListHold");

/* Typed look-ups and categories: exactly the declared type. */
%typemap(out) ZuGenInteger *, ZuGenFloat *, ZuGenEnum *, ZuGenBoolean *, ZuGenCommand *, ZuGenString *, ZuGenRegister *, ZuGenCategory * {
  $result = Tarn_KeepOwner(SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, 0), swig_obj[0]);
}

/* ---- Keeping Python objects alive for the SDK --------------------------------
 * A share of a Python object: the last share to go drops the reference under
 * the interpreter lock, from whichever thread that is. */
%fragment("Tarn_GenHold", "header", fragment="<memory>") %{
SWIGINTERN std::shared_ptr<void> Tarn_GenHold(PyObject *obj)
{
  Py_INCREF(obj);
  return std::shared_ptr<void>(obj, [](void *held) {
    if (!Py_IsInitialized())
      return;
    PyGILState_STATE state = PyGILState_Ensure();
    Py_DECREF((PyObject *)held);
    PyGILState_Release(state);
  });
}
%}

/* A sink registered from Python stays alive while it is registered. */
%typemap(in, fragment="Tarn_GenHold") ZuGenEventSink *aEventSink (void *argp = 0, int res = 0, std::shared_ptr<void> tarn_keep) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, 0);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if ($1) tarn_keep = Tarn_GenHold($input);
}
%feature("action") ZuGenParameter::RegisterEventSink {
  std::shared_ptr<void> tarn_share = tarn_keep2;
  result = arg1->RegisterEventSink(arg2, [tarn_share]() mutable { tarn_share.reset(); });
}

/* A stack restores its features when it goes, through its array: the
 * array's proxy stays alive until then, whatever order Python frees them in. */
%typemap(in, fragment="Tarn_GenHold") ZuGenParameterArray *aArray (void *argp = 0, int res = 0, std::shared_ptr<void> tarn_keep) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, 0);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if ($1) tarn_keep = Tarn_GenHold($input);
}
%feature("action") ZuGenStateStack::ZuGenStateStack {
  result = new ZuGenStateStack(arg1);
  result->KeepArray(std::move(tarn_keep1));
}

/* Chunk data: a one-dimensional uint8 array, kept with the array for as long
 * as it is attached; a length beyond 32 bits raises OverflowError. */
%include "payload/arrays.i"
%fragment("Tarn_GenHold");
%header %{
SWIGINTERN void Tarn_KeepAttachment(ZuGenParameterArray *owner, const void *data, PyObject *array)
{
  if (owner && array)
    owner->KeepAttachment(data, Tarn_GenHold(array));
}
%}
TARN_ATTACH_BYTES((uint8_t *aBuffer, uint32_t aBufferLength), uint32_t, UINT32_MAX)
/* The SDK only reads chunk data, so a read-only C-contiguous uint8 array is
 * attached in place as well: a copy would hide later changes to its memory. */
%typemap(in, fragment="Tarn_Arrays") (uint8_t *aBuffer, uint32_t aBufferLength) (PyArrayObject *tarn_array = NULL) {
  if (PyArray_Check($input) && PyArray_NDIM((PyArrayObject *)$input) == 1
      && PyArray_EquivTypenums(PyArray_TYPE((PyArrayObject *)$input), NPY_UINT8)
      && PyArray_IS_C_CONTIGUOUS((PyArrayObject *)$input)) {
    if ((uint64_t)PyArray_DIM((PyArrayObject *)$input, 0) > UINT32_MAX) {
      PyErr_Format(PyExc_OverflowError, "in method '%s', argument %d of type '%s'", "$symname", $argnum + 1, "uint32_t");
      SWIG_fail;
    }
    Py_INCREF($input);
    tarn_array = (PyArrayObject *)$input;
  } else {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, UINT32_MAX, "$symname", $argnum + 1, "uint32_t");
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = ($2_ltype)PyArray_DIM(tarn_array, 0);
}

/* ---- Classes -------------------------------------------------------------------- */

/* Docstrings: the base module gives the Python signature of operations that
 * return out-values; the other two keep the SDK's own documentation. */
#ifndef TARN_STRICT_RESULT_DESCRIPTION
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


/* Parameters, entries and categories belong to their array: Python neither
 * makes nor frees them. */
%nodefaultctor ZuGenParameter;
%nodefaultdtor ZuGenParameter;
%nodefaultctor ZuGenInteger;
%nodefaultdtor ZuGenInteger;
%nodefaultctor ZuGenFloat;
%nodefaultdtor ZuGenFloat;
%nodefaultctor ZuGenBoolean;
%nodefaultdtor ZuGenBoolean;
%nodefaultctor ZuGenCommand;
%nodefaultdtor ZuGenCommand;
%nodefaultctor ZuGenString;
%nodefaultdtor ZuGenString;
%nodefaultctor ZuGenRegister;
%nodefaultdtor ZuGenRegister;
%nodefaultctor ZuGenEnum;
%nodefaultdtor ZuGenEnum;
%nodefaultctor ZuGenEnumEntry;
%nodefaultdtor ZuGenEnumEntry;
%nodefaultctor ZuGenCategory;
%nodefaultdtor ZuGenCategory;
%nodefaultctor ZuGenEventSink;

%rename(__getitem__) ZuGenParameterArray::operator[];
%rename(__getitem__) ZuGenParameterList::operator[];
/* The enumeration's two reads get names of their own and, as its writers,
 * take the enumeration itself rather than a read-only view of it. */
%ignore ZuGenEnum::GetValue;
%extend ZuGenEnum {
  /// Reads the current entry's value.
  /// @param aValue Receives the value.
  ZuResult GetValueInt(int64_t &aValue) { return $self->GetValue(aValue); }
  /// Reads the current entry's name.
  /// @param aOutText Receives the name.
  ZuResult GetValueString(ZuString &aOutText) { return $self->GetValue(aOutText); }
}
%rename(GetEnumValueString) ZuGenParameterArray::GetEnumValue(const ZuString &, ZuString &);
%rename(GetEnumValueInt) ZuGenParameterArray::GetEnumValue(const ZuString &, int64_t &);

TARN_CATCH_NATIVE
%include "ZuGenParameter.h"
%include "ZuGenParameterArray.h"
%exception;

%feature("action", "") ZuGenParameter::RegisterEventSink;
%feature("action", "") ZuGenStateStack::ZuGenStateStack;
%clear int64_t &aValue;
%clear double &aValue;
%clear ZuString &aOutText;
%clear bool &aValue;
%clear bool &aFlag;
%clear bool &aDone;
%clear ZuGenType &aType;
%clear ZuGenNameSpace &aNameSpace;
%clear ZuGenVisibility &aVisibility;
%clear ZuGenRepresentation &aRepresentation;
%clear (int64_t &aMin, int64_t &aMax);
%clear (double &aMin, double &aMax);
%clear ZuGenParameterList &aList;
%clear const ZuGenEnumEntry **aEntry;
%clear const ZuString &aText;
%clear const ZuString &aName;
%clear const ZuString &aSymbol;
%clear ZuGenParameter *;
%exception ZuGenParameterList::Add;
%exception ZuGenParameterList::Clear;
%clear ZuGenInteger *, ZuGenFloat *, ZuGenEnum *, ZuGenBoolean *, ZuGenCommand *, ZuGenString *, ZuGenRegister *, ZuGenCategory *;
%clear ZuGenEventSink *aEventSink;
%clear ZuGenParameterArray *aArray;
%clear (uint8_t *aBuffer, uint32_t aBufferLength);

/* Look-ups answer None for a miss, never IndexError: iterating would not end. */
%extend ZuGenParameterArray {
%pythoncode %{
    # Indexing answers None for a miss instead of raising IndexError, so the
    # old sequence protocol would never end a for loop: refuse iteration.
    __iter__ = None
%}
}
%extend ZuGenParameterList {
%pythoncode %{
    # Indexing answers None for a miss instead of raising IndexError, so the
    # old sequence protocol would never end a for loop: refuse iteration.
    __iter__ = None
%}
}
