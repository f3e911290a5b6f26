// Combine rules on hand-worked pixels, and every fast row kernel against the
// straightforward reference on random pixels.
#include <gtest/gtest.h>

#include <random>
#include <tuple>
#include <vector>

#include "pix/PIX_Blit.h"
#include "pix/PIX_Combine.h"
#include "pix/PIX_Kernels.h"
#include "pix/PixTestUtil.h"

using namespace pixtest;

namespace {

PIX_pixel one(void (*fn)(PIX_pixel*, int, int, int, int, int), PIX_pixel d, PIX_pixel s, int w)
{
  fn(&d, PIX_R(s), PIX_G(s), PIX_B(s), PIX_A(s), w);
  return d;
}

}  // namespace

TEST(PixCombineRules, CopyMovesTowardsSourceByWeight)
{
  // 200 + (100 - 200) * (256 - 64) / 256 = 200 - 75 = 125 on every channel.
  const PIX_pixel d = PIX_RGBA(100, 100, 100, 100), s = PIX_RGBA(200, 200, 200, 200);
  EXPECT_EQ(one(PIX_CombinePixelsCopyNoClamp::doPix, d, s, 64), PIX_RGBA(125, 125, 125, 125));
  // Truncation toward zero: 255 + (0 - 255) * 128 / 256 = 255 - 127 = 128.
  EXPECT_EQ(one(PIX_CombinePixelsCopyNoClamp::doPix, 0, 0xFFFFFFFFu, 128), 0x80808080u);
  EXPECT_EQ(one(PIX_CombinePixelsClobberNoClamp::doPix, d, s, 256), s);
}

TEST(PixCombineRules, AddClampsAt255)
{
  const PIX_pixel d = PIX_RGBA(200, 10, 0, 250), s = PIX_RGBA(100, 100, 255, 100);
  EXPECT_EQ(one(PIX_CombinePixelsAdd::doPix, d, s, 256), PIX_RGBA(255, 110, 255, 255));
  // Half weight: 10 + 100 * 128 / 256 = 60.
  EXPECT_EQ(PIX_G(one(PIX_CombinePixelsAdd::doPix, d, s, 128)), 60);
}

TEST(PixCombineRules, ColorDodgeAtFullSourceSaturatesExceptBlack)
{
  const PIX_pixel s = 0xFFFFFFFFu;
  EXPECT_EQ(one(PIX_CombinePixelsColorDodge::doPix, PIX_RGBA(100, 1, 0, 0), s, 256),
            PIX_RGBA(255, 255, 0, 0));
  // s = 128 * 256 / 256 = 128: 100 * 256 / 128 = 200.
  EXPECT_EQ(PIX_R(one(PIX_CombinePixelsColorDodge::doPix, PIX_RGBA(100, 0, 0, 0), PIX_RGBA(128, 0, 0, 0), 256)), 200);
}

TEST(PixCombineRules, MultiplyWhiteOnWhiteGives254)
{
  EXPECT_EQ(one(PIX_CombinePixelsMulNoClamp::doPix, 0xFFFFFFFFu, 0xFFFFFFFFu, 256), 0xFEFEFEFEu);
  // Weight 0 would leave the pixel: the factor is 1.0 then.
  EXPECT_EQ(one(PIX_CombinePixelsMulNoClamp::doPix, 0x12345678u, 0u, 0), 0x12345678u);
  // 200 * 128 / 256 = 100 at full weight.
  EXPECT_EQ(PIX_R(one(PIX_CombinePixelsMulNoClamp::doPix, PIX_RGBA(200, 0, 0, 0), PIX_RGBA(128, 0, 0, 0), 256)), 100);
}

TEST(PixCombineRules, OverlayWithMidGreyLeavesDestination)
{
  const PIX_pixel d = PIX_RGBA(10, 128, 240, 77);
  EXPECT_EQ(one(PIX_CombinePixelsOverlay::doPix, d, 0x80808080u, 256), d);
  // Black source at full weight: dc * dc * 128 / 32768 = dc^2 / 256.
  EXPECT_EQ(PIX_B(one(PIX_CombinePixelsOverlay::doPix, d, 0u, 256)), 240 * 240 / 256);
}

