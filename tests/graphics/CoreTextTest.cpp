// Editor text: the font cache, measuring with alignment, drawing with the colour's alpha, font strips.
#include <gtest/gtest.h>

#include <string>
#include <vector>
#include <thread>

#include "GfxTestPlug.h"
#include "graphics/IBitmapTextControl.h"
#include "graphics/IControl.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "platform/headless/IGraphicsHeadless.h"

namespace {

struct TextFixture : ::testing::Test {
  GfxTestPlug plug;
  IGraphicsHeadless* g = new IGraphicsHeadless(&plug, 300, 100);
  void SetUp() override { plug.AttachGraphics(g); }

  // Pixels in r that differ from the colour the bitmap was cleared to.
  int CountChanged(IRECT r, IColor clear) {
    int n = 0;
    for (int y = r.T; y < r.B; ++y)
      for (int x = r.L; x < r.R; ++x) n += g->GetPoint(x, y) != clear;
    return n;
  }
  void Clear(IColor c) { PIX_Clear(g->GetDrawBitmap(), c.ToPixel()); }
};

}  // namespace

TEST_F(TextFixture, SameStyleGivesTheSameFont) {
  IText a(14, &COLOR_BLACK, "DejaVu Sans");
  IText b(14, &COLOR_RED, "DejaVu Sans", IText::kStyleNormal, IText::kAlignFar);  // colour and alignment are not keys
  PIX_CachedFont* fa = IGraphics::CacheFont(&a);
  ASSERT_NE(nullptr, fa);
  EXPECT_EQ(fa, a.mCached);
  EXPECT_EQ(fa, IGraphics::CacheFont(&b));
  IText bigger(15, &COLOR_BLACK, "DejaVu Sans");
  IText bold(14, &COLOR_BLACK, "DejaVu Sans", IText::kStyleBold);
  IText turned(14, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear, 90);
  IText serif(14, &COLOR_BLACK, "DejaVu Serif");
  for (IText* t : {&bigger, &bold, &turned, &serif}) EXPECT_NE(fa, IGraphics::CacheFont(t));
  EXPECT_EQ(IGraphics::CacheFont(&bold), IGraphics::CacheFont(&bold));
}

TEST_F(TextFixture, FontsAreSharedAcrossThreads) {
  PIX_CachedFont* seen[2] = {nullptr, nullptr};
  auto make = [&](int t) {
    IText style(23, &COLOR_BLACK, "DejaVu Sans Mono");
    seen[t] = IGraphics::CacheFont(&style);
  };
  std::thread t0(make, 0), t1(make, 1);
  t0.join();
  t1.join();
  ASSERT_NE(nullptr, seen[0]);
  EXPECT_EQ(seen[0], seen[1]);
}

TEST_F(TextFixture, LineHeightLandsOnTheRequestedSize) {
  // Directly, or after the one retry when the platform font's line height
  // differs from the height asked for.
  for (int size : {10, 14, 20, 32}) {
    IText style(size, &COLOR_BLACK, "DejaVu Sans");
    PIX_CachedFont* f = IGraphics::CacheFont(&style);
    ASSERT_NE(nullptr, f);
    EXPECT_EQ(size, f->GetLineHeight()) << "size " << size;
  }
}

TEST(FontRetry, HeightScalesBySizeOverLineHeight) {
  EXPECT_EQ(17, IGraphics::FontRetryHeight(20, 23));  // 400 / 23 = 17.39
  EXPECT_EQ(18, IGraphics::FontRetryHeight(20, 22));  // 400 / 22 = 18.18
  EXPECT_EQ(9, IGraphics::FontRetryHeight(10, 11));   // 100 / 11 = 9.09
  EXPECT_EQ(13, IGraphics::FontRetryHeight(12, 11));  // 144 / 11 = 13.09: a short font is asked taller
  EXPECT_EQ(2, IGraphics::FontRetryHeight(2, 40));    // never below 2
  EXPECT_EQ(14, IGraphics::FontRetryHeight(14, 0));   // no metrics: no change
}

TEST_F(TextFixture, TinySizesStillMakeAFont) {
  IText style(0, &COLOR_BLACK, "DejaVu Sans");
  EXPECT_NE(nullptr, IGraphics::CacheFont(&style));
}

