// Tests of PIX_CachedFont: UTF-8, measuring, layout, glyph cache, path choice, blending.
#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "pix/PIX_SysBitmap.h"
#include "pix/AllocWatch.h"
#include "pix/CachedFontTestUtil.h"
#include "pix/PixTestUtil.h"

#include <gtest/gtest.h>

#include <climits>
#include <limits>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using pixtextest::Bounds;
using pixtextest::Ink;
using pixtextest::MakeHFont;

constexpr PIX_pixel kWhite = PIX_RGBA(255, 255, 255, 255);
constexpr PIX_pixel kBlack = PIX_RGBA(0, 0, 0, 255);

// A cached font over a fresh platform font that it owns.
std::unique_ptr<PIX_CachedFont> MakeFont(int height, int flags, int quality = ANTIALIASED_QUALITY,
                                         int weight = FW_NORMAL)
{
  auto f = std::make_unique<PIX_CachedFont>();
  f->SetFromHFont(MakeHFont(height, quality, weight), flags | PIX_FONT_FLAG_OWNS_HFONT);
  f->SetTextColor(kBlack);
  return f;
}

RECT MeasureText(PIX_CachedFont& f, const char* s, unsigned format = 0, int len = -1)
{
  RECT r{0, 0, 0, 0};
  f.DrawText(nullptr, s, len, &r, format | DT_CALCRECT);
  return r;
}

int DecodeAll(const std::string& s, std::vector<int>* codes)
{
  // Exactly sized heap copy: AddressSanitizer reports any read past the end.
  std::unique_ptr<unsigned char[]> buf(new unsigned char[s.size() ? s.size() : 1]);
  std::memcpy(buf.get(), s.data(), s.size());
  codes->clear();
  int pos = 0, steps = 0;
  while (pos < (int)s.size()) {
    const int before = pos;
    codes->push_back(PIX_CachedFont::DecodeUTF8(buf.get(), (int)s.size(), &pos));
    EXPECT_GT(pos, before);
    steps++;
  }
  EXPECT_EQ(pos, (int)s.size());
  return steps;
}

}  // namespace

// --- UTF-8 decoding -------------------------------------------------------------------

TEST(CachedFontUtf8, WellFormedSequencesGiveSixteenBitCodes)
{
  std::vector<int> c;
  DecodeAll("A\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF", &c);
  EXPECT_EQ(c, (std::vector<int>{'A', 0xE9, 0x20AC, 0xFFFF}));
}

TEST(CachedFontUtf8, FourByteSequenceCountsAsOneSpace)
{
  std::vector<int> c;
  DecodeAll("a\xF0\x9F\x8E\xB5" "b", &c);
  EXPECT_EQ(c, (std::vector<int>{'a', ' ', 'b'}));
}

TEST(CachedFontUtf8, MalformedBytesStandForThemselves)
{
  std::vector<int> c;
  // Lone continuation, C0/C1 leads (never valid), 0xF5-0xFF leads.
  DecodeAll("\x80\xC0\xAF\xC1\xBF\xF5\xFF", &c);
  EXPECT_EQ(c, (std::vector<int>{0x80, 0xC0, 0xAF, 0xC1, 0xBF, 0xF5, 0xFF}));
  // A lead byte followed by a non-continuation byte.
  DecodeAll("\xC3" "A\xE2\x82" "B", &c);
  EXPECT_EQ(c, (std::vector<int>{0xC3, 'A', 0xE2, 0x82, 'B'}));
  // An over-long line feed is not a line feed.
  DecodeAll("\xE0\x80\x8A", &c);
  EXPECT_EQ(c, (std::vector<int>{0xE0, 0x80, 0x8A}));
}

TEST(CachedFontUtf8, TruncatedSequencesAtTheEndAreNotReadPast)
{
  std::vector<int> c;
  DecodeAll("\xC3", &c);
  EXPECT_EQ(c, (std::vector<int>{0xC3}));
  DecodeAll("x\xE2\x82", &c);
  EXPECT_EQ(c, (std::vector<int>{'x', 0xE2, 0x82}));
  DecodeAll("\xF0\x9F\x8E", &c);
  EXPECT_EQ(c, (std::vector<int>{0xF0, 0x9F, 0x8E}));
}

