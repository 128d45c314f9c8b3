/* NumPy arrays over payload memory, and payload memory taken from NumPy
 * arrays. Generic: nothing here knows a particular SDK class.
 *
 * Views (output side)
 *   Tarn_ArrayView(data, nd, dims, typenum, base)   an array over data
 *   Tarn_BytesView(data, length, base)              a one-dimensional uint8 array
 *   Tarn_PlanImage(plan, pixel type, width, height, padding X, padding Y,   (fragment Tarn_ImageViews)
 *                  image size, bytes behind the pointer)
 *                                                   shape and element type of an image
 *   Tarn_PlanBytes(plan, length)                    a one-dimensional plan
 *   Tarn_PlanView(plan, data, base)                 the array a plan describes
 *   Tarn_MemoryOwner(std::shared_ptr<void>)         a capsule that shares the memory
 *   Tarn_ViewBase(std::shared_ptr<void>, fallback)  that capsule, else the fallback object
 * A view never copies. Its base is the object that keeps its memory alive
 * (a capsule sharing an SDK block, or the object that owns the memory), so a
 * view stays readable after its buffer's proxy is gone. A null data pointer
 * gives an empty array.
 *
 * Attached memory (input side)
 *   (void *TARN_ATTACH, uint32_t TARN_ATTACH_LENGTH)
 *   (void *TARN_ATTACH, uint64_t TARN_ATTACH_LENGTH)
 *       one-dimensional array -> (pointer, length). The array is converted
 *       to a C-contiguous, writeable uint8 array (a copy only when it is not
 *       one already). A length that does not fit the length's type raises
 *       OverflowError before any copy is made. After the call the wrapper
 *       calls Tarn_KeepAttachment(arg1, pointer, hold), hold a share of the
 *       array (Tarn_HoldObject): the class whose operation is wrapped
 *       provides that overload and ties the array to the attachment, so the memory stays valid for as long as the SDK uses
 *       it, even when the caller drops the array or passed something that
 *       needed a copy.
 *   (uint8_t *TARN_ATTACH_READONLY, uint32_t TARN_ATTACH_LENGTH)
 *       the same for memory the SDK only reads: a read-only C-contiguous
 *       uint8 array is attached in place as well (a copy would hide later
 *       changes to its memory).
 *   (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT)
 *       an image from a two- or three-dimensional array: height from the
 *       first dimension, width from the second. The pixel type, not the
 *       array, tells the layout, so before the call the owner is told how
 *       many bytes the array holds (Tarn_LimitNextAttach(arg1, bytes), an
 *       overload of the owner's family) and refuses a larger image.
 *   (const uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH)
 *   (uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH)
 *       bytes only, read during the call: nothing is kept; the overload that
 *       takes them is chosen for a bytes object.
 *   (const void *TARN_CALL_BYTES, uint32_t TARN_CALL_LENGTH)
 *   (const uint8_t *TARN_CALL_BYTES, uint32_t TARN_CALL_LENGTH)
 *       any one-dimensional object NumPy turns into uint8, read during the
 *       call; a length past the type is refused by the length's position.
 *   (const uint8_t *TARN_CALL_BYTES, int64_t TARN_CALL_COUNT)
 *       the same for a count the SDK takes as an int: at most 2**31-1,
 *       refused by the pointer's position.
 *   (const void *TARN_ADDRESSED_BYTES, int64_t TARN_ADDRESS, int64_t TARN_ADDRESSED_LENGTH)
 *       a tuple (array, address); the length is the array's first dimension
 *       (a zero-dimensional array is its one element), at most 2**31-1.
 *   Tarn_InputBytes(obj, allowed ndims, count, max dimension, symname,
 *                   argnum, length type)             the conversion itself
 *
 * Memory the SDK fills (a Python int in, a new array out)
 *   (uint8_t *TARN_FILLED, int64_t TARN_FILLED_COUNT)
 *   (uint8_t *TARN_FILLED, uint32_t TARN_FILLED_COUNT)
 *       a new zero-filled uint8 array of that many bytes, appended to the
 *       result whatever the outcome: a failed call shows zeros, never what
 *       memory held before. A count past 2**31-1 is refused rather than
 *       wrapped; a negative one gets NumPy's own error.
 *   (uint8_t *TARN_READ_INTO, uint32_t TARN_READ_LENGTH)
 *       the same array as TARN_FILLED's, but any int chooses the overload
 *       (so that a bad count gets this method's error, not the overload's).
 *   Tarn_DimensionError(obj)  the TypeError of a count that is no int
 *
 * Memory lent to an up-call (directorin)
 *   (const void *TARN_CALLBACK_BYTES, uint32_t TARN_CALLBACK_LENGTH)
 *       a one-dimensional uint8 array over the bytes, valid during the call
 *       only; no memory is an empty array, and a length without memory
 *       gives zeros rather than what memory held.
 *   (const void *TARN_ADDRESSED_BYTES, int64_t TARN_ADDRESS, int64_t TARN_ADDRESSED_LENGTH)
 *       the tuple (such an array, address).
 *
 * Views of an owner's memory, through the owner family's overloads
 * Tarn_PlanOf(plan, owner, data) (shape) and Tarn_MemoryOf(owner, data)
 * (a std::shared_ptr<void> share of the memory, empty when the owner has
 * none to share: the view's base is then the object that was asked):
 *   uint8_t *TARN_MEMORY_VIEW, const uint8_t *TARN_MEMORY_VIEW (out)
 *       the returned pointer as an array shaped by its owner; writeable
 *       also for the read-only form: the memory is the caller's to fill.
 *   TARN_DETACH_VIEW(Class)
 *       Class::Detach returns the detached memory as an array shaped and
 *       shared before the detach (afterwards the owner has no memory left
 *       to describe), which keeps an attached array alive for as long as the
 *       result lives. Needs Tarn_AttachedData(owner) (where the memory
 *       an owner would detach begins, or 0).
 *   TARN_SIZED_VIEW(TYPE, Class::Method, SIZE)
 *       a one-dimensional view of SIZE(same argument) bytes.
 *   SWIGTYPE *TARN_ARRAY_DOC, SWIGTYPE *TARN_BYTES_DOC (doctype)
 *       docstrings call such memory numpy.ndarray, or bytes.
 *   SWIGTYPE *TARN_KEEP_MEMORY (ret)
 *       a returned record that lies in an owner's memory keeps a share of
 *       that memory (Tarn_ShareOf(owner, pointer), an overload of the owner's
 *       family), so it never points at freed memory.
 */

