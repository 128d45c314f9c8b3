/* GenICam features: parameters, their array, lists, categories, the event
 * sink and the state stack. Compiled into every module, after its constants. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuGenParameter.h"
#include "ZuGenParameterArray.h"
#include "tarn/genicam/Parameters.h"
%}

/* The node and node map travel as opaque handles: Python never sees inside. */
namespace ZU_GENAPI_NS {
class INode;
class INodeMap;
}

/* ---- Out-values ------------------------------------------------------------
 * An operation's out-values follow its ZuResult in a list. Numbers, texts
 * and kinds are converted only when the result is OK (None otherwise);
 * flags always. Ranges come back as a fixed tuple (ZuResult, min, max). */
%apply int64_t &OUT_LIST_IF_OK { int64_t &aValue };
%apply double &OUT_LIST_IF_OK { double &aValue };
%apply ZuString &OUT_LIST_IF_OK { ZuString &aOutText };
%apply enum SWIGTYPE &OUT_LIST_IF_OK { ZuGenType &aType, ZuGenNameSpace &aNameSpace, ZuGenVisibility &aVisibility,
                                       ZuGenRepresentation &aRepresentation };
%apply bool &OUT_LIST { bool &aValue, bool &aFlag, bool &aDone };
%apply int64_t &OUT_TUPLE_IF_OK { int64_t &aMin, int64_t &aMax };
%apply double &OUT_TUPLE_IF_OK { double &aMin, double &aMax };

/* The selector queries fill a new list that always passes to Python. */
%apply SWIGTYPE &OUT_NEW_LIST { ZuGenParameterList &aList };

/* Entry look-ups: the entry (or None) whatever the outcome. Entries go with
 * their enumeration: kept past it, they refuse use. */
%apply const SWIGTYPE **OUT_LENT_PART_LIST { const ZuGenEnumEntry **aEntry };

/* Name-or-index and text-or-number overloads: the text candidate is the last
 * one tried, and its text argument is converted rather than checked, so a
 * wrong value names the argument instead of listing every prototype. Writers
 * of a text echo it back: [ZuResult, text] with the text as given. */
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aName, const ZuString &aText, const ZuString &aSymbol };
%apply const ZuString &ECHO_LIST_IF_OK { const ZuString &aText };

/* ---- Objects ---------------------------------------------------------------
 * Every parameter handed out as the base class comes back as its most
 * specific kind.
 *
 * What an array, an enumeration or a parameter hands out lives in the array:
 * its proxy keeps the proxy it came from (argument 1), so that a feature,
 * entry, category or selector list stays usable after the caller has dropped
 * the array's proxy. A list's items keep the list, which keeps its parameter
 * when the SDK filled it. */
TARN_DOWNCAST(ZuGenParameter, ZuGenInteger, ZuGenFloat, ZuGenEnum, ZuGenBoolean, ZuGenCommand, ZuGenString, ZuGenRegister)
%apply SWIGTYPE *TARN_KEEP_OWNER { ZuGenInteger *, ZuGenFloat *, ZuGenEnum *, ZuGenBoolean *, ZuGenCommand *, ZuGenString *,
                                   ZuGenRegister *, ZuGenCategory * };
/* The array's features and categories go with it (freed with their stream,
 * say): kept ones, proxies or bare pointer objects, then refuse use; so do
 * a list's items, which are the array's, and the nodes and node map behind
 * them. */
%apply SWIGTYPE *TARN_KEEP_OWNER { ZuGenParameter *ZuGenParameterArray::Get, ZuGenParameter *ZuGenParameterArray::operator[],
                                   ZuGenParameter *ZuGenParameterList::GetItem, ZuGenParameter *ZuGenParameterList::operator[],
                                   ZuGenParameter *ZuGenParameterList::GetFirst, ZuGenParameter *ZuGenParameterList::GetNext };
%apply SWIGTYPE *TARN_LENT { ZuGenParameter *ZuGenParameterArray::operator[], ZuGenParameter *ZuGenParameterList::GetItem,
                             ZuGenParameter *ZuGenParameterList::operator[], ZuGenParameter *ZuGenParameterList::GetFirst,
                             ZuGenParameter *ZuGenParameterList::GetNext };
%apply SWIGTYPE *TARN_LENT_PART { ZU_GENAPI_NS::INode *ZuGenParameter::GetNode, ZU_GENAPI_NS::INode *ZuGenCategory::GetNode };
%apply SWIGTYPE *TARN_LENT { ZU_GENAPI_NS::INodeMap *ZuGenParameterArray::GetNodeMap };
%apply SWIGTYPE *TARN_LENT { ZuGenParameter *ZuGenParameterArray::Get, ZuGenInteger *ZuGenParameterArray::GetInteger,
                             ZuGenFloat *ZuGenParameterArray::GetFloat, ZuGenEnum *ZuGenParameterArray::GetEnum,
                             ZuGenBoolean *ZuGenParameterArray::GetBoolean, ZuGenCommand *ZuGenParameterArray::GetCommand,
                             ZuGenString *ZuGenParameterArray::GetString, ZuGenRegister *ZuGenParameterArray::GetRegister,
                             ZuGenCategory *ZuGenParameterArray::GetCategory };

