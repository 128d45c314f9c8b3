/* Texts, results and logging: compiled into every module. */

%include "core/typemaps/typemaps.i"

%{
#include "ZuString.h"
#include "ZuResult.h"
#include "ZuLog.h"
#include "tarn/LogBinding.h"
%}

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

/* A result's description takes what the module's profile says; a text
 * compared with is converted rather than checked (the last candidate). */
%apply const ZuString &TARN_DESCRIPTION_TEXT { const ZuString &aDescription };
%apply const ZuString &TARN_TEXT_LAST { const ZuString &aOther };

/* `+=` on a ZuString yields a str. Unlike the other in-place operators,
 * the left operand keeps its native text, so that it is freed with its
 * proxy instead of leaking. */
%ignore ZuString::operator+=;

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
 * its wrapper keeps the interpreter lock, since the callee may re-enter
 * (core/typemaps/threads.i).
 * Several sinks receive each entry, and the first that fails on a Python
 * thread leaves its error pending for the logging call to raise. */
%feature("director") ZuLogSink;

/* Join the SDK's logging only once the sink is whole, so that no native
 * thread that logs meanwhile calls a sink whose director part is still being
 * built. */
%exception ZuLogSink::ZuLogSink {
  {
    tarn::DeferredLogJoin tarn_deferred;
    $action
  }
  if (result) tarn::JoinLogging(*result);
}

/* Leave the SDK's logging before the director's own parts go, so that no
 * native thread calls into a half-destroyed sink. */
%feature("action") ZuLogSink::~ZuLogSink {
  if (arg1) tarn::LeaveLogging(*arg1);
  delete arg1;
}


%include "ZuLog.h"

%clear const ZuString &aDescription;
%clear const ZuString &aOther;