/* NumPy's array interface, imported where a module's initialisation calls
 * this (between its groups of constants; see core/profile.i). */
%define TARN_IMPORT_NUMPY
%init %{
  import_array();
%}
%enddef

%fragment("Tarn_Arrays", "header", fragment="<memory>", fragment="<string>", fragment="Tarn_Lifetime") %{

SWIGINTERN PyObject *Tarn_ArrayView(void *data, int nd, npy_intp *dims, int typenum, PyObject *base)
{
  PyObject *array;
  if (!data) {
    /* Never hand out memory NumPy did not initialise. */
    npy_intp zero = 0;
    Py_XDECREF(base);
    return PyArray_ZEROS(1, &zero, typenum, 0);
  }
  array = PyArray_New(&PyArray_Type, nd, dims, typenum, NULL, data, 0, NPY_ARRAY_CARRAY, NULL);
  if (!array) {
    Py_XDECREF(base);
    return NULL;
  }
  /* Takes the reference to base, also when it fails. */
  if (base && PyArray_SetBaseObject((PyArrayObject *)array, base) < 0) {
    Py_DECREF(array);
    return NULL;
  }
  return array;
}

SWIGINTERN PyObject *Tarn_BytesView(void *data, uint64_t length, PyObject *base)
{
  if (length > (uint64_t)NPY_MAX_INTP) {
    Py_XDECREF(base);
    PyErr_SetString(PyExc_OverflowError, "payload length exceeds the address space");
    return NULL;
  }
  npy_intp dims[1] = {(npy_intp)length};
  return Tarn_ArrayView(data, 1, dims, NPY_UINT8, base);
}

/* Plain data, so that it may live in a wrapper across SWIG's error jumps. */
struct Tarn_ViewPlan {
  int nd;
  npy_intp dims[3];
  int typenum;
  PyObject *base; /* new reference, or NULL */
};

SWIGINTERN void Tarn_PlanBytes(Tarn_ViewPlan *plan, uint64_t length)
{
  plan->nd = 1;
  plan->dims[0] = length > (uint64_t)NPY_MAX_INTP ? NPY_MAX_INTP : (npy_intp)length;
  plan->typenum = NPY_UINT8;
}

SWIGINTERN PyObject *Tarn_PlanView(Tarn_ViewPlan *plan, void *data)
{
  PyObject *base = plan->base;
  plan->base = NULL;
  return Tarn_ArrayView(data, plan->nd, plan->dims, plan->typenum, base);
}

SWIGINTERN void Tarn_MemoryOwner_Release(PyObject *capsule)
{
  delete static_cast<std::shared_ptr<void> *>(PyCapsule_GetPointer(capsule, "tarn.memory"));
}

/* A capsule holding a share of the memory; NULL (no error) when there is
 * nothing to share. */
SWIGINTERN PyObject *Tarn_MemoryOwner(std::shared_ptr<void> owner)
{
  if (!owner)
    return NULL;
  std::shared_ptr<void> *held = new std::shared_ptr<void>(std::move(owner));
  PyObject *capsule = PyCapsule_New(held, "tarn.memory", Tarn_MemoryOwner_Release);
  if (!capsule) {
    delete held;
    PyErr_Clear();
  }
  return capsule;
}

/* The base of a view: a share of the SDK block, else the object that was
 * asked (the best the binding knows of). */
SWIGINTERN PyObject *Tarn_ViewBase(std::shared_ptr<void> block, PyObject *fallback)
{
  PyObject *base = Tarn_MemoryOwner(std::move(block));
  if (!base && fallback) {
    Py_INCREF(fallback);
    base = fallback;
  }
  return base;
}

/* Converts an attach argument into a C-contiguous, writeable uint8 array
 * (new reference) with one of the allowed numbers of dimensions. max_dim
 * bounds every dimension that goes to a length parameter; it is checked on
 * an array before any copy. Errors name the function and argument as SWIG does. */
SWIGINTERN PyArrayObject *Tarn_InputBytes(PyObject *obj, const int *allowed, int n_allowed, uint64_t max_dim,
                                          const char *symname, int len_argnum, const char *len_type)
{
  int nd = -1;
  PyArrayObject *array = NULL;
  if (PyArray_Check(obj)) {
    nd = PyArray_NDIM((PyArrayObject *)obj);
  } else {
    PyArray_Descr *descr = PyArray_DescrFromType(NPY_UINT8);
    array = (PyArrayObject *)PyArray_FromAny(obj, descr, 0, 0, NPY_ARRAY_CARRAY, NULL);
    if (!array)
      return NULL;
    nd = PyArray_NDIM(array);
  }
  int ok = 0;
  for (int i = 0; i < n_allowed; ++i)
    ok |= allowed[i] == nd;
  if (!ok) {
    if (n_allowed == 1) {
      PyErr_Format(PyExc_TypeError, "Array must have %d dimensions.  Given array has %d dimensions", allowed[0], nd);
    } else {
      std::string text;
      for (int i = 0; i < n_allowed - 1; ++i)
        text += std::to_string(allowed[i]) + ", ";
      text += " or " + std::to_string(allowed[n_allowed - 1]);
      PyErr_Format(PyExc_TypeError, "Array must have %s dimensions.  Given array has %d dimensions", text.c_str(), nd);
    }
    Py_XDECREF(array);
    return NULL;
  }
  PyArrayObject *shaped = array ? array : (PyArrayObject *)obj;
  /* The last of the first two dimensions goes to the first length parameter
   * (the length, or the width), the one before it to the next (the height);
   * a third dimension reaches no parameter. */
  int counted = nd < 2 ? nd : 2;
  for (int i = 0; i < counted; ++i) {
    if ((uint64_t)PyArray_DIM(shaped, i) > max_dim) {
      PyErr_Format(PyExc_OverflowError, "in method '%s', argument %d of type '%s'", symname, len_argnum + (counted - 1 - i), len_type);
      Py_XDECREF(array);
      return NULL;
    }
  }
  if (!array) {
    PyArray_Descr *descr = PyArray_DescrFromType(NPY_UINT8);
    array = (PyArrayObject *)PyArray_FromAny(obj, descr, 0, 0, NPY_ARRAY_CARRAY, NULL);
  }
  return array;
}

template <class T>
SWIGINTERN T *Tarn_Mutable(const T *object) { return const_cast<T *>(object); }

/* Ties result to a share of memory; returns result. */
SWIGINTERN PyObject *Tarn_KeepShare(PyObject *result, std::shared_ptr<void> share)
{
  PyObject *capsule = share ? Tarn_MemoryOwner(std::move(share)) : 0;
  if (capsule) {
    Tarn_KeepOwner(result, capsule);
    Py_DECREF(capsule);
  }
  return result;
}
%}