/* A list that Python fills keeps the proxies of its items, so that they (and
 * through them their array) outlive the caller's references; Clear lets
 * them go. */
TARN_HOLDS_ITEMS(ZuGenParameterList::Add, ZuGenParameterList::Clear)
TARN_HOLDER(ZuGenParameterList)

/* A sink registered from Python stays alive while it is registered (the
 * parameter lets it go when its array does). */
TARN_HOLDS_SINK(ZuGenParameter::RegisterEventSink, ZuGenParameter::UnregisterEventSink, result.IsOK())

/* A stack restores its features when it goes, through its array: the
 * array's proxy stays alive until then, whatever order Python frees them in. */
%apply SWIGTYPE *TARN_HELD { ZuGenParameterArray *aArray };
%feature("action") ZuGenStateStack::ZuGenStateStack {
  result = new ZuGenStateStack(arg1);
  tarn::KeepArray(*result, std::move(tarn_keep1));
}

/* A read by name that the array answers from what it holds keeps the
 * interpreter lock: letting it go and taking it back would cost more than
 * the read. Whatever must wait (the node map busy on another thread, the
 * device to be asked) is read again the usual way, with the lock released. */
%feature("action") ZuGenParameterArray::GetIntegerValue {
  if (!tarn::TryIntegerValueWithoutWaiting(*arg1, *arg2, *arg3, result)) {
    SWIG_PYTHON_THREAD_BEGIN_ALLOW;
    result = arg1->GetIntegerValue(*arg2, *arg3);
    SWIG_PYTHON_THREAD_END_ALLOW;
  }
}

/* Chunk data: a one-dimensional uint8 array, kept with the array for as long
 * as it is attached; a length beyond 32 bits raises OverflowError. The SDK
 * only reads chunk data, so a read-only array is attached in place too. */
%header %{
SWIGINTERN void Tarn_KeepAttachment(ZuGenParameterArray *owner, const void *data, std::shared_ptr<void> array)
{
  if (owner)
    tarn::KeepAttachment(*owner, data, std::move(array));
}
%}
%apply (uint8_t *TARN_ATTACH_READONLY, uint32_t TARN_ATTACH_LENGTH) { (uint8_t *aBuffer, uint32_t aBufferLength) };

/* ---- Classes -------------------------------------------------------------------- */

%include "core/docs/genicam.i"

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

%exception ZuGenParameter::RegisterEventSink;
%exception ZuGenParameter::UnregisterEventSink;
%feature("action", "") ZuGenStateStack::ZuGenStateStack;
%feature("action", "") ZuGenParameterArray::GetIntegerValue;
%exception ZuGenParameterList::Add;
%exception ZuGenParameterList::Clear;
%exception ZuGenParameterList::~ZuGenParameterList;
%clear int64_t &aValue, double &aValue, bool &aValue, bool &aFlag, bool &aDone;
%clear ZuString &aOutText;
%clear ZuGenType &aType, ZuGenNameSpace &aNameSpace, ZuGenVisibility &aVisibility, ZuGenRepresentation &aRepresentation;
%clear int64_t &aMin, int64_t &aMax, double &aMin, double &aMax;
%clear ZuGenParameterList &aList;
%clear const ZuGenEnumEntry **aEntry;
%clear const ZuString &aName, const ZuString &aText, const ZuString &aSymbol;
%clear ZuGenParameter *, const ZuGenParameter *;
%clear ZuGenParameter *ZuGenParameterArray::Get, ZuGenParameter *ZuGenParameterArray::operator[],
       ZuGenParameter *ZuGenParameterList::GetItem, ZuGenParameter *ZuGenParameterList::operator[],
       ZuGenParameter *ZuGenParameterList::GetFirst, ZuGenParameter *ZuGenParameterList::GetNext;
%clear ZU_GENAPI_NS::INode *ZuGenParameter::GetNode, ZU_GENAPI_NS::INode *ZuGenCategory::GetNode,
       ZU_GENAPI_NS::INodeMap *ZuGenParameterArray::GetNodeMap;
%clear ZuGenInteger *, ZuGenFloat *, ZuGenEnum *, ZuGenBoolean *, ZuGenCommand *, ZuGenString *, ZuGenRegister *, ZuGenCategory *;
%clear ZuGenParameterArray *aArray;
%clear (uint8_t *aBuffer, uint32_t aBufferLength);

/* Look-ups answer None for a miss, never IndexError. */
TARN_NOT_ITERABLE(ZuGenParameterArray)
TARN_NOT_ITERABLE(ZuGenParameterList)
