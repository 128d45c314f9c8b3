/* GenDC containers: the container, its components and parts, their header
 * records, and the part data and chunks as NumPy arrays
 * (core/typemaps/arrays.i).
 *
 * Everything here lives in memory of a buffer (or a manager). A returned
 * object keeps the proxy it came from alive, step by step up to the buffer,
 * and a header view or an array keeps a share of the memory it lies in, so
 * none of them points at freed memory when its buffer goes, is freed or the
 * container is laid out anew. */

%include "core/typemaps/typemaps.i"
%include "payload/owners.i"

%{
#include "ZuGenDC.h"
#include "tarn/BufferBinding.h"
%}

/* Memory is an array in the docstrings, chunk data given from Python bytes. */
%apply SWIGTYPE *TARN_ARRAY_DOC { uint8_t *, const uint8_t *, void *aBuffer, void *aRawBuffer };
%apply SWIGTYPE *TARN_BYTES_DOC { const uint8_t *aData };

%fragment("Tarn_GenDC", "header", fragment="Tarn_Payload") %{
/* Records and data lie in the container memory: a view shares it. */
template <class Owner>
SWIGINTERN std::shared_ptr<void> Tarn_ShareOf(Owner *owner, const void *memory)
{
  return ZuGenDCShareMemory(owner, memory);
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
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuGenericDataPart *owner, const void *data)
{
  return ZuGenDCShareMemory(owner, data);
}
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuGenDCImage *owner, const void *data)
{
  return ZuGenDCShareMemory(owner, data);
}
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuGenDCChunkData *owner, const void *data)
{
  return ZuGenDCShareMemory(owner, data);
}
%}
%fragment("Tarn_GenDC");

/* ---- Objects of a container --------------------------------------------- */

%apply SWIGTYPE *TARN_KEEP_OWNER { IZuGenericDataContainer *, IZuGenericDataComponent *, IZuGenericDataPart *, IZuGenDCImage *,
                                   IZuGenDCChunkData *, IZuGenDCChunkWriter * };

/* They go with their container: kept past it (its buffer deleted), they
 * refuse use instead of reaching freed memory. */
%apply SWIGTYPE *TARN_LENT_PART { IZuGenericDataComponent *IZuGenericDataContainer::GetComponent,
                                  IZuGenericDataComponent *IZuGenericDataContainer::__getitem__,
                                  IZuGenericDataPart *IZuGenericDataComponent::GetPart,
                                  IZuGenericDataPart *IZuGenericDataComponent::__getitem__,
                                  IZuGenDCImage *IZuGenericDataPart::GetGenDCImage,
                                  IZuGenDCChunkData *IZuGenericDataPart::GetGenDCChunkData,
                                  IZuGenDCChunkWriter *IZuGenericDataPart::GetGenDCChunkWriter };
%apply SWIGTYPE *TARN_LENT { IZuGenericDataContainer *IZuGenDCManager::GetGenDC };

%apply SWIGTYPE *TARN_KEEP_MEMORY {
  const GenDCContainerHeader *IZuGenericDataContainer::GetHeader, GenDCContainerHeader *IZuGenericDataContainer::GetMutableHeader,
  const GenDCComponentHeader *IZuGenericDataComponent::GetHeader, GenDCComponentHeader *IZuGenericDataComponent::GetMutableHeader,
  const GenDCPartHeader *IZuGenericDataPart::GetHeader, GenDCPartHeader *IZuGenericDataPart::GetMutableHeader,
  GenDCPartHeader1D *IZuGenericDataPart::Get1DHeader, GenDCPartHeader2D *IZuGenericDataPart::Get2DHeader,
  GenDCPartHeaderJPEG *IZuGenericDataPart::GetJPEGHeader, GenDCPartHeaderJPEG2000 *IZuGenericDataPart::GetJPEG2000Header,
  GenDCPartHeaderH264 *IZuGenericDataPart::GetH264Header, GenDCPartHeaderGenICamChunk *IZuGenericDataPart::GetGenICamChunkHeader,
  GenDCPartHeaderGenICamXML *IZuGenericDataPart::GetGenICamXMLHeader };

/* Part data and images, and the chunks of a chunk part: arrays over the
 * container memory. */
%apply uint8_t *TARN_MEMORY_VIEW { uint8_t *IZuGenericDataPart::GetDataPointer, uint8_t *IZuGenDCImage::GetDataPointer };
TARN_SIZED_VIEW(const uint8_t *, IZuGenDCChunkData::GetChunkRawDataByIndex, GetChunkSizeByIndex)
TARN_SIZED_VIEW(const uint8_t *, IZuGenDCChunkData::GetChunkRawDataByID, GetChunkSizeByID)

/* Chunk data comes only from bytes; a chunk's ID whatever the outcome. */
%apply (const uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH) { (const uint8_t *aData, uint32_t aLength) };
%apply uint32_t &OUT_LIST { uint32_t &aID };

/* The decoded fields come as a new record whatever the outcome: the record
 * shows what the part holds, zeros where it holds nothing of that kind. */
%apply SWIGTYPE &OUT_LIST { ZuGenDCPartMetadataFields &aFields, ZuGenDCPart1DFields &aFields, ZuGenDCPart2DFields &aFields,
                            ZuGenDCPartH264Fields &aFields };