TEST(CachedFontUtf8, DrawingTruncatedTextStaysInsideTheBuffer)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap bm(60, 20);
  for (const std::string s : {"\xC3", "ab\xE2\x82", "\xF0\x9F"}) {
    std::unique_ptr<char[]> buf(new char[s.size()]);
    std::memcpy(buf.get(), s.data(), s.size());
    RECT r{0, 0, 60, 20};
    f->DrawText(&bm, buf.get(), (int)s.size(), &r, 0);
    RECT m{0, 0, 0, 0};
    f->DrawText(nullptr, buf.get(), (int)s.size(), &m, DT_CALCRECT);
    EXPECT_GE(m.right, 0);
  }
}

// --- Measuring ------------------------------------------------------------------------------

TEST(CachedFontMeasure, TwoLinesGiveWiderLineAndLineHeightPlusSecondGlyphHeight)
{
  auto f = MakeFont(16, 0);
  const int lh = f->GetLineHeight();
  ASSERT_GT(lh, 10);
  const RECT a = MeasureText(*f, "Kick");
  const RECT b = MeasureText(*f, "Accent level");
  const RECT both = MeasureText(*f, "Kick\nAccent level");
  EXPECT_EQ(both.right, std::max(a.right, b.right));
  // The second line's glyph masks are one line high, as the platform measures them.
  EXPECT_EQ(both.bottom, lh + lh);
  EXPECT_EQ(a.bottom, lh);

  f->SetLineSpacing(3);
  EXPECT_EQ(MeasureText(*f, "Kick\nAccent level").bottom, lh + 3 + lh);
  EXPECT_EQ(MeasureText(*f, "Kick\r\nAccent level").bottom, lh + 3 + lh);
}

TEST(CachedFontMeasure, SingleLineCountsLineFeedAsSpace)
{
  auto f = MakeFont(16, 0);
  const RECT a = MeasureText(*f, "Tune\nDecay", DT_SINGLELINE);
  const RECT b = MeasureText(*f, "Tune Decay");
  EXPECT_EQ(a.right, b.right);
  EXPECT_EQ(a.bottom, f->GetLineHeight());
}

TEST(CachedFontMeasure, RectangleKeepsItsCornerAndGetsTheExtent)
{
  auto f = MakeFont(16, 0);
  RECT r{30, 40, 0, 0};
  const int h = f->DrawText(nullptr, "Decay", -1, &r, DT_CALCRECT);
  const RECT m = MeasureText(*f, "Decay");
  EXPECT_EQ(r.left, 30);
  EXPECT_EQ(r.top, 40);
  EXPECT_EQ(r.right, 30 + m.right);
  EXPECT_EQ(r.bottom, 40 + m.bottom);
  EXPECT_EQ(h, m.bottom);
}

TEST(CachedFontMeasure, NativeAndPortableMeasureAlike)
{
  auto portable = MakeFont(16, 0);
  auto native = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_SysBitmap sys(200, 50);
  for (const char* s : {"Pitch", "Quorvane KT-412", "a\nbbbbbb", "Distort 100%"}) {
    const RECT a = MeasureText(*portable, s);
    RECT b{0, 0, 0, 0};
    native->DrawText(&sys, s, -1, &b, DT_CALCRECT);  // through the bitmap's context
    const RECT c = MeasureText(*native, s);          // through the scratch context
    EXPECT_EQ(a.right, b.right) << s;
    EXPECT_EQ(a.bottom, b.bottom) << s;
    EXPECT_EQ(b.right, c.right) << s;
    EXPECT_EQ(b.bottom, c.bottom) << s;
  }
}

TEST(CachedFontMeasure, VerticalTextSwapsTheAxes)
{
  auto flat = MakeFont(16, 0);
  auto down = MakeFont(16, PIX_FONT_FLAG_VERTICAL);
  const RECT a = MeasureText(*flat, "Decay");
  RECT b{0, 0, 0, 0};
  const int ret = down->DrawText(nullptr, "Decay", -1, &b, DT_CALCRECT);
  EXPECT_EQ(b.right, a.bottom);
  EXPECT_EQ(b.bottom, a.right);
  EXPECT_EQ(ret, b.right) << "vertical text returns its width";
}

// --- Glyph cache ----------------------------------------------------------------------------

TEST(CachedFontCache, EachGlyphIsRenderedOnce)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap bm(200, 30);
  RECT r{0, 0, 200, 30};
  f->DrawText(&bm, "aaaa", -1, &r, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 1);
  f->DrawText(&bm, "abab \xE2\x82\xAC\xC3\xA9", -1, &r, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 5);  // b, space, euro, e-acute
  const size_t bytes = f->GetCacheBytes();
  f->DrawText(&bm, "\xC3\xA9\xE2\x82\xAC" "baba", -1, &r, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 5);
  EXPECT_EQ(f->GetCacheBytes(), bytes);
}

