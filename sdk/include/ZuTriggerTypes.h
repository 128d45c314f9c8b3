#ifndef ZU_TRIGGER_TYPES_H
#define ZU_TRIGGER_TYPES_H

/// States of a trigger selector's state machine.
enum IZuTriggerSelector_State
{
    IZuTriggerSelector_State_Disabled = 0,  ///< The trigger is off.
    IZuTriggerSelector_State_Enabled = 1,   ///< The trigger is on and waits to be armed.
    IZuTriggerSelector_State_Armed = 2,     ///< The trigger waits for its source.
    IZuTriggerSelector_State_Fired = 3,     ///< The trigger fired.
    IZuTriggerSelector_State_OneShot = 4    ///< The trigger fires once, then disables itself.
};

/// The GenICam trigger selectors.
enum TriggerSelectorEnum
{
    TRIGGER_SELECTOR_FRAMESTART = 0,
    TRIGGER_SELECTOR_ACQUISITIONSTART = 1,
    TRIGGER_SELECTOR_ACQUISITIONEND = 2,
    TRIGGER_SELECTOR_ACQUISITIONACTIVE = 3,
    TRIGGER_SELECTOR_FRAMEBURSTSTART = 4,
    TRIGGER_SELECTOR_FRAMEBURSTEND = 5,
    TRIGGER_SELECTOR_FRAMEBURSTACTIVE = 6,
    TRIGGER_SELECTOR_FRAMEEND = 7,
    TRIGGER_SELECTOR_FRAMEACTIVE = 8,
    TRIGGER_SELECTOR_LINESTART = 9,
    TRIGGER_SELECTOR_EXPOSURESTART = 10,
    TRIGGER_SELECTOR_EXPOSUREEND = 11,
    TRIGGER_SELECTOR_EXPOSUREACTIVE = 12,
    /// The last valid selector, not a count.
    TRIGGER_SELECTOR_LAST = TRIGGER_SELECTOR_EXPOSUREACTIVE
};

/// Trigger modes.
enum TriggerModeEnum
{
    TRIGGER_MODE_OFF = 0,
    TRIGGER_MODE_ON = 1
};

/// Trigger sources.
enum TriggerSourceEnum
{
    TRIGGER_SOURCE_SOFTWARE = 0,
    TRIGGER_SOURCE_USER = 1
};

#endif
