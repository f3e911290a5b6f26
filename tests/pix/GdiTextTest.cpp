// Tests of the GDI-style font layer: matching, metrics, measuring, drawing, handles, threads.
#include "pix/gdi/GDI.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

HFONT MakeFont(int height, const char* face = "DejaVu Sans", int weight = FW_NORMAL, int italic = 0,
               int quality = ANTIALIASED_QUALITY, int escapement = 0, int underline = 0)
{
  return CreateFont(height, 0, escapement, escapement, weight, italic, underline, 0, DEFAULT_CHARSET,
                    OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, face);
}

// A context cleared to opaque white with a font selected and black text.
struct Canvas {
  HDC dc;
  int w, h;
  Canvas(int width, int height) : dc(GDI_CreateMemContext(nullptr, width, height)), w(width), h(height)
  {
    Clear(0xFFFFFFFFu);
  }
  ~Canvas() { GDI_DeleteGfxContext(dc); }
  uint32_t* Px() { return static_cast<uint32_t*>(GDI_GetCtxFrameBuffer(dc)); }
  void Clear(uint32_t v) { std::fill(Px(), Px() + (size_t)w * h, v); }
  uint32_t At(int x, int y) { return Px()[(size_t)y * w + x]; }
  // Ink of black text on white: 255 - red.
  int Ink(int x, int y) { return 255 - (int)((At(x, y) >> 8) & 255); }
  // Bounding box of pixels that differ from white; false when there are none.
  bool InkBox(RECT* r)
  {
    r->left = w;
    r->top = h;
    r->right = r->bottom = 0;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++)
        if (At(x, y) != 0xFFFFFFFFu) {
          r->left = std::min(r->left, x);
          r->top = std::min(r->top, y);
          r->right = std::max(r->right, x + 1);
          r->bottom = std::max(r->bottom, y + 1);
        }
    return r->right > 0;
  }
  long long TotalInk()
  {
    long long s = 0;
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) s += Ink(x, y);
    return s;
  }
};

RECT Measure(HDC dc, const char* text, int len = -1, int format = 0)
{
  RECT r{10, 20, 10, 20};
  GDI_DrawText(dc, text, len, &r, format | DT_CALCRECT);
  return r;
}

}  // namespace

// --- Font matching ----------------------------------------------------------

TEST(GdiFontMatch, NamedFamilyIsFoundByFontconfig)
{
  HFONT f = MakeFont(-14, "DejaVu Sans");
  ASSERT_NE(f, nullptr);
  GDI_FontInfo info{};
  ASSERT_TRUE(GDI_GetFontInfo(f, &info));
  EXPECT_STREQ(info.family, "DejaVu Sans");
  EXPECT_NE(std::string(info.file).find("DejaVuSans"), std::string::npos);
  EXPECT_TRUE(DeleteObject(f));
}

TEST(GdiFontMatch, MissingFamilyFallsBackToTheDefaultFamily)
{
  HFONT missing = MakeFont(-14, "Qx No Such Family 412");
  HFONT fallback = MakeFont(-14, nullptr);
  ASSERT_NE(missing, nullptr);
  ASSERT_NE(fallback, nullptr);
  GDI_FontInfo a{}, b{};
  ASSERT_TRUE(GDI_GetFontInfo(missing, &a));
  ASSERT_TRUE(GDI_GetFontInfo(fallback, &b));
  EXPECT_GT(std::strlen(a.family), 0u);
  EXPECT_STREQ(a.file, b.file);
  DeleteObject(missing);
  DeleteObject(fallback);
}

TEST(GdiFontMatch, EditorFamiliesResolveToAnInstalledFont)
{
  for (const char* name : {"Verdana", "Monaco", "", "sans-serif"}) {
    HFONT f = MakeFont(16, name);
    ASSERT_NE(f, nullptr) << name;
    GDI_FontInfo info{};
    ASSERT_TRUE(GDI_GetFontInfo(f, &info));
    EXPECT_GT(std::strlen(info.file), 0u) << name;
    DeleteObject(f);
  }
}

