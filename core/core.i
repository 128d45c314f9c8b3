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

/* `|=` hands ownership of the combined result to the new proxy. */
%newobject ZuResult::operator|=;
%delobject ZuResult::operator|=;

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
