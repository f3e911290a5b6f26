// Dirty tracking and the two drawing modes: which controls draw, where, and what stays dirty.
#include <gtest/gtest.h>

#include "GfxRecordingControl.h"
#include "GfxTestPlug.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

// A 200 x 100 editor: a black background, a big red panel A over its left
// half, a control B inside A that paints nothing, and C far right.
struct DrawFixture : ::testing::Test {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 200, 100);
  GfxRecordingControl* bg = new GfxRecordingControl(&plug, IRECT(0, 0, 200, 100), -1, COLOR_BLACK);
  GfxRecordingControl* a = new GfxRecordingControl(&plug, IRECT(0, 0, 100, 100), 0, COLOR_RED);
  GfxRecordingControl* b = new GfxRecordingControl(&plug, IRECT(20, 20, 40, 40), 1, COLOR_GREEN);
  GfxRecordingControl* c = new GfxRecordingControl(&plug, IRECT(150, 10, 190, 50), 2, COLOR_BLUE);
  IRECT all{0, 0, 200, 100};

  void SetUp() override {
    b->mFill = false;
    g->AttachControl(bg);
    g->AttachControl(a);
    g->AttachControl(b);
    g->AttachControl(c);
    plug.AttachGraphics(g);
  }

  void DrawAllAndReset() {
    g->Draw(&all);
    for (GfxRecordingControl* x : {bg, a, b, c}) {
      x->draws = 0;
      x->drawRects.clear();
    }
  }
};

}  // namespace

TEST_F(DrawFixture, ControlsStartDirtyAndTheFirstPassCleansThem) {
  IRECT r;
  EXPECT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(all, r);
  g->Draw(&all);
  IRECT after;
  EXPECT_FALSE(g->IsDirty(&after));
  EXPECT_TRUE(after.Empty());
  EXPECT_EQ(COLOR_RED, g->GetPoint(50, 50));
  EXPECT_EQ(COLOR_BLUE, g->GetPoint(160, 20));
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(120, 80));
}

TEST_F(DrawFixture, DirtyRectangleIsTheUnionOfDirtyControls) {
  DrawAllAndReset();
  g->SetControlFromPlug(2, 0.5);
  g->SetControlFromPlug(3, 0.5);
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  EXPECT_EQ(IRECT(20, 10, 190, 50), r);
}

TEST_F(DrawFixture, StrictModeDrawsOnlyControlsIntersectingTheRectangle) {
  DrawAllAndReset();
  g->SetControlFromPlug(2, 0.7);  // B
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  EXPECT_TRUE(g->Draw(&r));
  EXPECT_EQ(1, bg->draws);
  EXPECT_EQ(1, a->draws);
  EXPECT_EQ(1, b->draws);
  EXPECT_EQ(0, c->draws);
  EXPECT_EQ(r, b->drawRects.at(0));
  // A value change asks for one more pass (redraw pending), then it is clean.
  IRECT after;
  ASSERT_TRUE(g->IsDirty(&after));
  EXPECT_EQ(r, after);
  g->Draw(&after);
  after = IRECT();
  EXPECT_FALSE(g->IsDirty(&after));
  EXPECT_EQ(r, g->LastScreenRect());
}

TEST_F(DrawFixture, StrictModeSkipsHiddenControlsButCleansThem) {
  DrawAllAndReset();
  c->Hide(true);
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  g->Draw(&r);
  EXPECT_EQ(0, c->draws);
  EXPECT_EQ(1, bg->draws);
  EXPECT_EQ(COLOR_BLACK, g->GetPoint(160, 20));  // the background painted over it
  // Hiding asks for one more pass (redraw pending); after it nothing is dirty.
  IRECT again;
  if (g->IsDirty(&again)) g->Draw(&again);
  EXPECT_FALSE(g->IsDirty(&again));
}

TEST_F(DrawFixture, NonStrictWithDirtyBackgroundRedrawsEveryVisibleControl) {
  g->SetStrictDrawing(false);
  DrawAllAndReset();
  c->Hide(true);
  IRECT hidden;
  while (g->IsDirty(&hidden)) {
    g->Draw(&hidden);
    hidden = IRECT();
  }
  DrawAllAndReset();
  // The background has no parameter: its first value only sets its default.
  g->SetControlFromPlug(0, 0.3);
  IRECT none;
  EXPECT_FALSE(g->IsDirty(&none));
  g->SetControlFromPlug(0, 0.6);
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  g->Draw(&r);
  EXPECT_EQ(1, bg->draws);
  EXPECT_EQ(1, a->draws);
  EXPECT_EQ(1, b->draws);
  EXPECT_EQ(0, c->draws);
  EXPECT_EQ(all, a->drawRects.at(0));
}

TEST_F(DrawFixture, NonStrictRepaintsNeighboursOnlyInsideTheDirtyControl) {
  g->SetStrictDrawing(false);
  DrawAllAndReset();
  ASSERT_EQ(COLOR_RED, g->GetPoint(30, 30));
  // A's colour changes without A being dirty; only B (inside A) is dirty.
  a->mColor = COLOR_YELLOW;
  g->SetControlFromPlug(2, 0.9);
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  g->Draw(&r);
  EXPECT_EQ(1, a->draws);
  EXPECT_EQ(1, b->draws);
  EXPECT_EQ(0, c->draws);
  EXPECT_EQ(IRECT(20, 20, 40, 40), a->drawRects.at(0));
  EXPECT_EQ(COLOR_YELLOW, g->GetPoint(30, 30));  // inside B: repainted
  EXPECT_EQ(COLOR_YELLOW, g->GetPoint(20, 20));
  EXPECT_EQ(COLOR_RED, g->GetPoint(19, 20));     // just outside: untouched
  EXPECT_EQ(COLOR_RED, g->GetPoint(40, 30));
  EXPECT_EQ(COLOR_RED, g->GetPoint(60, 60));
  IRECT after;
  ASSERT_TRUE(g->IsDirty(&after));  // the pending redraw of B
  g->Draw(&after);
  after = IRECT();
  EXPECT_FALSE(g->IsDirty(&after));
}

