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

#include <set>
#include <vector>
%}

/* ---- Live pipelines ---------------------------------------------------------
 * Touched only with the interpreter lock held. */
%fragment("Tarn_Pipelines", "header") %{
SWIGINTERN std::set<ZuPipeline *> &Tarn_Pipelines()
{
  /* Never freed: asked for until the interpreter's last call. */
  static std::set<ZuPipeline *> *live = new std::set<ZuPipeline *>();
  return *live;
}

/* The exit hook's step: every running pipeline stops, its thread joined,
 * while its sinks can still be called (core/typemaps/directors.i). */
SWIGINTERN void Tarn_StopPipelines()
{
  std::vector<ZuPipeline *> running;
  {
    /* Each entered as a call (the rule for Free, lifetime.i): a pipeline
     * another thread deletes meanwhile goes once it is stopped. */
    PyGILState_STATE state = PyGILState_Ensure();
    for (ZuPipeline *pipeline : Tarn_Pipelines()) {
      running.push_back(pipeline);
      tarn::Uses::Enter(pipeline);
    }
    PyGILState_Release(state);
  }
  for (ZuPipeline *pipeline : running) {
    try {
      pipeline->Stop();
    } catch (...) {
      /* A sink's error was printed; stopping goes on. */
    }
    PyGILState_STATE state = PyGILState_Ensure();
    tarn::Uses::Leave(pipeline);
    PyGILState_Release(state);
  }
}
%}
%fragment("Tarn_Pipelines");
%init %{
  Tarn_AtExit(TARN_EXIT_PIPELINES, Tarn_StopPipelines);
%}

%exception ZuPipeline::ZuPipeline {
  $action
  Tarn_Pipelines().insert(result);
}
%exception ZuPipeline::~ZuPipeline {
  {
    const volatile uintptr_t tarn_owner = (uintptr_t)Tarn_Owner(arg1);
    $action
    if (arg1) Tarn_Pipelines().erase(arg1);
    if (tarn_owner) tarn::Holds::DropOwner((const void *)tarn_owner);
  }
}
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
%typemap(in, noblock=1, numinputs=1) (ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult)
  (ZuBuffer *tarn_buffer = 0, unsigned long tarn_timeout = 0, ZuResult *tarn_operation = 0) {
  tarn_timeout = PyLong_AsUnsignedLong($input);
  if (PyErr_Occurred()) SWIG_fail;
  tarn_operation = new ZuResult();
  $1 = &tarn_buffer;
  $2 = (uint32_t)tarn_timeout;
  $3 = tarn_operation;
}
%typemap(typecheck, noblock=1, precedence=SWIG_TYPECHECK_UINT32) (ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult) {
  {
    unsigned long long tarn_value = PyLong_Check($input) ? PyLong_AsUnsignedLongLong($input) : 0;
    $1 = PyLong_Check($input) && !PyErr_Occurred() && tarn_value <= 0xFFFFFFFFULL;
    PyErr_Clear();
  }
}
%typemap(argout, noblock=1, fragment="Tarn_Results") (ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult) {
  {
    PyObject *tarn_item = *$1 ? Tarn_LentDowncast(*$1, $descriptor(ZuBuffer *)) : Tarn_NewNone();
    $result = Tarn_AppendItem($result, tarn_item, 1, $isvoid);
    if ($result) $result = Tarn_AppendItem($result, SWIG_NewPointerObj(SWIG_as_voidptr($3), $descriptor(ZuResult *), SWIG_POINTER_OWN), 1, $isvoid);
    tarn_operation$argnum = 0;
    if (!$result) SWIG_fail;
  }
}
%typemap(freearg, noblock=1) (ZuBuffer **aBuffer, uint32_t aTimeout, ZuResult *aOperationResult) {
  delete tarn_operation$argnum;
}
/* The shorter overloads are tried after the full one, and only for what
 * could be a timeout: (pipeline, int, int) reaches the ZuBuffer ** of the
 * two-parameter form and is refused there by position, while a lone value
 * that is no timeout gets the list of prototypes. */
%typemap(typecheck, noblock=1, precedence=1000) ZuBuffer **aBuffer {
  {
    unsigned long long tarn_value = PyLong_Check($input) ? PyLong_AsUnsignedLongLong($input) : 0;
    $1 = PyLong_Check($input) && !PyErr_Occurred() && tarn_value <= 0xFFFFFFFFULL;
    PyErr_Clear();
  }
}

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
