// Behaviour of the control classes: frames, knob gearing, switches, contacts, faders, buttons, prompts.
#include <gtest/gtest.h>

#include "ControlTestImages.h"
#include "GfxTestPlug.h"
#include "framework/IParam.h"
#include "graphics/IStandardControls.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

class ControlFamilyTest : public ::testing::Test {
protected:
  void SetUp() override {
    // Parameter 2 stays blank for tests that make it an enumeration.
    for (int i : {0, 1, 3}) plug.GetParam(i)->InitDouble("P", 0.0, 0.0, 1.0, 0.001);
    gfx = new IGraphicsHeadless(&plug, 300, 200);
  }
  void TearDown() override {
    if (!plug.GetGUI()) delete gfx;
  }
  void Attach() {
    plug.AttachGraphics(gfx);
    plug.events.clear();
  }
  // Redraws the whole surface and returns the colour at (x, y).
  IColor DrawAndRead(int x, int y) {
    IRECT all(0, 0, gfx->Width(), gfx->Height());
    gfx->Draw(&all);
    return gfx->GetPoint(x, y);
  }

  GfxTestPlug plug{4};
  IGraphicsHeadless* gfx = nullptr;
  TestStrip knobStrip{32, 64, 64};  // frames 32 x 64, so a knob is 64 high
  TestStrip twoFrames{20, 10, 2};
  IMouseMod none;
  IMouseMod shift{true, false, true};
  IMouseMod ctrl{true, false, false, true};
};

}  // namespace

// ---- Frame selection ----

TEST(FilmstripFrame, RoundsToTheNearestFrame) {
  EXPECT_EQ(FilmstripFrame(0.5, 64), 33);  // 1 + int(0.5 + 31.5)
  EXPECT_EQ(FilmstripFrame(0.0, 64), 1);
  EXPECT_EQ(FilmstripFrame(1.0, 64), 64);
  EXPECT_EQ(FilmstripFrame(0.49, 2), 1);
  EXPECT_EQ(FilmstripFrame(0.5, 2), 2);
  EXPECT_EQ(FilmstripFrame(0.7, 1), 1);
  EXPECT_EQ(FilmstripFrame(0.24, 3), 1);
  EXPECT_EQ(FilmstripFrame(0.26, 3), 2);
  // Out-of-range values stay within the strip.
  EXPECT_EQ(FilmstripFrame(1.5, 64), 64);
  EXPECT_EQ(FilmstripFrame(-0.5, 64), 1);
}

TEST(FilmstripFrame, ControlRectangleIsOneFrame) {
  TestStrip vertical(30, 40, 5);
  IRECT r = FrameRECT(7, 9, &vertical.bitmap);
  EXPECT_EQ(r, IRECT(7, 9, 37, 49));
  TestStrip horizontal(30, 40, 5, true);
  EXPECT_EQ(FrameRECT(7, 9, &horizontal.bitmap), IRECT(7, 9, 37, 49));
}

TEST_F(ControlFamilyTest, KnobDrawsTheFrameOfItsValue) {
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  EXPECT_EQ(*knob->GetRECT(), IRECT(10, 20, 42, 84));
  gfx->SetControlFromPlug(0, 0.5);
  EXPECT_EQ(DrawAndRead(20, 40), FrameColor(33));
  gfx->SetControlFromPlug(0, 1.0);
  EXPECT_EQ(DrawAndRead(41, 83), FrameColor(64));
  gfx->SetControlFromPlug(0, 0.0);
  EXPECT_EQ(DrawAndRead(10, 20), FrameColor(1));
}

TEST_F(ControlFamilyTest, HorizontalStripDrawsOneFrame) {
  TestStrip strip(16, 12, 4, true);
  auto* bmp = new IBitmapControl(&plug, 50, 50, 0, &strip.bitmap);
  gfx->AttachControl(bmp);
  Attach();
  gfx->SetControlFromPlug(0, 2.0 / 3.0);
  EXPECT_EQ(DrawAndRead(50, 50), FrameColor(3));
  EXPECT_EQ(DrawAndRead(65, 61), FrameColor(3));
  EXPECT_EQ(gfx->GetPoint(66, 55), IColor(0, 0, 0, 0)) << "nothing drawn beyond one frame";
}

// ---- Knob drag and wheel ----

