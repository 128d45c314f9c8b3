/* Docstrings of GenDC operations that return out-values. */

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
