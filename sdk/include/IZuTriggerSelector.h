#ifndef IZU_TRIGGER_SELECTOR_H
#define IZU_TRIGGER_SELECTOR_H

#include "ZuBaseApi.h"
#include "ZuString.h"
#include "ZuTriggerTypes.h"

#include <cstdint>

/// The state machine of one GenICam trigger selector (acquisition start,
/// frame start, line start) of a trigger-capable channel source.
///
/// The trigger source arms it with Start, fires it when a trigger arrives,
/// rearms it after a fired frame and stops it to release a waiting
/// acquisition loop. A signal that arrives in a state that does not expect
/// it changes nothing. A selector has no lock: whoever drives one selector
/// from several threads serializes the calls on it.
class ZU_API IZuTriggerSelector
{
public:
    /// The selector's states (IZuTriggerSelector_State_Disabled and the rest).
    typedef IZuTriggerSelector_State State;

    virtual ~IZuTriggerSelector() {}

    /// Arms an enabled selector for an acquisition.
    /// @param aHeight The image height in lines.
    virtual void Start(uint32_t aHeight) = 0;
    /// Releases the selector back to Enabled, unless it is disabled.
    virtual void Stop() = 0;
    /// A trigger arrived.
    virtual void FireTrigger() = 0;
    /// Arms a fired selector again for the next frame.
    virtual void Rearm() = 0;
    /// Enables (true) or disables (false) the selector, from any state.
    /// @param aIsEnabled True to enable the selector.
    virtual void SetMode(bool aIsEnabled) = 0;
    /// Tests whether the selector is enabled.
    /// @return True when the trigger mode is on.
    virtual bool GetMode() const = 0;
    /// Sets the trigger source index.
    /// @param aSource A trigger source index.
    virtual void SetSource(uint32_t aSource) = 0;
    /// Returns the trigger source index.
    /// @return The trigger source index.
    virtual uint32_t GetSource() const = 0;
    /// Returns the selector's name.
    /// @return The name given at construction.
    virtual ZuString GetName() const = 0;
    /// Returns the current state.
    /// @return An IZuTriggerSelector_State value.
    virtual State GetState() const = 0;
    /// Tests whether the selector is in any state but Disabled.
    /// @return True when enabled.
    virtual bool IsEnabled() const = 0;
};

#endif