TEST_F(ControlFamilyTest, DragUpByKnobHeightRaisesByOneOverGearing) {
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap, kVertical, 4.0);
  gfx->AttachControl(knob);
  Attach();
  knob->OnMouseDrag(20, 0, 0, -64, &none);
  EXPECT_NEAR(knob->GetValue(), 0.25, 1e-12);
  knob->OnMouseDrag(20, 0, 0, -64, &shift);
  EXPECT_NEAR(knob->GetValue(), 0.275, 1e-12);
  knob->OnMouseDrag(20, 0, 0, -64, &ctrl);
  EXPECT_NEAR(knob->GetValue(), 0.3, 1e-12);
  knob->OnMouseDrag(20, 0, 0, 32, &none);  // downward lowers it
  EXPECT_NEAR(knob->GetValue(), 0.175, 1e-12);
  knob->OnMouseDrag(20, 0, 500, 0, &none);  // sideways does nothing to a vertical knob
  EXPECT_NEAR(knob->GetValue(), 0.175, 1e-12);
}

TEST_F(ControlFamilyTest, DragThroughTheSurfaceSendsEachStep) {
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  gfx->OnMouseDown(20, 60, &none);
  gfx->OnMouseDrag(20, 28, &none);  // up 32 px: +0.125
  gfx->OnMouseDrag(20, 28, &none);  // same point: ignored
  gfx->OnMouseUp(20, 28, &none);
  EXPECT_NEAR(knob->GetValue(), 0.125, 1e-12);
  EXPECT_EQ(plug.events.front(), "begin 0");
  EXPECT_EQ(plug.Count("inform 0 0.125"), 1);
  EXPECT_EQ(plug.events.back(), "end 0");
}

TEST_F(ControlFamilyTest, KnobStopsAtTheTopAndPluginReceivesOne) {
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  knob->SetValueFromPlug(0.98);
  knob->OnMouseDrag(20, 0, 0, -64, &none);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  EXPECT_EQ(plug.Count("inform 0 1.000"), 1);
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 1.0);
}

TEST_F(ControlFamilyTest, HorizontalKnobFollowsXDrags) {
  IRECT r(0, 0, 100, 20);
  auto* knob = new IKnobLineControl(&plug, &r, 0, &COLOR_WHITE, 0.0, 0.0, -135.0, 135.0, kHorizontal, 2.0);
  gfx->AttachControl(knob);
  Attach();
  knob->OnMouseDrag(0, 0, 50, -300, &none);
  EXPECT_NEAR(knob->GetValue(), 0.25, 1e-12);
  EXPECT_NEAR(knob->Angle(), -67.5, 1e-9);
}

TEST_F(ControlFamilyTest, KnobWithoutHeightIgnoresDrags) {
  IRECT r(5, 5, 40, 5);
  auto* knob = new IKnobLineControl(&plug, &r, 0, &COLOR_WHITE);
  gfx->AttachControl(knob);
  Attach();
  knob->OnMouseDrag(5, 5, 3, 0, &none);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.0);
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ControlFamilyTest, WheelStepsAreHundredthsOrThousandths) {
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  gfx->OnMouseWheel(20, 30, &none, 3);
  EXPECT_NEAR(knob->GetValue(), 0.03, 1e-12);
  gfx->OnMouseWheel(20, 30, &shift, -2);
  EXPECT_NEAR(knob->GetValue(), 0.028, 1e-12);
  gfx->OnMouseWheel(20, 30, &none, -10);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.0);
}

TEST_F(ControlFamilyTest, DoubleClickReturnsToThePushedDefault) {
  plug.GetParam(0)->InitDouble("Decay", 0.3, 0.0, 1.0, 0.001);
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  knob->OnMouseDrag(20, 0, 0, -64, &none);
  ASSERT_NEAR(knob->GetValue(), 0.55, 1e-12);
  plug.events.clear();
  EXPECT_FALSE(gfx->OnMouseDblClick(20, 30, &none));
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.3);
  EXPECT_EQ(plug.Count("inform 0 0.300"), 1);
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.3);
}

TEST_F(ControlFamilyTest, DoubleClickWithoutKnownDefaultDoesNothing) {
  auto* knob = new IKnobMultiControl(&plug, 10, 20, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);  // never pushed: default unknown
  knob->OnMouseDblClick(20, 30, &none);
  EXPECT_TRUE(plug.events.empty());
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.0);
}

// ---- Switches and contacts ----

TEST_F(ControlFamilyTest, TwoFrameSwitchTogglesAndSendsEachClick) {
  auto* sw = new ISwitchControl(&plug, 100, 100, 1, &twoFrames.bitmap);
  gfx->AttachControl(sw);
  Attach();
  gfx->OnMouseDown(105, 105, &none);
  gfx->OnMouseUp(105, 105, &none);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(DrawAndRead(105, 105), FrameColor(2));
  gfx->OnMouseDown(105, 105, &none);
  gfx->OnMouseUp(105, 105, &none);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 0.0);
  EXPECT_EQ(DrawAndRead(105, 105), FrameColor(1));
  EXPECT_EQ(plug.Count("inform 1 1.000"), 1);
  EXPECT_EQ(plug.Count("inform 1 0.000"), 1);
}