TEST(GdiFontMatch, BoldIsARealOrSyntheticBoldFaceWithMoreInk)
{
  HFONT regular = MakeFont(-24);
  HFONT bold = MakeFont(-24, "DejaVu Sans", FW_BOLD);
  GDI_FontInfo info{};
  ASSERT_TRUE(GDI_GetFontInfo(bold, &info));
  EXPECT_TRUE(std::string(info.file).find("Bold") != std::string::npos || info.syntheticBold);

  Canvas a(300, 40), b(300, 40);
  SelectObject(a.dc, regular);
  SelectObject(b.dc, bold);
  RECT r{0, 0, 300, 40};
  GDI_DrawText(a.dc, "Kick drum", -1, &r, 0);
  r = RECT{0, 0, 300, 40};
  GDI_DrawText(b.dc, "Kick drum", -1, &r, 0);
  EXPECT_GT(b.TotalInk(), a.TotalInk() * 11 / 10);
  DeleteObject(regular);
  DeleteObject(bold);
}

TEST(GdiFontMatch, ItalicSlantsStrokesToTheRight)
{
  // The mean ink column of a tall "l" moves right from its foot to its top.
  auto slant = [](HFONT f) {
    Canvas c(60, 60);
    SelectObject(c.dc, f);
    RECT r{10, 0, 60, 60};
    GDI_DrawText(c.dc, "l", -1, &r, 0);
    RECT box{};
    EXPECT_TRUE(c.InkBox(&box));
    auto meanX = [&](int y0, int y1) {
      double s = 0, n = 0;
      for (int y = y0; y < y1; y++)
        for (int x = 0; x < c.w; x++) {
          s += (double)x * c.Ink(x, y);
          n += c.Ink(x, y);
        }
      return n > 0 ? s / n : 0.0;
    };
    const int q = (box.bottom - box.top) / 4;
    return meanX(box.top, box.top + q) - meanX(box.bottom - q, box.bottom);
  };
  HFONT upright = MakeFont(-48);
  HFONT italic = MakeFont(-48, "DejaVu Sans", FW_NORMAL, 1);
  EXPECT_LT(std::abs(slant(upright)), 1.0);
  EXPECT_GT(slant(italic), 3.0);
  DeleteObject(upright);
  DeleteObject(italic);
}

// --- Metrics and measuring -----------------------------------------------------

TEST(GdiMetrics, CellHeightIsTheRequestedLineHeight)
{
  Canvas c(10, 10);
  int last = 0;
  for (int h : {8, 12, 13, 16, 17, 24, 40}) {
    HFONT f = MakeFont(h);
    SelectObject(c.dc, f);
    TEXTMETRIC tm{};
    ASSERT_TRUE(GetTextMetrics(c.dc, &tm));
    EXPECT_EQ(tm.tmHeight, tm.tmAscent + tm.tmDescent);
    EXPECT_EQ(tm.tmHeight, h) << "a positive height is the cell, ascent plus descent";
    EXPECT_GT(tm.tmHeight, last);
    last = tm.tmHeight;
    SelectObject(c.dc, nullptr);
    DeleteObject(f);
  }
}

TEST(GdiMeasure, TwoLinesGiveTheWiderLineAndTwoLineHeights)
{
  Canvas c(10, 10);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  TEXTMETRIC tm{};
  GetTextMetrics(c.dc, &tm);
  RECT a = Measure(c.dc, "Kick");
  RECT b = Measure(c.dc, "Accent level");
  RECT both = Measure(c.dc, "Kick\r\nAccent level");
  EXPECT_EQ(a.bottom - a.top, tm.tmHeight);
  EXPECT_EQ(both.left, 10);
  EXPECT_EQ(both.top, 20);
  EXPECT_EQ(both.right - both.left, std::max(a.right - a.left, b.right - b.left));
  EXPECT_EQ(both.bottom - both.top, 2 * tm.tmHeight);
  EXPECT_EQ(GDI_DrawText(c.dc, "Kick\nAccent level", -1, &both, DT_CALCRECT), 2 * tm.tmHeight);
  DeleteObject(f);
}

