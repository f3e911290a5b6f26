// Unscaled blits, fills and pixels: clipping, flipped storage, shortcuts and
// the channel copy, against per-pixel models.
#include <gtest/gtest.h>

#include <vector>

#include "pix/PIX_Blit.h"
#include "pix/PixTestUtil.h"

using namespace pixtest;

namespace {

// Per-pixel model of a weight-1.0 copy blit with consistent clipping: source
// pixel (sx, sy) of the rectangle lands at dst + (sx - srcx, sy - srcy).
std::vector<PIX_pixel> modelCopy(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int srcx,
                                 int srcy, int srcw, int srch)
{
  std::vector<PIX_pixel> out = pixels(dest);
  const int dw = dest->getWidth(), dh = dest->getHeight();
  for (int y = 0; y < srch; ++y)
    for (int x = 0; x < srcw; ++x)
    {
      const int sx = srcx + x, sy = srcy + y, dx = dstx + x, dy = dsty + y;
      if (sx < 0 || sy < 0 || sx >= src->getWidth() || sy >= src->getHeight()) continue;
      if (dx < 0 || dy < 0 || dx >= dw || dy >= dh) continue;
      out[(size_t)dy * dw + dx] = at(src, sx, sy);
    }
  return out;
}

}  // namespace

TEST(PixBlitClipping, EveryEdgeAndNegativeCoordinatesMatchTheModel)
{
  PIX_MemBitmap src(7, 5), dst(12, 9);
  fillRandom(&src, 1);
  for (int dy = -7; dy <= 11; ++dy)
    for (int dx = -9; dx <= 14; ++dx)
    {
      fillRandom(&dst, 2);
      const std::vector<PIX_pixel> want = modelCopy(&dst, &src, dx, dy, 1, 1, 5, 4);
      PIX_Blit(&dst, &src, dx, dy, 1, 1, 5, 4, 1.0f, PIX_BLIT_MODE_COPY);
      ASSERT_EQ(pixels(&dst), want) << dx << "," << dy;
    }
}

TEST(PixBlitClipping, SourceRectangleBeyondTheSourceKeepsPixelPositions)
{
  PIX_MemBitmap src(6, 6), dst(10, 10);
  fillRandom(&src, 3);
  for (int sx : {-4, -1, 0, 3})
    for (int sy : {-3, 0, 4})
    {
      fillRandom(&dst, 4);
      const std::vector<PIX_pixel> want = modelCopy(&dst, &src, 2, 3, sx, sy, 8, 7);
      PIX_Blit(&dst, &src, 2, 3, sx, sy, 8, 7, 1.0f, PIX_BLIT_MODE_COPY);
      ASSERT_EQ(pixels(&dst), want) << sx << "," << sy;
    }
}

TEST(PixBlitClipping, NegativeDestinationDrawsOnlyTheVisiblePartFromTheMatchingOffset)
{
  PIX_MemBitmap src(4, 4), dst(4, 4);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 4; ++x) at(&src, x, y) = PIX_RGBA(x, y, 0, 255);
  PIX_Clear(&dst, 0);
  PIX_Blit(&dst, &src, -1, -2, 0, 0, 4, 4, 1.0f, 0);
  EXPECT_EQ(at(&dst, 0, 0), PIX_RGBA(1, 2, 0, 255));
  EXPECT_EQ(at(&dst, 2, 1), PIX_RGBA(3, 3, 0, 255));
  EXPECT_EQ(at(&dst, 3, 0), 0u);
  EXPECT_EQ(at(&dst, 0, 2), 0u);
}

TEST(PixBlitClipping, NothingHappensForMissingInputsZeroWeightOrUnknownMode)
{
  PIX_MemBitmap src(4, 4), dst(4, 4), empty;
  fillRandom(&src, 5);
  fillRandom(&dst, 6);
  const std::vector<PIX_pixel> before = pixels(&dst);
  PIX_Blit(&dst, nullptr, 0, 0, 0, 0, 4, 4, 1.0f, 0);
  PIX_Blit(nullptr, &src, 0, 0, 0, 0, 4, 4, 1.0f, 0);
  PIX_Blit(&dst, &empty, 0, 0, 0, 0, 4, 4, 1.0f, 0);
  PIX_Blit(&dst, &src, 0, 0, 0, 0, 4, 4, 0.0f, 0);
  PIX_Blit(&dst, &src, 0, 0, 0, 0, 4, 4, 0.003f, PIX_BLIT_MODE_ADD);  // w = 0
  PIX_Blit(&dst, &src, 0, 0, 0, 0, 4, 4, 1.0f, 6);
  PIX_Blit(&dst, &src, 0, 0, 0, 0, 4, 4, 1.0f, 0x10000 | 0x7F);
  PIX_Blit(&dst, &src, 0, 0, 0, 0, 0, 4, 1.0f, 0);
  // A reversed rectangle is empty, not "the rest of the source".
  PIX_Blit(&dst, &src, 0, 0, 1, 1, -2, 3, 1.0f, 0);
  PIX_Blit(&dst, &src, 0, 0, 1, 1, 3, -1, 1.0f, 0);
  PIX_Blit(&dst, &src, 0, 0, 0, 0, -1, -1, 1.0f, 0);
  PIX_Blit(&dst, &src, 4, 0, 0, 0, 4, 4, 1.0f, 0);
  EXPECT_EQ(pixels(&dst), before);
}

