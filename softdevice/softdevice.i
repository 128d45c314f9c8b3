/* The software GigE Vision device, its interfaces, its event sink and
 * user-set notification, its messaging channel, identity and statistics.
 *
 * The device's operations release the interpreter lock: its threads call
 * the Python directors of sinks and sources meanwhile, and Start calls some
 * of them on the caller's own thread. An error raised there ends Start with
 * the error the director set; the device stays created and can start again.
 *
 * What a script hands to the device stays alive while the device may call
 * it: a channel source until the device is deleted, a sink until it is
 * unregistered, the user-set notification until it is replaced. disown_
 * keeps its own meaning. */

%{
#include "ZuSoftDeviceGEV.h"
#include "tarn/SoftDevice.h"
%}

namespace ZuVirtualDeviceLib {
class IActionHandler;
}

/* ---- What the device holds of Python ------------------------------------ */

%fragment("Tarn_DeviceHolds", "header", fragment="Tarn_Lifetime") %{
#include <map>
#include <vector>
/* Per device (its address as the interface it was given through), the
 * Python objects it may call. Changed with the interpreter lock held; the
 * objects are let go after the device no longer refers to them. */
struct Tarn_DeviceHeld {
  std::vector<std::shared_ptr<void>> sources;
  std::map<void *, std::shared_ptr<void>> sinks;
  std::shared_ptr<void> notify;
};
SWIGINTERN std::map<const void *, Tarn_DeviceHeld> &Tarn_DeviceHolds()
{
  static std::map<const void *, Tarn_DeviceHeld> *holds = new std::map<const void *, Tarn_DeviceHeld>();
  return *holds;
}
SWIGINTERN const void *Tarn_DeviceKey(IZuVirtualDeviceGEV *device) { return dynamic_cast<const void *>(device); }
SWIGINTERN void Tarn_HoldFor(IZuVirtualDeviceGEV *device, PyObject *obj, int kind, void *native)
{
  if (!device || !native) return;
  Tarn_DeviceHeld &held = Tarn_DeviceHolds()[Tarn_DeviceKey(device)];
  if (kind == 0) held.sources.push_back(Tarn_HoldObject(obj));
  else if (kind == 1) held.sinks[native] = Tarn_HoldObject(obj);
  else held.notify = Tarn_HoldObject(obj);
}
SWIGINTERN void Tarn_ReleaseSink(IZuVirtualDeviceGEV *device, void *sink)
{
  auto it = Tarn_DeviceHolds().find(Tarn_DeviceKey(device));
  if (it != Tarn_DeviceHolds().end()) it->second.sinks.erase(sink);
}
/* The device is gone: what it held goes too (the holder's release takes
 * the lock itself, so this may run with the lock released). */
SWIGINTERN void Tarn_ReleaseDevice(const void *key)
{
  Tarn_DeviceHeld gone;
  {
    auto it = Tarn_DeviceHolds().find(key);
    if (it == Tarn_DeviceHolds().end()) return;
    gone = std::move(it->second);
    Tarn_DeviceHolds().erase(it);
  }
}
/* A sink or notification object that goes while still held by a device is
 * forgotten by every device first. */
SWIGINTERN void Tarn_ForgetHeld(void *native)
{
  for (auto &entry : Tarn_DeviceHolds()) {
    entry.second.sinks.erase(native);
  }
}
%}

%define TARN_HELD(FUNC, KIND)
%exception FUNC {
  $action
  if (result.IsOK()) Tarn_HoldFor(arg1, swig_obj[1], KIND, (void *)arg2);
}
%enddef
%define TARN_DEVICE_HOLDS(CLASS)
TARN_HELD(CLASS::AddStream, 0)
TARN_HELD(CLASS::RegisterEventSink, 1)
TARN_HELD(CLASS::SetUserSetNotify, 2)
%exception CLASS::UnregisterEventSink {
  $action
  if (result.IsOK()) Tarn_ReleaseSink(arg1, (void *)arg2);
}
%enddef

/* Start may call Python on this thread: a director's error ends the call
 * with the error it set, once the lock is back. */
%define TARN_DEVICE_START(CLASS)
%exception CLASS::Start {
  try {
    $action
  } catch (Swig::DirectorException &) {
    SWIG_fail;
  }
}
%enddef

%fragment("Tarn_DeviceHolds");
%feature("action") ZuSoftDeviceGEV::~ZuSoftDeviceGEV {
  const void *tarn_key = Tarn_DeviceKey(arg1);
  delete arg1;
  {
    SWIG_PYTHON_THREAD_BEGIN_BLOCK;
    Tarn_ReleaseDevice(tarn_key);
    SWIG_PYTHON_THREAD_END_BLOCK;
  }
}

%apply ZuString &OUT_TUPLE_IF_OK { ZuString &aString };

