/* Results: an operation's ZuResult comes back as a new object owned by its
 * proxy (SWIG's own conversion of a returned class), alone or as the first
 * item of a result sequence when the operation also yields values.
 *
 *   Tarn_ResultIsOK(result)        whether the call's result is OK: decides
 *                                  whether a value item is converted or None
 *   Tarn_NewNone()                 a new reference to None
 *   Tarn_AppendItem(seq, item, tuple, is_void)
 *                                  the sequence with item appended: a LIST
 *                                  ([result, value...], built as SWIG's
 *                                  %append_output builds it) or a TUPLE
 *                                  ((result, value...)). A void operation's
 *                                  None gives way to the first item. Steals
 *                                  both references; NULL when either is NULL
 *                                  or the sequence cannot be made.
 *
 *   ZuResult *TARN_RESULT_FIRST (in, argout)
 *       an out-parameter result, made before the call, comes first: the
 *       sequence is the tuple (result, what the call returned).
 *   ZuResult *TARN_OPERATION (in, argout)
 *       an out-parameter result, made before the call, appended last.
 *
 *   ZuResult::operator|= (out)
 *       `|=` hands ownership of the combined result to the new proxy, but
 *       only the ownership that the left operand's proxy had: combining into
 *       a proxy that no longer owns its result (an alias after an earlier
 *       `|=`) must not give the same result a second owner. The left proxy
 *       lets go only once the call is made, so that a refused right operand
 *       leaves it owning.
 */

%fragment("Tarn_Results", "header") %{
SWIGINTERN PyObject *Tarn_NewNone(void)
{
  Py_INCREF(Py_None);
  return Py_None;
}

SWIGINTERNINLINE bool Tarn_ResultIsOK(const ZuResult &result) { return result.IsOK(); }

SWIGINTERN PyObject *Tarn_AppendItem(PyObject *seq, PyObject *item, int tuple, int is_void)
{
  if (!seq || !item) {
    Py_XDECREF(seq);
    Py_XDECREF(item);
    return NULL;
  }
  if (is_void && seq == Py_None) {
    Py_DECREF(seq);
    return item;
  }
  if (!tuple) {
    if (!PyList_Check(seq)) {
      /* The usual [result, value]: made at its size, not grown. */
      PyObject *list = PyList_New(2);
      if (!list) {
        Py_DECREF(seq);
        Py_DECREF(item);
        return NULL;
      }
      PyList_SetItem(list, 0, seq);
      PyList_SetItem(list, 1, item);
      return list;
    }
    int failed = PyList_Append(seq, item);
    Py_DECREF(item);
    if (failed) {
      Py_DECREF(seq);
      return NULL;
    }
    return seq;
  }
  Py_ssize_t count = PyTuple_Check(seq) ? PyTuple_Size(seq) : 1;
  PyObject *grown = PyTuple_New(count + 1);
  if (!grown) {
    Py_DECREF(seq);
    Py_DECREF(item);
    return NULL;
  }
  if (PyTuple_Check(seq)) {
    for (Py_ssize_t i = 0; i < count; ++i) {
      PyObject *kept = PyTuple_GetItem(seq, i);
      Py_INCREF(kept);
      PyTuple_SetItem(grown, i, kept);
    }
    Py_DECREF(seq);
  } else {
    PyTuple_SetItem(grown, 0, seq);
  }
  PyTuple_SetItem(grown, count, item);
  return grown;
}
%}


%feature("del", "0") ZuResult::operator|=;
%typemap(out, noblock=1) ZuResult &ZuResult::operator|= {
  {
    SwigPyObject *tarn_left = SWIG_Python_GetSwigThis(swig_obj[0]);
    int tarn_left_owned = tarn_left ? (tarn_left->own & SWIG_POINTER_OWN) : 0;
    if (tarn_left) tarn_left->own = 0;
    $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, tarn_left_owned);
  }
}

%typemap(in, numinputs=0, noblock=1) ZuResult *TARN_RESULT_FIRST (ZuResult *tarn_result = 0) {
  tarn_result = new ZuResult();
  $1 = tarn_result;
}
%typemap(argout, noblock=1, fragment="Tarn_Results") ZuResult *TARN_RESULT_FIRST {
  {
    PyObject *tarn_first = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, SWIG_POINTER_OWN);
    tarn_result$argnum = 0;
    $result = Tarn_AppendItem(tarn_first, $result, 1, 0);
    if (!$result) SWIG_fail;
  }
}
%typemap(freearg, noblock=1) ZuResult *TARN_RESULT_FIRST {
  delete tarn_result$argnum;
}

%typemap(in, numinputs=0, noblock=1) ZuResult *TARN_OPERATION (ZuResult *tarn_operation = 0) {
  tarn_operation = new ZuResult();
  $1 = tarn_operation;
}
%typemap(argout, noblock=1, fragment="Tarn_Results") ZuResult *TARN_OPERATION {
  $result = Tarn_AppendItem($result, SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, SWIG_POINTER_OWN), 0, $isvoid);
  tarn_operation$argnum = 0;
  if (!$result) SWIG_fail;
}
%typemap(freearg, noblock=1) ZuResult *TARN_OPERATION {
  delete tarn_operation$argnum;
}
