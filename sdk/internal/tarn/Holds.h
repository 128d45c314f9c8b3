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
};

} // namespace tarn

#endif
