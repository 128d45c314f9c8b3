/* Streams: the factory and queue of ZuStream, and its kinds: GigE Vision
 * here, USB3 Vision and RTP in stream/kinds.i.
 *
 * Buffers and device informations are _tarn_base_310's classes: this module
 * knows them only as pointer types of the shared table. A queued buffer is
 * held (its Python object kept alive) from QueueBuffer until RetrieveBuffer
 * hands it back or the stream is released, whatever the script drops
 * meanwhile, so that the receiver never writes into freed memory. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuStream.h"
#include "ZuStreamGEV.h"
#include "ZuStreamU3V.h"
#include "ZuStreamRTP.h"
#include "ZuGenParameterArray.h"

#include <map>
%}

/* ---- Buffers held while queued -------------------------------------------
 * Held for the native stream, under the buffer. */
%exception ZuStream::QueueBuffer {
  $action
  if (arg2 && result.GetCode() == ZU_PENDING) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_QUEUED, arg2, swig_obj[1], true);
}

/* Free: by the binding's rule for Free (lifetime.i); what the stream held
 * goes with it. */
%apply SWIGTYPE *TARN_FREE { ZuStream *aStream };
%exception ZuStream::Free {
  {
    const volatile uintptr_t tarn_owner = (uintptr_t)Tarn_Owner(arg1);
    $action
    if (tarn_owner) tarn::Holds::DropOwner((const void *)tarn_owner);
  }
}

%define %_tarn_stream_destructor(CLASS)
TARN_HOLDER(CLASS)
%enddef
%_tarn_stream_destructor(ZuStream)
%_tarn_stream_destructor(ZuStreamGEV)

/* ---- CreateAndOpen: (ZuResult, the stream as its kind or None) -----------
 * The result is made before the call and comes first; the stream is not
 * owned by its proxy (ZuStream_Free releases it). */
TARN_DOWNCAST(ZuStream, ZuStreamGEV, ZuStreamU3V, ZuStreamRTP)

%typemap(in, numinputs=0, noblock=1) ZuResult *TARN_RESULT_FIRST (ZuResult *tarn_result = 0) {
  tarn_result = new ZuResult();
  $1 = tarn_result;
}
%typemap(argout, noblock=1, fragment="Tarn_Results") ZuResult *TARN_RESULT_FIRST {
  {
    PyObject *tarn_first = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, SWIG_POINTER_OWN);
    tarn_result$argnum = 0;
    $result = Tarn_AppendItem(tarn_first, $result, 1, 0);
    if (!$result) SWIG_fail;
  }
}
%typemap(freearg, noblock=1) ZuResult *TARN_RESULT_FIRST {
  delete tarn_result$argnum;
}
%apply ZuResult *TARN_RESULT_FIRST { ZuResult *aResult };

/* ---- RetrieveBuffer: [ZuResult, ZuBuffer or None, operation ZuResult] ----
 * The buffer item is whatever the SDK left in the pointer. It does not own
 * the buffer; it keeps the object that was queued alive for as long as it
 * is used (the queue's hold passes to it). */
%typemap(in, numinputs=0, noblock=1) ZuBuffer **TARN_RETRIEVED (ZuBuffer *tarn_buffer = 0) {
  $1 = &tarn_buffer;
}
%typemap(argout, noblock=1, fragment="Tarn_Results", fragment="Tarn_Lifetime") ZuBuffer **TARN_RETRIEVED {
  {
    PyObject *tarn_item = Tarn_NewNone();
    if (*$1) {
      Py_DECREF(tarn_item);
      tarn_item = SWIG_NewPointerObj(SWIG_as_voidptr(*$1), $*descriptor, 0);
      std::shared_ptr<void> tarn_queued = tarn_item ? tarn::Holds::Take(Tarn_Owner(arg1), TARN_SLOT_QUEUED, *$1) : nullptr;
      if (tarn_queued) Tarn_KeepOwner(tarn_item, (PyObject *)tarn_queued.get());
    }
    $result = Tarn_AppendItem($result, tarn_item, 0, $isvoid);
    if (!$result) SWIG_fail;
  }
}
%typemap(in, numinputs=0, noblock=1) ZuResult *TARN_OPERATION (ZuResult *tarn_operation = 0) {
  tarn_operation = new ZuResult();
  $1 = tarn_operation;
}
%typemap(argout, noblock=1, fragment="Tarn_Results") ZuResult *TARN_OPERATION {
  $result = Tarn_AppendItem($result, SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, SWIG_POINTER_OWN), 0, $isvoid);
  tarn_operation$argnum = 0;
  if (!$result) SWIG_fail;
}
%typemap(freearg, noblock=1) ZuResult *TARN_OPERATION {
  delete tarn_operation$argnum;
}
%apply ZuBuffer **TARN_RETRIEVED { ZuBuffer **aBuffer };
%apply ZuResult *TARN_OPERATION { ZuResult *aOperationResult };

/* ---- Texts -----------------------------------------------------------------
 * Open's text forms take any argument while the form is chosen; a value
 * that is no text then fails its conversion by position. The text form of
 * CreateAndOpen (aText) is checked like any text. */
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aInfo, const ZuString &aIPAddress,
                                        const ZuString &aMulticastAddr, const ZuString &aLocalIpAddress };

/* IsDriverInstalled's out-references: None is refused by position. */
%apply SWIGTYPE &TARN_NULL_CHOSEN { ZuString &aIPAddress, bool &aInstalled };

/* The SDK's socket receive buffer size: (ZuResult, int or None). */
%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aSize };

/* The parameters belong to the stream: their proxy keeps the stream's, and
 * once the stream is freed (ZuStream_Free) they refuse use. */
%apply SWIGTYPE *TARN_KEEP_OWNER { ZuGenParameterArray *ZuStream::GetParameters };
%apply SWIGTYPE *TARN_LENT { ZuGenParameterArray *ZuStream::GetParameters };

/* Known only by name: no module makes one, so only None reaches the SDK. */
class ZuStreamEventSink;

class ZuBuffer;
class ZuDeviceInfo;

%include "ZuStreamTypes.h"
%include "ZuStream.h"
%include "ZuStreamGEV.h"
%include "stream/kinds.i"

%clear ZuStream *, const ZuStream *;
%clear ZuResult *aResult;
%clear ZuBuffer **aBuffer;
%clear ZuResult *aOperationResult;
%clear const ZuString &aInfo, const ZuString &aIPAddress, const ZuString &aMulticastAddr,
       const ZuString &aLocalIpAddress;
%clear uint32_t &aSize;
%clear ZuString &aIPAddress, bool &aInstalled;
%clear ZuGenParameterArray *ZuStream::GetParameters;
%clear ZuStream *aStream;
