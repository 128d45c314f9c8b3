/* Memory owners of payload views: where a view's memory is shared from and
 * where attached arrays are kept, for the buffer and its typed views (the
 * owner overloads of Tarn_PlanOf, Tarn_MemoryOf and Tarn_KeepAttachment that
 * core/typemaps/arrays.i calls). GenDC and multi-part containers add their
 * own overloads in their files. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuChunkData.h"
#include "ZuRawData.h"
#include "ZuImageJPEG.h"
#include "ZuPixelTypeInfo.h"
#include "tarn/BufferBinding.h"
%}

/* Every payload view works on the memory of the buffer that holds it. */
%fragment("Tarn_Payload", "header", fragment="Tarn_ImageViews") %{
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuBuffer *owner) { return owner; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuImage *owner) { return owner ? owner->GetBuffer() : 0; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuRawData *owner) { return owner ? tarn::BufferBinding::BufferOf(*owner) : 0; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuChunkData *owner) { return owner ? tarn::BufferBinding::BufferOf(*owner) : 0; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(IZuImage *owner) { return Tarn_BufferOf(dynamic_cast<ZuImage *>(owner)); }
SWIGINTERN ZuBuffer *Tarn_BufferOf(IZuChunkData *owner)
{
  if (ZuBuffer *buffer = dynamic_cast<ZuBuffer *>(owner))
    return buffer;
  return Tarn_BufferOf(dynamic_cast<ZuChunkData *>(owner));
}
SWIGINTERN ZuBuffer *Tarn_BufferOf(IZuImageJPEG *) { return 0; }

template <class Owner>
SWIGINTERN void Tarn_KeepAttachment(Owner *owner, const void *data, std::shared_ptr<void> array)
{
  if (ZuBuffer *buffer = Tarn_BufferOf(owner))
    tarn::BufferBinding::KeepAttachment(*buffer, data, std::move(array));
}

/* Before an image attach: the most the owner may take from the array. */
template <class Owner>
SWIGINTERN void Tarn_LimitNextAttach(Owner *owner, uint64_t bytes)
{
  if (ZuBuffer *buffer = Tarn_BufferOf(owner))
    tarn::BufferBinding::LimitNextAttach(*buffer, bytes);
}

template <class Owner>
SWIGINTERN std::shared_ptr<void> Tarn_MemoryOf(Owner *owner, const void *data)
{
  ZuBuffer *buffer = Tarn_BufferOf(owner);
  return buffer ? tarn::BufferBinding::ShareMemory(*buffer, data) : std::shared_ptr<void>();
}

/* Bytes from data to the end of the buffer memory that holds it. */
SWIGINTERN uint64_t Tarn_BytesBehind(ZuBuffer *buffer, const void *data, uint64_t otherwise)
{
  const uint8_t *start = buffer ? buffer->GetDataPointer() : 0;
  const uint8_t *at = static_cast<const uint8_t *>(data);
  if (!start || at < start || at > start + buffer->GetSize())
    return otherwise;
  return buffer->GetSize() - (uint64_t)(at - start);
}

/* Owner-shaped plans. An owner that is an image (or is one at run time) is
 * shaped as one; otherwise its own length decides. */
SWIGINTERN void Tarn_PlanOfImage(Tarn_ViewPlan *plan, IZuImage *image, const void *data)
{
  uint64_t available = Tarn_BytesBehind(Tarn_BufferOf(image), data, image->GetImageSize());
  Tarn_PlanImage(plan, image->GetPixelType(), image->GetWidth(), image->GetHeight(), image->GetPaddingX(),
                 image->GetPaddingY(), image->GetImageSize(), available);
}
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, IZuImage *owner, const void *data) { Tarn_PlanOfImage(plan, owner, data); }
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, ZuBuffer *owner, const void *data)
{
  if (IZuImage *image = dynamic_cast<IZuImage *>(owner))
    Tarn_PlanOfImage(plan, image, data);
  else
    Tarn_PlanBytes(plan, owner->GetSize());
}
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, ZuRawData *owner, const void *)
{
  Tarn_PlanBytes(plan, owner->GetPayloadLength());
}
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, ZuChunkData *owner, const void *)
{
  Tarn_PlanBytes(plan, owner->GetChunkDataPayloadLength());
}
SWIGINTERN void Tarn_PlanOf(Tarn_ViewPlan *plan, IZuImageJPEG *owner, const void *)
{
  Tarn_PlanBytes(plan, owner->GetDataSize());
}

/* Start of the memory an owner would detach. */
SWIGINTERN const void *Tarn_AttachedData(ZuBuffer *owner) { return owner->IsAttached() ? owner->GetDataPointer() : 0; }
SWIGINTERN const void *Tarn_AttachedData(ZuImage *owner) { return Tarn_AttachedData(owner->GetBuffer()); }
SWIGINTERN const void *Tarn_AttachedData(ZuRawData *owner) { return Tarn_AttachedData(tarn::BufferBinding::BufferOf(*owner)); }
SWIGINTERN const void *Tarn_AttachedData(ZuChunkData *owner) { return Tarn_AttachedData(tarn::BufferBinding::BufferOf(*owner)); }

%}
%fragment("Tarn_Payload");
