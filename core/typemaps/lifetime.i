/* Lifetimes: which Python object keeps which alive.
 *
 *   Tarn_KeepOwner(result, owner)
 *       a borrowed object (a typed view of a buffer, an interface of a
 *       system, a feature of a parameter array) keeps the proxy it came from
 *       alive, so that the SDK object it stands for outlives every use
 *       through the proxy. Only proxies with attributes can; one that
 *       keeps an owner already (a lent object found again) keeps that one.
 *       Returns result.
 *   Tarn_HoldObject(obj)
 *       a share of a Python object for the SDK: the last share to go drops
 *       the reference under the interpreter lock, from whichever thread that
 *       is (not at all once the interpreter finalises: the up-call gate of
 *       directors.i is closed then).
 *
 * Holds: what a native object uses of Python (its sinks, sources, selectors,
 * queued buffers, the items of a container) is held for that native object,
 * in the SDK's one table (tarn/Holds.h), whatever Python object stands for
 * it (a proxy or a bare pointer object of the raw modules), and let go when
 * it goes. Each hold has a slot (what kind of use) and a key within it.
 *
 *   Tarn_Owner(pointer)
 *       the native object's identity in the table: its most derived address,
 *       so that a hold made through one class is found through another.
 *   Tarn_Keep(holder, owner, slot, key, obj, replace[, used])
 *       owner holds obj (a share of it) under key in slot; with replace, what
 *       the key held before goes; None or NULL lets the key's holds go.
 *       With used (the native object obj stands for, which the SDK keeps
 *       using: a queued buffer), a Free or delete_ of it is deferred until
 *       the hold goes, by the rule for Free.
 *       holder is the Python object the owner was called through (0 for
 *       none): when it is a proxy that owns the native object, the
 *       collector sees the holds as its references (below).
 *   TARN_HOLDER(Class)
 *       deleting a Class lets go of everything it held, after the native
 *       object has gone (it no longer uses them).
 *   TARN_HOLDS_ITEMS(Class::Add, Class::Clear)
 *       Add holds its item (argument 2) for the called object; Clear lets
 *       them all go.
 *   TARN_HOLDS_ONE(Class::Set, Class::Reset)
 *       Set holds its argument 2 instead of the one it held; Reset lets it go.
 *   TARN_HOLDS_KEYED(Class::Set, SLOT)
 *       Set(key, item) holds its item (argument 3) under the integer key
 *       (argument 2), letting the one it replaces go; None lets it go.
 *   TARN_HOLDS_SINK(Class::Register, Class::Unregister, REGISTERED)
 *       the one form of every family's sinks and observers: a sink
 *       (argument 2) stays alive while it is registered. Register holds it
 *       for the called object when REGISTERED (an expression over the
 *       call's `result`, or true for a void one) holds; Unregister lets it
 *       go likewise; the object lets it go when it goes (TARN_HOLDER, or
 *       the SDK for objects it destroys itself). Let go from inside one of
 *       the sink's own calls, it goes once that call has returned.
 *
 * The collector: a native object that its proxy owns (a pipeline, a software
 * camera, a list Python made) holds what it was given for as long as it
 * lives, so a sink that keeps its pipeline closes a cycle through the
 * table, where the garbage collector cannot see it. Such a proxy carries
 * `_tarn_holds`, an object that shows the collector the table's holds of
 * its native object as its own references while the proxy owns it. Found
 * unreachable with them, it deletes the native object first (a finalizer:
 * the collector runs those before it breaks any reference), so that
 * nothing the object holds goes while it may still be called; deleting it
 * lets its holds go, and the rest is collected as usual. A bare pointer
 * object has no attributes: what it holds stays until it is deleted.
 *
 * Named patterns:
 *   SWIGTYPE *TARN_FREE (in)
 *       the argument of a static Free: freed by the rule for Free (below;
 *       objects.i applies it to every destructor), a freed object or None
 *       being nothing to free.
 *   SWIGTYPE *TARN_KEEP_OWNER (ret)
 *       the returned proxy keeps the proxy of the called object alive.
 *   SWIGTYPE *TARN_HELD (in)
 *       the argument's Python object is held in `tarn_keep<argnum>` (a
 *       std::shared_ptr<void>, empty for None) for the wrapped action to
 *       hand to the SDK.
 *   void *TARN_HELD (in, typecheck)
 *       the same for a context: a pointer object of any type.
 *
 * Lent objects: what the SDK lends (a getter's result or a director's
 * argument) and its owner destroys, independently of Python:
 *
 *   SWIGTYPE *TARN_LENT (out, directorin)
 *       one Python object per native object while the script keeps it. Its
 *       owner tells the binding before it goes (tarn::Lent, on the thread
 *       that destroys it): the object holds no address from then on, so a
 *       script that kept it (a proxy or its bare pointer object) gets the
 *       argument error of a freed object instead of reaching freed memory.
 *       Comes back as its most specific kind (TARN_DOWNCAST). Combines
 *       with TARN_KEEP_OWNER (a ret typemap) and with shares a proxy keeps:
 *       the binding keeps no proxy alive.
 *   SWIGTYPE *TARN_LENT_PART (out)
 *       the same for a part of the called object that lives as long as it
 *       does (a section of a container, a view of a section, an entry of
 *       an enumeration, a feature's node): it goes with whatever the
 *       called object goes with, so the SDK tells of the container alone.
 *   const SWIGTYPE **OUT_LENT_PART_LIST (outvalues.i)
 *       such a part as an out-value.
 *
 * Objects a wait hands back:
 *
 *   SWIGTYPE **TARN_RETRIEVED (in, argout)
 *       the object the SDK left in the out-pointer, or None, appended; the
 *       called object's hold of it since it was queued (TARN_SLOT_QUEUED)
 *       passes to the item, which does not own it. One deleted while
 *       queued (its deletion waited for the hold, Tarn_Keep) comes back as
 *       what was queued, refusing use.
 *   (SWIGTYPE **TARN_LENT_WAITED, uint32_t TARN_TIMEOUT, ZuResult *TARN_WAITED_RESULT) (in, argout)
 *       the timeout alone goes in; the lent object (TARN_LENT) or None and
 *       the operation's result are appended.
 *   SWIGTYPE **TARN_TIMEOUT_SHAPED (typecheck)
 *       an overload taking such an out-pointer is tried only for what could
 *       be a timeout: an int from 0 to 2**32-1.
 */

