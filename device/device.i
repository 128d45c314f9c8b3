/* Device control: the device controller and its kinds (GigE Vision, USB3
 * Vision, the maker's protocol).
 *
 * The device type, device class and access type are not declared to SWIG
 * here: such a value travels as a handle, a pointer object that owns a new
 * 32-bit integer and has no destructor (runtime fix 9). */

%include "core/typemaps/typemaps.i"

%{
#include "ZuDevice.h"
#include "tarn/DeviceBinding.h"
%}

%fragment("Tarn_Device", "header", fragment="Tarn_Arrays", fragment="Tarn_Lifetime") %{
/* The name of an object's type, for error texts. */
SWIGINTERN std::string Tarn_TypeName(PyObject *obj)
{
  std::string out;
  PyObject *name = PyObject_GetAttrString((PyObject *)Py_TYPE(obj), "__name__");
  PyObject *utf8 = name ? PyUnicode_AsUTF8String(name) : NULL;
  if (utf8) out = PyBytes_AsString(utf8);
  else PyErr_Clear();
  Py_XDECREF(utf8);
  Py_XDECREF(name);
  return out;
}

%}
%fragment("Tarn_Device");

/* ---- ZuDevice ---------------------------------------------------------------- */

/* CreateAndConnect: (ZuResult, device as its most specific kind, or None).
 * The device is the SDK's until Free: its proxy does not own it, and holds
 * nothing of the information it came from. */
%typemap(in, numinputs=0) ZuResult *aResult (ZuResult *tarn_result = 0) {
  tarn_result = new ZuResult();
  $1 = tarn_result;
}
%typemap(argout, fragment="Tarn_Results") ZuResult *aResult {
  $result = Tarn_AppendItem(SWIG_NewPointerObj(SWIG_as_voidptr(tarn_result$argnum), $descriptor(ZuResult *), SWIG_POINTER_OWN),
                            $result, 1, 0);
  tarn_result$argnum = 0;
  if (!$result) SWIG_fail;
}
%typemap(freearg) ZuResult *aResult {
  delete tarn_result$argnum;
}
%typemap(out) ZuDevice *ZuDevice::CreateAndConnect {
  {
    swig_type_info *tarn_kind = $descriptor(ZuDevice *);
    void *tarn_ptr = $1;
    if (ZuDeviceGEV *tarn_gev = dynamic_cast<ZuDeviceGEV *>($1)) {
      tarn_kind = $descriptor(ZuDeviceGEV *);
      tarn_ptr = tarn_gev;
    } else if (ZuDeviceU3V *tarn_u3v = dynamic_cast<ZuDeviceU3V *>($1)) {
      tarn_kind = $descriptor(ZuDeviceU3V *);
      tarn_ptr = tarn_u3v;
    } else if (ZuDeviceMorvekProtocol *tarn_maker = dynamic_cast<ZuDeviceMorvekProtocol *>($1)) {
      tarn_kind = $descriptor(ZuDeviceMorvekProtocol *);
      tarn_ptr = tarn_maker;
    }
    $result = SWIG_NewPointerObj(tarn_ptr, tarn_kind, 0);
  }
}

/* Free: by the binding's rule for Free (lifetime.i). */
%apply SWIGTYPE *TARN_FREE { ZuDevice *aDevice };

/* The text that names a device, and the addresses of SetIPConfiguration and
 * the access query: each is converted rather than checked, so that a wrong
 * one names its position (the information overload is tried first). */
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aInfoStr, const ZuString &aMACAddress, const ZuString &aIP,
                                        const ZuString &aSubnetMask, const ZuString &aGateway,
                                        const ZuString &aIPAddress };

/* ReadMemory: [ZuResult, array]; the array is zero-filled, so a failed read
 * shows zeros, never what memory held before. A byte count outside 0 to
 * 2**31-1 is refused rather than wrapped. */
