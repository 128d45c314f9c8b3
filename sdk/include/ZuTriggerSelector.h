#ifndef ZU_TRIGGER_SELECTOR_H
#define ZU_TRIGGER_SELECTOR_H

#include "IZuTriggerSelector.h"

/// A selector that only follows its mode: SetMode moves it between
/// Disabled and Enabled; Start, Stop, FireTrigger and Rearm do nothing.
class ZU_API ZuTriggerSelectorDefault : public IZuTriggerSelector
{
public:
    /// Builds a disabled selector with source 0.
    /// @param aName The selector's name, copied.
    ZuTriggerSelectorDefault(const char *const aName = "N/A");
    virtual ~ZuTriggerSelectorDefault();

    virtual void Start(uint32_t aHeight);
    virtual void Stop();
    virtual void FireTrigger();
    virtual void Rearm();
    virtual void SetMode(bool aIsEnabled);
    virtual bool GetMode() const;
    virtual void SetSource(uint32_t aSource);
    virtual uint32_t GetSource() const;
    virtual ZuString GetName() const;
    virtual State GetState() const;
    virtual bool IsEnabled() const;

#ifndef SWIG
protected:
    ZuString mName;
    uint32_t mSource;
    uint32_t mState;
#endif
};

/// Acquisition start: Start arms an enabled selector, a trigger makes it
/// OneShot for the rest of the acquisition, Stop ends it.
class ZU_API ZuTriggerSelectorAcquisitionStart : public ZuTriggerSelectorDefault
{
public:
    /// Builds a disabled selector.
    /// @param aName The selector's name, copied.
    ZuTriggerSelectorAcquisitionStart(const char *const aName = "AcquisitionStart");

    virtual void Start(uint32_t aHeight);
    virtual void Stop();
    virtual void FireTrigger();
};

/// Frame start: one trigger per frame; Rearm arms a fired selector again.
class ZU_API ZuTriggerSelectorFrameStart : public ZuTriggerSelectorAcquisitionStart
{
public:
    /// Builds a disabled selector.
    /// @param aName The selector's name, copied.
    ZuTriggerSelectorFrameStart(const char *const aName = "FrameStart");

    virtual void FireTrigger();
    virtual void Rearm();
};

/// Line start: one trigger per line; the frame is complete after as many
/// triggers as the height given to Start.
class ZU_API ZuTriggerSelectorLineStart : public ZuTriggerSelectorFrameStart
{
public:
    /// Builds a disabled selector.
    /// @param aName The selector's name, copied.
    ZuTriggerSelectorLineStart(const char *const aName = "LineStart");

    virtual void Start(uint32_t aHeight);
    virtual void FireTrigger();
    virtual void Rearm();

#ifndef SWIG
protected:
    uint32_t mLinesLeft;
    uint32_t mLinesPerFrame;
#endif
};

#endif
