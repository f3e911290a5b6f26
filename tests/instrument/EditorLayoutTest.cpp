// The instrument's editor: its 20 controls, what drawing changes, the LED, the readout and the buttons.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>

#include "EditorTestUtil.h"
#include "InstrumentRig.h"
#include "framework/IParam.h"
#include "graphics/IKnobControl.h"
#include "graphics/ISwitchControl.h"
#include "graphics/ITextControl.h"
#include "instrument/INonClickable.h"
#include "instrument/PresetFunctionsMenu.h"
#include "platform/headless/IGraphicsHeadless.h"

using namespace kttest;

namespace {

// The rectangle a control centred click lands in.
void Click(IGraphics* g, IControl* c, IMouseMod mod = IMouseMod(true)) {
  const IRECT* r = c->GetRECT();
  const int x = (r->L + r->R) / 2, y = (r->T + r->B) / 2;
  g->OnMouseDown(x, y, &mod);
  g->OnMouseUp(x, y, &mod);
}

bool Overlap(const IRECT& a, const IRECT& b) { return a.L < b.R && b.L < a.R && a.T < b.B && b.T < a.B; }

}  // namespace

TEST(EditorLayout, TwentyControlsOfTheirClassesAtTheirIndicesAndParameters) {
  QiKt412 plug;
  IGraphics* g = plug.Graphics();
  ASSERT_NE(g, nullptr);
  EXPECT_EQ(static_cast<IEditor*>(g), plug.GetGUI());
  ASSERT_EQ(g->GetNControls(), 20);
  EXPECT_EQ(g->GetControl(0)->ParamIdx(), -1);
  EXPECT_EQ(g->GetControl(0)->GetBlend().mMethod, IChannelBlend::kBlendClobber);
  for (int p = 0; p < 9; ++p) {
    EXPECT_EQ(plug.KnobIdx(p), 1 + p);
    EXPECT_NE(dynamic_cast<IKnobMultiControl*>(g->GetControl(1 + p)), nullptr);
    EXPECT_EQ(g->GetControl(1 + p)->ParamIdx(), p);
  }
  struct Expected {
    int idx;
    int param;
    const std::type_info& type;
  };
  const Expected table[] = {{10, kMidiTuneFlag, typeid(ISwitchControl)}, {11, kMidiAccentFlag, typeid(ISwitchControl)},
                            {12, kTrigger, typeid(IContactControl)},     {13, kLearn, typeid(ISwitchControl)},
                            {14, kClear, typeid(ISwitchControl)},        {15, kLed, typeid(INonClickable)},
                            {16, -1, typeid(PresetFunctionsMenu)},       {17, kLeft, typeid(IContactControl)},
                            {18, kRight, typeid(IContactControl)},       {19, -1, typeid(ITextControl)}};
  for (const Expected& e : table) {
    IControl* c = g->GetControl(e.idx);
    EXPECT_EQ(typeid(*c), e.type) << "control " << e.idx;
    EXPECT_EQ(c->ParamIdx(), e.param) << "control " << e.idx;
  }
  EXPECT_EQ(plug.MidiTuneSwitchIdx(), 10);
  EXPECT_EQ(plug.MidiAccentSwitchIdx(), 11);
  EXPECT_EQ(plug.TriggerIdx(), 12);
  EXPECT_EQ(plug.LearnIdx(), 13);
  EXPECT_EQ(plug.ClearIdx(), 14);
  EXPECT_EQ(plug.LedIdx(), 15);
  EXPECT_EQ(static_cast<IControl*>(plug.PresetMenu()), g->GetControl(16));
  EXPECT_EQ(static_cast<IControl*>(plug.ValueDisplay()), g->GetControl(19));
  EXPECT_STREQ(plug.ValueDisplay()->GetTextForPlug(), "0");
  EXPECT_EQ(*g->GetControl(16)->GetRECT(), IRECT(207, 21, 383, 37));
  EXPECT_EQ(*g->GetControl(19)->GetRECT(), IRECT(496, 346, 544, 358));
}

