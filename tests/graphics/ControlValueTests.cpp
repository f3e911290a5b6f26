// IControl value rules: plug-in pushes, user edits, clamping, redraw passes, displays, aux parameters, prompts.
#include <gtest/gtest.h>

#include <cmath>

#include "ControlTestImages.h"
#include "GfxTestPlug.h"
#include "framework/IParam.h"
#include "graphics/IPopupMenu.h"
#include "graphics/IStandardControls.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

// A plug-in with four parameters: 0 "Decay" 0..1 step 0.01 in "ms" (default
// 0.3), 1 a bool "Flag", 2 an enum "Mode" with texts "soft", "mid", "hard",
// 3 "Gain" -12..12 dB.
class ControlValueTest : public ::testing::Test {
protected:
  void SetUp() override {
    plug.GetParam(0)->InitDouble("Decay", 0.3, 0.0, 1.0, 0.01, "ms");
    plug.GetParam(1)->InitBool("Flag", false);
    plug.GetParam(2)->InitEnum("Mode", 0, 3);
    plug.GetParam(2)->SetDisplayText(0, "soft");
    plug.GetParam(2)->SetDisplayText(1, "mid");
    plug.GetParam(2)->SetDisplayText(2, "hard");
    plug.GetParam(3)->InitDouble("Gain", 0.0, -12.0, 12.0, 0.1, "dB");
    gfx = new IGraphicsHeadless(&plug, 300, 200);
  }

  // Hands the surface to the plug-in, which pushes every value in.
  void Attach() {
    plug.AttachGraphics(gfx);
    plug.events.clear();
  }

  GfxTestPlug plug{4};
  IGraphicsHeadless* gfx = nullptr;  // owned by plug once attached
  TestStrip knobStrip{32, 32, 64};

  void TearDown() override {
    if (!plug.GetGUI()) delete gfx;
  }
};

}  // namespace

TEST_F(ControlValueTest, FirstPushBecomesDefaultWithoutMarkingDirty) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  knob->SetClean();
  ASSERT_FALSE(knob->IsDirty());

  knob->SetValueFromPlug(0.3);
  EXPECT_DOUBLE_EQ(knob->GetDefaultValue(), 0.3);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.3);
  EXPECT_FALSE(knob->IsDirty());

  // A later push changes the value, marks the control and asks for one more pass.
  knob->SetValueFromPlug(0.6);
  EXPECT_TRUE(knob->IsDirty());
  EXPECT_DOUBLE_EQ(knob->GetDefaultValue(), 0.3);
  knob->SetClean();
  EXPECT_TRUE(knob->IsDirty()) << "redraw pending keeps it dirty for one more pass";
  knob->SetClean();
  EXPECT_FALSE(knob->IsDirty());
  EXPECT_TRUE(plug.events.empty()) << "values from the plug-in are never sent back";
}

TEST_F(ControlValueTest, UserInputInformsPluginOnlyOnChange) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  ASSERT_DOUBLE_EQ(knob->GetValue(), 0.3);

  knob->SetValueFromUserInput(0.3);
  EXPECT_TRUE(plug.events.empty());

  knob->SetValueFromUserInput(0.5);
  ASSERT_EQ(plug.events.size(), 2u);
  // The plug-in reacts first; the host hears once the plug-in mutex is free.
  EXPECT_EQ(plug.events[0], "change 0");
  EXPECT_EQ(plug.events[1], "inform 0 0.500");
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.5);
}

TEST_F(ControlValueTest, SetDirtyClampsToTheClampRange) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();

  knob->SetValueFromUserInput(1.7);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  EXPECT_EQ(plug.Count("inform 0 1.000"), 1);

  knob->Clamp(0.2, 0.8);
  knob->SetValueFromUserInput(0.05);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.2);
  knob->SetValueFromUserInput(0.95);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.8);
  EXPECT_DOUBLE_EQ(plug.GetParam(0)->Value(), 0.8);
}

TEST_F(ControlValueTest, ClampControlThroughTheSurfaceUsesParameterUnits) {
  auto* gain = new IKnobMultiControl(&plug, 10, 10, 3, &knobStrip.bitmap);
  gfx->AttachControl(gain);
  Attach();
  gfx->ClampControl(3, -6.0, 6.0, false);  // -6..6 dB is 0.25..0.75 of -12..12
  gain->SetValueFromUserInput(0.0);
  EXPECT_DOUBLE_EQ(gain->GetValue(), 0.25);
  EXPECT_DOUBLE_EQ(plug.GetParam(3)->Value(), -6.0);
}

