/* The firmware updater and its observer. The observer is implemented in
 * Python through a director; the updater calls it on the update's own
 * thread, where the director takes the interpreter lock. An attached
 * observer's Python object is kept alive until it is detached or the
 * updater goes, so that the update never calls into a freed director.
 * Once the interpreter finalises, the update calls no observer (the
 * up-call gate). */

%include "core/typemaps/typemaps.i"

%{
#include "ZuGenFUUpdater.h"
#include "tarn/UpdaterBinding.h"
%}

%feature("director") IUpdaterObserver;

%apply SWIGTYPE *TARN_HELD { IUpdaterObserver *aObserver };
%feature("action") ZuGenFUUpdater::Attach {
  tarn::UpdaterBinding::Attach(*arg1, arg2, tarn_keep2);
}
%feature("action") ZuGenFUUpdater::Detach {
  tarn::UpdaterBinding::Detach(*arg1, arg2);
}

%include "ZuGenFUUpdater.h"

%clear IUpdaterObserver *aObserver;
%feature("action", "") ZuGenFUUpdater::Attach;
%feature("action", "") ZuGenFUUpdater::Detach;
