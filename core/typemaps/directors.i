/* Directors: Python methods called from the SDK.
 *
 * One up-call path: every director method, on whichever thread the SDK calls
 * it, goes through Tarn_UpCall (the director's thread block, below):
 *
 *   1. the gate: no up-call once the interpreter finalises (taking the
 *      interpreter lock then would end the thread in the middle of SDK
 *      code); the director throws tarn::UpCalls::Refused into the SDK
 *      instead. The exit hook (Tarn_AtExit) closes the gate.
 *   2. the interpreter lock, and an error an earlier up-call left pending on
 *      this thread set aside for the call (it runs clean; the first error is
 *      the one that stays).
 *   3. a failure (the method raised, or what it returned has the wrong
 *      shape) prints one line on the process's standard output, "In method
 *      '<name>': " with the error's type name and text joined by the
 *      profile's TARN_DIRECTOR_SEPARATOR; it, or a missing method or Python
 *      object, is thrown into the calling SDK code with its Python error
 *      pending on the calling thread.
 *   4. no error is left behind: a wrapper whose SDK call made up-calls on
 *      its own thread raises the pending error if it is one of the calls
 *      that end with their up-calls' errors (TARN_UPCALL_ERRORS_END, below),
 *      and drops it otherwise (its line was printed). On an SDK thread the
 *      error goes with the thread state of the up-call.
 *
 *   TARN_CATCH_NATIVE
 *       a global %exception (cleared with `%exception;`) for declarations
 *       whose operations can call a director on the calling thread from
 *       deep inside the SDK (a feature read calls a device sink through the
 *       device's GenApi port, whichever module's proxy made the call): no
 *       native exception reaches the interpreter's frames. A director that
 *       failed there set the Python error its exception carries; anything
 *       else becomes a RuntimeError; thread cancellation passes on.
 */