%fragment("Tarn_Lifetime", "header", fragment="<memory>") %{
#include <type_traits>
#include "tarn/Holds.h"
#include "tarn/UpCalls.h"
#include "tarn/Uses.h"
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
  /* A lent object's one proxy may come back through another route: the
   * first owner, which keeps it usable, stays. */
  PyObject *name = Tarn_AttributeName(&tarn_name, "_tarn_owner");
  PyObject *dict = name ? PyObject_GenericGetDict(result, 0) : 0;
  if (!dict || (!PyDict_GetItemWithError(dict, name) && (PyErr_Occurred() || PyDict_SetItem(dict, name, owner) < 0)))
    PyErr_Clear();
  Py_XDECREF(dict);
  return result;
}

SWIGINTERN void Tarn_ReleaseObject(void *held)
{
  /* Taking the interpreter lock while it finalises would end this thread
   * in the middle of SDK code: the reference is left then. */
  tarn::UpCalls::Scope tarn_gate;
  if (!tarn_gate || !Py_IsInitialized())
    return;
  PyGILState_STATE state = PyGILState_Ensure();
  Py_DECREF((PyObject *)held);
  PyGILState_Release(state);
}

SWIGINTERN std::shared_ptr<void> Tarn_HoldObject(PyObject *obj)
{
  Py_INCREF(obj);
  return std::shared_ptr<void>(obj, [](void *held) {
    /* Let go from inside an up-call (a sink that leaves, or whose object
     * goes, in its own call): once that call has returned, since the
     * director it runs in may be the object's. */
    if (tarn::UpCalls::Calling()) {
      try {
        tarn::UpCalls::ReleaseAfterCalls(std::shared_ptr<void>(held, Tarn_ReleaseObject));
        return;
      } catch (const std::bad_alloc &) {
      }
    }
    Tarn_ReleaseObject(held);
  });
}

/* The slots of the table (tarn/Holds.h): what a native object holds of Python. */
enum Tarn_Slot {
  TARN_SLOT_ITEMS = tarn::Holds::kItems,
  TARN_SLOT_SOURCES = tarn::Holds::kSources,
  TARN_SLOT_SINKS = tarn::Holds::kSinks,
  TARN_SLOT_NOTIFY = tarn::Holds::kNotify,
  TARN_SLOT_QUEUED = tarn::Holds::kQueued,
  TARN_SLOT_GIVEN = tarn::Holds::kGiven,
  TARN_SLOT_SELECTORS = tarn::Holds::kSelectors,
  TARN_SLOT_CALLBACKS = tarn::Holds::kCallbacks
};

/* A class a module only names (another module's, as an argument type) is
 * known by the address it is given as. */
