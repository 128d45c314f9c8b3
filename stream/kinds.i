/* The USB3 Vision and RTP kinds of ZuStream; included by stream/stream.i
 * among the kinds, so that they share its texts, its held buffers and the
 * factory's downcast.
 *
 * ZuSessionInfoSDP has no class here: no module makes one, so only None
 * reaches the SDP form of ZuStreamRTP::Open (which the SDK does not
 * support). _tarn_base_310's session record is another type and is not
 * taken for it. */

%{
#include "ZuStreamU3V.h"
#include "ZuStreamRTP.h"
%}

%_tarn_stream_destructor(ZuStreamU3V)
%_tarn_stream_destructor(ZuStreamRTP)

%apply const ZuString &TARN_TEXT_LAST { const ZuString &aGUID, const ZuString &aServerIpAddress };

class ZuSessionInfoSDP;

%include "ZuStreamU3V.h"
%include "ZuStreamRTP.h"

%clear const ZuString &aGUID, const ZuString &aServerIpAddress;
