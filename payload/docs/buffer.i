/* Docstrings of buffer operations that return out-values, and of the 24-bit
 * pixel value's copy constructor. */

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
