/* Where the three modules differ: one row per module. A module file names
 * its row and includes this file before anything else:
 *
 *     #define TARN_PROFILE_BASE          (or TARN_PROFILE_RECEIVE, TARN_PROFILE_EDGE)
 *     %include "core/profile.i"
 *
 *                                base               receive            edge
 *   TARN_DESCRIPTION_TEXT        str or ZuString    ZuString only      ZuString only
 *     (a result's description, in ZuResult's constructors and SetDescription)
 *   TARN_SIGNATURE_DOCS          Python signatures  the SDK's own      the SDK's own
 *     (docstrings of operations with out-values)
 *   TARN_DIRECTOR_SEPARATOR      ""                 ""                 ": "
 *     (between the error's type name and text in a director's failure line)
 *   TARN_EXTENSION_MODULE        _tarn_base_310     -                  -
 *     (the module that Python code added to payload classes calls)
 *   TARN_CONSTANTS               the module's constant groups, in the order
 *                                the module sets them, with NumPy's array
 *                                interface imported between groups
 */

#if defined(TARN_PROFILE_BASE)

#define TARN_DESCRIPTION_TEXT TARN_TEXT_LAST
#define TARN_SIGNATURE_DOCS
%header %{
#define TARN_DIRECTOR_SEPARATOR ""
%}
#define TARN_EXTENSION_MODULE _tarn_base_310
%define TARN_CONSTANTS
%{
#include "ZuPixelType.h"
#include "ZuGenTypes.h"
#include "ZuPayloadType.h"
#include "ZuMultiPartTypes.h"
#include "ZuGenDCTypes.h"
#include "ZuSystemTypes.h"
%}
%include "ZuResultCodes.h"
%include "ZuPixelType.h"
%include "ZuLogTypes.h"
TARN_IMPORT_NUMPY
%include "ZuGenTypes.h"
TARN_IMPORT_NUMPY
%include "ZuPayloadType.h"
%include "ZuMultiPartTypes.h"
%include "ZuGenDCTypes.h"
%include "ZuSystemTypes.h"
%enddef

#elif defined(TARN_PROFILE_RECEIVE)

#define TARN_DESCRIPTION_TEXT TARN_TEXT_OBJECT_ONLY
%header %{
#define TARN_DIRECTOR_SEPARATOR ""
%}
%define TARN_CONSTANTS
%{
#include "ZuPixelType.h"
#include "ZuGenTypes.h"
#include "ZuBufferReceiveTypes.h"
#include "ZuStreamTypes.h"
#include "ZuDeviceSerialTypes.h"
%}
%include "ZuResultCodes.h"
%include "ZuPixelType.h"
%include "ZuLogTypes.h"
TARN_IMPORT_NUMPY
%include "ZuGenTypes.h"
%include "ZuBufferReceiveTypes.h"
%include "ZuStreamTypes.h"
%include "ZuDeviceSerialTypes.h"
%enddef

#elif defined(TARN_PROFILE_EDGE)

#define TARN_DESCRIPTION_TEXT TARN_TEXT_OBJECT_ONLY
%header %{
#define TARN_DIRECTOR_SEPARATOR ": "
%}
%define TARN_CONSTANTS
%{
#include "ZuPayloadType.h"
#include "ZuPixelType.h"
#include "ZuGenTypes.h"
#include "ZuSoftDeviceTypes.h"
#include "ZuTriggerTypes.h"
%}
%include "ZuPayloadType.h"
%include "ZuResultCodes.h"
%include "ZuPixelType.h"
%include "ZuLogTypes.h"
TARN_IMPORT_NUMPY
%include "ZuGenTypes.h"
%include "ZuSoftDeviceTypes.h"
%include "ZuTriggerTypes.h"
%enddef

#else
#error "a module names its profile (TARN_PROFILE_BASE, TARN_PROFILE_RECEIVE or TARN_PROFILE_EDGE) before including core/profile.i"
#endif
