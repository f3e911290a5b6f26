// The drawing operations controls call: blend weights and modes, clipping, outlines, single pixels.
#include <gtest/gtest.h>

#include "GfxTestPlug.h"
#include "graphics/IControl.h"
#include "pix/PIX_Blit.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

struct OpsFixture : ::testing::Test {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 40, 30);
  void SetUp() override {
    plug.AttachGraphics(g);
    PIX_Clear(g->GetDrawBitmap(), COLOR_BLACK.ToPixel());
  }
  int Count(IColor c) {
    int n = 0;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) n += g->GetPoint(x, y) == c;
    return n;
  }
};

}  // namespace

TEST_F(OpsFixture, FillWithoutBlendReplacesOpaqueColour) {
  IRECT r(2, 3, 12, 8);
  EXPECT_TRUE(g->FillIRect(&COLOR_WHITE, &r));
  EXPECT_EQ(50, Count(COLOR_WHITE));
  EXPECT_EQ(COLOR_WHITE, g->GetPoint(2, 3));
  EXPECT_EQ(COLOR_WHITE, g->GetPoint(11, 7));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(12, 7));
}

TEST_F(OpsFixture, GreyedWeightGivesAQuarterOfTheColour) {
  // Weight 0.25 in copy mode: 3/4 destination + 1/4 colour.
  IChannelBlend greyed(IChannelBlend::kBlendClobber, 0.25f);
  IRECT r(0, 0, 4, 4);
  g->FillIRect(&COLOR_WHITE, &r, &greyed);
  IColor p = g->GetPoint(1, 1);
  EXPECT_EQ(63, p.R);
  EXPECT_EQ(63, p.G);
  EXPECT_EQ(63, p.B);
}

TEST_F(OpsFixture, AddBlendAddsToTheDestination) {
  IRECT r(0, 0, 4, 4);
  IColor dark(255, 100, 10, 0);
  g->FillIRect(&dark, &r);
  IChannelBlend add(IChannelBlend::kBlendAdd, 1.0f);
  IColor more(255, 200, 20, 5);
  g->FillIRect(&more, &r, &add);
  IColor p = g->GetPoint(0, 0);
  EXPECT_EQ(255, p.R);  // clamped
  EXPECT_EQ(30, p.G);
  EXPECT_EQ(5, p.B);
}

TEST_F(OpsFixture, TransparentColourWithSourceAlphaLeavesPixels) {
  IRECT r(0, 0, 40, 30);
  g->FillIRect(&COLOR_TRANSPARENT, &r);
  EXPECT_EQ(1200, Count(COLOR_BLACK));
}

TEST_F(OpsFixture, FillClipsToTheDrawRectangleDuringAPass) {
  struct Filler : IControl {
    Filler(IPluginBase* p, IRECT r) : IControl(p, &r) {}
    bool Draw(IGraphics* pG) override {
      IRECT big(0, 0, 40, 30);
      return pG->FillIRect(&COLOR_ORANGE, &big);
    }
  };
  g->AttachControl(new Filler(&plug, IRECT(0, 0, 40, 30)));
  IRECT region(10, 10, 20, 15);
  g->Draw(&region);
  EXPECT_EQ(50, Count(COLOR_ORANGE));
  EXPECT_EQ(COLOR_ORANGE, g->GetPoint(10, 10));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(9, 10));
}

TEST_F(OpsFixture, RectOutlineIsOnTheRectanglesOwnEdgePixels) {
  IRECT r(5, 5, 15, 10);
  g->DrawRect(&COLOR_GREEN, &r);
  EXPECT_EQ(2 * 10 + 2 * 3, Count(COLOR_GREEN));
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(5, 5));
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(14, 9));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(10, 7));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(15, 9));
}

TEST_F(OpsFixture, ForcePixelWritesTheColourUnblended) {
  IColor half(128, 10, 20, 30);
  g->ForcePixel(&half, 3, 4);
  EXPECT_EQ(half, g->GetPoint(3, 4));
  g->ForcePixel(&half, -1, 4);  // outside: nothing, no crash
  g->ForcePixel(&half, 40, 4);
  EXPECT_EQ(1, Count(half));
}

TEST_F(OpsFixture, PointRoundsToTheNearestPixel) {
  g->DrawPoint(&COLOR_RED, 6.6f, 2.4f);
  EXPECT_EQ(COLOR_RED, g->GetPoint(7, 2));
  EXPECT_EQ(1, Count(COLOR_RED));
}

TEST_F(OpsFixture, PointCoordinatesTruncateAfterAddingAHalf) {
  // -0.7 + 0.5 = -0.2 truncates to 0 (toward zero), not to -1.
  g->DrawPoint(&COLOR_RED, -0.7f, 2.0f);
  EXPECT_EQ(COLOR_RED, g->GetPoint(0, 2));
  g->DrawPoint(&COLOR_GREEN, 3.0f, -0.6f);
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(3, 0));
  // -1.6 + 0.5 = -1.1 truncates to -1: outside, nothing drawn.
  g->DrawPoint(&COLOR_BLUE, -1.6f, 5.0f);
  EXPECT_EQ(0, Count(COLOR_BLUE));
}

TEST_F(OpsFixture, ReadingOutsideTheBitmapGivesTransparentBlack) {
  EXPECT_EQ(COLOR_TRANSPARENT, g->GetPoint(-1, 0));
  EXPECT_EQ(COLOR_TRANSPARENT, g->GetPoint(40, 0));
  EXPECT_EQ(COLOR_TRANSPARENT, g->GetPoint(0, 30));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(39, 29));
  ASSERT_NE(nullptr, g->GetBits());
}

