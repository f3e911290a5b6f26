// Values between the plug-in and the editor: pushes from the plug-in, user edits, prompts, layout calls.
#include <gtest/gtest.h>

#include "GfxRecordingControl.h"
#include "GfxTestPlug.h"
#include "framework/IParam.h"
#include "graphics/IPanelControl.h"
#include "pix/PIX_Bitmap.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

enum { kGain = 0, kMode, kOn, kSteps };

// Parameters: gain -10..10 dB, a three-way mode, an on/off switch, steps 0..10.
// One recording control per parameter plus a background.
struct ValuesFixture : ::testing::Test {
  GfxTestPlug plug{5};  // the fifth parameter is left for single tests
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 200, 100);
  GfxRecordingControl* bg = new GfxRecordingControl(&plug, IRECT(0, 0, 200, 100));
  GfxRecordingControl* gain = new GfxRecordingControl(&plug, IRECT(0, 0, 40, 40), kGain);
  GfxRecordingControl* mode = new GfxRecordingControl(&plug, IRECT(50, 0, 90, 40), kMode);
  GfxRecordingControl* on = new GfxRecordingControl(&plug, IRECT(100, 0, 140, 40), kOn);
  GfxRecordingControl* steps = new GfxRecordingControl(&plug, IRECT(150, 0, 190, 40), kSteps);
  IRECT promptRect{10, 10, 50, 26};

  void SetUp() override {
    plug.GetParam(kGain)->InitDouble("Gain", 0.0, -10.0, 10.0, 0.01, "dB");
    plug.GetParam(kMode)->InitEnum("Mode", 1, 3);
    plug.GetParam(kMode)->SetDisplayText(0, "low");
    plug.GetParam(kMode)->SetDisplayText(1, "mid");
    plug.GetParam(kMode)->SetDisplayText(2, "high");
    plug.GetParam(kOn)->InitBool("On", false);
    plug.GetParam(kSteps)->InitInt("Steps", 0, 0, 10);
    for (IControl* c : {(IControl*)bg, (IControl*)gain, (IControl*)mode, (IControl*)on, (IControl*)steps}) {
      g->AttachControl(c);
    }
    plug.AttachGraphics(g);
    plug.events.clear();
  }
};

}  // namespace

TEST_F(ValuesFixture, AttachingPushesEveryParameterIntoItsControl) {
  EXPECT_DOUBLE_EQ(0.5, gain->GetValue());
  EXPECT_DOUBLE_EQ(0.5, mode->GetValue());
  EXPECT_DOUBLE_EQ(0.0, on->GetValue());
  ASSERT_NE(nullptr, g->GetDrawBitmap());
  EXPECT_EQ(200, g->GetDrawBitmap()->getWidth());
  EXPECT_EQ(100, g->GetDrawBitmap()->getHeight());
}

TEST_F(ValuesFixture, PlainValueFromThePlugInIsNormalised) {
  g->SetParameterFromPlug(kGain, 5.0, false);
  EXPECT_DOUBLE_EQ(0.75, gain->GetValue());
  g->SetParameterFromPlug(kGain, 0.1, true);
  EXPECT_DOUBLE_EQ(0.1, gain->GetValue());
  EXPECT_TRUE(plug.events.empty());  // the plug-in is not told its own value back
}

TEST_F(ValuesFixture, PlainValueForAParameterThePlugInLacksMovesNothing) {
  g->SetParameterFromPlug(42, 3.0, false);
  g->SetParameterFromPlug(-1, 0.3, true);
  EXPECT_DOUBLE_EQ(0.5, gain->GetValue());
  EXPECT_DOUBLE_EQ(0.0, bg->GetValue());
}

TEST_F(ValuesFixture, AuxiliaryParametersFollowThePlugIn) {
  gain->AddAuxParam(kSteps);
  g->SetParameterFromPlug(kSteps, 0.3, true);
  EXPECT_DOUBLE_EQ(0.3, gain->GetAuxParam(0)->mValue);
  EXPECT_DOUBLE_EQ(0.3, steps->GetValue());
  EXPECT_DOUBLE_EQ(0.5, gain->GetValue());
}

