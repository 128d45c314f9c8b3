/* Buffers, images, raw data, chunk data, JPEG views and pixel types, with
 * their memory as NumPy arrays (core/typemaps/arrays.i over the owners of
 * payload/owners.i). */

%include "core/typemaps/typemaps.i"
%include "payload/owners.i"

/* Memory is an array in the docstrings, chunk data given from Python bytes. */
%apply SWIGTYPE *TARN_ARRAY_DOC { uint8_t *, const uint8_t *, void *aBuffer, void *aRawBuffer };
%apply SWIGTYPE *TARN_BYTES_DOC { const uint8_t *aData };

/* ---- Views ------------------------------------------------------------- */

/* Both forms of GetDataPointer give the same writeable view. */
%apply uint8_t *TARN_MEMORY_VIEW { uint8_t *ZuBuffer::GetDataPointer, const uint8_t *ZuBuffer::GetDataPointer,
                                   uint8_t *IZuImage::GetDataPointer, const uint8_t *IZuImage::GetDataPointer,
                                   uint8_t *IZuImageJPEG::GetDataPointer, const uint8_t *IZuImageJPEG::GetDataPointer };

TARN_DETACH_VIEW(ZuBuffer)
TARN_DETACH_VIEW(ZuImage)
TARN_DETACH_VIEW(ZuRawData)
TARN_DETACH_VIEW(ZuChunkData)

TARN_SIZED_VIEW(uint8_t *, ZuBuffer::GetChunkRawDataByIndex, GetChunkSizeByIndex)
TARN_SIZED_VIEW(uint8_t *, ZuBuffer::GetChunkRawDataByID, GetChunkSizeByID)
TARN_SIZED_VIEW(uint8_t *, IZuChunkData::GetChunkRawDataByIndex, GetChunkSizeByIndex)
TARN_SIZED_VIEW(uint8_t *, IZuChunkData::GetChunkRawDataByID, GetChunkSizeByID)

/* Typed views keep the buffer's proxy alive, and an image its buffer's. */
%apply SWIGTYPE *TARN_KEEP_OWNER { ZuImage *ZuBuffer::GetImage, const ZuImage *ZuBuffer::GetImage,
                                   ZuRawData *ZuBuffer::GetRawData, const ZuRawData *ZuBuffer::GetRawData,
                                   ZuChunkData *ZuBuffer::GetChunkData, const ZuChunkData *ZuBuffer::GetChunkData,
                                   IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer,
                                   const IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer,
                                   ZuBuffer *ZuImage::GetBuffer,
                                   IZuGenericDataContainer *ZuBuffer::GetGenDC, const IZuGenericDataContainer *ZuBuffer::GetGenDC };
/* They go with the buffer: kept past its explicit deletion, a view (proxy or
 * bare pointer object) refuses use instead of reaching freed memory. */
%apply SWIGTYPE *TARN_LENT { ZuImage *ZuBuffer::GetImage, const ZuImage *ZuBuffer::GetImage,
                             ZuRawData *ZuBuffer::GetRawData, const ZuRawData *ZuBuffer::GetRawData,
                             ZuChunkData *ZuBuffer::GetChunkData, const ZuChunkData *ZuBuffer::GetChunkData,
                             IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer,
                             const IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer,
                             IZuGenericDataContainer *ZuBuffer::GetGenDC, const IZuGenericDataContainer *ZuBuffer::GetGenDC,
                             ZuBuffer *ZuImage::GetBuffer };

/* ---- Attached memory --------------------------------------------------- */

%apply (void *TARN_ATTACH, uint32_t TARN_ATTACH_LENGTH) { (void *aBuffer, uint32_t aSize),
                                                          (void *aRawBuffer, uint32_t aBufferSize) };
%apply (void *TARN_ATTACH, uint64_t TARN_ATTACH_LENGTH) { (void *aRawBuffer, uint64_t aBufferSize) };
%apply (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT) {
  (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY) };

/* Chunk data comes only from bytes: its own storage is read during the call,
 * nothing is kept. */
%apply (const uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH) { (const uint8_t *aData, uint32_t aLength) };

/* ---- Out-values ---------------------------------------------------------
 * Converted whatever the outcome: the list is [ZuResult, value...], and a
 * value is meaningful only when the result is OK. */
%apply uint32_t &OUT_LIST { uint32_t &aID, uint32_t &aCount, uint32_t &aPacketIdLow, uint32_t &aPacketIdHigh };

/* ---- Pixel types: an unknown type has no name. ----------------------------- */

%apply ZuString TARN_TEXT_OR_NONE { ZuString ZuPixelTypeToString };

/* ---- Classes ------------------------------------------------------------ */

%include "payload/docs/buffer.i"

%nodefaultctor ZuImage;
%nodefaultctor ZuRawData;
%nodefaultctor ZuChunkData;
%nodefaultctor uint24_t;
%copyctor uint24_t;

