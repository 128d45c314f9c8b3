/* Gaps of the pinned SWIG runtime (4.3.1), each closed here and nowhere else.
 *
 * 1. Comparing a pointer object with anything else read the other object as
 *    a pointer object. The function-like macro renames SWIG's own definition,
 *    while the type slot (a bare name, not a call) picks up the checked
 *    version below, which answers NotImplemented for foreign objects.
 * 2. `<Class>_swiginit` appending a non-pointer object returned a value with
 *    an exception set (SystemError); it now raises the TypeError of append.
 */
%begin %{
struct _object;
#define SwigPyObject_richcompare(v, w, op) SwigPyObject_richcompare_unchecked(v, w, op)
static struct _object *(SwigPyObject_richcompare)(struct _object *v, struct _object *w, int op);
%}

%header %{
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
%}