TEST(PixCombineRules, HalfMixAveragesWithTruncation)
{
  EXPECT_EQ(one(PIX_CombinePixelsHalfMixNoClamp::doPix, 0u, 0xFFFFFFFFu, 0), 0x7F7F7F7Fu);
  EXPECT_EQ(one(PIX_CombinePixelsHalfMixNoClamp::doPix, PIX_RGBA(1, 3, 5, 7), PIX_RGBA(1, 4, 6, 9), 0),
            PIX_RGBA(1, 3, 5, 8));
}

TEST(PixCombineRules, SourceAlphaZeroLeavesDestinationAtAnyWeight)
{
  const PIX_pixel d = 0x11223344u, s = PIX_RGBA(255, 255, 255, 0);
  for (int w : {1, 100, 255, 256})
  {
    EXPECT_EQ(one(PIX_CombinePixelsCopySourceAlphaNoClamp::doPix, d, s, w), d);
    EXPECT_EQ(one(PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix, d, s, w), d);
    EXPECT_EQ(one(PIX_CombinePixelsAddSourceAlpha::doPix, d, s, w), d);
    EXPECT_EQ(one(PIX_CombinePixelsMulSourceAlphaNoClamp::doPix, d, s, w), d);
  }
}

TEST(PixCombineRules, SourceAlphaCopyAccumulatesCoverage)
{
  // w = 128, a = 255: weight 128 * 256 / 256 = 128; alpha = 128 + da, at most 255.
  const PIX_pixel s = PIX_RGBA(200, 0, 0, 255);
  const PIX_pixel r1 = one(PIX_CombinePixelsCopySourceAlphaNoClamp::doPix, PIX_RGBA(0, 0, 0, 50), s, 128);
  EXPECT_EQ(PIX_A(r1), 178);
  EXPECT_EQ(PIX_R(r1), 200 + (0 - 200) * 128 / 256);
  EXPECT_EQ(PIX_A(one(PIX_CombinePixelsCopySourceAlphaNoClamp::doPix, PIX_RGBA(0, 0, 0, 200), s, 128)), 255);
}

TEST(PixCombineRules, IgnoreAlphaParmCopyReplacesOpaqueAndBlendsTranslucent)
{
  const PIX_pixel d = PIX_RGBA(0, 100, 255, 100);
  EXPECT_EQ(one(PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix, d, PIX_RGBA(9, 8, 7, 255), 256),
            PIX_RGBA(9, 8, 7, 255));
  // a = 128: c + (dc - c) * 127 / 256; alpha 128 + 100.
  const PIX_pixel r = one(PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp::doPix, d, PIX_RGBA(255, 100, 0, 128), 256);
  EXPECT_EQ(r, PIX_RGBA(255 + (0 - 255) * 127 / 256, 100, 0 + 255 * 127 / 256, 228));
}

TEST(PixCombineRules, ClampTwinsLimitOutOfRangeInputs)
{
  EXPECT_EQ(one(PIX_CombinePixelsClobberClamp::doPix, 0, 0, 256), 0u);
  PIX_pixel d = 0;
  PIX_CombinePixelsClobberClamp::doPix(&d, 300, -5, 128, 999, 256);
  EXPECT_EQ(d, PIX_RGBA(255, 0, 128, 255));
  d = PIX_RGBA(0, 0, 0, 0);
  PIX_CombinePixelsCopyClamp::doPix(&d, 400, -40, 10, 10, 256);
  EXPECT_EQ(d, PIX_RGBA(255, 0, 10, 10));
  d = PIX_RGBA(255, 255, 255, 255);
  PIX_CombinePixelsMulClamp::doPix(&d, 300, 300, 300, 300, 256);
  EXPECT_EQ(d, 0xFFFFFFFFu);  // 255 * 300 / 256 = 298 -> 255
  d = PIX_RGBA(0, 0, 0, 250);
  PIX_CombinePixelsCopySourceAlphaClamp::doPix(&d, 300, 0, 0, 255, 256);
  EXPECT_EQ(d, PIX_RGBA(255, 0, 0, 255));
  d = PIX_RGBA(0, 0, 0, 250);
  PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp::doPix(&d, -9, 0, 0, 200, 256);
  EXPECT_EQ(PIX_R(d), 0);
  EXPECT_EQ(PIX_A(d), 255);
}