/* The typed views add nothing to the operations of their interface: only
 * the interface's functions are wrapped. */
%ignore ZuImage::GetDataPointer;
%ignore ZuImage::GetImageSize;
%ignore ZuImage::GetWidth;
%ignore ZuImage::GetHeight;
%ignore ZuImage::GetPixelType;
%ignore ZuImage::GetOffsetX;
%ignore ZuImage::GetOffsetY;
%ignore ZuImage::GetPaddingX;
%ignore ZuImage::GetPaddingY;
%ignore ZuImage::GetBlockID;
%ignore ZuImage::GetTimestamp;
%ignore ZuImage::GetReceptionTime;
%ignore ZuChunkData::ResetChunks;
%ignore ZuChunkData::AddChunk;
%ignore ZuChunkData::SetChunkLayoutID;
%ignore ZuChunkData::HasChunks;
%ignore ZuChunkData::GetChunkCount;
%ignore ZuChunkData::GetChunkIDByIndex;
%ignore ZuChunkData::GetChunkSizeByIndex;
%ignore ZuChunkData::GetChunkSizeByID;
%ignore ZuChunkData::GetChunkRawDataByIndex;
%ignore ZuChunkData::GetChunkRawDataByID;
%ignore ZuChunkData::GetChunkLayoutID;
%ignore ZuChunkData::GetChunkDataSize;
%ignore ZuChunkData::GetChunkDataCapacity;

/* Buffers compare and hash by native address, so that every proxy of one
 * buffer (owning or borrowed, from any module) keys a dictionary alike.
 * Neither operation touches the SDK, so None stands for the null buffer
 * here as wherever a buffer pointer is taken (None == None, and None hashes
 * to 0): they are declared with the buffer as an ordinary argument rather
 * than as the object, which must never be null, and the proxy class binds
 * them as methods. */
%feature("python:maybecall") ZuBuffer::__eq__;
%define %_tarn_buffer_identity(EXTENSION)
%extend ZuBuffer {
  static bool __eq__(const ZuBuffer *aSelf, const ZuBuffer *aOther) { return aSelf == aOther; }
  static long long __hash__(ZuBuffer *aSelf) { return (long long)(intptr_t)aSelf; }
  /* These replace the static forms in the class. */
  %pythoncode %{
    def __eq__(self, aOther):
        return EXTENSION.ZuBuffer___eq__(self, aOther)

    def __hash__(self):
        return EXTENSION.ZuBuffer___hash__(self)
  %}
}
%enddef
%_tarn_buffer_identity(TARN_EXTENSION_MODULE)

%include "ZuChunkData.h"
%include "ZuBuffer.h"
%include "ZuImage.h"
%include "ZuPixelTypeInfo.h"
%include "ZuRawData.h"
%include "ZuImageJPEG.h"

%clear uint8_t *, const uint8_t *, void *aBuffer, void *aRawBuffer, const uint8_t *aData;
%clear uint8_t *ZuBuffer::GetDataPointer, const uint8_t *ZuBuffer::GetDataPointer,
       uint8_t *IZuImage::GetDataPointer, const uint8_t *IZuImage::GetDataPointer,
       uint8_t *IZuImageJPEG::GetDataPointer, const uint8_t *IZuImageJPEG::GetDataPointer;
%exception ZuBuffer::Detach;
%exception ZuImage::Detach;
%exception ZuRawData::Detach;
%exception ZuChunkData::Detach;
%clear uint8_t *ZuBuffer::Detach, uint8_t *ZuImage::Detach, uint8_t *ZuRawData::Detach, uint8_t *ZuChunkData::Detach;
%clear uint8_t *ZuBuffer::GetChunkRawDataByIndex, uint8_t *ZuBuffer::GetChunkRawDataByID,
       uint8_t *IZuChunkData::GetChunkRawDataByIndex, uint8_t *IZuChunkData::GetChunkRawDataByID;
%clear ZuImage *ZuBuffer::GetImage, const ZuImage *ZuBuffer::GetImage, ZuRawData *ZuBuffer::GetRawData,
       const ZuRawData *ZuBuffer::GetRawData, ZuChunkData *ZuBuffer::GetChunkData, const ZuChunkData *ZuBuffer::GetChunkData,
       IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer, const IZuMultiPartContainer *ZuBuffer::GetMultiPartContainer,
       ZuBuffer *ZuImage::GetBuffer, IZuGenericDataContainer *ZuBuffer::GetGenDC,
       const IZuGenericDataContainer *ZuBuffer::GetGenDC;
%clear (void *aBuffer, uint32_t aSize), (void *aRawBuffer, uint32_t aBufferSize), (void *aRawBuffer, uint64_t aBufferSize);
%clear (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY);
%clear (const uint8_t *aData, uint32_t aLength);
%clear uint32_t &aID, uint32_t &aCount, uint32_t &aPacketIdLow, uint32_t &aPacketIdHigh;
%clear ZuString ZuPixelTypeToString;
