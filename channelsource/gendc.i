/* The GenDC channel source: a software-buffer source whose buffers carry
 * GenDC containers, built through the GenDC manager the device assigns.
 * The manager reaches Python as a borrowed proxy of the base module's
 * class. */

%{
#include "IZuSWStreamingChannelSourceGenDC.h"
%}

class IZuGenDCManager;

TARN_CHANNEL_SOURCE_OUTVALUES
TARN_CHANNEL_SOURCE_CLASS(IZuSWStreamingChannelSourceGenDC)
TARN_SW_SOURCE_DIRECTOR(IZuSWStreamingChannelSourceGenDC)
%include "IZuSWStreamingChannelSourceGenDC.h"

TARN_CHANNEL_SOURCE_CLEAR
