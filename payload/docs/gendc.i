/* Docstrings of GenDC operations that return out-values or take bytes in
 * place of data and its length. */

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
%feature("docstring") IZuGenDCChunkWriter::AddChunk "AddChunk(aID, aData) -> ZuResult

Adds a chunk after the part's last one.
:type aID: int
:param aID: Chunk ID.
:type aData: bytes
:param aData: The chunk's data, a multiple of 4 bytes, copied during the call; anything
      but bytes raises TypeError.
:rtype: :py:class:`ZuResult`
:return: ZU_OK; ZU_INVALID_PARAMETER for data that is no multiple of 4 bytes;
      ZU_BUFFER_TOO_SMALL when the container has no room left.";
