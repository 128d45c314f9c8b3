// Categories and ports: nodes without a value of their own.

#include "GenFamilies.h"
#include "GenNodeMap.h"

namespace ZU_GENAPI_NS
{

ZuGenAccessMode CategoryNode::OwnAccess() const
{
    if (mKind == NodeKind::Category) return ZuGenAccessModeReadOnly;
    // A port over chunk or event data only reads what was received.
    return mChunkID.empty() && mEventID.empty() ? mMap->GetPortAccessMode() : ZuGenAccessModeReadOnly;
}

} // namespace ZU_GENAPI_NS