TEST(GdiMeasure, SingleLineTurnsLineFeedsIntoSpaces)
{
  Canvas c(10, 10);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  RECT a = Measure(c.dc, "Tune\nDecay", -1, DT_SINGLELINE);
  RECT b = Measure(c.dc, "Tune Decay");
  EXPECT_EQ(a.right, b.right);
  EXPECT_EQ(a.bottom, b.bottom);
  DeleteObject(f);
}

TEST(GdiMeasure, LengthLimitsTheText)
{
  Canvas c(10, 10);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  EXPECT_EQ(Measure(c.dc, "Decay", 3).right, Measure(c.dc, "Dec").right);
  EXPECT_EQ(Measure(c.dc, "", -1).right, 10);
  DeleteObject(f);
}

TEST(GdiMeasure, RotatedTextSwapsTheExtent)
{
  Canvas c(10, 10);
  HFONT flat = MakeFont(16), up = MakeFont(16, "DejaVu Sans", FW_NORMAL, 0, ANTIALIASED_QUALITY, 900);
  SelectObject(c.dc, flat);
  RECT a = Measure(c.dc, "Distortion");
  SelectObject(c.dc, up);
  RECT b = Measure(c.dc, "Distortion");
  EXPECT_NEAR(b.right - b.left, a.bottom - a.top, 1);
  EXPECT_NEAR(b.bottom - b.top, a.right - a.left, 1);
  DeleteObject(flat);
  DeleteObject(up);
}

// --- Drawing ------------------------------------------------------------------------

TEST(GdiDraw, TextColourLandsInThePixelByteOrder)
{
  Canvas c(100, 30);
  HFONT f = MakeFont(20, "DejaVu Sans", FW_NORMAL, 0, NONANTIALIASED_QUALITY);
  SelectObject(c.dc, f);
  SetTextColor(c.dc, GDI_RGB(0x12, 0x34, 0x56));
  RECT r{0, 0, 100, 30};
  GDI_DrawText(c.dc, "HH", -1, &r, 0);
  // Monochrome glyphs: every pixel is either untouched or exactly the colour,
  // bytes in memory alpha, red, green, blue.
  const uint32_t ink = 0xFFu | (0x12u << 8) | (0x34u << 16) | (0x56u << 24);
  int inked = 0;
  for (int y = 0; y < c.h; y++)
    for (int x = 0; x < c.w; x++) {
      uint32_t p = c.At(x, y);
      ASSERT_TRUE(p == 0xFFFFFFFFu || p == ink) << std::hex << p;
      inked += p == ink;
    }
  EXPECT_GT(inked, 40);
  DeleteObject(f);
}

TEST(GdiDraw, AntialiasedEdgesHaveIntermediateCoverage)
{
  Canvas c(100, 30);
  HFONT f = MakeFont(20);
  SelectObject(c.dc, f);
  RECT r{0, 0, 100, 30};
  GDI_DrawText(c.dc, "Osc", -1, &r, 0);
  int partial = 0;
  for (int y = 0; y < c.h; y++)
    for (int x = 0; x < c.w; x++) partial += c.Ink(x, y) > 20 && c.Ink(x, y) < 235;
  EXPECT_GT(partial, 10);
  DeleteObject(f);
}

TEST(GdiDraw, ClippingKeepsInkInsideTheRectangleUnlessNoClip)
{
  Canvas c(200, 40);
  HFONT f = MakeFont(20);
  SelectObject(c.dc, f);
  RECT r{10, 5, 40, 30};
  GDI_DrawText(c.dc, "NoiseDecay", -1, &r, 0);
  RECT box{};
  ASSERT_TRUE(c.InkBox(&box));
  EXPECT_GE(box.left, 10);
  EXPECT_LE(box.right, 40);
  c.Clear(0xFFFFFFFFu);
  GDI_DrawText(c.dc, "NoiseDecay", -1, &r, DT_NOCLIP);
  ASSERT_TRUE(c.InkBox(&box));
  EXPECT_GT(box.right, 60);
  DeleteObject(f);
}

