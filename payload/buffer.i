/* Buffers, images, raw data, chunk data, JPEG views and pixel types, with
 * their memory as NumPy arrays (payload/arrays.i). */

%{
#include "ZuBuffer.h"
#include "ZuImage.h"
#include "ZuChunkData.h"
#include "ZuRawData.h"
#include "ZuImageJPEG.h"
#include "ZuPixelTypeInfo.h"
#include "tarn/BufferBinding.h"
%}

%include "payload/arrays.i"

/* ---- Memory owners -----------------------------------------------------
 * Every payload view works on the memory of the buffer that holds it: the
 * buffer is where a view's memory is shared from and where attached arrays
 * are kept. */
%fragment("Tarn_Payload", "header", fragment="Tarn_ImageViews") %{
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuBuffer *owner) { return owner; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuImage *owner) { return owner ? owner->GetBuffer() : 0; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuRawData *owner) { return owner ? owner->GetOwnerBuffer() : 0; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(ZuChunkData *owner) { return owner ? owner->GetOwnerBuffer() : 0; }
SWIGINTERN ZuBuffer *Tarn_BufferOf(IZuImage *owner) { return Tarn_BufferOf(dynamic_cast<ZuImage *>(owner)); }
SWIGINTERN ZuBuffer *Tarn_BufferOf(IZuChunkData *owner)
{
  if (ZuBuffer *buffer = dynamic_cast<ZuBuffer *>(owner))
    return buffer;
  return Tarn_BufferOf(dynamic_cast<ZuChunkData *>(owner));
}
SWIGINTERN ZuBuffer *Tarn_BufferOf(IZuImageJPEG *) { return 0; }

template <class Owner>
SWIGINTERN void Tarn_KeepAttachment(Owner *owner, const void *data, PyObject *array)
{
  ZuBuffer *buffer = Tarn_BufferOf(owner);
  if (buffer && array)
    tarn::BufferBinding::KeepAttachment(*buffer, data, Tarn_HoldObject(array));
}

template <class Owner>
SWIGINTERN PyObject *Tarn_BaseOf(Owner *owner, const void *data, PyObject *fallback)
{
  ZuBuffer *buffer = Tarn_BufferOf(owner);
  return Tarn_ViewBase(buffer ? tarn::BufferBinding::ShareMemory(*buffer, data) : std::shared_ptr<void>(), fallback);
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

template <class T>
SWIGINTERN T *Tarn_Mutable(const T *object) { return const_cast<T *>(object); }

/* Start of the memory an owner would detach. */
SWIGINTERN const void *Tarn_AttachedData(ZuBuffer *owner) { return owner->IsAttached() ? owner->GetDataPointer() : 0; }
SWIGINTERN const void *Tarn_AttachedData(ZuImage *owner) { return Tarn_AttachedData(owner->GetBuffer()); }
SWIGINTERN const void *Tarn_AttachedData(ZuRawData *owner) { return Tarn_AttachedData(owner->GetOwnerBuffer()); }
SWIGINTERN const void *Tarn_AttachedData(ZuChunkData *owner) { return Tarn_AttachedData(owner->GetOwnerBuffer()); }

/* Before a detach: the shape and a share of the memory, read while the
 * memory is still attached, so the result covers what was detached. */
template <class Owner>
SWIGINTERN void Tarn_PlanDetach(Tarn_ViewPlan *plan, Owner *owner)
{
  const void *data = Tarn_AttachedData(owner);
  Tarn_PlanOf(plan, owner, data);
  plan->base = data ? Tarn_BaseOf(owner, data, 0) : 0;
}

%}

/* ---- Views ------------------------------------------------------------- */

%typemap(doctype) uint8_t *, const uint8_t * "numpy.ndarray";
%typemap(doctype) const uint8_t *aData "bytes";
%typemap(doctype) void *aBuffer, void *aRawBuffer "numpy.ndarray";

/* Both forms of GetDataPointer give the same writeable view: the SDK
 * declares a read-only form, but the memory is the caller's to fill. */
%typemap(out, fragment="Tarn_Payload") uint8_t *GetDataPointer, const uint8_t *GetDataPointer {
  {
    Tarn_ViewPlan tarn_plan;
    uint8_t *tarn_data = const_cast<uint8_t *>($1);
    Tarn_PlanOf(&tarn_plan, Tarn_Mutable(arg1), tarn_data);
    tarn_plan.base = tarn_data ? Tarn_BaseOf(Tarn_Mutable(arg1), tarn_data, swig_obj[0]) : 0;
    $result = Tarn_PlanView(&tarn_plan, tarn_data);
  }
  if (!$result) SWIG_fail;
}

/* The shape is read before the detach (afterwards the owner has no memory
 * left to describe) and the result shares the detached memory, which keeps
 * an attached array alive for as long as the result lives. */
%exception Detach {
  Tarn_ViewPlan tarn_plan;
  Tarn_PlanDetach(&tarn_plan, arg1);
  $action
  resultobj = Tarn_PlanView(&tarn_plan, result);
  if (!resultobj) SWIG_fail;
}
%typemap(out) uint8_t *Detach ""

%define TARN_CHUNK_VIEW(NAME, SIZE)
%typemap(out, fragment="Tarn_Payload") uint8_t *NAME {
  $result = Tarn_BytesView($1, arg1->SIZE(arg2), $1 ? Tarn_BaseOf(arg1, $1, swig_obj[0]) : 0);
  if (!$result) SWIG_fail;
}
%enddef
TARN_CHUNK_VIEW(GetChunkRawDataByIndex, GetChunkSizeByIndex)
TARN_CHUNK_VIEW(GetChunkRawDataByID, GetChunkSizeByID)

%typemap(ret, fragment="Tarn_Payload") ZuImage *GetImage, ZuRawData *GetRawData, ZuChunkData *GetChunkData, ZuBuffer *GetBuffer,
    IZuMultiPartContainer *GetMultiPartContainer {
  Tarn_KeepOwner($result, swig_obj[0]);
}

/* ---- Attached memory --------------------------------------------------- */

TARN_ATTACH_BYTES((void *aBuffer, uint32_t aSize), uint32_t, UINT32_MAX)
TARN_ATTACH_BYTES((void *aRawBuffer, uint32_t aBufferSize), uint32_t, UINT32_MAX)
TARN_ATTACH_BYTES((void *aRawBuffer, uint64_t aBufferSize), uint64_t, UINT64_MAX)

/* An image is attached from a two- or three-dimensional array: height from
 * the first dimension, width from the second. The pixel type, not the
 * array, tells the layout, so the SDK is told how many bytes the array
 * holds and refuses an image larger than that (ZU_BUFFER_TOO_SMALL). */
%typemap(in, fragment="Tarn_Payload") (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY) (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[2] = {2, 3};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 2, UINT32_MAX, "$symname", $argnum + 1, "uint32_t");
  }
  if (!tarn_array) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) {
      PyErr_Clear();
      PyErr_SetString(PyExc_TypeError, "in method '$symname', argument 1 of type array");
    }
    SWIG_fail;
  }
  $1 = PyArray_DATA(tarn_array);
  $2 = (uint32_t)PyArray_DIM(tarn_array, 1);
  $3 = (uint32_t)PyArray_DIM(tarn_array, 0);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_POINTER, fragment="Tarn_Arrays") (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY) {
  $1 = PyArray_Check($input) || PySequence_Check($input);
}
%typemap(check) (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY) {
  if (ZuBuffer *tarn_buffer = Tarn_BufferOf(arg1))
    tarn::BufferBinding::LimitNextAttach(*tarn_buffer, (uint64_t)PyArray_NBYTES(tarn_array$argnum));
}
%typemap(argout) (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY) {
  Tarn_KeepAttachment(arg1, $1, (PyObject *)tarn_array$argnum);
}
%typemap(freearg) (void *aRawBuffer, uint32_t aSizeX, uint32_t aSizeY) {
  Py_XDECREF(tarn_array$argnum);
}