TEST(PixBlitModes, HalfWeightCopyOfWhiteOnBlackGives7F)
{
  PIX_MemBitmap src(3, 3), dst(3, 3);
  PIX_Clear(&src, 0xFFFFFFFFu);
  PIX_Clear(&dst, 0);
  PIX_Blit(&dst, &src, 0, 0, 0, 0, 3, 3, 0.5f, 0);
  for (PIX_pixel p : pixels(&dst)) EXPECT_EQ(p, 0x7F7F7F7Fu);
}

TEST(PixBlitModes, EachModeMatchesTheReferenceRuleOverABitmap)
{
  PIX_MemBitmap src(33, 17), dst(40, 20);
  for (int mode : {0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002, 0x10003, 0x10004, 0x10005})
    for (float alpha : {0.3f, 0.75f, 1.0f})
    {
      fillRandom(&src, 7);
      fillRandom(&dst, 8);
      std::vector<PIX_pixel> want = pixels(&dst);
      const int w = (int)(alpha * 256);
      for (int y = 0; y < 17; ++y)
        for (int x = 0; x < 33; ++x)
        {
          PIX_pixel& d = want[(size_t)(y + 2) * 40 + x + 5];
          d = refCombine(d, at(&src, x, y), mode & 0xFF, mode & 0x10000, w);
        }
      PIX_Blit(&dst, &src, 5, 2, 0, 0, 33, 17, alpha, mode);
      ASSERT_EQ(pixels(&dst), want) << mode << " " << alpha;
    }
}

TEST(PixBlitModes, ChannelCopyMovesOneByteAndKeepsTheOthers)
{
  PIX_MemBitmap src(5, 3), dst(5, 3);
  fillRandom(&src, 9);
  for (int sc = 0; sc < 4; ++sc)
    for (int dc = 0; dc < 4; ++dc)
    {
      fillRandom(&dst, 10);
      const std::vector<PIX_pixel> before = pixels(&dst);
      PIX_Blit(&dst, &src, 0, 0, 0, 0, 5, 3, 1.0f, PIX_BLIT_MODE_CHANCOPY(sc, dc));
      const std::vector<PIX_pixel> s = pixels(&src), d = pixels(&dst);
      for (size_t i = 0; i < d.size(); ++i)
      {
        for (int c = 0; c < 4; ++c)
        {
          const int want = c == dc ? ch(s[i], sc) : ch(before[i], c);
          ASSERT_EQ(ch(d[i], c), want) << sc << "->" << dc;
        }
      }
    }
}

TEST(PixBlitFlipped, FlippedSourceAndDestinationKeepRowZeroOnTop)
{
  FlippedBitmap fsrc(6, 4), fdst(8, 6);
  PIX_MemBitmap src(6, 4), dst(8, 6);
  fillRandom(&src, 11);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) fsrc.at(x, y) = at(&src, x, y);
  fillRandom(&dst, 12);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) fdst.at(x, y) = at(&dst, x, y);

  for (int mode : {0, 0x10000, 3})
  {
    PIX_MemBitmap a(8, 6), b(8, 6);
    PIX_Copy(&a, &dst);
    PIX_Blit(&a, &src, 1, -1, 0, 0, 6, 4, 0.6f, mode);  // plain into plain
    PIX_Blit(&fdst, &fsrc, 1, -1, 0, 0, 6, 4, 0.6f, mode);  // flipped into flipped
    EXPECT_EQ(pixels(&fdst), pixels(&a));
    PIX_Copy(&b, &dst);
    PIX_Blit(&b, &fsrc, 1, -1, 0, 0, 6, 4, 0.6f, mode);  // flipped into plain
    PIX_Copy(&a, &dst);
    PIX_Blit(&a, &src, 1, -1, 0, 0, 6, 4, 0.6f, mode);
    EXPECT_EQ(pixels(&b), pixels(&a));
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 8; ++x) fdst.at(x, y) = at(&dst, x, y);
  }
  EXPECT_EQ(PIX_GetPixel(&fsrc, 2, 0), at(&src, 2, 0));
}