TEST_F(ValuesFixture, SetControlFromPlugIgnoresIndexesOutsideTheList) {
  g->SetControlFromPlug(g->GetNControls(), 0.9);
  g->SetControlFromPlug(-1, 0.9);
  for (int i = 0; i < g->GetNControls(); ++i) EXPECT_NE(0.9, g->GetControl(i)->GetValue());
  g->SetControlFromPlug(1, 0.9);
  EXPECT_DOUBLE_EQ(0.9, gain->GetValue());
}

TEST_F(ValuesFixture, ValueFromTheEditorReachesThePlugIn) {
  g->SetParameterFromGUI(kGain, 0.25);
  EXPECT_DOUBLE_EQ(0.25, gain->GetValue());
  EXPECT_DOUBLE_EQ(-5.0, plug.GetParam(kGain)->Value());
  ASSERT_EQ(2u, plug.events.size());
  EXPECT_EQ("change 0", plug.events[0]);
  EXPECT_EQ("inform 0 0.250", plug.events[1]);
}

TEST_F(ValuesFixture, AllControlsDirtyWithoutNoticeToThePlugIn) {
  IRECT all(0, 0, 200, 100);
  g->Draw(&all);
  IRECT r;
  EXPECT_FALSE(g->IsDirty(&r));
  g->SetAllControlsDirty();
  EXPECT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(all, r);
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ValuesFixture, EnumPromptShowsTheDisplayTextsWithTheCurrentOneChecked) {
  g->QueueMenuAnswer({2});
  g->PromptUserInput(mode, plug.GetParam(kMode), &promptRect);
  ASSERT_EQ(1, g->MenusShown());
  const auto& items = g->LastMenu();
  ASSERT_EQ(3u, items.size());
  EXPECT_EQ("low", items[0].text);
  EXPECT_EQ("mid", items[1].text);
  EXPECT_EQ("high", items[2].text);
  EXPECT_FALSE(items[0].flags & IPopupMenuItem::kChecked);
  EXPECT_TRUE(items[1].flags & IPopupMenuItem::kChecked);
  EXPECT_EQ(promptRect, g->LastMenuRect());
  // The chosen index is the enumeration's value.
  EXPECT_DOUBLE_EQ(1.0, mode->GetValue());
  EXPECT_DOUBLE_EQ(2.0, plug.GetParam(kMode)->Value());
  EXPECT_EQ(1, plug.Count("inform 1 1.000"));
}

TEST_F(ValuesFixture, MenuItemStandsForItsDisplayTextsValue) {
  // Texts declared out of value order: item 0 is "x" for value 2.
  IParam* p = plug.GetParam(4);
  p->InitEnum("Order", 0, 3);
  p->SetDisplayText(2, "x");
  p->SetDisplayText(0, "y");
  p->SetDisplayText(1, "z");
  GfxRecordingControl* order = new GfxRecordingControl(&plug, IRECT(0, 50, 40, 90), 4);
  g->AttachControl(order);
  g->QueueMenuAnswer({0});
  g->PromptUserInput(order, p, &promptRect);
  EXPECT_EQ("x", g->LastMenu().at(0).text);
  EXPECT_DOUBLE_EQ(2.0, p->Value());
  EXPECT_DOUBLE_EQ(1.0, order->GetValue());
}

TEST_F(ValuesFixture, DismissedMenuLeavesTheValue) {
  g->PromptUserInput(mode, plug.GetParam(kMode), &promptRect);
  EXPECT_EQ(1, g->MenusShown());
  EXPECT_DOUBLE_EQ(0.5, mode->GetValue());
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ValuesFixture, BoolPromptIsAMenuOfItsTwoTexts) {
  g->QueueMenuAnswer({1});
  g->PromptUserInput(on, plug.GetParam(kOn), &promptRect);
  ASSERT_EQ(2u, g->LastMenu().size());
  EXPECT_EQ("off", g->LastMenu()[0].text);
  EXPECT_TRUE(g->LastMenu()[0].flags & IPopupMenuItem::kChecked);
  EXPECT_DOUBLE_EQ(1.0, on->GetValue());
  EXPECT_TRUE(plug.GetParam(kOn)->Bool());
}

