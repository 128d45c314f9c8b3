/* Lifetimes: which Python object keeps which alive.
 *
 *   Tarn_KeepOwner(result, owner)
 *       a borrowed object (a typed view of a buffer, an interface of a
 *       system, a feature of a parameter array) keeps the proxy it came from
 *       alive, so that the SDK object it stands for outlives every use
 *       through the proxy. Only proxies with attributes can. Returns result.
 *   Tarn_HoldObject(obj)
 *       a share of a Python object for the SDK: the last share to go drops
 *       the reference under the interpreter lock, from whichever thread that
 *       is (not at all once the interpreter finalises: the up-call gate of
 *       directors.i is closed then).
 *   Tarn_HoldItems(list, item)
 *       a container that Python fills keeps the proxies of its items (a null
 *       item lets them all go).
 *
 * Named patterns and macros:
 *   SWIGTYPE *TARN_KEEP_OWNER (ret)
 *       the returned proxy keeps the proxy of the called object alive.
 *   SWIGTYPE *TARN_HELD (in)
 *       the argument's Python object is held in `tarn_keep<argnum>` (a
 *       std::shared_ptr<void>, empty for None) for the wrapped action to
 *       hand to the SDK.
 *   TARN_HOLDS_ITEMS(Class::Add, Class::Clear)
 *       Add keeps the proxy of its item (argument 2) with the container's
 *       proxy; Clear lets them go.
 *   TARN_HOLDS_KEYED(Class::Set, "attribute")
 *       Set(key, item) keeps the proxy of its item (argument 3) with the
 *       called object's proxy under its key (argument 2), letting the one
 *       it replaces go; None lets the key's go.
 */

%fragment("Tarn_Lifetime", "header", fragment="<memory>") %{
#include "tarn/UpCalls.h"
/* An attribute name made once and held: a name made anew for each call
 * would be hashed and looked up each time, and once its last holder lets go
 * the next one lands elsewhere in the interpreter's attribute cache. */
SWIGINTERN PyObject *Tarn_AttributeName(PyObject **held, const char *text)
{
  if (!*held)
    *held = PyUnicode_InternFromString(text);
  if (!*held)
    PyErr_Clear();
  return *held;
}

SWIGINTERN PyObject *Tarn_KeepOwner(PyObject *result, PyObject *owner)
{
  static PyObject *tarn_name = 0;
  if (!result || result == Py_None || !owner)
    return result;
  PyObject *name = Tarn_AttributeName(&tarn_name, "_tarn_owner");
  if (name && PyObject_GenericSetAttr(result, name, owner) < 0)
    PyErr_Clear();
  return result;
}

SWIGINTERN std::shared_ptr<void> Tarn_HoldObject(PyObject *obj)
{
  Py_INCREF(obj);
  return std::shared_ptr<void>(obj, [](void *held) {
    /* Taking the interpreter lock while it finalises would end this thread
     * in the middle of SDK code: the reference is left then. */
    tarn::UpCalls::Scope tarn_gate;
    if (!tarn_gate || !Py_IsInitialized())
      return;
    PyGILState_STATE state = PyGILState_Ensure();
    Py_DECREF((PyObject *)held);
    PyGILState_Release(state);
  });
}

SWIGINTERN void Tarn_HoldItems(PyObject *list, PyObject *item)
{
  static PyObject *tarn_name = 0;
  PyObject *name = Tarn_AttributeName(&tarn_name, "_tarn_items");
  if (!name)
    return;
  PyObject *held = item ? PyObject_GenericGetAttr(list, name) : NULL;
  if (!held) {
    PyErr_Clear();
    held = item ? PyList_New(0) : NULL;
    if (held && PyObject_GenericSetAttr(list, name, held) < 0) {
      Py_CLEAR(held);
      PyErr_Clear();
    }
  }
  if (!item) {
    if (PyObject_GenericSetAttr(list, name, NULL) < 0) PyErr_Clear();
  } else if (held && PyList_Check(held) && PyList_Append(held, item) < 0) {
    PyErr_Clear();
  }
  Py_XDECREF(held);
}

SWIGINTERN void Tarn_HoldKeyed(PyObject *owner, PyObject **name, const char *text, PyObject *key, PyObject *item)
{
  PyObject *attribute = Tarn_AttributeName(name, text);
  if (!attribute || !owner || !key)
    return;
  PyObject *held = PyObject_GenericGetAttr(owner, attribute);
  if (!held) {
    PyErr_Clear();
    held = PyDict_New();
    if (held && PyObject_GenericSetAttr(owner, attribute, held) < 0) {
      Py_CLEAR(held);
      PyErr_Clear();
    }
  }
  if (held && PyDict_Check(held)) {
    if (item && item != Py_None) {
      if (PyDict_SetItem(held, key, item) < 0) PyErr_Clear();
    } else if (PyDict_DelItem(held, key) < 0) {
      PyErr_Clear();
    }
  }
  Py_XDECREF(held);
}
%}
%fragment("Tarn_Lifetime");

%typemap(ret) SWIGTYPE *TARN_KEEP_OWNER {
  Tarn_KeepOwner($result, swig_obj[0]);
}

%typemap(in) SWIGTYPE *TARN_HELD (void *argp = 0, int res = 0, std::shared_ptr<void> tarn_keep) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, 0);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if ($1) tarn_keep = Tarn_HoldObject($input);
}

%define TARN_HOLDS_KEYED(SET, ATTRIBUTE)
%exception SET {
  $action
  {
    static PyObject *tarn_name = 0;
    Tarn_HoldKeyed(swig_obj[0], &tarn_name, ATTRIBUTE, swig_obj[1], swig_obj[2]);
  }
}
%enddef

%define TARN_HOLDS_ITEMS(ADD, CLEAR)
%exception ADD {
  $action
  if (arg2) Tarn_HoldItems(swig_obj[0], swig_obj[1]);
}
%exception CLEAR {
  $action
  Tarn_HoldItems(swig_obj[0], NULL);
}
%enddef