/* ---- Attached memory ----------------------------------------------------- */

%define %_tarn_attach_bytes(PAIR, LENTYPE, LENMAX)
%typemap(in, fragment="Tarn_Arrays") PAIR (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, LENMAX, "$symname", $argnum + 1, #LENTYPE);
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = ($2_ltype)PyArray_DIM(tarn_array, 0);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_POINTER, fragment="Tarn_Arrays") PAIR {
  $1 = PyArray_Check($input) || PySequence_Check($input);
}
%typemap(argout) PAIR {
  Tarn_KeepAttachment(arg1, $1, Tarn_HoldObject((PyObject *)tarn_array$argnum));
}
%typemap(freearg) PAIR {
  Py_XDECREF(tarn_array$argnum);
}
%enddef
%_tarn_attach_bytes((void *TARN_ATTACH, uint32_t TARN_ATTACH_LENGTH), uint32_t, UINT32_MAX)
%_tarn_attach_bytes((void *TARN_ATTACH, uint64_t TARN_ATTACH_LENGTH), uint64_t, UINT64_MAX)
%_tarn_attach_bytes((uint8_t *TARN_ATTACH_READONLY, uint32_t TARN_ATTACH_LENGTH), uint32_t, UINT32_MAX)
%typemap(in, fragment="Tarn_Arrays") (uint8_t *TARN_ATTACH_READONLY, uint32_t TARN_ATTACH_LENGTH) (PyArrayObject *tarn_array = NULL) {
  if (PyArray_Check($input) && PyArray_NDIM((PyArrayObject *)$input) == 1
      && PyArray_EquivTypenums(PyArray_TYPE((PyArrayObject *)$input), NPY_UINT8)
      && PyArray_IS_C_CONTIGUOUS((PyArrayObject *)$input)) {
    if ((uint64_t)PyArray_DIM((PyArrayObject *)$input, 0) > UINT32_MAX) {
      PyErr_Format(PyExc_OverflowError, "in method '%s', argument %d of type '%s'", "$symname", $argnum + 1, "uint32_t");
      SWIG_fail;
    }
    Py_INCREF($input);
    tarn_array = (PyArrayObject *)$input;
  } else {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, UINT32_MAX, "$symname", $argnum + 1, "uint32_t");
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = ($2_ltype)PyArray_DIM(tarn_array, 0);
}

