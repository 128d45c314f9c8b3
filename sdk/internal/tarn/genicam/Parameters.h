#ifndef TARN_GENICAM_PARAMETERS_H
#define TARN_GENICAM_PARAMETERS_H

/// @file
/// What other SDK libraries and the bindings do with parameter arrays
/// beyond the public API: load a description over a port, hand over the
/// data of an event, poll on a clock of their own, register a sink with an
/// action that ends its registration, and tie owners (of attached chunk
/// memory, of an array) to what uses them. Never read by SWIG.

#include "ZuGenParameterArray.h"
#include "tarn/genicam/Engine.h"

#include <memory>
#include <string>

namespace tarn {

/// Loads a GenICam description (XML) whose registers are read and written
/// through aPort (which must outlive the array; may be null for
/// descriptions without device registers). Replaces what the array held:
/// parameters handed out before are gone. On failure the array is left
/// empty and the result is ZU_GENICAM_XML_ERROR with a description of the
/// problem.
ZU_API ZuResult LoadDescription(ZuGenParameterArray &aArray, const char *aXml, size_t aLength,
                                ZU_GENAPI_NS::IPort *aPort);
/// Same for a zipped description.
ZU_API ZuResult LoadZippedDescription(ZuGenParameterArray &aArray, const uint8_t *aZip, size_t aLength,
                                      ZU_GENAPI_NS::IPort *aPort);
/// Same for the description a GenICam URL names (LoadNodeMapFromUrl).
ZU_API ZuResult LoadDescriptionFromUrl(ZuGenParameterArray &aArray, const std::string &aUrl,
                                       ZU_GENAPI_NS::IPort *aPort);

/// Hands the data of a GenICam event to the array's node map
/// (INodeMap::DeliverEvent); the parameters it changed are listed in
/// aAffected when given.
ZU_API ZuResult DeliverEvent(ZuGenParameterArray &aArray, uint64_t aEventID, const uint8_t *aData, size_t aLength,
                             ZuGenParameterList *aAffected);

/// Polls with an explicit elapsed time in milliseconds (for tests and for
/// callers that keep their own clock); a negative time counts as none.
ZU_API ZuResult PollElapsed(ZuGenParameterArray &aArray, int64_t aElapsedMs);

/// Keeps the owner of the chunk memory aData attached to the array alive
/// until the chunks are detached, attached again or the array is
/// destroyed; does nothing when aData is not what is attached.
ZU_API void KeepAttachment(ZuGenParameterArray &aArray, const void *aData, std::shared_ptr<void> aOwner);

/// Reads an integer feature by name as ZuGenParameterArray::GetIntegerValue
/// does, but only when the answer needs no waiting (the node map is free
/// and holds the value, or the name is no integer feature): the bindings
/// then answer without releasing the interpreter lock. Returns false, with
/// aValue and aResult untouched, when the read must be made the usual way.
ZU_API bool TryIntegerValueWithoutWaiting(ZuGenParameterArray &aArray, const ZuString &aName, int64_t &aValue,
                                          ZuResult &aResult);

/// Keeps the owner of a stack's array alive for as long as the stack
/// exists, that is until the stack's destructor has restored the features.
ZU_API void KeepArray(ZuGenStateStack &aStack, std::shared_ptr<void> aOwner);

} // namespace tarn

#endif
