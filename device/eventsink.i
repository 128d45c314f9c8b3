/* The device event sink: a Python subclass receives a device's link,
 * event and command-link callbacks through its director.
 *
 * The device calls the sink from its own threads (and the command-link
 * callbacks from the thread that reads or writes a feature); the director
 * takes the interpreter lock. The up-call functions keep the lock, as they
 * may run Python code. Once the interpreter finalises, the SDK calls no
 * sink any more (the up-call gate of core/typemaps/directors.i). */

%include "core/typemaps/typemaps.i"

%{
#include "ZuDeviceEventSink.h"
#include "ZuGenParameter.h"
%}

%feature("director") ZuDeviceEventSink;

/* Leave every device before the director's own parts go, so that no SDK
 * thread calls into a half-destroyed sink. */
%feature("action") ZuDeviceEventSink::~ZuDeviceEventSink {
  if (arg1) arg1->LeaveDevices();
  delete arg1;
}

%fragment("Tarn_EventViews", "header", fragment="Tarn_Arrays") %{
/* The bytes the SDK hands a callback, as a one-dimensional uint8 array over
 * them, valid during the call only; no memory is an empty array, and a
 * length without memory gives zeros rather than what memory held. */
SWIGINTERN PyObject *Tarn_CallbackBytes(const void *data, int64_t length)
{
  npy_intp dims[1] = {(npy_intp)(length < 0 ? 0 : length)};
  if (!data)
    return PyArray_ZEROS(1, dims, NPY_UINT8, 0);
  return PyArray_New(&PyArray_Type, 1, dims, NPY_UINT8, NULL, const_cast<void *>(data), 0, NPY_ARRAY_CARRAY, NULL);
}

/* The up-call functions of the command-link callbacks take one tuple
 * (data array, address). */
SWIGINTERN PyArrayObject *Tarn_CommandLinkTuple(PyObject *obj, const char *symname, int64_t *address)
{
  if (!PyTuple_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "Error: %s requires tuple argument", symname);
    return NULL;
  }
  if (PyTuple_Size(obj) < 2) {
    PyErr_Format(PyExc_TypeError, "Error: %s requires a tuple with two elements as an argument", symname);
    return NULL;
  }
  PyObject *where = PyTuple_GetItem(obj, 1);
  long long value = PyLong_Check(where) ? PyLong_AsLongLong(where) : -1;
  if (!PyLong_Check(where) || (value == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "Error: %s requires an integer as the second tuple element", symname);
    return NULL;
  }
  *address = value;
  PyArray_Descr *descr = PyArray_DescrFromType(NPY_UINT8);
  PyArrayObject *array = (PyArrayObject *)PyArray_FromAny(PyTuple_GetItem(obj, 0), descr, 0, 0, NPY_ARRAY_CARRAY, NULL);
  if (!array) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "Error: %s requires a numpy array as the first tuple element", symname);
  }
  return array;
}
%}
%fragment("Tarn_EventViews");

/* ---- Director side: what a Python override receives ------------------------- */

%typemap(directorin, fragment="Tarn_EventViews") (const void *aData, uint32_t aDataLength) {
  $input = Tarn_CallbackBytes($1, (int64_t)$2);
}
%typemap(directorin, fragment="Tarn_EventViews") (const void *aBuffer, int64_t aAddress, int64_t aLength) {
  $input = PyTuple_New(2);
  if ($input) {
    PyObject *tarn_view = Tarn_CallbackBytes($1, $3);
    PyObject *tarn_where = PyLong_FromLongLong((long long)$2);
    if (tarn_view && tarn_where) {
      PyTuple_SetItem($input, 0, tarn_view);
      PyTuple_SetItem($input, 1, tarn_where);
    } else {
      Py_XDECREF(tarn_view);
      Py_XDECREF(tarn_where);
      Py_CLEAR($input);
    }
  }
}

/* ---- Up-call functions: what Python hands the SDK's own bodies ----------------- */

%typemap(in, fragment="Tarn_Arrays") (const void *aData, uint32_t aDataLength) (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, UINT32_MAX, "$symname", $argnum + 1, "uint32_t");
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = (uint32_t)PyArray_DIM(tarn_array, 0);
}
%typemap(freearg) (const void *aData, uint32_t aDataLength) {
  Py_XDECREF(tarn_array$argnum);
}
%typemap(in, fragment="Tarn_EventViews") (const void *aBuffer, int64_t aAddress, int64_t aLength) (PyArrayObject *tarn_array = NULL) {
  tarn_array = Tarn_CommandLinkTuple($input, "$symname", &$2);
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  /* The first dimension, as a 32-bit count; a zero-dimensional array is
   * its one element. */
  {
    npy_intp tarn_length = PyArray_NDIM(tarn_array) ? PyArray_DIM(tarn_array, 0) : PyArray_SIZE(tarn_array);
    $3 = (int64_t)(tarn_length > INT32_MAX ? INT32_MAX : tarn_length);
  }
}
%typemap(freearg) (const void *aBuffer, int64_t aAddress, int64_t aLength) {
  Py_XDECREF(tarn_array$argnum);
}

%include "ZuDeviceEventSink.h"

%clear (const void *aData, uint32_t aDataLength);
%clear (const void *aBuffer, int64_t aAddress, int64_t aLength);
%feature("action", "") ZuDeviceEventSink::~ZuDeviceEventSink;