%typemap(in, fragment="Tarn_Arrays") (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT) (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[2] = {2, 3};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 2, UINT32_MAX, "$symname", $argnum + 1, "uint32_t");
  }
  if (!tarn_array) {
    if (!PyErr_ExceptionMatches(PyExc_OverflowError)) {
      PyErr_Clear();
      PyErr_SetString(PyExc_TypeError, "in method '$symname', argument 1 of type array");
    }
    SWIG_fail;
  }
  $1 = PyArray_DATA(tarn_array);
  $2 = (uint32_t)PyArray_DIM(tarn_array, 1);
  $3 = (uint32_t)PyArray_DIM(tarn_array, 0);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_POINTER, fragment="Tarn_Arrays") (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT) {
  $1 = PyArray_Check($input) || PySequence_Check($input);
}
%typemap(check) (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT) {
  Tarn_LimitNextAttach(arg1, (uint64_t)PyArray_NBYTES(tarn_array$argnum));
}
%typemap(argout) (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT) {
  Tarn_KeepAttachment(arg1, $1, Tarn_HoldObject((PyObject *)tarn_array$argnum));
}
%typemap(freearg) (void *TARN_ATTACH_IMAGE, uint32_t TARN_ATTACH_WIDTH, uint32_t TARN_ATTACH_HEIGHT) {
  Py_XDECREF(tarn_array$argnum);
}