TEST_F(ValuesFixture, NumericPromptOpensATextEntryWithThePlainNumber) {
  g->QueueTextEntryAnswer("2.5");
  g->PromptUserInput(gain, plug.GetParam(kGain), &promptRect);
  EXPECT_EQ(0, g->MenusShown());
  EXPECT_EQ(1, g->TextEntriesShown());
  EXPECT_EQ("0.00", g->LastTextEntryString());
  EXPECT_EQ(promptRect, g->LastTextEntryRect());
  EXPECT_DOUBLE_EQ(0.625, gain->GetValue());
  EXPECT_DOUBLE_EQ(2.5, plug.GetParam(kGain)->Value());
  EXPECT_FALSE(g->TextEntryOpen());
}

TEST_F(ValuesFixture, TextEntryStaysOpenUntilCommitted) {
  g->PromptUserInput(steps, plug.GetParam(kSteps), &promptRect);
  EXPECT_TRUE(g->TextEntryOpen());
  // A second prompt while one is open does nothing.
  g->PromptUserInput(gain, plug.GetParam(kGain), &promptRect);
  EXPECT_EQ(1, g->TextEntriesShown());
  EXPECT_TRUE(g->CommitTextEntry("7"));
  EXPECT_DOUBLE_EQ(0.7, steps->GetValue());
  EXPECT_EQ(7, plug.GetParam(kSteps)->Int());
  EXPECT_FALSE(g->CommitTextEntry("8"));
}

TEST_F(ValuesFixture, ForceEndUserEditDropsTheText) {
  g->PromptUserInput(steps, plug.GetParam(kSteps), &promptRect);
  g->ForceEndUserEdit();
  EXPECT_FALSE(g->CommitTextEntry("7"));
  EXPECT_DOUBLE_EQ(0.0, steps->GetValue());
}

TEST_F(ValuesFixture, NegatedDisplayNegatesTypedNumbers) {
  plug.GetParam(kGain)->SetDisplayNegated(true);
  g->SetFromStringAfterPrompt(gain, plug.GetParam(kGain), "3");
  EXPECT_DOUBLE_EQ(-3.0, plug.GetParam(kGain)->Value());
  EXPECT_NEAR(0.35, gain->GetValue(), 1e-12);
}

TEST_F(ValuesFixture, TypedTextOfAnEnumMapsThroughItsDisplayTexts) {
  g->SetFromStringAfterPrompt(mode, plug.GetParam(kMode), "high");
  EXPECT_DOUBLE_EQ(2.0, plug.GetParam(kMode)->Value());
  g->SetFromStringAfterPrompt(mode, plug.GetParam(kMode), "nonsense");
  EXPECT_DOUBLE_EQ(0.0, plug.GetParam(kMode)->Value());
  EXPECT_DOUBLE_EQ(0.0, mode->GetValue());
}

TEST_F(ValuesFixture, GarbageTypedIntoANumberGivesTheLowEnd) {
  g->SetFromStringAfterPrompt(gain, plug.GetParam(kGain), "abc");
  EXPECT_DOUBLE_EQ(0.0, plug.GetParam(kGain)->Value());  // read as 0 dB
  g->SetFromStringAfterPrompt(gain, plug.GetParam(kGain), "1e9");
  EXPECT_DOUBLE_EQ(1.0, gain->GetValue());  // clamped, not past the range
}

