// Controller routing through MIDI learn and each instance's controller table.
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
  void SetUp() override { Prepare(plug, 512); }

  // A control change as the render meets it (one frame at its offset 0),
  // then the editor's timer tick that tells the host and the editor.
  static void Move(QiKt412& p, int cc, int value) {
    ControlChange(p, cc, value);
    Render(p, 1);
    p.OnIdle();
  }

  // Learn on, touch the target, send the controller: the user's gesture.
  void Learn(QiKt412& p, int paramIdx, int cc, int value) {
    SetParam(p, kLearn, 1.0);
    p.OnParamChange(paramIdx);
    Move(p, cc, value);
  }

  // Binds controller 7 to Decay and moves it to the top.
  void BindAndMove(QiKt412& p) {
    ASSERT_TRUE(p.BindController(7, kDecay));
    Move(p, 7, 127);
  }

  QiKt412 plug;
};

}  // namespace

TEST_F(MidiLearnTest, BeforeAnyLearningNoControllerMovesAnythingBankSelectIncluded) {
  for (int k = 0; k < kNumParams; ++k) ASSERT_EQ(plug.BoundController(k), -1) << k;
  // Controller 0 is Bank Select, which many hosts send when playback starts.
  Move(plug, 0, 127);
  for (int k = 0; k < kNumParams; ++k)
    EXPECT_EQ(plug.GetParam(k)->Value(), plug.GetParam(k)->GetDefault()) << k;
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 0);
  // The render took the message from the queue all the same.
  EXPECT_EQ(plug.MidiQueue().Count(), 0);
  // A table saved when every entry started at 0 restores as unbound too;
  // one with a real binding keeps it, and controller 0 where it was learned.
  plug.RestoreControllerTable(std::vector<int>(kNumParams, 0));
  for (int k = 0; k < kNumParams; ++k) EXPECT_EQ(plug.BoundController(k), -1) << k;
  std::vector<int> learned(kNumParams, -1);
  learned[kDecay] = 0;
  plug.RestoreControllerTable(learned);
  EXPECT_EQ(plug.BoundController(kDecay), 0);
  Move(plug, 0, 127);
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 1.0);
  EXPECT_EQ(plug.GetParam(kMidiAccentFlag)->Value(), 0.0);
}

TEST_F(MidiLearnTest, AnUnboundControllerMovesNothing) {
  Move(plug, 7, 100);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 0);
  for (int k = 0; k < kNumParams; ++k)
    EXPECT_EQ(plug.GetParam(k)->Value(), plug.GetParam(k)->GetDefault()) << k;
}

