/* Buffers that a Python channel source hands to the device.
 *
 * A ZuBuffer proxy that AllocBuffer returns gives its buffer up: the proxy
 * no longer owns it, and the director records that Python did (SWIG's
 * ownership record, guarded by its mutex). Unlike SWIG's record alone, the
 * proxy itself is kept too, so that the buffer is neither leaked nor freed
 * under a script that still holds the proxy: when the device frees the
 * buffer (FreeBuffer), the proxy owns it again and is let go; when a module
 * function takes the record over (the AllocBuffer function returns an
 * owning proxy), the kept proxy is let go as it is.
 *
 *   ZuBuffer *TARN_BUFFER_GIVEN (directorout)   AllocBuffer's result
 *   ZuBuffer *TARN_BUFFER_TAKEN (out)           the module function's result
 *   ZuBuffer *TARN_BUFFER_FREED (directorin)    FreeBuffer's argument (and
 *                                               QueueBuffer's, unchanged)
 */

%{
class ZuBuffer;
%}
class ZuBuffer;

%fragment("Tarn_GivenBuffers", "header", fragment="Tarn_Lifetime") %{
/* The proxies of buffers given to the device, held for the director under
 * the buffer; touched with the interpreter lock held. */
SWIGINTERN const void *Tarn_GivenOwner(const Swig::Director *director) { return dynamic_cast<const void *>(director); }

/* Records that the director took a buffer from an owning proxy. */
SWIGINTERN void Tarn_BufferGiven(const Swig::Director *director, void *buffer, PyObject *proxy, int own)
{
  director->swig_acquire_ownership_obj(buffer, own);
  Tarn_Keep(0, Tarn_GivenOwner(director), TARN_SLOT_GIVEN, buffer, proxy, true);
}

/* Ends the record; restores the kept proxy's ownership when asked. Returns
 * the ownership flags the record held (0 without one). */
SWIGINTERN int Tarn_BufferBack(const Swig::Director *director, void *buffer, bool restore)
{
  const int own = director->swig_release_ownership(buffer);
  std::shared_ptr<void> held = tarn::Holds::Take(Tarn_GivenOwner(director), TARN_SLOT_GIVEN, buffer);
  if (held && restore && (own & SWIG_POINTER_OWN)) {
    PyObject *obj = (PyObject *)held.get();
    SwigPyObject *sobj = SWIG_Python_GetSwigThis(obj);
    if (sobj && sobj->ptr == buffer) sobj->own = SWIG_POINTER_OWN;
  }
  return own;
}

/* After the director's FreeBuffer (its override ran, or failed): the
 * buffer goes back to the proxy it came from. */
struct Tarn_BufferFreed {
  const Swig::Director *director;
  void *buffer;
  ~Tarn_BufferFreed()
  {
    if (director && buffer) Tarn_BufferBack(director, buffer, true);
  }
};
%}

%typemap(directorout, noblock=1, fragment="Tarn_GivenBuffers") ZuBuffer *TARN_BUFFER_GIVEN (void *swig_argp, int swig_res, int tarn_own = 0) {
  {
    PyObject *obj = $input;
    SwigPyObject *tarn_sobj = obj == Py_None ? 0 : SWIG_Python_GetSwigThis(obj);
    tarn_own = tarn_sobj ? tarn_sobj->own : 0;
  }
  swig_res = SWIG_ConvertPtr($input, &swig_argp, $descriptor, SWIG_POINTER_DISOWN);
  if (!SWIG_IsOK(swig_res)) {
    Swig::DirectorTypeMismatchException::raise(SWIG_ErrorType(SWIG_ArgError(swig_res)), "in output value of type 'ZuBuffer *'");
  }
  $result = %reinterpret_cast(swig_argp, $ltype);
  if ($result && tarn_own) Tarn_BufferGiven(this, $result, $input, tarn_own);
}

%typemap(out, noblock=1, fragment="Tarn_GivenBuffers") ZuBuffer *TARN_BUFFER_TAKEN {
  {
    int tarn_own = 0;
    Swig::Director *tarn_director = SWIG_DIRECTOR_CAST(arg1);
    if (tarn_director && $1) tarn_own = Tarn_BufferBack(tarn_director, $1, false);
    $result = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, (tarn_own & SWIG_POINTER_OWN) ? SWIG_POINTER_OWN : 0);
  }
}

%typemap(directorin, noblock=1, fragment="Tarn_GivenBuffers", fragment="Tarn_HasPrefix") ZuBuffer *TARN_BUFFER_FREED {
  Tarn_BufferFreed tarn_freed = {this, Tarn_HasPrefix("$symname", "FreeBuffer") ? (void *)$1 : 0};
  $input = SWIG_NewPointerObj(SWIG_as_voidptr($1), $descriptor, 0);
}
