/* The device serial port: a device's UARTs and bulk channels, opened over a
 * device adapter. Counts come back in LISTs that begin with the result,
 * whatever the outcome (0 when the call failed). Read hands back a new
 * zero-filled array of the size asked for, of which the first count bytes
 * arrived: on failure it holds zeros, never what the heap held before.
 *
 * The echo sink has no Python class: None (the SDK's answer to a null
 * sink) or a pointer object made elsewhere is all Python can pass. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuDeviceSerialPort.h"
%}

%apply uint32_t &OUT_LIST { uint32_t &aBytesWritten, uint32_t &aWritten, uint32_t &aSize, uint32_t &aBytesRead,
                            uint32_t &aBytes };

/* Write: any one-dimensional object NumPy turns into uint8, read during the
 * call. */
%typemap(in, fragment="Tarn_Arrays") (const uint8_t *aBuffer, uint32_t aSize) (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, UINT32_MAX, "$symname", $argnum + 1, "uint32_t");
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = ($2_ltype)PyArray_DIM(tarn_array, 0);
}
%typemap(freearg) (const uint8_t *aBuffer, uint32_t aSize) {
  Py_XDECREF(tarn_array$argnum);
}

/* Read: the size as a Python int, the array made before the call and
 * appended after the result. */
%typemap(in, fragment="Tarn_Device") (uint8_t *aBuffer, uint32_t aBufferSize) (PyObject *tarn_array = NULL) {
  if (!PyLong_Check($input)) {
    PyErr_Format(PyExc_TypeError, "Int dimension expected.  '%s' given.", Tarn_TypeName($input).c_str());
    SWIG_fail;
  }
  {
    /* A size past the int range is refused rather than wrapped; a negative
     * one gets NumPy's own error. */
    int tarn_overflow = 0;
    long long tarn_size = PyLong_AsLongLongAndOverflow($input, &tarn_overflow);
    if (tarn_overflow > 0 || tarn_size > INT32_MAX) {
      PyErr_SetString(PyExc_OverflowError, "in method '$symname', argument $argnum of type 'int'");
      SWIG_fail;
    }
    if (tarn_overflow < 0) tarn_size = -1;
    npy_intp tarn_dims[1] = {(npy_intp)tarn_size};
    tarn_array = PyArray_ZEROS(1, tarn_dims, NPY_UINT8, 0);
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA((PyArrayObject *)tarn_array);
  $2 = ($2_ltype)PyArray_DIM((PyArrayObject *)tarn_array, 0);
}
%typemap(argout, fragment="Tarn_OutValues") (uint8_t *aBuffer, uint32_t aBufferSize) {
  $result = Tarn_AppendItem($result, tarn_array$argnum, 0, $isvoid);
  tarn_array$argnum = NULL;
  if (!$result) SWIG_fail;
}
%typemap(freearg) (uint8_t *aBuffer, uint32_t aBufferSize) {
  Py_XDECREF(tarn_array$argnum);
}
%typemap(doctype) (uint8_t *aBuffer, uint32_t aBufferSize) "int";
%typemap(doctype) (const uint8_t *aBuffer, uint32_t aSize) "numpy.ndarray";

%include "ZuDeviceSerialPort.h"

%clear uint32_t &aBytesWritten, uint32_t &aWritten, uint32_t &aSize, uint32_t &aBytesRead, uint32_t &aBytes;
%clear (const uint8_t *aBuffer, uint32_t aSize);
%clear (uint8_t *aBuffer, uint32_t aBufferSize);
