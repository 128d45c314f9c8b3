/* The buffer pipeline and its event sink.
 *
 * Buffers the pipeline hands out (RetrieveNextBuffer, the sink's
 * arguments) are its own, lent (core/typemaps/lifetime.i): released or not,
 * a kept one refuses use once the pipeline deletes it (deleted itself, or
 * given fewer buffers) instead of reaching freed memory; so does the
 * pipeline a sink was handed once the pipeline is deleted. A Python error
 * in OnStart, OnStop or OnReset ends Start, Stop or Reset with its
 * RuntimeError; one on the pipeline's own thread is printed and the
 * pipeline goes on. Pipelines still running when the interpreter exits are
 * stopped before it finalises, so that no sink is called into a finalising
 * interpreter. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuBuffer.h"
#include "ZuPipeline.h"
#include "ZuStream.h"
%}

/* Running pipelines stop at exit, their threads joined, while their sinks
 * can still be called (core/typemaps/directors.i). */
TARN_STOPPED_AT_EXIT(ZuPipeline, tarn::UpCalls::kExitPipelines)
TARN_HOLDS_SINK(ZuPipeline::RegisterEventSink, ZuPipeline::UnregisterEventSink, result.IsOK())

/* A sink's Python error on the calling thread ends these calls. */
%define %_tarn_director_error_ends(FUNC)
%exception FUNC {
  try {
    $action
  } catch (Swig::DirectorException &) {
    SWIG_fail;
  }
}
%enddef
%_tarn_director_error_ends(ZuPipeline::Start)
%_tarn_director_error_ends(ZuPipeline::Stop)
%_tarn_director_error_ends(ZuPipeline::Reset)

/* ---- RetrieveNextBuffer: (ZuResult, buffer or None, operation ZuResult) ---
 * Only the full overload takes the timeout alone; the buffer and the
 * operation result are made here. The shorter overloads take a ZuBuffer **
 * that no module makes, as the SDK declares them. */
%apply (SWIGTYPE **TARN_LENT_WAITED, uint32_t TARN_TIMEOUT, ZuResult *TARN_WAITED_RESULT) {
  (ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult) };
/* The shorter overloads are tried after the full one, and only for what
 * could be a timeout: (pipeline, int, int) reaches the ZuBuffer ** of the
 * two-parameter form and is refused there by position, while a lone value
 * that is no timeout gets the list of prototypes. */
%apply SWIGTYPE **TARN_TIMEOUT_SHAPED { ZuBuffer **aBuffer };

/* ---- The sink -----------------------------------------------------------------
 * Its operations are the ones Python overrides: their wrappers keep the
 * interpreter lock (core/typemaps/threads.i). */
%feature("director") ZuPipelineEventSink;
%apply SWIGTYPE *TARN_LENT { ZuBuffer *aBuffer, ZuPipeline *aPipeline };
%_tarn_director_error_ends(ZuPipelineEventSink::OnBufferCreated)
%_tarn_director_error_ends(ZuPipelineEventSink::OnBufferDeleted)
%_tarn_director_error_ends(ZuPipelineEventSink::OnStart)
%_tarn_director_error_ends(ZuPipelineEventSink::OnStop)
%_tarn_director_error_ends(ZuPipelineEventSink::OnReset)
%_tarn_director_error_ends(ZuPipelineEventSink::OnBufferTooSmall)
%_tarn_director_error_ends(ZuPipelineEventSink::OnBufferReady)

class ZuBuffer;
class ZuStream;

%include "ZuPipeline.h"

%exception ZuPipeline::RegisterEventSink;
%exception ZuPipeline::UnregisterEventSink;
%clear (ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult);
%clear ZuBuffer **aBuffer;
%clear ZuBuffer *aBuffer, ZuPipeline *aPipeline;