TEST(CachedFontCache, CodesAboveAsciiAreFoundInAnyInsertionOrder)
{
  auto f = MakeFont(14, 0);
  std::string text;
  // Latin-1 and Greek letters in a scrambled order.
  for (int k = 0; k < 60; k++) {
    const int code = (k * 37) % 60 + ((k & 1) ? 0xC0 : 0x3B1 - 30);
    char buf[3] = {(char)(0xC0 | (code >> 6)), (char)(0x80 | (code & 0x3F)), 0};
    text += buf;
  }
  const RECT first = MeasureText(*f, text.c_str());
  const int rendered = f->GetGlyphRenderCount();
  EXPECT_GT(rendered, 50);
  const RECT again = MeasureText(*f, text.c_str());
  EXPECT_EQ(f->GetGlyphRenderCount(), rendered);
  EXPECT_EQ(first.right, again.right);
}

TEST(CachedFontCache, UnrenderableGlyphIsAskedForOnlyOnce)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap bm(100, 30);
  PIX_Clear(&bm, kWhite);
  RECT r{0, 0, 100, 30};
  f->DrawText(&bm, "\x01", -1, &r, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 1);
  f->DrawText(&bm, "\x01\x01", -1, &r, 0);
  EXPECT_EQ(MeasureText(*f, "\x01").right, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 1);
  EXPECT_EQ(f->GetCacheBytes(), 0u);
  EXPECT_EQ(Ink(&bm), 0);
  // A lone surrogate half is refused the same way.
  f->DrawText(&bm, "\xED\xA0\x80\xED\xA0\x80", -1, &r, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 2);
}

TEST(CachedFontCache, PrecalcAllRendersAsciiUpFrontAndRefusesTheRest)
{
  auto f = MakeFont(12, PIX_FONT_FLAG_PRECALCALL);
  EXPECT_EQ(f->GetGlyphRenderCount(), 128);
  EXPECT_GT(MeasureText(*f, "ASCII").right, 0);
  EXPECT_EQ(MeasureText(*f, "\xC3\xA9\xE2\x82\xAC").right, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 128);
}

TEST(CachedFontCache, SettingAFontForgetsGlyphsAndDeletesAnOwnedFont)
{
  PIX_CachedFont f;
  HFONT a = MakeHFont(16, ANTIALIASED_QUALITY, FW_NORMAL);
  HFONT b = MakeHFont(24, ANTIALIASED_QUALITY, FW_NORMAL);
  f.SetFromHFont(a, PIX_FONT_FLAG_OWNS_HFONT);
  const RECT small = MeasureText(f, "Hold");
  f.SetFromHFont(b, 0);
  GDI_FontInfo info{};
  EXPECT_FALSE(GDI_GetFontInfo(a, &info)) << "owned font deleted";
  EXPECT_EQ(f.GetGlyphRenderCount(), 0);
  EXPECT_GT(MeasureText(f, "Hold").right, small.right);
  f.SetFromHFont(nullptr, 0);
  EXPECT_TRUE(GDI_GetFontInfo(b, &info)) << "font not owned stays";
  DeleteObject(b);
}

// --- Path choice ---------------------------------------------------------------------------

TEST(CachedFontPath, ForceNativeSkipsTheGlyphCacheUnlessSomethingNeedsIt)
{
  auto f = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_MemBitmap mem(100, 30);
  PIX_SysBitmap sys(100, 30);
  RECT r{0, 0, 100, 30};
  f->DrawText(&sys, "Pitch", -1, &r, DT_NOCLIP);
  f->DrawText(&mem, "Pitch", -1, &r, DT_NOCLIP | DT_CENTER);
  EXPECT_EQ(f->GetGlyphRenderCount(), 0);
  f->SetLineSpacing(2);
  f->DrawText(&mem, "Pitch", -1, &r, DT_SINGLELINE);
  EXPECT_EQ(f->GetGlyphRenderCount(), 0) << "spacing is irrelevant to one line";
  f->DrawText(&mem, "P", -1, &r, 0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 1) << "extra spacing needs the portable layout";
  f->SetLineSpacing(0);
  f->DrawText(&mem, "i", -1, &r, PIX_DT_USEFGALPHA);
  EXPECT_EQ(f->GetGlyphRenderCount(), 2) << "colour alpha needs the portable path";
  f->DrawText(&mem, "t", -1, &r, PIX_DT_NEEDALPHA);
  EXPECT_EQ(f->GetGlyphRenderCount(), 3) << "the top bit forces the portable path";

  auto fx = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE | PIX_FONT_FLAG_FX_MONO);
  fx->DrawText(&sys, "c", -1, &r, 0);
  EXPECT_EQ(fx->GetGlyphRenderCount(), 1) << "effects need the portable path";
}