template <typename T, typename = void> struct Tarn_Complete : std::false_type {};
template <typename T> struct Tarn_Complete<T, std::void_t<decltype(sizeof(T))>> : std::true_type {};
template <typename T> SWIGINTERN const void *Tarn_Owner(T *object)
{
  if constexpr (!Tarn_Complete<T>::value)
    return object;
  else if constexpr (std::is_polymorphic<T>::value)
    return object ? dynamic_cast<const void *>(object) : nullptr;
  else
    return object;
}

/* What the collector sees of the holds of a native object its proxy owns. */
struct Tarn_HoldsView {
  PyObject_HEAD
  PyObject *self;      /* the proxy's pointer object, held */
  const void *owner;   /* the native object, 0 once deleted here */
};

/* While the proxy owns the native object and nothing but the proxy and the
 * view holds its pointer object (a script that kept `proxy.this` keeps the
 * native object, and so its holds, beyond the proxy). */
SWIGINTERN bool Tarn_HoldsShown(Tarn_HoldsView *view)
{
  SwigPyObject *sobj = (SwigPyObject *)view->self;
  return view->owner && sobj && sobj->ptr && (sobj->own & SWIG_POINTER_OWN) && Py_REFCNT(view->self) <= 2;
}

SWIGINTERN int Tarn_HoldsView_traverse(PyObject *obj, visitproc visit, void *arg)
{
  Py_VISIT(Py_TYPE(obj));
  Tarn_HoldsView *view = (Tarn_HoldsView *)obj;
  if (!Tarn_HoldsShown(view)) return 0;
  struct Visiting {
    visitproc visit;
    void *arg;
    int result;
  } visiting = {visit, arg, 0};
  tarn::Holds::Visit(view->owner, [](void *held, void *context) {
    Visiting *v = (Visiting *)context;
    if (!v->result) v->result = v->visit((PyObject *)held, v->arg);
  }, &visiting);
  return visiting.result;
}

/* Collected: the native object goes as its proxy's pointer object would
 * delete it. */
SWIGINTERN void Tarn_HoldsView_finalize(PyObject *obj)
{
  Tarn_HoldsView *view = (Tarn_HoldsView *)obj;
  if (!Tarn_HoldsShown(view)) return;
  view->owner = 0;
  SwigPyObject *sobj = (SwigPyObject *)view->self;
  SwigPyClientData *data = sobj->ty ? (SwigPyClientData *)sobj->ty->clientdata : 0;
  if (!data || !data->destroy) return;
  PyObject *error_type, *error_value, *error_traceback;
  PyErr_Fetch(&error_type, &error_value, &error_traceback);
  PyObject *done = PyObject_CallFunctionObjArgs(data->destroy, view->self, NULL);
  if (!done) PyErr_WriteUnraisable(data->destroy);
  Py_XDECREF(done);
  PyErr_Restore(error_type, error_value, error_traceback);
}

SWIGINTERN int Tarn_HoldsView_clear(PyObject *obj)
{
  Py_CLEAR(((Tarn_HoldsView *)obj)->self);
  return 0;
}

/* Let go with its proxy, the last holder of the pointer object deletes the
 * native object as before. */
SWIGINTERN void Tarn_HoldsView_dealloc(PyObject *obj)
{
  PyTypeObject *type = Py_TYPE(obj);
  PyObject_GC_UnTrack(obj);
  Tarn_HoldsView_clear(obj);
  freefunc release = (freefunc)PyType_GetSlot(type, Py_tp_free);
  release(obj);
  Py_DECREF(type);
}

SWIGINTERN PyTypeObject *Tarn_HoldsViewType()
{
  static PyObject *type = 0;
  if (!type) {
    static PyType_Slot slots[] = {
      {Py_tp_traverse, (void *)Tarn_HoldsView_traverse},
      {Py_tp_clear, (void *)Tarn_HoldsView_clear},
      {Py_tp_finalize, (void *)Tarn_HoldsView_finalize},
      {Py_tp_dealloc, (void *)Tarn_HoldsView_dealloc},
      {0, 0}};
    static PyType_Spec spec = {"tarn.Holds", sizeof(Tarn_HoldsView), 0, Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC, slots};
    type = PyType_FromSpec(&spec);
  }
  return (PyTypeObject *)type;
}

