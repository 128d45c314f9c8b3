%module(directors="1") tarn_edge_310

%include "core/runtime_fixes.i"

%{
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include "ZuPayloadType.h"
#include "ZuPixelType.h"
#include "ZuGenTypes.h"
%}

/* Here a result's description is taken only from a ZuString object. */
#define TARN_STRICT_RESULT_DESCRIPTION
%typemap(in) const ZuString &aDescription = SWIGTYPE const &;
%typemap(typecheck, precedence=0) const ZuString &aDescription = SWIGTYPE const &;
%typemap(freearg) const ZuString &aDescription "";
%include "core/core.i"
%clear const ZuString &aDescription;

/* Constants, group by group, in the order the module sets them. */
%include "ZuPayloadType.h"
%include "ZuResultCodes.h"
%include "ZuPixelType.h"
%include "ZuLogTypes.h"
%init %{
  import_array();
%}
%include "ZuGenTypes.h"
%include "core/genicam.i"
