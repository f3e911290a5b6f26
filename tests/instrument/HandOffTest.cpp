// What crosses between the audio thread and the others: changes wait for the
// next block (or Reset), a pad hit sounds at frame 0 of the next block, and
// what the editor and host must hear of the render reaches them from OnIdle.
#include <gtest/gtest.h>

#include <thread>

#include "InstrumentRig.h"
#include "graphics/IGraphics.h"
#include "graphics/IText.h"
#include "graphics/ITextControl.h"
#include "platform/headless/IGraphicsHeadless.h"

using namespace kttest;

namespace {

constexpr double kDecayAt05 = 0.01551 + 0.33 * 0.5;

// A control bound to a parameter, to see what the editor was told.
class ProbeControl : public IControl {
public:
  ProbeControl(IPluginBase* plug, int paramIdx, IRECT r = IRECT(0, 0, 10, 10))
      : IControl(plug, &r, paramIdx) {}
  bool Draw(IGraphics*) override { return true; }
  double Value() const { return GetValue(); }
};

void SetOnly(QiKt412& plug, int idx, double value) {
  plug.GetParam(idx)->Set(value);
  plug.OnParamChange(idx);
}

}  // namespace

TEST(HandOff, ChangesWaitForTheNextBlockAndResetAppliesThemAtOnce) {
  QiKt412 plug;
  Prepare(plug, 64);
  Render(plug, 64);
  ASSERT_NEAR(plug.Voice().getAmpEnv().getDecay(), kDecayAt05, 1e-6);
  // No render: the voice is the audio thread's, the change waits.
  SetOnly(plug, kDecay, 1.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), kDecayAt05, 1e-6);
  Render(plug, 64);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.34551, 1e-6);
  // A stopped host resets: whatever waits is applied there and then.
  SetOnly(plug, kDecay, 0.0);
  plug.Reset();
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.01551, 1e-6);
}

TEST(HandOff, ManyMoreChangesThanTheQueueHoldsLoseNoFinalValue) {
  QiKt412 plug;
  Prepare(plug, 64);
  Render(plug, 64);
  // A host that stopped rendering while the editor keeps moving knobs.
  for (int i = 0; i < 5000; ++i) {
    SetOnly(plug, kDecay, (i % 10) / 10.0);
    SetOnly(plug, kHold, (i % 7) / 7.0);
  }
  SetOnly(plug, kDecay, 1.0);
  SetOnly(plug, kHold, 1.0);
  Render(plug, 64);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.34551, 1e-6);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getHold(), 0.205, 1e-6);
}

TEST(HandOff, APadHitFromTheEditorThreadSoundsAtFrame0OfTheNextBlock) {
  QiKt412 plug;
  Prepare(plug, 64);
  RefVoice ref;
  Render(plug, 64);
  for (int i = 0; i < 64; ++i) ref.Next();
  std::thread editor([&] {
    plug.SetParameterFromGUI(kTrigger, 1.0);
    plug.SetParameterFromGUI(kTrigger, 0.0);
  });
  editor.join();
  EXPECT_EQ(plug.LedState(), 0);  // nothing has happened yet
  // The pad leaves the velocity as the last note-on set it: none yet, 0.
  ref.Hit(QiKt412::kTriggerNote, 0);
  for (int blk = 0; blk < 8; ++blk) {
    Block b = Render(plug, 64);
    for (int i = 0; i < 64; ++i) ASSERT_EQ(b.left[static_cast<size_t>(i)], ref.Next()) << blk << ":" << i;
  }
  EXPECT_EQ(plug.LedState(), 1);
}

TEST(HandOff, ControllerMovesReachTheEditorAndTheHostOnlyFromTheIdleTick) {
  QiKt412 plug;
  Prepare(plug, 64);
  auto* editor = new IGraphicsHeadless(&plug, 100, 40);
  auto* probe = new ProbeControl(&plug, kDecay);
  editor->AttachControl(probe);
  IRECT r(0, 20, 100, 36);
  IText style;
  auto* readout = new ITextControl(&plug, &r, &style, "");
  editor->AttachControl(readout);
  plug.AttachGraphics(editor);
  plug.AttachValueDisplay(readout);
  editor->OnGUIIdle();
  plug.ClearHostEvents();
  const double before = probe->Value();

  ASSERT_TRUE(plug.BindController(74, kDecay));
  ControlChange(plug, 74, 127, 10);
  Render(plug, 64);
  // The render moved the parameter and the voice...
  EXPECT_EQ(plug.GetParam(kDecay)->Value(), 1.0);
  EXPECT_NEAR(plug.Voice().getAmpEnv().getDecay(), 0.34551, 1e-6);
  EXPECT_EQ(plug.ControllerMoves(), 1);
  // ...but touched neither the editor nor the host.
  EXPECT_EQ(probe->Value(), before);
  EXPECT_STREQ(readout->GetTextForPlug(), "");
  EXPECT_EQ(plug.NHostEvents(), 0);

  editor->OnGUIIdle();  // the editor's timer
  EXPECT_EQ(probe->Value(), 1.0);
  char expected[32];
  plug.GetParam(kDecay)->GetDisplayForHost(1.0, true, expected, true);
  EXPECT_STREQ(readout->GetTextForPlug(), expected);
  ASSERT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange, kDecay), 1);
  // A tick with nothing new tells nobody anything again.
  editor->OnGUIIdle();
  EXPECT_EQ(plug.CountHostEvents(IPluginCLI::kParamValueChange), 1);
  plug.AttachValueDisplay(nullptr);
}

TEST(HandOff, APresetStepAskedForOnTheAudioThreadWaitsForTheIdleTick) {
  QiKt412 plug;
  Prepare(plug, 64);
  Render(plug, 64);  // this thread is now the audio thread
  SetOnly(plug, kRight, 1.0);
  SetOnly(plug, kRight, 0.0);  // the release asks for nothing
  SetOnly(plug, kRight, 1.0);
  SetOnly(plug, kLeft, 1.0);
  SetOnly(plug, kRight, 1.0);
  EXPECT_EQ(plug.PendingPresetSteps(), 2);  // net: two forward
  std::thread idle([&] { plug.OnIdle(); });
  idle.join();
  EXPECT_EQ(plug.PendingPresetSteps(), 0);
  // From any other thread the step is not deferred.
  std::thread editor([&] { SetOnly(plug, kLeft, 1.0); });
  editor.join();
  EXPECT_EQ(plug.PendingPresetSteps(), 0);
}