/* Gives an owning proxy its view of the holds of owner, once. */
SWIGINTERN void Tarn_ShowHolds(PyObject *holder, const void *owner)
{
  static PyObject *tarn_name = 0;
  SwigPyObject *sobj = holder ? (SwigPyObject *)Tarn_SwigThis(holder) : 0;
  if (!sobj || (PyObject *)sobj == holder || !(sobj->own & SWIG_POINTER_OWN)) return;
  PyObject *name = Tarn_AttributeName(&tarn_name, "_tarn_holds");
  PyObject *dict = name ? PyObject_GenericGetDict(holder, 0) : 0;
  if (dict && !PyDict_GetItemWithError(dict, name) && !PyErr_Occurred()) {
    PyTypeObject *type = Tarn_HoldsViewType();
    Tarn_HoldsView *view = type ? (Tarn_HoldsView *)PyType_GenericAlloc(type, 0) : 0;
    if (view) {
      Py_INCREF((PyObject *)sobj);
      view->self = (PyObject *)sobj;
      view->owner = owner;
      PyDict_SetItem(dict, name, (PyObject *)view);
      Py_DECREF((PyObject *)view);
    }
  }
  Py_XDECREF(dict);
  PyErr_Clear();
}

SWIGINTERN void Tarn_Keep(PyObject *holder, const void *owner, int slot, const void *key, PyObject *obj, bool replace,
                          const void *used = 0)
{
  if (!owner) return;
  if (!obj || obj == Py_None) {
    tarn::Holds::Drop(owner, slot, key);
    return;
  }
  std::shared_ptr<void> held = Tarn_HoldObject(obj);
  if (used) {
    /* The native object goes no sooner than the hold (tarn/Uses.h): a
     * delete_ meanwhile waits for it. */
    tarn::Uses::Keep(used);
    held = std::shared_ptr<void>(held.get(), [held, used](void *) mutable {
      tarn::Uses::LetGo(used);
      held.reset();
    });
  }
  tarn::Holds::Keep(owner, slot, key, std::move(held), replace);
  Tarn_ShowHolds(holder, owner);
}
%}
%fragment("Tarn_Lifetime");

/* The lent objects of this module, by address and type. The table has a mutex
 * of its own, read by the thread that destroys an object; the interpreter
 * lock is taken only for an object that was lent. It holds the pointer
 * object (what a bare use of the raw module keeps, and what the proxy
 * calls through) and only a weak reference to the proxy: a proxy may keep
 * its owner's proxy, or a share of the object, alive (TARN_KEEP_OWNER), and
 * the table must not keep those alive in turn. An entry that nothing but
 * the table uses any more is dropped when the next one is made.
 *
 * Each entry names the object whose going ends it: the lent object itself,
 * or, for a part lent through another object (TARN_LENT_PART), whatever
 * ends that one; `parts` lists those parts under it, so that a part goes
 * with the container it was found through, however deep. */
%fragment("Tarn_Lent", "header", fragment="Tarn_Lifetime") %{
#include <map>
#include <mutex>
#include <vector>
#include "tarn/Uses.h"
struct Tarn_LentEntry {
  swig_type_info *type;
  PyObject *self;      /* the pointer object, held */
  PyObject *proxy;     /* a weak reference to its proxy, or 0 without one */
  const void *owner;   /* what ends it: its own address, or its container's */
};
struct Tarn_LentTable {
  std::mutex lock;
  std::multimap<const void *, Tarn_LentEntry> objects;
  std::multimap<const void *, const void *> parts;   /* owner -> address of a part */
};
SWIGINTERN Tarn_LentTable &Tarn_LentObjects()
{
  static Tarn_LentTable *table = new Tarn_LentTable;
  return *table;
}

/* With the interpreter lock and the table's held: the entry's object as a
 * new reference, or 0 once nothing but the table holds it. */
SWIGINTERN bool Tarn_LentBare(const Tarn_LentEntry &entry)
{
  return !entry.proxy && Py_TYPE(entry.self) == SwigPyObject_type();
}
SWIGINTERN PyObject *Tarn_LentInUse(const Tarn_LentEntry &entry)
{
  if (!entry.proxy) {
    if (Py_REFCNT(entry.self) == 1 && Tarn_LentBare(entry))
      return 0;
    Py_INCREF(entry.self);
    return entry.self;
  }
  PyObject *proxy = PyWeakref_GetObject(entry.proxy);
  if (proxy && proxy != Py_None) {
    Py_INCREF(proxy);
    return proxy;
  }
  return 0;
}

/* With the interpreter lock held: a pointer object lent before its class
 * had a proxy (the proxy module imported after the call) gets one now, over
 * the same pointer object, which the table then knows by it. Takes found;
 * a new reference. */
SWIGINTERN PyObject *Tarn_LentWithProxy(PyObject *found, const void *address, swig_type_info *type)
{
  SwigPyClientData *clientdata = (SwigPyClientData *)type->clientdata;
  if (!clientdata || Py_TYPE(found) != SwigPyObject_type()) return found;
  PyObject *proxy = SWIG_Python_NewShadowInstance(clientdata, found);
  PyObject *weak = proxy ? PyWeakref_NewRef(proxy, 0) : 0;
  if (!weak) {
    PyErr_Clear();
    Py_XDECREF(proxy);
    return found;
  }
  Tarn_LentTable &table = Tarn_LentObjects();
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto range = table.objects.equal_range(address);
    for (auto it = range.first; it != range.second && weak; ++it)
      if (it->second.self == found && !it->second.proxy) std::swap(it->second.proxy, weak);
  }
  Py_XDECREF(weak);
  Py_DECREF(found);
  return proxy;
}

