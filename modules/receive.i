%module(directors="1") tarn_receive_310

%include "core/runtime_fixes.i"

%{
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include "ZuPixelType.h"
#include "ZuGenTypes.h"
#include "ZuBufferReceiveTypes.h"
#include "ZuStreamTypes.h"
#include "ZuDeviceSerialTypes.h"
%}

/* Here a result's description is taken only from a ZuString object. */
#define TARN_STRICT_RESULT_DESCRIPTION
%typemap(in) const ZuString &aDescription = SWIGTYPE const &;
%typemap(typecheck, precedence=0) const ZuString &aDescription = SWIGTYPE const &;
%typemap(freearg) const ZuString &aDescription "";
%include "core/core.i"
%clear const ZuString &aDescription;

/* Constants, group by group, in the order the module sets them. */
%include "ZuResultCodes.h"
%include "ZuPixelType.h"
%include "ZuLogTypes.h"
%init %{
  import_array();
%}
%include "ZuGenTypes.h"
%include "ZuBufferReceiveTypes.h"
%include "ZuStreamTypes.h"
%include "ZuDeviceSerialTypes.h"
%include "core/genicam.i"
TARN_CATCH_NATIVE
%include "device/device.i"
%include "device/eventsink.i"
%include "device/adapter.i"
%exception;
