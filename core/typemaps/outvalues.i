/* Out-values: what an operation writes through a reference or pointer
 * parameter comes back after its result, in a result sequence. One
 * mechanism, with the shape as its parameter:
 *
 *   LIST          [ZuResult, value...]   converted whatever the result
 *   LIST_IF_OK    [ZuResult, value...]   None unless the result is OK
 *   TUPLE         (ZuResult, value...)   converted whatever the result
 *   TUPLE_IF_OK   (ZuResult, value...)   None unless the result is OK
 *
 * Values join the sequence in parameter order. A defined out-value is a
 * named pattern, %apply'd by name around the declarations it is meant for
 * and %clear'ed after them:
 *
 *   %apply int64_t &OUT_LIST_IF_OK { int64_t &aValue };
 *
 *   TARN_OUTVALUE(SHAPE, TYPE, CONVERT)
 *       `TYPE &OUT_<SHAPE>` and `TYPE *OUT_<SHAPE>`: the parameter is not
 *       taken from Python; it points at a value-initialised local, and
 *       CONVERT (an expression over *$1 giving a new reference) makes the
 *       item.
 *   TARN_OUTVALUE_NEW(SHAPE, TYPE, CONVERT)
 *       `TYPE &OUT_NEW_<SHAPE>`: the parameter is a new TYPE made before the
 *       call; CONVERT hands $1 to its item (and so to Python), and a call
 *       that fails before that frees it.
 *   TARN_ECHO(SHAPE, TYPE, CONVERT)
 *       `TYPE &ECHO_<SHAPE>`: an argument taken from Python as usual comes
 *       back as an item too.
 *   SWIGTYPE *ECHO_<SHAPE>
 *       a pointer argument comes back as a new borrowed proxy of the same
 *       object (None for a null pointer), which keeps the argument's proxy
 *       alive: the item stays safe to use after the caller drops its own.
 *
 * Defined here for every shape:
 *   bool, uint32_t, int64_t, double, enum SWIGTYPE, ZuString   as Python values
 *                         (uint32_t also reads a 32-bit enumeration as unsigned)
 *   const SWIGTYPE **     a borrowed object (or None) as its most specific
 *                         kind, keeping the called object's proxy alive
 *   SWIGTYPE &            a record the SDK fills, copied into a new object
 *                         owned by Python
 *   SWIGTYPE &OUT_NEW_... a new object that passes to Python, keeping the
 *                         called object's proxy alive (what the SDK puts in
 *                         it may point into that object)
 *   const ZuString &ECHO_...  the text as given
 *
 * Arguments of such functions, as the device side's sources declare them:
 *   uint32_t &OUT_TUPLE_ARG_IGNORED
 *       as uint32_t &OUT_TUPLE, but the function still takes an argument
 *       for it, which it ignores.
 *   int TARN_INDEX
 *       an int argument, refused as "method '<name>' expected argument 1
 *       of type int".
 */

%define %_tarn_item_LIST(CONVERT) (CONVERT) %enddef
%define %_tarn_item_TUPLE(CONVERT) (CONVERT) %enddef
%define %_tarn_item_LIST_IF_OK(CONVERT) (Tarn_ResultIsOK(result) ? (CONVERT) : Tarn_NewNone()) %enddef
%define %_tarn_item_TUPLE_IF_OK(CONVERT) (Tarn_ResultIsOK(result) ? (CONVERT) : Tarn_NewNone()) %enddef
%define %_tarn_tuple_LIST 0 %enddef
%define %_tarn_tuple_LIST_IF_OK 0 %enddef
%define %_tarn_tuple_TUPLE 1 %enddef
%define %_tarn_tuple_TUPLE_IF_OK 1 %enddef

%fragment("Tarn_OutValues", "header", fragment="Tarn_Results", fragment="Tarn_Downcast", fragment="Tarn_FromZuString") %{
template <class T> SWIGINTERNINLINE void Tarn_ValueInit(T &value) { value = T(); }
%}

%define %_tarn_append(SHAPE, CONVERT)
  $result = Tarn_AppendItem($result, %_tarn_item_##SHAPE(CONVERT), %_tarn_tuple_##SHAPE, $isvoid);
  if (!$result) SWIG_fail;
%enddef

%define TARN_OUTVALUE(SHAPE, TYPE, CONVERT)
%typemap(in, numinputs=0, noblock=1, fragment="Tarn_OutValues") TYPE &OUT_##SHAPE ($*1_ltype tarn_out), TYPE *OUT_##SHAPE ($*1_ltype tarn_out) {
  Tarn_ValueInit(tarn_out);
  $1 = ($1_ltype)&tarn_out;
}
%typemap(argout, noblock=1, fragment="Tarn_OutValues") TYPE &OUT_##SHAPE, TYPE *OUT_##SHAPE {
  %_tarn_append(SHAPE, CONVERT)
}
%enddef

