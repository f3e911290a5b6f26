// Scaled and rotated blits: identity, mirroring, doubling, halving, rotation.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "pix/PIX_Blit.h"
#include "pix/PixTestUtil.h"

using namespace pixtest;

namespace {
constexpr float kPi = 3.14159265358979f;
}

TEST(PixScaledBlit, SameSizeIsAPlainBlitOfTheRoundedPosition)
{
  PIX_MemBitmap src(9, 7), a(12, 12), b(12, 12);
  fillRandom(&src, 21);
  for (int mode : {0, 0x10000, 0x100, 0x10101})
  {
    fillRandom(&a, 22);
    PIX_Copy(&b, &a);
    PIX_ScaledBlit(&a, &src, 2, 3, 6, 5, 1.02f, 0.98f, 6.0f, 5.0f, 0.8f, mode);
    PIX_Blit(&b, &src, 2, 3, 1, 1, 6, 5, 0.8f, mode);
    EXPECT_EQ(pixels(&a), pixels(&b)) << mode;
  }
  // With the filter, a source position between pixels is interpolated.
  PIX_MemBitmap g(4, 1), out(3, 1);
  for (int x = 0; x < 4; ++x) at(&g, x, 0) = PIX_RGBA(x * 100, 0, 0, 255);
  PIX_ScaledBlit(&out, &g, 0, 0, 3, 1, 0.5f, 0.0f, 3.0f, 1.0f, 1.0f, PIX_BLIT_FILTER_BILINEAR);
  EXPECT_EQ(PIX_R(PIX_GetPixel(&out, 0, 0)), 50);
  EXPECT_EQ(PIX_R(PIX_GetPixel(&out, 1, 0)), 150);
}

TEST(PixScaledBlit, NegativeSizeMirrors)
{
  PIX_MemBitmap src(5, 4), dst(5, 4);
  fillRandom(&src, 23);
  PIX_ScaledBlit(&dst, &src, 5, 0, -5, 4, 0, 0, 5, 4, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(at(&dst, x, y), at(&src, 4 - x, y));
  PIX_ScaledBlit(&dst, &src, 0, 4, 5, -4, 0, 0, 5, 4, 1.0f, 0);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(at(&dst, x, y), at(&src, x, 3 - y));
}

TEST(PixScaledBlit, DoublingRepeatsPixelsAndTheFilterInterpolates)
{
  PIX_MemBitmap src(4, 3), dst(8, 6);
  fillRandom(&src, 24);
  PIX_ScaledBlit(&dst, &src, 0, 0, 8, 6, 0, 0, 4, 3, 1.0f, 0);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 8; ++x) ASSERT_EQ(at(&dst, x, y), at(&src, x / 2, y / 2));

  // A horizontal ramp 0, 64, 128, 192: doubled with the filter, inner pixels
  // lie a quarter of the way between their neighbours.
  PIX_MemBitmap ramp(4, 1), big(8, 1);
  for (int x = 0; x < 4; ++x) at(&ramp, x, 0) = PIX_RGBA(x * 64, x * 64, 0, 255);
  PIX_ScaledBlit(&big, &ramp, 0, 0, 8, 1, 0, 0, 4, 1, 1.0f, PIX_BLIT_FILTER_BILINEAR);
  const int want[8] = {0, 16, 48, 80, 112, 144, 176, 192};
  for (int x = 0; x < 8; ++x) EXPECT_EQ(PIX_R(at(&big, x, 0)), want[x]) << x;
}

TEST(PixScaledBlit, HalvingTakesPixelsOrAveragesWithTheFilter)
{
  PIX_MemBitmap src(8, 6), dst(4, 3);
  fillRandom(&src, 25);
  PIX_ScaledBlit(&dst, &src, 0, 0, 4, 3, 0, 0, 8, 6, 1.0f, 0);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x) ASSERT_EQ(at(&dst, x, y), at(&src, 2 * x + 1, 2 * y + 1));
  PIX_ScaledBlit(&dst, &src, 0, 0, 4, 3, 0, 0, 8, 6, 1.0f, PIX_BLIT_FILTER_BILINEAR);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 4; ++x)
      for (int c = 0; c < 4; ++c)
      {
        const int sum = ch(at(&src, 2 * x, 2 * y), c) + ch(at(&src, 2 * x + 1, 2 * y), c) +
                        ch(at(&src, 2 * x, 2 * y + 1), c) + ch(at(&src, 2 * x + 1, 2 * y + 1), c);
        ASSERT_EQ(ch(at(&dst, x, y), c), sum / 4);
      }
}