TEST_F(DrawFixture, NonStrictDrawsEachDirtyControlInItsOwnRectangle) {
  g->SetStrictDrawing(false);
  DrawAllAndReset();
  g->SetControlFromPlug(2, 0.1);
  g->SetControlFromPlug(3, 0.1);
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  g->Draw(&r);
  EXPECT_EQ(2, bg->draws);  // once under B, once under C
  EXPECT_EQ(IRECT(20, 20, 40, 40), bg->drawRects.at(0));
  EXPECT_EQ(IRECT(150, 10, 190, 50), bg->drawRects.at(1));
  EXPECT_EQ(1, a->draws);
  EXPECT_EQ(1, c->draws);
}

// Intersection is asymmetric: a rectangle touching another along its own
// right or bottom edge intersects it, one touching along its left or top edge
// does not. The question asked is whether the control's rectangle intersects
// the region.
TEST(DrawEdges, ControlTouchingTheRegionAlongItsRightEdgeDraws) {
  for (bool strict : {true, false}) {
    GfxTestPlug plug;
    IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 100, 50);
    auto* bg = new GfxRecordingControl(&plug, IRECT(0, 0, 100, 50), -1, COLOR_BLACK);
    auto* left = new GfxRecordingControl(&plug, IRECT(0, 0, 20, 20), -1, COLOR_RED);
    auto* mid = new GfxRecordingControl(&plug, IRECT(20, 0, 40, 20), 0, COLOR_GREEN);
    auto* right = new GfxRecordingControl(&plug, IRECT(40, 0, 60, 20), -1, COLOR_BLUE);
    auto* below = new GfxRecordingControl(&plug, IRECT(20, 20, 40, 30), -1, COLOR_YELLOW);
    auto* above = new GfxRecordingControl(&plug, IRECT(20, 30, 40, 40), -1, COLOR_WHITE);
    for (GfxRecordingControl* c : {bg, left, mid, right, below, above}) g->AttachControl(c);
    plug.AttachGraphics(g);
    g->SetStrictDrawing(strict);
    IRECT all(0, 0, 100, 50);
    g->Draw(&all);
    for (GfxRecordingControl* c : {bg, left, mid, right, below, above}) c->draws = 0;
    // Only the middle control is dirty; the region is its rectangle.
    g->SetControlFromPlug(2, 0.5);
    g->SetControlFromPlug(2, 0.8);
    IRECT r;
    ASSERT_TRUE(g->IsDirty(&r));
    ASSERT_EQ(IRECT(20, 0, 40, 20), r);
    g->Draw(&r);
    EXPECT_EQ(1, mid->draws) << "strict " << strict;
    EXPECT_EQ(1, left->draws) << "strict " << strict;   // its right edge touches the region
    EXPECT_EQ(0, right->draws) << "strict " << strict;  // its left edge touches the region
    EXPECT_EQ(0, below->draws) << "strict " << strict;  // its top edge touches the region
    EXPECT_EQ(0, above->draws) << "strict " << strict;  // apart from it
  }
}

TEST_F(DrawFixture, NoControlsMeansNothingToDraw) {
  GfxTestPlug other;
  IGraphicsHeadless* empty = new IGraphicsHeadless(&other, 20, 20);
  other.AttachGraphics(empty);
  IRECT r(0, 0, 20, 20);
  EXPECT_TRUE(empty->Draw(&r));
  EXPECT_EQ(0, empty->ScreenDraws());
  IRECT d;
  EXPECT_FALSE(empty->IsDirty(&d));
}

TEST_F(DrawFixture, ControlBoundsAreOutlinedInGreen) {
  DrawAllAndReset();
  g->ShowControlBounds(true);
  IRECT r;
  ASSERT_TRUE(g->IsDirty(&r));
  EXPECT_FALSE(r.Empty());
  g->Draw(&r);
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(150, 10));  // C's corner
  EXPECT_EQ(COLOR_GREEN, g->GetPoint(189, 49));  // C's last pixel
  EXPECT_EQ(COLOR_BLUE, g->GetPoint(160, 20));   // C's inside
  // Every tick asks for a redraw while the bounds are shown.
  IRECT again;
  EXPECT_TRUE(g->IsDirty(&again));
}

TEST_F(DrawFixture, IdleReachesThePlugInAndEveryControl) {
  struct IdleControl : GfxRecordingControl {
    using GfxRecordingControl::GfxRecordingControl;
    void OnGUIIdle() override { ++idles; }
    int idles = 0;
  };
  IdleControl* idle = new IdleControl(&plug, IRECT(0, 0, 5, 5));
  g->AttachControl(idle);
  const int plugIdles = plug.idles;
  g->OnGUIIdle();
  g->OnGUIIdle();
  EXPECT_EQ(2, idle->idles);
  // The plug-in's idle hook rides on the editor's timer tick.
  EXPECT_EQ(plugIdles + 2, plug.idles);
}