TEST(CachedFontPath, PortableAndNativeDrawNearlyTheSamePixels)
{
  const char* text = "Quorvane KT-412 Decay";
  auto portable = MakeFont(16, 0);
  auto native = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_MemBitmap a(220, 30), c(220, 30);
  PIX_SysBitmap b(220, 30);
  for (PIX_IBitmap* bm : {(PIX_IBitmap*)&a, (PIX_IBitmap*)&b, (PIX_IBitmap*)&c}) PIX_Clear(bm, kWhite);
  RECT r{4, 4, 216, 28};
  portable->DrawText(&a, text, -1, &r, 0);
  native->DrawText(&b, text, -1, &r, 0);  // into the bitmap's own context
  native->DrawText(&c, text, -1, &r, 0);  // through the scratch context
  const long long inkA = Ink(&a), inkB = Ink(&b), inkC = Ink(&c);
  ASSERT_GT(inkA, 10000);
  long long diffAB = 0, diffBC = 0;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 220; x++) {
      diffAB += std::abs(PIX_R(PIX_GetPixel(&a, x, y)) - PIX_R(PIX_GetPixel(&b, x, y)));
      diffBC += std::abs(PIX_R(PIX_GetPixel(&b, x, y)) - PIX_R(PIX_GetPixel(&c, x, y)));
    }
  // The portable masks cut a glyph at its advance; everything else matches
  // within rounding of the blend (measured: under 1 % of the ink).
  EXPECT_LT(diffAB, inkA / 50) << "ink " << inkA << " difference " << diffAB;
  EXPECT_EQ(diffBC, 0);
  EXPECT_NEAR((double)inkB, (double)inkA, inkA * 0.05);
  EXPECT_EQ(inkB, inkC);
}

// --- Drawing --------------------------------------------------------------------------------

TEST(CachedFontDraw, ColourAlphaZeroWithUseAlphaDrawsNothing)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap bm(100, 30);
  PIX_Clear(&bm, kWhite);
  RECT r{0, 0, 100, 30};
  f->SetTextColor(PIX_RGBA(0, 0, 0, 0));
  EXPECT_EQ(f->DrawText(&bm, "Accent", -1, &r, PIX_DT_USEFGALPHA | DT_NOCLIP), 0);
  EXPECT_EQ(Ink(&bm), 0);
  // Without the flag the colour's alpha does not weigh the glyphs.
  f->DrawText(&bm, "Accent", -1, &r, DT_NOCLIP);
  EXPECT_GT(Ink(&bm), 1000);
}

TEST(CachedFontDraw, UseAlphaScalesTheWeight)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap full(100, 30), half(100, 30);
  PIX_Clear(&full, kWhite);
  PIX_Clear(&half, kWhite);
  RECT r{0, 0, 100, 30};
  f->SetTextColor(PIX_RGBA(0, 0, 0, 255));
  f->DrawText(&full, "Hold", -1, &r, PIX_DT_USEFGALPHA);
  f->SetTextColor(PIX_RGBA(0, 0, 0, 128));
  f->DrawText(&half, "Hold", -1, &r, PIX_DT_USEFGALPHA);
  EXPECT_NEAR((double)Ink(&half), Ink(&full) / 2.0, Ink(&full) * 0.03);
}

TEST(CachedFontDraw, FullCoverageHitsTheTextColourExactly)
{
  auto f = MakeFont(20, 0);
  PIX_MemBitmap bm(100, 30);
  PIX_Clear(&bm, kWhite);
  const PIX_pixel red = PIX_RGBA(200, 10, 20, 255);
  f->SetTextColor(red);
  RECT r{0, 0, 100, 30};
  f->DrawText(&bm, "HIL", -1, &r, 0);
  int exact = 0;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 100; x++) exact += PIX_GetPixel(&bm, x, y) == red;
  EXPECT_GT(exact, 60);
}