/* Under the table's lock: what ends an object found through `through`. */
SWIGINTERN const void *Tarn_LentOwnerOf(Tarn_LentTable &table, const void *through)
{
  auto found = table.objects.find(through);
  return found == table.objects.end() ? through : found->second.owner;
}

/* Under the table's lock: forgets that a part was listed under its owner,
 * once no entry of that part remains. */
SWIGINTERN void Tarn_LentUnlist(Tarn_LentTable &table, const void *owner, const void *address)
{
  if (owner == address) return;
  auto range = table.objects.equal_range(address);
  for (auto it = range.first; it != range.second; ++it)
    if (it->second.owner == owner) return;
  auto listed = table.parts.equal_range(owner);
  for (auto it = listed.first; it != listed.second; ++it)
    if (it->second == address) {
      table.parts.erase(it);
      return;
    }
}

/* With the interpreter lock held: a new reference. `through`, when given, is
 * the object the lent one is a part of. */
SWIGINTERN PyObject *Tarn_LentObject(void *ptr, const void *address, swig_type_info *type, const void *through = 0)
{
  if (!ptr) return SWIG_Py_Void();
  Tarn_LentTable &table = Tarn_LentObjects();
  std::vector<PyObject *> unused;
  PyObject *found = 0;
  {
    std::lock_guard<std::mutex> guard(table.lock);
    auto range = table.objects.equal_range(address);
    for (auto it = range.first; it != range.second && !found;) {
      if (it->second.type == type && (found = Tarn_LentInUse(it->second))) break;
      if (Py_REFCNT(it->second.self) == 1 && (it->second.proxy || Tarn_LentBare(it->second))) {
        const void *owner = it->second.owner;
        unused.push_back(it->second.self);
        if (it->second.proxy) unused.push_back(it->second.proxy);
        it = table.objects.erase(it);
        Tarn_LentUnlist(table, owner, address);
      } else {
        ++it;
      }
    }
  }
  for (PyObject *obj : unused) Py_DECREF(obj);
  if (found) return Tarn_LentWithProxy(found, address, type);
  PyObject *obj = SWIG_NewPointerObj(ptr, type, 0);
  if (!obj) return 0;
  Tarn_LentEntry entry = {type, Tarn_SwigThis(obj), 0, address};
  if (!entry.self) {
    PyErr_Clear();
    return obj;
  }
  Py_INCREF(entry.self);
  if (entry.self != obj && !(entry.proxy = PyWeakref_NewRef(obj, 0))) {
    /* A proxy without weak references: the table holds it. */
    PyErr_Clear();
    Py_DECREF(entry.self);
    Py_INCREF(obj);
    entry.self = obj;
  }
  std::lock_guard<std::mutex> guard(table.lock);
  if (through) {
    entry.owner = Tarn_LentOwnerOf(table, through);
    bool listed = false;
    auto range = table.objects.equal_range(address);
    for (auto it = range.first; it != range.second && !listed; ++it) listed = it->second.owner == entry.owner;
    if (!listed && entry.owner != address) table.parts.emplace(entry.owner, address);
  }
  table.objects.emplace(address, entry);
  return obj;
}

/* The entries of an address, and of the parts lent as its, out of the
 * table; the address and those of its parts in `addresses` when given. */
SWIGINTERN std::vector<Tarn_LentEntry> Tarn_LentTake(const void *address, std::vector<const void *> *addresses = 0)
{
  std::vector<Tarn_LentEntry> gone;
  Tarn_LentTable &table = Tarn_LentObjects();
  std::lock_guard<std::mutex> guard(table.lock);
  auto take = [&](const void *at, const void *owner) {
    auto range = table.objects.equal_range(at);
    for (auto it = range.first; it != range.second;) {
      if (owner && it->second.owner != owner) {
        ++it;
        continue;
      }
      gone.push_back(it->second);
      it = table.objects.erase(it);
      if (!owner) Tarn_LentUnlist(table, gone.back().owner, at);
    }
  };
  take(address, 0);
  if (addresses) addresses->push_back(address);
  auto parts = table.parts.equal_range(address);
  for (auto it = parts.first; it != parts.second; ++it) {
    take(it->second, address);
    if (addresses) addresses->push_back(it->second);
  }
  table.parts.erase(parts.first, parts.second);
  return gone;
}