TEST(PixScaledBlit, ClipsToBothBitmapsAndAppliesTheRule)
{
  PIX_MemBitmap src(6, 6), dst(10, 10), want(10, 10);
  fillRandom(&src, 26);
  for (int dx : {-7, -3, 0, 4, 8})
    for (int dy : {-5, 2, 9})
    {
      fillRandom(&dst, 27);
      PIX_Copy(&want, &dst);
      // Source rectangle partly outside the source: those pixels stay.
      PIX_ScaledBlit(&dst, &src, dx, dy, 8, 8, -1, -1, 8, 8, 0.6f, PIX_BLIT_MODE_ADD);
      for (int y = 0; y < 8; ++y)
        for (int x = 0; x < 8; ++x)
        {
          const int sx = -1 + x, sy = -1 + y, tx = dx + x, ty = dy + y;
          if (sx < 0 || sy < 0 || sx >= 6 || sy >= 6 || tx < 0 || ty < 0 || tx >= 10 || ty >= 10)
            continue;
          at(&want, tx, ty) = refCombine(at(&want, tx, ty), at(&src, sx, sy), 1, false, (int)(0.6f * 256));
        }
      ASSERT_EQ(pixels(&dst), pixels(&want)) << dx << "," << dy;
    }
}

TEST(PixScaledBlit, ExtremeArgumentsDoNothingHarmful)
{
  PIX_MemBitmap src(6, 6), dst(10, 10);
  fillRandom(&src, 28);
  PIX_Clear(&dst, 0);
  PIX_ScaledBlit(&dst, &src, 0, 0, 0, 5, 0, 0, 6, 6, 1.0f, 0);
  PIX_ScaledBlit(&dst, &src, 0, 0, 5, 5, 0, 0, 6, 6, 0.0f, 0);
  PIX_ScaledBlit(&dst, &src, 0, 0, 5, 5, NAN, 0, 6, 6, 1.0f, 0);
  PIX_ScaledBlit(&dst, &src, 0, 0, 5, 5, 1e9f, 1e9f, 6, 6, 1.0f, 0x100);
  EXPECT_EQ(PIX_GetPixel(&dst, 2, 2), 0u);
  PIX_ScaledBlit(&dst, &src, -1000000, -1000000, 2000000, 2000000, 0, 0, 6, 6, 1.0f, 0);
  PIX_ScaledBlit(&dst, &src, 0, 0, 10, 10, 0, 0, 0.001f, 0.001f, 1.0f, 0x100);
  PIX_ScaledBlit(&dst, &src, 0, 0, 3, 3, 0, 0, 6000, 6000, 1.0f, 0x100);
}

TEST(PixRotatedBlit, ZeroAngleEqualsABlit)
{
  PIX_MemBitmap src(7, 5), a(10, 10), b(10, 10);
  fillRandom(&src, 29);
  fillRandom(&a, 30);
  PIX_Copy(&b, &a);
  PIX_RotatedBlit(&a, &src, 2, 3, 7, 5, 0, 0, 7, 5, 0.0f, false, 0.7f, 0x10000);
  PIX_Blit(&b, &src, 2, 3, 0, 0, 7, 5, 0.7f, 0x10000);
  EXPECT_EQ(pixels(&a), pixels(&b));
}

TEST(PixRotatedBlit, QuarterTurnTurnsClockwise)
{
  const int n = 6;
  PIX_MemBitmap src(n, n), dst(n, n);
  fillRandom(&src, 31);
  PIX_RotatedBlit(&dst, &src, 0, 0, n, n, 0, 0, n, n, kPi / 2, false, 1.0f, 0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) ASSERT_EQ(at(&dst, i, j), at(&src, j, n - 1 - i)) << i << "," << j;
  // Half a turn: upside down.
  PIX_RotatedBlit(&dst, &src, 0, 0, n, n, 0, 0, n, n, kPi, false, 1.0f, 0);
  for (int j = 0; j < n; ++j)
    for (int i = 0; i < n; ++i) ASSERT_EQ(at(&dst, i, j), at(&src, n - 1 - i, n - 1 - j));
}

