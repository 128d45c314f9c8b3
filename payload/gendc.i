/* GenDC containers: the container, its components and parts, their header
 * records, and the part data and chunks as NumPy arrays (payload/arrays.i).
 *
 * Everything here lives in memory of a buffer (or a manager). A returned
 * object keeps the proxy it came from alive, step by step up to the buffer,
 * and a header view or an array keeps a share of the memory it lies in, so
 * none of them points at freed memory when its buffer goes, is freed or the
 * container is laid out anew. */

%{
#include "ZuGenDC.h"
#include "tarn/BufferBinding.h"
%}

%fragment("Tarn_GenDC", "header", fragment="Tarn_Payload") %{
/* Ties a returned record view to a share of the memory it lies in. */
template <class Owner>
SWIGINTERN PyObject *Tarn_GenDCKeep(PyObject *result, Owner *owner, const void *memory)
{
  PyObject *share = memory ? Tarn_MemoryOwner(ZuGenDCShareMemory(owner, memory)) : 0;
  if (share) {
    Tarn_KeepOwner(result, share);
    Py_DECREF(share);
  }
  return result;
}

/* Views of part data and GenDC images: shaped by their own getters, and
 * based on a share of the container memory. */
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, IZuGenericDataPart *owner, const void *)
{
  Tarn_PlanBytes(plan, owner->GetDataSize());
}
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, IZuGenDCImage *owner, const void *)
{
  Tarn_PlanImage(plan, owner->GetPixelType(), owner->GetWidth(), owner->GetHeight(), owner->GetPaddingX(),
                 owner->GetPaddingY(), owner->GetImageSize(), owner->GetImageSize());
}
SWIGINTERN PyObject *Tarn_BaseOf(IZuGenericDataPart *owner, const void *data, PyObject *fallback)
{
  return Tarn_ViewBase(ZuGenDCShareMemory(owner, data), fallback);
}
SWIGINTERN PyObject *Tarn_BaseOf(IZuGenDCImage *owner, const void *data, PyObject *fallback)
{
  return Tarn_ViewBase(ZuGenDCShareMemory(owner, data), fallback);
}
%}
%fragment("Tarn_GenDC");

/* ---- Objects of a container --------------------------------------------- */

%typemap(ret) IZuGenericDataContainer *, IZuGenericDataComponent *, IZuGenericDataPart *, IZuGenDCImage *,
    IZuGenDCChunkData *, IZuGenDCChunkWriter * {
  Tarn_KeepOwner($result, swig_obj[0]);
}

%typemap(ret, fragment="Tarn_GenDC") const GenDCContainerHeader *GetHeader, GenDCContainerHeader *GetMutableHeader,
    const GenDCComponentHeader *GetHeader, GenDCComponentHeader *GetMutableHeader,
    const GenDCPartHeader *GetHeader, GenDCPartHeader *GetMutableHeader,
    GenDCPartHeader1D *Get1DHeader, GenDCPartHeader2D *Get2DHeader, GenDCPartHeaderJPEG *GetJPEGHeader,
    GenDCPartHeaderJPEG2000 *GetJPEG2000Header, GenDCPartHeaderH264 *GetH264Header,
    GenDCPartHeaderGenICamChunk *GetGenICamChunkHeader, GenDCPartHeaderGenICamXML *GetGenICamXMLHeader {
  Tarn_GenDCKeep($result, arg1, $1);
}

/* Chunks of a chunk part: arrays over the container memory. */
%define TARN_GENDC_CHUNK_VIEW(NAME, SIZE)
%typemap(out, fragment="Tarn_GenDC") const uint8_t *NAME {
  {
    uint8_t *tarn_data = const_cast<uint8_t *>($1);
    $result = Tarn_BytesView(tarn_data, arg1->SIZE(arg2),
                             tarn_data ? Tarn_ViewBase(ZuGenDCShareMemory(arg1, tarn_data), swig_obj[0]) : 0);
  }
  if (!$result) SWIG_fail;
}
%enddef
TARN_GENDC_CHUNK_VIEW(GetChunkRawDataByIndex, GetChunkSizeByIndex)
TARN_GENDC_CHUNK_VIEW(GetChunkRawDataByID, GetChunkSizeByID)

/* The decoded fields come as a new record whatever the outcome: the record
 * shows what the part holds, zeros where it holds nothing of that kind. */
