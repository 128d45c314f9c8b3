/* Multi-part containers of a buffer: the part index, its sections and their
 * typed views, with part memory as NumPy arrays (core/typemaps/arrays.i). */

%include "core/typemaps/typemaps.i"
%include "payload/owners.i"

%{
#include "ZuMultiPartContainer.h"
#include "tarn/BufferBinding.h"
%}

/* Memory is an array in the docstrings. */
%apply SWIGTYPE *TARN_ARRAY_DOC { uint8_t *, const uint8_t *, void *aBuffer, void *aRawBuffer };
%apply SWIGTYPE *TARN_BYTES_DOC { const uint8_t *aData };

/* ---- Memory owners -----------------------------------------------------
 * Part memory belongs to the container, not to the buffer's own blocks, and
 * AllocAllParts, AllocPart, AttachPart and Reset replace it under a view.
 * A view of a section, or of its image, JPEG or chunk view, therefore holds
 * a share of the part's memory; views of other owners go on as before. */
%fragment("Tarn_MultiPart", "header", fragment="Tarn_Payload") %{
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, IZuMultiPartSection *owner, const void *)
{
  Tarn_PlanBytes(plan, owner->GetEffectiveSize());
}
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuMultiPartSection *owner, const void *data)
{
  return ZuMultiPartShareMemory(owner, data);
}
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuImage *owner, const void *data)
{
  std::shared_ptr<void> part = ZuMultiPartShareMemory(owner, data);
  return part ? part : Tarn_MemoryOf<IZuImage>(owner, data);
}
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuImageJPEG *owner, const void *data)
{
  std::shared_ptr<void> part = ZuMultiPartShareMemory(owner, data);
  return part ? part : Tarn_MemoryOf<IZuImageJPEG>(owner, data);
}
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(IZuChunkData *owner, const void *data)
{
  std::shared_ptr<void> part = ZuMultiPartShareMemory(owner, data);
  return part ? part : Tarn_MemoryOf<IZuChunkData>(owner, data);
}

/* An attached array stays alive for as long as its part uses it. */
SWIGINTERN void Tarn_KeepAttachment(IZuMultiPartContainerWriter *owner, const void *data, std::shared_ptr<void> array)
{
  if (owner)
    ZuMultiPartKeepAttachment(owner, data, std::move(array));
}
%}
%fragment("Tarn_MultiPart");

/* Part lengths are 64-bit: no array is too long for them. */
%apply (void *TARN_ATTACH, uint64_t TARN_ATTACH_LENGTH) { (void *aBuffer, uint64_t aLength) };

/* A section's memory, and its typed views, which keep the proxy they came
 * from alive. */
%apply uint8_t *TARN_MEMORY_VIEW { uint8_t *IZuMultiPartSection::GetDataPointer, const uint8_t *IZuMultiPartSection::GetDataPointer };
%apply SWIGTYPE *TARN_KEEP_OWNER { IZuMultiPartSection *IZuMultiPartContainerReader::GetPart,
                                   const IZuMultiPartSection *IZuMultiPartContainerReader::GetPart,
                                   IZuImage *IZuMultiPartSection::GetImage, IZuImageJPEG *IZuMultiPartSection::GetJPEG,
                                   IZuChunkData *IZuMultiPartSection::GetChunkData };

/* Sections and their views belong to the container: kept past it (its
 * buffer deleted), they refuse use instead of reaching freed memory. */
%apply SWIGTYPE *TARN_LENT_PART { IZuMultiPartSection *IZuMultiPartContainerReader::GetPart,
                                  const IZuMultiPartSection *IZuMultiPartContainerReader::GetPart,
                                  IZuImage *IZuMultiPartSection::GetImage, IZuImageJPEG *IZuMultiPartSection::GetJPEG,
                                  IZuChunkData *IZuMultiPartSection::GetChunkData };

/* The read-only typed views add nothing the writable ones do not give. */
%ignore IZuMultiPartSection::GetImage() const;
%ignore IZuMultiPartSection::GetJPEG() const;
%ignore IZuMultiPartSection::GetChunkData() const;

%include "payload/docs/multipart.i"
%include "ZuMultiPartContainer.h"

%clear uint8_t *, const uint8_t *, void *aBuffer, void *aRawBuffer, const uint8_t *aData;
%clear (void *aBuffer, uint64_t aLength);
%clear uint8_t *IZuMultiPartSection::GetDataPointer, const uint8_t *IZuMultiPartSection::GetDataPointer;
%clear IZuMultiPartSection *IZuMultiPartContainerReader::GetPart, const IZuMultiPartSection *IZuMultiPartContainerReader::GetPart,
       IZuImage *IZuMultiPartSection::GetImage, IZuImageJPEG *IZuMultiPartSection::GetJPEG,
       IZuChunkData *IZuMultiPartSection::GetChunkData;
