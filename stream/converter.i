/* The buffer converter and its RGB filter.
 *
 * Buffers and images are _tarn_base_310's classes: this module knows them
 * only as pointer types of the shared table. Convert answers (ZuResult,
 * destination or None); the destination item is a second proxy of the
 * caller's buffer, which keeps the caller's proxy alive, so that it never
 * outlives the buffer it shows. An RGB filter given to SetRGBFilter stays
 * alive with the converter's proxy until ResetRGBFilter, another
 * SetRGBFilter or the converter's deletion lets it go: dropping the last
 * reference of the script's own never leaves the converter with a filter
 * that is gone. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuBufferConverter.h"
%}

class ZuBuffer;
class IZuImage;

/* Filter types and encodings are the module's constants. */
%include "ZuBufferReceiveTypes.h"

/* Convert's six forms are told apart by their source alone (a buffer
 * before an image, but an image first among the four-argument forms);
 * the chosen form then converts the rest, so a wrong destination or flag
 * names its argument, followed by the list of forms. */
%feature("fastdispatch") ZuBufferConverter::Convert;

%apply SWIGTYPE *ECHO_TUPLE_IF_OK { ZuBuffer *aDestination };

/* The converter's proxy holds the one filter it was given. */
TARN_HOLDS_ONE(ZuBufferConverter::SetRGBFilter, ZuBufferConverter::ResetRGBFilter)
TARN_HOLDER(ZuBufferConverter)

%include "ZuBufferConverter.h"

%clear ZuBuffer *aDestination;
%exception ZuBufferConverter::SetRGBFilter;
%exception ZuBufferConverter::ResetRGBFilter;
%exception ZuBufferConverter::~ZuBufferConverter;
%feature("fastdispatch", "") ZuBufferConverter::Convert;
