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

/* What an override receives: views of the SDK's bytes for the call; what
 * the up-call functions take back: the same shapes from Python. */
%apply (const void *TARN_CALLBACK_BYTES, uint32_t TARN_CALLBACK_LENGTH) { (const void *aData, uint32_t aDataLength) };
%apply (const void *TARN_CALL_BYTES, uint32_t TARN_CALL_LENGTH) { (const void *aData, uint32_t aDataLength) };
%apply (const void *TARN_ADDRESSED_BYTES, int64_t TARN_ADDRESS, int64_t TARN_ADDRESSED_LENGTH) {
  (const void *aBuffer, int64_t aAddress, int64_t aLength) };

%include "ZuDeviceEventSink.h"

%clear (const void *aData, uint32_t aDataLength);
%clear (const void *aBuffer, int64_t aAddress, int64_t aLength);
%feature("action", "") ZuDeviceEventSink::~ZuDeviceEventSink;