TEST(CachedFontDraw, AlignmentPlacesTextAgainstTheEdges)
{
  auto f = MakeFont(16, 0);
  const RECT m = MeasureText(*f, "Pitch");
  PIX_MemBitmap bm(300, 100);
  auto draw = [&](unsigned fmt) {
    PIX_Clear(&bm, kWhite);
    RECT r{20, 10, 220, 90};
    f->DrawText(&bm, "Pitch", -1, &r, fmt);
    return Bounds(&bm);
  };
  RECT b = draw(0);
  EXPECT_NEAR(b.left, 20, 2);
  EXPECT_GE(b.top, 10);
  b = draw(DT_RIGHT | DT_BOTTOM);
  EXPECT_LE(b.right, 220);
  EXPECT_GE(b.right, 220 - 3);
  EXPECT_LE(b.bottom, 90);
  EXPECT_GE(b.top, 90 - m.bottom);
  b = draw(DT_CENTER | DT_VCENTER);
  EXPECT_NEAR((b.left + b.right) / 2.0, 120, 2.0);
  EXPECT_GE(b.top, 10 + (80 - m.bottom) / 2);
  EXPECT_LE(b.bottom, 10 + (80 - m.bottom) / 2 + m.bottom);
}

TEST(CachedFontDraw, NativeScratchPathHonoursCentringWithoutClipping)
{
  // The editor draws with no-clip and centring; without a context the native
  // path goes through the scratch bitmap and must still centre.
  auto f = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_MemBitmap bm(300, 40);
  PIX_Clear(&bm, kWhite);
  RECT r{50, 5, 250, 35};
  f->DrawText(&bm, "Decay", -1, &r, DT_NOCLIP | DT_CENTER);
  const RECT b = Bounds(&bm);
  EXPECT_NEAR((b.left + b.right) / 2.0, 150, 2.0);
  EXPECT_EQ(f->GetGlyphRenderCount(), 0);
}

TEST(CachedFontDraw, ClipRectangleUnlessNoClip)
{
  auto f = MakeFont(20, 0);
  PIX_MemBitmap bm(300, 40);
  PIX_Clear(&bm, kWhite);
  RECT r{10, 5, 40, 30};
  f->DrawText(&bm, "NoiseDecay", -1, &r, 0);
  RECT b = Bounds(&bm);
  EXPECT_GE(b.left, 10);
  EXPECT_LE(b.right, 40);
  PIX_Clear(&bm, kWhite);
  f->DrawText(&bm, "NoiseDecay", -1, &r, DT_NOCLIP);
  b = Bounds(&bm);
  EXPECT_GT(b.right, 60);
  // A rectangle outside the bitmap draws nothing and does not crash.
  PIX_Clear(&bm, kWhite);
  RECT out{-500, -500, -400, -400};
  EXPECT_EQ(f->DrawText(&bm, "x", -1, &out, 0), 0);
  EXPECT_EQ(Ink(&bm), 0);
}

TEST(CachedFontDraw, NoBitmapDrawsNothingAndReturnsZero)
{
  auto f = MakeFont(16, 0);
  RECT r{0, 0, 50, 50};
  EXPECT_EQ(f->DrawText(nullptr, "x", -1, &r, 0), 0);
  auto n = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE);
  EXPECT_EQ(n->DrawText(nullptr, "x", -1, &r, 0), 0);
  EXPECT_EQ(f->DrawText(nullptr, nullptr, -1, &r, DT_CALCRECT), 0);
}

TEST(CachedFontDraw, MonochromeDrawsOnlyTextColour)
{
  auto f = MakeFont(16, PIX_FONT_FLAG_FX_MONO);
  PIX_MemBitmap bm(100, 30);
  PIX_Clear(&bm, kWhite);
  RECT r{0, 0, 100, 30};
  f->DrawText(&bm, "Osc", -1, &r, 0);
  int ink = 0;
  for (int y = 0; y < 30; y++)
    for (int x = 0; x < 100; x++) {
      const PIX_pixel p = PIX_GetPixel(&bm, x, y);
      ASSERT_TRUE(p == kWhite || p == kBlack);
      ink += p == kBlack;
    }
  EXPECT_GT(ink, 30);
}

