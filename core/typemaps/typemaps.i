/* The typemap library: every conversion the modules share, in one place.
 * Interface files of class families include it and apply its named
 * patterns around their own declarations, clearing them afterwards; the
 * conventions for every class (the object of a method, texts, directors'
 * failure line) hold everywhere. Each part lists what it offers. */

%include "core/typemaps/runtime_fixes.i"
%include "core/typemaps/threads.i"
%include <stdint.i>

%{
#define NPY_NO_DEPRECATED_API NPY_1_7_API_VERSION
#include <numpy/arrayobject.h>
#include "ZuString.h"
#include "ZuResult.h"
%}

%include "core/typemaps/objects.i"
%include "core/typemaps/lifetime.i"
%include "core/typemaps/strings.i"
%include "core/typemaps/results.i"
%include "core/typemaps/downcast.i"
%include "core/typemaps/outvalues.i"
%include "core/typemaps/directors.i"
%include "core/typemaps/arrays.i"
