/* Device control: the device controller and its kinds (GigE Vision, USB3
 * Vision, the maker's protocol).
 *
 * The device type, device class and access type are not declared to SWIG
 * here: such a value travels as a handle, a pointer object that owns a new
 * 32-bit integer and has no destructor. */

%{
#include "ZuDevice.h"
#include "tarn/DeviceBinding.h"
#include "tarn/UpCalls.h"
%}

%fragment("Tarn_Device", "header", fragment="Tarn_Arrays", fragment="Tarn_FromZuString", fragment="<memory>") %{
/* A pair (first, second) that takes both references; NULL when either is. */
SWIGINTERN PyObject *Tarn_Pair(PyObject *first, PyObject *second)
{
  PyObject *pair = first && second ? PyTuple_New(2) : NULL;
  if (!pair) {
    Py_XDECREF(first);
    Py_XDECREF(second);
    return NULL;
  }
  PyTuple_SetItem(pair, 0, first);
  PyTuple_SetItem(pair, 1, second);
  return pair;
}

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

/* After Free the proxy no longer holds the freed address: every later use
 * of it is refused as a wrong argument instead of reaching freed memory. */
SWIGINTERN void Tarn_ForgetObject(PyObject *obj)
{
  for (SwigPyObject *held = SWIG_Python_GetSwigThis(obj); held; held = (SwigPyObject *)held->next) {
    held->ptr = 0;
    held->own = 0;
  }
}

/* A share of a Python object for the SDK: the last share to go drops the
 * reference under the interpreter lock, from whichever thread that is, but
 * never once the interpreter finalises (the up-call gate is closed then). */
SWIGINTERN std::shared_ptr<void> Tarn_HoldForSdk(PyObject *obj)
{
  Py_INCREF(obj);
  return std::shared_ptr<void>(obj, [](void *held) {
    tarn::UpCalls::Scope gate;
    if (!gate || !Py_IsInitialized())
      return;
    PyGILState_STATE state = PyGILState_Ensure();
    Py_DECREF((PyObject *)held);
    PyGILState_Release(state);
  });
}

SWIGINTERN void Tarn_ReleaseArrayShare(PyObject *capsule)
{
  delete static_cast<std::shared_ptr<ZuGenParameterArray> *>(PyCapsule_GetPointer(capsule, "tarn.parameters"));
}

/* A parameter array's proxy holds a share of the array, so that it and the
 * features that came from it stay valid after their device is disconnected
 * or freed: they then answer that the device is not there. */
SWIGINTERN PyObject *Tarn_KeepArray(PyObject *proxy, std::shared_ptr<ZuGenParameterArray> share)
{
  if (!proxy || proxy == Py_None || !share)
    return proxy;
  auto *held = new std::shared_ptr<ZuGenParameterArray>(std::move(share));
  PyObject *capsule = PyCapsule_New(held, "tarn.parameters", Tarn_ReleaseArrayShare);
  if (!capsule) {
    delete held;
    PyErr_Clear();
    return proxy;
  }
  Tarn_KeepOwner(proxy, capsule);
  Py_DECREF(capsule);
  return proxy;
}

/* A text out-value after the result: (ZuResult, str), the text None unless
 * the result is OK or when the text is null. */
SWIGINTERN PyObject *Tarn_TextAfter(PyObject *result, const ZuResult &outcome, const ZuString &text)
{
  PyObject *value;
  if (outcome.IsOK() && text.GetUnicode()) {
    value = Tarn_FromZuString(text);
  } else {
    Py_INCREF(Py_None);
    value = Py_None;
  }
  return Tarn_Pair(result, value);
}
%}
%fragment("Tarn_Device");

/* ---- ZuDevice ---------------------------------------------------------------- */

/* CreateAndConnect: (ZuResult, device as its most specific kind, or None).
 * The device is the SDK's until Free: its proxy does not own it. */
