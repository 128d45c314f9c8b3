/* Directors: Python methods called from the SDK.
 *
 * A Python method that fails inside a director call prints one line on the
 * process's standard output, "In method '<name>': " with the error's type
 * name and text joined by the profile's TARN_DIRECTOR_SEPARATOR, and is
 * thrown into the calling SDK code.
 *
 *   enum SWIGTYPE TARN_ERROR_ASIDE (directorin)
 *       for the first parameter of an up-call that several objects receive
 *       in turn (log sinks): an error pending from an earlier one is set
 *       aside for this call and put back afterwards, so that each call runs
 *       clean and the first error is the one left pending.
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
%typemap(directorin, noblock=1, fragment="Tarn_PendingErrorAside") enum SWIGTYPE TARN_ERROR_ASIDE {
  Tarn_PendingErrorAside tarn_pending_error;
  $input = SWIG_From_int(static_cast< int >($1));
}
