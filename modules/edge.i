%module(directors="1", dirprot="1") tarn_edge_310

#define TARN_PROFILE_EDGE
%include "core/profile.i"

%include "core/core.i"
TARN_CONSTANTS
%include "core/genicam.i"
%include "softdevice/softdevice.i"
%include "registers/registers.i"
%include "registers/genapi.i"
%include "channelsource/channelsource.i"
%include "channelsource/gendc.i"
%include "triggers/defaultsource.i"
%include "triggers/selectors.i"
%include "triggers/callback.i"
%include "triggers/triggersource.i"
%include "softdevice/transmitter.i"
%include "softdevice/stabilizer.i"