TEST_F(TextFixture, MeasuringCentredTextCentresOnTheRectangle) {
  IText near(16, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  IRECT n(100, 10, 200, 30);
  ASSERT_TRUE(g->MeasureIText(&near, "Pitch 40", &n));
  const int w = n.W();
  ASSERT_GT(w, 10);
  EXPECT_EQ(100, n.L);
  EXPECT_EQ(10, n.T);
  EXPECT_GT(n.H(), 0);

  IText centre(16, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignCenter);
  IRECT c(100, 10, 200, 30);
  ASSERT_TRUE(g->MeasureIText(&centre, "Pitch 40", &c));
  EXPECT_EQ(150 - w / 2, c.L);
  EXPECT_EQ(c.L + w, c.R);
  EXPECT_EQ(n.B, c.B);

  IText far(16, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignFar);
  IRECT f(100, 10, 200, 30);
  ASSERT_TRUE(g->MeasureIText(&far, "Pitch 40", &f));
  EXPECT_EQ(200 - w, f.L);
  EXPECT_EQ(200, f.R);
}

TEST_F(TextFixture, MeasuringLeavesThePixelsAlone) {
  Clear(COLOR_WHITE);
  IText style(16, &COLOR_BLACK, "DejaVu Sans");
  IRECT r(0, 0, 300, 100);
  g->MeasureIText(&style, "nothing drawn", &r);
  EXPECT_EQ(0, CountChanged(IRECT(0, 0, 300, 100), COLOR_WHITE));
}

TEST_F(TextFixture, EmptyTextDrawsNothingAndSucceeds) {
  Clear(COLOR_WHITE);
  IText style(16, &COLOR_BLACK, "DejaVu Sans");
  IRECT r(0, 0, 300, 100);
  EXPECT_TRUE(g->DrawIText(&style, "", &r));
  EXPECT_TRUE(g->DrawIText(&style, nullptr, &r));
  EXPECT_EQ(IRECT(0, 0, 300, 100), r);
  EXPECT_EQ(0, CountChanged(r, COLOR_WHITE));
}

TEST_F(TextFixture, DrawnTextStartsAtTheTopAndFollowsAlignment) {
  Clear(COLOR_WHITE);
  IText style(16, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignFar);
  IRECT r(0, 10, 300, 60);
  IRECT m = r;
  g->MeasureIText(&style, "Decay", &m);
  ASSERT_TRUE(g->DrawIText(&style, "Decay", &r));
  const int inText = CountChanged(IRECT(m.L, m.T, m.R, m.B), COLOR_WHITE);
  EXPECT_GT(inText, 20);
  EXPECT_EQ(0, CountChanged(IRECT(0, 0, 300, 10), COLOR_WHITE));    // above the top
  EXPECT_EQ(0, CountChanged(IRECT(0, 10, m.L - 2, 60), COLOR_WHITE)); // left of right-aligned text
}

TEST_F(TextFixture, OpaqueColourDrawsAndFullyTransparentColourDoesNot) {
  IText opaque(16, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  IColor clear(0, 0, 0, 0);
  IText invisible(16, &clear, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  IRECT r(5, 5, 300, 50);
  Clear(COLOR_WHITE);
  g->DrawIText(&opaque, "Hold", &r);
  EXPECT_GT(CountChanged(r, COLOR_WHITE), 20);
  Clear(COLOR_WHITE);
  // Alpha below 255 asks the font to scale by the colour's alpha: 0 draws nothing.
  g->DrawIText(&invisible, "Hold", &r);
  EXPECT_EQ(0, CountChanged(r, COLOR_WHITE));
}

TEST_F(TextFixture, HalfTransparentColourBlendsWithTheBackground) {
  IColor halfBlack(128, 0, 0, 0);
  IText style(30, &halfBlack, "DejaVu Sans", IText::kStyleBold, IText::kAlignNear);
  IRECT r(5, 5, 300, 80);
  Clear(COLOR_WHITE);
  g->DrawIText(&style, "IIII", &r);
  // No pixel becomes fully black: the darkest is about half way.
  int darkest = 255;
  for (int y = r.T; y < r.B; ++y)
    for (int x = r.L; x < r.R; ++x) darkest = std::min(darkest, g->GetPoint(x, y).R);
  EXPECT_LT(darkest, 200);
  EXPECT_GT(darkest, 90);
}

// ---------------------------------------------------------------------------
// Font strips

namespace {

// A strip of 2 x 2 cells for the codes 32 ("space", frame 1) to 127: frame k
// (1-based) is filled with the colour (255, k, 0, 0).
struct StripFixture : TextFixture {
  PIX_MemBitmap strip{2, 2 * 96, 4};
  IBitmap font;
  void SetUp() override {
    TextFixture::SetUp();
    for (int k = 1; k <= 96; ++k) PIX_FillRect(&strip, 0, 2 * (k - 1), 2, 2, IColor(255, k, 0, 0).ToPixel(), 1.0f, 0);
    font = IBitmap(&strip, 2, 2 * 96, 96);
    Clear(COLOR_BLACK);
  }
  // The frame drawn at (x, y), or 0 where nothing was drawn.
  int FrameAt(int x, int y) { return g->GetPoint(x, y).R; }
};

}  // namespace

TEST_F(StripFixture, CharactersPickFramesFromTheSpaceUp) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(10, 10, 50, 12);
  DrawBitmapedText(g, &font, &r, &style, nullptr, "A!b", false, false, 2, 2, 0);
  EXPECT_EQ('A' - 31, FrameAt(10, 10));
  EXPECT_EQ('A' - 31, FrameAt(11, 11));
  EXPECT_EQ('!' - 31, FrameAt(12, 10));
  EXPECT_EQ('b' - 31, FrameAt(14, 10));
  EXPECT_EQ(0, FrameAt(16, 10));
}

TEST_F(StripFixture, CharacterOffsetSpacesTheCells) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(0, 0, 40, 2);
  DrawBitmapedText(g, &font, &r, &style, nullptr, "AB", false, false, 2, 2, 3);
  EXPECT_EQ('A' - 31, FrameAt(0, 0));
  EXPECT_EQ(0, FrameAt(2, 0));
  EXPECT_EQ('B' - 31, FrameAt(5, 0));
}

TEST_F(StripFixture, ControlCharactersDrawTheFirstFrame) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(0, 0, 10, 2);
  DrawBitmapedText(g, &font, &r, &style, nullptr, "\t\x1f", false, false, 2, 2, 0);
  EXPECT_EQ(1, FrameAt(0, 0));
  EXPECT_EQ(1, FrameAt(2, 0));
}