%include "payload/docs/gendc.i"

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
%define %_tarn_gendc_records(MACRO)
MACRO(GenDCContainerFlagsGroup)
MACRO(GenDCContainerVariableFieldsGroup)
MACRO(GenDCComponentFlagsGroup)
MACRO(GenDCPartFlagsGroup)
MACRO(GenDCContainerHeaderBase)
MACRO(GenDCContainerHeader)
MACRO(GenDCComponentHeaderBase)
MACRO(GenDCComponentHeader)
MACRO(GenDCFlowTableHeader)
MACRO(GenDCFlowTable)
MACRO(GenDCPartHeaderBase)
MACRO(GenDCPartHeader1DBase)
MACRO(GenDCPartHeader2DBase)
MACRO(GenDCPartHeaderH264)
MACRO(GenDCInfoTypeSpecificH264)
MACRO(ZuGenDCPartH264Fields::H264Flags)
MACRO(ZuGenDCPartMetadataFields)
MACRO(ZuGenDCPart1DFields)
MACRO(ZuGenDCPart2DFields)
MACRO(ZuGenDCPartH264Fields)
%enddef
%_tarn_gendc_records(TARN_RECORD)

/* Nested records: the getter is a view into the record and keeps its proxy
 * alive; the setter copies, and refuses None rather than read through it. */
%apply SWIGTYPE *TARN_KEEP_OWNER { GenDCContainerFlagsGroup *Flags, GenDCContainerVariableFieldsGroup *VariableFields,
                                   GenDCComponentFlagsGroup *Flags, GenDCPartFlagsGroup *Flags,
                                   GenDCInfoTypeSpecificH264 *InfoTypeSpecific, ZuGenDCPartH264Fields::H264Flags *Flags };
%apply SWIGTYPE *TARN_NOT_NULL { GenDCContainerFlagsGroup *Flags, GenDCContainerVariableFieldsGroup *VariableFields,
                                 GenDCComponentFlagsGroup *Flags, GenDCPartFlagsGroup *Flags,
                                 GenDCInfoTypeSpecificH264 *InfoTypeSpecific, ZuGenDCPartH264Fields::H264Flags *Flags,
                                 GenDCInfoTypeSpecificH264::H264Flags *Flags };

/* Trailing arrays: one element is copied, from the element an array getter
 * gave. */
%apply SWIGTYPE TARN_FIRST_ELEMENT[1] { GenDCOffset [1], GenDCFlowSize [1] };

/* The flags byte of the H.264 information has no class of its own: Python
 * copies it whole. */
%ignore GenDCInfoTypeSpecificH264::H264Flags;
%feature("flatnested") ZuGenDCPartH264Fields::H264Flags;

%include "ZuGenDCHeaders.h"
%include "ZuGenDCFields.h"
%include "ZuGenDC.h"

%clear uint8_t *, const uint8_t *, void *aBuffer, void *aRawBuffer, const uint8_t *aData;
%clear IZuGenericDataContainer *, IZuGenericDataComponent *, IZuGenericDataPart *, IZuGenDCImage *, IZuGenDCChunkData *,
       IZuGenDCChunkWriter *;
%clear IZuGenericDataComponent *IZuGenericDataContainer::GetComponent, IZuGenericDataComponent *IZuGenericDataContainer::__getitem__,
       IZuGenericDataPart *IZuGenericDataComponent::GetPart, IZuGenericDataPart *IZuGenericDataComponent::__getitem__,
       IZuGenDCImage *IZuGenericDataPart::GetGenDCImage, IZuGenDCChunkData *IZuGenericDataPart::GetGenDCChunkData,
       IZuGenDCChunkWriter *IZuGenericDataPart::GetGenDCChunkWriter, IZuGenericDataContainer *IZuGenDCManager::GetGenDC;
%clear const GenDCContainerHeader *IZuGenericDataContainer::GetHeader, GenDCContainerHeader *IZuGenericDataContainer::GetMutableHeader,
       const GenDCComponentHeader *IZuGenericDataComponent::GetHeader, GenDCComponentHeader *IZuGenericDataComponent::GetMutableHeader,
       const GenDCPartHeader *IZuGenericDataPart::GetHeader, GenDCPartHeader *IZuGenericDataPart::GetMutableHeader,
       GenDCPartHeader1D *IZuGenericDataPart::Get1DHeader, GenDCPartHeader2D *IZuGenericDataPart::Get2DHeader,
       GenDCPartHeaderJPEG *IZuGenericDataPart::GetJPEGHeader, GenDCPartHeaderJPEG2000 *IZuGenericDataPart::GetJPEG2000Header,
       GenDCPartHeaderH264 *IZuGenericDataPart::GetH264Header, GenDCPartHeaderGenICamChunk *IZuGenericDataPart::GetGenICamChunkHeader,
       GenDCPartHeaderGenICamXML *IZuGenericDataPart::GetGenICamXMLHeader;
%clear uint8_t *IZuGenericDataPart::GetDataPointer, uint8_t *IZuGenDCImage::GetDataPointer;
%clear const uint8_t *IZuGenDCChunkData::GetChunkRawDataByIndex, const uint8_t *IZuGenDCChunkData::GetChunkRawDataByID;
%clear (const uint8_t *aData, uint32_t aLength);
%clear uint32_t &aID;
%clear ZuGenDCPartMetadataFields &aFields, ZuGenDCPart1DFields &aFields, ZuGenDCPart2DFields &aFields, ZuGenDCPartH264Fields &aFields;
%clear GenDCContainerFlagsGroup *Flags, GenDCContainerVariableFieldsGroup *VariableFields, GenDCComponentFlagsGroup *Flags,
       GenDCPartFlagsGroup *Flags, GenDCInfoTypeSpecificH264 *InfoTypeSpecific, ZuGenDCPartH264Fields::H264Flags *Flags,
       GenDCInfoTypeSpecificH264::H264Flags *Flags;
%clear GenDCOffset [1], GenDCFlowSize [1];
%_tarn_gendc_records(TARN_RECORD_CLEAR)

/* Look-ups answer None for a miss, never IndexError. */
TARN_NOT_ITERABLE(IZuGenericDataContainer)
TARN_NOT_ITERABLE(IZuGenericDataComponent)
