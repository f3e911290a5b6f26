// Mouse and key routing of the editor surface: hit order, capture, drags, double clicks, keys.
#include <gtest/gtest.h>

#include "GfxRecordingControl.h"
#include "GfxTestPlug.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

// A 200 x 100 editor: background (no parameter), A bound to parameter 1 and
// B bound to parameter 2 overlapping A's lower right corner.
struct RoutingFixture : ::testing::Test {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 200, 100);
  GfxRecordingControl* bg = new GfxRecordingControl(&plug, IRECT(0, 0, 200, 100), -1, COLOR_BLACK);
  GfxRecordingControl* a = new GfxRecordingControl(&plug, IRECT(10, 10, 60, 60), 1);
  GfxRecordingControl* b = new GfxRecordingControl(&plug, IRECT(40, 40, 90, 90), 2);
  IMouseMod mod;

  void SetUp() override {
    g->AttachControl(bg);
    g->AttachControl(a);
    g->AttachControl(b);
    plug.AttachGraphics(g);  // the plug-in owns the surface from here
    plug.events.clear();
  }
};

}  // namespace

TEST_F(RoutingFixture, LaterAttachedControlWinsTheOverlap) {
  EXPECT_EQ(2, g->GetMouseControlIdx(50, 50));
  g->OnMouseDown(50, 50, &mod);
  ASSERT_EQ(1u, b->calls.size());
  EXPECT_EQ("down 50 50", b->calls[0]);
  EXPECT_TRUE(a->calls.empty());
}

TEST_F(RoutingFixture, HiddenControlLetsTheEarlierOneTakeTheClick) {
  g->HideControl(2, true);
  g->OnMouseDown(50, 50, &mod);
  EXPECT_TRUE(b->calls.empty());
  ASSERT_EQ(1u, a->calls.size());
  EXPECT_EQ("down 50 50", a->calls[0]);
}

TEST_F(RoutingFixture, GreyedControlIgnoresClicks) {
  g->GrayOutControl(2, true);
  EXPECT_EQ(1, g->GetMouseControlIdx(50, 50));
  // Outside A, the background is found under the greyed control.
  EXPECT_EQ(0, g->GetMouseControlIdx(80, 80));
}

TEST_F(RoutingFixture, GreyedControlAnswersMouseOverOnlyWhenItAsks) {
  g->GrayOutControl(2, true);
  EXPECT_EQ(0, g->GetMouseControlIdx(80, 80, true));
  b->SetMOWhenGrayed(true);
  EXPECT_EQ(2, g->GetMouseControlIdx(80, 80, true));
  EXPECT_EQ(0, g->GetMouseControlIdx(80, 80, false));
}

TEST_F(RoutingFixture, NoControlUnderThePointMeansNoCapture) {
  GfxTestPlug other;
  IGraphicsHeadless* empty = new IGraphicsHeadless(&other, 10, 10);
  other.AttachGraphics(empty);
  empty->OnMouseDown(5, 5, &mod);
  EXPECT_EQ(-1, empty->GetMouseCapture());
  EXPECT_TRUE(other.events.empty());
}

TEST_F(RoutingFixture, MouseDownBracketsTheGestureForTheBoundParameter) {
  g->OnMouseDown(20, 20, &mod);
  EXPECT_EQ(1, g->GetMouseCapture());
  ASSERT_EQ(1u, plug.events.size());
  EXPECT_EQ("begin 1", plug.events[0]);
  // The background has no parameter and sends no notice.
  plug.events.clear();
  g->OnMouseDown(150, 5, &mod);
  EXPECT_TRUE(plug.events.empty());
  EXPECT_EQ(0, g->GetMouseCapture());
}

TEST_F(RoutingFixture, MouseUpOutsideEveryControlReachesTheCapturedOne) {
  g->OnMouseDown(20, 20, &mod);
  g->OnMouseUp(250, 300, &mod);  // outside the editor altogether
  ASSERT_EQ(2u, a->calls.size());
  EXPECT_EQ("up 250 300", a->calls[1]);
  ASSERT_EQ(2u, plug.events.size());
  EXPECT_EQ("end 1", plug.events[1]);
  EXPECT_EQ(-1, g->GetMouseCapture());
  EXPECT_TRUE(b->calls.empty());
  EXPECT_TRUE(bg->calls.empty());
}