TEST_F(ControlValueTest, ValueAndNameDisplaysAreWrittenOnlyOnUserEdits) {
  IText style;
  IRECT r(200, 10, 290, 22);
  auto* readout = new ITextControl(&plug, &r, &style, "0");
  IRECT r2(200, 30, 290, 42);
  auto* name = new ITextControl(&plug, &r2, &style, "");
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 0, &knobStrip.bitmap);
  knob->SetValDisplayControl(readout);
  knob->SetNameDisplayControl(name);
  gfx->AttachControl(knob);
  gfx->AttachControl(readout);
  gfx->AttachControl(name);
  Attach();
  EXPECT_STREQ(readout->GetTextForPlug(), "0") << "pushing values in does not write the readout";

  gfx->SetParameterFromPlug(0, 0.75, false);  // host automation
  EXPECT_STREQ(readout->GetTextForPlug(), "0");
  EXPECT_STREQ(name->GetTextForPlug(), "");

  knob->SetValueFromUserInput(0.42);
  EXPECT_STREQ(readout->GetTextForPlug(), "0.42 ms");
  EXPECT_STREQ(name->GetTextForPlug(), "Decay");
}

TEST_F(ControlValueTest, BoolReadoutShowsDisplayTextWithoutUnit) {
  TestStrip kyb(20, 10, 2);
  IText style;
  IRECT r(200, 10, 290, 22);
  auto* readout = new ITextControl(&plug, &r, &style, "0");
  auto* sw = new ISwitchControl(&plug, 10, 60, 1, &kyb.bitmap);
  sw->SetValDisplayControl(readout);
  gfx->AttachControl(sw);
  gfx->AttachControl(readout);
  Attach();
  sw->OnMouseDown(12, 62, nullptr);
  EXPECT_STREQ(readout->GetTextForPlug(), "on ");
}

TEST_F(ControlValueTest, TextFromPlugMarksDirtyOnlyForNewText) {
  IText style;
  IRECT r(0, 0, 50, 12);
  ITextControl text(&plug, &r, &style, "abc");
  text.SetClean();
  text.SetTextFromPlug("abc");
  EXPECT_FALSE(text.IsDirty());
  text.SetTextFromPlug("abd");
  EXPECT_TRUE(text.IsDirty());
  EXPECT_STREQ(text.GetTextForPlug(), "abd");
  text.SetTextFromPlug(nullptr);
  EXPECT_STREQ(text.GetTextForPlug(), "");
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ControlValueTest, ControlWithoutParameterNeverCallsThePlugin) {
  TestStrip kyb(20, 10, 2);
  auto* sw = new ISwitchControl(&plug, 10, 60, -1, &kyb.bitmap);
  gfx->AttachControl(sw);
  Attach();
  sw->OnMouseDown(12, 62, nullptr);
  EXPECT_DOUBLE_EQ(sw->GetValue(), 1.0);
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ControlValueTest, HideAndGrayOutMarkDirtyAndSetTheWeight) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 0, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  knob->SetClean();
  knob->GrayOut(true);
  EXPECT_TRUE(knob->IsGrayed());
  EXPECT_FLOAT_EQ(knob->GetBlend().mWeight, 0.25f);
  EXPECT_TRUE(knob->IsDirty());
  knob->GrayOut(false);
  EXPECT_FLOAT_EQ(knob->GetBlend().mWeight, 1.0f);

  knob->SetClean();
  knob->SetClean();
  knob->Hide(true);
  EXPECT_TRUE(knob->IsHidden());
  knob->SetClean();
  EXPECT_TRUE(knob->IsDirty()) << "hiding asks for a second pass";
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ControlValueTest, AuxiliaryParametersFollowThePlugin) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 0, &knobStrip.bitmap);
  knob->AddAuxParam(3);
  knob->AddAuxParam(1);
  gfx->AttachControl(knob);
  Attach();
  EXPECT_EQ(knob->AuxParamIdx(1), 1);
  EXPECT_EQ(knob->AuxParamIdx(3), 0);
  EXPECT_EQ(knob->AuxParamIdx(2), -1);
  // Attaching pushed Gain's normalised default (0.5) into the aux entry.
  EXPECT_DOUBLE_EQ(knob->GetAuxParam(0)->mValue, 0.5);

  knob->SetClean();
  knob->SetClean();
  knob->SetAuxParamValueFromPlug(0, 0.5);
  EXPECT_FALSE(knob->IsDirty()) << "same aux value: nothing happens";
  gfx->SetParameterFromPlug(3, 6.0, false);
  EXPECT_DOUBLE_EQ(knob->GetAuxParam(0)->mValue, 0.75);
  EXPECT_TRUE(knob->IsDirty());
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.3) << "the control's own value is untouched";

  knob->GetAuxParam(1)->mValue = 1.0;
  knob->SetAllAuxParamsFromGUI();
  EXPECT_EQ(plug.Count("inform 3 0.750"), 1);
  EXPECT_EQ(plug.Count("inform 1 1.000"), 1);
  EXPECT_TRUE(plug.GetParam(1)->Bool());
}

