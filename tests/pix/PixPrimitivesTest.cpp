// Lines, arcs, circles, rounded rectangles, triangles and polygons: the
// pixels they cover, clipping, and their weights.
#include <gtest/gtest.h>

#include <cmath>

#include "pix/PIX_Primitives.h"
#include "pix/PixTestUtil.h"

using namespace pixtest;

namespace {
constexpr float kPi = 3.14159265f;
constexpr PIX_pixel kWhite = 0xFFFFFFFFu;

int count(PIX_IBitmap* bm, PIX_pixel p)
{
  int n = 0;
  for (PIX_pixel q : pixels(bm)) n += q == p;
  return n;
}
}  // namespace

TEST(PixLine, HorizontalVerticalAndDiagonalCoverTheirPixels)
{
  PIX_MemBitmap bm(10, 10);
  PIX_Clear(&bm, 0);
  PIX_Line(&bm, 1, 2, 8, 2, kWhite, 1.0f, 0, false);
  for (int x = 1; x <= 8; ++x) EXPECT_EQ(PIX_GetPixel(&bm, x, 2), kWhite);
  EXPECT_EQ(count(&bm, kWhite), 8);
  PIX_Clear(&bm, 0);
  PIX_Line(&bm, 3, 9, 3, 0, kWhite, 1.0f, 0, false);
  EXPECT_EQ(count(&bm, kWhite), 10);
  PIX_Clear(&bm, 0);
  PIX_Line(&bm, 0, 0, 9, 9, kWhite, 1.0f, 0, false);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(PIX_GetPixel(&bm, i, i), kWhite);
  EXPECT_EQ(count(&bm, kWhite), 10);
}

TEST(PixLine, ClipsAgainstEveryEdgeAndFarAwayEndPoints)
{
  PIX_MemBitmap bm(10, 10);
  PIX_Clear(&bm, 0);
  PIX_Line(&bm, -100, 5, 100, 5, kWhite, 1.0f, 0, false);
  EXPECT_EQ(count(&bm, kWhite), 10);
  PIX_Clear(&bm, 0);
  PIX_Line(&bm, -2147483647, -2147483647, 2147483647, 2147483647, kWhite, 1.0f, 0, true);
  EXPECT_GT(count(&bm, kWhite), 0);
  PIX_Clear(&bm, 0);
  PIX_Line(&bm, 20, 20, 30, 30, kWhite, 1.0f, 0, false);
  EXPECT_EQ(count(&bm, kWhite), 0);
}

TEST(PixLine, AntialiasingSplitsCoverageBetweenTwoPixels)
{
  PIX_MemBitmap bm(10, 10);
  PIX_Clear(&bm, 0);
  // From (0,0) to (8,4): at x = 1 the line is at y = 0.5, half in each row.
  PIX_Line(&bm, 0, 0, 8, 4, PIX_RGBA(255, 255, 255, 255), 1.0f, 0, true);
  const int a = PIX_R(PIX_GetPixel(&bm, 1, 0)), b = PIX_R(PIX_GetPixel(&bm, 1, 1));
  EXPECT_NEAR(a, 128, 2);
  EXPECT_NEAR(b, 128, 2);
  EXPECT_EQ(PIX_GetPixel(&bm, 8, 4), kWhite);
}

TEST(PixLine, ClippedPiecesRedrawTheWholeLineWithoutSeams)
{
  // Antialiased, half covering lines drawn piece by piece (as a redraw of
  // parts of a picture does) give every pixel what one whole drawing gives,
  // and nothing outside each piece.
  PIX_MemBitmap whole(12, 10);
  PIX_Clear(&whole, 0);
  const int lines[][4] = {{0, 1, 11, 6}, {2, 9, 5, 0}, {-3, 4, 14, 5}, {6, 2, 7, 8}};
  for (const auto& l : lines) PIX_Line(&whole, l[0], l[1], l[2], l[3], kWhite, 0.55f, 0, true);
  for (int x = 0; x < 12; x += 5)
  {
    PIX_MemBitmap one(12, 10);
    PIX_Clear(&one, 0);
    for (const auto& l : lines) PIX_LineClipped(&one, l[0], l[1], l[2], l[3], kWhite, 0.55f, 0, true, x, 0, 5, 10);
    for (int y = 0; y < 10; ++y)
      for (int i = 0; i < 12; ++i)
      {
        const PIX_pixel want = i >= x && i < x + 5 ? PIX_GetPixel(&whole, i, y) : 0u;
        EXPECT_EQ(PIX_GetPixel(&one, i, y), want) << i << "," << y;
      }
  }
  EXPECT_GT(count(&whole, 0u), 0);
}

TEST(PixCircle, FilledCircleIsSymmetricAndHasTheRightArea)
{
  PIX_MemBitmap bm(41, 41);
  PIX_Clear(&bm, 0);
  PIX_FillCircle(&bm, 20, 20, 10, kWhite, 1.0f, 0, false);
  const int n = count(&bm, kWhite);
  EXPECT_NEAR(n, (int)(kPi * 10.5f * 10.5f), 20);
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 41; ++x)
    {
      ASSERT_EQ(PIX_GetPixel(&bm, x, y), PIX_GetPixel(&bm, 40 - x, y));
      ASSERT_EQ(PIX_GetPixel(&bm, x, y), PIX_GetPixel(&bm, y, x));
    }
  EXPECT_EQ(PIX_GetPixel(&bm, 20, 10), kWhite);
  EXPECT_EQ(PIX_GetPixel(&bm, 20, 9), 0u);
  // Antialiased: same interior, soft edge.
  PIX_Clear(&bm, 0);
  PIX_FillCircle(&bm, 20, 20, 10, kWhite, 1.0f, 0, true);
  EXPECT_EQ(PIX_GetPixel(&bm, 20, 20), kWhite);
  EXPECT_EQ(PIX_GetPixel(&bm, 27, 27), kWhite);  // distance 9.9: fully inside
  const int edge = PIX_R(PIX_GetPixel(&bm, 30, 23));  // distance 10.44, edge at 10.5
  EXPECT_GT(edge, 0);
  EXPECT_LT(edge, 255);
  EXPECT_EQ(PIX_GetPixel(&bm, 0, 0), 0u);
}

