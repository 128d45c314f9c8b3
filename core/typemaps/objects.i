/* The object of a method, for every class of the three modules.
 *
 * None converts to a null pointer for ordinary pointer arguments, but a
 * method must never be called through a null object. Destructors are the
 * exception: deleting or disowning None, or an object freed already, does
 * nothing. A destructor given a proxy that does not own its object
 * (something borrowed from an SDK container) must not free SDK memory
 * either: it only clears the proxy's flag. One that does frees it by the
 * rule for Free (lifetime.i) and leaves the proxy holding no address, so
 * that a later use gets the argument error of a freed object. A method
 * enters its object for as long as it runs, so that no call in progress on
 * another thread loses its object.
 *
 *   TARN_OBJECT_TYPEMAP(TYPE, NULL_ALLOWED)
 *       the object typemap for TYPE; NULL_ALLOWED, an expression over the
 *       literal "$symname", says which functions take None as their object
 *       (and then do nothing with it). Given to SWIGTYPE here; a class whose
 *       setters also take None (a record) gives its own.
 *   TARN_RECORD(TYPE), TARN_RECORD_CLEAR(TYPE)
 *       a plain record whose setters also take None as their object (and
 *       then store nothing); its object typemap, and its removal.
 *   SWIGTYPE *TARN_NOT_NULL (check)
 *       a null pointer argument is refused with SWIG's invalid-null-reference
 *       text, for parameters that may not be None.
 *   SWIGTYPE &TARN_NULL_CHOSEN (typecheck)
 *       a reference of an overloaded function that None does not rule out
 *       while the form is chosen, so that None gets the invalid-null-reference
 *       text of its position rather than the overload text.
 *   SWIGTYPE TARN_FIRST_ELEMENT[1] (memberin)
 *       a trailing one-element array member is set by copying the element
 *       that an array getter gave (never None).
 *   TARN_NOT_ITERABLE(Class)
 *       a container whose indexing answers None for a miss instead of
 *       raising IndexError refuses iteration: the old sequence protocol would
 *       never end a for loop.
 *   Tarn_HasPrefix, Tarn_HasSuffix
 *       tests of a function's name, decided while compiling when given
 *       literals: no cost per call.
 */

%fragment("Tarn_HasPrefix", "header") %{
static constexpr bool Tarn_HasPrefix(const char *name, const char *prefix)
{
  return *prefix == '\0' || (*name == *prefix && Tarn_HasPrefix(name + 1, prefix + 1));
}
static constexpr size_t Tarn_Length(const char *text) { return *text ? 1 + Tarn_Length(text + 1) : 0; }
static constexpr bool Tarn_HasSuffix(const char *name, const char *suffix)
{
  return Tarn_Length(name) >= Tarn_Length(suffix) && Tarn_HasPrefix(name + Tarn_Length(name) - Tarn_Length(suffix), suffix);
}
%}
%fragment("Tarn_HasPrefix");

%define TARN_OBJECT_TYPEMAP(TYPE, NULL_ALLOWED)
%typemap(in, noblock=1, fragment="Tarn_Uses") TYPE *self (void *argp = 0, int res = 0, int tarn_owned = 0, Tarn_Use tarn_use) {
  if ($disown) {
    SwigPyObject *tarn_sobj = SWIG_Python_GetSwigThis($input);
    tarn_owned = tarn_sobj ? (tarn_sobj->own & SWIG_POINTER_OWN) : 0;
  }
  res = SWIG_ConvertPtr($input, &argp, $descriptor, $disown | ((NULL_ALLOWED) ? TARN_POINTER_FREED : 0) | %convertptr_flags |
                        (tarn_owned && Tarn_HasPrefix("$symname", "delete_") ? SWIG_POINTER_CLEAR : 0));
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  if (!$1) {
    if (!(NULL_ALLOWED)) {
      %argument_fail(SWIG_TypeError, "$type", $symname, $argnum);
    }
  } else if (Tarn_HasPrefix("$symname", "delete_")) {
    if (!tarn_owned || !Tarn_Free(self, "$symname", $input, $1, $descriptor)) $1 = 0;
  } else {
    tarn_use.Enter(Tarn_Owner($1));
  }
}
/* A freed object still chooses among overloads by its type, so that it
 * gets the chosen method's argument error. */
%typemap(typecheck, noblock=1, precedence=SWIG_TYPECHECK_POINTER) TYPE *self {
  {
    void *tarn_vptr = 0;
    $1 = SWIG_CheckState(SWIG_ConvertPtr($input, &tarn_vptr, $descriptor, TARN_POINTER_FREED));
  }
}
%enddef
TARN_OBJECT_TYPEMAP(SWIGTYPE, (Tarn_HasPrefix("$symname", "delete_") || Tarn_HasPrefix("$symname", "disown_")))

/* Every other pointer or reference argument of a class is entered for the
 * call as its object is: a Free or delete_ of it on another thread (a
 * buffer deleted while a stream queues it or a converter fills it) waits
 * for the call to return. SWIG's own conversions otherwise. */
%typemap(in, noblock=1, fragment="Tarn_Uses") SWIGTYPE * (void *argp = 0, int res = 0, Tarn_Use tarn_use) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, $disown | %convertptr_flags);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  tarn_use.Enter(Tarn_Used($1));
}
%typemap(in, noblock=1, fragment="Tarn_Uses") SWIGTYPE & (void *argp = 0, int res = 0, Tarn_Use tarn_use) {
  res = SWIG_ConvertPtr($input, &argp, $descriptor, %convertptr_flags);
  if (!SWIG_IsOK(res)) {
    %argument_fail(res, "$type", $symname, $argnum);
  }
  if (!argp) {
    %argument_nullref("$type", $symname, $argnum);
  }
  $1 = %reinterpret_cast(argp, $ltype);
  tarn_use.Enter(Tarn_Used($1));
}
%typemap(in, noblock=1, fragment="Tarn_Uses") const SWIGTYPE & = SWIGTYPE &;

%define TARN_RECORD(TYPE)
TARN_OBJECT_TYPEMAP(TYPE, (Tarn_HasPrefix("$symname", "delete_") || Tarn_HasSuffix("$symname", "_set")))
%enddef
%define TARN_RECORD_CLEAR(TYPE)
%clear TYPE *self;
%enddef

%typemap(check) SWIGTYPE *TARN_NOT_NULL {
  if (!$1) {
    %argument_nullref("$type", $symname, $argnum);
  }
}

%typemap(typecheck, noblock=1, precedence=SWIG_TYPECHECK_POINTER) SWIGTYPE &TARN_NULL_CHOSEN {
  {
    void *tarn_vptr = 0;
    $1 = $input == Py_None || SWIG_CheckState(SWIG_ConvertPtr($input, &tarn_vptr, $descriptor, 0));
  }
}

%define TARN_NOT_ITERABLE(CLASS)
%extend CLASS {
%pythoncode %{
    __iter__ = None
%}
}
%enddef

%typemap(memberin) SWIGTYPE TARN_FIRST_ELEMENT[1] {
  if ($input) {
    $1[0] = $input[0];
  } else {
    SWIG_exception_fail(SWIG_TypeError, "invalid null reference in variable '$name' of type '$type'");
  }
}
