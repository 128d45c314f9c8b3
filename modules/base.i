%module(directors="1") tarn_base_310

%include "core/runtime_fixes.i"

%{
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include "ZuPixelType.h"
#include "ZuGenTypes.h"
#include "ZuPayloadType.h"
#include "ZuMultiPartTypes.h"
#include "ZuGenDCTypes.h"
#include "ZuSystemTypes.h"
%}

%include "core/core.i"

/* Constants, group by group, in the order the module sets them. */
%include "ZuResultCodes.h"
%include "ZuPixelType.h"
%include "ZuLogTypes.h"
%init %{
  import_array();
%}
%include "ZuGenTypes.h"
%init %{
  import_array();
%}
%include "ZuPayloadType.h"
%include "ZuMultiPartTypes.h"
%include "ZuGenDCTypes.h"
%include "ZuSystemTypes.h"
%include "core/genicam.i"
%include "discovery/discovery.i"
%include "payload/buffer.i"
