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

/* The factories handed to the creation callbacks (of the event sink, the
 * sources and the trigger source's builders) live for the call only. */
%apply SWIGTYPE *TARN_LENT_DURING_CALL { IZuRegisterFactory *aFactory, IZuGenApiFactory *aFactory };
/* What the device lends goes with it: its register map, identity, statistics
 * and messaging channel (from its getters; the map also to the sources'
 * creation callbacks) and the device itself as its sinks are handed it. A
 * script that kept one past the device's deletion gets the argument error of
 * a freed object (TARN_LENT, core/typemaps/lifetime.i). */
%apply SWIGTYPE *TARN_LENT { IZuVirtualDeviceGEVInfo *, IZuRegisterMap *, IZuVirtualDeviceGEVStatistics *,
                             IZuMessageChannel *, IZuVirtualDeviceGEV *aDevice };

/* ---- What the device holds of Python ------------------------------------
 * Held for the device: each channel source until the device goes, each
 * sink until unregistered, the user-set notification until replaced. */
%define TARN_DEVICE_HOLDS(CLASS)
%exception CLASS::AddStream {
  $action
  if (result.IsOK() && arg2) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_SOURCES, Tarn_Owner(arg2), swig_obj[1], false);
}
TARN_HOLDS_SINK(CLASS::RegisterEventSink, CLASS::UnregisterEventSink, result.IsOK())
%exception CLASS::SetUserSetNotify {
  $action
  if (result.IsOK()) {
    tarn::Holds::DropSlot(Tarn_Owner(arg1), TARN_SLOT_NOTIFY);
    if (arg2) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_NOTIFY, Tarn_Owner(arg2), swig_obj[1], true);
  }
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

TARN_HOLDER(ZuSoftDeviceGEV)

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
/* A sink deleted while registered leaves every device first. */
%feature("action") IZuVirtualDeviceGEVEventSink::~IZuVirtualDeviceGEVEventSink {
  if (arg1) tarn::ForgetSoftDeviceSink(arg1);
  delete arg1;
}
%exception IZuVirtualDeviceGEVEventSink::~IZuVirtualDeviceGEVEventSink {
  {
    const volatile uintptr_t tarn_sink = (uintptr_t)Tarn_Owner(arg1);
    $action
    if (tarn_sink) tarn::Holds::DropEverywhere(TARN_SLOT_SINKS, (const void *)tarn_sink);
  }
}
%include "IZuVirtualDeviceGEVEventSink.h"

%feature("director") IZuUserSetNotify;
%feature("action") IZuUserSetNotify::~IZuUserSetNotify {
  if (arg1) tarn::ForgetSoftDeviceUserSetNotify(arg1);
  delete arg1;
}
%exception IZuUserSetNotify::~IZuUserSetNotify {
  {
    const volatile uintptr_t tarn_notify = (uintptr_t)Tarn_Owner(arg1);
    $action
    if (tarn_notify) tarn::Holds::DropEverywhere(TARN_SLOT_NOTIFY, (const void *)tarn_notify);
  }
}
%include "IZuUserSetNotify.h"

/* ---- Messaging channel: event data only from bytes, never written. ----- */

%apply (uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH) { (uint8_t *aData, uint32_t aDataLength) };
%include "IZuMessageChannel.h"
%clear (uint8_t *aData, uint32_t aDataLength);

/* ---- Identity and statistics -------------------------------------------- */

%include "IZuVirtualDeviceGEVInfo.h"
%include "IZuVirtualDeviceGEVStatistics.h"

