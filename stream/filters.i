/* Compression and decompression filters behind the filter interface.
 *
 * Execute answers (ZuResult, output or None); the output item is a second
 * proxy of the caller's buffer that keeps the caller's proxy alive.
 * GetOutputFormatFor answers (ZuResult, pixel type, width, height), the
 * three read whatever the outcome (0 unless the SDK wrote them), the pixel
 * type as an unsigned code. GetThreadsPriority's `uint32_t &` has no
 * conversion of its own: only a pointer object of that exact type (which no
 * module makes) or nothing at all reaches it. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuFilter.h"
#include "ZuCompressionFilter.h"
#include "ZuDecompressionFilter.h"
%}

class ZuBuffer;

%apply SWIGTYPE *ECHO_TUPLE_IF_OK { ZuBuffer *aOut };
%apply uint32_t &OUT_TUPLE { ZuPixelType &aPixelType, uint32_t &aWidth, uint32_t &aHeight };

%include "ZuFilter.h"
%include "ZuCompressionFilter.h"
%include "ZuDecompressionFilter.h"

%clear ZuBuffer *aOut;
%clear ZuPixelType &aPixelType, uint32_t &aWidth, uint32_t &aHeight;
