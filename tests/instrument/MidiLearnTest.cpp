// Controller routing through MIDI learn and the process-wide controller table.
#include <gtest/gtest.h>

#include <thread>
#include <type_traits>

#include "InstrumentRig.h"
#include "graphics/IText.h"
#include "graphics/ITextControl.h"

using namespace kttest;

namespace {

class MidiLearnTest : public ::testing::Test {
protected:
  void SetUp() override {
    QiKt412::ResetControllerTable();
    Prepare(plug, 512);
  }
  void TearDown() override { QiKt412::ResetControllerTable(); }

  // Learn on, touch the target, send the controller: the user's gesture.
  void Learn(QiKt412& p, int paramIdx, int cc, int value) {
    SetParam(p, kLearn, 1.0);
    p.OnParamChange(paramIdx);
    ControlChange(p, cc, value);
  }

  // Binds controller 7 to Decay and moves it to the top.
  void BindAndMove(QiKt412& p) {
    ASSERT_TRUE(QiKt412::BindController(7, kDecay));
    ControlChange(p, 7, 127);
  }

  QiKt412 plug;
};

}  // namespace

TEST_F(MidiLearnTest, BeforeAnyLearningController0DrivesParameter10) {
  for (int k = 0; k < kNumParams; ++k) ASSERT_EQ(paramCC[k].load(), 0) << k;
  ControlChange(plug, 0, 127);
  EXPECT_EQ(plug.GetParam(kMidiAccentFlag)->Value(), 1.0);
  // Nothing else moved.
  EXPECT_EQ(plug.GetParam(kMidiTuneFlag)->Value(), 0.0);
  EXPECT_EQ(plug.GetParam(kPitch)->Value(), 0.0);
  // The host is told, with the normalised value.
  ASSERT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 1);
  EXPECT_EQ(plug.GetHostEvent(0).paramIdx, kMidiAccentFlag);
  EXPECT_EQ(plug.GetHostEvent(0).normalizedValue, 1.0);
  // The message was queued as well; the render drops it.
  EXPECT_EQ(plug.MidiQueue().Count(), 1);
}

TEST_F(MidiLearnTest, AnUnboundControllerMovesNothing) {
  ControlChange(plug, 7, 100);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 0);
  for (int k = 0; k < kNumParams; ++k)
    EXPECT_EQ(plug.GetParam(k)->Value(), plug.GetParam(k)->GetDefault()) << k;
}

TEST_F(MidiLearnTest, LearningBindsTheControllerToTheTargetWhichTakesItsValueAtOnce) {
  Learn(plug, kTuneDecay, 7, 64);
  EXPECT_EQ(paramCC[kTuneDecay].load(), 7);
  for (int k = 0; k < kNumParams; ++k) {
    if (k != kTuneDecay) {
      EXPECT_NE(paramCC[k].load(), 7) << k;
    }
  }
  EXPECT_DOUBLE_EQ(plug.GetParam(kTuneDecay)->Value(), 64.0 / 127.0);
  // ...and the voice follows: pitch decay 0.8 * (2v * 1e5 + 22000) * 3.3e-7 s.
  const float x = static_cast<float>(64.0 / 127.0 + 64.0 / 127.0);
  EXPECT_NEAR(plug.Voice().getPitchEnv().getDecay(), 0.8 * (x * 100000.0 + 22000.0) * 3.3e-7, 1e-9);
  EXPECT_EQ(plug.LearnMode(), 1);  // learning stays on
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange, kTuneDecay), 1);
}

TEST_F(MidiLearnTest, LaterControllerMovesDriveTheBoundParameterAfterLearnIsOff) {
  Learn(plug, kDecay, 21, 0);
  SetParam(plug, kLearn, 0.0);
  ControlChange(plug, 21, 127);
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 1.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.34551, 5e-8);
  EXPECT_EQ(paramCC[kDecay].load(), 21);
}

TEST_F(MidiLearnTest, RebindingMovesTheControllerToTheNewTarget) {
  Learn(plug, kTuneDecay, 7, 10);
  plug.OnParamChange(kHold);  // new target while learning
  ControlChange(plug, 7, 100);
  EXPECT_EQ(paramCC[kTuneDecay].load(), -1);
  EXPECT_EQ(paramCC[kHold].load(), 7);
  EXPECT_DOUBLE_EQ(plug.GetParam(kHold)->Value(), 100.0 / 127.0);
  EXPECT_DOUBLE_EQ(plug.GetParam(kTuneDecay)->Value(), 10.0 / 127.0);  // left where it was
}