TEST(PixBlitOverlap, BlitWithinOneBitmapReadsEachSourcePixelBeforeItIsOverwritten)
{
  for (int dx : {-2, -1, 0, 1, 3})
    for (int dy : {-1, 0, 1})
      for (float alpha : {1.0f, 0.4f})
      {
        PIX_MemBitmap bm(20, 10), copy(20, 10);
        fillRandom(&bm, 13);
        PIX_Copy(&copy, &bm);
        PIX_MemBitmap want(20, 10);
        PIX_Copy(&want, &bm);
        PIX_Blit(&want, &copy, 4 + dx, 3 + dy, 4, 3, 12, 5, alpha, 0);
        PIX_Blit(&bm, &bm, 4 + dx, 3 + dy, 4, 3, 12, 5, alpha, 0);
        ASSERT_EQ(pixels(&bm), pixels(&want)) << dx << "," << dy << " " << alpha;
      }
}

TEST(PixBlitForms, RectangleFormAndCopy)
{
  PIX_MemBitmap src(9, 7), a(10, 10), b(10, 10);
  fillRandom(&src, 14);
  fillRandom(&a, 15);
  PIX_Copy(&b, &a);
  const PIX_RECT r = {2, 1, 6, 5};
  PIX_Blit(&a, &src, 3, 3, &r, 0.7f, 1);
  PIX_Blit(&b, &src, 3, 3, 2, 1, 4, 4, 0.7f, 1);
  EXPECT_EQ(pixels(&a), pixels(&b));
  PIX_MemBitmap c;
  PIX_Copy(&c, &src);
  EXPECT_EQ(c.getWidth(), 9);
  EXPECT_EQ(c.getHeight(), 7);
  EXPECT_EQ(pixels(&c), pixels(&src));
  // Null rectangle: the whole source.
  PIX_MemBitmap d(9, 7);
  PIX_Blit(&d, &src, 0, 0, nullptr, 1.0f, 0);
  EXPECT_EQ(pixels(&d), pixels(&src));
}

TEST(PixFill, QuarterWeightUsesTheMaskShortcut)
{
  PIX_MemBitmap bm(3, 2);
  const PIX_pixel d = 0x80FF3F11u, c = 0xC0017FFFu;
  for (float alpha : {0.25f, 0.5f, 0.75f, 1.0f})
  {
    PIX_Clear(&bm, d);
    PIX_FillRect(&bm, 0, 0, 3, 2, c, alpha, 0);
    PIX_pixel want = c;
    if (alpha == 0.25f)
      want = ((d >> 1) & 0x7F7F7F7Fu) + ((d >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu);
    if (alpha == 0.5f) want = ((d >> 1) & 0x7F7F7F7Fu) + ((c >> 1) & 0x7F7F7F7Fu);
    if (alpha == 0.75f)
      want = ((d >> 2) & 0x3F3F3F3Fu) + ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu);
    for (PIX_pixel p : pixels(&bm)) ASSERT_EQ(p, want) << alpha;
  }
  // The mask arithmetic differs from the rule here (0x11: 12 + 63 vs 0x11 + ...).
  PIX_pixel viaRule = d;
  PIX_CombinePixelsCopyNoClamp::doPix(&viaRule, PIX_R(c), PIX_G(c), PIX_B(c), 64, 64);
  EXPECT_NE(viaRule, ((d >> 1) & 0x7F7F7F7Fu) + ((d >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu));
}

TEST(PixFill, OtherWeightsRunTheRuleWithWeightAsAlpha)
{
  PIX_MemBitmap bm(4, 4);
  for (int mode : {0, 1, 2, 3, 4, 5})
  {
    fillRandom(&bm, 16);
    std::vector<PIX_pixel> want = pixels(&bm);
    const PIX_pixel c = PIX_RGBA(200, 50, 128, 17);
    const int w = (int)(0.6f * 256);
    for (PIX_pixel& p : want) p = refCombine(p, (c & 0xFFFFFF00u) | (PIX_pixel)w, mode, false, w);
    PIX_FillRect(&bm, -3, -3, 10, 10, c, 0.6f, mode);
    ASSERT_EQ(pixels(&bm), want) << mode;
  }
}

TEST(PixFill, SourceAlphaFlagScalesByTheColourAlpha)
{
  PIX_MemBitmap bm(2, 2), ref(2, 2);
  PIX_Clear(&bm, 0x10203040u);
  PIX_FillRect(&bm, 0, 0, 2, 2, PIX_RGBA(255, 255, 255, 0), 1.0f, PIX_BLIT_USE_SRC_ALPHA);
  EXPECT_EQ(PIX_GetPixel(&bm, 1, 1), 0x10203040u);
  // Colour alpha 255 * 0.5 = 0.5: the half shortcut.
  PIX_FillRect(&bm, 0, 0, 2, 2, 0xFFFFFFFFu, 0.5f, PIX_BLIT_USE_SRC_ALPHA);
  EXPECT_EQ(PIX_GetPixel(&bm, 0, 0), ((0x10203040u >> 1) & 0x7F7F7F7Fu) + 0x7F7F7F7Fu);
}

TEST(PixFill, ClippingAndDegenerateRectangles)
{
  PIX_MemBitmap bm(5, 4);
  PIX_Clear(&bm, 0);
  PIX_FillRect(&bm, -2, 3, 4, 5, 0xFFu, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(PIX_GetPixel(&bm, x, y), (x < 2 && y == 3) ? 0xFFu : 0u);
  PIX_FillRect(&bm, 5, 0, 3, 3, 0xFFu, 1.0f, 0);
  PIX_FillRect(&bm, 0, 0, 0, 3, 0xFFu, 1.0f, 0);
  PIX_FillRect(&bm, 0, 0, 3, 3, 0xFFu, 0.001f, 1);
  PIX_FillRect(&bm, 0, 0, 3, 3, 0xFFu, 1.0f, 9);
  PIX_FillRect(nullptr, 0, 0, 3, 3, 0xFFu, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&bm, 0, 0), 0u);
}

TEST(PixPixels, GetOutsideReturnsZeroAndPutOutsideDoesNothing)
{
  PIX_MemBitmap bm(3, 3);
  PIX_Clear(&bm, 0xABCDEF01u);
  EXPECT_EQ(PIX_GetPixel(&bm, -1, 0), 0u);
  EXPECT_EQ(PIX_GetPixel(&bm, 0, 3), 0u);
  EXPECT_EQ(PIX_GetPixel(nullptr, 0, 0), 0u);
  EXPECT_EQ(PIX_GetPixel(&bm, 2, 2), 0xABCDEF01u);
  PIX_PutPixel(&bm, 3, 0, 0, 1.0f, 0);
  PIX_PutPixel(&bm, 0, -1, 0, 1.0f, 0);
  for (PIX_pixel p : pixels(&bm)) EXPECT_EQ(p, 0xABCDEF01u);
  PIX_PutPixel(&bm, 1, 1, 0x11223344u, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&bm, 1, 1), 0x11223344u);
  PIX_PutPixel(&bm, 1, 1, 0xFFFFFFFFu, 0.25f, 0);
  const PIX_pixel d = 0x11223344u, c = 0xFFFFFFFFu;
  EXPECT_EQ(PIX_GetPixel(&bm, 1, 1), ((d >> 1) & 0x7F7F7F7Fu) + ((d >> 2) & 0x3F3F3F3Fu) + ((c >> 2) & 0x3F3F3F3Fu));
}

