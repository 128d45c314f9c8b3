/* Channel sources: the interfaces a Python class implements to describe
 * and feed one stream channel of the software device, and their directors
 * (channelsource/directors.i). */

%include "channelsource/directors.i"

%{
#include "IZuStreamingChannelSource.h"
#include "IZuSWStreamingChannelSource.h"
%}

class IZuRegisterMap;
class IZuRegisterFactory;
class IZuGenApiFactory;

TARN_CHANNEL_SOURCE_OUTVALUES
TARN_CHANNEL_SOURCE_CLASS(IZuStreamingChannelSource)
TARN_CHANNEL_SOURCE_DIRECTOR(IZuStreamingChannelSource)
%include "IZuStreamingChannelSource.h"

TARN_CHANNEL_SOURCE_CLASS(IZuSWStreamingChannelSource)
TARN_SW_SOURCE_DIRECTOR(IZuSWStreamingChannelSource)
%include "IZuSWStreamingChannelSource.h"

TARN_CHANNEL_SOURCE_CLEAR
