/* Calling conventions shared by every wrapper of the three modules. */

%include <stdint.i>
%include <cwstring.i>

/* ---- The object of a method -------------------------------------------
 * None converts to a null pointer for ordinary pointer arguments, but a
 * method must never be called through a null object. Destructors are the
 * exception: deleting or disowning None does nothing. A destructor given a
 * proxy that does not own its object (something borrowed from an SDK container) must
 * not free SDK memory either: it only clears the proxy's flag.
 */
/* Given literals, these are decided while compiling: no cost per call. */
%fragment("Tarn_HasPrefix", "header") %{
static constexpr bool Tarn_HasPrefix(const char *name, const char *prefix)
{
  return *prefix == '\0' || (*name == *prefix && Tarn_HasPrefix(name + 1, prefix + 1));
}
static constexpr size_t Tarn_Length(const char *text) { return *text ? 1 + Tarn_Length(text + 1) : 0; }
static constexpr bool Tarn_HasSuffix(const char *name, const char *suffix)
{
  return Tarn_Length(name) >= Tarn_Length(suffix) && Tarn_HasPrefix(name + Tarn_Length(name) - Tarn_Length(suffix), suffix);
}
%}
%fragment("Tarn_HasPrefix");

/* The object typemap for TYPE; NULL_ALLOWED says which functions take None
 * as their object (and then do nothing with it). */
%define TARN_OBJECT_TYPEMAP(TYPE, NULL_ALLOWED)
%typemap(in, noblock=1) TYPE *self (void *argp = 0, int res = 0, int tarn_owned = 0) {
  if ($disown) {
    SwigPyObject *tarn_sobj = SWIG_Python_GetSwigThis($input);
    tarn_owned = tarn_sobj ? (tarn_sobj->own & SWIG_POINTER_OWN) : 0;
  }
  res = SWIG_ConvertPtr($input, &argp, $descriptor, $disown | %convertptr_flags);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if (!$1) {
    if (!(NULL_ALLOWED)) {
      %argument_fail(SWIG_TypeError, "$type", $symname, $argnum);
    }
  } else if (Tarn_HasPrefix("$symname", "delete_") && !tarn_owned) {
    $1 = 0;
  }
}
%enddef
TARN_OBJECT_TYPEMAP(SWIGTYPE, (Tarn_HasPrefix("$symname", "delete_") || Tarn_HasPrefix("$symname", "disown_")))

/* ---- Borrowed objects -------------------------------------------------- */
%{
/* A borrowed object (a typed view of a buffer, an interface of a system, a
 * finding of a discovery) keeps the proxy it came from alive, so that the SDK
 * object it stands for outlives every use through the proxy. Only proxies
 * with attributes can. Returns result, for use in an expression. */
SWIGINTERN PyObject *Tarn_KeepOwner(PyObject *result, PyObject *owner)
{
  if (!result || result == Py_None || !owner)
    return result;
  PyObject *name = PyUnicode_InternFromString("_tarn_owner");
  if (!name || PyObject_GenericSetAttr(result, name, owner) < 0)
    PyErr_Clear();
  Py_XDECREF(name);
  return result;
}
%}

/* ---- Texts -------------------------------------------------------------
 * A ZuString parameter takes a ZuString proxy as it is, or makes a
 * temporary text from a str (wide characters first, UTF-8 as the fallback)
 * or from a raw character pointer. The temporary lives for the call only.
 */