%typemap(in) (const uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH), (uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH) {
  if (!PyBytes_Check($input)) {
    SWIG_exception_fail(SWIG_TypeError, "in method '$symname', argument $argnum of type '$1_type'");
  }
  if ((uint64_t)PyBytes_Size($input) > UINT32_MAX) {
    SWIG_exception_fail(SWIG_OverflowError, "in method '$symname', argument $argnum of type 'uint32_t'");
  }
  $1 = ($1_ltype)PyBytes_AsString($input);
  $2 = (uint32_t)PyBytes_Size($input);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_CHAR_ARRAY) (const uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH),
                                                          (uint8_t *TARN_BYTES, uint32_t TARN_BYTES_LENGTH) {
  $1 = PyBytes_Check($input) ? 1 : 0;
}

/* Bytes read during the call, nothing kept. */
%define %_tarn_call_bytes(PAIR, LENTYPE, LENMAX, LENARG)
%typemap(in, fragment="Tarn_Arrays") PAIR (PyArrayObject *tarn_array = NULL) {
  {
    static const int tarn_nd[1] = {1};
    tarn_array = Tarn_InputBytes($input, tarn_nd, 1, LENMAX, "$symname", LENARG, #LENTYPE);
  }
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  $2 = ($2_ltype)PyArray_DIM(tarn_array, 0);
}
%typemap(freearg) PAIR {
  Py_XDECREF(tarn_array$argnum);
}
%enddef
%_tarn_call_bytes((const void *TARN_CALL_BYTES, uint32_t TARN_CALL_LENGTH), uint32_t, UINT32_MAX, $argnum + 1)
%_tarn_call_bytes((const uint8_t *TARN_CALL_BYTES, uint32_t TARN_CALL_LENGTH), uint32_t, UINT32_MAX, $argnum + 1)
%_tarn_call_bytes((const uint8_t *TARN_CALL_BYTES, int64_t TARN_CALL_COUNT), int, INT32_MAX, $argnum)

/* ---- Memory the SDK fills ------------------------------------------------ */

%fragment("Tarn_FilledBytes", "header", fragment="Tarn_Arrays", fragment="Tarn_DirectorFailure") %{
SWIGINTERN void Tarn_DimensionError(PyObject *obj)
{
  PyObject *name = PyObject_GetAttrString((PyObject *)Py_TYPE(obj), "__name__");
  std::string text = "Int dimension expected.  '" + Tarn_Utf8Of(name) + "' given.";
  if (!name) PyErr_Clear();
  Py_XDECREF(name);
  PyErr_SetString(PyExc_TypeError, text.c_str());
}

/* A new zero-filled uint8 array of count bytes (a Python int), or NULL
 * with the error set. */
SWIGINTERN PyObject *Tarn_ZeroedBytes(PyObject *count, const char *symname, int argnum)
{
  if (!PyLong_Check(count)) {
    Tarn_DimensionError(count);
    return NULL;
  }
  int overflow = 0;
  long long n = PyLong_AsLongLongAndOverflow(count, &overflow);
  if (overflow > 0 || n > INT32_MAX) {
    PyErr_Format(PyExc_OverflowError, "in method '%s', argument %d of type 'int'", symname, argnum);
    return NULL;
  }
  if (overflow < 0) n = -1;  /* negative: NumPy's own error */
  npy_intp dims[1] = {(npy_intp)n};
  return PyArray_ZEROS(1, dims, NPY_UINT8, 0);
}

%}

%define %_tarn_filled_bytes(PAIR, MAKE)
%typemap(in, noblock=1, fragment="Tarn_FilledBytes") PAIR (PyObject *tarn_array = NULL) {
  tarn_array = MAKE;
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA((PyArrayObject *)tarn_array);
  $2 = ($2_ltype)PyArray_DIM((PyArrayObject *)tarn_array, 0);
}
%typemap(argout, noblock=1, fragment="Tarn_Results") PAIR {
  $result = Tarn_AppendItem($result, tarn_array$argnum, 0, $isvoid);
  tarn_array$argnum = NULL;
  if (!$result) SWIG_fail;
}
%typemap(freearg, noblock=1) PAIR {
  Py_XDECREF(tarn_array$argnum);
}
%typemap(doctype) PAIR "int";
%enddef
%_tarn_filled_bytes((uint8_t *TARN_FILLED, int64_t TARN_FILLED_COUNT), Tarn_ZeroedBytes($input, "$symname", $argnum))
%_tarn_filled_bytes((uint8_t *TARN_FILLED, uint32_t TARN_FILLED_COUNT), Tarn_ZeroedBytes($input, "$symname", $argnum))
%_tarn_filled_bytes((uint8_t *TARN_READ_INTO, uint32_t TARN_READ_LENGTH), Tarn_ZeroedBytes($input, "$symname", $argnum))
%typemap(typecheck, precedence=SWIG_TYPECHECK_INTEGER) (uint8_t *TARN_READ_INTO, uint32_t TARN_READ_LENGTH) "$1 = 1;";

/* ---- Memory lent to an up-call ------------------------------------------- */

%fragment("Tarn_CallbackViews", "header", fragment="Tarn_Arrays") %{
SWIGINTERN PyObject *Tarn_CallbackBytes(const void *data, int64_t length)
{
  npy_intp dims[1] = {(npy_intp)(length < 0 ? 0 : length)};
  if (!data)
    return PyArray_ZEROS(1, dims, NPY_UINT8, 0);
  return PyArray_New(&PyArray_Type, 1, dims, NPY_UINT8, NULL, const_cast<void *>(data), 0, NPY_ARRAY_CARRAY, NULL);
}

SWIGINTERN PyObject *Tarn_AddressedBytes(const void *data, int64_t address, int64_t length)
{
  PyObject *pair = PyTuple_New(2);
  if (!pair) return NULL;
  PyObject *view = Tarn_CallbackBytes(data, length);
  PyObject *where = PyLong_FromLongLong((long long)address);
  if (!view || !where) {
    Py_XDECREF(view);
    Py_XDECREF(where);
    Py_DECREF(pair);
    return NULL;
  }
  PyTuple_SetItem(pair, 0, view);
  PyTuple_SetItem(pair, 1, where);
  return pair;
}

/* The tuple (data array, address) the up-call functions of such a callback
 * take back. */
SWIGINTERN PyArrayObject *Tarn_AddressedTuple(PyObject *obj, const char *symname, int64_t *address)
{
  if (!PyTuple_Check(obj)) {
    PyErr_Format(PyExc_TypeError, "Error: %s requires tuple argument", symname);
    return NULL;
  }
  if (PyTuple_Size(obj) < 2) {
    PyErr_Format(PyExc_TypeError, "Error: %s requires a tuple with two elements as an argument", symname);
    return NULL;
  }
  PyObject *where = PyTuple_GetItem(obj, 1);
  long long value = PyLong_Check(where) ? PyLong_AsLongLong(where) : -1;
  if (!PyLong_Check(where) || (value == -1 && PyErr_Occurred())) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "Error: %s requires an integer as the second tuple element", symname);
    return NULL;
  }
  *address = value;
  PyArray_Descr *descr = PyArray_DescrFromType(NPY_UINT8);
  PyArrayObject *array = (PyArrayObject *)PyArray_FromAny(PyTuple_GetItem(obj, 0), descr, 0, 0, NPY_ARRAY_CARRAY, NULL);
  if (!array) {
    PyErr_Clear();
    PyErr_Format(PyExc_TypeError, "Error: %s requires a numpy array as the first tuple element", symname);
  }
  return array;
}
%}

