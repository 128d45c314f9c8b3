/* Gaps of the pinned SWIG runtime (4.3.1), each closed here and nowhere else.
 *
 * 1. Comparing a pointer object with anything else read the other object as
 *    a pointer object. The function-like macro renames SWIG's own definition,
 *    while the type slot (a bare name, not a call) picks up the checked
 *    version below, which answers NotImplemented for foreign objects.
 * 2. `<Class>_swiginit` appending a non-pointer object returned a value with
 *    an exception set (SystemError); it now raises the TypeError of append.
 * 3. An overloaded comparison (`__eq__`, `__ne__`) given a wrong number of
 *    arguments returned NotImplemented with the arity TypeError still set
 *    (SystemError). Unpacking is redirected once SWIG's own definition is
 *    behind us: a comparison drops that TypeError and answers NotImplemented,
 *    as it does for a value it cannot compare (SWIG makes every `__eq__` and
 *    `__ne__` answer NotImplemented on failure, so no other caller is hit).
 * 4. The pointer type's `__repr__` showed the slot's generic docstring, as
 *    the type's own method lost against the slot of the same name.
 * 5. `disown_<Class>` took its reference to the Python object after
 *    releasing the interpreter lock. The reference is now taken while the
 *    arguments are converted, with the lock held; the wrapped action then
 *    finds no object and does nothing.
 */
%begin %{
struct _object;
#define SwigPyObject_richcompare(v, w, op) SwigPyObject_richcompare_unchecked(v, w, op)
static struct _object *(SwigPyObject_richcompare)(struct _object *v, struct _object *w, int op);
%}

%header %{
#include <cstring>
#include <type_traits>

static PyObject *(SwigPyObject_richcompare)(PyObject *v, PyObject *w, int op)
{
  if (!SwigPyObject_Check(w)) {
    SWIG_Py_INCREF(Py_NotImplemented);
    return Py_NotImplemented;
  }
  return SwigPyObject_richcompare_unchecked((SwigPyObject *)v, (SwigPyObject *)w, op);
}

SWIGINTERN PyObject *Tarn_InitShadowInstance(PyObject *args)
{
  PyObject *obj[2];
  if (!SWIG_Python_UnpackTuple(args, "swiginit", 2, 2, obj))
    return NULL;
  SwigPyObject *sthis = SWIG_Python_GetSwigThis(obj[0]);
  if (sthis) {
    PyObject *appended = SwigPyObject_append((PyObject *)sthis, obj[1]);
    if (!appended)
      return NULL;
    SWIG_Py_DECREF(appended);
  } else if (SWIG_Python_SetSwigThis(obj[0], obj[1]) != 0) {
    return NULL;
  }
  return SWIG_Py_Void();
}
#define SWIG_Python_InitShadowInstance Tarn_InitShadowInstance

SWIGINTERN Py_ssize_t Tarn_UnpackTuple(PyObject *args, const char *name, Py_ssize_t min, Py_ssize_t max, PyObject **objs)
{
  Py_ssize_t count = SWIG_Python_UnpackTuple(args, name, min, max, objs);
  if (!count) {
    size_t length = std::strlen(name);
    if (length > 7 && (std::strcmp(name + length - 7, "___eq__") == 0 || std::strcmp(name + length - 7, "___ne__") == 0)
        && PyErr_ExceptionMatches(PyExc_TypeError))
      PyErr_Clear();
  }
  return count;
}
#define SWIG_Python_UnpackTuple(args, name, min, max, objs) Tarn_UnpackTuple(args, name, min, max, objs)

template <typename T> static void Tarn_DisownDirector(T *object)
{
  if constexpr (std::is_polymorphic<T>::value) {
    if (Swig::Director *director = dynamic_cast<Swig::Director *>(object))
      director->swig_disown();
  }
}
%}

%typemap(check, noblock=1, fragment="Tarn_HasPrefix") SWIGTYPE *self {
  if (Tarn_HasPrefix("$symname", "disown_")) {
    Tarn_DisownDirector($1);
    $1 = 0;
  }
}

%init %{
  {
    /* Fix 4: the type's own `__repr__` entry, replacing the slot wrapper. */
    PyTypeObject *tarn_pytype = SwigPyObject_type();
    for (PyMethodDef *def = swigobject_methods; tarn_pytype && def->ml_name; ++def) {
      if (std::strcmp(def->ml_name, "__repr__") != 0)
        continue;
      PyObject *descr = PyDescr_NewMethod(tarn_pytype, def);
      if (!descr || PyObject_SetAttrString((PyObject *)tarn_pytype, def->ml_name, descr) < 0)
        PyErr_Clear();
      Py_XDECREF(descr);
    }
  }
%}