TEST(CachedFontDraw, OutlineAndShadowUseTheEffectColour)
{
  const PIX_pixel blue = PIX_RGBA(0, 0, 255, 255);
  for (int fx : {PIX_FONT_FLAG_FX_OUTLINE, PIX_FONT_FLAG_FX_SHADOW}) {
    auto f = MakeFont(16, fx);
    f->SetEffectColor(blue);
    PIX_MemBitmap bm(100, 30);
    PIX_Clear(&bm, kWhite);
    RECT r{0, 0, 100, 30};
    f->DrawText(&bm, "Osc", -1, &r, 0);
    int ink = 0, effect = 0;
    for (int y = 0; y < 30; y++)
      for (int x = 0; x < 100; x++) {
        const PIX_pixel p = PIX_GetPixel(&bm, x, y);
        ink += p == kBlack;
        effect += p == blue;
        // The shadow lies right of or below ink: its left neighbour, the one
        // above or the one above-left is ink.
        if (fx == PIX_FONT_FLAG_FX_SHADOW && p == blue) {
          EXPECT_TRUE(PIX_GetPixel(&bm, x - 1, y) == kBlack || PIX_GetPixel(&bm, x, y - 1) == kBlack ||
                      PIX_GetPixel(&bm, x - 1, y - 1) == kBlack);
        }
      }
    EXPECT_GT(ink, 30);
    EXPECT_GT(effect, 20);
  }
}

TEST(CachedFontDraw, InvertFillsTheGlyphBoxExceptTheGlyph)
{
  auto f = MakeFont(16, PIX_FONT_FLAG_FX_INVERT);
  PIX_MemBitmap bm(100, 30);
  PIX_Clear(&bm, kWhite);
  RECT r{0, 0, 100, 30};
  f->DrawText(&bm, "o", -1, &r, 0);
  const RECT m = MeasureText(*f, "o");
  // The box corner has no glyph, so it is fully inked; the box is m wide.
  EXPECT_EQ(PIX_GetPixel(&bm, 0, 0), kBlack);
  EXPECT_EQ(PIX_GetPixel(&bm, m.right - 1, m.bottom - 1), kBlack);
  EXPECT_EQ(PIX_GetPixel(&bm, m.right, 0), kWhite);
}

TEST(CachedFontDraw, OpaqueModeFillsGlyphBoxesWithTheBackground)
{
  auto f = MakeFont(16, 0);
  const PIX_pixel yellow = PIX_RGBA(255, 255, 0, 255);
  f->SetBkColor(yellow);
  EXPECT_EQ(f->SetBkMode(1), 0);
  PIX_MemBitmap bm(100, 30);
  PIX_Clear(&bm, kWhite);
  RECT r{0, 0, 100, 30};
  f->DrawText(&bm, "ii", -1, &r, 0);
  const RECT m = MeasureText(*f, "ii");
  EXPECT_EQ(PIX_GetPixel(&bm, 0, 0), yellow);
  EXPECT_EQ(PIX_GetPixel(&bm, m.right - 1, m.bottom - 1), yellow);
  EXPECT_EQ(PIX_GetPixel(&bm, m.right + 1, 0), kWhite);
}

TEST(CachedFontDraw, CombineWeightHalvesTheInk)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap full(100, 30), half(100, 30);
  PIX_Clear(&full, kWhite);
  PIX_Clear(&half, kWhite);
  RECT r{0, 0, 100, 30};
  f->DrawText(&full, "Tune", -1, &r, 0);
  f->SetCombineMode(PIX_BLIT_MODE_COPY, 0.5f);
  f->DrawText(&half, "Tune", -1, &r, 0);
  EXPECT_NEAR((double)Ink(&half), Ink(&full) / 2.0, Ink(&full) * 0.03);
}

