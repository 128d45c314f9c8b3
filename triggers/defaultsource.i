/* The ready-made default channel source: a director over the SDK's own
 * implementation. What the SDK answers with out-values (the limits, the
 * supported pixel types and chunks, the buffer count) is never asked of
 * Python; the buffer queue is the subclass's to supply. */

%{
#include "ZuStreamingChannelSourceDefault.h"
%}

%define TARN_NOT_DISPATCHED(CLASS, METHOD)
%feature("nodirector") CLASS::METHOD;
%ignore CLASS::METHOD;
%enddef

%include "channelsource/directors.i"

TARN_CHANNEL_SOURCE_OUTVALUES
TARN_CHANNEL_SOURCE_CLASS(ZuStreamingChannelSourceDefault)
TARN_SW_SOURCE_DIRECTOR(ZuStreamingChannelSourceDefault)
TARN_NOT_DISPATCHED(ZuStreamingChannelSourceDefault, GetWidthInfo)
TARN_NOT_DISPATCHED(ZuStreamingChannelSourceDefault, GetHeightInfo)
TARN_NOT_DISPATCHED(ZuStreamingChannelSourceDefault, GetSupportedPixelType)
TARN_NOT_DISPATCHED(ZuStreamingChannelSourceDefault, GetSupportedChunk)
TARN_NOT_DISPATCHED(ZuStreamingChannelSourceDefault, GetTxNumBuffersToUse)
%include "ZuStreamingChannelSourceDefault.h"

TARN_CHANNEL_SOURCE_CLEAR