TEST(PixPixels, ClearAndClearRect)
{
  PIX_MemBitmap bm(6, 5, 4);
  PIX_Clear(&bm, 0x12345678u);
  for (PIX_pixel p : pixels(&bm)) EXPECT_EQ(p, 0x12345678u);
  PIX_ClearRect(&bm, 4, -1, 5, 3, 0xFFFFFF00u, 0x000000FFu);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 6; ++x)
      EXPECT_EQ(PIX_GetPixel(&bm, x, y), (x >= 4 && y < 2) ? 0x123456FFu : 0x12345678u);
}

TEST(PixBlitClipping, ExtremeCoordinatesClipWithoutOverflow)
{
  PIX_MemBitmap src(8, 8), dst(8, 8);
  fillRandom(&src, 17);
  PIX_Clear(&dst, 0);
  const int big = 2147483647, small = -2147483647 - 1;
  PIX_Blit(&dst, &src, small, small, big, big, big, big, 1.0f, 0);
  PIX_Blit(&dst, &src, big, big, small, small, big, big, 1.0f, 0);
  PIX_Blit(&dst, &src, -1158305466, 0, -1097241273, 0, 8, 8, 1.0f, 0);
  PIX_FillRect(&dst, big, big, big, big, 0xFFu, 1.0f, 0);
  PIX_FillRect(&dst, small, small, big, big, 0xFFu, 1.0f, 0);  // ends at -1
  PIX_ClearRect(&dst, big - 2, 0, big, 3, 0, 0xFFu);
  const PIX_RECT r = {0, 0, big, big};
  PIX_Blit(&dst, &src, 0, 0, &r, 1.0f, 0);  // the whole source, clipped
  const PIX_RECT far = {small, small, big, big};  // source pixel 0 would land 2^31 away
  PIX_Blit(&dst, &src, 0, 0, &far, 1.0f, 0);
  EXPECT_EQ(pixels(&dst), pixels(&src));
  PIX_FillRect(&dst, small, small, big, 0x7FFFFFFF, 0u, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 0, 0), at(&src, 0, 0));
  PIX_FillRect(&dst, -5, -5, big, big, 0u, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 7, 7), 0u);
}