TEST(PixRotatedBlit, OutsideTheSourceStaysUntouched)
{
  PIX_MemBitmap src(8, 8), dst(8, 8);
  PIX_Clear(&src, 0xFFFFFFFFu);
  PIX_Clear(&dst, 0);
  // 45 degrees: the corners of the destination map outside the source.
  PIX_RotatedBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 8, 8, kPi / 4, false, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 0, 0), 0u);
  EXPECT_EQ(PIX_GetPixel(&dst, 7, 7), 0u);
  EXPECT_EQ(PIX_GetPixel(&dst, 4, 4), 0xFFFFFFFFu);
  // Clipping to the source rectangle: only the inner 4x4 is used.
  PIX_Clear(&dst, 0);
  PIX_RotatedBlit(&dst, &src, 0, 0, 8, 8, 2, 2, 4, 4, 0.0f, true, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 0, 0), 0xFFFFFFFFu);  // scaled 4 -> 8: all inside
  PIX_Clear(&dst, 0);
  PIX_RotatedBlit(&dst, &src, 0, 0, 8, 8, 6, 6, 4, 4, 0.0f, true, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 0, 0), 0xFFFFFFFFu);
  EXPECT_EQ(PIX_GetPixel(&dst, 7, 7), 0u);  // beyond the source bitmap
  PIX_Clear(&dst, 0);
  PIX_RotatedBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 8, 8, 1.0f, false, 0.0f, 0);
  PIX_RotatedBlit(&dst, &src, 0, 0, 0, 8, 0, 0, 8, 8, 1.0f, false, 1.0f, 0);
  PIX_RotatedBlit(&dst, &src, 0, 0, 8, 8, 0, 0, 8, 8, NAN, false, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 4, 4), 0u);
}

TEST(PixRotatedBlit, NegativeWidthMirrorsAndFilterStaysInRange)
{
  PIX_MemBitmap src(5, 5), dst(5, 5);
  fillRandom(&src, 32);
  PIX_RotatedBlit(&dst, &src, 5, 0, -5, 5, 0, 0, 5, 5, 0.0f, false, 1.0f, 0);
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 5; ++x) ASSERT_EQ(at(&dst, x, y), at(&src, 4 - x, y));
  // Filtered rotation of a flat image stays flat.
  PIX_Clear(&src, 0x80604020u);
  PIX_Clear(&dst, 0);
  PIX_RotatedBlit(&dst, &src, 0, 0, 5, 5, 0, 0, 5, 5, 0.3f, false, 1.0f, PIX_BLIT_FILTER_BILINEAR);
  EXPECT_EQ(PIX_GetPixel(&dst, 2, 2), 0x80604020u);
}

TEST(PixRotatedBlit, DisplacedCentreMovesOnlyThePivotAlsoWhenMirrored)
{
  PIX_MemBitmap src(6, 6), a(8, 8), b(8, 8);
  fillRandom(&src, 33);
  for (int dw : {6, -6})
    for (int dh : {6, -6})
    {
      const int dx = dw < 0 ? 7 : 1, dy = dh < 0 ? 7 : 1;
      // Without rotation the pivot does not matter: the rectangles map onto
      // each other whatever the displacement.
      PIX_Clear(&a, 0);
      PIX_Clear(&b, 0);
      PIX_RotatedBlit(&a, &src, dx, dy, dw, dh, 0, 0, 6, 6, 0.0f, false, 1.0f, 0, 2.0f, -1.0f);
      PIX_RotatedBlit(&b, &src, dx, dy, dw, dh, 0, 0, 6, 6, 0.0f, false, 1.0f, 0);
      ASSERT_EQ(pixels(&a), pixels(&b)) << dw << " " << dh;
      // A half turn about the displaced pivot keeps the pivot's pixel in place:
      // source pixel (4, 2) (centre 3,3 displaced by 1.5,-0.5 -> 4.5,2.5) stays
      // where the unrotated blit puts it.
      PIX_Clear(&a, 0);
      PIX_RotatedBlit(&a, &src, dx, dy, dw, dh, 0, 0, 6, 6, (float)kPi, false, 1.0f, 0, 1.5f, -0.5f);
      const int px = dw > 0 ? dx + 4 : dx - 5, py = dh > 0 ? dy + 2 : dy - 3;
      EXPECT_EQ(at(&a, px, py), at(&b, px, py)) << dw << " " << dh;
    }
}

