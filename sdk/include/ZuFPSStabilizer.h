#ifndef ZU_FPS_STABILIZER_H
#define ZU_FPS_STABILIZER_H

#include "ZuBaseApi.h"

#include <cstdint>

/// Tells a display loop which frames to show so that the displayed frame
/// rate stays close to a target, however fast frames arrive.
///
/// Ask IsTimeToDisplay for each frame; show it on true, skip its display on
/// false and ask again with the next frame. Time is the system's monotonic
/// clock, so changes of the wall clock do not disturb it.
class ZU_API ZuFPSStabilizer
{
public:
    /// Builds a stabilizer with no history.
    ZuFPSStabilizer();
    /// Destroys the stabilizer.
    ~ZuFPSStabilizer();

    /// Tells whether to display the frame in hand: true when displaying it
    /// now keeps the displayed rate at or below the target, false when it
    /// would bring the rate above it. A true answer counts as a display.
    /// @param aTargetFPS Target display rate in frames per second; 0 displays nothing.
    /// @return True to display the frame.
    bool IsTimeToDisplay(uint32_t aTargetFPS);
    /// Returns the displayed frame rate: frames displayed over the last second.
    /// @return Frames per second.
    uint32_t GetAverage();
    /// Clears the history: the next frame is displayed and the average starts afresh.
    void Reset();

#ifndef SWIG
    ZuFPSStabilizer(const ZuFPSStabilizer &) = delete;
    ZuFPSStabilizer &operator=(const ZuFPSStabilizer &) = delete;

    struct Impl;

private:
    Impl *mImpl;
#endif
};

#endif
