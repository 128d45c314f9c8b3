/* Docstrings of buffer operations that return out-values or take a NumPy
 * array in place of memory and its size (the array is kept alive, where
 * the SDK's own text leaves that to the caller) or bytes in place of data
 * and its length, and of the 24-bit pixel value's copy constructor. */

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

%feature("docstring") uint24_t::uint24_t "Copies a 24-bit pixel value.
:type other: :py:class:`uint24_t`
:param other: The value to copy.";

%feature("docstring") ZuBuffer::Attach "Attach(aBuffer) -> ZuResult

Attaches a one-dimensional NumPy array as the payload memory, releasing earlier memory.
The buffer keeps the array alive while it is attached, and Detach hands it back. An
array that is not C-contiguous and writeable is attached as a copy; elements that do
not convert to uint8 safely raise TypeError.
:type aBuffer: numpy.ndarray
:param aBuffer: Memory to attach, less than 4 GiB (OverflowError beyond).
:rtype: :py:class:`ZuResult`
:return: ZU_OK, or ZU_INVALID_PARAMETER for an empty array.";
%feature("docstring") ZuImage::Attach "Attach(aRawBuffer, aPixelType, aPaddingX=0, aPaddingY=0, aMaximumChunkLength=0) -> ZuResult

Attaches a NumPy array of two or three dimensions as the image's memory, releasing
earlier memory: the first dimension is the height, the second the width, and the pixel
type tells the layout. The buffer keeps the array alive while it is attached, and
Detach hands it back. An array that is not C-contiguous and writeable is attached as a
copy; elements that do not convert to uint8 safely raise TypeError.
:type aRawBuffer: numpy.ndarray
:param aRawBuffer: Memory to attach, at least GetRequiredSize() bytes.
:type aPixelType: int
:param aPixelType: Pixel type.
:type aPaddingX: int, optional
:param aPaddingX: Pixels added at the end of every line.
:type aPaddingY: int, optional
:param aPaddingY: Lines added at the end of the image.
:type aMaximumChunkLength: int, optional
:param aMaximumChunkLength: Bytes of chunk space after the image.
:rtype: :py:class:`ZuResult`
:return: As Alloc; ZU_BUFFER_TOO_SMALL when the array holds fewer bytes than the image
      needs.";
%feature("docstring") ZuRawData::Attach "Attach(aRawBuffer, aMaximumChunkLength=0) -> ZuResult

Attaches a one-dimensional NumPy array: the payload, then aMaximumChunkLength bytes of
chunk space. The buffer keeps the array alive while it is attached, and Detach hands it
back. An array that is not C-contiguous and writeable is attached as a copy; elements
that do not convert to uint8 safely raise TypeError.
:type aRawBuffer: numpy.ndarray
:param aRawBuffer: Memory to attach, chunk space included.
:type aMaximumChunkLength: int, optional
:param aMaximumChunkLength: Bytes at the end of the memory kept for chunks.
:rtype: :py:class:`ZuResult`
:return: ZU_OK; ZU_INVALID_PARAMETER for an empty array or chunk space larger than it;
      ZU_ERR_OVERFLOW above 4 GiB - 1.";
%feature("docstring") ZuChunkData::Attach "Attach(aRawBuffer) -> ZuResult

Attaches a one-dimensional NumPy array that holds a chunk payload; its chunks are read
from it. The buffer keeps the array alive while it is attached, and Detach hands it
back. An array that is not C-contiguous and writeable is attached as a copy; elements
that do not convert to uint8 safely raise TypeError.
:type aRawBuffer: numpy.ndarray
:param aRawBuffer: Memory holding the payload, less than 4 GiB (OverflowError beyond).
:rtype: :py:class:`ZuResult`
:return: ZU_OK; ZU_INVALID_PARAMETER for an empty array; ZU_INVALID_DATA_FORMAT when the
      trailers do not form a chunk list (the memory stays attached, with the chunks
      read up to the fault).";
%define TARN_ADD_CHUNK_DOC(METHOD, FULL)
%feature("docstring") METHOD "AddChunk(aID, aData) -> ZuResult

Appends a chunk: copies its data and writes its trailer (ID and length, big-endian).
:type aID: int
:param aID: Chunk ID.
:type aData: bytes
:param aData: The chunk's data, copied during the call; anything but bytes raises
      TypeError.
:rtype: :py:class:`ZuResult`
:return: ZU_OK; ZU_STATE_ERROR without chunk space; ZU_BUFFER_TOO_SMALL when FULL.";
%enddef
TARN_ADD_CHUNK_DOC(ZuBuffer::AddChunk, its chunk space is full)
TARN_ADD_CHUNK_DOC(IZuChunkData::AddChunk, the chunk and its trailer do not fit)
