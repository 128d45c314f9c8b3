// Categories and ports: nodes without a value of their own.

#include "GenFamilies.h"
#include "GenNodeMap.h"

namespace ZU_GENAPI_NS
{

ZuGenAccessMode CategoryNode::OwnAccess() const
{
    if (mKind == NodeKind::Category) return ZuGenAccessModeReadOnly;
    // A port over chunk or event data only reads what was received. The
    // device port's access is the one taken for this access: it changes
    // with the device, and a change starts a new generation.
    if (!mChunkID.empty() || !mEventID.empty()) return ZuGenAccessModeReadOnly;
    mMap->TakePortAccess();
    return mMap->mPortAccess;
}

} // namespace ZU_GENAPI_NS
