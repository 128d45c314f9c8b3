/* Registers of the software device: their information and access, the
 * register map, the register factory and store, and the register event
 * sink that Python subclasses.
 *
 * Everything the device lends (registers, the map, the factory, the store)
 * arrives as a non-owning proxy. What a script hands to a register stays
 * alive while the register may call it: a sink while it is attached (given
 * to the factory or to AddEventSink), a context while its register exists.
 * disown_ keeps its own meaning.
 *
 * A register access runs the register's sinks on the calling thread: the
 * access functions release the interpreter lock, and an error a Python sink
 * raised there ends the call with that error. */

%{
#include "IZuRegister.h"
#include "IZuRegisterEventSink.h"
#include "IZuRegisterFactory.h"
#include "IZuRegisterMap.h"
#include "IZuRegisterStore.h"
#include "tarn/SoftDevice.h"
%}

TARN_CATCH_NATIVE

/* A register handed to Python (by the map, or to a sink) is one object for
 * as long as the register lives; once the device lets it go (it stops, or a
 * Start fails) a kept one refuses use (TARN_LENT, core/typemaps/lifetime.i).
 * (The sinks' argument, for the register sink's and the trigger source's
 * overrides alike.) */
%apply SWIGTYPE *TARN_LENT { IZuRegister *IZuRegisterMap::GetRegisterByIndex, IZuRegister *IZuRegisterMap::GetRegisterByAddress,
                             IZuRegister *aRegister };

/* ---- Registers ----------------------------------------------------------- */

/* ReadBytes: the length becomes a new uint8 array the register is read
 * into; the array comes back whatever the result. */
%apply (uint8_t *TARN_READ_INTO, uint32_t TARN_READ_LENGTH) { (uint8_t *aData, uint32_t aDataLength) };

%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aValue };
%apply ZuString &OUT_TUPLE_IF_OK { ZuString &aValue };
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aValue };
/* (the written text is no out-value of ReadString's) */
%typemap(argout) const ZuString &aValue "";

/* A sink attached from Python stays alive while attached (and the register
 * lets it go when the device does). */
TARN_HOLDS_SINK(IZuRegister::AddEventSink, IZuRegister::RemoveEventSink, result.IsOK())

%include "IZuRegisterInfo.h"
%include "IZuRegister.h"

%exception IZuRegister::AddEventSink;
%exception IZuRegister::RemoveEventSink;
%clear (uint8_t *aData, uint32_t aDataLength);
%clear uint32_t &aValue;
%clear ZuString &aValue;
%clear const ZuString &aValue;

/* ---- The map, the factory and the store ---------------------------------- */

%apply uint32_t &OUT_TUPLE_IF_OK { uint32_t &aAssignedAddress };
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aName };
%apply SWIGTYPE *TARN_HELD { IZuRegisterEventSink *aRegisterEventSink };
%apply void *TARN_HELD { void *aContext };
/* The sink and context go with the register the call creates. */
%typemap(check, noblock=1) IZuRegisterEventSink *aRegisterEventSink {
  tarn::HoldForNextRegister(arg1, 0, tarn_keep$argnum);
}
%typemap(check, noblock=1) void *aContext {
  tarn::HoldForNextRegister(arg1, 1, tarn_keep$argnum);
}

%include "IZuRegisterMap.h"
%include "IZuRegisterFactory.h"
%include "IZuRegisterStore.h"

%clear uint32_t &aAssignedAddress;
%clear const ZuString &aName;
%clear IZuRegisterEventSink *aRegisterEventSink;
%clear void *aContext;

/* ---- The register event sink --------------------------------------------- */

%feature("director") IZuRegisterEventSink;
/* A sink destroyed while attached leaves every register first. */
%feature("action") IZuRegisterEventSink::~IZuRegisterEventSink {
  if (arg1) tarn::ForgetRegisterSink(arg1);
  delete arg1;
}
%include "IZuRegisterEventSink.h"

%exception;