%define TARN_OUTVALUE_NEW(SHAPE, TYPE, CONVERT)
%typemap(in, numinputs=0, noblock=1, fragment="Tarn_OutValues") TYPE &OUT_NEW_##SHAPE {
  $1 = new $*1_ltype();
}
%typemap(argout, noblock=1, fragment="Tarn_OutValues") TYPE &OUT_NEW_##SHAPE {
  {
    bool tarn_given = false;
    PyObject *tarn_item = %_tarn_item_##SHAPE((tarn_given = true, CONVERT));
    if (tarn_given) $1 = 0;
    $result = Tarn_AppendItem($result, tarn_item, %_tarn_tuple_##SHAPE, $isvoid);
    if (!$result) SWIG_fail;
  }
}
/* Made before the arguments are checked: freed when a check fails. */
%typemap(freearg, noblock=1) TYPE &OUT_NEW_##SHAPE {
  delete $1;
}
%enddef

%define TARN_ECHO(SHAPE, TYPE, CONVERT)
%typemap(argout, noblock=1, fragment="Tarn_OutValues") TYPE &ECHO_##SHAPE {
  %_tarn_append(SHAPE, CONVERT)
}
%enddef

%define %_tarn_standard_outvalues(SHAPE)
TARN_OUTVALUE(SHAPE, bool, PyBool_FromLong(*$1 ? 1 : 0))
TARN_OUTVALUE(SHAPE, uint32_t, PyLong_FromUnsignedLong((uint32_t)*$1))
TARN_OUTVALUE(SHAPE, int64_t, PyLong_FromLongLong((long long)*$1))
TARN_OUTVALUE(SHAPE, double, PyFloat_FromDouble(*$1))
TARN_OUTVALUE(SHAPE, enum SWIGTYPE, PyLong_FromLong((long)*$1))
TARN_OUTVALUE(SHAPE, ZuString, Tarn_FromZuString(*$1))
TARN_OUTVALUE(SHAPE, const SWIGTYPE *, Tarn_KeepOwner(Tarn_NewDowncast(*$1, $*descriptor, 0), swig_obj[0]))
TARN_OUTVALUE(SHAPE, SWIGTYPE, SWIG_NewPointerObj(new $*1_ltype(*$1), $descriptor, SWIG_POINTER_OWN))
TARN_OUTVALUE_NEW(SHAPE, SWIGTYPE, Tarn_KeepOwner(SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, SWIG_POINTER_OWN), swig_obj[0]))
TARN_ECHO(SHAPE, const ZuString, Tarn_FromZuString(*$1))
%typemap(argout, noblock=1, fragment="Tarn_OutValues") SWIGTYPE *ECHO_##SHAPE {
  %_tarn_append(SHAPE, $1 ? Tarn_KeepOwner(SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, 0), $input) : Tarn_NewNone())
}
%enddef
%_tarn_standard_outvalues(LIST)
/* A lent object (TARN_LENT) its owner says goes: const SWIGTYPE **OUT_LENT_LIST;
 * one lent as a part of the called object (TARN_LENT_PART): const SWIGTYPE **OUT_LENT_PART_LIST. */
%typemap(in) const SWIGTYPE **OUT_LENT_LIST = const SWIGTYPE **OUT_LIST;
%typemap(argout, noblock=1, fragment="Tarn_OutValues") const SWIGTYPE **OUT_LENT_LIST {
  %_tarn_append(LIST, Tarn_KeepOwner(Tarn_LentDowncast(*$1, $*descriptor), swig_obj[0]))
}
%typemap(in) const SWIGTYPE **OUT_LENT_PART_LIST = const SWIGTYPE **OUT_LIST;
%typemap(argout, noblock=1, fragment="Tarn_OutValues") const SWIGTYPE **OUT_LENT_PART_LIST {
  %_tarn_append(LIST, Tarn_KeepOwner(Tarn_LentDowncast(*$1, $*descriptor, Tarn_Owner(arg1)), swig_obj[0]))
}
%_tarn_standard_outvalues(LIST_IF_OK)
%_tarn_standard_outvalues(TUPLE)
%_tarn_standard_outvalues(TUPLE_IF_OK)

%typemap(in, noblock=1) uint32_t &OUT_TUPLE_ARG_IGNORED (uint32_t tarn_count = 0) {
  (void)$input;
  $1 = &tarn_count;
}
%typemap(argout) uint32_t &OUT_TUPLE_ARG_IGNORED = uint32_t &OUT_TUPLE;

%typemap(in, noblock=1) int TARN_INDEX (int tarn_value = 0, int tarn_res = 0) {
  tarn_res = SWIG_AsVal_int($input, &tarn_value);
  if (!SWIG_IsOK(tarn_res)) {
    SWIG_exception_fail(SWIG_ArgError(tarn_res), "method '$symname' expected argument 1 of type int");
  }
  $1 = tarn_value;
}
