// Rectangle rules, colour pixel conversion and the blend-to-mode mapping.
#include <gtest/gtest.h>

#include "graphics/IChannelBlend.h"
#include "graphics/IColor.h"
#include "graphics/IRECT.h"

TEST(IRECTRules, OnlyTheAllZeroRectangleIsEmpty) {
  EXPECT_TRUE(IRECT().Empty());
  EXPECT_TRUE(IRECT(0, 0, 0, 0).Empty());
  EXPECT_FALSE(IRECT(5, 5, 5, 5).Empty());
  EXPECT_FALSE(IRECT(0, 0, 0, 1).Empty());
}

TEST(IRECTRules, SizeAndMiddle) {
  IRECT r(10, 20, 31, 60);
  EXPECT_EQ(21, r.W());
  EXPECT_EQ(40, r.H());
  EXPECT_FLOAT_EQ(20.5f, r.MW());
  EXPECT_FLOAT_EQ(40.0f, r.MH());
}

TEST(IRECTRules, ContainsExcludesRightAndBottom) {
  IRECT r(10, 10, 20, 20);
  EXPECT_TRUE(r.Contains(10, 10));
  EXPECT_TRUE(r.Contains(19, 19));
  EXPECT_FALSE(r.Contains(20, 15));
  EXPECT_FALSE(r.Contains(15, 20));
  EXPECT_FALSE(r.Contains(9, 15));
  EXPECT_FALSE(IRECT().Contains(0, 0));
}

TEST(IRECTRules, TouchingAlongRightOrBottomEdgeIntersects) {
  IRECT a(0, 0, 10, 10);
  IRECT right(10, 0, 20, 10);
  IRECT below(0, 10, 10, 20);
  EXPECT_TRUE(a.Intersects(&right));
  EXPECT_TRUE(a.Intersects(&below));
  // Seen from the other side the test is strict: touching along the left or
  // top edge does not count.
  EXPECT_FALSE(right.Intersects(&a));
  EXPECT_FALSE(below.Intersects(&a));
  IRECT apart(11, 0, 20, 10);
  EXPECT_FALSE(a.Intersects(&apart));
}

TEST(IRECTRules, EmptyNeverIntersects) {
  IRECT empty;
  IRECT a(-5, -5, 5, 5);  // covers the origin
  EXPECT_FALSE(a.Intersects(&empty));
  EXPECT_FALSE(empty.Intersects(&a));
}

TEST(IRECTRules, IntersectGivesTheOverlapOrEmpty) {
  IRECT a(0, 0, 10, 10), b(5, 3, 15, 8);
  EXPECT_EQ(IRECT(5, 3, 10, 8), a.Intersect(&b));
  EXPECT_EQ(IRECT(5, 3, 10, 8), b.Intersect(&a));
  IRECT far(50, 50, 60, 60);
  EXPECT_TRUE(a.Intersect(&far).Empty());
}

TEST(IRECTRules, UnionWithEmptyGivesTheOther) {
  IRECT empty, a(3, 4, 9, 12);
  EXPECT_EQ(a, empty.Union(&a));
  EXPECT_EQ(a, a.Union(&empty));
}

TEST(IRECTRules, DegenerateRectangleStillEnlargesAUnion) {
  IRECT point(5, 5, 5, 5), a(10, 10, 20, 20);
  EXPECT_EQ(IRECT(5, 5, 20, 20), a.Union(&point));
  EXPECT_EQ(IRECT(5, 5, 20, 20), point.Union(&a));
  IRECT empty;
  EXPECT_EQ(point, empty.Union(&point));
}

TEST(IColorPixels, ChannelsLandInAlphaRedGreenBlueByteOrder) {
  IColor c(0x11, 0x22, 0x33, 0x44);
  unsigned int p = c.ToPixel();
  EXPECT_EQ(0x44332211u, p);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(&p);
  EXPECT_EQ(0x11, bytes[0]);  // alpha first in memory
  EXPECT_EQ(0x22, bytes[1]);
  EXPECT_EQ(0x33, bytes[2]);
  EXPECT_EQ(0x44, bytes[3]);
}

TEST(IColorPixels, RoundTripAndMasking) {
  for (const IColor& c : {COLOR_TRANSPARENT, COLOR_BLACK, COLOR_GRAY, COLOR_WHITE, COLOR_RED, COLOR_GREEN, COLOR_BLUE,
                          COLOR_YELLOW, COLOR_ORANGE}) {
    EXPECT_EQ(c, IColor::FromPixel(c.ToPixel()));
  }
  // Out-of-range channels are masked to 8 bits rather than spilling into neighbours.
  EXPECT_EQ(IColor(0x00, 0x01, 0xFF, 0x00).ToPixel(), IColor(0x100, 0x101, -1, 0).ToPixel());
}

TEST(IColorPixels, PredefinedColours) {
  EXPECT_EQ(IColor(255, 127, 127, 127), COLOR_GRAY);
  EXPECT_EQ(IColor(255, 255, 127, 0), COLOR_ORANGE);
  EXPECT_EQ(IColor(0, 0, 0, 0), COLOR_TRANSPARENT);
  EXPECT_EQ(COLOR_BLACK, DEFAULT_TEXT_COLOR);
  EXPECT_EQ(COLOR_WHITE, DEFAULT_TEXT_ENTRY_BGCOLOR);
}

TEST(IChannelBlendMapping, MethodsMapToDrawingModes) {
  EXPECT_EQ(0x10000, BlendToPixMode(nullptr));
  IChannelBlend none(IChannelBlend::kBlendNone), clobber(IChannelBlend::kBlendClobber),
      add(IChannelBlend::kBlendAdd), dodge(IChannelBlend::kBlendColorDodge);
  EXPECT_EQ(0x10000, BlendToPixMode(&none));
  EXPECT_EQ(0, BlendToPixMode(&clobber));
  EXPECT_EQ(0x10001, BlendToPixMode(&add));
  EXPECT_EQ(0x10002, BlendToPixMode(&dodge));
}

TEST(IChannelBlendMapping, WeightIsTheBlendsOrOne) {
  EXPECT_FLOAT_EQ(1.0f, BlendToPixWeight(nullptr));
  IChannelBlend b(IChannelBlend::kBlendAdd, 0.25f);
  EXPECT_FLOAT_EQ(0.25f, BlendToPixWeight(&b));
}