%typemap(in, numinputs=0) ZuResult *aResult (ZuResult *tarn_result = 0) {
  tarn_result = new ZuResult();
  $1 = tarn_result;
}
%typemap(argout) ZuResult *aResult {
  $result = Tarn_Pair(SWIG_NewPointerObj(SWIG_as_voidptr(tarn_result$argnum), $descriptor(ZuResult *), SWIG_POINTER_OWN), $result);
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

%exception ZuDevice::Free {
  $action
  Tarn_ForgetObject(swig_obj[0]);
}

/* The text names a device: every argument is tried as text once the
 * information overload does not take it, so a wrong one names itself. */
%typemap(typecheck, precedence=145) const ZuString &aInfoStr "$1 = 1;";
/* The same for the addresses of SetIPConfiguration and the access query:
 * each text is converted, and a wrong one names its position. */
%typemap(typecheck, precedence=145) const ZuString &aMACAddress, const ZuString &aIP, const ZuString &aSubnetMask,
                                    const ZuString &aGateway, const ZuString &aIPAddress "$1 = 1;";

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
%typemap(argout) (uint8_t *aDestination, int64_t aByteCount) {
  {
    PyObject *tarn_list = PyList_New(2);
    if (!tarn_list) SWIG_fail;
    PyList_SetItem(tarn_list, 0, $result);
    PyList_SetItem(tarn_list, 1, tarn_array$argnum);
    tarn_array$argnum = NULL;
    $result = tarn_list;
  }
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

/* Texts the SDK fills: (ZuResult, str or None). A named pattern, applied
 * here and by the adapter. */
%typemap(in, numinputs=0) ZuString &TARN_TEXT_TUPLE_IF_OK (ZuString tarn_text) {
  $1 = &tarn_text;
}
%typemap(argout, fragment="Tarn_Device") ZuString &TARN_TEXT_TUPLE_IF_OK {
  $result = Tarn_TextAfter($result, result, *$1);
  if (!$result) SWIG_fail;
}
%apply ZuString &TARN_TEXT_TUPLE_IF_OK { ZuString &aDeviceUniqueID, ZuString &aFilename };

/* The parameter arrays: borrowed, with a share of the array held. */
%typemap(out, fragment="Tarn_Device") ZuGenParameterArray *ZuDevice::GetParameters, ZuGenParameterArray *ZuDevice::GetCommunicationParameters {
  $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor(ZuGenParameterArray *), 0);
  if ($1) Tarn_KeepArray($result, tarn::DeviceBinding::ShareParameters(*arg1, $1));
}

/* A sink stays alive while it is registered: the device holds its Python
 * object until the sink leaves (unregistered, destroyed, or the device freed). */
%exception ZuDevice::RegisterEventSink {
  $action
  if (result.IsOK() && arg2) tarn::DeviceBinding::KeepSink(*arg1, arg2, Tarn_HoldForSdk(swig_obj[1]));
}

/* ---- ZuDeviceGEV ---------------------------------------------------------------- */

/* ReadRegister: (ZuResult, value or None), the value unsigned. A named
 * pattern, applied here and by the adapter. */
%typemap(in, numinputs=0) uint32_t &TARN_REGISTER_TUPLE_IF_OK (uint32_t tarn_value) {
  tarn_value = 0;
  $1 = &tarn_value;
}
%typemap(argout, fragment="Tarn_Device") uint32_t &TARN_REGISTER_TUPLE_IF_OK {
  {
    PyObject *tarn_value_item;
    if (result.IsOK()) {
      tarn_value_item = PyLong_FromUnsignedLong(*$1);
    } else {
      Py_INCREF(Py_None);
      tarn_value_item = Py_None;
    }
    $result = Tarn_Pair($result, tarn_value_item);
    if (!$result) SWIG_fail;
  }
}
%apply uint32_t &TARN_REGISTER_TUPLE_IF_OK { uint32_t &aValue };

/* The device type, device class and access type come back as handles:
 * pointer objects owning a new integer, with no destructor, whose release
 * prints SWIG's no-destructor line naming the type. The type table shares
 * its records with the other modules, and a module that declares the
 * enumeration names the record "enum ZuDeviceType *"; a handle therefore
 * carries this module's own record, which names it "ZuDeviceType *" and
 * converts as the shared one does (records match by their mangled name). */
%fragment("Tarn_OwnType", "header") %{
static swig_type_info **tarn_initial_types = 0;
SWIGINTERN swig_type_info *Tarn_OwnType(swig_type_info *resolved)
{
  for (size_t i = 0; tarn_initial_types && i < swig_module.size; ++i)
    if (swig_types[i] == resolved)
      return tarn_initial_types[i];
  return resolved;
}
%}
%fragment("Tarn_OwnType");
%init %{
  tarn_initial_types = swig_type_initial;
%}
%typemap(out, fragment="Tarn_OwnType") ZuDeviceType, ZuDeviceClass, ZuAccessType {
  $result = SWIG_NewPointerObj(new $1_ltype($1), Tarn_OwnType($&1_descriptor), SWIG_POINTER_OWN);
}

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
%exception ZuDevice::Free;
%clear const ZuString &aInfoStr;
%clear const ZuString &aMACAddress, const ZuString &aIP, const ZuString &aSubnetMask, const ZuString &aGateway,
       const ZuString &aIPAddress;
%clear (uint8_t *aDestination, int64_t aByteCount);
%clear (const uint8_t *aSource, int64_t aByteCount);
%clear ZuString &aDeviceUniqueID, ZuString &aFilename;
%clear ZuGenParameterArray *ZuDevice::GetParameters, ZuGenParameterArray *ZuDevice::GetCommunicationParameters;
%exception ZuDevice::RegisterEventSink;
%clear uint32_t &aValue;
%clear ZuDeviceType, ZuDeviceClass, ZuAccessType;
