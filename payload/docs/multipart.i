/* Docstrings of the multi-part operations that take a NumPy array in place
 * of memory and its size: the array is kept alive, where the SDK's own text
 * leaves that to the caller. */

%feature("docstring") IZuMultiPartContainerWriter::AttachPart "AttachPart(aIndex, aBuffer) -> ZuResult

Gives one part a one-dimensional NumPy array as its memory, releasing the memory it
had. The buffer keeps the array alive while the part uses it. An array that is not
C-contiguous and writeable is attached as a copy; elements that do not convert to uint8
safely raise TypeError.
:type aIndex: int
:param aIndex: Position of the part, from 0.
:type aBuffer: numpy.ndarray
:param aBuffer: Memory for the part: at least the part's GetSize() bytes.
:rtype: :py:class:`ZuResult`
:return: ZU_OK; ZU_NOT_FOUND for an index without a part; ZU_INVALID_PARAMETER for no
      memory or too little; ZU_NOT_SUPPORTED when the buffer is not multi-part.";
