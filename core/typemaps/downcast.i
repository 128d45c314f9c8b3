/* Downcasting: an object handed out as its base class comes back as its
 * most specific kind.
 *
 *   TARN_DOWNCAST(Base, Kind1, Kind2, ...)
 *       returned `Base *` and `const Base *` become proxies of the first kind
 *       in the list that the object is (so list a derived kind before its
 *       base), else of Base. A borrowed object keeps the proxy of the called
 *       object alive (Tarn_KeepOwner); an owned one (%newobject) does not
 *       need to.
 *   Tarn_NewDowncast(object, declared type, own)
 *       the same conversion for other typemaps (out-values); for a class
 *       without a list, a proxy of the declared type.
 *   Tarn_LentDowncast(object, declared type[, container])
 *       the same for a lent object (TARN_LENT, lifetime.i), or for a part
 *       lent through its container (TARN_LENT_PART).
 */

%fragment("Tarn_Downcast", "header", fragment="Tarn_Lent") %{
/* A class without a list of kinds has no kind to go down to. */
template <class T> SWIGINTERN swig_type_info *Tarn_DowncastOf(const T *, void **) { return 0; }

template <class T> SWIGINTERN PyObject *Tarn_NewDowncast(const T *object, swig_type_info *declared, int own)
{
  void *ptr = const_cast<T *>(object);
  swig_type_info *kind = object ? Tarn_DowncastOf(object, &ptr) : 0;
  return SWIG_NewPointerObj(ptr, kind ? kind : declared, own);
}

template <class T>
SWIGINTERN PyObject *Tarn_LentDowncast(const T *object, swig_type_info *declared, const void *through = 0)
{
  void *ptr = const_cast<T *>(object);
  swig_type_info *kind = object ? Tarn_DowncastOf(object, &ptr) : 0;
  return Tarn_LentObject(ptr, Tarn_Owner(object), kind ? kind : declared, through);
}
%}

%define %_tarn_downcast_rung(KIND)
  if (const KIND *tarn_kind = dynamic_cast<const KIND *>(object)) {
    *ptr = const_cast<KIND *>(tarn_kind);
    return SWIGTYPE_p_##KIND;
  }
%enddef

%define TARN_DOWNCAST(BASE, KINDS...)
%fragment("Tarn_Downcast_" #BASE, "header", fragment="Tarn_Downcast") {
SWIGINTERN swig_type_info *Tarn_DowncastOf(const BASE *object, void **ptr)
{
  %formacro(%_tarn_downcast_rung, KINDS)
  return 0;
}
}
/* Emitted whether or not a plain return uses it: lent ones do. */
%fragment("Tarn_Downcast_" #BASE);
%typemap(out, fragment="Tarn_Downcast_" #BASE) BASE *, const BASE * {
  $result = Tarn_NewDowncast($1, $descriptor, $owner);
  if (!$owner) Tarn_KeepOwner($result, swig_obj[0]);
}
%enddef
