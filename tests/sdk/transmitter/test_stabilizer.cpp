#include "ZuFPSStabilizer.h"

#include <gtest/gtest.h>

// Decisions at one frame per second, asked in a burst far shorter than a
// second: the first frame of the burst is displayed and no other.
TEST(Stabilizer, ABurstDisplaysOneFrameAtOneFramePerSecond)
{
    ZuFPSStabilizer s;
    int shown = 0;
    for (int i = 0; i < 1000; ++i) shown += s.IsTimeToDisplay(1);
    EXPECT_EQ(shown, 1);
    EXPECT_EQ(s.GetAverage(), 1u);
    // Reset forgets: the next frame is displayed again.
    s.Reset();
    EXPECT_EQ(s.GetAverage(), 0u);
    EXPECT_TRUE(s.IsTimeToDisplay(1));
    EXPECT_FALSE(s.IsTimeToDisplay(1));
}

TEST(Stabilizer, ATargetOfZeroDisplaysNothingAndAHighOneEverything)
{
    ZuFPSStabilizer s;
    EXPECT_FALSE(s.IsTimeToDisplay(0));
    EXPECT_EQ(s.GetAverage(), 0u);
    // At a billion frames per second every frame of a short burst is due.
    int shown = 0;
    for (int i = 0; i < 100; ++i) shown += s.IsTimeToDisplay(1000000000u);
    EXPECT_EQ(shown, 100);
    EXPECT_EQ(s.GetAverage(), 100u);
    // Lowering the target applies from the last display on.
    EXPECT_FALSE(s.IsTimeToDisplay(1));
}