%typemap(directorin, fragment="Tarn_CallbackViews") (const void *TARN_CALLBACK_BYTES, uint32_t TARN_CALLBACK_LENGTH) {
  $input = Tarn_CallbackBytes($1, (int64_t)$2);
}
%typemap(directorin, fragment="Tarn_CallbackViews") (const void *TARN_ADDRESSED_BYTES, int64_t TARN_ADDRESS, int64_t TARN_ADDRESSED_LENGTH) {
  $input = Tarn_AddressedBytes($1, $2, $3);
}
%typemap(in, fragment="Tarn_CallbackViews") (const void *TARN_ADDRESSED_BYTES, int64_t TARN_ADDRESS, int64_t TARN_ADDRESSED_LENGTH) (PyArrayObject *tarn_array = NULL) {
  tarn_array = Tarn_AddressedTuple($input, "$symname", &$2);
  if (!tarn_array) SWIG_fail;
  $1 = ($1_ltype)PyArray_DATA(tarn_array);
  {
    npy_intp tarn_length = PyArray_NDIM(tarn_array) ? PyArray_DIM(tarn_array, 0) : PyArray_SIZE(tarn_array);
    $3 = (int64_t)(tarn_length > INT32_MAX ? INT32_MAX : tarn_length);
  }
}
%typemap(freearg) (const void *TARN_ADDRESSED_BYTES, int64_t TARN_ADDRESS, int64_t TARN_ADDRESSED_LENGTH) {
  Py_XDECREF(tarn_array$argnum);
}