TEST_F(MidiLearnTest, LearningBindsTheControllerToTheTargetWhichTakesItsValueAtOnce) {
  Learn(plug, kTuneDecay, 7, 64);
  EXPECT_EQ(plug.BoundController(kTuneDecay), 7);
  for (int k = 0; k < kNumParams; ++k) {
    if (k != kTuneDecay) {
      EXPECT_NE(plug.BoundController(k), 7) << k;
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
  Move(plug, 21, 127);
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 1.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.34551, 5e-8);
  EXPECT_EQ(plug.BoundController(kDecay), 21);
}

TEST_F(MidiLearnTest, RebindingMovesTheControllerToTheNewTarget) {
  Learn(plug, kTuneDecay, 7, 10);
  plug.OnParamChange(kHold);  // new target while learning
  Move(plug, 7, 100);
  EXPECT_EQ(plug.BoundController(kTuneDecay), -1);
  EXPECT_EQ(plug.BoundController(kHold), 7);
  EXPECT_DOUBLE_EQ(plug.GetParam(kHold)->Value(), 100.0 / 127.0);
  EXPECT_DOUBLE_EQ(plug.GetParam(kTuneDecay)->Value(), 10.0 / 127.0);  // left where it was
}

TEST_F(MidiLearnTest, SecondControllerForTheSameTargetReplacesNothingElse) {
  Learn(plug, kAccent, 20, 5);
  Move(plug, 21, 6);  // still learning, same target
  // The table holds one controller per parameter: the newer one replaces it.
  EXPECT_EQ(plug.BoundController(kAccent), 21);
  for (int k = 0; k < kNumParams; ++k) EXPECT_NE(plug.BoundController(k), 20) << k;
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
  Move(plug, 9, 127);
  EXPECT_EQ(plug.GetParam(kAttack)->Value(), 1.0);  // moved once...
  EXPECT_EQ(plug.BoundController(kAttack), -1);          // ...then unbound
  Move(plug, 9, 0);
  EXPECT_EQ(plug.GetParam(kAttack)->Value(), 1.0);
}

TEST_F(MidiLearnTest, ClearModeUnbindsWhateverChangesTheParameter) {
  Learn(plug, kHold, 11, 0);
  SetParam(plug, kLearn, 0.0);
  SetParam(plug, kClear, 1.0);
  ASSERT_TRUE(plug.BindController(12, kDecay));
  SetParam(plug, kHold, 0.25);  // a host change, not a controller
  EXPECT_EQ(plug.BoundController(kHold), -1);
  // Untouched parameters keep their entries.
  EXPECT_EQ(plug.BoundController(kDecay), 12);
}

TEST_F(MidiLearnTest, DataBytesAbove127AreNotMidiAndMoveNothing) {
  ASSERT_TRUE(plug.BindController(0, kMidiAccentFlag));
  IMidiMsg bad(0, 0xB0, 0, 200);
  plug.ProcessMidiMsg(&bad);
  Render(plug, 1);
  EXPECT_EQ(plug.GetParam(kMidiAccentFlag)->Value(), 0.0);
  IMidiMsg badCC(0, 0xB0, 130, 1);
  SetParam(plug, kLearn, 1.0);
  plug.OnParamChange(kDecay);
  plug.ProcessMidiMsg(&badCC);
  Render(plug, 1);
  EXPECT_EQ(plug.BoundController(kDecay), -1);
}

TEST_F(MidiLearnTest, BindControllerDoesWhatLearningDoesWithoutMovingTheParameter) {
  EXPECT_TRUE(plug.BindController(74, kDistort));
  EXPECT_EQ(plug.BoundController(kDistort), 74);
  EXPECT_EQ(plug.GetParam(kDistort)->Value(), 0.5);
  EXPECT_TRUE(plug.BindController(74, kAttack));
  EXPECT_EQ(plug.BoundController(kDistort), -1);
  EXPECT_EQ(plug.BoundController(kAttack), 74);
  EXPECT_FALSE(plug.BindController(128, kAttack));
  EXPECT_FALSE(plug.BindController(-1, kAttack));
  EXPECT_FALSE(plug.BindController(5, kLearn));
  EXPECT_FALSE(plug.BindController(5, kNumParams));
}

TEST_F(MidiLearnTest, EachInstanceLearnsForItselfOnly) {
  QiKt412 other;
  Prepare(other, 512);
  Learn(plug, kTuneDepth, 7, 0);
  EXPECT_EQ(plug.BoundController(kTuneDepth), 7);
  // The other instance's table is still unbound: controller 7 moves nothing there.
  EXPECT_EQ(other.BoundController(kTuneDepth), -1);
  Move(other, 7, 127);
  EXPECT_EQ(other.GetParam(kTuneDepth)->Value(), 0.5);
  EXPECT_EQ(other.ControllerMoves(), 0);
  Move(plug, 7, 127);
  EXPECT_EQ(plug.GetParam(kTuneDepth)->Value(), 1.0);
}

TEST_F(MidiLearnTest, TwoInstancesLearnAndRouteOnTwoThreads) {
  QiKt412 other;
  Prepare(other, 512);
  // Each thread is one instance's audio and editor thread at once: it
  // learns its controller over and over while rendering.
  auto work = [](QiKt412* p, int param, int cc) {
    for (int i = 0; i < 2000; ++i) {
      SetParam(*p, kLearn, 1.0);
      p->OnParamChange(param);
      ControlChange(*p, cc, i % 128);
      Render(*p, 64);
      p->OnIdle();
    }
    SetParam(*p, kLearn, 0.0);
  };
  std::thread a(work, &plug, kDecay, 40);
  std::thread b(work, &other, kHold, 41);
  a.join();
  b.join();
  EXPECT_EQ(plug.BoundController(kDecay), 40);
  EXPECT_EQ(plug.BoundController(kHold), -1);
  EXPECT_EQ(other.BoundController(kHold), 41);
  EXPECT_EQ(other.BoundController(kDecay), -1);
  Move(plug, 40, 127);
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 1.0);
  Move(plug, 41, 127);  // the other instance's controller moves nothing here
  EXPECT_EQ(plug.GetParam(kHold)->Value(), 0.5);
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
  Move(plug, 99, 12);
  EXPECT_STREQ(readout.GetTextForPlug(), "unchanged");
  plug.AttachValueDisplay(nullptr);
}

TEST_F(MidiLearnTest, ClearModeEmptiesTheEntryOfEveryIndexThatChangesButtonsIncluded) {
  SetParam(plug, kClear, 1.0);
  // Entries 11..16 are never consulted by the routing, yet a change of their
  // parameter in clear mode empties them like any other.
  for (int idx : {kLearn, kTrigger, kLed, kLeft, kRight}) {
    SetParam(plug, idx, 0.0);
    EXPECT_EQ(plug.BoundController(idx), -1) << idx;
  }
  // Switching clear off is itself a change made in clear mode.
  SetParam(plug, kClear, 0.0);
  EXPECT_EQ(plug.BoundController(kClear), -1);
  // From then on changes keep their bindings.
  ASSERT_TRUE(plug.BindController(3, kDecay));
  SetParam(plug, kDecay, 0.1);
  EXPECT_EQ(plug.BoundController(kDecay), 3);
}

TEST_F(MidiLearnTest, LearningBeforeAnyTargetOnlyUnbindsTheController) {
  // Learn on, no sound parameter touched since: controller 0 is taken from
  // every parameter and given to none, so it moves nothing.
  ASSERT_TRUE(plug.BindController(0, kMidiAccentFlag));
  SetParam(plug, kLearn, 1.0);
  ASSERT_EQ(plug.LearnParam(), -1);
  Move(plug, 0, 127);
  for (int k = 0; k < kNumParams; ++k) EXPECT_EQ(plug.BoundController(k), -1) << k;
  EXPECT_EQ(plug.GetParam(kMidiAccentFlag)->Value(), 0.0);
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 0);
}