%fragment("Tarn_NewZuString", "header") {
SWIGINTERN ZuString *Tarn_NewZuString(PyObject *obj)
{
  if (PyUnicode_Check(obj)) {
    wchar_t *wide = PyUnicode_AsWideCharString(obj, NULL);
    if (wide) {
      ZuString *text = new ZuString(wide);
      PyMem_Free(wide);
      return text;
    }
    PyErr_Clear();
    PyObject *utf8 = PyUnicode_AsUTF8String(obj);
    if (!utf8) {
      PyErr_Clear();
      return 0;
    }
    ZuString *text = new ZuString(PyBytes_AsString(utf8));
    Py_DECREF(utf8);
    return text;
  }
  void *raw = 0;
  if (SWIG_IsOK(SWIG_ConvertPtr(obj, &raw, SWIGTYPE_p_wchar_t, 0)) && raw)
    return new ZuString((const wchar_t *)raw);
  if (SWIG_IsOK(SWIG_ConvertPtr(obj, &raw, SWIGTYPE_p_char, 0)) && raw)
    return new ZuString((const char *)raw);
  return 0;
}

SWIGINTERN int Tarn_IsZuStringLike(PyObject *obj, swig_type_info *zustring)
{
  if (obj == Py_None || PyUnicode_Check(obj))
    return 1;
  return SWIG_CheckState(SWIG_ConvertPtr(obj, 0, zustring, SWIG_POINTER_NO_NULL))
      || SWIG_CheckState(SWIG_ConvertPtr(obj, 0, SWIGTYPE_p_wchar_t, 0))
      || SWIG_CheckState(SWIG_ConvertPtr(obj, 0, SWIGTYPE_p_char, 0));
}
}

%types(char *, wchar_t *);

%typemap(in, fragment="Tarn_NewZuString") const ZuString & (void *argp = 0, int res = 0, ZuString *tarn_text = 0) {
  /* A str is by far the most common argument: try it before the pointer
   * look-up, which would raise and clear an AttributeError for it. */
  res = PyUnicode_Check($input) ? SWIG_ERROR : SWIG_ConvertPtr($input, &argp, $descriptor, %convertptr_flags);
  if (SWIG_IsOK(res)) {
    if (!argp) { %argument_nullref("$type", $symname, $argnum); }
    $1 = %reinterpret_cast(argp, $ltype);
  } else {
    tarn_text = Tarn_NewZuString($input);
    if (!tarn_text) {
      SWIG_exception_fail(SWIG_TypeError, "Argument $argnum: failed to create ZuString from Python string");
    }
    $1 = tarn_text;
  }
}
%typemap(freearg, noblock=1) const ZuString & {
  delete tarn_text$argnum;
}
%typemap(typecheck, precedence=145, fragment="Tarn_NewZuString") const ZuString & {
  $1 = Tarn_IsZuStringLike($input, $descriptor);
}

/* Texts come back as str, and the docstrings say so. */
%typemap(doctype) ZuString, const ZuString &, ZuString &, const wchar_t * "string";
%fragment("Tarn_FromZuString", "header") {
SWIGINTERN PyObject *Tarn_FromZuString(const ZuString &text)
{
  const wchar_t *wide = text.GetUnicode();
  return SWIG_FromWCharPtr(wide);
}
}
%typemap(out, fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") ZuString {
  $result = Tarn_FromZuString($1);
}
%typemap(out, fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") ZuString &, const ZuString & {
  $result = Tarn_FromZuString(*$1);
}

/* ---- Directors -----------------------------------------------------------
 * A Python method that fails inside a director call prints one line on the
 * process's standard output and is thrown into the calling SDK code.
 */
%fragment("Tarn_DirectorFailure", "header", fragment="<string>") %{
#include <unistd.h>
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

SWIGINTERN void Tarn_DirectorMethodFailed(const char *method)
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
  // Native standard output, not sys.stdout: the SDK's thread may have no
  // Python frame and sys.stdout may be replaced.
  fflush(stdout);
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::write(1, out.data() + done, out.size() - done);
    if (n <= 0) break;
    done += (size_t)n;
  }
  throw Swig::DirectorMethodException(line.c_str());
}
%}

%fragment("Tarn_DirectorFailure");
%feature("director:except") %{
  if ($error != NULL) {
    Tarn_DirectorMethodFailed("$symname");
  }
%}

/* ---- Native exceptions ---------------------------------------------------
 * No native exception may reach the interpreter's frames. A feature read or
 * write can call a device sink's director on the calling thread (through
 * the device's GenApi port), whichever module's proxy made the call: a
 * director that failed there set the Python error its exception carries;
 * anything else becomes a RuntimeError. Thread cancellation passes on.
 * Applied (and cleared with `%exception;`) around the declarations whose
 * operations can reach a director that way.
 */
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
