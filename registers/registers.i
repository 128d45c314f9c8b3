/* Registers of the software device: their information and access, the
 * register map, the register factory and store, and the register event
 * sink that Python subclasses.
 *
 * Everything the device lends (registers, the map, the factory, the store)
 * arrives as a non-owning proxy. What a script hands to a register stays
 * alive while the register may call it: a sink while it is attached (given
 * to the factory or to AddEventSink), a context while its register exists.
 * disown_ keeps its own meaning.
 *
 * A register access runs the register's sinks on the calling thread: the
 * access functions release the interpreter lock, and an error a Python sink
 * raised there ends the call with that error. */

%{
#include "IZuRegister.h"
#include "IZuRegisterEventSink.h"
#include "IZuRegisterFactory.h"
#include "IZuRegisterMap.h"
#include "IZuRegisterStore.h"
#include "tarn/SoftDevice.h"
%}

TARN_CATCH_NATIVE

/* A register handed to Python (by the map, or to a sink) is one object for
 * as long as the register lives; once the device lets it go (it stops, or a
 * Start fails) a kept one refuses use (TARN_LENT, core/typemaps/lifetime.i).
 * (The sinks' argument, for the register sink's and the trigger source's
 * overrides alike.) */
%apply SWIGTYPE *TARN_LENT { IZuRegister *IZuRegisterMap::GetRegisterByIndex, IZuRegister *IZuRegisterMap::GetRegisterByAddress,
                             IZuRegister *aRegister };

/* ---- Registers ----------------------------------------------------------- */

/* ReadBytes: the length becomes a new uint8 array the register is read
 * into; the array comes back whatever the result. */
%fragment("Tarn_DimensionError", "header", fragment="Tarn_DirectorFailure") %{
SWIGINTERN void Tarn_DimensionError(PyObject *obj)
{
  PyObject *name = PyObject_GetAttrString((PyObject *)Py_TYPE(obj), "__name__");
  std::string text = "Int dimension expected.  '" + Tarn_Utf8Of(name) + "' given.";
  if (!name) PyErr_Clear();
  Py_XDECREF(name);
  PyErr_SetString(PyExc_TypeError, text.c_str());
}
%}
%typemap(in, noblock=1, fragment="Tarn_DimensionError") (uint8_t *aData, uint32_t aDataLength) (PyObject *tarn_array = 0) {
  if (!PyLong_Check($input)) {
    Tarn_DimensionError($input);
    SWIG_fail;
  }
  {
    long long tarn_length = PyLong_AsLongLong($input);
    if (tarn_length == -1 && PyErr_Occurred()) SWIG_fail;
    npy_intp tarn_dims[1] = {(npy_intp)(uint32_t)tarn_length};
    tarn_array = PyArray_EMPTY(1, tarn_dims, NPY_UINT8, 0);
    if (!tarn_array) SWIG_fail;
    $1 = (uint8_t *)PyArray_DATA((PyArrayObject *)tarn_array);
    $2 = (uint32_t)tarn_length;
  }
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_INTEGER) (uint8_t *aData, uint32_t aDataLength) "$1 = 1;";
%typemap(argout, noblock=1, fragment="Tarn_OutValues") (uint8_t *aData, uint32_t aDataLength) {
  $result = Tarn_AppendItem($result, tarn_array$argnum, 0, $isvoid);
  tarn_array$argnum = 0;
  if (!$result) SWIG_fail;
}
%typemap(freearg, noblock=1) (uint8_t *aData, uint32_t aDataLength) {
  Py_XDECREF(tarn_array$argnum);
}

%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aValue };
%apply ZuString &OUT_TUPLE_IF_OK { ZuString &aValue };
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aValue };
/* (the written text is no out-value of ReadString's) */
%typemap(argout) const ZuString &aValue "";

/* A sink attached from Python stays alive while attached (and the register
 * lets it go when the device does). */
TARN_HOLDS_SINK(IZuRegister::AddEventSink, IZuRegister::RemoveEventSink, result.IsOK())

%include "IZuRegisterInfo.h"
%include "IZuRegister.h"

%exception IZuRegister::AddEventSink;
%exception IZuRegister::RemoveEventSink;
%clear (uint8_t *aData, uint32_t aDataLength);
%clear uint32_t &aValue;
%clear ZuString &aValue;
%clear const ZuString &aValue;

/* ---- The map, the factory and the store ---------------------------------- */

%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aAssignedAddress };
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aName };
%apply SWIGTYPE *TARN_HELD { IZuRegisterEventSink *aRegisterEventSink };
%typemap(in) void *aContext (void *argp = 0, int res = 0, std::shared_ptr<void> tarn_keep) {
  res = SWIG_ConvertPtr($input, &argp, 0, 0);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = argp;
  if ($1) tarn_keep = Tarn_HoldObject($input);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_VOIDPTR) void *aContext {
  void *tarn_ptr = 0;
  $1 = SWIG_IsOK(SWIG_ConvertPtr($input, &tarn_ptr, 0, 0)) ? 1 : 0;
}
/* The sink and context go with the register the call creates. */
%typemap(check, noblock=1) IZuRegisterEventSink *aRegisterEventSink {
  tarn::HoldForNextRegister(arg1, 0, tarn_keep$argnum);
}
%typemap(check, noblock=1) void *aContext {
  tarn::HoldForNextRegister(arg1, 1, tarn_keep$argnum);
}

%include "IZuRegisterMap.h"
%include "IZuRegisterFactory.h"
%include "IZuRegisterStore.h"

%clear uint32_t &aAssignedAddress;
%clear const ZuString &aName;
%clear IZuRegisterEventSink *aRegisterEventSink;
%clear void *aContext;

/* ---- The register event sink --------------------------------------------- */

%feature("director") IZuRegisterEventSink;
/* A sink destroyed while attached leaves every register first. */
%feature("action") IZuRegisterEventSink::~IZuRegisterEventSink {
  if (arg1) tarn::ForgetRegisterSink(arg1);
  delete arg1;
}
%include "IZuRegisterEventSink.h"

%exception;