TEST_F(RoutingFixture, MouseUpWithoutCaptureGoesToTheControlUnderThePoint) {
  g->OnMouseUp(80, 80, &mod);
  ASSERT_EQ(1u, b->calls.size());
  EXPECT_EQ("up 80 80", b->calls[0]);
  EXPECT_EQ(1, plug.Count("end 2"));
}

TEST_F(RoutingFixture, DragDeliversDeltasAndSkipsARepeatedPoint) {
  g->OnMouseDown(20, 20, &mod);
  g->OnMouseDrag(22, 24, &mod);
  g->OnMouseDrag(22, 24, &mod);  // same point again: nothing
  g->OnMouseDrag(21, 30, &mod);
  ASSERT_EQ(3u, a->calls.size());
  EXPECT_EQ("drag 22 24 2 4", a->calls[1]);
  EXPECT_EQ("drag 21 30 -1 6", a->calls[2]);
}

TEST_F(RoutingFixture, DragFollowsTheCapturedControlOverOthers) {
  g->OnMouseDown(20, 20, &mod);
  g->OnMouseDrag(80, 80, &mod);  // over B now
  EXPECT_TRUE(b->calls.empty());
  ASSERT_EQ(2u, a->calls.size());
  EXPECT_EQ("drag 80 80 60 60", a->calls[1]);
}

TEST_F(RoutingFixture, DragWithoutCaptureDoesNothing) {
  g->OnMouseDrag(20, 20, &mod);
  g->OnMouseDrag(25, 25, &mod);
  EXPECT_TRUE(a->calls.empty());
  g->OnMouseDown(20, 20, &mod);
  g->OnMouseUp(20, 20, &mod);
  g->OnMouseDrag(30, 30, &mod);  // after the release
  EXPECT_EQ(2u, a->calls.size());
}

TEST_F(RoutingFixture, DoubleClickAsSingleClickCapturesWithoutGestureNotice) {
  a->SetDblAsSingleClick(true);
  EXPECT_TRUE(g->OnMouseDblClick(20, 20, &mod));
  ASSERT_EQ(1u, a->calls.size());
  EXPECT_EQ("down 20 20", a->calls[0]);
  EXPECT_EQ(1, g->GetMouseCapture());
  EXPECT_TRUE(plug.events.empty());
}

TEST_F(RoutingFixture, PlainDoubleClickGoesToTheDoubleClickHandler) {
  EXPECT_FALSE(g->OnMouseDblClick(20, 20, &mod));
  ASSERT_EQ(1u, a->calls.size());
  EXPECT_EQ("dbl 20 20", a->calls[0]);
  EXPECT_EQ(-1, g->GetMouseCapture());
}

TEST_F(RoutingFixture, DoubleClickReleasesAnEarlierCapture) {
  g->OnMouseDown(80, 80, &mod);
  EXPECT_EQ(2, g->GetMouseCapture());
  EXPECT_FALSE(g->OnMouseDblClick(20, 20, &mod));
  EXPECT_EQ("dbl 20 20", a->calls.back());
  EXPECT_EQ(-1, g->GetMouseCapture());
}

TEST_F(RoutingFixture, WheelGoesToTheControlUnderThePoint) {
  g->OnMouseWheel(80, 80, &mod, -3);
  ASSERT_EQ(1u, b->calls.size());
  EXPECT_EQ("wheel 80 80 -3", b->calls[0]);
}

TEST_F(RoutingFixture, KeyOverTheBackgroundGoesToTheKeyCatcher) {
  GfxRecordingControl* catcher = new GfxRecordingControl(&plug, IRECT(0, 0, 1, 1));
  g->AttachKeyCatcher(catcher);
  EXPECT_TRUE(g->OnKeyDown(150, 5, 17));
  EXPECT_TRUE(bg->calls.empty());
  ASSERT_EQ(1u, catcher->calls.size());
  EXPECT_EQ("key 17", catcher->calls[0]);
}

TEST_F(RoutingFixture, KeyOverAControlGoesToThatControlOnly) {
  GfxRecordingControl* catcher = new GfxRecordingControl(&plug, IRECT(0, 0, 1, 1));
  g->AttachKeyCatcher(catcher);
  a->takesKeys = false;
  EXPECT_FALSE(g->OnKeyDown(20, 20, 3));
  EXPECT_EQ("key 3", a->calls.at(0));
  EXPECT_TRUE(catcher->calls.empty());
}

TEST_F(RoutingFixture, KeyOverTheBackgroundWithoutCatcherIsNotHandled) {
  EXPECT_FALSE(g->OnKeyDown(150, 5, 0));
  EXPECT_TRUE(bg->calls.empty());
}