/* With the interpreter lock held: the objects stand for nothing any more. */
SWIGINTERN void Tarn_LentForget(const std::vector<Tarn_LentEntry> &gone)
{
  for (const Tarn_LentEntry &entry : gone) {
    if (SwigPyObject *sobj = (SwigPyObject *)Tarn_SwigThis(entry.self)) {
      sobj->ptr = 0;
      sobj->own = 0;
    }
    PyErr_Clear();
    Py_DECREF(entry.self);
    Py_XDECREF(entry.proxy);
  }
}

/* Its owner destroys the object (and its parts): what stands for them
 * refuses use from now on, and calls through it that other threads have in
 * progress end first (their waits are the owner's to end). */
SWIGINTERN void Tarn_LentGone(const void *address)
{
  std::vector<const void *> addresses;
  std::vector<Tarn_LentEntry> gone = Tarn_LentTake(address, &addresses);
  const auto used = [&addresses] {
    for (const void *at : addresses)
      if (tarn::Uses::InUse(at)) return true;
    return false;
  };
  if (gone.empty() && !used()) return;
  tarn::UpCalls::Scope gate;
  if (!gate || !Py_IsInitialized()) return;
  PyGILState_STATE state = PyGILState_Ensure();
  Tarn_LentForget(gone);
  /* Asked under the interpreter lock, which orders it against a call's
   * beginning (tarn/Uses.h). */
  if (used()) {
    /* Whether or not this thread held the lock before: the calls to end
     * may need it. */
    PyThreadState *tarn_save = PyEval_SaveThread();
    for (const void *at : addresses) tarn::Uses::Drain(at);
    PyEval_RestoreThread(tarn_save);
  }
  PyGILState_Release(state);
}
%}
%fragment("Tarn_Lent");
%init %{
  tarn::Lent::AddGoneHook(Tarn_LentGone);
%}

/* The rule for Free (tarn/Uses.h), for every class: a static Free and the
 * destructor of an owned object (delete_, the proxy's release) go through
 * Tarn_Free; every method enters its object while it runs (objects.i).
 * With the interpreter lock held, every Python object that stands for the
 * object (the one given, and the lent ones of this module) gives its
 * address up, so that a second Free finds nothing to do and any later call
 * through them is refused as a freed object's. Then, with the lock let go,
 * the waits of calls in progress on other threads end (tarn::EndWaits: a
 * stream closes, a device disconnects), and the object goes now when no
 * call is in progress on it, else once the last one ends: the wrapper
 * answers false and does nothing, and the module's own function
 * (`module.symname`) is called again then with a new pointer object, so
 * that the deletion runs whole, as if called then. */
