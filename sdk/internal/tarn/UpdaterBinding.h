#ifndef TARN_UPDATER_BINDING_H
#define TARN_UPDATER_BINDING_H

// What the bindings need of the firmware updater: an observer's owner (its
// Python object) stays alive while the observer is attached, and is let go
// on Detach or when the updater goes. Included only inside the bindings'
// %{ %} blocks.

#include "ZuGenFUUpdater.h"

#include <memory>

namespace tarn {

struct ZU_API UpdaterBinding {
    static void Attach(ZuGenFUUpdater &aUpdater, IUpdaterObserver *aObserver, std::shared_ptr<void> aOwner);
    static void Detach(ZuGenFUUpdater &aUpdater, IUpdaterObserver *aObserver);
};

} // namespace tarn

#endif
