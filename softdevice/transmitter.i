/* The stand-alone stream transmitter, its interface, and the control
 * responder that serves packet resends for transmitters.
 *
 * Every operation releases the interpreter lock; no SDK thread of this
 * family calls Python.
 *
 * What the SDK keeps of Python objects stays alive while it may use them:
 * a buffer queued for sending until the transmitter lets go of it (handed
 * back by RetrieveFreeBuffer, or the transmitter destroyed), a transmitter
 * added to a responder as long as the responder. */

%{
#include "ZuTransmitterGEV.h"
#include "ZuVirtualDeviceGEV.h"
#include "tarn/Transmitter.h"
%}

/* ---- Buffers held while a transmitter may send them ----------------------
 * A share of each queued buffer's Python object, one per QueueBuffer, held
 * for the transmitter; its release hook (on the sending thread, without the
 * interpreter lock) lets one go as the transmitter lets go of the buffer.
 * Held before the call, so that a buffer freed at once finds its share;
 * given back when the transmitter refused it. A delete_ of the buffer
 * meanwhile waits for the share to go. */
%exception ZuTransmitterGEV::ZuTransmitterGEV {
  $action
  if (result) {
    const void *tarn_owner = Tarn_Owner(result);
    tarn::transmitter::SetBufferReleaseHook(*result, [tarn_owner](ZuBuffer *buffer) {
      tarn::Holds::Take(tarn_owner, TARN_SLOT_QUEUED, buffer);
    });
  }
}
TARN_HOLDER(ZuTransmitterGEV)
TARN_HOLDER(IZuTransmitterGEV)
%exception ZuTransmitterGEV::QueueBuffer {
  if (arg2) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_QUEUED, arg2, swig_obj[1], false, Tarn_Owner(arg2));
  $action
  if (arg2 && !result.IsOK()) tarn::Holds::Take(Tarn_Owner(arg1), TARN_SLOT_QUEUED, arg2);
}

%include "IZuTransmitterGEV.h"
%include "ZuTransmitterGEV.h"

%exception ZuTransmitterGEV::ZuTransmitterGEV;
%exception ZuTransmitterGEV::QueueBuffer;
%exception ZuTransmitterGEV::~ZuTransmitterGEV;
%exception IZuTransmitterGEV::~IZuTransmitterGEV;

/* ---- The control responder ----------------------------------------------- */

/* A transmitter added stays alive with the responder's proxy: the
 * responder's thread may hand it packet resends until the responder goes. */
%exception ZuVirtualDeviceGEV::AddTransmitterGEV {
  $action
  if (result.IsOK()) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_ITEMS, Tarn_Owner(arg2), swig_obj[1], false);
}
TARN_HOLDER(ZuVirtualDeviceGEV)

%include "ZuVirtualDeviceGEV.h"

%exception ZuVirtualDeviceGEV::AddTransmitterGEV;
%exception ZuVirtualDeviceGEV::~ZuVirtualDeviceGEV;