%define TARN_GENDC_FIELDS(RECORD)
%typemap(in, numinputs=0) RECORD &aFields (RECORD tarn_fields = {}) {
  $1 = &tarn_fields;
}
%typemap(argout) RECORD &aFields {
  $result = SWIG_AppendOutput($result, SWIG_NewPointerObj(new RECORD(*$1), $descriptor, SWIG_POINTER_OWN));
}
%enddef
TARN_GENDC_FIELDS(ZuGenDCPartMetadataFields)
TARN_GENDC_FIELDS(ZuGenDCPart1DFields)
TARN_GENDC_FIELDS(ZuGenDCPart2DFields)
TARN_GENDC_FIELDS(ZuGenDCPartH264Fields)

%define TARN_GENDC_FIELDS_DOC(METHOD, RECORD, KIND)
%feature("docstring") IZuGenericDataPart::METHOD "METHOD() -> ZuResult, RECORD

Decodes the fields of KIND part into a new record. The record comes whatever the
result: when the part is of another kind the result is ZU_NOT_SUPPORTED and the
record holds zeros.
:rtype: list";
%enddef
TARN_GENDC_FIELDS_DOC(GetMetadataSpecificFields, ZuGenDCPartMetadataFields, a metadata)
TARN_GENDC_FIELDS_DOC(Get1DSpecificFields, ZuGenDCPart1DFields, a 1D)
TARN_GENDC_FIELDS_DOC(Get2DSpecificFields, ZuGenDCPart2DFields, a 2D)
TARN_GENDC_FIELDS_DOC(GetH264SpecificFields, ZuGenDCPartH264Fields, an H.264)
%feature("docstring") IZuGenDCChunkData::GetChunkIDByIndex "GetChunkIDByIndex(aIndex) -> ZuResult, int

Returns the ID of the chunk at aIndex (from 0); the ID comes whatever the result and
is 0 when there is no chunk there.
:type aIndex: int
:rtype: list";

/* The objects are the container's: a proxy never owns one, so deleting it
 * frees nothing. The two interfaces without a virtual destructor must not
 * be deleted through at all. */
%extend IZuGenDCChunkWriter {
  ~IZuGenDCChunkWriter() {}
}
%extend IZuGenDCManager {
  ~IZuGenDCManager() {}
}

/* Typed views of a part header. Each is refused (None) unless the part's
 * header holds the whole record, so no field reaches past the header. */
%define TARN_GENDC_HEADER_VIEW(METHOD, RECORD, DOC)
%extend IZuGenericDataPart {
  /// DOC
  RECORD *METHOD() { return static_cast<RECORD *>(ZuGenDCPartHeaderView($self, sizeof(RECORD))); }
}
%enddef
TARN_GENDC_HEADER_VIEW(Get1DHeader, GenDCPartHeader1D, Returns the header as the header of a 1D part; None when it is too short for one.)
TARN_GENDC_HEADER_VIEW(Get2DHeader, GenDCPartHeader2D, Returns the header as the header of a 2D part; None when it is too short for one.)
TARN_GENDC_HEADER_VIEW(GetJPEGHeader, GenDCPartHeaderJPEG, Returns the header as the header of a JPEG part; None when it is too short for one.)
TARN_GENDC_HEADER_VIEW(GetJPEG2000Header, GenDCPartHeaderJPEG2000, Returns the header as the header of a JPEG 2000 part; None when it is too short for one.)
TARN_GENDC_HEADER_VIEW(GetH264Header, GenDCPartHeaderH264, Returns the header as the header of an H.264 part; None when it is too short for one.)
TARN_GENDC_HEADER_VIEW(GetGenICamChunkHeader, GenDCPartHeaderGenICamChunk, Returns the header as the header of a GenICam chunk part; None when it is too short for one.)
TARN_GENDC_HEADER_VIEW(GetGenICamXMLHeader, GenDCPartHeaderGenICamXML, Returns the header as the header of a GenICam XML part; None when it is too short for one.)

%extend IZuGenericDataContainer {
  IZuGenericDataComponent *__getitem__(uint32_t index) { return $self->GetComponent(index); }
}
%extend IZuGenericDataComponent {
  IZuGenericDataPart *__getitem__(uint32_t index) { return $self->GetPart(index); }
}
%feature("docstring") IZuGenericDataContainer::__getitem__ "";
%feature("docstring") IZuGenericDataComponent::__getitem__ "";

