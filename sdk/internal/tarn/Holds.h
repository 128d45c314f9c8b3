#ifndef TARN_HOLDS_H
#define TARN_HOLDS_H

// What a binding keeps alive for the SDK: objects of the application that a
// native object uses (sinks, sources, selectors, queued buffers, items of a
// container) are held per native object, whatever stands for that object in
// the application, and let go when it goes. One table for the process, in
// libZuBase, shared by every module that binds the SDK: a hold made through
// one module is let go through another.
//
// A hold is a share (std::shared_ptr<void>) whose release the binding
// defines; the table lets go of shares only after its own lock, so a release
// may take whatever lock the binding needs (the interpreter lock).

#include "ZuBaseApi.h"

#include <memory>

namespace tarn {

struct ZU_API Holds {
    // The slots: what kind of use the owner makes of what it holds.
    enum Slot {
        kItems = 1,  // the items of a container
        kSources,    // a device's channel sources
        kSinks,      // an object's registered sinks and observers
        kNotify,     // a device's user-set notification
        kQueued,     // buffers queued with a stream or transmitter
        kGiven,      // buffers a channel source gave to its device
        kSelectors,  // a trigger source's selectors, by selector
        kCallbacks   // a trigger source's callbacks, by selector
    };

    // aOwner keeps aHold under aKey in aSlot; with aReplace, what aKey held
    // there before is let go.
    static void Keep(const void *aOwner, int aSlot, const void *aKey, std::shared_ptr<void> aHold, bool aReplace);
    // Takes one hold of aKey in aSlot out of the table (empty: none).
    static std::shared_ptr<void> Take(const void *aOwner, int aSlot, const void *aKey);
    // Lets go of every hold of aKey in aSlot.
    static void Drop(const void *aOwner, int aSlot, const void *aKey);
    // Lets go of every hold of aOwner in aSlot.
    static void DropSlot(const void *aOwner, int aSlot);
    // aOwner goes: everything it held is let go.
    static void DropOwner(const void *aOwner);
    // aKey goes: every owner lets go of what it held under it in aSlot.
    static void DropEverywhere(int aSlot, const void *aKey);
    // Calls aVisit with what each hold of aOwner points at, under the
    // table's lock: aVisit must not reach the table (a garbage collector's
    // count of references, say).
    static void Visit(const void *aOwner, void (*aVisit)(void *aHeld, void *aContext), void *aContext);
};

// The other way: what the SDK lends a binding (a register, a device's
// register map, identity, statistics or messaging channel, the device handed
// to its sinks) is destroyed by its owner, not by the binding. The owner
// tells every binding of each such object before it goes, on the thread that
// destroys it, so that whatever stands for the object in the application
// refuses use instead of reaching freed memory. An object is named by its
// most derived address (Lent::Goes does the cast).
struct ZU_API Lent {
    // Adds a binding's hook (one per module that binds the SDK; a few at
    // most, never removed).
    static void AddGoneHook(void (*aHook)(const void *aObject));
    // aObject (a most derived address) is about to be destroyed.
    static void Gone(const void *aObject);
    template <typename T> static void Goes(const T *aObject) { Gone(dynamic_cast<const void *>(aObject)); }
};

} // namespace tarn

#endif