TEST_F(ControlFamilyTest, ThreeFrameSwitchStepsAndWraps) {
  TestStrip three(20, 10, 3);
  ISwitchControl sw(&plug, 0, 0, 1, &three.bitmap);
  const double expected[] = {0.5, 1.0, 0.0, 0.5};
  for (double v : expected) {
    sw.OnMouseDown(1, 1, &none);
    EXPECT_NEAR(sw.GetValue(), v, 1e-12);
  }
}

TEST_F(ControlFamilyTest, SwitchStepsOnRightClickAndDoubleClick) {
  auto* sw = new ISwitchControl(&plug, 100, 100, 1, &twoFrames.bitmap);
  gfx->AttachControl(sw);
  Attach();
  IMouseMod right(false, true);
  gfx->OnMouseDown(105, 105, &right);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 1.0);
  EXPECT_EQ(gfx->MenusShown() + gfx->TextEntriesShown(), 0);
  gfx->OnMouseDblClick(105, 105, &none);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 0.0);
}

TEST_F(ControlFamilyTest, ContactSendsOneOnPressAndZeroOnRelease) {
  auto* pad = new IContactControl(&plug, 100, 100, 2, &twoFrames.bitmap);
  gfx->AttachControl(pad);
  Attach();
  gfx->OnMouseDown(105, 105, &none);
  EXPECT_EQ(DrawAndRead(105, 105), FrameColor(2)) << "pressed frame while held";
  gfx->OnMouseUp(250, 190, &none);  // released outside: still reaches the pad
  EXPECT_EQ(DrawAndRead(105, 105), FrameColor(1));
  const std::vector<std::string> expected = {"begin 2", "change 2", "inform 2 1.000", "change 2", "inform 2 0.000",
                                             "end 2"};
  EXPECT_EQ(plug.events, expected);
}

TEST_F(ControlFamilyTest, GreyedControlDrawsAtQuarterWeightAndIgnoresClicks) {
  IRECT r(0, 0, 300, 200);
  gfx->AttachControl(new IPanelControl(&plug, &r, &COLOR_BLACK));
  IRECT pr(10, 10, 30, 30);
  auto* panel = new IPanelControl(&plug, &pr, &COLOR_WHITE);
  gfx->AttachControl(panel);
  auto* sw = new ISwitchControl(&plug, 100, 100, 1, &twoFrames.bitmap);
  gfx->AttachControl(sw);
  Attach();
  panel->GrayOut(true);
  const IColor c = DrawAndRead(15, 15);
  EXPECT_NEAR(c.R, 64, 2);
  EXPECT_NEAR(c.G, 64, 2);
  sw->GrayOut(true);
  gfx->OnMouseDown(105, 105, &none);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 0.0);
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ControlFamilyTest, SwitchFramesPicksTheClickedArea) {
  TestStrip four(40, 10, 4);  // control 40 x 10, four 10 x 10 areas side by side
  auto* sf = new ISwitchFramesControl(&plug, 0, 0, 1, &four.bitmap, true);
  ASSERT_EQ(sf->GetAreas().size(), 4u);
  EXPECT_EQ(sf->GetAreas()[2], IRECT(20, 0, 30, 10));
  sf->OnMouseDown(25, 5, &none);
  EXPECT_NEAR(sf->GetValue(), 2.0 / 3.0, 1e-12);
  sf->OnMouseDown(39, 9, &none);
  EXPECT_DOUBLE_EQ(sf->GetValue(), 1.0);
  delete sf;
}

TEST_F(ControlFamilyTest, InvisibleSwitchTogglesAroundOneHalf) {
  IRECT r(0, 0, 10, 10);
  IInvisibleSwitchControl sw(&plug, &r, 1);
  sw.SetValueFromPlug(0.4);
  sw.OnMouseDown(1, 1, &none);
  EXPECT_DOUBLE_EQ(sw.GetValue(), 1.0);
  sw.OnMouseDown(1, 1, &none);
  EXPECT_DOUBLE_EQ(sw.GetValue(), 0.0);
}