TEST(PixCombineHSV, NeutralSourceKeepsColourAndSetsAlpha)
{
  const PIX_pixel d = PIX_RGBA(12, 200, 99, 40);
  EXPECT_EQ(one(PIX_CombinePixelsHSVAdjust::doPix, d, PIX_RGBA(128, 128, 128, 222), 256),
            PIX_RGBA(12, 200, 99, 222));
}

TEST(PixCombineHSV, RedChannelRotatesHueFromRedTowardsGreen)
{
  // r = 213: 213 + 106 - 192 = 127 of 384, a third of the circle.
  const PIX_pixel r = one(PIX_CombinePixelsHSVAdjust::doPix, PIX_RGBA(255, 0, 0, 255), PIX_RGBA(213, 128, 128, 255), 256);
  EXPECT_EQ(PIX_G(r), 255);
  EXPECT_LT(PIX_R(r), 8);
  EXPECT_EQ(PIX_B(r), 0);
  // Blue channel below 128 darkens: value 255 + 256 * (0 - 128) / 128 = 0.
  const PIX_pixel dark = one(PIX_CombinePixelsHSVAdjust::doPix, PIX_RGBA(255, 0, 0, 255), PIX_RGBA(128, 128, 0, 255), 256);
  EXPECT_EQ(dark & 0xFFFFFF00u, 0u);
}

TEST(PixCombineHSV, RoundTripStaysWithinTwoSteps)
{
  std::mt19937 rng(7);
  for (int i = 0; i < 20000; ++i)
  {
    const int r = (int)(rng() & 255), g = (int)(rng() & 255), b = (int)(rng() & 255);
    int h, s, v, r2, g2, b2;
    PIX_RGB2HSV(r, g, b, &h, &s, &v);
    ASSERT_GE(h, 0);
    ASSERT_LT(h, 384);
    PIX_HSV2RGB(h, s, v, &r2, &g2, &b2);
    ASSERT_NEAR(r2, r, 2) << r << "," << g << "," << b;
    ASSERT_NEAR(g2, g, 2) << r << "," << g << "," << b;
    ASSERT_NEAR(b2, b, 2) << r << "," << g << "," << b;
  }
}

TEST(PixCombineRules, RuleLookupByModeMatchesTheClasses)
{
  EXPECT_EQ(PIX_GetCombineFunc(PIX_BLIT_MODE_MUL), &PIX_CombinePixelsMulNoClamp::doPix);
  EXPECT_EQ(PIX_GetCombineFunc(PIX_BLIT_MODE_ADD | PIX_BLIT_USE_SRC_ALPHA), &PIX_CombinePixelsAddSourceAlpha::doPix);
  EXPECT_EQ(PIX_GetCombineFunc(6), nullptr);
  EXPECT_EQ(PIX_GetCombineFunc(PIX_BLIT_MODE_CHANCOPY(1, 0)), nullptr);
}

// Every blit kernel (SSE2 where there is one, word shortcuts, generic loops)
// against the channel-by-channel reference on random pixels; odd lengths
// reach the scalar tails of the vector loops.
class PixKernelVsReference : public ::testing::TestWithParam<std::tuple<int, int>>
{
protected:
  void SetUp() override
  {
    if (!PIX_SetKernelLevel(std::get<1>(GetParam()))) GTEST_SKIP() << "processor lacks this level";
  }
  void TearDown() override { PIX_SetKernelLevel(2) || PIX_SetKernelLevel(1); }
};