TEST_F(OpsFixture, FilledRoundRectCoversEachPixelOnce) {
  // At weight 0.5 a pixel blended twice would come out brighter than one
  // blended once; every covered pixel must show the same single blend.
  IChannelBlend half(IChannelBlend::kBlendClobber, 0.5f);
  IRECT r(4, 4, 24, 20);
  g->FillRoundRect(&COLOR_WHITE, &r, &half, 5, false);
  int covered = 0;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      IColor p = g->GetPoint(x, y);
      if (p == COLOR_BLACK) continue;
      ++covered;
      EXPECT_EQ(127, p.R) << x << "," << y;
      EXPECT_TRUE(r.Contains(x, y));
    }
  }
  // Rounded corners leave the very corner pixels out, the middle rows full.
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(4, 4));
  EXPECT_EQ(127, g->GetPoint(4, 12).R);
  EXPECT_EQ(127, g->GetPoint(23, 12).R);
  EXPECT_LT(covered, 20 * 16);
  EXPECT_GT(covered, 20 * 16 - 4 * 25);
}

TEST_F(OpsFixture, LinesAndShapesStayInsideTheBitmap) {
  IChannelBlend none;
  EXPECT_TRUE(g->DrawLine(&COLOR_RED, -10.f, -10.f, 100.f, 100.f, &none, true));
  EXPECT_TRUE(g->DrawArc(&COLOR_RED, 20.f, 15.f, 30.f, 0.f, 3.f, &none, true));
  EXPECT_TRUE(g->DrawCircle(&COLOR_RED, 20.f, 15.f, 8.f, &none, false));
  EXPECT_TRUE(g->FillCircle(&COLOR_RED, 0, 0, 50.f, &none, false));
  IRECT r(-5, -5, 100, 100);
  EXPECT_TRUE(g->RoundRect(&COLOR_RED, &r, &none, 4, true));
  EXPECT_TRUE(g->FillTriangle(&COLOR_RED, -10, 0, 50, 5, 10, 60));
  int xs[] = {0, 30, 45}, ys[] = {0, 2, 40};
  EXPECT_TRUE(g->FillIConvexPolygon(&COLOR_RED, xs, ys, 3));
  EXPECT_TRUE(g->FillIConvexPolygon(&COLOR_RED, xs, ys, 2));
  EXPECT_TRUE(g->FillIConvexPolygon(&COLOR_RED, nullptr, ys, 3));
  EXPECT_GT(Count(COLOR_RED), 0);
}

TEST_F(OpsFixture, VerticalAndRadialLines) {
  g->DrawVerticalLine(&COLOR_BLUE, 3, 2, 10);
  EXPECT_EQ(COLOR_BLUE, g->GetPoint(3, 5));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(4, 5));
  // Angle 0 points up from the centre.
  g->DrawRadialLine(&COLOR_YELLOW, 20.f, 20.f, 0.f, 5.f, 15.f);
  EXPECT_EQ(COLOR_YELLOW, g->GetPoint(20, 10));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(20, 25));
}

TEST_F(OpsFixture, UnrotatedBitmapLandsCentredOnThePoint) {
  PIX_MemBitmap src(6, 4, 4);
  PIX_Clear(&src, COLOR_WHITE.ToPixel());
  IBitmap bm(&src, 6, 4);
  g->DrawRotatedBitmap(&bm, 20, 10, 0.0, 0, nullptr);
  // Top-left at (20 - 3, 10 - 2).
  EXPECT_EQ(COLOR_WHITE, g->GetPoint(18, 9));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(20, 5));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(20, 14));
  EXPECT_GE(Count(COLOR_WHITE), 12);
}

TEST_F(OpsFixture, HorizontalLineCoversItsSpan) {
  g->DrawHorizontalLine(&COLOR_GREEN, 7, 4, 12);
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(4, 7));
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(12, 7));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(13, 7));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(8, 8));
}

TEST_F(OpsFixture, RotatedMaskComposesBaseMaskAndTop) {
  // Base white 8 x 8; the mask is transparent except an opaque red square in
  // its middle; the top layer puts one blue pixel in the corner.
  PIX_MemBitmap base(8, 8, 4), mask(8, 8, 4), top(8, 8, 4);
  PIX_Clear(&base, COLOR_WHITE.ToPixel());
  PIX_Clear(&mask, COLOR_TRANSPARENT.ToPixel());
  PIX_FillRect(&mask, 2, 2, 4, 4, COLOR_RED.ToPixel(), 1.0f, 0);
  PIX_Clear(&top, COLOR_TRANSPARENT.ToPixel());
  PIX_PutPixel(&top, 0, 0, COLOR_BLUE.ToPixel(), 1.0f, 0);
  IBitmap b(&base, 8, 8), m(&mask, 8, 8), t(&top, 8, 8);
  g->DrawRotatedMask(&b, &m, &t, 10, 5, 0.0, nullptr);
  EXPECT_EQ(COLOR_BLUE, g->GetPoint(10, 5));    // top layer
  EXPECT_EQ(COLOR_WHITE, g->GetPoint(11, 6));   // base where the mask is clear
  EXPECT_EQ(COLOR_RED, g->GetPoint(14, 9));     // the mask's square, unrotated
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(18, 5));   // outside the image
  // Without mask and top layer the base alone is drawn.
  g->DrawRotatedMask(&b, nullptr, nullptr, 25, 5, 45.0, nullptr);
  EXPECT_EQ(COLOR_WHITE, g->GetPoint(28, 8));
}
