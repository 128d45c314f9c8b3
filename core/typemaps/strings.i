/* Texts: ZuString arguments from str, and texts back as str.
 *
 * Every `const ZuString &` argument takes a ZuString proxy as it is, or
 * a text made from a str (wide characters first, UTF-8 as the fallback) or
 * from a raw character pointer, held for the call; the texts of the last
 * short str arguments are remembered and given again for the same str.
 * Texts come back as str, and docstrings call them strings.
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

%fragment("Tarn_TextHeaders", "header") %{
#include <cwchar>
#include <memory>
%}
%fragment("Tarn_NewZuString", "header", fragment="Tarn_TextHeaders") {
/* A new text from a str (wide characters first: they keep lone surrogates;
 * UTF-8 as the fallback, which ends at a null character as the wide form
 * cannot) or from a raw character pointer; empty when obj gives none. */
SWIGINTERN std::shared_ptr<ZuString> Tarn_NewZuString(PyObject *obj)
{
  if (PyUnicode_Check(obj)) {
    /* A short text without a null character goes through a buffer on the
     * stack rather than one the interpreter allocates. */
    wchar_t buffer[128];
    Py_ssize_t length = PyUnicode_GetLength(obj);
    if (length >= 0 && length < (Py_ssize_t)(sizeof buffer / sizeof buffer[0])) {
      if (PyUnicode_AsWideChar(obj, buffer, length) == length) {
        buffer[length] = L'\0';
        if (wcslen(buffer) == (size_t)length)
          return std::make_shared<ZuString>(buffer);
      } else {
        PyErr_Clear();
      }
    }
    wchar_t *wide = PyUnicode_AsWideCharString(obj, NULL);
    if (wide) {
      std::shared_ptr<ZuString> text = std::make_shared<ZuString>(wide);
      PyMem_Free(wide);
      return text;
    }
    PyErr_Clear();
    PyObject *utf8 = PyUnicode_AsUTF8String(obj);
    if (!utf8) {
      PyErr_Clear();
      return nullptr;
    }
    std::shared_ptr<ZuString> text = std::make_shared<ZuString>(PyBytes_AsString(utf8));
    Py_DECREF(utf8);
    return text;
  }
  void *raw = 0;
  if (SWIG_IsOK(SWIG_ConvertPtr(obj, &raw, SWIGTYPE_p_wchar_t, 0)) && raw)
    return std::make_shared<ZuString>((const wchar_t *)raw);
  if (SWIG_IsOK(SWIG_ConvertPtr(obj, &raw, SWIGTYPE_p_char, 0)) && raw)
    return std::make_shared<ZuString>((const char *)raw);
  return nullptr;
}

/* The text of a str argument. Names and short texts recur (a feature read
 * by name in a loop), so the last conversions are remembered, keyed by the
 * str itself, which is held while remembered so that no other object can
 * take its address. The caller holds a share of the text for its call: a
 * thread that replaces the entry meanwhile frees nothing the SDK is reading.
 * Called with the interpreter lock held. */
SWIGINTERN std::shared_ptr<ZuString> Tarn_ZuStringOf(PyObject *obj)
{
  enum { tarn_slots = 32, tarn_longest = 64 };
  struct Remembered {
    PyObject *str;
    std::shared_ptr<ZuString> text;
  };
  /* Never freed: entries may be asked for until the interpreter's last call. */
  static Remembered *tarn_remembered = new Remembered[tarn_slots]();
  Remembered *entry = 0;
  if (PyUnicode_CheckExact(obj) && PyUnicode_GetLength(obj) <= tarn_longest) {
    entry = &tarn_remembered[((uintptr_t)obj >> 4) % tarn_slots];
    if (entry->str == obj)
      return entry->text;
  }
  std::shared_ptr<ZuString> text = Tarn_NewZuString(obj);
  if (text && entry) {
    PyObject *forgotten = entry->str;
    Py_INCREF(obj);
    entry->str = obj;
    entry->text = text;
    Py_XDECREF(forgotten);
  }
  return text;
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

%typemap(in, fragment="Tarn_NewZuString") const ZuString & (void *argp = 0, int res = 0, std::shared_ptr<ZuString> tarn_text) {
  /* A str is by far the most common argument: try it before the pointer
   * look-up, which would raise and clear an AttributeError for it. */
  res = PyUnicode_Check($input) ? SWIG_ERROR : SWIG_ConvertPtr($input, &argp, $descriptor, %convertptr_flags);
  if (SWIG_IsOK(res)) {
    if (!argp) { %argument_nullref("$type", $symname, $argnum); }
    $1 = %reinterpret_cast(argp, $ltype);
  } else {
    tarn_text = Tarn_ZuStringOf($input);
    if (!tarn_text) {
      SWIG_exception_fail(SWIG_TypeError, "Argument $argnum: failed to create ZuString from Python string");
    }
    $1 = tarn_text.get();
  }
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

%typemap(out, fragment="Tarn_FromZuString", fragment="SWIG_FromWCharPtr") ZuString TARN_TEXT_OR_NONE {
  if ($1.GetLength() == 0) {
    $result = SWIG_Py_Void();
  } else {
    $result = Tarn_FromZuString($1);
  }
}