/* ---- Views ------------------------------------------------------------------ */

%typemap(out, fragment="Tarn_Arrays") uint8_t *TARN_MEMORY_VIEW, const uint8_t *TARN_MEMORY_VIEW {
  {
    Tarn_ViewPlan tarn_plan;
    uint8_t *tarn_data = const_cast<uint8_t *>($1);
    Tarn_PlanOf(&tarn_plan, Tarn_Mutable(arg1), tarn_data);
    tarn_plan.base = tarn_data ? Tarn_ViewBase(Tarn_MemoryOf(Tarn_Mutable(arg1), tarn_data), swig_obj[0]) : 0;
    $result = Tarn_PlanView(&tarn_plan, tarn_data);
  }
  if (!$result) SWIG_fail;
}

%typemap(doctype) SWIGTYPE *TARN_ARRAY_DOC "numpy.ndarray";
%typemap(doctype) SWIGTYPE *TARN_BYTES_DOC "bytes";

%typemap(ret, fragment="Tarn_Arrays") SWIGTYPE *TARN_KEEP_MEMORY {
  Tarn_KeepShare($result, $1 ? Tarn_ShareOf(arg1, $1) : std::shared_ptr<void>());
}

/* Before a detach: the shape and a share of the memory, read while the
 * memory is still attached, so the result covers what was detached. */
%fragment("Tarn_DetachViews", "header", fragment="Tarn_Arrays") %{
template <class Owner>
SWIGINTERN void Tarn_PlanDetach(Tarn_ViewPlan *plan, Owner *owner)
{
  const void *data = Tarn_AttachedData(owner);
  Tarn_PlanOf(plan, owner, data);
  plan->base = data ? Tarn_ViewBase(Tarn_MemoryOf(owner, data), 0) : 0;
}
%}

