// Heap and system bitmaps: row alignment, growth headroom, failure rule.
#include <gtest/gtest.h>

#include <cstdint>

#include "pix/PIX_Blit.h"
#include "pix/PIX_SysBitmap.h"
#include "pix/PixTestUtil.h"

using namespace pixtest;

TEST(PixMemBitmap, RowSpanIsWidthRoundedUpToTheAlignment)
{
  struct Case { int align, width, span; };
  const Case cases[] = {{0, 5, 5}, {1, 5, 5}, {2, 5, 6}, {4, 5, 8}, {4, 8, 8},
                        {6, 5, 6},      // lowest set bit of 6 is 2
                        {16, 17, 32}, {64, 17, 32},  // capped at 16 pixels
                        {12, 9, 12}};
  for (const Case& c : cases)
  {
    PIX_MemBitmap bm(c.width, 3, c.align);
    EXPECT_EQ(bm.getRowSpan(), c.span) << c.align << " " << c.width;
    EXPECT_EQ(bm.getWidth(), c.width);
  }
}

TEST(PixMemBitmap, FirstRowStartsOn64Bytes)
{
  for (int w = 1; w < 40; w += 3)
  {
    PIX_MemBitmap bm(w, 2);
    ASSERT_NE(bm.getBits(), nullptr);
    EXPECT_EQ((uintptr_t)bm.getBits() % 64, 0u);
    // The last pixel is writable (ASan would catch an undersized buffer).
    bm.getBits()[bm.getRowSpan() * 2 - 1] = 1;
  }
}

TEST(PixMemBitmap, GrowthReservesAQuarterAndShrinkingKeepsTheBuffer)
{
  PIX_MemBitmap bm(0, 0, 4);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_TRUE(bm.resize(10, 10));  // first allocation: exactly 12 * 10 * 4
  EXPECT_EQ(bm.getAllocatedBytes(), 480);
  EXPECT_FALSE(bm.resize(10, 10));
  EXPECT_TRUE(bm.resize(20, 10));  // growing: 800 / 4 * 5
  EXPECT_EQ(bm.getAllocatedBytes(), 1000);
  EXPECT_TRUE(bm.resize(24, 10));  // 960 fits into the headroom
  EXPECT_EQ(bm.getAllocatedBytes(), 1000);
  EXPECT_TRUE(bm.resize(4, 4));
  EXPECT_EQ(bm.getAllocatedBytes(), 1000);
  EXPECT_EQ(bm.getWidth(), 4);
  EXPECT_EQ(bm.getRowSpan(), 4);
  EXPECT_TRUE(bm.resize(0, 7));  // nothing needed: the buffer goes
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getAllocatedBytes(), 0);
}

TEST(PixMemBitmap, ImpossibleSizeReportsZeroByZeroAndBlitsDoNothing)
{
  PIX_MemBitmap bm(8, 8);
  EXPECT_TRUE(bm.resize(100000, 100000));  // 40 GB: cannot be had
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getBits(), nullptr);
  PIX_MemBitmap src(4, 4);
  PIX_Clear(&src, 0xFFFFFFFFu);
  PIX_Blit(&bm, &src, 0, 0, 0, 0, 4, 4, 1.0f, 0);
  PIX_FillRect(&bm, 0, 0, 4, 4, 0, 1.0f, 0);
  PIX_Blit(&src, &bm, 0, 0, 0, 0, 4, 4, 1.0f, 0);
  EXPECT_EQ(PIX_GetPixel(&src, 0, 0), 0xFFFFFFFFu);
  // Negative sizes are treated as empty.
  EXPECT_FALSE(bm.resize(-5, -5));
  // And the bitmap recovers with a sensible size.
  EXPECT_TRUE(bm.resize(3, 3));
  EXPECT_NE(bm.getBits(), nullptr);
}

TEST(PixSysBitmap, ContextIsReusedWhileTheSizeFits)
{
  PIX_SysBitmap bm(10, 6);
  ASSERT_NE(bm.getDC(), nullptr);
  ASSERT_NE(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getRowSpan(), 12);  // rounded up to 4 pixels
  GDI_GfxContext* dc = bm.getDC();
  EXPECT_TRUE(bm.resize(12, 3));
  EXPECT_EQ(bm.getDC(), dc);
  EXPECT_EQ(bm.getWidth(), 12);
  EXPECT_FALSE(bm.resize(12, 3));
  EXPECT_TRUE(bm.resize(13, 3));  // wider than the span: a new context
  EXPECT_EQ(bm.getRowSpan(), 16);
  PIX_Clear(&bm, 0x01020304u);
  EXPECT_EQ(PIX_GetPixel(&bm, 12, 2), 0x01020304u);
  EXPECT_TRUE(bm.resize(0, 3));
  EXPECT_EQ(bm.getDC(), nullptr);
  EXPECT_EQ(bm.getBits(), nullptr);
  EXPECT_EQ(bm.getWidth(), 0);
}

TEST(PixSysBitmap, FailedContextLeavesAnEmptyBitmap)
{
  PIX_SysBitmap bm(4, 4);
  bm.resize(1 << 30, 1 << 30);
  EXPECT_EQ(bm.getWidth(), 0);
  EXPECT_EQ(bm.getHeight(), 0);
  EXPECT_EQ(bm.getDC(), nullptr);
  PIX_FillRect(&bm, 0, 0, 4, 4, 0, 1.0f, 0);  // must not touch anything
}
