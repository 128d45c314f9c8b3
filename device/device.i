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

/* ---- ZuDevice ---------------------------------------------------------------- */

/* CreateAndConnect: (ZuResult, device as its most specific kind, or None).
 * The device is the SDK's until Free: its proxy does not own it, and holds
 * nothing of the information it came from. */
%apply ZuResult *TARN_RESULT_FIRST { ZuResult *aResult };
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
%apply (uint8_t *TARN_FILLED, int64_t TARN_FILLED_COUNT) { (uint8_t *aDestination, int64_t aByteCount) };

/* WriteMemory: the bytes of a one-dimensional array (any object NumPy
 * turns into uint8), for the call only. */
%apply (const uint8_t *TARN_CALL_BYTES, int64_t TARN_CALL_COUNT) { (const uint8_t *aSource, int64_t aByteCount) };
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
  if ($1) Tarn_KeepShare($result, tarn::DeviceBinding::ShareParameters(*arg1, $1));
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