/* ---- Chunks -------------------------------------------------------------
 * Chunk data comes only from bytes: its own storage is read during the call,
 * nothing is kept. */
%typemap(in) (const uint8_t *aData, uint32_t aLength) {
  if (!PyBytes_Check($input)) {
    SWIG_exception_fail(SWIG_TypeError, "in method '$symname', argument $argnum of type 'uint8_t const *'");
  }
  if ((uint64_t)PyBytes_Size($input) > UINT32_MAX) {
    SWIG_exception_fail(SWIG_OverflowError, "in method '$symname', argument $argnum of type 'uint32_t'");
  }
  $1 = ($1_ltype)PyBytes_AsString($input);
  $2 = (uint32_t)PyBytes_Size($input);
}

/* ---- Out-values ---------------------------------------------------------
 * Converted whatever the outcome: the list is [ZuResult, value...], and a
 * value is meaningful only when the result is OK. */
%typemap(in, numinputs=0) uint32_t &aID (uint32_t tarn_value = 0), uint32_t &aCount (uint32_t tarn_value = 0),
    uint32_t &aPacketIdLow (uint32_t tarn_value = 0), uint32_t &aPacketIdHigh (uint32_t tarn_value = 0) {
  $1 = &tarn_value;
}
%typemap(argout) uint32_t &aID, uint32_t &aCount, uint32_t &aPacketIdLow, uint32_t &aPacketIdHigh {
  $result = SWIG_AppendOutput($result, PyLong_FromUnsignedLong(*$1));
}

