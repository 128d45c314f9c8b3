%module(directors="1") tarn_receive_310

#define TARN_PROFILE_RECEIVE
%include "core/profile.i"

%include "core/core.i"
TARN_CONSTANTS
%include "core/genicam.i"
TARN_CATCH_NATIVE
%include "device/device.i"
%include "device/eventsink.i"
%include "device/adapter.i"
%exception;
%include "stream/stream.i"
%include "stream/pipeline.i"
%include "stream/converter.i"
%include "stream/filters.i"
