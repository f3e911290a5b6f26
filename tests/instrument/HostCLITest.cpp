// The command-line host binding: what a host would be told, and transport.
#include <gtest/gtest.h>

#include <thread>

#include "platform/cli/IPluginCLI.h"

namespace {

class HostCLITest : public ::testing::Test {
protected:
  HostCLITest() : plug(3, "0-1 0-2", 0, "Test", "", "Maker", 0x10000, 1, 2, 0, true, false, true) {
    plug.GetParam(0)->InitDouble("A", 0.0, 0.0, 10.0, 0.1);
    plug.GetParam(1)->InitInt("B", 0, 0, 10);
    plug.GetParam(2)->InitBool("C", false);
  }
  IPluginCLI plug;
};

}  // namespace

TEST_F(HostCLITest, AnEditorChangeTellsTheHostTheNormalisedValueItReceived) {
  plug.BeginInformHostOfParamChange(1);
  plug.SetParameterFromGUI(1, 0.46);
  plug.EndInformHostOfParamChange(1);
  ASSERT_EQ(plug.NHostEvents(), 3);
  EXPECT_EQ(plug.GetHostEvent(0).kind, IPluginCLI::kBeginGesture);
  EXPECT_EQ(plug.GetHostEvent(1).kind, IPluginCLI::kParamValueChange);
  EXPECT_EQ(plug.GetHostEvent(1).paramIdx, 1);
  EXPECT_EQ(plug.GetHostEvent(1).normalizedValue, 0.46);
  EXPECT_EQ(plug.GetParam(1)->Value(), 5.0);  // the parameter holds the rounded value
  EXPECT_EQ(plug.GetHostEvent(2).kind, IPluginCLI::kEndGesture);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange, 1), 1);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange, 0), 0);
}

TEST_F(HostCLITest, DirtyParametersAndProgramChangesAreRecorded) {
  plug.GetParam(0)->Set(2.5);
  plug.DirtyParameters();
  plug.InformHostOfProgramChange();
  ASSERT_EQ(plug.NHostEvents(), 4);
  EXPECT_EQ(plug.GetHostEvent(0).normalizedValue, 0.25);
  EXPECT_EQ(plug.GetHostEvent(3).kind, IPluginCLI::kProgramChange);
  EXPECT_EQ(plug.GetHostEvent(3).paramIdx, -1);
  plug.ClearHostEvents();
  EXPECT_EQ(plug.NHostEvents(), 0);
}

TEST_F(HostCLITest, TheLogKeepsItsFirstEntriesAndCountsTheRest) {
  const int n = IPluginCLI::kMaxHostEvents + 100;
  for (int i = 0; i < n; ++i) plug.InformHostOfParamChange(i % 3, 0.0);
  EXPECT_EQ(plug.NHostEvents(), n);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), IPluginCLI::kMaxHostEvents);
  EXPECT_EQ(plug.GetHostEvent(IPluginCLI::kMaxHostEvents - 1).paramIdx, (IPluginCLI::kMaxHostEvents - 1) % 3);
}

TEST_F(HostCLITest, TwoThreadsNotifyingAtOnceLoseNothing) {
  auto notify = [this](int param) {
    for (int i = 0; i < 1000; ++i) plug.InformHostOfParamChange(param, 0.5);
  };
  std::thread a(notify, 0), b(notify, 2);
  a.join();
  b.join();
  EXPECT_EQ(plug.NHostEvents(), 2000);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange, 0), 1000);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange, 2), 1000);
}

TEST_F(HostCLITest, TransportFollowsTheRenderedBlocks) {
  plug.SetSampleRate(48000.0);
  ITimeInfo t;
  plug.GetTime(&t);
  EXPECT_EQ(t.mSamplePos, 0.0);
  EXPECT_EQ(t.mPPQPos, 0.0);
  EXPECT_TRUE(t.mTransportIsRunning);
  // 120 bpm at 48 kHz: 24000 frames per beat; five beats in, the bar began at beat 4.
  for (int i = 0; i < 240; ++i) plug.AdvanceSamplePos(500);
  plug.GetTime(&t);
  EXPECT_EQ(plug.GetSamplePos(), 120000);
  EXPECT_EQ(t.mPPQPos, 5.0);
  EXPECT_EQ(t.mLastBar, 4.0);
  EXPECT_EQ(t.mNumerator, 4);
  EXPECT_EQ(t.mDenominator, 4);
  plug.SetTempo(60.0);
  plug.GetTime(&t);
  EXPECT_EQ(t.mTempo, 60.0);
  EXPECT_EQ(t.mPPQPos, 2.5);
  EXPECT_EQ(plug.GetSamplesPerBeat(), 48000.0);
}

TEST_F(HostCLITest, TransportKeepsCountingPastTwelveHoursAt48kHz) {
  plug.SetSampleRate(48000.0);
  // Thirteen hours, a second at a time: beyond what an int of frames holds.
  const int64_t frames = int64_t{13} * 3600 * 48000;
  for (int s = 0; s < 13 * 3600; ++s) plug.AdvanceSamplePos(48000);
  ITimeInfo t;
  plug.GetTime(&t);
  EXPECT_EQ(t.mSamplePos, static_cast<double>(frames));
  EXPECT_EQ(t.mPPQPos, 13.0 * 3600 * 2);
  EXPECT_EQ(plug.SamplePosition(), frames);
  // The int of the base's interface stays at its largest value, never wraps.
  EXPECT_EQ(plug.GetSamplePos(), INT32_MAX);
}

TEST_F(HostCLITest, AnOfflineStandaloneHostWithNoMidiOutputAndNoEditor) {
  EXPECT_TRUE(plug.IsRenderingOffline());
  EXPECT_EQ(plug.GetAPI(), kAPISA);
  IMidiMsg msg(0, 0x90, 60, 100);
  EXPECT_FALSE(plug.SendMidiMsg(&msg));
  plug.ResizeGraphics(100, 100);  // no editor: nothing to tell
  EXPECT_EQ(plug.GetGUI(), nullptr);
  plug.GetTime(nullptr);  // tolerated
}