%fragment("Tarn_Uses", "header", fragment="Tarn_Lent") %{
SWIGINTERN void Tarn_Forget(PyObject *obj, const void *owner)
{
  for (SwigPyObject *held = (SwigPyObject *)Tarn_SwigThis(obj); held; held = (SwigPyObject *)held->next) {
    held->ptr = 0;
    held->own = 0;
  }
  PyErr_Clear();
  Tarn_LentForget(Tarn_LentTake(owner));
}

/* Calls the module's function again on a new pointer object owning ptr. */
SWIGINTERN std::function<void()> Tarn_CallAgain(PyObject *module, const char *function, void *ptr, swig_type_info *type)
{
  std::shared_ptr<void> held = Tarn_HoldObject(module);
  return [held, function, ptr, type]() {
    PyGILState_STATE state = PyGILState_Ensure();
    PyObject *error_type, *error_value, *error_traceback;
    PyErr_Fetch(&error_type, &error_value, &error_traceback);
    PyObject *obj = SWIG_NewPointerObj(ptr, type, SWIG_POINTER_NEW);
    PyObject *done = obj ? PyObject_CallMethod((PyObject *)held.get(), function, "O", obj) : 0;
    if (!done) PyErr_WriteUnraisable((PyObject *)held.get());
    Py_XDECREF(done);
    Py_XDECREF(obj);
    PyErr_Restore(error_type, error_value, error_traceback);
    PyGILState_Release(state);
  };
}

/* True when the object may go now; false when the last call in progress
 * on it will free it (and the caller does nothing). */
template <typename T>
SWIGINTERN bool Tarn_Free(PyObject *module, const char *function, PyObject *obj, T *object, swig_type_info *type)
{
  const void *owner = Tarn_Owner(object);
  Tarn_Forget(obj, owner);
  if constexpr (!std::is_same<decltype(tarn::EndWaits(object)), tarn::NoWaits>::value) {
    PyThreadState *tarn_save = PyEval_SaveThread();
    tarn::EndWaits(object);
    PyEval_RestoreThread(tarn_save);
  }
  /* A call enters an object only through a Python object that stands for
   * it, all emptied above: one not deferred now never will be, and the
   * deletion to keep is made only for one that is. */
  if (!tarn::Uses::Deferring(owner)) return true;
  return !tarn::Uses::Defer(owner, Tarn_CallAgain(module, function, (void *)object, type));
}

/* One call on an object, entered while the interpreter lock is held. */
typedef tarn::Uses::Scope Tarn_Use;
/* What a call enters for an argument: an object of a class, not the
 * address of a plain value (an element of an array of bytes). */
template <typename T> SWIGINTERN const void *Tarn_Used(T *object)
{
  if constexpr (std::is_class<T>::value)
    return Tarn_Owner(object);
  else
    return nullptr;
}
%}
%typemap(out, noblock=1, fragment="Tarn_Downcast") SWIGTYPE *TARN_LENT {
  $result = Tarn_LentDowncast($1, $descriptor);
}
%typemap(directorin, noblock=1, fragment="Tarn_Downcast") SWIGTYPE *TARN_LENT {
  $input = Tarn_LentDowncast($1, $descriptor);
}
%typemap(out, noblock=1, fragment="Tarn_Downcast") SWIGTYPE *TARN_LENT_PART {
  $result = Tarn_LentDowncast($1, $descriptor, Tarn_Owner(arg1));
}

%typemap(in, noblock=1, fragment="Tarn_Uses") SWIGTYPE *TARN_FREE (void *argp = 0, int res = 0) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, TARN_POINTER_FREED | %convertptr_flags);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if ($1 && !Tarn_Free(self, "$symname", $input, $1, $descriptor)) $1 = 0;
}

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

%typemap(in) void *TARN_HELD (void *argp = 0, int res = 0, std::shared_ptr<void> tarn_keep) {
  res = SWIG_ConvertPtr($input, &argp, 0, 0);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = argp;
  if ($1) tarn_keep = Tarn_HoldObject($input);
}
%typemap(typecheck, precedence=SWIG_TYPECHECK_VOIDPTR) void *TARN_HELD {
  void *tarn_ptr = 0;
  $1 = SWIG_IsOK(SWIG_ConvertPtr($input, &tarn_ptr, 0, 0)) ? 1 : 0;
}

%define TARN_HOLDER(CLASS)
%exception CLASS::~CLASS {
  {
    const volatile uintptr_t tarn_owner = (uintptr_t)Tarn_Owner(arg1);
    $action
    if (tarn_owner) tarn::Holds::DropOwner((const void *)tarn_owner);
  }
}
%enddef

%define TARN_HOLDS_ITEMS(ADD, CLEAR)
%exception ADD {
  $action
  if (arg2) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_ITEMS, Tarn_Owner(arg2), swig_obj[1], false);
}
%exception CLEAR {
  $action
  tarn::Holds::DropSlot(Tarn_Owner(arg1), TARN_SLOT_ITEMS);
}
%enddef

%define TARN_HOLDS_ONE(SET, RESET)
%exception SET {
  $action
  tarn::Holds::DropSlot(Tarn_Owner(arg1), TARN_SLOT_ITEMS);
  Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_ITEMS, 0, swig_obj[1], true);
}
%exception RESET {
  $action
  tarn::Holds::DropSlot(Tarn_Owner(arg1), TARN_SLOT_ITEMS);
}
%enddef

%define TARN_HOLDS_SINK(REGISTER, UNREGISTER, REGISTERED)
%exception REGISTER {
  $action
  if ((REGISTERED) && arg2) Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), TARN_SLOT_SINKS, Tarn_Owner(arg2), swig_obj[1], true);
}
%exception UNREGISTER {
  $action
  if ((REGISTERED) && arg2) tarn::Holds::Drop(Tarn_Owner(arg1), TARN_SLOT_SINKS, Tarn_Owner(arg2));
}
%enddef

