#ifndef IZU_USER_SET_NOTIFY_H
#define IZU_USER_SET_NOTIFY_H

#include "ZuResult.h"
#include "ZuSoftDeviceTypes.h"

/// Told when saving or loading a user set changes state.
class IZuUserSetNotify
{
public:
    virtual ~IZuUserSetNotify() {}

    /// A user set is being saved or loaded.
    /// @param aUserSetState What happens.
    /// @param aUserSetIndex 0 for the default user set, 1 and up for the others.
    virtual ZuResult UserSetStateNotify(ZuUserSetState aUserSetState, uint32_t aUserSetIndex) = 0;
};

#endif
