/* Texts: ZuString arguments from str, and texts back as str.
 *
 * Every `const ZuString &` argument takes a ZuString proxy as it is, or
 * makes a temporary text from a str (wide characters first, UTF-8 as the
 * fallback) or from a raw character pointer; the temporary lives for the
 * call only. Texts come back as str, and docstrings call them strings.
 *
 * Named patterns, %apply'd around the declarations they are meant for:
 *   const ZuString &TARN_TEXT_LAST
 *       in an overload set, the text candidate is tried last and its text
 *       argument is converted rather than checked, so a wrong value names
 *       the argument instead of listing every prototype.
 *   const ZuString &TARN_TEXT_OBJECT_ONLY
 *       takes a ZuString object only, as any other class.
 *   ZuString TARN_TEXT_OR_NONE
 *       a returned text that is empty comes back as None.
 */

%include <cwstring.i>

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

%typemap(doctype) ZuString, const ZuString &, ZuString &, const wchar_t * "string";
%fragment("Tarn_FromZuString", "header", fragment="SWIG_FromWCharPtr") {
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

/* ---- Named patterns ----------------------------------------------------- */

%typemap(typecheck, precedence=145) const ZuString &TARN_TEXT_LAST "$1 = 1;";

%typemap(in) const ZuString &TARN_TEXT_OBJECT_ONLY = SWIGTYPE const &;
%typemap(typecheck, precedence=0) const ZuString &TARN_TEXT_OBJECT_ONLY = SWIGTYPE const &;
%typemap(freearg) const ZuString &TARN_TEXT_OBJECT_ONLY "";

%typemap(out, fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") ZuString TARN_TEXT_OR_NONE {
  if ($1.GetLength() == 0) {
    $result = SWIG_Py_Void();
  } else {
    $result = Tarn_FromZuString($1);
  }
}