%fragment("Tarn_DirectorFailure", "header", fragment="<string>") %{
#include <cstring>
#include <exception>
#include <unistd.h>
#include "tarn/Interrupts.h"
#include "tarn/UpCalls.h"
#ifndef TARN_DIRECTOR_SEPARATOR
#define TARN_DIRECTOR_SEPARATOR ""
#endif
SWIGINTERN std::string Tarn_Utf8Of(PyObject *obj)
{
  std::string out;
  if (!obj) return out;
  PyObject *bytes = PyUnicode_AsEncodedString(obj, "utf-8", "replace");
  if (!bytes) {
    PyErr_Clear();
    return out;
  }
  char *data = 0;
  Py_ssize_t size = 0;
  if (PyBytes_AsStringAndSize(bytes, &data, &size) == 0)
    out.assign(data, (size_t)size);
  else
    PyErr_Clear();
  Py_DECREF(bytes);
  return out;
}

/* The failure line of an up-call from the pending error (fetched, then
 * released), written at the native level: the SDK's thread may have no
 * Python frame and sys.stdout may be replaced. */
SWIGINTERN std::string Tarn_PrintFailure(const char *method)
{
  PyObject *type = 0, *value = 0, *traceback = 0;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  std::string line = "In method '";
  line += method;
  line += "': ";
  if (type) {
    PyObject *name = PyObject_GetAttrString(type, "__name__");
    if (name) {
      line += Tarn_Utf8Of(name);
      Py_DECREF(name);
    } else {
      PyErr_Clear();
    }
  }
  if (value) {
    PyObject *text = PyObject_Str(value);
    if (text) {
      line += TARN_DIRECTOR_SEPARATOR;
      line += Tarn_Utf8Of(text);
      Py_DECREF(text);
    } else {
      PyErr_Clear();
    }
  }
  Py_XDECREF(type);
  Py_XDECREF(value);
  Py_XDECREF(traceback);
  std::string out = line + "\n";
  fflush(stdout);
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::write(1, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += (size_t)n;
  }
  return line;
}

/* The up-call in progress on this thread (innermost first). */
struct Tarn_UpCall;
static thread_local Tarn_UpCall *tarn_current_upcall = 0;

/* A director's thread block (SWIG_PYTHON_THREAD_BEGIN_BLOCK): the up-call
 * path for director methods, SWIG's plain block for the runtime's own uses. */
struct Tarn_UpCall {
  const char *method;
  bool upcall;
  bool active = false;
  bool wrong_shape = false;
  int unwinding = 0;
  PyGILState_STATE state;
  PyObject *aside_type = 0, *aside_value = 0, *aside_traceback = 0;
  Tarn_UpCall *outer = 0;

  Tarn_UpCall(const char *name, bool director) : method(name), upcall(director)
  {
    if (upcall && !tarn::UpCalls::Enter())
      throw tarn::UpCalls::Refused();
    state = PyGILState_Ensure();
    active = true;
    if (!upcall) return;
    PyErr_Fetch(&aside_type, &aside_value, &aside_traceback);
    unwinding = std::uncaught_exceptions();
    outer = tarn_current_upcall;
    tarn_current_upcall = this;
  }
  void end()
  {
    if (!active) return;
    active = false;
    if (upcall) {
      if (std::uncaught_exceptions() > unwinding && wrong_shape && PyErr_Occurred()) {
        /* What the method returned does not convert: the line, as for an
         * error it raised, with the error kept for the calling thread. */
        PyObject *type, *value, *traceback;
        PyErr_Fetch(&type, &value, &traceback);
        Py_XINCREF(type);
        Py_XINCREF(value);
        Py_XINCREF(traceback);
        PyErr_Restore(type, value, traceback);
        Tarn_PrintFailure(method);
        PyErr_Restore(type, value, traceback);
      }
      if (aside_type) {
        PyErr_Clear();
        PyErr_Restore(aside_type, aside_value, aside_traceback);
      }
      tarn_current_upcall = outer;
    }
    PyGILState_Release(state);
    if (upcall) tarn::UpCalls::Leave();
  }
  ~Tarn_UpCall() { end(); }
  Tarn_UpCall(const Tarn_UpCall &) = delete;
  Tarn_UpCall &operator=(const Tarn_UpCall &) = delete;
};

/* Only a director's own class has a member of this name: elsewhere this
 * declaration answers, so the block tells an up-call from the runtime's
 * other uses while compiling. Never defined: only its size is asked. */
struct Tarn_NotAnUpCall { char none; };
Tarn_NotAnUpCall swig_get_method(size_t, const char *);
#undef SWIG_PYTHON_THREAD_BEGIN_BLOCK
#define SWIG_PYTHON_THREAD_BEGIN_BLOCK \
  Tarn_UpCall _swig_thread_block(__func__, sizeof(swig_get_method(0, "")) != sizeof(Tarn_NotAnUpCall))

/* ---- After a wrapper's SDK call ------------------------------------------
 * The calls whose up-calls on the calling thread end them with their error
 * (a name, or a prefix ending in '*'); every other call drops such an error,
 * whose line was printed. Asked only when an error is pending. */
#define TARN_UPCALL_ERRORS_END \
  "ZuLogger_Log*",            /* the log sinks of the entry it logged */ \
  "ZuPipeline_Start", "ZuPipeline_Stop", "ZuPipeline_Reset", \
  "IZuRegister_*",            /* a register's sinks, around its access */ \
  "ZuDevice*", "ZuGen*"       /* a device's sinks, behind a feature access */

SWIGINTERN bool Tarn_UpCallErrorEnds(const char *wrapper)
{
  static const char *const ends[] = {TARN_UPCALL_ERRORS_END};
  const char *name = std::strncmp(wrapper, "_wrap_", 6) == 0 ? wrapper + 6 : wrapper;
  for (const char *entry : ends) {
    size_t length = std::strlen(entry);
    if (entry[length - 1] == '*') {
      if (std::strncmp(name, entry, length - 1) == 0) return true;
    } else if (std::strncmp(name, entry, length) == 0 &&
               (name[length] == '\0' || std::strncmp(name + length, "__SWIG_", 7) == 0)) {
      return true;
    }
  }
  PyErr_Clear();
  return false;
}
/* An SDK wait that an interrupt ended (threads.i) raises its error too. */
#undef SWIG_PYTHON_THREAD_END_ALLOW
#define SWIG_PYTHON_THREAD_END_ALLOW \
  _swig_thread_allow.end(); \
  if (PyErr_Occurred() && (tarn::Interrupts::Take() || Tarn_UpCallErrorEnds(__func__))) SWIG_fail

/* A Python method that raised: its line, then the director's exception. */
SWIGINTERN void Tarn_DirectorMethodFailed(const char *method)
{
  std::string line = Tarn_PrintFailure(method);
  throw Swig::DirectorMethodException(line.c_str());
}

/* A result of the wrong shape: every conversion of a director's result
 * raises the runtime's type mismatch, which reaches this one first and
 * marks the up-call. */
namespace Swig {
struct Tarn_Mismatch {
  static void raise(PyObject *error, const char *message)
  {
    if (tarn_current_upcall) tarn_current_upcall->wrong_shape = true;
    DirectorTypeMismatchException::raise(error, message);
  }
  static void raise(const char *message)
  {
    if (tarn_current_upcall) tarn_current_upcall->wrong_shape = true;
    DirectorTypeMismatchException::raise(message);
  }
};
}
#define DirectorTypeMismatchException Tarn_Mismatch
%}

