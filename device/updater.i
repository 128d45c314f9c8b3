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
%}

%feature("director") IUpdaterObserver;

/* Attaching again leaves one attachment. */
TARN_HOLDS_SINK(ZuGenFUUpdater::Attach, ZuGenFUUpdater::Detach, true)
TARN_HOLDER(ZuGenFUUpdater)

%include "ZuGenFUUpdater.h"

%exception ZuGenFUUpdater::Attach;
%exception ZuGenFUUpdater::Detach;
%exception ZuGenFUUpdater::~ZuGenFUUpdater;
