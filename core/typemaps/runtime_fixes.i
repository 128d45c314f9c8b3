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
 *
 * The cost of a call, where the runtime spends more than it must:
 *
 * 6. Telling a pointer object from anything else (every proxy argument is
 *    asked, and the pointer object it holds) read the type's `__name__`
 *    through a new attribute-name string on every call, which also missed the
 *    interpreter's type-attribute cache: about the cost of a whole plain
 *    Python call. The answer is now remembered per type: a reference to each
 *    type asked about is kept, for at most 64 types; beyond that the name is
 *    read as before. SWIG's own check keeps its body under another name. Its
 *    definition and its calls read alike, so only the first token of the
 *    argument tells them apart: `PyObject` (the parameter's type) in the
 *    definition, a variable in a call. A call spelled any other way fails to
 *    compile, so no call can miss the remembered answer unnoticed.
 *    The name alone also took any class called SwigPyObject for one, and
 *    read its instances as pointer objects (a crash): a type of that name
 *    (another module's pointer type) must now also have the pointer object's
 *    instance size and its `acquire` method.
 *    Anything else was then asked for its attribute `this`, which for a
 *    number or a text (an overload tried with a number, say) raised and
 *    cleared an AttributeError: several plain calls' worth. A built-in type
 *    whose instances have no attributes of their own, no `this` and the
 *    generic look-up is remembered as having none, and the look-up skipped.
 *    SWIG's function that asks keeps its body under another name, renamed
 *    the same way.
 * 7. The attribute name `this` is interned, so that setting it on a new
 *    proxy does not look it up in the interpreter's table of interned names
 *    each time.
 * 8. A new proxy (every object a call returns) was made with a new empty
 *    tuple and dict as arguments, and its class was then marked as modified
 *    (PyType_Modified), which throws away the interpreter's cache of that
 *    class's attributes: every later look-up on the class, the proxy's own
 *    `this` and any method called through it, searched the class hierarchy
 *    again. Making an instance does not modify its class: the mark is gone,
 *    and the empty arguments are made once. The same renaming as in 6
 *    reaches SWIG's one call.
 *
 * Where the modules share a type record:
 *
 * 9. A value of a type that a module does not declare (the receiving
 *    module's device type, device class and access type) comes back as a
 *    handle: a pointer object owning a new copy, with no destructor, whose
 *    release prints the runtime's no-destructor line with the type's name.
 *    The records are shared by their mangled name, and a module that does
 *    declare the type as an enumeration names it "enum ZuDeviceType *", so
 *    the line depended on which module was imported first. A handle now
 *    carries its own module's record (`SWIGTYPE TARN_HANDLE`, out), which
 *    names it as that module declares it and converts as the shared one
 *    does: a cast list is matched by the mangled name.
 *
 * A director and its Python object:
 *
 * 10. A director keeps each Python method it looked up (SWIG's per-object
 *     method cache). It kept the bound method, which holds the Python object,
 *     which owns the director: a cycle no collector sees, so that an object
 *     whose method was ever called from the SDK (a sink, a source) was never
 *     freed. The cache now keeps the method's function and calls it with the
 *     object, which it borrows as the director itself does. The look-up is
 *     the runtime's one `PyObject_GetAttr(swig_get_self(), ...)`, redirected
 *     by the first token of its first argument as in 6; another spelling of
 *     a call fails to compile.
 *
 * A freed object:
 *
 * 12. An object freed through the binding (its pointer object holds no
 *     address any more: Free, delete_, or its owner gone, lifetime.i)
 *     converted as a null pointer, so that it passed for None wherever None
 *     is allowed (`ZuPipeline(freed_stream)`). It is now refused with the
 *     argument's TypeError; only a conversion with TARN_POINTER_FREED (the
 *     object of a destructor or `disown_`, the argument of a static Free)
 *     takes it for nothing to do. Every conversion the wrappers make goes
 *     through SWIG's two conversion macros, redefined below the runtime.
 * 13. A director made through the raw module's `new_<Class>` with an object
 *     other than the proxy being built borrowed that object, as it borrows
 *     its proxy (which owns it in turn): once the caller let go of it, each
 *     up-call reached freed memory. Such a director now holds its object,
 *     as a disowned one does, and lets go of it when it is deleted.
 *
 * Warnings:
 *
 * 11. The runtime's own types (the pointer object, the packed object, the
 *     variable link) have names without a module, so creating one warns
 *     (DeprecationWarning). Under `-W error` that warning is an error, the
 *     creation fails and the runtime goes on with no type: a crash at the
 *     first pointer object, or at exit, where the variable link was made
 *     for the first time. Every type is now made with that one warning
 *     ignored, and the variable link is made at import (see %init), so that
 *     nothing is created while the interpreter finalises.
 *
 * The shared type table:
 *
 * 12. An owned pointer object holds the shared type table's capsule, so that
 *     the table, and the destructors its records name, outlive every object
 *     that needs them. Only the module that made the capsule knew it: one
 *     imported after it made owned objects that held nothing, and those
 *     still alive when the capsule went (kept by a script's globals while a
 *     function of the script still held them) printed the runtime's
 *     no-destructor line for a result at exit and leaked it. Every module
 *     now holds the shared capsule in its objects, and forgets it when it
 *     goes (its destructor is chained).
 */
%begin %{
/* Fix 11: the interpreter's headers first, so that the runtime's calls of
 * PyType_FromSpec below them reach the version that sets the warning aside. */
#if !defined(PY_SSIZE_T_CLEAN)
#define PY_SSIZE_T_CLEAN
#endif
#include <Python.h>
static PyObject *Tarn_TypeFromSpec(PyType_Spec *spec);
#define PyType_FromSpec(spec) Tarn_TypeFromSpec(spec)
struct _object;
#define PyObject_GetAttr(o, n) TARN_GETATTR_##o, n)
#define TARN_GETATTR_PyObject PyObject_GetAttr(PyObject
#define TARN_GETATTR_pyobj PyObject_GetAttr(pyobj
#define TARN_GETATTR_swig_get_self Tarn_DirectorMethod(swig_get_self
static struct _object *Tarn_DirectorMethod(struct _object *self, struct _object *name);
#define SwigPyObject_richcompare(v, w, op) SwigPyObject_richcompare_unchecked(v, w, op)
static struct _object *(SwigPyObject_richcompare)(struct _object *v, struct _object *w, int op);

#define SwigPyObject_Check(op) TARN_POINTER_CHECK_##op)
#define TARN_POINTER_CHECK_PyObject Tarn_PointerCheckByName(PyObject
#define TARN_POINTER_CHECK_pyobj Tarn_IsPointerObject(pyobj
#define TARN_POINTER_CHECK_obj Tarn_IsPointerObject(obj
#define TARN_POINTER_CHECK_next Tarn_IsPointerObject(next
static int Tarn_IsPointerObject(struct _object *op);

#define SWIG_Python_GetSwigThis(pyobj) TARN_SWIG_THIS_##pyobj)
#define TARN_SWIG_THIS_PyObject Tarn_SwigThisByAttribute(PyObject
#define TARN_SWIG_THIS_obj (SwigPyObject *)Tarn_SwigThis(obj
#define TARN_SWIG_THIS_wobj (SwigPyObject *)Tarn_SwigThis(wobj
#define TARN_SWIG_THIS_impconv (SwigPyObject *)Tarn_SwigThis(impconv
#define TARN_SWIG_THIS_swig_obj (SwigPyObject *)Tarn_SwigThis(swig_obj
static struct _object *Tarn_SwigThis(struct _object *op);

#define SWIG_Python_NewShadowInstance(data, swig_this) TARN_SHADOW_##data, swig_this)
#define TARN_SHADOW_SwigPyClientData Tarn_NewShadowInstanceByCall(SwigPyClientData
#define TARN_SHADOW_clientdata Tarn_NewShadowInstance(clientdata
static struct _object *Tarn_NewShadowInstance(void *data, struct _object *swig_this);
%}

%header %{
/* Fix 12. */
#define TARN_POINTER_FREED 0x100
SWIGINTERN int Tarn_ConvertPtrAndOwn(PyObject *obj, void **ptr, swig_type_info *ty, int flags, int *own)
{
  void *found = 0;
  int res = SWIG_Python_ConvertPtrAndOwn(obj, &found, ty, flags & ~TARN_POINTER_FREED, own);
  if (ptr) *ptr = found;
  if (SWIG_IsOK(res) && !found && obj != Py_None && !(flags & TARN_POINTER_FREED)) return SWIG_ERROR;
  return res;
}
#undef SWIG_Python_ConvertPtr
#define SWIG_Python_ConvertPtr(obj, pptr, type, flags) Tarn_ConvertPtrAndOwn(obj, pptr, type, flags, 0)
#undef SWIG_ConvertPtrAndOwn
#define SWIG_ConvertPtrAndOwn(obj, pptr, type, flags, own) Tarn_ConvertPtrAndOwn(obj, pptr, type, flags, own)

/* Fix 11. A type made with the module-less-name warning ignored; should
 * the warnings module not answer (the interpreter going), as before. */
static PyObject *Tarn_TypeFromSpec(PyType_Spec *spec)
{
  PyObject *warnings = PyImport_ImportModule("warnings");
  PyObject *context = warnings ? PyObject_CallMethod(warnings, "catch_warnings", NULL) : NULL;
  PyObject *entered = context ? PyObject_CallMethod(context, "__enter__", NULL) : NULL;
  PyObject *ignored = entered ? PyObject_CallMethod(warnings, "simplefilter", "sO", "ignore",
                                                     PyExc_DeprecationWarning) : NULL;
  Py_XDECREF(ignored);
  Py_XDECREF(entered);
  PyErr_Clear();
  PyObject *type = (PyType_FromSpec)(spec);
  if (context) {
    PyObject *error_type, *error_value, *error_traceback;
    PyErr_Fetch(&error_type, &error_value, &error_traceback);
    PyObject *left = PyObject_CallMethod(context, "__exit__", "OOO", Py_None, Py_None, Py_None);
    Py_XDECREF(left);
    PyErr_Clear();
    PyErr_Restore(error_type, error_value, error_traceback);
  }
  Py_XDECREF(context);
  Py_XDECREF(warnings);
  return type;
}

/* Fix 9. A method as the director's cache keeps it: the function and the
 * object it is called with, which the cache borrows. */
typedef struct {
  PyObject_HEAD
  PyObject *function;
  PyObject *self;
} Tarn_CachedMethod;

static PyObject *Tarn_CachedMethod_call(PyObject *method, PyObject *args, PyObject *kwargs)
{
  Tarn_CachedMethod *m = (Tarn_CachedMethod *)method;
  Py_ssize_t count = PyTuple_Size(args);
  PyObject *full = PyTuple_New(count + 1);
  if (!full) return NULL;
  Py_INCREF(m->self);
  PyTuple_SetItem(full, 0, m->self);
  for (Py_ssize_t i = 0; i < count; ++i) {
    PyObject *item = PyTuple_GetItem(args, i);
    Py_INCREF(item);
    PyTuple_SetItem(full, i + 1, item);
  }
  PyObject *result = PyObject_Call(m->function, full, kwargs);
  Py_DECREF(full);
  return result;
}

static void Tarn_CachedMethod_dealloc(PyObject *method)
{
  PyTypeObject *type = Py_TYPE(method);
  Py_XDECREF(((Tarn_CachedMethod *)method)->function);
  freefunc release = (freefunc)PyType_GetSlot(type, Py_tp_free);
  release(method);
  Py_DECREF(type);
}

static PyObject *Tarn_CachedMethodType(void)
{
  static PyObject *type = 0;
  if (!type) {
    static PyType_Slot slots[] = {
      {Py_tp_call, (void *)Tarn_CachedMethod_call},
      {Py_tp_dealloc, (void *)Tarn_CachedMethod_dealloc},
      {0, 0}};
    static PyType_Spec spec = {"tarn.CachedMethod", sizeof(Tarn_CachedMethod), 0, Py_TPFLAGS_DEFAULT, slots};
    type = PyType_FromSpec(&spec);
  }
  return type;
}

SWIGUNUSED static PyObject *Tarn_DirectorMethod(PyObject *self, PyObject *name)
{
  PyObject *found = (PyObject_GetAttr)(self, name);
  if (!found) return NULL;
  /* A method bound to the object itself: keep its function only. */
  PyObject *bound = PyObject_GetAttrString(found, "__self__");
  PyObject *function = bound == self ? PyObject_GetAttrString(found, "__func__") : NULL;
  Py_XDECREF(bound);
  PyObject *type = function ? Tarn_CachedMethodType() : NULL;
  PyErr_Clear();
  if (!type) {
    Py_XDECREF(function);
    return found;
  }
  Tarn_CachedMethod *method = (Tarn_CachedMethod *)PyType_GenericAlloc((PyTypeObject *)type, 0);
  if (!method) {
    PyErr_Clear();
    Py_DECREF(function);
    return found;
  }
  method->function = function;
  method->self = self;
  Py_DECREF(found);
  return (PyObject *)method;
}

#include <cstring>
#include <type_traits>

/* Fix 6. A type of SWIG's pointer type's name is one of another module when its
 * instances have the pointer object's size and it has its methods. */
SWIGINTERN int Tarn_IsPointerType(PyTypeObject *type)
{
  PyObject *error_type, *error_value, *error_traceback;
  PyErr_Fetch(&error_type, &error_value, &error_traceback);
  int answer = 0;
  PyObject *size = PyObject_GetAttrString((PyObject *)type, "__basicsize__");
  if (size && PyLong_Check(size) && PyLong_AsSsize_t(size) == (Py_ssize_t)sizeof(SwigPyObject))
    answer = PyObject_HasAttrString((PyObject *)type, "acquire");
  Py_XDECREF(size);
  PyErr_Clear();
  PyErr_Restore(error_type, error_value, error_traceback);
  return answer;
}

/* Fix 6. A built-in type whose instances cannot have a `this`. */
SWIGINTERN int Tarn_HasNoThis(PyTypeObject *type)
{
  if (PyType_GetFlags(type) & Py_TPFLAGS_HEAPTYPE)
    return 0;
  if ((getattrofunc)PyType_GetSlot(type, Py_tp_getattro) != PyObject_GenericGetAttr)
    return 0;
  PyObject *error_type, *error_value, *error_traceback;
  PyErr_Fetch(&error_type, &error_value, &error_traceback);
  int answer = 0;
  PyObject *offset = PyObject_GetAttrString((PyObject *)type, "__dictoffset__");
  if (offset && PyLong_Check(offset) && PyLong_AsSsize_t(offset) == 0)
    answer = !PyObject_HasAttr((PyObject *)type, SWIG_This());
  Py_XDECREF(offset);
  PyErr_Clear();
  PyErr_Restore(error_type, error_value, error_traceback);
  return answer;
}

/* Fix 6: what is known of an object's type: 1 a pointer type, 0 another
 * type, 2 another type whose instances have no `this`. */
SWIGINTERN int Tarn_KindOfType(PyObject *op)
{
  enum { tarn_slots = 64 };
  static struct {
    PyTypeObject *type;
    int kind;
  } tarn_known[tarn_slots];
  PyTypeObject *type = Py_TYPE(op);
  if (type == SwigPyObject_type())
    return 1;
  size_t start = ((uintptr_t)type >> 4) % tarn_slots;
  for (size_t probe = 0; probe < tarn_slots; ++probe) {
    size_t slot = (start + probe) % tarn_slots;
    if (tarn_known[slot].type == type)
      return tarn_known[slot].kind;
    if (!tarn_known[slot].type) {
      int kind = Tarn_PointerCheckByName(op) && Tarn_IsPointerType(type) ? 1 : Tarn_HasNoThis(type) ? 2 : 0;
      if (!PyErr_Occurred()) {
        Py_INCREF((PyObject *)type);
        tarn_known[slot].type = type;
        tarn_known[slot].kind = kind;
      }
      return kind;
    }
  }
  return Tarn_PointerCheckByName(op) && Tarn_IsPointerType(type);
}

SWIGINTERN int Tarn_IsPointerObject(PyObject *op) { return Tarn_KindOfType(op) == 1; }

SWIGINTERN PyObject *Tarn_SwigThis(PyObject *op)
{
  switch (Tarn_KindOfType(op)) {
    case 1: return op;
    case 2: return 0;
    default: return (PyObject *)Tarn_SwigThisByAttribute(op);
  }
}

/* Fix 8. */
SWIGINTERN PyObject *Tarn_NewShadowInstance(void *opaque, PyObject *swig_this)
{
  SwigPyClientData *data = (SwigPyClientData *)opaque;
  static PyObject *tarn_no_args = PyTuple_New(0);
  if (data->newraw || !tarn_no_args || !data->newargs || !PyType_Check(data->newargs))
    return Tarn_NewShadowInstanceByCall(data, swig_this);
  PyTypeObject *klass = (PyTypeObject *)data->newargs;
  newfunc make = (newfunc)PyType_GetSlot(klass, Py_tp_new);
  PyObject *inst = make ? make(klass, tarn_no_args, NULL) : NULL;
  if (inst && PyObject_SetAttr(inst, SWIG_This(), swig_this) == -1) {
    Py_DECREF(inst);
    inst = NULL;
  }
  return inst;
}

static PyObject *(SwigPyObject_richcompare)(PyObject *v, PyObject *w, int op)
{
  if (!Tarn_IsPointerObject(w)) {
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

/* Fix 12. */
static PyCapsule_Destructor tarn_capsule_destructor = 0;
static void Tarn_CapsuleGone(PyObject *capsule)
{
  Swig_Capsule_global = NULL;
  if (tarn_capsule_destructor) tarn_capsule_destructor(capsule);
}

template <typename T> static void Tarn_DisownDirector(T *object)
{
#ifdef SWIG_DIRECTORS
  if constexpr (std::is_polymorphic<T>::value) {
    if (Swig::Director *director = dynamic_cast<Swig::Director *>(object))
      director->swig_disown();
  }
#else
  (void)object;
#endif
}
%}

/* Fix 9. The module's own records, parallel to the shared ones in use. */
%fragment("Tarn_OwnType", "header") %{
static swig_type_info **tarn_initial_types = 0;
SWIGINTERN swig_type_info *Tarn_OwnType(swig_type_info *shared)
{
  for (size_t i = 0; tarn_initial_types && i < swig_module.size; ++i)
    if (swig_types[i] == shared)
      return tarn_initial_types[i];
  return shared;
}
%}
%fragment("Tarn_OwnType");
%typemap(out, fragment="Tarn_OwnType") SWIGTYPE TARN_HANDLE {
  $result = SWIG_NewPointerObj(new $1_ltype($1), Tarn_OwnType($&1_descriptor), SWIG_POINTER_OWN);
}

%typemap(check, noblock=1, fragment="Tarn_HasPrefix") SWIGTYPE *self {
  if (Tarn_HasPrefix("$symname", "disown_")) {
    Tarn_DisownDirector($1);
    $1 = 0;
  }
}

/* Fix 13: a proxy is built by its class's __init__ (SWIG's, reached through
 * a subclass's), which calls new_ with itself before it has a pointer
 * object: the caller's frame is an __init__ whose self is the object. */
%fragment("Tarn_BorrowedSelf", "header") %{
SWIGINTERN bool Tarn_ProxyBeingBuilt(PyObject *self)
{
  PyObject *frame = (PyObject *)PyEval_GetFrame();
  if (!frame || Tarn_SwigThis(self)) {
    PyErr_Clear();
    return false;
  }
  bool built = false;
  PyObject *code = PyObject_GetAttrString(frame, "f_code");
  PyObject *name = code ? PyObject_GetAttrString(code, "co_name") : 0;
  if (name && PyUnicode_Check(name) && PyUnicode_CompareWithASCIIString(name, "__init__") == 0) {
    PyObject *locals = PyObject_GetAttrString(frame, "f_locals");
    PyObject *first = locals ? PyMapping_GetItemString(locals, "self") : 0;
    built = first == self;
    Py_XDECREF(first);
    Py_XDECREF(locals);
  }
  Py_XDECREF(name);
  Py_XDECREF(code);
  PyErr_Clear();
  return built;
}
%}
%typemap(argout, noblock=1, fragment="Tarn_HasPrefix", fragment="Tarn_BorrowedSelf") PyObject *self {
  if (Tarn_HasPrefix("$symname", "new_") && result && $1 != Py_None && !Tarn_ProxyBeingBuilt($1))
    Tarn_DisownDirector(result);
}

%init %{
  /* Fix 9: the module's own records, once the shared ones are chosen. */
  tarn_initial_types = swig_type_initial;
  /* Fix 7. */
  PyUnicode_InternInPlace(&Swig_This_global);
  /* Fix 12: the capsule another module made. */
  if (!Swig_Capsule_global) {
    PyObject *tarn_runtime = PyImport_AddModule("swig_runtime_data" SWIG_RUNTIME_VERSION);
    PyObject *tarn_capsule = tarn_runtime ? PyObject_GetAttrString(tarn_runtime, SWIGPY_CAPSULE_ATTR_NAME) : 0;
    if (tarn_capsule && PyCapsule_IsValid(tarn_capsule, SWIGPY_CAPSULE_NAME)) {
      tarn_capsule_destructor = PyCapsule_GetDestructor(tarn_capsule);
      if (PyCapsule_SetDestructor(tarn_capsule, Tarn_CapsuleGone) == 0)
        Swig_Capsule_global = tarn_capsule;
    }
    /* Held by the runtime's module, as the capsule of the module that made it. */
    Py_XDECREF(tarn_capsule);
    PyErr_Clear();
  }
  /* Fix 11: the variable link now, not while the interpreter finalises. */
  (void)SWIG_globals();
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