%fragment("Tarn_DirectorFailure");
%feature("director:except") %{
  if ($error != NULL) {
    Tarn_DirectorMethodFailed("$symname");
  }
%}

/* ---- Objects lent for one up-call ------------------------------------------
 *   SWIGTYPE *TARN_LENT_DURING_CALL (directorin)
 *       an SDK object the override may use only while it runs (a factory
 *       that lives on the caller's stack): once the up-call returns, its
 *       pointer object holds no address, so a script that kept it gets the
 *       argument error of a freed object instead of reaching freed memory.
 */
%fragment("Tarn_LentDuringCall", "header") %{
struct Tarn_LentDuringCall {
  PyObject *obj;
  ~Tarn_LentDuringCall()
  {
    if (SwigPyObject *sobj = obj ? (SwigPyObject *)Tarn_SwigThis(obj) : 0) {
      sobj->ptr = 0;
      sobj->own = 0;
    }
  }
};
%}
%typemap(directorin, noblock=1, fragment="Tarn_LentDuringCall") SWIGTYPE *TARN_LENT_DURING_CALL {
  $input = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, 0);
  Tarn_LentDuringCall tarn_lent_$1_name = {$input};
}

/* ---- Results and out-values of directors --------------------------------
 * What a Python override gives back, converted for the SDK. Every director
 * of the device side uses these; a mismatch throws the director's type
 * mismatch into the SDK, whose Python error (set unless one is pending)
 * is SWIG's header, a blank and the text given here.
 *
 *   ZuResult (directorout)
 *       an int in the signed 32-bit range is the code; a ZuResult proxy is
 *       copied; anything else, None included: "in method <name> with output
 *       value of type 'ZuResult'".
 *   TARN_DIRECTOR_TUPLE_RESULT(CLASS, METHOD, TEXT)
 *       an override that returns its result with its out-values: a tuple of
 *       at least two items whose item 0 is the result (as above, with
 *       TEXT); anything else: "Python method <Class>.<method>failed to
 *       return a tuple.", as SWIG words its own (the class is the
 *       director's).
 *   TARN_DIRECTOR_ITEM(TYPE, NAME, INDEX, CONVERT)
 *       the out-value NAME is not handed to the override; it is item INDEX
 *       of that tuple, converted by CONVERT (over tarn_item, naming its own
 *       mismatch).
 *   TARN_DIRECTOR_NOT_PASSED(TYPE, NAME)
 *       the out-value is not handed to the override.
 *   Tarn_DirectorNoTuple(director, method)
 *       raises that tuple error.
 *   Tarn_DirectorUint32(item)
 *       an item as uint32_t, else "in output value of type 'uint32_t'".
 *   Tarn_DirectorUint32Items(tuple, slots, count, missing)
 *       items 0 to count-1 into the slots, one by one; a missing one (or
 *       no tuple) raises the director error `missing`.
 *   Tarn_DirectorItemOrWhole(director, method, obj, index)
 *       item index of a tuple, or the object itself when it is no tuple;
 *       a tuple too short raises the tuple error.
 *   Tarn_DirectorTextItem(tuple, index, missing)
 *       item index as a text: a str, or a char * pointer object; a missing
 *       item raises `missing`, anything else "in output value of type str".
 * (An out-value whose module function takes no argument for it is not
 * counted by SWIG among the director's outputs: the whole returned object
 * reaches these typemaps, which read the tuple themselves.)
 */