TEST_F(ControlValueTest, PromptIsDisabledByDefault) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 2, &knobStrip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  IMouseMod right(false, true);
  gfx->OnMouseDown(20, 20, &right);
  EXPECT_EQ(gfx->MenusShown(), 0);
  EXPECT_EQ(gfx->TextEntriesShown(), 0);
}

TEST_F(ControlValueTest, RightClickPromptsEnumWithMenuOverTheControl) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 2, &knobStrip.bitmap);
  knob->DisablePrompt(false);
  gfx->AttachControl(knob);
  Attach();
  gfx->QueueMenuAnswer({2});
  IMouseMod right(false, true);
  gfx->OnMouseDown(20, 20, &right);
  ASSERT_EQ(gfx->MenusShown(), 1);
  EXPECT_EQ(gfx->LastMenuRect(), IRECT(10, 10, 42, 42));
  ASSERT_EQ(gfx->LastMenu().size(), 3u);
  EXPECT_EQ(gfx->LastMenu()[0].text, "soft");
  EXPECT_TRUE(gfx->LastMenu()[0].flags & IPopupMenuItem::kChecked);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  EXPECT_EQ(plug.GetParam(2)->Int(), 2);
}

TEST_F(ControlValueTest, RightClickPromptsNumberWithCentredTextField) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 3, &knobStrip.bitmap);
  knob->DisablePrompt(false);
  gfx->AttachControl(knob);
  Attach();
  gfx->QueueTextEntryAnswer("6");
  IMouseMod right(false, true);
  gfx->OnMouseDown(20, 20, &right);
  ASSERT_EQ(gfx->TextEntriesShown(), 1);
  // 40 x 16 centred on (26, 26).
  EXPECT_EQ(gfx->LastTextEntryRect(), IRECT(6, 18, 46, 34));
  EXPECT_EQ(gfx->LastTextEntryString(), "0.0");
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.75);
  EXPECT_DOUBLE_EQ(plug.GetParam(3)->Value(), 6.0);
}

TEST_F(ControlValueTest, DismissedPromptLeavesTheValue) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 2, &knobStrip.bitmap);
  knob->DisablePrompt(false);
  gfx->AttachControl(knob);
  Attach();
  knob->PromptUserInput();  // no queued answer: dismissed
  EXPECT_EQ(gfx->MenusShown(), 1);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.0);
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(ControlValueTest, OverlongTextIsCutToTheBuffer) {
  IText style;
  IRECT r(0, 0, 50, 12);
  ITextControl text(&plug, &r, &style, "");
  const std::string longText(400, 'k');
  text.SetTextFromPlug(longText.c_str());
  EXPECT_EQ(std::string(text.GetTextForPlug()), longText.substr(0, ITextControl::kMaxTextLength));
  text.SetClean();
  text.SetTextFromPlug(longText.c_str());
  EXPECT_FALSE(text.IsDirty()) << "the same overlong text again is not a change";
}

TEST_F(ControlValueTest, NotANumberNeverReachesTheParameter) {
  auto* knob = new IKnobMultiControl(&plug, 10, 10, 3, &knobStrip.bitmap);
  knob->DisablePrompt(false);
  gfx->AttachControl(knob);
  Attach();
  gfx->QueueTextEntryAnswer("nan");
  knob->PromptUserInput();
  EXPECT_EQ(gfx->TextEntriesShown(), 1);
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);
  EXPECT_DOUBLE_EQ(plug.GetParam(3)->Value(), 0.0);
  EXPECT_TRUE(plug.events.empty());

  knob->SetValueFromPlug(std::nan(""));
  EXPECT_DOUBLE_EQ(knob->GetValue(), 0.5);

  gfx->QueueTextEntryAnswer("inf");  // an infinite number is clamped like any other
  knob->PromptUserInput();
  EXPECT_DOUBLE_EQ(knob->GetValue(), 1.0);
  EXPECT_DOUBLE_EQ(plug.GetParam(3)->Value(), 12.0);
}