TEST_F(StripFixture, CentreAndFarAlignment) {
  IText centre(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignCenter);
  IRECT r(0, 0, 20, 2);
  DrawBitmapedText(g, &font, &r, &centre, nullptr, "ABC", false, false, 2, 2, 0);
  // x = 0 + (20 - 6) / 2 = 7
  EXPECT_EQ(0, FrameAt(6, 0));
  EXPECT_EQ('A' - 31, FrameAt(7, 0));
  EXPECT_EQ('C' - 31, FrameAt(12, 0));
  IText far(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignFar);
  IRECT r2(0, 4, 20, 6);
  DrawBitmapedText(g, &font, &r2, &far, nullptr, "ABC", false, false, 2, 2, 0);
  EXPECT_EQ('A' - 31, FrameAt(14, 4));
  EXPECT_EQ('C' - 31, FrameAt(19, 4));
}

TEST_F(StripFixture, VerticalCentring) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(0, 0, 10, 11);
  DrawBitmapedText(g, &font, &r, &style, nullptr, "A", true, false, 2, 2, 0);
  // y = 0 + (11 - 2) / 2 = 4
  EXPECT_EQ(0, FrameAt(0, 3));
  EXPECT_EQ('A' - 31, FrameAt(0, 4));
  EXPECT_EQ('A' - 31, FrameAt(1, 5));
  EXPECT_EQ(0, FrameAt(0, 6));
}

TEST_F(StripFixture, SingleLineCutsWhatDoesNotFit) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(0, 0, 7, 2);  // room for 3 cells of 2
  DrawBitmapedText(g, &font, &r, &style, nullptr, "ABCDE", false, false, 2, 2, 0);
  EXPECT_EQ('C' - 31, FrameAt(4, 0));
  EXPECT_EQ(0, FrameAt(6, 0));
  EXPECT_EQ(0, FrameAt(0, 2));
}

TEST_F(StripFixture, MultilineWrapsIntoFurtherLines) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(0, 0, 6, 10);  // 3 characters per line
  DrawBitmapedText(g, &font, &r, &style, nullptr, "ABCDEFG", false, true, 2, 2, 0);
  EXPECT_EQ('A' - 31, FrameAt(0, 0));
  EXPECT_EQ('C' - 31, FrameAt(4, 0));
  EXPECT_EQ('D' - 31, FrameAt(0, 2));
  EXPECT_EQ('F' - 31, FrameAt(4, 2));
  EXPECT_EQ('G' - 31, FrameAt(0, 4));
  EXPECT_EQ(0, FrameAt(2, 4));
}