%define TARN_DETACH_VIEW(CLASS)
%fragment("Tarn_DetachViews");
%exception CLASS::Detach {
  Tarn_ViewPlan tarn_plan;
  Tarn_PlanDetach(&tarn_plan, arg1);
  $action
  resultobj = Tarn_PlanView(&tarn_plan, result);
  if (!resultobj) SWIG_fail;
}
%typemap(out) uint8_t *CLASS::Detach ""
%enddef

%define TARN_SIZED_VIEW(TYPE, METHOD, SIZE)
%typemap(out, fragment="Tarn_Arrays") TYPE METHOD {
  {
    uint8_t *tarn_data = const_cast<uint8_t *>($1);
    $result = Tarn_BytesView(tarn_data, arg1->SIZE(arg2), tarn_data ? Tarn_ViewBase(Tarn_MemoryOf(arg1, tarn_data), swig_obj[0]) : 0);
  }
  if (!$result) SWIG_fail;
}
%enddef

/* Image shapes take the buffer library's pixel-type functions: kept apart so
 * that a module without that library (the device side) can use the rest. */
%fragment("Tarn_ImageViews", "header", fragment="Tarn_Arrays") %{
#include "ZuPixelTypeInfo.h"

/* Element type of a one-component pixel wider than 16 bits: the format's
 * name tells floats ("...32f") and signed values ("Data32s"). */
SWIGINTERN int Tarn_WideMonoType(ZuPixelType type, uint32_t bits)
{
  ZuString text = ZuPixelTypeToString(type);
  const char *name = text.GetAscii();
  size_t n = name ? strlen(name) : 0;
  char last = n ? name[n - 1] : '\0';
  if (bits == 32)
    return last == 'f' ? NPY_FLOAT32 : last == 's' ? NPY_INT32 : NPY_UINT32;
  return last == 'f' ? NPY_FLOAT64 : last == 's' ? NPY_INT64 : NPY_UINT64;
}

/* Shape of an image: rows = height + padding Y, columns = width + padding
 * X; one component per pixel gives two dimensions, several give a third.
 * Packed and unknown formats, and any shape that would reach past the
 * bytes behind the pointer, give a one-dimensional uint8 view instead. */
SWIGINTERN void Tarn_PlanImage(Tarn_ViewPlan *plan, ZuPixelType type, uint32_t width, uint32_t height,
                               uint16_t padding_x, uint16_t padding_y, uint64_t image_size, uint64_t available)
{
  uint32_t bits = ZuPixelTypeGetBitsPerPixel(type);
  uint32_t flags = (uint32_t)type & ZUPIXELCOLORMASK;
  uint64_t rows = (uint64_t)height + padding_y, columns = (uint64_t)width + padding_x;
  Tarn_PlanBytes(plan, image_size < available ? image_size : available);
  if (bits == 0 || bits % 8)
    return;
  if (flags & ZUPIXELMONO) {
    if (bits == 8) plan->typenum = NPY_UINT8;
    else if (bits == 16) plan->typenum = NPY_UINT16;
    else if (bits == 32 || bits == 64) plan->typenum = Tarn_WideMonoType(type, bits);
    else return;
    plan->nd = 2;
  } else if (flags & ZUPIXELCOLOR) {
    uint32_t element = (bits == 48 || bits == 64) ? 16 : 8;
    plan->typenum = element == 16 ? NPY_UINT16 : NPY_UINT8;
    plan->nd = 3;
    plan->dims[2] = bits / element;
  } else {
    return;
  }
  /* rows * columns * bytes <= available, without a product that overflows. */
  if (columns && rows > available / (bits / 8) / columns) {
    Tarn_PlanBytes(plan, image_size < available ? image_size : available);
    return;
  }
  plan->dims[0] = (npy_intp)rows;
  plan->dims[1] = (npy_intp)columns;
}
%}