%fragment("Tarn_DirectorResult", "header", fragment="Tarn_Results", fragment="<string>") %{
#include <typeinfo>
/* A ZuResult from what an override returned; false when it is none. */
SWIGINTERN bool Tarn_ResultFromPython(PyObject *obj, ZuResult &out)
{
  if (!obj)
    return false;
  if (PyLong_Check(obj)) {
    int overflow = 0;
    long value = PyLong_AsLongAndOverflow(obj, &overflow);
    if (!overflow && !(value == -1 && PyErr_Occurred()) && value >= INT32_MIN && value <= INT32_MAX) {
      out = ZuResult();
      out.SetCode((uint32_t)(int32_t)value);
      return true;
    }
    PyErr_Clear();
  }
  void *argp = 0;
  if (SWIG_IsOK(SWIG_ConvertPtr(obj, &argp, SWIGTYPE_p_ZuResult, 0)) && argp) {
    out = *reinterpret_cast<ZuResult *>(argp);
    return true;
  }
  return false;
}

/* The class a director stands for: its own name without SWIG's prefix. */
SWIGINTERN std::string Tarn_DirectorClass(const std::type_info &type)
{
  const char *name = type.name();
  while (*name >= '0' && *name <= '9') ++name;
  std::string text(name);
  const std::string prefix = "SwigDirector_";
  return text.compare(0, prefix.size(), prefix) == 0 ? text.substr(prefix.size()) : text;
}

/* The override returned no tuple with the items it owes: SWIG's words. */
SWIGINTERN void Tarn_DirectorNoTuple(const std::type_info &director, const char *method)
{
  PyErr_Clear();
  std::string text = "Python method " + Tarn_DirectorClass(director) + "." + method + "failed to return a tuple.";
  Swig::DirectorTypeMismatchException::raise(PyExc_TypeError, text.c_str());
}
%}

%typemap(directorout, noblock=1, fragment="Tarn_DirectorResult") ZuResult {
  if (!Tarn_ResultFromPython($input, $result)) {
    Swig::DirectorTypeMismatchException::raise(PyExc_TypeError, "in method $symname with output value of type 'ZuResult'");
  }
}

%define TARN_DIRECTOR_TUPLE_RESULT(CLASS, METHOD, TEXT)
%typemap(directorout, noblock=1, fragment="Tarn_DirectorResult") ZuResult CLASS::METHOD {
  if (!PyTuple_Check($input) || PyTuple_Size($input) < 2) {
    Tarn_DirectorNoTuple(typeid(*this), "$symname");
  }
  if (!Tarn_ResultFromPython(PyTuple_GET_ITEM((PyObject *)$input, 0), $result)) {
    Swig::DirectorTypeMismatchException::raise(PyExc_TypeError, TEXT);
  }
}
%enddef

