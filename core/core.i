/* Texts, results and logging: compiled into every module. */

%{
#include "ZuString.h"
#include "ZuResult.h"
#include "ZuLog.h"
%}

%include "core/conventions.i"
%include "ZuBaseApi.h"

%ignore ZuString::operator=;
%ignore ZuResult::operator=;

/* Python operators keep their names. */
%rename(__eq__) ZuString::operator==;
%rename(__ne__) ZuString::operator!=;
%rename(__eq__) ZuResult::operator==;
%rename(__ne__) ZuResult::operator!=;
%rename(__ior__) ZuResult::operator|=;
%rename(__str__) ZuString::__str__;

/* A failed comparison falls back to Python's own. */
%feature("python:maybecall") ZuString::operator==;
%feature("python:maybecall") ZuString::operator!=;
%feature("python:maybecall") ZuResult::operator==;
%feature("python:maybecall") ZuResult::operator!=;

/* For the last candidate of an argument count, the trailing text argument
 * is converted rather than checked, so a wrong value there names the
 * argument instead of listing every prototype. */
#ifndef TARN_STRICT_RESULT_DESCRIPTION
%typemap(typecheck, precedence=145) const ZuString &aDescription "$1 = 1;";
#endif
%typemap(typecheck, precedence=145) const ZuString &aOther "$1 = 1;";

/* `+=` on a ZuString yields a str. Unlike the other in-place operators,
 * the left operand keeps its native text, so that it is freed with its
 * proxy instead of leaking. */
%ignore ZuString::operator+=;

/* `|=` hands ownership of the combined result to the new proxy, but only
 * the ownership that the left operand's proxy had: combining into a proxy
 * that no longer owns its result (an alias after an earlier `|=`) must not
 * give the same result a second owner. The left proxy lets go only once the
 * call is made, so that a refused right operand leaves it owning. */
%feature("del", "0") ZuResult::operator|=;
%typemap(out, noblock=1) ZuResult &ZuResult::operator|= {
  {
    SwigPyObject *tarn_left = SWIG_Python_GetSwigThis(swig_obj[0]);
    int tarn_left_owned = tarn_left ? (tarn_left->own & SWIG_POINTER_OWN) : 0;
    if (tarn_left) tarn_left->own = 0;
    $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, tarn_left_owned);
  }
}

%include "ZuString.h"

%extend ZuString {
  const wchar_t *__str__() { return $self->GetUnicode(); }

  /// Appends another text.
  /// @param aValue Text to append.
  /// @return The whole text.
  ZuString &__iadd__(const ZuString &aValue) { return *$self += aValue; }
}

%include "ZuResult.h"

/* Logging. The sink's Log is the one operation that Python may override:
 * its wrapper keeps the interpreter lock, since the callee may re-enter. */
%feature("director") ZuLogSink;
%feature("nothreadallow") ZuLogSink::Log;

/* Several sinks receive each entry. When one fails on a Python thread its
 * error stays pending for the logging call to raise, so the next sink's Log
 * would start with an exception set and lose the entry. Each call sets a
 * pending error aside for its own run (the first parameter's conversion is
 * the first thing the director does under the lock), and the first error is
 * the one left pending afterwards. */
%fragment("Tarn_PendingErrorAside", "header") %{
struct Tarn_PendingErrorAside {
  PyObject *type, *value, *traceback;
  Tarn_PendingErrorAside() { PyErr_Fetch(&type, &value, &traceback); }
  ~Tarn_PendingErrorAside() {
    if (type) {
      PyErr_Clear();
      PyErr_Restore(type, value, traceback);
    }
  }
  Tarn_PendingErrorAside(const Tarn_PendingErrorAside &) = delete;
  Tarn_PendingErrorAside &operator=(const Tarn_PendingErrorAside &) = delete;
};
%}
%typemap(directorin, noblock=1, fragment="Tarn_PendingErrorAside") ZuLogLevelEnum aLevel {
  Tarn_PendingErrorAside tarn_pending_error;
  $input = SWIG_From_int(static_cast< int >($1));
}

/* Leave the SDK's logging before the director's own parts go, so that no
 * native thread calls into a half-destroyed sink. */
%feature("action") ZuLogSink::~ZuLogSink {
  if (arg1) arg1->LeaveLogging();
  delete arg1;
}

/* A Python sink that fails while this thread logs leaves its error pending
 * here: it is raised from the logging call instead of being lost. */
%define TARN_RAISE_PENDING(func)
%exception func {
  $action
  if (PyErr_Occurred()) SWIG_fail;
}
%enddef
TARN_RAISE_PENDING(ZuLogger::LogInfo)
TARN_RAISE_PENDING(ZuLogger::LogError)
TARN_RAISE_PENDING(ZuLogger::LogWarning)
TARN_RAISE_PENDING(ZuLogger::LogCritical)
TARN_RAISE_PENDING(ZuLogger::LogDebug)

%include "ZuLog.h"