namespace {
// Straightforward model of the filtered enlargement: sample centres stepped
// in 16.16 from the source start, the four neighbours held inside the
// source, horizontal then vertical mixing with 8-bit fractions.
PIX_pixel modelBilinear(PIX_IBitmap* src, int64_t px, int64_t py)
{
  auto clampi = [](int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); };
  const int w = src->getWidth(), h = src->getHeight();
  const int xi = (int)(px >> 16), yi = (int)(py >> 16);
  const int x0 = clampi(xi, 0, w - 1), x1 = clampi(xi + 1, 0, w - 1);
  const int y0 = clampi(yi, 0, h - 1), y1 = clampi(yi + 1, 0, h - 1);
  const int fx = (int)((px >> 8) & 0xFF), fy = (int)((py >> 8) & 0xFF);
  int out[4];
  for (int c = 0; c < 4; ++c)
  {
    const int top = (ch(at(src, x0, y0), c) * (256 - fx) + ch(at(src, x1, y0), c) * fx) >> 8;
    const int bot = (ch(at(src, x0, y1), c) * (256 - fx) + ch(at(src, x1, y1), c) * fx) >> 8;
    out[c] = (top * (256 - fy) + bot * fy) >> 8;
  }
  return make(out);
}
}  // namespace

TEST(PixScaledBlit, FilteredEnlargementMatchesTheModelEverywhere)
{
  PIX_MemBitmap src(13, 9), dst(29, 20);
  fillRandom(&src, 33);
  PIX_Clear(&dst, 0);
  PIX_ScaledBlit(&dst, &src, 0, 0, 29, 20, 0, 0, 13, 9, 1.0f, PIX_BLIT_FILTER_BILINEAR);
  const int64_t sx = (int64_t)std::llround(13.0 / 29 * 65536.0), sy = (int64_t)std::llround(9.0 / 20 * 65536.0);
  const int64_t cx0 = (int64_t)std::llround(13.0 / 29 * 0.5 * 65536.0), cy0 = (int64_t)std::llround(9.0 / 20 * 0.5 * 65536.0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 29; ++x)
      ASSERT_EQ(at(&dst, x, y), modelBilinear(&src, cx0 + sx * x - 32768, cy0 + sy * y - 32768)) << x << "," << y;
}

TEST(PixScaledBlit, ExtremeDestinationRectanglesClip)
{
  PIX_MemBitmap src(4, 4), dst(6, 6);
  PIX_Clear(&src, 0xFFFFFFFFu);
  PIX_Clear(&dst, 0);
  const int big = 2147483647, small = -2147483647 - 1;
  PIX_ScaledBlit(&dst, &src, small, 0, small, 6, 0, 0, 4, 4, 1.0f, 0);
  PIX_ScaledBlit(&dst, &src, big, big, -big, -big, 0, 0, 4, 4, 1.0f, 0x100);
  PIX_RotatedBlit(&dst, &src, small, small, small, small, 0, 0, 4, 4, 0.5f, false, 1.0f, 0);
  PIX_RotatedBlit(&dst, &src, big, big, -big, -big, 0, 0, 4, 4, 0.5f, true, 1.0f, 0x100);
  // A mirrored rectangle ending at the bitmap's right edge still draws.
  PIX_Clear(&dst, 0);
  PIX_ScaledBlit(&dst, &src, 6, 0, -12, 6, 0, 0, 4, 4, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&dst, 5, 5), 0xFFFFFFFFu);
}