TEST(GdiDraw, AlignmentPlacesTheInkInTheRectangle)
{
  Canvas c(300, 100);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  const RECT m = Measure(c.dc, "Pitch");
  const int tw = m.right - m.left, th = m.bottom - m.top;
  RECT box{};
  auto draw = [&](int fmt) {
    c.Clear(0xFFFFFFFFu);
    RECT r{20, 10, 220, 90};
    GDI_DrawText(c.dc, "Pitch", -1, &r, fmt);
    EXPECT_TRUE(c.InkBox(&box));
  };
  draw(DT_LEFT | DT_TOP);
  EXPECT_NEAR(box.left, 20, 2);
  EXPECT_GE(box.top, 10);
  draw(DT_RIGHT | DT_BOTTOM);
  EXPECT_NEAR(box.right, 220, 2);
  EXPECT_LE(box.bottom, 90);
  EXPECT_GE(box.top, 90 - th);
  draw(DT_CENTER | DT_VCENTER);
  EXPECT_NEAR((box.left + box.right) / 2.0, 120, 2.0);
  EXPECT_GE(box.top, 10 + (80 - th) / 2);
  EXPECT_LE(box.bottom, 10 + (80 - th) / 2 + th);
  EXPECT_LE(box.right - box.left, tw + 2);
  DeleteObject(f);
}

TEST(GdiDraw, OpaqueModeFillsTheTextExtentWithTheBackground)
{
  Canvas c(200, 40);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  SetBkColor(c.dc, GDI_RGB(0, 0, 255));
  EXPECT_EQ(SetBkMode(c.dc, OPAQUE), TRANSPARENT);
  RECT r{5, 5, 200, 40};
  const RECT m = Measure(c.dc, "Hold");
  GDI_DrawText(c.dc, "Hold", -1, &r, 0);
  const uint32_t blue = 0xFFu | (255u << 24);
  EXPECT_EQ(c.At(5, 5), blue);
  EXPECT_EQ(c.At(5 + (m.right - m.left) - 1, 5 + (m.bottom - m.top) - 1), blue);
  EXPECT_EQ(c.At(5 + (m.right - m.left) + 1, 6), 0xFFFFFFFFu);
  DeleteObject(f);
}

TEST(GdiDraw, UnderlineAddsInkBelowTheBaseline)
{
  Canvas a(200, 40), b(200, 40);
  HFONT plain = MakeFont(20), under = MakeFont(20, "DejaVu Sans", FW_NORMAL, 0, ANTIALIASED_QUALITY, 0, 1);
  SelectObject(a.dc, plain);
  SelectObject(b.dc, under);
  RECT r{0, 0, 200, 40};
  GDI_DrawText(a.dc, "ac", -1, &r, 0);
  GDI_DrawText(b.dc, "ac", -1, &r, 0);
  RECT ba{}, bb{};
  a.InkBox(&ba);
  b.InkBox(&bb);
  EXPECT_GT(bb.bottom, ba.bottom);
  DeleteObject(plain);
  DeleteObject(under);
}

TEST(GdiDraw, RotatedTextIsTallAndNarrow)
{
  Canvas c(60, 200);
  HFONT f = MakeFont(16, "DejaVu Sans", FW_NORMAL, 0, ANTIALIASED_QUALITY, 900);
  SelectObject(c.dc, f);
  RECT r{0, 0, 60, 200};
  GDI_DrawText(c.dc, "Distortion", -1, &r, 0);
  RECT box{};
  ASSERT_TRUE(c.InkBox(&box));
  EXPECT_GT(box.bottom - box.top, 3 * (box.right - box.left));
  DeleteObject(f);
}

// --- UTF-8 --------------------------------------------------------------------------