TEST_F(RoutingFixture, MouseOverIsOffUntilAskedFor) {
  EXPECT_FALSE(g->OnMouseOver(20, 20, &mod));
  EXPECT_TRUE(a->calls.empty());
  EXPECT_EQ(-1, g->GetMouseOver());
}

TEST_F(RoutingFixture, MouseOverMovesOutOfThePreviousControl) {
  g->HandleMouseOver(true);
  EXPECT_TRUE(g->OnMouseOver(20, 20, &mod));
  EXPECT_EQ(1, g->GetMouseOver());
  EXPECT_TRUE(g->OnMouseOver(21, 21, &mod));  // same control: no "out"
  EXPECT_TRUE(g->OnMouseOver(80, 80, &mod));
  EXPECT_EQ(2, g->GetMouseOver());
  ASSERT_EQ(3u, a->calls.size());
  EXPECT_EQ("over 21 21", a->calls[1]);
  EXPECT_EQ("out", a->calls[2]);
  EXPECT_EQ("over 80 80", b->calls.at(0));
  g->OnMouseOut();
  EXPECT_EQ(-1, g->GetMouseOver());
  EXPECT_EQ("out", b->calls.back());
}

TEST_F(RoutingFixture, AutomationLookupSkipsTheBackgroundAndResetsOnRead) {
  EXPECT_EQ(2, g->GetParamIdxForPTAutomation(80, 80));
  EXPECT_EQ(2, g->GetLastClickedParamForPTAutomation());
  EXPECT_EQ(-1, g->GetLastClickedParamForPTAutomation());
  EXPECT_EQ(-1, g->GetParamIdxForPTAutomation(150, 5));
  EXPECT_EQ(-1, g->GetLastClickedParamForPTAutomation());
}

TEST_F(RoutingFixture, MissingModifiersReachControlsAsNoneHeld) {
  struct ModControl : GfxRecordingControl {
    using GfxRecordingControl::GfxRecordingControl;
    int seen = 0, held = 0;
    void Note(IMouseMod* m) {
      ++seen;
      held += m->L + m->R + m->S + m->C + m->A;
    }
    void OnMouseDown(int, int, IMouseMod* m) override { Note(m); }
    void OnMouseUp(int, int, IMouseMod* m) override { Note(m); }
    void OnMouseDrag(int, int, int, int, IMouseMod* m) override { Note(m); }
    void OnMouseDblClick(int, int, IMouseMod* m) override { Note(m); }
    void OnMouseWheel(int, int, IMouseMod* m, int) override { Note(m); }
    void OnMouseOver(int, int, IMouseMod* m) override { Note(m); }
  };
  ModControl* m = new ModControl(&plug, IRECT(100, 0, 120, 20));
  g->AttachControl(m);
  g->HandleMouseOver(true);
  g->OnMouseDown(105, 5, nullptr);
  g->OnMouseDrag(106, 5, nullptr);
  g->OnMouseUp(106, 5, nullptr);
  g->OnMouseDblClick(105, 5, nullptr);
  g->OnMouseWheel(105, 5, nullptr, 1);
  g->OnMouseOver(105, 5, nullptr);
  EXPECT_EQ(6, m->seen);
  EXPECT_EQ(0, m->held);
}

// A pointer in drawing-bitmap pixels goes back to the editor pixel whose
// scaled cell holds it, at the odd edges of 1.5 too, and off the left or top.
TEST_F(RoutingFixture, DrawingPixelsMapBackToTheEditorPixelWhoseCellHoldsThem) {
  for (const float scale : {1.0f, 1.5f, 2.0f}) {
    SCOPED_TRACE(scale);
    g->SetScale(scale);
    for (int v = -7; v <= g->DrawWidth() + 3; ++v) {
      const int e = g->FromDraw(v);
      ASSERT_LE(g->ToDraw(e), v) << v;
      ASSERT_GT(g->ToDraw(e + 1), v) << v;
    }
  }
  // Control A (10, 10, 60, 60) at 1.5 covers drawing pixels 15..89.
  g->SetScale(1.5f);
  EXPECT_EQ(g->FromDraw(14), 9);
  EXPECT_EQ(g->FromDraw(15), 10);
  EXPECT_EQ(g->FromDraw(89), 59);
  EXPECT_EQ(g->FromDraw(90), 60);
}