TEST_F(ValuesFixture, PromptWithAnythingMissingDoesNothing) {
  g->QueueMenuAnswer({0});
  g->PromptUserInput(nullptr, plug.GetParam(kMode), &promptRect);
  g->PromptUserInput(mode, nullptr, &promptRect);
  g->PromptUserInput(mode, plug.GetParam(kMode), nullptr);
  g->SetFromStringAfterPrompt(gain, nullptr, "3");
  EXPECT_EQ(0, g->MenusShown());
  EXPECT_EQ(0, g->TextEntriesShown());
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ValuesFixture, ClampControlConvertsPlainBounds) {
  g->ClampControl(kGain, -5.0, 5.0, false);
  gain->SetValueFromUserInput(1.0);
  EXPECT_DOUBLE_EQ(0.75, gain->GetValue());
  EXPECT_DOUBLE_EQ(5.0, plug.GetParam(kGain)->Value());
  g->ClampControl(kGain, 0.1, 0.2, true);
  gain->SetValueFromUserInput(0.0);
  EXPECT_DOUBLE_EQ(0.1, gain->GetValue());
}

TEST_F(ValuesFixture, ParameterNamesBecomeTooltips) {
  g->AssignParamNameToolTips();
  EXPECT_STREQ("Gain", gain->GetTooltip());
  EXPECT_STREQ("Mode", mode->GetTooltip());
  EXPECT_STREQ("", bg->GetTooltip());
}

TEST_F(ValuesFixture, ResizeDropsTheControlsAndAsksThePlugIn) {
  g->OnMouseDown(5, 5, nullptr);
  g->Resize(300, 150);
  EXPECT_EQ(0, g->GetNControls());
  EXPECT_EQ(-1, g->GetMouseCapture());
  EXPECT_EQ(300, g->Width());
  EXPECT_EQ(150, g->Height());
  EXPECT_EQ(300, g->GetDrawBitmap()->getWidth());
  EXPECT_EQ(1, plug.Count("resize 300 150"));
  // The same size again is no change at all.
  g->Resize(300, 150);
  EXPECT_EQ(1, plug.Count("resize 300 150"));
}

TEST_F(ValuesFixture, PanelBackgroundGoesUnderEverything) {
  g->AttachPanelBackground(&COLOR_BLUE);
  ASSERT_EQ(6, g->GetNControls());
  IRECT expected(0, 0, 200, 100);
  EXPECT_EQ(expected, *g->GetControl(0)->GetRECT());
  EXPECT_EQ(bg, g->GetControl(1));
  IRECT all(0, 0, 200, 100);
  bg->mFill = gain->mFill = mode->mFill = on->mFill = steps->mFill = false;
  g->Draw(&all);
  EXPECT_EQ(COLOR_BLUE, g->GetPoint(199, 99));
}

TEST(GraphicsFrameRate, ZeroOrNegativeGivesTwentyFive) {
  GfxTestPlug plug;
  IGraphicsHeadless a(&plug, 10, 10, 0), b(&plug, 10, 10, -4), c(&plug, 10, 10, 60);
  EXPECT_EQ(25, a.FPS());
  EXPECT_EQ(25, b.FPS());
  EXPECT_EQ(60, c.FPS());
}

TEST(GraphicsLifetime, KeyCatcherAlsoInTheListIsDeletedOnce) {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 10, 10);
  GfxRecordingControl* c = new GfxRecordingControl(&plug, IRECT(0, 0, 10, 10));
  g->AttachControl(c);
  g->AttachKeyCatcher(c);
  plug.AttachGraphics(g);  // deleted with the plug-in; ASan reports a double delete
}

TEST(GraphicsLifetime, ReplacedKeyCatcherIsNotLeaked) {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 10, 10);
  g->AttachKeyCatcher(new GfxRecordingControl(&plug, IRECT(0, 0, 1, 1)));
  GfxRecordingControl* second = new GfxRecordingControl(&plug, IRECT(0, 0, 1, 1));
  g->AttachKeyCatcher(second);  // LeakSanitizer reports the first if it is dropped
  g->AttachKeyCatcher(second);  // the same one again is no replacement
  EXPECT_EQ(second, g->GetKeyCatcher());
  EXPECT_EQ(-1, g->AttachControl(nullptr));
  EXPECT_EQ(0, g->GetNControls());
  plug.AttachGraphics(g);
}