TEST_F(MidiLearnTest, SecondControllerForTheSameTargetReplacesNothingElse) {
  Learn(plug, kAccent, 20, 5);
  ControlChange(plug, 21, 6);  // still learning, same target
  // The table holds one controller per parameter: the newer one replaces it.
  EXPECT_EQ(paramCC[kAccent].load(), 21);
  for (int k = 0; k < kNumParams; ++k) EXPECT_NE(paramCC[k].load(), 20) << k;
}

TEST_F(MidiLearnTest, TheHighestBoundIndexWins) {
  paramCC[kDecay].store(30);
  paramCC[kDistort].store(30);
  paramCC[kLearn].store(30);  // entries above 10 are never consulted
  ControlChange(plug, 30, 127);
  EXPECT_EQ(plug.GetParam(kDistort)->Value(), 1.0);
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 0.5);
  EXPECT_EQ(plug.GetParam(kLearn)->Value(), 0.0);
}

TEST_F(MidiLearnTest, AControllerMovesPitchWithoutRoundingToSemitones) {
  Learn(plug, kPitch, 1, 64);
  EXPECT_DOUBLE_EQ(plug.GetParam(kPitch)->Value(), 64.0 / 127.0 * 24.0 - 12.0);
  char text[32];
  plug.GetParam(kPitch)->GetDisplayForHost(text);
  EXPECT_STREQ(text, "0");
}

TEST_F(MidiLearnTest, ClearModeUnbindsAParameterAfterOneControllerMove) {
  Learn(plug, kAttack, 9, 0);
  SetParam(plug, kClear, 1.0);
  ASSERT_EQ(plug.LearnMode(), 0);
  ControlChange(plug, 9, 127);
  EXPECT_EQ(plug.GetParam(kAttack)->Value(), 1.0);  // moved once...
  EXPECT_EQ(paramCC[kAttack].load(), -1);          // ...then unbound
  ControlChange(plug, 9, 0);
  EXPECT_EQ(plug.GetParam(kAttack)->Value(), 1.0);
}

TEST_F(MidiLearnTest, ClearModeUnbindsWhateverChangesTheParameter) {
  Learn(plug, kHold, 11, 0);
  SetParam(plug, kLearn, 0.0);
  SetParam(plug, kClear, 1.0);
  SetParam(plug, kHold, 0.25);  // a host change, not a controller
  EXPECT_EQ(paramCC[kHold].load(), -1);
  // Untouched parameters keep their entries.
  EXPECT_EQ(paramCC[kDecay].load(), 0);
}

TEST_F(MidiLearnTest, DataBytesAbove127AreNotMidiAndMoveNothing) {
  IMidiMsg bad(0, 0xB0, 0, 200);
  plug.ProcessMidiMsg(&bad);
  EXPECT_EQ(plug.GetParam(kMidiAccentFlag)->Value(), 0.0);
  IMidiMsg badCC(0, 0xB0, 130, 1);
  SetParam(plug, kLearn, 1.0);
  plug.OnParamChange(kDecay);
  plug.ProcessMidiMsg(&badCC);
  EXPECT_EQ(paramCC[kDecay].load(), 0);
}

TEST_F(MidiLearnTest, BindControllerDoesWhatLearningDoesWithoutMovingTheParameter) {
  EXPECT_TRUE(QiKt412::BindController(74, kDistort));
  EXPECT_EQ(paramCC[kDistort].load(), 74);
  EXPECT_EQ(plug.GetParam(kDistort)->Value(), 0.5);
  EXPECT_TRUE(QiKt412::BindController(74, kAttack));
  EXPECT_EQ(paramCC[kDistort].load(), -1);
  EXPECT_EQ(paramCC[kAttack].load(), 74);
  EXPECT_FALSE(QiKt412::BindController(128, kAttack));
  EXPECT_FALSE(QiKt412::BindController(-1, kAttack));
  EXPECT_FALSE(QiKt412::BindController(5, kLearn));
  EXPECT_FALSE(QiKt412::BindController(5, kNumParams));
}