TEST_F(StripFixture, DegenerateCellsAndEmptyTextDrawNothing) {
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IRECT r(0, 0, 20, 20);
  EXPECT_TRUE(DrawBitmapedText(g, &font, &r, &style, nullptr, "AB", false, true, 0, 2, 0));
  EXPECT_TRUE(DrawBitmapedText(g, &font, &r, &style, nullptr, "", false, true, 2, 2, 0));
  IRECT narrow(0, 0, 1, 2);
  EXPECT_TRUE(DrawBitmapedText(g, &font, &narrow, &style, nullptr, "AB", false, true, 2, 2, 0));
  // A zero-width rectangle: multiline text is wider than it, and the line
  // count must not divide by its width.
  IRECT zeroWidth(5, 0, 5, 2);
  EXPECT_TRUE(DrawBitmapedText(g, &font, &zeroWidth, &style, nullptr, "AB", false, true, 2, 2, 0));
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(0, FrameAt(x, y));
}

TEST_F(StripFixture, TextControlMarksItselfDirtyWithoutTellingThePlugIn) {
  IRECT r(0, 0, 20, 2);
  IText style(10, &COLOR_BLACK, nullptr, IText::kStyleNormal, IText::kAlignNear);
  IBitmapTextControl* c = new IBitmapTextControl(&plug, &r, &font, "", &style, 2, 2, 0, false, false);
  g->AttachControl(c);
  IRECT all(0, 0, 300, 100);
  g->Draw(&all);
  EXPECT_EQ(0, FrameAt(0, 0));  // empty text draws nothing
  plug.events.clear();
  c->SetTextFromPlug("Hi");
  EXPECT_TRUE(c->IsDirty());
  EXPECT_TRUE(plug.events.empty());
  IRECT d;
  ASSERT_TRUE(g->IsDirty(&d));
  g->Draw(&d);
  EXPECT_EQ('H' - 31, FrameAt(0, 0));
  EXPECT_EQ('i' - 31, FrameAt(2, 0));
  EXPECT_FALSE(c->IsDirty());
  c->SetTextFromPlug("Hi");  // unchanged: stays clean
  EXPECT_FALSE(c->IsDirty());
  EXPECT_STREQ("Hi", c->GetTextForPlug());
}

TEST_F(TextFixture, RepeatedPartialRedrawsDoNotThickenTextOutsideTheRegion) {
  // A white panel, an antialiased text control across it, and a dirty
  // neighbour overlapping the text's right half. Every pass redraws the
  // text (it intersects the region) but repaints the panel only inside the
  // region; the text outside must stay exactly as first drawn.
  struct Panel : IControl {
    IColor c;
    Panel(IPluginBase* p, IRECT r, IColor col) : IControl(p, &r), c(col) {}
    bool Draw(IGraphics* pG) override { return pG->FillIRect(&c, &mRECT); }
  };
  struct Label : IControl {
    Label(IPluginBase* p, IRECT r, IText t) : IControl(p, &r) { mText = t; }
    bool Draw(IGraphics* pG) override { return pG->DrawIText(&mText, "Bass drum", &mRECT); }
  };
  IText style(22, &COLOR_BLACK, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear, 0,
              IText::kQualityAntiAliased);
  g->AttachControl(new Panel(&plug, IRECT(0, 0, 300, 100), COLOR_WHITE));
  g->AttachControl(new Label(&plug, IRECT(10, 10, 290, 40), style));
  Panel* neighbour = new Panel(&plug, IRECT(60, 5, 120, 45), COLOR_TRANSPARENT);
  int idx = g->AttachControl(neighbour);
  IRECT all(0, 0, 300, 100);
  g->Draw(&all);
  std::vector<IColor> before;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 300; ++x) before.push_back(g->GetPoint(x, y));
  for (int pass = 0; pass < 6; ++pass) {
    g->SetControlFromPlug(idx, pass % 2 ? 0.25 : 0.75);
    IRECT r;
    while (g->IsDirty(&r)) {
      g->Draw(&r);
      r = IRECT();
    }
  }
  int changed = 0;
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 300; ++x) changed += g->GetPoint(x, y) != before[(size_t)(y * 300 + x)];
  EXPECT_EQ(0, changed);
}