%define TARN_DIRECTOR_ITEM(TYPE, NAME, INDEX, CONVERT)
%typemap(directorin, numinputs=0) TYPE NAME "";
%typemap(directorargout, noblock=1, fragment="Tarn_DirectorItems") TYPE NAME {
  {
    PyObject *tarn_item = PyTuple_Check($result) ? PyTuple_GetItem($result, INDEX) : NULL;
    if (!tarn_item) Tarn_DirectorNoTuple(typeid(*this), "$symname");
    CONVERT
  }
}
%enddef

%define TARN_DIRECTOR_NOT_PASSED(TYPE, NAME)
%typemap(directorin, numinputs=0) TYPE NAME "";
%enddef

%fragment("Tarn_DirectorItems", "header", fragment="Tarn_DirectorResult", fragment=SWIG_AsVal_frag(unsigned int)) %{
SWIGINTERN uint32_t Tarn_DirectorUint32(PyObject *item)
{
  unsigned int value = 0;
  int res = SWIG_AsVal_unsigned_SS_int(item, &value);
  if (!SWIG_IsOK(res)) {
    Swig::DirectorTypeMismatchException::raise(SWIG_ErrorType(SWIG_ArgError(res)), "in output value of type 'uint32_t'");
  }
  return value;
}

SWIGINTERN void Tarn_DirectorUint32Items(PyObject *tuple, uint32_t *const *slots, int count, const char *missing)
{
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject *item = PyTuple_GetItem(tuple, i);
    if (!item) Swig::DirectorException::raise(missing);
    *slots[i] = Tarn_DirectorUint32(item);
  }
}

SWIGINTERN PyObject *Tarn_DirectorItemOrWhole(const std::type_info &director, const char *method, PyObject *obj, Py_ssize_t index)
{
  PyObject *item = obj;
  if (item && PyTuple_Check(item)) item = PyTuple_GetItem(item, index);
  if (!item) Tarn_DirectorNoTuple(director, method);
  return item;
}
%}

%fragment("Tarn_DirectorTextItem", "header", fragment="Tarn_DirectorResult", fragment="Tarn_NewZuString") %{
SWIGINTERN ZuString Tarn_DirectorTextItem(PyObject *tuple, Py_ssize_t index, const char *missing)
{
  PyObject *name = PyTuple_GetItem(tuple, index);
  if (!name) Swig::DirectorException::raise(missing);
  std::shared_ptr<ZuString> text = PyUnicode_Check(name) ? Tarn_NewZuString(name) : nullptr;
  if (!text) {
    char *chars = 0;
    void *raw = 0;
    if (SWIG_IsOK(SWIG_ConvertPtr(name, &raw, SWIGTYPE_p_char, 0)) && raw) chars = (char *)raw;
    if (!chars) Swig::DirectorTypeMismatchException::raise(PyExc_TypeError, "in output value of type str");
    text = std::make_shared<ZuString>(chars);
  }
  return *text;
}
%}

/* The usual conversions of an out-value item (over tarn_item). */
%define TARN_ITEM_UINT32(NAME)
  NAME = Tarn_DirectorUint32(tarn_item);
%enddef
%define TARN_ITEM_ENUM(NAME, TYPENAME, TYPE)
  int tarn_value = 0;
  int tarn_res = SWIG_AsVal_int(tarn_item, &tarn_value);
  if (!SWIG_IsOK(tarn_res)) {
    Swig::DirectorTypeMismatchException::raise(SWIG_ErrorType(SWIG_ArgError(tarn_res)), "in output value of type '" TYPENAME "'");
  }
  NAME = static_cast<TYPE>(tarn_value);
%enddef

%fragment("Tarn_NativeExceptions", "header") %{
#include <cxxabi.h>
#include <exception>
%}
%define TARN_CATCH_NATIVE
%fragment("Tarn_NativeExceptions");
%exception {
  try {
    $action
  } catch (abi::__forced_unwind &) {
    throw;
  } catch (Swig::DirectorException &) {
    SWIG_fail;
  } catch (std::exception &tarn_native) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, tarn_native.what());
    SWIG_fail;
  } catch (...) {
    if (!PyErr_Occurred()) PyErr_SetString(PyExc_RuntimeError, "a native exception ended the call");
    SWIG_fail;
  }
}
%enddef