%nodefaultctor IZuGenericDataContainer;
%nodefaultctor IZuGenericDataComponent;
%nodefaultctor IZuGenericDataPart;
%nodefaultctor IZuGenDCImage;
%nodefaultctor IZuGenDCChunkData;
%nodefaultctor IZuGenDCChunkWriter;
%nodefaultctor IZuGenDCManager;

/* ---- Records --------------------------------------------------------------
 * A setter given None as its record stores nothing; every other use of
 * None as a record is refused like any null object. */
%define TARN_GENDC_RECORD(RECORD)
TARN_OBJECT_TYPEMAP(RECORD, (Tarn_HasPrefix("$symname", "delete_") || Tarn_HasSuffix("$symname", "_set")))
%enddef
TARN_GENDC_RECORD(GenDCContainerFlagsGroup)
TARN_GENDC_RECORD(GenDCContainerVariableFieldsGroup)
TARN_GENDC_RECORD(GenDCComponentFlagsGroup)
TARN_GENDC_RECORD(GenDCPartFlagsGroup)
TARN_GENDC_RECORD(GenDCContainerHeaderBase)
TARN_GENDC_RECORD(GenDCContainerHeader)
TARN_GENDC_RECORD(GenDCComponentHeaderBase)
TARN_GENDC_RECORD(GenDCComponentHeader)
TARN_GENDC_RECORD(GenDCFlowTableHeader)
TARN_GENDC_RECORD(GenDCFlowTable)
TARN_GENDC_RECORD(GenDCPartHeaderBase)
TARN_GENDC_RECORD(GenDCPartHeader1DBase)
TARN_GENDC_RECORD(GenDCPartHeader2DBase)
TARN_GENDC_RECORD(GenDCPartHeaderH264)
TARN_GENDC_RECORD(GenDCInfoTypeSpecificH264)
TARN_GENDC_RECORD(ZuGenDCPartH264Fields::H264Flags)
TARN_GENDC_RECORD(ZuGenDCPartMetadataFields)
TARN_GENDC_RECORD(ZuGenDCPart1DFields)
TARN_GENDC_RECORD(ZuGenDCPart2DFields)
TARN_GENDC_RECORD(ZuGenDCPartH264Fields)

/* Nested records: the getter is a view into the record and keeps its proxy
 * alive; the setter copies, and refuses None rather than read through it. */
%typemap(ret) GenDCContainerFlagsGroup *Flags, GenDCContainerVariableFieldsGroup *VariableFields,
    GenDCComponentFlagsGroup *Flags, GenDCPartFlagsGroup *Flags, GenDCInfoTypeSpecificH264 *InfoTypeSpecific,
    ZuGenDCPartH264Fields::H264Flags *Flags {
  Tarn_KeepOwner($result, swig_obj[0]);
}
%typemap(check) GenDCContainerFlagsGroup *Flags, GenDCContainerVariableFieldsGroup *VariableFields,
    GenDCComponentFlagsGroup *Flags, GenDCPartFlagsGroup *Flags, GenDCInfoTypeSpecificH264 *InfoTypeSpecific,
    ZuGenDCPartH264Fields::H264Flags *Flags, GenDCInfoTypeSpecificH264::H264Flags *Flags {
  if (!$1) {
    %argument_nullref("$type", $symname, $argnum);
  }
}

/* Trailing arrays: one element is copied, from the element an array getter
 * gave. */
%typemap(memberin) GenDCOffset [1], GenDCFlowSize [1] {
  if ($input) {
    $1[0] = $input[0];
  } else {
    SWIG_exception_fail(SWIG_TypeError, "invalid null reference in variable '$name' of type '$type'");
  }
}

/* The flags byte of the H.264 information has no class of its own: Python
 * copies it whole. */
%ignore GenDCInfoTypeSpecificH264::H264Flags;
%feature("flatnested") ZuGenDCPartH264Fields::H264Flags;

%include "ZuGenDCHeaders.h"
%include "ZuGenDCFields.h"
%include "ZuGenDC.h"

/* Look-ups answer None for a miss, never IndexError: iterating would not end. */
%extend IZuGenericDataContainer {
%pythoncode %{
    # Indexing answers None for a miss instead of raising IndexError, so the
    # old sequence protocol would never end a for loop: refuse iteration.
    __iter__ = None
%}
}
%extend IZuGenericDataComponent {
%pythoncode %{
    # Indexing answers None for a miss instead of raising IndexError, so the
    # old sequence protocol would never end a for loop: refuse iteration.
    __iter__ = None
%}
}