TEST(GdiUtf8, TwoByteSequenceIsOneCharacter)
{
  Canvas c(10, 10);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  // U+00E9 in UTF-8 measures like the single Latin-1 byte 0xE9, which stands for itself.
  EXPECT_EQ(Measure(c.dc, "\xC3\xA9").right, Measure(c.dc, "\xE9").right);
  EXPECT_GT(Measure(c.dc, "\xC3\xA9").right, 10);
  DeleteObject(f);
}

TEST(GdiUtf8, TruncatedSequencesAtTheEndAreNotReadPast)
{
  Canvas c(10, 10);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  for (const std::string s : {"\xC3", "\xE2\x82", "\xF0\x9F\x8E", "a\xE2"}) {
    // Exactly sized heap copies: AddressSanitizer reports any read past the end.
    std::unique_ptr<char[]> buf(new char[s.size()]);
    std::memcpy(buf.get(), s.data(), s.size());
    RECT r{0, 0, 0, 0};
    GDI_DrawText(c.dc, buf.get(), (int)s.size(), &r, DT_CALCRECT);
    EXPECT_GT(r.right, 0) << "lead byte stands for itself";
    RECT d{0, 0, 10, 10};
    GDI_DrawText(c.dc, buf.get(), (int)s.size(), &d, 0);
  }
  // A broken sequence measures like its bytes taken one by one.
  EXPECT_EQ(Measure(c.dc, "\xC3" "A").right, Measure(c.dc, "\xC3").right + Measure(c.dc, "A").right - 10);
  DeleteObject(f);
}

// --- Handles and bad arguments --------------------------------------------------------

TEST(GdiHandles, BadHandlesAndArgumentsFailQuietly)
{
  EXPECT_FALSE(DeleteObject(nullptr));
  EXPECT_EQ(GDI_CreateMemContext(nullptr, 0, 10), nullptr);
  EXPECT_EQ(GDI_CreateMemContext(nullptr, 10, -1), nullptr);
  EXPECT_EQ(GDI_CreateMemContext(nullptr, 1 << 20, 1 << 20), nullptr);
  EXPECT_EQ(GDI_GetCtxFrameBuffer(nullptr), nullptr);
  RECT r{0, 0, 10, 10};
  EXPECT_EQ(GDI_DrawText(nullptr, "x", -1, &r, 0), 0);
  Canvas c(10, 10);
  EXPECT_EQ(GDI_DrawText(c.dc, nullptr, -1, &r, 0), 0);
  EXPECT_EQ(GDI_DrawText(c.dc, "x", -1, nullptr, 0), 0);
  TEXTMETRIC tm{};
  EXPECT_FALSE(GetTextMetrics(nullptr, &tm));
  EXPECT_FALSE(GetTextMetrics(c.dc, nullptr));
  EXPECT_EQ(SetTextColor(nullptr, 5), 0);
}

TEST(GdiHandles, DeletedFontIsForgottenByContextsAndCannotBeDeletedTwice)
{
  Canvas c(100, 30);
  HFONT f = MakeFont(30);
  EXPECT_EQ(SelectObject(c.dc, f), nullptr);
  TEXTMETRIC big{};
  GetTextMetrics(c.dc, &big);
  EXPECT_TRUE(DeleteObject(f));
  EXPECT_FALSE(DeleteObject(f));
  EXPECT_EQ(SelectObject(c.dc, f), nullptr);
  GDI_FontInfo info{};
  EXPECT_FALSE(GDI_GetFontInfo(f, &info));
  // The context falls back to the default font instead of the freed one.
  TEXTMETRIC tm{};
  ASSERT_TRUE(GetTextMetrics(c.dc, &tm));
  EXPECT_LT(tm.tmHeight, big.tmHeight);
  RECT r{0, 0, 100, 30};
  EXPECT_GT(GDI_DrawText(c.dc, "ok", -1, &r, 0), 0);
}

