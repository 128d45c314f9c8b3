/* The director patterns of channel sources, applied by each family file of
 * a source class (the interfaces, the ready-made sources) around its own
 * declarations and cleared with TARN_CHANNEL_SOURCE_CLEAR after them.
 *
 *   TARN_CHANNEL_SOURCE_CLASS(CLASS)
 *       a director class (its operation functions keep the interpreter
 *       lock: core/typemaps/threads.i). What the source holds goes with it.
 *   TARN_CHANNEL_SOURCE_OUTVALUES
 *       the module functions' out-values, converted whatever the result.
 *   TARN_CHANNEL_SOURCE_DIRECTOR(CLASS), TARN_SW_SOURCE_DIRECTOR(CLASS)
 *       what an override of the description (and of the buffer operations)
 *       must return, with the texts of each mismatch.
 */

%include "core/typemaps/buffers.i"

%define TARN_CHANNEL_SOURCE_CLASS(CLASS)
TARN_HOLDER(CLASS)
%feature("director") CLASS;
%enddef

%define TARN_CHANNEL_SOURCE_OUTVALUES
%apply uint32_t &OUT_TUPLE { uint32_t &aMin, uint32_t &aMax, uint32_t &aInc };
%apply enum SWIGTYPE &OUT_TUPLE { ZuPixelType &aPixelType };
%apply uint32_t &OUT_TUPLE { uint32_t &aID, uint32_t &aMaximum };
%apply ZuString &OUT_TUPLE { ZuString &aName };
/* A name given in (the trigger source's AddSource) is read, never written:
 * without this SWIG would reach the pattern above by stripping its const. */
%typemap(argout) const ZuString &aName "";

/* The index of the description lists, with texts of its own. */
%apply int TARN_INDEX { int aIndex };

/* The module function: the second argument is taken and ignored; the
 * count comes back beside the result. */
%apply uint32_t &OUT_TUPLE_ARG_IGNORED { uint32_t &aNumBuffer };

%enddef

/* ---- What a Python override returns --------------------------------------- */

%define TARN_CHANNEL_SOURCE_DIRECTOR(CLASS)
/* Width and height limits: a 3-tuple, read item by item. */
TARN_DIRECTOR_NOT_PASSED(uint32_t &, aMax)
TARN_DIRECTOR_NOT_PASSED(uint32_t &, aInc)
TARN_DIRECTOR_NOT_PASSED(uint32_t &, aMin)
%typemap(directorargout, noblock=1, fragment="Tarn_DirectorItems") uint32_t &aMin {
  {
    static const char *const tarn_names[] = {"GetWidthInfo failed to return a 3-tuple", "GetHeightInfo failed to return a 3-tuple"};
    uint32_t *const tarn_slots[] = {&aMin, &aMax, &aInc};
    Tarn_DirectorUint32Items($result, tarn_slots, 3, tarn_names[std::strcmp("$symname", "GetWidthInfo") == 0 ? 0 : 1]);
  }
}

TARN_DIRECTOR_TUPLE_RESULT(CLASS, GetSupportedPixelType, "in method GetSupportedPixelType 1 with output value of type 'ZuResult'")
TARN_DIRECTOR_ITEM(ZuPixelType &, aPixelType, 1, TARN_ITEM_ENUM(aPixelType, "ZuPixelType", ZuPixelType))

/* A chunk: (result, ID, name); the name is read from the whole tuple. */
TARN_DIRECTOR_TUPLE_RESULT(CLASS, GetSupportedChunk, "in method GetSupportedChunk with output value of type 'ZuResult'")
TARN_DIRECTOR_NOT_PASSED(ZuString &, aName)
%fragment("Tarn_DirectorTextItem");
TARN_DIRECTOR_ITEM(uint32_t &, aID, 1,
  TARN_ITEM_UINT32(aID)
  aName = Tarn_DirectorTextItem($result, 2, "GetSupportedChunk failed to return a 3-tuple");
)

TARN_DIRECTOR_TUPLE_RESULT(CLASS, GetGevSCPSPacketSizeInfo, "in method GetGevSCPSPacketSizeInfo 1 with output value of type 'ZuResult'")
TARN_DIRECTOR_ITEM(uint32_t &, aMaximum, 1, TARN_ITEM_UINT32(aMaximum))
%enddef

/* ---- The software-buffer source ------------------------------------------- */

%define TARN_SW_SOURCE_DIRECTOR(CLASS)
TARN_CHANNEL_SOURCE_DIRECTOR(CLASS)

%apply ZuBuffer *TARN_BUFFER_GIVEN { ZuBuffer *CLASS::AllocBuffer };
%apply ZuBuffer *TARN_BUFFER_TAKEN { ZuBuffer *CLASS::AllocBuffer };
%apply ZuBuffer *TARN_BUFFER_FREED { ZuBuffer *aBuffer };

/* (result, count), either item possibly a tuple whose own item it is. */
%typemap(directorout, noblock=1, fragment="Tarn_DirectorItems") ZuResult CLASS::GetTxNumBuffersToUse {
  if (!Tarn_ResultFromPython(Tarn_DirectorItemOrWhole(typeid(*this), "$symname", $input, 0), $result)) {
    Swig::DirectorTypeMismatchException::raise(PyExc_TypeError, "in method GetTxNumBuffersToUse 1 with output value of type 'ZuResult'");
  }
}
/* SWIG counts this out-value (its module function takes an argument for
 * it) and hands item 1 over as it is. */
TARN_DIRECTOR_NOT_PASSED(uint32_t &, aNumBuffer)
%typemap(directorargout, noblock=1, fragment="Tarn_DirectorItems") uint32_t &aNumBuffer {
  aNumBuffer = Tarn_DirectorUint32(Tarn_DirectorItemOrWhole(typeid(*this), "$symname", $result, 1));
}

/* (result, buffer or None), split by SWIG (the slot is an argument): the
 * slot is written only once both convert, and never through a null slot. */
%typemap(directorout, noblock=1, fragment="Tarn_DirectorResult") ZuResult CLASS::RetrieveBuffer {
  if (!$input) Tarn_DirectorNoTuple(typeid(*this), "$symname");
  if (!Tarn_ResultFromPython($input, $result)) {
    Swig::DirectorTypeMismatchException::raise(PyExc_TypeError, "in method RetrieveBuffer with output value of type 'ZuResult'");
  }
}
%typemap(directorargout, noblock=1) ZuBuffer **aBuffer {
  if (!$result) {
    Tarn_DirectorNoTuple(typeid(*this), "$symname");
  }
  {
    void *tarn_argp = 0;
    int tarn_res = SWIG_ConvertPtr($result, &tarn_argp, SWIGTYPE_p_ZuBuffer, 0);
    if (!SWIG_IsOK(tarn_res)) {
      Swig::DirectorTypeMismatchException::raise(SWIG_ErrorType(SWIG_ArgError(tarn_res)), "in output value of type 'ZuBuffer *'");
    }
    if ($1) *$1 = %reinterpret_cast(tarn_argp, ZuBuffer *);
  }
}
%enddef

%define TARN_CHANNEL_SOURCE_CLEAR
%clear uint32_t &aMin, uint32_t &aMax, uint32_t &aInc, uint32_t &aID, uint32_t &aMaximum, uint32_t &aNumBuffer;
%clear ZuPixelType &aPixelType;
%clear ZuString &aName, const ZuString &aName;
%clear int aIndex;
%clear ZuBuffer *aBuffer;
%clear ZuBuffer **aBuffer;
%enddef