TARN_DEVICE_HOLDS(IZuVirtualDeviceGEV)
TARN_DEVICE_START(IZuVirtualDeviceGEV)
%include "IZuVirtualDeviceGEV.h"
TARN_DEVICE_HOLDS(IZuSoftDeviceGEV)
%include "IZuSoftDeviceGEV.h"
TARN_DEVICE_HOLDS(ZuSoftDeviceGEV)
TARN_DEVICE_START(ZuSoftDeviceGEV)
%include "ZuSoftDeviceGEV.h"

%clear ZuString &aString;

/* ---- Event sink and user-set notification -------------------------------- */

%feature("director") IZuVirtualDeviceGEVEventSink;
%feature("nothreadallow") IZuVirtualDeviceGEVEventSink;
%feature("nothreadallow", "0") IZuVirtualDeviceGEVEventSink::IZuVirtualDeviceGEVEventSink;
%feature("nothreadallow", "0") IZuVirtualDeviceGEVEventSink::~IZuVirtualDeviceGEVEventSink;
/* A sink deleted while registered leaves every device first. */
%feature("action") IZuVirtualDeviceGEVEventSink::~IZuVirtualDeviceGEVEventSink {
  if (arg1) tarn::ForgetSoftDeviceSink(arg1);
  delete arg1;
  {
    SWIG_PYTHON_THREAD_BEGIN_BLOCK;
    Tarn_ForgetHeld(arg1);
    SWIG_PYTHON_THREAD_END_BLOCK;
  }
}
%include "IZuVirtualDeviceGEVEventSink.h"

%feature("director") IZuUserSetNotify;
%feature("nothreadallow") IZuUserSetNotify;
%feature("nothreadallow", "0") IZuUserSetNotify::IZuUserSetNotify;
%feature("nothreadallow", "0") IZuUserSetNotify::~IZuUserSetNotify;
%feature("action") IZuUserSetNotify::~IZuUserSetNotify {
  if (arg1) tarn::ForgetSoftDeviceUserSetNotify(arg1);
  delete arg1;
}
%include "IZuUserSetNotify.h"

/* ---- Messaging channel: event data only from bytes, never written. ----- */

%typemap(in, noblock=1) (uint8_t *aData, uint32_t aDataLength) {
  $1 = (uint8_t *)PyBytes_AsString($input);
  $2 = (uint32_t)PyBytes_Size($input);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_CHAR_ARRAY) (uint8_t *aData, uint32_t aDataLength) {
  $1 = PyBytes_Check($input) ? 1 : 0;
}
%include "IZuMessageChannel.h"
%clear (uint8_t *aData, uint32_t aDataLength);

/* ---- Identity and statistics -------------------------------------------- */

%include "IZuVirtualDeviceGEVInfo.h"
%include "IZuVirtualDeviceGEVStatistics.h"

/* ---- Process exit --------------------------------------------------------
 * Devices still running when the interpreter exits are stopped while it can
 * still run their up-calls (atexit runs before finalisation), so that no
 * device thread calls into Python during or after it. */
%fragment("Tarn_StopAtExit", "header") %{
static PyObject *Tarn_StopDevicesAtExit(PyObject *, PyObject *)
{
  Py_BEGIN_ALLOW_THREADS
  tarn::StopAllSoftDevices();
  Py_END_ALLOW_THREADS
  Py_RETURN_NONE;
}
%}
%fragment("Tarn_StopAtExit");

/* An up-call that failed on a device thread, and that the device went on
 * from, leaves nothing pending on that thread for the next one. */
%fragment("Tarn_DropFailedUpCall", "header") %{
static void Tarn_DropFailedUpCall()
{
  tarn::UpCalls::Scope tarn_gate;
  if (!tarn_gate || !Py_IsInitialized()) return;
  PyGILState_STATE state = PyGILState_Ensure();
  PyErr_Clear();
  PyGILState_Release(state);
}
%}
%fragment("Tarn_DropFailedUpCall");
%init %{
  tarn::SetSoftDeviceUpCallFailureHook(Tarn_DropFailedUpCall);
%}
%init %{
  {
    static PyMethodDef tarn_stop = {"_tarn_stop_devices", Tarn_StopDevicesAtExit, METH_NOARGS, NULL};
    PyObject *tarn_atexit = PyImport_ImportModule("atexit");
    PyObject *tarn_function = tarn_atexit ? PyCFunction_New(&tarn_stop, NULL) : NULL;
    PyObject *tarn_done = tarn_function ? PyObject_CallMethod(tarn_atexit, "register", "O", tarn_function) : NULL;
    if (!tarn_done) PyErr_Clear();
    Py_XDECREF(tarn_done);
    Py_XDECREF(tarn_function);
    Py_XDECREF(tarn_atexit);
  }
%}
