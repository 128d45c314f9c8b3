/* Streams: the factory and queue of ZuStream, and its kinds: GigE Vision
 * here, USB3 Vision and RTP in stream/kinds.i.
 *
 * Buffers and device informations are _tarn_base_310's classes: this module
 * knows them only as pointer types of the shared table. A queued buffer is
 * held (its Python object kept alive) from QueueBuffer until RetrieveBuffer
 * hands it back or the stream is released, whatever the script drops
 * meanwhile, so that the receiver never writes into freed memory; a
 * delete_ of it meanwhile waits for that too. */

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
  if (arg2 && result.GetCode() == ZU_PENDING)
    Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_QUEUED, arg2, swig_obj[1], true, Tarn_Owner(arg2));
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

%apply ZuResult *TARN_RESULT_FIRST { ZuResult *aResult };

/* ---- RetrieveBuffer: [ZuResult, ZuBuffer or None, operation ZuResult] ----
 * The buffer item is whatever the SDK left in the pointer. It does not own
 * the buffer; it keeps the object that was queued alive for as long as it
 * is used (the queue's hold passes to it). */
%apply SWIGTYPE **TARN_RETRIEVED { ZuBuffer **aBuffer };
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
