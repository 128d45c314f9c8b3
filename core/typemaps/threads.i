/* The interpreter lock: which wrappers keep it during their SDK call.
 *
 * Every wrapper lets the lock go around its SDK call (the modules are built
 * with -threads), so that other Python threads run while the SDK waits and
 * the SDK's threads can call into Python meanwhile. The rows below keep it:
 *
 *   TARN_KEEPS_LOCK(Class)
 *       the operations of a class that Python subclasses: their wrappers
 *       are the up-calls that run the SDK's base body or forward, through
 *       the virtual table, to a director of another Python object, which
 *       takes the lock again on this thread (it nests). Its constructor and
 *       destructor let the lock go (the SDK joins or leaves lists there,
 *       waiting for calls in progress on other threads).
 *   TARN_RELEASES_LOCK(Class::Method)
 *       an operation of such a class that only waits or touches the SDK's
 *       own tables: it lets the lock go like any other.
 *   TARN_KEEPS_LOCK_FOR(Class::Method)
 *       one operation elsewhere that keeps the lock (its action may let it
 *       go itself where it must wait).
 *
 * The table is read before any declaration of a module (typemaps.i
 * includes it first); rows for classes a module does not declare are
 * inert. */

%define TARN_KEEPS_LOCK(CLASS)
%feature("nothreadallow") CLASS;
%feature("nothreadallow", "0") CLASS::CLASS;
%feature("nothreadallow", "0") CLASS::~CLASS;
%enddef
%define TARN_RELEASES_LOCK(METHOD)
%feature("nothreadallow", "0") METHOD;
%enddef
%define TARN_KEEPS_LOCK_FOR(METHOD)
%feature("nothreadallow") METHOD;
%enddef

/* Subsystem 1: logging. */
TARN_KEEPS_LOCK(ZuLogSink)
/* Devices and streams. */
TARN_KEEPS_LOCK(ZuDeviceEventSink)
TARN_KEEPS_LOCK(IUpdaterObserver)
TARN_KEEPS_LOCK(ZuPipelineEventSink)
/* The software device, its sources and registers. */
TARN_KEEPS_LOCK(IZuVirtualDeviceGEVEventSink)
TARN_KEEPS_LOCK(IZuUserSetNotify)
TARN_KEEPS_LOCK(IZuStreamingChannelSource)
TARN_KEEPS_LOCK(IZuSWStreamingChannelSource)
TARN_KEEPS_LOCK(IZuSWStreamingChannelSourceGenDC)
TARN_KEEPS_LOCK(ZuStreamingChannelSourceDefault)
TARN_KEEPS_LOCK(ZuStreamingChannelSourceTrigger)
TARN_KEEPS_LOCK(IZuRegisterEventSink)
TARN_KEEPS_LOCK(IZuTriggerCallback)

/* The trigger source's own tables and its trigger wait. */
TARN_RELEASES_LOCK(ZuStreamingChannelSourceTrigger::AddSelector)
TARN_RELEASES_LOCK(ZuStreamingChannelSourceTrigger::AddSelectorTriggerCallback)
TARN_RELEASES_LOCK(ZuStreamingChannelSourceTrigger::AddSource)
TARN_RELEASES_LOCK(ZuStreamingChannelSourceTrigger::GetMode)
TARN_RELEASES_LOCK(ZuStreamingChannelSourceTrigger::GetSource)
TARN_RELEASES_LOCK(ZuStreamingChannelSourceTrigger::PreQueueBufferProc)

/* A read by name that the array answers from what it holds: letting the
 * lock go and taking it back would cost more than the read (core/genicam.i;
 * whatever must wait is read again with the lock let go). */
TARN_KEEPS_LOCK_FOR(ZuGenParameterArray::GetIntegerValue)
/* A result goes with every call that answers one: its deletion frees a text
 * and never waits. */
TARN_KEEPS_LOCK_FOR(ZuResult::~ZuResult)

/* ---- Interrupts -------------------------------------------------------------
 * A wait of the SDK that lets the lock go (a buffer without limit, a long
 * time-out) asks this check between slices (tarn/Interrupts.h): on the main
 * thread, with the lock let go, it takes the lock and runs the signal
 * handlers, as the interpreter does between two bytecodes. A handler that
 * raised (Ctrl-C: KeyboardInterrupt) ends the wait, which took nothing, and
 * the wrapper raises that error (directors.i, after a wrapper's SDK call).
 * Only wrappers that let the lock go reach these waits (none of the rows
 * above does). Nothing is asked once the exit hook closed the up-call gate. */
%fragment("Tarn_Interrupts", "header") %{
#include "tarn/Interrupts.h"
#include "tarn/UpCalls.h"
static unsigned long tarn_main_thread = 0;

SWIGINTERN bool Tarn_Interrupted(void)
{
  if (PyThread_get_thread_ident() != tarn_main_thread || tarn::UpCalls::Closed()) return false;
  PyGILState_STATE state = PyGILState_Ensure();
  const bool raised = PyErr_CheckSignals() != 0;
  PyGILState_Release(state);
  return raised;
}

SWIGINTERN void Tarn_InstallInterrupts(void)
{
  PyObject *threading = PyImport_ImportModule("threading");
  PyObject *main = threading ? PyObject_CallMethod(threading, "main_thread", NULL) : NULL;
  PyObject *ident = main ? PyObject_GetAttrString(main, "ident") : NULL;
  if (ident) tarn_main_thread = PyLong_AsUnsignedLong(ident);
  if (PyErr_Occurred()) PyErr_Clear();
  Py_XDECREF(ident);
  Py_XDECREF(main);
  Py_XDECREF(threading);
  tarn::Interrupts::Install(Tarn_Interrupted);
}
%}
%fragment("Tarn_Interrupts");
%init %{
  Tarn_InstallInterrupts();
%}