TEST(EditorLayout, RectanglesFollowTheImagesAndNeitherOverlapNorLeaveTheEditor) {
  QiKt412 plug;
  IGraphics* g = plug.Graphics();
  ASSERT_EQ(g->GetNControls(), 20);
  EXPECT_EQ(*g->GetControl(0)->GetRECT(), IRECT(0, 0, 592, 442));
  // Top-left corners of the image controls, by index.
  const int corners[][3] = {{1, 95, 127},  {2, 245, 127}, {3, 395, 127}, {4, 95, 217},  {5, 245, 217},
                            {6, 395, 217}, {7, 95, 308},  {8, 245, 308}, {9, 395, 308}, {10, 34, 170},
                            {11, 184, 170}, {12, 480, 100}, {13, 498, 236}, {14, 521, 236}, {15, 511, 131},
                            {17, 172, 18}, {18, 386, 18}};
  for (const auto& c : corners) {
    auto* bc = dynamic_cast<IBitmapControl*>(g->GetControl(c[0]));
    auto* knob = dynamic_cast<IKnobMultiControl*>(g->GetControl(c[0]));
    ASSERT_TRUE(bc || knob) << c[0];
    const IRECT r = *g->GetControl(c[0])->GetRECT();
    EXPECT_EQ(r.L, c[1]) << c[0];
    EXPECT_EQ(r.T, c[2]) << c[0];
    if (bc) {
      ASSERT_NE(bc->GetBitmap().mData, nullptr) << "image of control " << c[0] << " missing";
      EXPECT_EQ(r.W(), bc->GetBitmap().FrameWidth()) << c[0];
      EXPECT_EQ(r.H(), bc->GetBitmap().FrameHeight()) << c[0];
      EXPECT_EQ(bc->GetBitmap().N, 2) << c[0];
    } else {
      EXPECT_EQ(r.W(), 64);
      EXPECT_EQ(r.H(), 64);
    }
  }
  for (int i = 1; i < 20; ++i) {
    const IRECT a = *g->GetControl(i)->GetRECT();
    EXPECT_TRUE(a.L >= 0 && a.T >= 0 && a.R <= 592 && a.B <= 442) << "control " << i << " leaves the editor";
    for (int j = i + 1; j < 20; ++j)
      EXPECT_FALSE(Overlap(a, *g->GetControl(j)->GetRECT())) << "controls " << i << " and " << j << " overlap";
  }
  // One image file, loaded once, for both keyboard switches.
  auto* tune = dynamic_cast<IBitmapControl*>(g->GetControl(10));
  auto* accent = dynamic_cast<IBitmapControl*>(g->GetControl(11));
  EXPECT_EQ(tune->GetBitmap().mData, accent->GetBitmap().mData);
}

TEST(EditorDrawing, SkinImagesAreDecodedAtTheFirstDrawOnceForEveryInstance) {
  // An instance that renders and is never drawn decodes no image; the first
  // draw decodes what no earlier editor in the process has (at most the
  // nine skin images); a second instance draws from the same decode.
  const int before = IGraphicsHeadless::DecodeCount();
  QiKt412 first;
  Prepare(first, 256);
  NoteOn(first, 0, 33, 100);
  Render(first, 256);
  EXPECT_EQ(IGraphicsHeadless::DecodeCount(), before);
  const IRECT knob = *first.Graphics()->GetControl(first.KnobIdx(kDecay))->GetRECT();
  EXPECT_GT(knob.W(), 0);  // the controls have their sizes without pixels
  DrawAll(first.Graphics());
  const int decoded = IGraphicsHeadless::DecodeCount() - before;
  EXPECT_LE(decoded, 9);
  QiKt412 second;
  DrawAll(second.Graphics());
  EXPECT_EQ(IGraphicsHeadless::DecodeCount() - before, decoded);
  const std::vector<PIX_pixel> a = Pixels(first.Graphics()), b = Pixels(second.Graphics());
  EXPECT_EQ(a, b);
  // The background was drawn: the editor is not left empty.
  int opaque = 0;
  for (PIX_pixel p : a) opaque += PIX_A(p) == 255;
  EXPECT_GT(opaque, static_cast<int>(a.size()) / 2);
}

TEST(EditorDrawing, AKnobMovedByThePlugInRepaintsOnlyInsideItsRectangle) {
  QiKt412 plug;
  IGraphics* g = plug.Graphics();
  DrawAll(g);
  const std::vector<PIX_pixel> before = Pixels(g);
  IRECT dirty;
  EXPECT_FALSE(g->IsDirty(&dirty)) << "a full draw leaves nothing dirty";

  g->SetParameterFromPlug(kDecay, 0.95, true);
  dirty = IRECT();
  ASSERT_TRUE(g->IsDirty(&dirty));
  const IRECT knob = *g->GetControl(plug.KnobIdx(kDecay))->GetRECT();
  EXPECT_EQ(dirty, knob);
  g->Draw(&dirty);
  const std::vector<PIX_pixel> after = Pixels(g);
  ASSERT_EQ(before.size(), after.size());
  int changed = 0;
  for (int y = 0; y < 442; ++y) {
    for (int x = 0; x < 592; ++x) {
      const size_t i = static_cast<size_t>(y) * 592 + static_cast<size_t>(x);
      if (before[i] == after[i]) continue;
      ++changed;
      EXPECT_TRUE(knob.Contains(x, y)) << "pixel " << x << "," << y << " outside the Decay knob changed";
    }
  }
  EXPECT_GT(changed, 20) << "the knob's frame did not change";
}