TEST_F(MidiLearnTest, TwoInstancesShareTheTable) {
  QiKt412 other;
  Prepare(other, 512);
  Learn(plug, kTuneDepth, 7, 0);
  ControlChange(other, 7, 127);
  EXPECT_EQ(other.GetParam(kTuneDepth)->Value(), 1.0);
}

TEST_F(MidiLearnTest, TwoInstancesLearnAndRouteOnTwoThreads) {
  static_assert(std::is_same_v<std::remove_extent_t<decltype(paramCC)>, std::atomic<int>>,
                "the shared table is read and written from several threads");
  QiKt412 other;
  Prepare(other, 512);
  // Each thread learns its own controller to its own parameter over and over
  // while rendering, so both read and write the shared table at once.
  auto work = [](QiKt412* p, int param, int cc) {
    std::vector<double> l(64), r(64);
    double* outs[2] = {l.data(), r.data()};
    for (int i = 0; i < 2000; ++i) {
      SetParam(*p, kLearn, 1.0);
      p->OnParamChange(param);
      ControlChange(*p, cc, i % 128);
      p->ProcessDoubleReplacing(nullptr, outs, 64);
    }
    SetParam(*p, kLearn, 0.0);
  };
  std::thread a(work, &plug, kDecay, 40);
  std::thread b(work, &other, kHold, 41);
  a.join();
  b.join();
  EXPECT_EQ(paramCC[kDecay].load(), 40);
  EXPECT_EQ(paramCC[kHold].load(), 41);
  // Each controller now drives its parameter in both instances.
  ControlChange(plug, 41, 127);
  EXPECT_EQ(plug.GetParam(kHold)->Value(), 1.0);
  ControlChange(other, 40, 0);
  EXPECT_EQ(other.GetParam(kDecay)->Value(), 0.0);
}

TEST_F(MidiLearnTest, AControllerMoveShowsTheParameterValueInTheReadout) {
  IRECT r(0, 0, 80, 16);
  IText style;
  ITextControl readout(&plug, &r, &style, "");
  plug.AttachValueDisplay(&readout);
  BindAndMove(plug);
  // Controller 7 bound to Decay at 127 reads the parameter's own display text.
  char expected[32];
  plug.GetParam(kDecay)->GetDisplayForHost(1.0, true, expected, true);
  EXPECT_STREQ(readout.GetTextForPlug(), expected);
  EXPECT_STRNE(expected, "");
  // An unbound controller leaves the readout alone.
  readout.SetTextFromPlug("unchanged");
  ControlChange(plug, 99, 12);
  EXPECT_STREQ(readout.GetTextForPlug(), "unchanged");
  plug.AttachValueDisplay(nullptr);
}

TEST_F(MidiLearnTest, ClearModeEmptiesTheEntryOfEveryIndexThatChangesButtonsIncluded) {
  SetParam(plug, kClear, 1.0);
  // Entries 11..16 are never consulted by the routing, yet a change of their
  // parameter in clear mode empties them like any other.
  for (int idx : {kLearn, kTrigger, kLed, kLeft, kRight}) {
    SetParam(plug, idx, 0.0);
    EXPECT_EQ(paramCC[idx].load(), -1) << idx;
  }
  // Switching clear off is itself a change made in clear mode.
  EXPECT_EQ(paramCC[kClear].load(), 0);
  SetParam(plug, kClear, 0.0);
  EXPECT_EQ(paramCC[kClear].load(), -1);
  // From then on changes keep their bindings.
  SetParam(plug, kDecay, 0.1);
  EXPECT_EQ(paramCC[kDecay].load(), 0);
  EXPECT_EQ(paramCC[kPitch].load(), 0);
}

TEST_F(MidiLearnTest, LearningBeforeAnyTargetOnlyUnbindsTheController) {
  // Learn on, no sound parameter touched since: controller 0 (which every
  // entry holds at load) is taken from all seventeen and given to none, so
  // it moves nothing, not even MidiAccentFlag.
  SetParam(plug, kLearn, 1.0);
  ASSERT_EQ(plug.LearnParam(), -1);
  ControlChange(plug, 0, 127);
  for (int k = 0; k < kNumParams; ++k) EXPECT_EQ(paramCC[k].load(), -1) << k;
  EXPECT_EQ(plug.GetParam(kMidiAccentFlag)->Value(), 0.0);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 0);
}