/* Operations with out-values document the list they return. */
%feature("docstring") ZuBuffer::GetMissingPacketIdsCount "GetMissingPacketIdsCount() -> ZuResult, int

Returns the number of ranges of missing packets; the count comes whatever the result.
:rtype: list";
%feature("docstring") ZuBuffer::GetMissingPacketIds "GetMissingPacketIds(aIndex) -> ZuResult, int, int

Returns the first and last missing packet ID of the range at aIndex (from 0); the IDs
come whatever the result and mean something only when it is OK.
:type aIndex: int
:rtype: list";
%feature("docstring") ZuBuffer::GetChunkIDByIndex "GetChunkIDByIndex(aIndex) -> ZuResult, int

Returns the ID of the chunk at aIndex (from 0); the ID comes whatever the result and
is 0 when there is no chunk there.
:type aIndex: int
:rtype: list";
%feature("docstring") IZuChunkData::GetChunkIDByIndex "GetChunkIDByIndex(aIndex) -> ZuResult, int

Returns the ID of the chunk at aIndex (from 0); the ID comes whatever the result and
is 0 when there is no chunk there.
:type aIndex: int
:rtype: list";

/* ---- Pixel types ------------------------------------------------------- */

%typemap(out, fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") ZuString ZuPixelTypeToString {
  if ($1.GetLength() == 0) {
    $result = SWIG_Py_Void();
  } else {
    $result = Tarn_FromZuString($1);
  }
}

/* ---- Classes ------------------------------------------------------------ */

%nodefaultctor ZuImage;
%nodefaultctor ZuRawData;
%nodefaultctor ZuChunkData;
%nodefaultctor uint24_t;
%copyctor uint24_t;
%feature("docstring") uint24_t::uint24_t "Copies a 24-bit pixel value.
:type other: :py:class:`uint24_t`
:param other: The value to copy.";

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
%extend ZuBuffer {
  static bool __eq__(const ZuBuffer *aSelf, const ZuBuffer *aOther) { return aSelf == aOther; }
  static long long __hash__(ZuBuffer *aSelf) { return (long long)(intptr_t)aSelf; }
  /* These replace the static forms in the class. */
  %pythoncode %{
    def __eq__(self, aOther):
        return _tarn_base_310.ZuBuffer___eq__(self, aOther)

    def __hash__(self):
        return _tarn_base_310.ZuBuffer___hash__(self)
  %}
}

%include "payload/gendc.i"
%include "ZuChunkData.h"
%include "ZuBuffer.h"
%include "ZuImage.h"
%include "ZuPixelTypeInfo.h"
%include "ZuRawData.h"
%include "ZuImageJPEG.h"
%include "payload/multipart.i"
