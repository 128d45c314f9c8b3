/* The trigger callback: a Python class told when a selector of a trigger
 * source fires, on the source's streaming thread. The selector reaches it
 * as a borrowed IZuTriggerSelector proxy (the declared type: its own
 * functions dispatch to the concrete selector). */

%{
#include "IZuTriggerCallback.h"
%}

TARN_CHANNEL_SOURCE_CLASS(IZuTriggerCallback)
%include "IZuTriggerCallback.h"