TEST(CachedFontDraw, CombineWeightAboveOneIsFullAndNotANumberDrawsNothing)
{
  auto f = MakeFont(16, 0);
  PIX_MemBitmap full(100, 30), big(100, 30), nan(100, 30);
  PIX_Clear(&full, kWhite);
  PIX_Clear(&big, kWhite);
  PIX_Clear(&nan, kWhite);
  RECT r{0, 0, 100, 30};
  const int h = f->DrawText(&full, "Tune", -1, &r, 0);
  ASSERT_GT(Ink(&full), 1000);
  f->SetCombineMode(PIX_BLIT_MODE_COPY, 1.0e10f);
  EXPECT_EQ(f->DrawText(&big, "Tune", -1, &r, 0), h);
  EXPECT_EQ(pixtest::pixels(&big), pixtest::pixels(&full));
  f->SetCombineMode(PIX_BLIT_MODE_COPY, std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(f->DrawText(&nan, "Tune", -1, &r, 0), 0);
  EXPECT_EQ(Ink(&nan), 0);
}

TEST(CachedFontDraw, VerticalTextRunsDownOrUp)
{
  for (int flags : {(int)PIX_FONT_FLAG_VERTICAL, PIX_FONT_FLAG_VERTICAL | PIX_FONT_FLAG_VERTICAL_BOTTOMUP}) {
    auto f = MakeFont(16, flags);
    PIX_MemBitmap bm(40, 200);
    PIX_Clear(&bm, kWhite);
    RECT r{0, 0, 40, 200};
    f->DrawText(&bm, "Distortion", -1, &r, 0);
    const RECT b = Bounds(&bm);
    EXPECT_GT(b.bottom - b.top, 3 * (b.right - b.left));
    // "D" followed by spaces: the letter sits at the start of the text's box,
    // at its top for top-down text and at its bottom for bottom-up text.
    PIX_MemBitmap d(40, 200);
    PIX_Clear(&d, kWhite);
    RECT m{0, 0, 0, 0};
    f->DrawText(nullptr, "D          ", -1, &m, DT_CALCRECT);
    ASSERT_GT(m.bottom, 40);
    f->DrawText(&d, "D          ", -1, &r, 0);
    const RECT bd = Bounds(&d);
    if (flags & PIX_FONT_FLAG_VERTICAL_BOTTOMUP) {
      EXPECT_GT(bd.top, m.bottom / 2);
      EXPECT_LE(bd.bottom, m.bottom);
    } else {
      EXPECT_LT(bd.bottom, m.bottom / 2);
      EXPECT_GE(bd.top, 0);
    }
  }
}

TEST(CachedFontDraw, BlurSoftensTheMask)
{
  auto sharp = MakeFont(20, PIX_FONT_FLAG_FX_MONO);
  auto soft = MakeFont(20, PIX_FONT_FLAG_FX_BLUR);
  PIX_MemBitmap a(60, 30), b(60, 30);
  PIX_Clear(&a, kWhite);
  PIX_Clear(&b, kWhite);
  RECT r{0, 0, 60, 30};
  sharp->DrawText(&a, "I", -1, &r, 0);
  soft->DrawText(&b, "I", -1, &r, 0);
  const RECT ba = Bounds(&a), bb = Bounds(&b);
  EXPECT_GT(bb.right - bb.left, ba.right - ba.left) << "blur spreads the stem sideways";
}

TEST(CachedFontDraw, ExtremeRectanglesNeitherOverflowNorDraw)
{
  PIX_MemBitmap mem(50, 20);
  PIX_SysBitmap sys(50, 20);
  for (int flags : {0, (int)PIX_FONT_FLAG_FORCE_NATIVE, PIX_FONT_FLAG_VERTICAL | PIX_FONT_FLAG_VERTICAL_BOTTOMUP}) {
    auto f = MakeFont(16, flags);
    f->SetBkMode(1);
    for (PIX_IBitmap* bm : {(PIX_IBitmap*)&mem, (PIX_IBitmap*)&sys}) {
      PIX_Clear(bm, kWhite);
      const RECT rects[] = {{INT_MAX - 5, INT_MAX - 5, INT_MAX, INT_MAX},
                            {INT_MIN, INT_MIN, INT_MIN + 3, INT_MIN + 3},
                            {INT_MAX, INT_MIN + 10, INT_MAX - 10, INT_MIN}};
      for (RECT r : rects)
        for (unsigned fmt : {0u, (unsigned)(DT_NOCLIP | DT_RIGHT | DT_BOTTOM),
                             (unsigned)(DT_NOCLIP | DT_CENTER | DT_VCENTER), (unsigned)DT_CALCRECT}) {
          RECT rr = r;
          f->DrawText(bm, "Overflow\nguard", -1, &rr, fmt);
        }
      EXPECT_EQ(Ink(bm), 0) << flags;
    }
  }
}

TEST(CachedFontDraw, NativeScratchCoversOnlyTheVisiblePartOfTheText)
{
  // Text that sticks out of a small bitmap on the top left lands exactly as the
  // same text drawn whole into a large bitmap would show through that window.
  auto f = MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE);
  PIX_MemBitmap whole(120, 60), window(30, 12);
  PIX_Clear(&whole, kWhite);
  PIX_Clear(&window, kWhite);
  RECT r{0, 0, 100, 50};
  f->DrawText(&whole, "Decay\nTune", -1, &r, DT_NOCLIP);
  RECT shifted{-7, -5, 93, 45};
  f->DrawText(&window, "Decay\nTune", -1, &shifted, DT_NOCLIP);
  ASSERT_GT(Ink(&window), 0);
  for (int y = 0; y < 12; y++)
    for (int x = 0; x < 30; x++)
      ASSERT_EQ(PIX_GetPixel(&window, x, y), PIX_GetPixel(&whole, x + 7, y + 5)) << x << "," << y;

  // A text of hundreds of lines drawn into that small bitmap costs memory in
  // proportion to the bitmap and the text, not to the text's drawn area.
  std::string tall;
  for (int i = 0; i < 800; i++) tall += "Quorvane KT-412 bass drum\n";
  for (unsigned fmt : {0u, (unsigned)DT_NOCLIP, (unsigned)(DT_NOCLIP | DT_BOTTOM | DT_RIGHT)}) {
    RECT big{-5, -5, 30, 12};
    const size_t largest = pixtest::LargestAllocDuring([&] { f->DrawText(&window, tall.c_str(), -1, &big, fmt); });
    EXPECT_LT(largest, 8u << 20) << fmt;  // the whole text box would take about 14 MB
  }
}

