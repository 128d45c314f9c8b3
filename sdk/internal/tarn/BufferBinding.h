#ifndef TARN_BUFFER_BINDING_H
#define TARN_BUFFER_BINDING_H

// What the bindings need of payload memory beyond the public API: a NumPy
// view holds a share of the memory block its pointer lies in, so the
// memory outlives its buffer, a Free, a Detach or a new container layout
// for as long as the view needs it; an array given to an attach is tied to
// the memory it became. Included only inside the bindings' %{ %} blocks.

#include "ZuBuffer.h"
#include "ZuRawData.h"
#include "ZuGenDC.h"
#include "ZuMultiPartContainer.h"

#include <memory>

namespace tarn {

struct ZU_API BufferBinding {
    typedef std::shared_ptr<uint8_t> Block;

    // The block (payload or chunk space) that holds a pointer, or an empty
    // one when no block of the buffer holds it.
    static Block ShareMemory(const ZuBuffer &aBuffer, const void *aPointer);

    // Ties an owner to the attached memory that starts at aPointer: it is
    // released once the buffer and every share of the block let it go.
    // Does nothing when no attached memory starts there.
    static void KeepAttachment(ZuBuffer &aBuffer, const void *aPointer, std::shared_ptr<void> aOwner);

    // Makes the buffer's next attach refuse to take more than aBytes from
    // its pointer (ZU_BUFFER_TOO_SMALL): a caller that knows how much memory
    // stands behind the pointer sets it just before the attach. 0 lifts the
    // limit; the next attach lifts it in any case.
    static void LimitNextAttach(ZuBuffer &aBuffer, uint64_t aBytes);

    // The buffer whose memory a raw-data or chunk-data view works on.
    static ZuBuffer *BufferOf(const ZuRawData &aView);
    static ZuBuffer *BufferOf(const ZuChunkData &aView);
};

} // namespace tarn

/// Returns a share of the part memory that holds aPointer, for an object of
/// a multi-part container (a section or one of its typed views); empty for
/// any other object or pointer. While shared, the memory outlives the part.
ZU_API std::shared_ptr<void> ZuMultiPartShareMemory(const IZuMultiPartSection *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuMultiPartShareMemory(const IZuImage *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuMultiPartShareMemory(const IZuImageJPEG *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuMultiPartShareMemory(const IZuChunkData *aObject, const void *aPointer);

/// Ties an owner to the attached part memory that starts at aPointer: it is
/// released once the part and every share of the memory let it go. Does
/// nothing when no part's attached memory starts there.
ZU_API void ZuMultiPartKeepAttachment(IZuMultiPartContainerReader *aContainer, const void *aPointer,
                                      std::shared_ptr<void> aOwner);

/// Returns a share of the memory block that holds aPointer, taken from the
/// container that aObject belongs to; empty when there is none. A holder of
/// the share keeps the bytes readable after the container moved on.
ZU_API std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenericDataContainer *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenericDataComponent *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenericDataPart *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenDCImage *aObject, const void *aPointer);
ZU_API std::shared_ptr<void> ZuGenDCShareMemory(const IZuGenDCChunkData *aObject, const void *aPointer);

/// Returns the part's mutable header when at least aBytes of it lie within
/// both its HeaderSize and the container, else null: a header record of
/// aBytes laid over it can then neither read nor write past the header.
ZU_API GenDCPartHeader *ZuGenDCPartHeaderView(IZuGenericDataPart *aPart, uint64_t aBytes);

#endif
