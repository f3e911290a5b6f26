// Controls drawn through the surface: redraw passes, knob angles, fader and file-selector looks.
#include <gtest/gtest.h>

#include <cmath>

#include "ControlTestImages.h"
#include "GfxTestPlug.h"
#include "graphics/IStandardControls.h"
#include "pix/PIX_Primitives.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

const IColor kClear(0, 0, 0, 0);

class ControlDrawingTest : public ::testing::Test {
protected:
  void SetUp() override {
    plug.GetParam(0)->InitDouble("P", 0.0, 0.0, 1.0, 0.001);
    gfx = new IGraphicsHeadless(&plug, 200, 200);
  }
  void Attach() {
    plug.AttachGraphics(gfx);
    plug.events.clear();
  }
  void DrawAll() {
    IRECT all(0, 0, gfx->Width(), gfx->Height());
    gfx->Draw(&all);
  }
  bool SurfaceDirty() {
    IRECT r;
    return gfx->IsDirty(&r);
  }

  GfxTestPlug plug{1};
  IGraphicsHeadless* gfx = nullptr;  // owned by plug
};

// A 41 x 41 image, transparent but for a 5 x 5 white block at the top centre,
// so a turn shows where the block lands.
struct PointerImage {
  PIX_MemBitmap pixels{41, 41};
  IBitmap bitmap;
  PointerImage() {
    PIX_Clear(&pixels, 0);
    PIX_FillRect(&pixels, 18, 0, 5, 5, COLOR_WHITE.ToPixel(), 1.0f, PIX_BLIT_MODE_COPY);
    bitmap = IBitmap(&pixels, 41, 41);
  }
};

}  // namespace

TEST_F(ControlDrawingTest, PushedChangeStaysDirtyForOneMorePass) {
  TestStrip strip(20, 20, 8);
  auto* knob = new IKnobMultiControl(&plug, 30, 40, 0, &strip.bitmap);
  gfx->AttachControl(knob);
  Attach();
  DrawAll();
  EXPECT_FALSE(SurfaceDirty()) << "a first push equal to the start value changes nothing";

  gfx->SetControlFromPlug(0, 0.5);
  IRECT r;
  ASSERT_TRUE(gfx->IsDirty(&r));
  EXPECT_EQ(r, IRECT(30, 40, 50, 60));
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(35, 45), FrameColor(5));
  EXPECT_TRUE(SurfaceDirty()) << "Redraw() asked for a second pass";
  DrawAll();
  EXPECT_FALSE(SurfaceDirty());
}

TEST_F(ControlDrawingTest, RotaterTurnsClockwiseFromTwelveOClock) {
  PointerImage img;
  auto* knob = new IKnobRotaterControl(&plug, 50, 50, 0, &img.bitmap, -90.0, 90.0);
  gfx->AttachControl(knob);
  Attach();
  EXPECT_EQ(*knob->GetRECT(), IRECT(50, 50, 91, 91));

  gfx->SetControlFromPlug(0, 0.5);  // 0 degrees: block at the top
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(70, 52).R, 255);
  EXPECT_EQ(gfx->GetPoint(88, 70), kClear);

  gfx->SetControlFromPlug(0, 1.0);  // +90 degrees: block at three o'clock
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(88, 70).R, 255);
  EXPECT_EQ(gfx->GetPoint(52, 70).R, 0);
}

TEST_F(ControlDrawingTest, LineKnobRunsFromInnerToOuterRadius) {
  IRECT r(100, 100, 160, 160);  // centre (130, 130)
  auto* knob = new IKnobLineControl(&plug, &r, 0, &COLOR_WHITE, 10.0, 25.0, -90.0, 90.0);
  gfx->AttachControl(knob);
  Attach();
  gfx->SetControlFromPlug(0, 1.0);  // +90 degrees: pointing right
  DrawAll();
  EXPECT_GT(gfx->GetPoint(150, 130).R, 100);
  EXPECT_GT(gfx->GetPoint(142, 130).R, 100);
  EXPECT_EQ(gfx->GetPoint(135, 130), kClear) << "inside the inner radius";
  EXPECT_EQ(gfx->GetPoint(158, 130), kClear) << "beyond the outer radius";
  EXPECT_EQ(gfx->GetPoint(130, 110), kClear) << "not pointing up";
}

TEST_F(ControlDrawingTest, RotatingMaskTurnsOnlyTheMask) {
  PIX_MemBitmap base(41, 41), top(41, 41);
  PIX_Clear(&base, IColor(255, 0, 0, 90).ToPixel());
  PIX_Clear(&top, 0);
  PIX_FillRect(&top, 0, 0, 5, 5, COLOR_GREEN.ToPixel(), 1.0f, PIX_BLIT_MODE_COPY);
  PointerImage mask;
  IBitmap baseB(&base, 41, 41), topB(&top, 41, 41);
  auto* knob = new IKnobRotatingMaskControl(&plug, 20, 20, 0, &baseB, &mask.bitmap, &topB, -90.0, 90.0);
  gfx->AttachControl(knob);
  Attach();
  gfx->SetControlFromPlug(0, 1.0);
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(58, 40).R, 255) << "mask turned to three o'clock";
  EXPECT_EQ(gfx->GetPoint(40, 22), IColor(255, 0, 0, 90)) << "base where the mask was";
  EXPECT_EQ(gfx->GetPoint(21, 21), COLOR_GREEN) << "top layer fixed";
}

TEST_F(ControlDrawingTest, FaderDrawsOnlyItsHandle) {
  TestStrip handle(10, 6, 1);
  auto* fader = new IFaderControl(&plug, 20, 20, 106, 0, &handle.bitmap, kHorizontal);  // travel 96
  gfx->AttachControl(fader);
  Attach();
  gfx->SetControlFromPlug(0, 0.25);
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(44, 22), FrameColor(1));  // handle from x = 20 + 24
  EXPECT_EQ(gfx->GetPoint(43, 22), kClear);
  EXPECT_EQ(gfx->GetPoint(54, 22), kClear);
}

TEST_F(ControlDrawingTest, FileSelectorShowsItsImageWhenIdle) {
  TestStrip icon(16, 16, 1);
  IRECT r(10, 10, 26, 26);
  gfx->AttachControl(new IFileSelectorControl(&plug, &r, -1, &icon.bitmap, kFileOpen));
  Attach();
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(12, 12), FrameColor(1));
}

TEST_F(ControlDrawingTest, InvisibleControlsDrawNothing) {
  IRECT r(0, 0, 200, 200);
  gfx->AttachControl(new IInvisibleSwitchControl(&plug, &r, 0));
  gfx->AttachControl(new IURLControl(&plug, &r, "http://example.invalid"));
  Attach();
  gfx->SetControlFromPlug(0, 1.0);
  DrawAll();
  for (int y = 0; y < 200; y += 37)
    for (int x = 0; x < 200; x += 41) EXPECT_EQ(gfx->GetPoint(x, y), kClear);
}

TEST_F(ControlDrawingTest, PanelFillsItsRectangleOnly) {
  IRECT r(5, 6, 15, 16);
  IColor c(255, 10, 20, 30);
  gfx->AttachControl(new IPanelControl(&plug, &r, &c));
  Attach();
  DrawAll();
  EXPECT_EQ(gfx->GetPoint(5, 6), c);
  EXPECT_EQ(gfx->GetPoint(14, 15), c);
  EXPECT_EQ(gfx->GetPoint(15, 15), kClear);
  EXPECT_EQ(gfx->GetPoint(14, 16), kClear);
}
