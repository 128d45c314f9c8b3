%module(directors="1") tarn_base_310

#define TARN_PROFILE_BASE
%include "core/profile.i"

%include "core/core.i"
TARN_CONSTANTS
%include "core/genicam.i"
%include "discovery/discovery.i"
%include "payload/gendc.i"
%include "payload/buffer.i"
%include "payload/multipart.i"