/* ---- The exit hook -------------------------------------------------------
 * One for the process, handed to atexit by the first module imported (so it
 * runs after the application's own exit handlers), while Python can still
 * run the last up-calls. It stops the live objects of the one registry
 * (tarn::UpCalls::Live), in this order, with the interpreter lock let go:
 *   1. running pipelines stop (their sinks hear OnStop);
 *   2. running software devices stop (their sources and sinks hear the end
 *      of streaming and of the controller's session; the SDK registers
 *      them, as it keeps a device until its stop is over);
 *   3. the up-call gate closes, once the up-calls in progress have ended;
 *      from then on no SDK thread calls into Python.
 *
 *   TARN_STOPPED_AT_EXIT(CLASS, ORDER)
 *       a CLASS that Python makes is live from its constructor to its
 *       destructor (which also lets go of what it held, as TARN_HOLDER):
 *       at exit, in ORDER's turn (tarn::UpCalls::kExit...), its Stop is
 *       called, entered as a call (the rule for Free, lifetime.i), so that
 *       one another thread deletes meanwhile goes once it is stopped; an
 *       error of its sinks was printed and stopping goes on. */
%fragment("Tarn_UpCallGate", "header") %{
#include "tarn/UpCalls.h"

SWIGINTERN PyObject *Tarn_Exit(PyObject *, PyObject *)
{
  Py_BEGIN_ALLOW_THREADS
  tarn::UpCalls::Exit();
  Py_END_ALLOW_THREADS
  /* What the last up-calls on this thread failed with was printed. */
  PyErr_Clear();
  Py_RETURN_NONE;
}

SWIGINTERN void Tarn_AtExit(int order, void (*step)())
{
  static PyMethodDef tarn_exit = {"_tarn_exit", Tarn_Exit, METH_NOARGS, NULL};
  if (!tarn::UpCalls::AtExit(order, step))
    return;
  PyObject *atexit = PyImport_ImportModule("atexit");
  PyObject *hook = atexit ? PyCFunction_New(&tarn_exit, NULL) : NULL;
  PyObject *done = hook ? PyObject_CallMethod(atexit, "register", "O", hook) : NULL;
  if (!done) PyErr_Clear();
  Py_XDECREF(done);
  Py_XDECREF(hook);
  Py_XDECREF(atexit);
}
%}
%fragment("Tarn_UpCallGate");
%init %{
  Tarn_AtExit(0, NULL);
%}

%fragment("Tarn_StopAtExit", "header", fragment="Tarn_UpCallGate") %{
#include "tarn/Uses.h"
template <class T>
SWIGINTERN void Tarn_StopAtExit(T *object, int order)
{
  tarn::UpCalls::Live(object, order, [object]() {
    PyGILState_STATE state = PyGILState_Ensure();
    const bool live = tarn::UpCalls::IsLive(object);
    if (live) tarn::Uses::Enter(object);
    PyGILState_Release(state);
    if (!live) return;
    try {
      object->Stop();
    } catch (...) {
    }
    state = PyGILState_Ensure();
    tarn::Uses::Leave(object);
    PyGILState_Release(state);
  });
}
%}

%define TARN_STOPPED_AT_EXIT(CLASS, ORDER)
%fragment("Tarn_StopAtExit");
%exception CLASS::CLASS {
  $action
  Tarn_StopAtExit(result, ORDER);
}
%exception CLASS::~CLASS {
  {
    const volatile uintptr_t tarn_owner = (uintptr_t)Tarn_Owner(arg1);
    $action
    if (arg1) tarn::UpCalls::Gone(arg1);
    if (tarn_owner) tarn::Holds::DropOwner((const void *)tarn_owner);
  }
}
%enddef