TEST_F(ControlFamilyTest, RadioButtonsSpreadSelectAndDraw) {
  IRECT r(10, 10, 110, 20);
  auto* radio = new IRadioButtonsControl(&plug, &r, 1, 3, &twoFrames.bitmap, kHorizontal);
  gfx->AttachControl(radio);
  Attach();
  ASSERT_EQ(radio->GetButtons().size(), 3u);
  EXPECT_EQ(radio->GetButtons()[0], IRECT(10, 10, 30, 20));
  EXPECT_EQ(radio->GetButtons()[1], IRECT(50, 10, 70, 20));
  EXPECT_EQ(radio->GetButtons()[2], IRECT(90, 10, 110, 20));
  gfx->OnMouseDown(60, 15, &none);
  EXPECT_DOUBLE_EQ(radio->GetValue(), 0.5);
  EXPECT_EQ(DrawAndRead(60, 15), FrameColor(2));
  EXPECT_EQ(gfx->GetPoint(15, 15), FrameColor(1));
  EXPECT_EQ(gfx->GetPoint(100, 15), FrameColor(1));
  gfx->OnMouseDown(40, 15, &none);  // between buttons: nothing
  EXPECT_DOUBLE_EQ(radio->GetValue(), 0.5);
}

TEST_F(ControlFamilyTest, ReversedRadioButtonsPutTheFirstValueLast) {
  IRECT r(0, 0, 20, 100);
  IRadioButtonsControl radio(&plug, &r, 1, 2, &twoFrames.bitmap, kVertical, true);
  radio.OnMouseDown(5, 95, &none);
  EXPECT_DOUBLE_EQ(radio.GetValue(), 0.0);
  radio.OnMouseDown(5, 5, &none);
  EXPECT_DOUBLE_EQ(radio.GetValue(), 1.0);
}

TEST_F(ControlFamilyTest, FaderSnapsTheHandleToTheMouse) {
  TestStrip handle(20, 10, 1);
  auto* fader = new IFaderControl(&plug, 50, 20, 110, 0, &handle.bitmap);  // travel 100
  gfx->AttachControl(fader);
  Attach();
  EXPECT_EQ(*fader->GetRECT(), IRECT(50, 20, 70, 130));
  EXPECT_EQ(fader->GetHandleRECT(0.0), IRECT(50, 120, 70, 130));
  EXPECT_EQ(fader->GetHandleRECT(1.0), IRECT(50, 20, 70, 30));
  gfx->OnMouseDown(60, 75, &none);  // handle centre at 75: 1 - (75 - 20 - 5) / 100
  EXPECT_DOUBLE_EQ(fader->GetValue(), 0.5);
  gfx->OnMouseDrag(60, 45, &none);
  EXPECT_DOUBLE_EQ(fader->GetValue(), 0.8);
  gfx->OnMouseDrag(60, 0, &none);
  EXPECT_DOUBLE_EQ(fader->GetValue(), 1.0);
  gfx->OnMouseUp(60, 0, &none);
  EXPECT_EQ(DrawAndRead(60, 25), FrameColor(1));
  fader->OnMouseWheel(0, 0, &shift, -5);
  EXPECT_NEAR(fader->GetValue(), 0.995, 1e-12);
}

TEST_F(ControlFamilyTest, FaderOnlyHandleIsHitOnTheHandle) {
  TestStrip handle(20, 10, 1);
  IFaderControl fader(&plug, 0, 0, 110, 0, &handle.bitmap, kVertical, true);
  EXPECT_TRUE(fader.IsHit(5, 105));
  EXPECT_FALSE(fader.IsHit(5, 50));
  TestStrip tall(20, 200, 1);
  IFaderControl stuck(&plug, 0, 0, 100, 0, &tall.bitmap);
  stuck.OnMouseDown(5, 50, &none);  // no travel: value untouched
  EXPECT_DOUBLE_EQ(stuck.GetValue(), 0.0);
}

TEST_F(ControlFamilyTest, OverlayIsHitInTargetAreaUntilShown) {
  IRECT target(0, 0, 10, 10);
  auto* overlay = new IBitmapOverlayControl(&plug, 50, 50, 1, &twoFrames.bitmap, &target);
  gfx->AttachControl(overlay);
  Attach();
  EXPECT_TRUE(overlay->IsHit(5, 5));
  EXPECT_FALSE(overlay->IsHit(55, 55));
  EXPECT_EQ(DrawAndRead(55, 55), IColor(0, 0, 0, 0)) << "hidden overlay draws nothing";
  gfx->OnMouseDown(5, 5, &none);
  gfx->OnMouseUp(5, 5, &none);
  EXPECT_DOUBLE_EQ(overlay->GetValue(), 1.0);
  EXPECT_TRUE(overlay->IsHit(55, 55));
  EXPECT_FALSE(overlay->IsHit(5, 5));
  EXPECT_EQ(DrawAndRead(55, 55), FrameColor(2));
}

