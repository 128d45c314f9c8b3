/* Multi-part containers of a buffer: the part index, its sections and their
 * typed views, with part memory as NumPy arrays (payload/arrays.i). */

%{
#include "ZuMultiPartContainer.h"
#include "tarn/BufferBinding.h"
%}

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
SWIGINTERN PyObject *Tarn_BaseOf(IZuMultiPartSection *owner, const void *data, PyObject *fallback)
{
  return Tarn_ViewBase(ZuMultiPartShareMemory(owner, data), fallback);
}
SWIGINTERN PyObject *Tarn_BaseOf(IZuImage *owner, const void *data, PyObject *fallback)
{
  std::shared_ptr<void> part = ZuMultiPartShareMemory(owner, data);
  return part ? Tarn_ViewBase(part, fallback) : Tarn_BaseOf<IZuImage>(owner, data, fallback);
}
SWIGINTERN PyObject *Tarn_BaseOf(IZuImageJPEG *owner, const void *data, PyObject *fallback)
{
  std::shared_ptr<void> part = ZuMultiPartShareMemory(owner, data);
  return part ? Tarn_ViewBase(part, fallback) : Tarn_BaseOf<IZuImageJPEG>(owner, data, fallback);
}
SWIGINTERN PyObject *Tarn_BaseOf(IZuChunkData *owner, const void *data, PyObject *fallback)
{
  std::shared_ptr<void> part = ZuMultiPartShareMemory(owner, data);
  return part ? Tarn_ViewBase(part, fallback) : Tarn_BaseOf<IZuChunkData>(owner, data, fallback);
}

/* An attached array stays alive for as long as its part uses it. */
SWIGINTERN void Tarn_KeepAttachment(IZuMultiPartContainerWriter *owner, const void *data, PyObject *array)
{
  if (owner && array)
    ZuMultiPartKeepAttachment(owner, data, Tarn_HoldObject(array));
}
%}
%fragment("Tarn_MultiPart");

/* Part lengths are 64-bit: no array is too long for them. */
TARN_ATTACH_BYTES((void *aBuffer, uint64_t aLength), uint64_t, UINT64_MAX)

/* A section and its typed views keep the proxy they came from alive. */
%typemap(ret) IZuMultiPartSection *GetPart, const IZuMultiPartSection *GetPart,
    IZuImage *GetImage, IZuImageJPEG *GetJPEG, IZuChunkData *GetChunkData {
  Tarn_KeepOwner($result, swig_obj[0]);
}

/* The read-only typed views add nothing the writable ones do not give. */
%ignore IZuMultiPartSection::GetImage() const;
%ignore IZuMultiPartSection::GetJPEG() const;
%ignore IZuMultiPartSection::GetChunkData() const;

%include "ZuMultiPartContainer.h"
