// The audio thread and a control thread on one instance at full speed: the
// output stays sound and every kind of traffic happened. Run under
// ThreadSanitizer too, where any unsynchronised hand-off is reported.
#include <gtest/gtest.h>

#include "StressDrive.h"

using namespace kttest;

TEST(ThreadStress, RenderingWhileAnotherThreadMovesParametersHitsRestoresAndOpensEditors) {
  const StressCounts c = DriveAudioAndControlThreads(20000, [](bool) {});
  EXPECT_EQ(c.blocks, 20000);
  EXPECT_EQ(c.unsoundSamples, 0);
  EXPECT_GT(c.controlRounds, 0);
  EXPECT_GT(c.editorsAttached, 0);
  EXPECT_GT(c.statesRestored, 0);
}