TEST_F(ControlFamilyTest, SwitchPopUpOpensTheMenuAndTakesTheChoice) {
  plug.GetParam(2)->InitEnum("Mode", 0, 3);
  for (int i = 0; i < 3; ++i) plug.GetParam(2)->SetDisplayText(i, i == 0 ? "a" : i == 1 ? "b" : "c");
  TestStrip three(20, 10, 3);
  auto* sw = new ISwitchPopUpControl(&plug, 100, 100, 2, &three.bitmap);
  gfx->AttachControl(sw);
  Attach();
  gfx->QueueMenuAnswer({1});
  gfx->OnMouseDown(105, 105, &none);
  EXPECT_EQ(gfx->MenusShown(), 1);
  EXPECT_EQ(gfx->LastMenuRect(), IRECT(100, 100, 120, 110));
  EXPECT_DOUBLE_EQ(sw->GetValue(), 0.5);
  EXPECT_EQ(plug.GetParam(2)->Int(), 1);
}

TEST_F(ControlFamilyTest, CaptionPromptsOnClickAndShowsDisplayText) {
  plug.GetParam(3)->InitDouble("Gain", 1.5, -12.0, 12.0, 0.1, "dB");
  IRECT r(10, 10, 90, 22);
  IText style;
  auto* caption = new ICaptionControl(&plug, &r, 3, &style);
  gfx->AttachControl(caption);
  Attach();
  caption->UpdateCaption();
  EXPECT_STREQ(caption->GetTextForPlug(), "1.5 dB");
  gfx->QueueTextEntryAnswer("-3");
  gfx->OnMouseDown(20, 15, &none);
  EXPECT_EQ(gfx->TextEntriesShown(), 1);
  EXPECT_DOUBLE_EQ(plug.GetParam(3)->Value(), -3.0);
  caption->UpdateCaption();
  EXPECT_STREQ(caption->GetTextForPlug(), "-3.0 dB");

  IRECT r2(10, 30, 90, 42);
  ICaptionControl bare(&plug, &r2, 3, &style, false);
  bare.UpdateCaption();
  EXPECT_STREQ(bare.GetTextForPlug(), "-3.0");
}

TEST_F(ControlFamilyTest, URLControlFallsBackToTheBackupAddress) {
  IRECT r(0, 0, 50, 10);
  gfx->AttachControl(new IURLControl(&plug, &r, "http://first.example", "http://second.example", "failed"));
  Attach();
  gfx->SetOpenURLResult(false);
  gfx->OnMouseDown(5, 5, &none);
  ASSERT_EQ(gfx->OpenedURLs().size(), 2u);
  EXPECT_EQ(gfx->OpenedURLs()[0], "http://first.example");
  EXPECT_EQ(gfx->OpenedURLs()[1], "http://second.example");
  gfx->SetOpenURLResult(true);
  gfx->OnMouseDown(5, 5, &none);
  EXPECT_EQ(gfx->OpenedURLs().size(), 3u) << "no fallback after success";
}

TEST_F(ControlFamilyTest, URLControlCutsOverlongAddresses) {
  IRECT r(0, 0, 50, 10);
  std::string longURL(400, 'x');
  IURLControl url(&plug, &r, longURL.c_str(), "");
  EXPECT_EQ(std::string(url.GetURL()), longURL.substr(0, 255));
}

TEST_F(ControlFamilyTest, FileSelectorKeepsAConfirmedChoiceOnly) {
  IRECT r(0, 0, 20, 10);
  auto* fs = new IFileSelectorControl(&plug, &r, 1, &twoFrames.bitmap, kFileOpen, "/tmp/presets/", "qipreset");
  gfx->AttachControl(fs);
  Attach();
  gfx->OnMouseDown(5, 5, &none);  // cancelled
  EXPECT_STREQ(fs->GetLastSelectedFileForPlug(), "");
  EXPECT_STREQ(fs->GetDir(), "/tmp/presets/");
  EXPECT_EQ(plug.Count("inform 1 1.000"), 0);
  gfx->QueueFileAnswer("/data/kits/deep.qipreset");
  gfx->OnMouseDown(5, 5, &none);
  EXPECT_STREQ(fs->GetLastSelectedFileForPlug(), "/data/kits/deep.qipreset");
  EXPECT_STREQ(fs->GetDir(), "/data/kits/");
  EXPECT_EQ(plug.Count("inform 1 1.000"), 1);
  EXPECT_TRUE(fs->IsDirty());
}