TEST(EditorDrawing, TheLedLightsOnAHitAndGoesDarkAfterTheHoldTime) {
  QiKt412 plug;
  Prepare(plug, 512);
  IGraphics* g = plug.Graphics();
  IControl* led = g->GetControl(plug.LedIdx());
  DrawAll(g);
  const std::vector<PIX_pixel> dark = Pixels(g);

  NoteOn(plug, 0, 33, 100);
  Render(plug, 512);
  // The render only publishes the LED; the editor's timer tick moves the control.
  EXPECT_EQ(led->GetValue(), 0.0);
  plug.OnIdle();
  EXPECT_EQ(led->GetValue(), 1.0);
  IRECT dirty;
  ASSERT_TRUE(g->IsDirty(&dirty));
  g->Draw(&dirty);
  const std::vector<PIX_pixel> lit = Pixels(g);
  const IRECT r = *led->GetRECT();
  int litPixels = 0;
  for (int y = r.T; y < r.B; ++y)
    for (int x = r.L; x < r.R; ++x) litPixels += dark[static_cast<size_t>(y * 592 + x)] != lit[static_cast<size_t>(y * 592 + x)];
  EXPECT_GT(litPixels, r.W() * r.H() / 8) << "the lit frame should look plainly different";
  EXPECT_EQ(plug.GetParam(kLed)->Value(), 0.0) << "the LED is driven through its control only";

  for (int i = 0; i < 20; ++i) Render(plug, 512);  // over 10000 frames
  plug.OnIdle();
  EXPECT_EQ(led->GetValue(), 0.0);
  dirty = IRECT();
  ASSERT_TRUE(g->IsDirty(&dirty));
  g->Draw(&dirty);
  EXPECT_EQ(Pixels(g), dark);
}

TEST(EditorReadout, ShowsAUserDragOnDecayButNotHostAutomation) {
  QiKt412 plug;
  Prepare(plug, 512);
  IGraphics* g = plug.Graphics();
  ITextControl* readout = plug.ValueDisplay();
  IControl* decay = g->GetControl(plug.KnobIdx(kDecay));
  const IRECT r = *decay->GetRECT();
  IMouseMod left(true);
  g->OnMouseDown(r.L + 30, r.T + 40, &left);
  g->OnMouseDrag(r.L + 30, r.T + 24, &left);  // 16 pixels up: +16 / 64 / 4 = +0.0625
  g->OnMouseUp(r.L + 30, r.T + 24, &left);
  EXPECT_NEAR(plug.GetParam(kDecay)->Value(), 0.5625, 1e-9);
  char display[64];
  plug.GetParam(kDecay)->GetDisplayForHost(display);
  EXPECT_EQ(std::string(readout->GetTextForPlug()), std::string(display) + " " + plug.GetParam(kDecay)->GetLabelForHost());
  EXPECT_EQ(std::string(readout->GetTextForPlug()), "0.5625 ");

  // The host moves Decay: the knob follows, the readout stays.
  SetParam(plug, kDecay, 0.2);
  g->SetParameterFromPlug(kDecay, 0.2, false);
  EXPECT_DOUBLE_EQ(decay->GetValue(), 0.2);
  EXPECT_EQ(std::string(readout->GetTextForPlug()), "0.5625 ");
}

TEST(EditorButtons, TheLedIgnoresClicksAndPadAndButtonsLeaveTheReadout) {
  QiKt412 plug;
  Prepare(plug, 512);
  IGraphics* g = plug.Graphics();
  Click(g, g->GetControl(plug.LedIdx()));
  EXPECT_EQ(plug.GetParam(kLed)->Value(), 0.0);
  EXPECT_EQ(g->GetControl(plug.LedIdx())->GetValue(), 0.0);

  const std::string before = plug.ValueDisplay()->GetTextForPlug();
  for (int idx : {plug.TriggerIdx(), plug.LearnIdx(), plug.ClearIdx(), 17, 18}) Click(g, g->GetControl(idx));
  EXPECT_EQ(plug.ValueDisplay()->GetTextForPlug(), before);
  // The pad's press asked for a hit, which the next block plays and lights the
  // LED with; its release put Trigger back to 0.
  Render(plug, 64);
  EXPECT_EQ(plug.LedState(), 1);
  EXPECT_EQ(plug.GetParam(kTrigger)->Value(), 0.0);
}

TEST(EditorButtons, LearnAndClearSwitchEachOtherOffOnScreen) {
  QiKt412 plug;
  Prepare(plug, 512);
  IGraphics* g = plug.Graphics();
  IControl* learn = g->GetControl(plug.LearnIdx());
  IControl* clear = g->GetControl(plug.ClearIdx());
  Click(g, learn);
  EXPECT_EQ(plug.LearnMode(), 1);
  EXPECT_EQ(learn->GetValue(), 1.0);
  Click(g, clear);
  EXPECT_EQ(plug.ClearMode(), 1);
  EXPECT_EQ(plug.LearnMode(), 0);
  EXPECT_EQ(learn->GetValue(), 0.0) << "switching clear on shows Learn off";
  Click(g, learn);  // the control was shown off, so this click switches learning on again
  EXPECT_EQ(plug.LearnMode(), 1);
  EXPECT_EQ(plug.ClearMode(), 0);
  EXPECT_EQ(clear->GetValue(), 0.0) << "switching Learn on shows clear off";
}
