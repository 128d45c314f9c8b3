/* The trigger channel source: a director over the SDK's trigger-aware
 * source. The subclass supplies the image side; the trigger wait, the
 * trigger registers and features are the SDK's, and an override may run
 * the base step of the protected feature builders from inside its own.
 *
 * Not handed to Python: the buffer count (answered natively, without the
 * interpreter lock: every buffer is used) and the trigger wait before each
 * queued buffer (the SDK's own, which the streaming thread runs without
 * the lock; its module function calls it directly).
 *
 * Selectors and callbacks added from Python stay alive for as long as the
 * source holds them (until replaced, or the source goes). */

%{
#include "ZuStreamingChannelSourceTrigger.h"
%}

TARN_CHANNEL_SOURCE_OUTVALUES
TARN_CHANNEL_SOURCE_CLASS(ZuStreamingChannelSourceTrigger)
TARN_SW_SOURCE_DIRECTOR(ZuStreamingChannelSourceTrigger)
TARN_NOT_DISPATCHED(ZuStreamingChannelSourceTrigger, GetTxNumBuffersToUse)

%feature("nodirector") ZuStreamingChannelSourceTrigger::PreQueueBufferProc;
%feature("action") ZuStreamingChannelSourceTrigger::PreQueueBufferProc
  "result = (bool)arg1->ZuStreamingChannelSourceTrigger::PreQueueBufferProc();"

TARN_HOLDS_KEYED(ZuStreamingChannelSourceTrigger::AddSelector, TARN_SLOT_SELECTORS)
TARN_HOLDS_KEYED(ZuStreamingChannelSourceTrigger::AddSelectorTriggerCallback, TARN_SLOT_CALLBACKS)

%include "ZuStreamingChannelSourceTrigger.h"

%exception ZuStreamingChannelSourceTrigger::AddSelector;
%exception ZuStreamingChannelSourceTrigger::AddSelectorTriggerCallback;
TARN_CHANNEL_SOURCE_CLEAR