%define TARN_HOLDS_KEYED(SET, SLOT)
%exception SET {
  $action
  Tarn_Keep(swig_obj[0], Tarn_Owner(arg1), SLOT, (const void *)(intptr_t)arg2, swig_obj[2], true);
}
%enddef

/* ---- Objects a wait hands back ------------------------------------------- */

%fragment("Tarn_Timeouts", "header") %{
/* Whether obj is an int a uint32_t timeout takes (no error left set). */
SWIGINTERN int Tarn_IsTimeout(PyObject *obj)
{
  unsigned long long value = PyLong_Check(obj) ? PyLong_AsUnsignedLongLong(obj) : 0;
  int ok = PyLong_Check(obj) && !PyErr_Occurred() && value <= 0xFFFFFFFFULL;
  PyErr_Clear();
  return ok;
}

/* The timeout, or false with Python's error set. */
SWIGINTERN bool Tarn_AsTimeout(PyObject *obj, uint32_t *timeout)
{
  unsigned long value = PyLong_AsUnsignedLong(obj);
  *timeout = (uint32_t)value;
  return !PyErr_Occurred();
}
%}

%typemap(in, numinputs=0, noblock=1) SWIGTYPE **TARN_RETRIEVED ($*1_ltype tarn_buffer = 0) {
  $1 = &tarn_buffer;
}
%typemap(argout, noblock=1, fragment="Tarn_Results", fragment="Tarn_Lifetime") SWIGTYPE **TARN_RETRIEVED {
  {
    PyObject *tarn_item = Tarn_NewNone();
    if (*$1) {
      Py_DECREF(tarn_item);
      std::shared_ptr<void> tarn_queued = tarn::Holds::Take(Tarn_Owner(arg1), TARN_SLOT_QUEUED, *$1);
      PyObject *tarn_was = (PyObject *)tarn_queued.get();
      SwigPyObject *tarn_this = tarn_was ? (SwigPyObject *)Tarn_SwigThis(tarn_was) : 0;
      if (tarn_was && (!tarn_this || !tarn_this->ptr)) {
        PyErr_Clear();
        Py_INCREF(tarn_was);
        tarn_item = tarn_was;
      } else {
        tarn_item = SWIG_NewPointerObj(SWIG_as_voidptr(*$1), $*descriptor, 0);
        if (tarn_item && tarn_was) Tarn_KeepOwner(tarn_item, tarn_was);
      }
    }
    $result = Tarn_AppendItem($result, tarn_item, 0, $isvoid);
    if (!$result) SWIG_fail;
  }
}

%typemap(in, noblock=1, numinputs=1, fragment="Tarn_Timeouts") (SWIGTYPE **TARN_LENT_WAITED, uint32_t TARN_TIMEOUT, ZuResult *TARN_WAITED_RESULT)
  ($*1_ltype tarn_buffer = 0, ZuResult *tarn_operation = 0) {
  if (!Tarn_AsTimeout($input, &$2)) SWIG_fail;
  tarn_operation = new ZuResult();
  $1 = &tarn_buffer;
  $3 = tarn_operation;
}
%typemap(typecheck, noblock=1, precedence=SWIG_TYPECHECK_UINT32, fragment="Tarn_Timeouts") (SWIGTYPE **TARN_LENT_WAITED, uint32_t TARN_TIMEOUT, ZuResult *TARN_WAITED_RESULT) {
  $1 = Tarn_IsTimeout($input);
}
%typemap(argout, noblock=1, fragment="Tarn_Results", fragment="Tarn_Downcast") (SWIGTYPE **TARN_LENT_WAITED, uint32_t TARN_TIMEOUT, ZuResult *TARN_WAITED_RESULT) {
  {
    PyObject *tarn_item = *$1 ? Tarn_LentDowncast(*$1, $*1_descriptor) : Tarn_NewNone();
    $result = Tarn_AppendItem($result, tarn_item, 1, $isvoid);
    if ($result) $result = Tarn_AppendItem($result, SWIG_NewPointerObj(SWIG_as_voidptr($3), $3_descriptor, SWIG_POINTER_OWN), 1, $isvoid);
    tarn_operation$argnum = 0;
    if (!$result) SWIG_fail;
  }
}
%typemap(freearg, noblock=1) (SWIGTYPE **TARN_LENT_WAITED, uint32_t TARN_TIMEOUT, ZuResult *TARN_WAITED_RESULT) {
  delete tarn_operation$argnum;
}
%typemap(typecheck, noblock=1, precedence=1000, fragment="Tarn_Timeouts") SWIGTYPE **TARN_TIMEOUT_SHAPED {
  $1 = Tarn_IsTimeout($input);
}