%typemap(in, fragment="Tarn_Device") (uint8_t *aDestination, int64_t aByteCount) (PyObject *tarn_array = NULL) {
  if (!PyLong_Check($input)) {
    PyErr_Format(PyExc_TypeError, "Int dimension expected.  '%s' given.", Tarn_TypeName($input).c_str());
    SWIG_fail;
  }
  {
    int tarn_overflow = 0;
    long long tarn_count = PyLong_AsLongLongAndOverflow($input, &tarn_overflow);
    if (tarn_overflow > 0 || tarn_count > INT32_MAX) {
      PyErr_SetString(PyExc_OverflowError, "in method '$symname', argument $argnum of type 'int'");
      SWIG_fail;
    }
    if (tarn_overflow < 0) tarn_count = -1;  /* negative: NumPy's own error */
    npy_intp tarn_dims[1] = {(npy_intp)tarn_count};
    tarn_array = PyArray_ZEROS(1, tarn_dims, NPY_UINT8, 0);
    if (!tarn_array) SWIG_fail;
    $1 = (uint8_t *)PyArray_DATA((PyArrayObject *)tarn_array);
    $2 = tarn_count;
  }
}
%typemap(argout, fragment="Tarn_Results") (uint8_t *aDestination, int64_t aByteCount) {
  $result = Tarn_AppendItem($result, tarn_array$argnum, 0, 0);
  tarn_array$argnum = NULL;
  if (!$result) SWIG_fail;
}
%typemap(freearg) (uint8_t *aDestination, int64_t aByteCount) {
  Py_XDECREF(tarn_array$argnum);
}
%typemap(doctype) (uint8_t *aDestination, int64_t aByteCount) "int";

/* WriteMemory: the bytes of a one-dimensional array (any object NumPy
 * turns into uint8), for the call only. */
%typemap(in, fragment="Tarn_Arrays") (const uint8_t *aSource, int64_t aByteCount) (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, INT32_MAX, "$symname", $argnum, "int");
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = (int64_t)PyArray_DIM(tarn_array, 0);
}
%typemap(freearg) (const uint8_t *aSource, int64_t aByteCount) {
  Py_XDECREF(tarn_array$argnum);
}
%typemap(doctype) (const uint8_t *aSource, int64_t aByteCount) "numpy.ndarray";

/* Texts the SDK fills, and the register value: (ZuResult, value or None). */
%apply ZuString &OUT_TUPLE_IF_OK { ZuString &aDeviceUniqueID, ZuString &aFilename };
%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aValue };

/* The parameter arrays: borrowed, each proxy holding a share of its array,
 * so that the array and the features that came from it stay valid after
 * their device is disconnected or freed; they then answer that the device
 * is not there. A bare pointer object holds no share: once the array goes
 * it refuses use (TARN_LENT). */
%typemap(out, fragment="Tarn_Arrays") ZuGenParameterArray *ZuDevice::GetParameters, ZuGenParameterArray *ZuDevice::GetCommunicationParameters {
  $result = Tarn_LentObject(SWIG_as_voidptr($1), Tarn_Owner($1), $descriptor(ZuGenParameterArray *));
  if ($1) {
    PyObject *tarn_share = Tarn_MemoryOwner(tarn::DeviceBinding::ShareParameters(*arg1, $1));
    Tarn_KeepOwner($result, tarn_share);
    Py_XDECREF(tarn_share);
  }
}

/* A sink stays alive while it is registered: the device holds its Python
 * object until the sink leaves (unregistered, or the device freed). */
TARN_HOLDS_SINK(ZuDevice::RegisterEventSink, ZuDevice::UnregisterEventSink, result.IsOK())

/* Handles (runtime fix 9). */
%apply SWIGTYPE TARN_HANDLE { ZuDeviceType, ZuDeviceClass, ZuAccessType };

%nodefaultctor ZuDevice;
%nodefaultctor ZuDeviceMorvekProtocol;

%include "ZuDevice.h"

/* GetAccessType is both an instance getter and a static query: an
 * instance calls it with itself, the class without. */
%pythoncode %{
class _InstanceOrStatic:
    def __init__(self, function):
        self.function = function
        self.__doc__ = function.__doc__

    def __get__(self, instance, owner=None):
        if instance is None:
            return self.function
        return lambda *args: self.function(instance, *args)


ZuDeviceGEV.GetAccessType = _InstanceOrStatic(ZuDeviceGEV.GetAccessType)
%}

%clear ZuResult *aResult;
%clear ZuDevice *ZuDevice::CreateAndConnect;
%clear ZuDevice *aDevice;
%clear const ZuString &aInfoStr, const ZuString &aMACAddress, const ZuString &aIP, const ZuString &aSubnetMask,
       const ZuString &aGateway, const ZuString &aIPAddress;
%clear (uint8_t *aDestination, int64_t aByteCount);
%clear (const uint8_t *aSource, int64_t aByteCount);
%clear ZuString &aDeviceUniqueID, ZuString &aFilename;
%clear uint32_t &aValue;
%clear ZuGenParameterArray *ZuDevice::GetParameters, ZuGenParameterArray *ZuDevice::GetCommunicationParameters;
%exception ZuDevice::RegisterEventSink;
%exception ZuDevice::UnregisterEventSink;
%clear ZuDeviceType, ZuDeviceClass, ZuAccessType;