TEST(PixCircle, OutlineLiesAtTheRadiusAndArcKeepsToItsAngles)
{
  PIX_MemBitmap bm(41, 41);
  PIX_Clear(&bm, 0);
  PIX_Circle(&bm, 20.0f, 20.0f, 12.0f, kWhite, 1.0f, 0, false);
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 41; ++x)
    {
      if (PIX_GetPixel(&bm, x, y) == kWhite)
      {
        ASSERT_NEAR(std::hypot(x - 20.0, y - 20.0), 12.0, 0.5);
      }
    }
  EXPECT_EQ(PIX_GetPixel(&bm, 20, 8), kWhite);
  EXPECT_EQ(PIX_GetPixel(&bm, 32, 20), kWhite);
  // Right half only: 0 (up) to pi (down), clockwise through the right.
  PIX_Clear(&bm, 0);
  PIX_Arc(&bm, 20.0f, 20.0f, 12.0f, 0.1f, kPi - 0.1f, kWhite, 1.0f, 0, false);
  EXPECT_EQ(PIX_GetPixel(&bm, 32, 20), kWhite);
  EXPECT_EQ(PIX_GetPixel(&bm, 8, 20), 0u);
  for (int y = 0; y < 41; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(PIX_GetPixel(&bm, x, y), 0u);
}

TEST(PixRoundRect, CornersAreCutAndEdgesAreStraight)
{
  PIX_MemBitmap bm(30, 20);
  PIX_Clear(&bm, 0);
  PIX_RoundRect(&bm, 2, 3, 20, 12, 4, kWhite, 1.0f, 0, false);
  EXPECT_EQ(PIX_GetPixel(&bm, 2, 3), 0u);   // corner cut off
  EXPECT_EQ(PIX_GetPixel(&bm, 12, 3), kWhite);  // top edge
  EXPECT_EQ(PIX_GetPixel(&bm, 12, 14), kWhite);  // bottom edge
  EXPECT_EQ(PIX_GetPixel(&bm, 2, 9), kWhite);   // left edge
  EXPECT_EQ(PIX_GetPixel(&bm, 21, 9), kWhite);  // right edge
  EXPECT_EQ(PIX_GetPixel(&bm, 12, 9), 0u);     // hollow
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 30; ++x)
    {
      if (x < 2 || x > 21 || y < 3 || y > 14)
      {
        ASSERT_EQ(PIX_GetPixel(&bm, x, y), 0u);
      }
    }
}

TEST(PixPolygon, TriangleAndConvexPolygonFillTheirInside)
{
  PIX_MemBitmap bm(20, 20);
  PIX_Clear(&bm, 0);
  PIX_FillTriangle(&bm, 0, 0, 10, 0, 0, 10, kWhite, 1.0f, 0);
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x) ASSERT_EQ(PIX_GetPixel(&bm, x, y) == kWhite, x + y <= 10) << x << "," << y;
  // A square given in either winding order fills the same pixels.
  const int xs[4] = {3, 12, 12, 3}, ys[4] = {4, 4, 9, 9};
  const int xr[4] = {3, 3, 12, 12}, yr[4] = {4, 9, 9, 4};
  PIX_MemBitmap a(20, 20), b(20, 20);
  PIX_Clear(&a, 0);
  PIX_Clear(&b, 0);
  PIX_FillConvexPolygon(&a, xs, ys, 4, kWhite, 1.0f, 0);
  PIX_FillConvexPolygon(&b, xr, yr, 4, kWhite, 1.0f, 0);
  EXPECT_EQ(pixels(&a), pixels(&b));
  EXPECT_EQ(count(&a, kWhite), 10 * 6);
  PIX_FillConvexPolygon(&a, nullptr, ys, 4, kWhite, 1.0f, 0);
  PIX_FillConvexPolygon(&a, xs, ys, 0, kWhite, 1.0f, 0);
}

TEST(PixPrimitives, WeightAndModeApplyAsForFills)
{
  PIX_MemBitmap bm(10, 10), ref(10, 10);
  PIX_Clear(&bm, 0x80808080u);
  PIX_Clear(&ref, 0x80808080u);
  PIX_Line(&bm, 0, 5, 9, 5, PIX_RGBA(200, 100, 50, 255), 0.5f, 0, false);
  PIX_FillRect(&ref, 0, 5, 10, 1, PIX_RGBA(200, 100, 50, 255), 0.5f, 0);
  EXPECT_EQ(pixels(&bm), pixels(&ref));
  PIX_FillTriangle(&bm, 0, 0, 9, 0, 0, 9, kWhite, 1.0f, 77);  // unknown mode: nothing
  EXPECT_EQ(pixels(&bm), pixels(&ref));
  PIX_FillCircle(&bm, 5, 5, 2147483647, kWhite, 1.0f, 0, true);  // far too large: nothing
  PIX_RoundRect(&bm, -2147483647, 0, 2147483647, 5, 3, kWhite, 1.0f, 0, true);
  PIX_Arc(&bm, 5.0f, 5.0f, 1e30f, 0.0f, 1.0f, kWhite, 1.0f, 0, true);
  PIX_Circle(&bm, NAN, 5.0f, 3.0f, kWhite, 1.0f, 0, true);
  EXPECT_EQ(pixels(&bm), pixels(&ref));
}