// --- Threads --------------------------------------------------------------------------------

TEST(CachedFontThreads, FontsOnSeveralThreadsShareTheScratchBitmapsSafely)
{
  // Editors on different threads make and use their own fonts; the scratch
  // bitmaps behind glyph rendering and native drawing are shared by all.
  auto render = [](int flags, std::vector<PIX_pixel>* out) {
    PIX_MemBitmap bm(160, 60);
    for (int k = 0; k < 10; k++) {
      auto f = MakeFont(14 + (k & 3), flags);  // a new font each time: the glyph cache starts cold
      PIX_Clear(&bm, kWhite);
      RECT r{0, 0, 160, 60};
      f->DrawText(&bm, "Quorvane\nKT-412 \xC3\xA9", -1, &r, DT_CENTER);
    }
    out->assign(bm.getBits(), bm.getBits() + (size_t)bm.getRowSpan() * bm.getHeight());
  };
  for (int flags : {0, (int)PIX_FONT_FLAG_FORCE_NATIVE}) {
    std::vector<PIX_pixel> ref;
    render(flags, &ref);
    std::vector<std::vector<PIX_pixel>> outs(4);
    std::vector<std::thread> threads;
    for (auto& o : outs) threads.emplace_back(render, flags, &o);
    for (auto& t : threads) t.join();
    for (auto& o : outs) EXPECT_EQ(o, ref) << flags;
  }
}

TEST(CachedFontDraw, BottomUpBitmapGetsTheSameLogicalPixels)
{
  for (int flags : {0, (int)PIX_FONT_FLAG_FORCE_NATIVE}) {
    auto f = MakeFont(16, flags);
    PIX_MemBitmap plain(120, 40);
    pixtest::FlippedBitmap flipped(120, 40);
    PIX_Clear(&plain, kWhite);
    PIX_Clear(&flipped, kWhite);
    RECT r{5, 3, 115, 37};
    f->DrawText(&plain, "Tune\nDepth", -1, &r, DT_CENTER);
    r = RECT{5, 3, 115, 37};
    f->DrawText(&flipped, "Tune\nDepth", -1, &r, DT_CENTER);
    EXPECT_GT(Ink(&plain), 1000);
    EXPECT_EQ(pixtest::pixels(&plain), pixtest::pixels(&flipped)) << flags;
  }
}

TEST(CachedFontCache, DeletedPlatformFontCountsAsNone)
{
  HFONT h = MakeHFont(16, ANTIALIASED_QUALITY, FW_NORMAL);
  DeleteObject(h);
  PIX_CachedFont f;
  f.SetFromHFont(h, PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE);
  EXPECT_EQ(f.GetHFont(), nullptr);
  EXPECT_EQ(f.GetLineHeight(), 0);
  PIX_MemBitmap bm(50, 20);
  PIX_Clear(&bm, kWhite);
  RECT r{0, 0, 50, 20};
  f.DrawText(&bm, "abc", -1, &r, 0);
  EXPECT_EQ(Ink(&bm), 0);
  EXPECT_EQ(MeasureText(f, "abc").right, 0);
}