TEST(GdiHandles, SelectObjectReturnsThePreviousFontAndSettersThePreviousValue)
{
  Canvas c(10, 10);
  HFONT a = MakeFont(12), b = MakeFont(14);
  EXPECT_EQ(SelectObject(c.dc, a), nullptr);
  EXPECT_EQ(SelectObject(c.dc, b), a);
  EXPECT_EQ(SetTextColor(c.dc, 0x123456), 0);
  EXPECT_EQ(SetTextColor(c.dc, 0), 0x123456);
  EXPECT_EQ(SetBkColor(c.dc, 0), 0xFFFFFF);
  DeleteObject(a);
  DeleteObject(b);
}

TEST(GdiHandles, NewContextIsZeroedAndSized)
{
  HDC dc = GDI_CreateMemContext(nullptr, 7, 5);
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(GDI_GetCtxWidth(dc), 7);
  EXPECT_EQ(GDI_GetCtxHeight(dc), 5);
  const auto* p = static_cast<const uint32_t*>(GDI_GetCtxFrameBuffer(dc));
  for (int i = 0; i < 35; i++) EXPECT_EQ(p[i], 0u);
  GDI_DeleteGfxContext(dc);
  EXPECT_EQ(GDI_GetCtxWidth(dc), 0);
}

// --- Threads ----------------------------------------------------------------------------

TEST(GdiThreads, FontsMadeAndUsedOnSeveralThreadsDrawLikeOnOne)
{
  auto render = [](std::vector<uint32_t>* out) {
    HFONT f = MakeFont(18, "Verdana");
    Canvas c(160, 30);
    SelectObject(c.dc, f);
    RECT r{0, 0, 160, 30};
    for (int k = 0; k < 20; k++) {
      c.Clear(0xFFFFFFFFu);
      GDI_DrawText(c.dc, "Quorvane KT-412 \xC3\xA9", -1, &r, DT_CENTER);
    }
    out->assign(c.Px(), c.Px() + 160 * 30);
    DeleteObject(f);
  };
  std::vector<uint32_t> ref;
  render(&ref);
  std::vector<std::vector<uint32_t>> outs(4);
  std::vector<std::thread> threads;
  for (auto& o : outs) threads.emplace_back(render, &o);
  for (auto& t : threads) t.join();
  for (auto& o : outs) EXPECT_EQ(o, ref);
}

TEST(GdiHandles, ExtremeRectanglesNeitherOverflowNorDraw)
{
  Canvas c(50, 20);
  HFONT f = MakeFont(16), rot = MakeFont(16, "DejaVu Sans", FW_NORMAL, 0, ANTIALIASED_QUALITY, 450);
  for (HFONT font : {f, rot}) {
    SelectObject(c.dc, font);
    SetBkMode(c.dc, OPAQUE);
    const RECT rects[] = {{INT_MAX - 5, INT_MAX - 5, INT_MAX, INT_MAX},
                          {INT_MIN, INT_MIN, INT_MIN + 3, INT_MIN + 3},
                          {INT_MAX, INT_MIN + 10, INT_MAX - 10, INT_MIN}};
    for (RECT r : rects)
      for (int fmt : {0, DT_NOCLIP | DT_RIGHT | DT_BOTTOM, DT_NOCLIP | DT_CENTER | DT_VCENTER, DT_CALCRECT}) {
        RECT rr = r;
        GDI_DrawText(c.dc, "Overflow\nguard", -1, &rr, fmt);
      }
  }
  RECT box{};
  EXPECT_FALSE(c.InkBox(&box));
  DeleteObject(f);
  DeleteObject(rot);
}

TEST(GdiDraw, OpaqueBoxBesideTheBufferFillsNothing)
{
  // The text's box lies left of (then right of) the frame buffer on the same rows.
  Canvas c(50, 20);
  HFONT f = MakeFont(16);
  SelectObject(c.dc, f);
  SetBkMode(c.dc, OPAQUE);
  SetBkColor(c.dc, 0);
  RECT left{-200, 0, -150, 20}, right{70, 0, 120, 20};
  GDI_DrawText(c.dc, "Hi", -1, &left, DT_NOCLIP);
  GDI_DrawText(c.dc, "Hi", -1, &right, DT_NOCLIP);
  RECT box{};
  EXPECT_FALSE(c.InkBox(&box));
  DeleteObject(f);
}
