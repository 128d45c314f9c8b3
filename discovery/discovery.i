/* Discovery: the system, its interfaces and the device informations. */

%{
#include "ZuSystem.h"
%}

%include <std_string.i>

/* ---- Returned interfaces and device informations come back as their most
 * specific kind; a Copy is owned by its proxy. A borrowed one keeps the
 * proxy it came from alive (and so, step by step, its ZuSystem): dropping
 * the system while its findings are still in use must not leave them
 * pointing at freed memory. Tarn_KeepOwner (core/conventions.i) ties the
 * buffer views to their owners the same way. */
%{
SWIGINTERN PyObject *Tarn_InterfaceObject(const ZuInterface *aInterface, int aOwn)
{
  if (!aInterface) return SWIG_Py_Void();
  if (auto *adapter = dynamic_cast<const ZuNetworkAdapter *>(aInterface))
    return SWIG_NewPointerObj(SWIG_as_voidptr(adapter), SWIGTYPE_p_ZuNetworkAdapter, aOwn);
  if (auto *controller = dynamic_cast<const ZuUSBHostController *>(aInterface))
    return SWIG_NewPointerObj(SWIG_as_voidptr(controller), SWIGTYPE_p_ZuUSBHostController, aOwn);
  return SWIG_NewPointerObj(SWIG_as_voidptr(aInterface), SWIGTYPE_p_ZuInterface, aOwn);
}

SWIGINTERN PyObject *Tarn_DeviceInfoObject(const ZuDeviceInfo *aInfo, int aOwn)
{
  if (!aInfo) return SWIG_Py_Void();
  if (auto *u3v = dynamic_cast<const ZuDeviceInfoU3V *>(aInfo))
    return SWIG_NewPointerObj(SWIG_as_voidptr(u3v), SWIGTYPE_p_ZuDeviceInfoU3V, aOwn);
  if (auto *usb = dynamic_cast<const ZuDeviceInfoUSB *>(aInfo))
    return SWIG_NewPointerObj(SWIG_as_voidptr(usb), SWIGTYPE_p_ZuDeviceInfoUSB, aOwn);
  if (auto *gev = dynamic_cast<const ZuDeviceInfoGEV *>(aInfo))
    return SWIG_NewPointerObj(SWIG_as_voidptr(gev), SWIGTYPE_p_ZuDeviceInfoGEV, aOwn);
  if (auto *maker = dynamic_cast<const ZuDeviceInfoMorvekProtocol *>(aInfo))
    return SWIG_NewPointerObj(SWIG_as_voidptr(maker), SWIGTYPE_p_ZuDeviceInfoMorvekProtocol, aOwn);
  return SWIG_NewPointerObj(SWIG_as_voidptr(aInfo), SWIGTYPE_p_ZuDeviceInfo, aOwn);
}
%}

%typemap(out) ZuInterface *, const ZuInterface * {
  $result = Tarn_InterfaceObject($1, $owner);
  if (!$owner) Tarn_KeepOwner($result, swig_obj[0]);
}
%typemap(out) ZuDeviceInfo *, const ZuDeviceInfo * {
  $result = Tarn_DeviceInfoObject($1, $owner);
  if (!$owner) Tarn_KeepOwner($result, swig_obj[0]);
}
/* The text fields of a session record are views into it. */
%typemap(out) ZuString *mName, ZuString *mAddress, ZuString *mLocalAddress {
  $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, 0);
  Tarn_KeepOwner($result, swig_obj[0]);
}
%newobject ZuInterface::Copy;
%newobject ZuDeviceInfo::Copy;

/* FindDevice: [ZuResult, device information or None]. */
%typemap(in, numinputs=0) const ZuDeviceInfo **aDeviceInfo (const ZuDeviceInfo *tarn_found = 0) {
  $1 = ($1_ltype)&tarn_found;
}
%typemap(argout) const ZuDeviceInfo **aDeviceInfo {
  {
    PyObject *tarn_list = PyList_New(2);
    if (!tarn_list) {
      Py_DECREF($result);
      SWIG_fail;
    }
    PyList_SetItem(tarn_list, 0, $result);
    $result = tarn_list;
    PyObject *tarn_info = Tarn_DeviceInfoObject(tarn_found$argnum, 0);
    if (!tarn_info) {
      Py_DECREF(tarn_list);
      SWIG_fail;
    }
    PyList_SetItem(tarn_list, 1, Tarn_KeepOwner(tarn_info, swig_obj[0]));
  }
}

%feature("docstring") ZuSystem::FindDevice "
FindDevice(aDeviceToFind) -> ZuResult, ZuDeviceInfo

Discovers until one device answers or the detection time-out ends.
Other devices found meanwhile join the system's lists too.
:type aDeviceToFind: string
:param aDeviceToFind: The device's MAC address, IP address, user-defined
      name, serial number or unique ID.
:rtype: list
:return: [ZuResult, the device's information as its most specific kind,
      borrowed from the system; None when it was not found]. The result is
      ZU_OK, ZU_NOT_FOUND, or ZU_INVALID_PARAMETER for an empty text.
";

/* None has no text to copy into a record's field, and no interface to
 * compare: both are refused before the SDK sees them. */
%typemap(check) ZuString *mName, ZuString *mAddress, ZuString *mLocalAddress {
  if (!$1) {
    SWIG_exception_fail(SWIG_TypeError, "invalid null reference in method '$symname', argument $argnum of type 'ZuString *'");
  }
}
%typemap(check) const ZuInterface *a1, const ZuInterface *a2 {
  if (!$1) {
    SWIG_exception_fail(SWIG_TypeError, "invalid null reference in method '$symname', argument $argnum of type 'ZuInterface const *'");
  }
}

%nodefaultctor ZuInterface;
%nodefaultctor ZuDeviceInfo;

%include "ZuInterface.h"
%include "ZuDeviceInfo.h"
%include "ZuSystem.h"

%types(ZuSystemLib::IPConfigVector *, ZuSystemLib::GatewayVector *);