TEST_P(PixKernelVsReference, AllWeightsMatchBitForBit)
{
  const int mode = std::get<0>(GetParam());
  const bool flag = (mode & PIX_BLIT_USE_SRC_ALPHA) != 0;
  std::mt19937 rng(1234 + mode);
  for (int w : {1, 2, 63, 64, 100, 127, 128, 129, 200, 255, 256})
  {
    for (int n : {1, 3, 4, 7, 64, 257})
    {
      std::vector<PIX_pixel> s(n), d(n), ref(n);
      for (int i = 0; i < n; ++i)
      {
        s[i] = rng();
        d[i] = rng();
        if (i % 5 == 0) s[i] &= 0xFFFFFF00u;
        if (i % 7 == 0) s[i] |= 0xFFu;
      }
      const float alpha = (float)w / 256.0f;
      for (int i = 0; i < n; ++i)
      {
        if ((mode & 0xFF) == 0 && !flag && w == 256)
          ref[i] = s[i];
        else if ((mode & 0xFF) == 0 && !flag && w == 128)  // the word shortcut
          ref[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + ((s[i] >> 1) & 0x7F7F7F7Fu);
        else
          ref[i] = refCombine(d[i], s[i], mode & 0xFF, flag, w);
      }
      int wi = 0;
      PIX_RowBlitFn fn = PIX_SelectRowBlit(alpha, mode, &wi);
      ASSERT_NE(fn, nullptr);
      std::vector<PIX_pixel> out = d;
      fn(out.data(), s.data(), n, wi, mode);
      for (int i = 0; i < n; ++i)
        ASSERT_EQ(out[i], ref[i]) << "mode " << mode << " w " << w << " n " << n << " i " << i
                                  << std::hex << " s " << s[i] << " d " << d[i];
      // The plain per-pixel kernels agree too.
      PIX_RowBlitFn slow = PIX_SelectRowBlitReference(mode, w);
      ASSERT_NE(slow, nullptr);
      if (!((mode & 0xFF) == 0 && !flag && (w == 128)))
      {
        out = d;
        slow(out.data(), s.data(), n, w, mode);
        for (int i = 0; i < n; ++i) ASSERT_EQ(out[i], ref[i]) << "slow mode " << mode << " w " << w;
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllRulesAllLevels, PixKernelVsReference,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4, 5, 0x10000, 0x10001, 0x10002,
                                                              0x10003, 0x10004, 0x10005),
                                            ::testing::Values(0, 1, 2)));

// Fill kernels at every vector level and many weights against the rule with
// the weight as source alpha (the four shortcut weights excepted).
class PixFillKernelVsReference : public PixKernelVsReference
{
};

TEST_P(PixFillKernelVsReference, AllWeightsMatchBitForBit)
{
  const int mode = std::get<0>(GetParam()) & 0xFF;
  std::mt19937 rng(77 + mode);
  for (int w = 1; w < 256; w += 3)
  {
    if (mode == 0 && (w == 64 || w == 128 || w == 192)) continue;
    for (int n : {1, 5, 8, 13, 100})
    {
      std::vector<PIX_pixel> d(n), want(n);
      const PIX_pixel c = rng();
      for (int i = 0; i < n; ++i)
      {
        d[i] = rng();
        want[i] = refCombine(d[i], (c & 0xFFFFFF00u) | (PIX_pixel)w, mode, false, w);
      }
      int wi = 0;
      PIX_RowFillFn fn = PIX_SelectRowFill((float)w / 256.0f, mode, &wi);
      ASSERT_NE(fn, nullptr);
      ASSERT_EQ(wi, w);
      fn(d.data(), n, c, wi);
      for (int i = 0; i < n; ++i) ASSERT_EQ(d[i], want[i]) << "mode " << mode << " w " << w << " i " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(AllRulesAllLevels, PixFillKernelVsReference,
                         ::testing::Combine(::testing::Values(0, 1, 2, 3, 4, 5), ::testing::Values(0, 1, 2)));
