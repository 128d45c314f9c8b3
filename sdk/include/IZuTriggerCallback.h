#ifndef IZU_TRIGGER_CALLBACK_H
#define IZU_TRIGGER_CALLBACK_H

#include "ZuBaseApi.h"

class IZuTriggerSelector;

/// Tells the application that a trigger selector of a trigger channel
/// source fired.
class ZU_API IZuTriggerCallback
{
public:
    /// Called when a trigger selector fires. This method should never block or do complicated processing.
    /// @param aTriggerSelector The selector being fired.
    virtual void TriggerCallbackMethod(const IZuTriggerSelector *aTriggerSelector) = 0;
    virtual ~IZuTriggerCallback() {}
};

#endif
