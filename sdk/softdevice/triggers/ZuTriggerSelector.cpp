#include "ZuTriggerSelector.h"

// Every transition reads the state through the virtual GetState, so that a
// class overriding it decides what the transition tests, and then writes
// the field.

namespace {
constexpr uint32_t kDisabled = IZuTriggerSelector_State_Disabled, kEnabled = IZuTriggerSelector_State_Enabled,
                   kArmed = IZuTriggerSelector_State_Armed, kFired = IZuTriggerSelector_State_Fired,
                   kOneShot = IZuTriggerSelector_State_OneShot;
}

ZuTriggerSelectorDefault::ZuTriggerSelectorDefault(const char *const aName)
    : mName(aName ? aName : ""), mSource(0), mState(kDisabled)
{
}

ZuTriggerSelectorDefault::~ZuTriggerSelectorDefault() {}

void ZuTriggerSelectorDefault::Start(uint32_t aHeight) { (void)aHeight; }
void ZuTriggerSelectorDefault::Stop() {}
void ZuTriggerSelectorDefault::FireTrigger() {}
void ZuTriggerSelectorDefault::Rearm() {}
void ZuTriggerSelectorDefault::SetMode(bool aIsEnabled) { mState = aIsEnabled ? kEnabled : kDisabled; }
bool ZuTriggerSelectorDefault::GetMode() const { return IsEnabled(); }
void ZuTriggerSelectorDefault::SetSource(uint32_t aSource) { mSource = aSource; }
uint32_t ZuTriggerSelectorDefault::GetSource() const { return mSource; }
ZuString ZuTriggerSelectorDefault::GetName() const { return mName; }
IZuTriggerSelector::State ZuTriggerSelectorDefault::GetState() const { return State(mState); }
bool ZuTriggerSelectorDefault::IsEnabled() const { return mState != kDisabled; }

ZuTriggerSelectorAcquisitionStart::ZuTriggerSelectorAcquisitionStart(const char *const aName)
    : ZuTriggerSelectorDefault(aName)
{
}

void ZuTriggerSelectorAcquisitionStart::Start(uint32_t aHeight)
{
    (void)aHeight;
    if (GetState() == kEnabled) mState = kArmed;
}

void ZuTriggerSelectorAcquisitionStart::Stop()
{
    if (GetState() != kDisabled) mState = kEnabled;
}

void ZuTriggerSelectorAcquisitionStart::FireTrigger()
{
    // Fired for the rest of the acquisition: only Stop or SetMode ends it.
    if (GetState() == kArmed) mState = kOneShot;
}

ZuTriggerSelectorFrameStart::ZuTriggerSelectorFrameStart(const char *const aName)
    : ZuTriggerSelectorAcquisitionStart(aName)
{
}

void ZuTriggerSelectorFrameStart::FireTrigger()
{
    if (GetState() == kArmed) mState = kFired;
}

void ZuTriggerSelectorFrameStart::Rearm()
{
    if (GetState() == kFired) mState = kArmed;
}

ZuTriggerSelectorLineStart::ZuTriggerSelectorLineStart(const char *const aName)
    : ZuTriggerSelectorFrameStart(aName), mLinesLeft(1), mLinesPerFrame(1)
{
}

void ZuTriggerSelectorLineStart::Start(uint32_t aHeight)
{
    if (GetState() != kEnabled) return;
    mState = kArmed;
    mLinesLeft = mLinesPerFrame = aHeight;
}

void ZuTriggerSelectorLineStart::FireTrigger()
{
    if (GetState() != kArmed) return;
    // A height of 0 wraps: the frame then never completes.
    --mLinesLeft;
    if (mLinesLeft == 0) mState = kFired;
}

void ZuTriggerSelectorLineStart::Rearm()
{
    if (GetState() != kFired) return;
    mState = kArmed;
    mLinesLeft = mLinesPerFrame;
}
