// The stored clipper curve and click transient: measured anchors, symmetry and shape.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "voice/VoiceTables.h"

namespace {

std::string printed(float v, int digits)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.*g", digits, static_cast<double>(v));
    return text;
}

struct Row {
    int index;
    const char* value;
};

TEST(Kennlinie, MeasuredAnchorsAreStoredToTheirPrintedDigits)
{
    const Row rows[] = {
        {520, "0.064900093"}, {540, "0.1297567"}, {560, "0.19442239"}, {580, "0.2583136"},
        {600, "0.3193641"}, {620, "0.37259299"}, {640, "0.41309071"}, {660, "0.44168079"},
        {680, "0.4621883"}, {700, "0.477624"}, {720, "0.48979011"}, {740, "0.49973971"},
        {760, "0.50811273"}, {780, "0.51531738"}, {800, "0.52162701"}, {820, "0.52723151"},
        {840, "0.53226757"}, {860, "0.5368368"}, {880, "0.54101622"}, {900, "0.54486549"},
        {920, "0.54843211"}, {940, "0.55175358"}, {960, "0.55486131"}, {980, "0.55778039"},
        {1000, "0.56053227"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(printed(kennlinie[r.index], 8), r.value) << "entry " << r.index;
    EXPECT_EQ(printed(kennlinie[500], 2), "-5.3e-15");
}

TEST(Kennlinie, IsOdd)
{
    for (int i = 0; i < 500; ++i)
        ASSERT_FLOAT_EQ(kennlinie[1000 - i], -kennlinie[i]) << "entry " << i;
    EXPECT_LT(std::fabs(kennlinie[500]), 1e-12f);
}

TEST(Kennlinie, RisesMonotonicallyAndSmoothly)
{
    for (int i = 1; i < kennlinieSize; ++i)
        ASSERT_GT(kennlinie[i], kennlinie[i - 1]) << "entry " << i;
    // Smooth: the step from entry to entry changes by little, and on the positive side it only
    // shrinks (the curve bends one way, without ripple).
    for (int i = 502; i < kennlinieSize; ++i) {
        const float d1 = kennlinie[i] - kennlinie[i - 1], d0 = kennlinie[i - 1] - kennlinie[i - 2];
        ASSERT_LT(std::fabs(d1 - d0), 1e-4f) << "entry " << i;
        ASSERT_LE(d1, d0 + 1e-6f) << "entry " << i;
    }
}

TEST(Kennlinie, SmallSignalSlopeAndSaturation)
{
    const double slope = (kennlinie[501] - kennlinie[499]) / (2 * 0.018);
    EXPECT_NEAR(slope, 0.1802917, 1e-6);
    // The bend lies between inputs 1.5 and 3.5: the slope has fallen below a quarter by 3.5.
    const double at15 = (kennlinie[584] - kennlinie[583]) / 0.018;
    const double at35 = (kennlinie[695] - kennlinie[694]) / 0.018;
    EXPECT_GT(at15, 0.8 * 0.1802917);
    EXPECT_LT(at35, 0.25 * 0.1802917);
}

TEST(ClickTable, TellingSamplesAreStoredToTheirPrintedDigits)
{
    const Row rows[] = {
        {0, "0.00033786"}, {5, "-0.0961947"}, {10, "-0.373744"}, {15, "-0.519318"},
        {20, "-0.516293"}, {25, "-0.52152"}, {30, "-0.544101"}, {40, "-0.508189"},
        {60, "-0.410673"}, {80, "-0.314422"}, {100, "-0.237406"}, {150, "-0.118515"},
        {200, "-0.0589372"}, {225, "-0.0416571"}, {228, "-0.00591681"}, {230, "0.200916"},
        {232, "0.572165"}, {234, "0.910559"}, {237, "1.10214"}, {240, "0.925189"},
        {243, "0.647604"}, {247, "0.475441"}, {251, "0.550462"}, {255, "0.621642"},
        {260, "0.542891"}, {270, "0.425642"}, {280, "0.376051"}, {300, "0.272548"},
        {350, "0.123172"}, {400, "0.0555865"}, {500, "0.0116306"}, {600, "0.00273361"},
        {700, "0.000916264"}, {800, "0.000539443"}, {900, "0.000455043"}, {999, "0.000430963"},
    };
    for (const Row& r : rows)
        EXPECT_EQ(printed(clickTable[r.index], 6), r.value) << "sample " << r.index;
}

TEST(ClickTable, SumsToPracticallyZero)
{
    double sum = 0.0, magnitude = 0.0;
    for (float v : clickTable) {
        sum += v;
        magnitude += std::fabs(v);
    }
    EXPECT_GT(magnitude, 50.0);
    EXPECT_LT(std::fabs(sum), 1e-4);
}

TEST(ClickTable, FirstSwingDipsNearSample17)
{
    int lowest = 0;
    for (int i = 1; i <= 22; ++i)
        if (clickTable[i] < clickTable[lowest])
            lowest = i;
    EXPECT_NEAR(lowest, 17, 1);
    EXPECT_NEAR(clickTable[lowest], -0.526f, 0.002f);
    for (int i = 1; i <= 17; ++i)
        ASSERT_LT(clickTable[i], clickTable[i - 1]) << "sample " << i;
}

TEST(ClickTable, RelaxesThenJumpsWithinTenSamplesToThePeak)
{
    for (int i = 31; i <= 226; ++i)
        ASSERT_GT(clickTable[i], clickTable[i - 1]) << "sample " << i;
    EXPECT_NEAR(clickTable[226], -0.041f, 0.001f);
    int peak = 0;
    for (int i = 0; i < clickTableSize; ++i)
        if (clickTable[i] > clickTable[peak])
            peak = i;
    EXPECT_EQ(peak, 237);
    EXPECT_NEAR(peak / clickTableRate, 2.47e-3, 0.01e-3);
    for (int i = 227; i <= 237; ++i)
        ASSERT_GT(clickTable[i], clickTable[i - 1]) << "sample " << i;
    EXPECT_LT(clickTable[227], 0.0f);  // still below zero ten samples before the peak
}

TEST(ClickTable, DipReboundAndSmoothDecay)
{
    for (int i = 238; i <= 247; ++i)
        ASSERT_LT(clickTable[i], clickTable[i - 1]) << "sample " << i;
    for (int i = 248; i <= 255; ++i)
        ASSERT_GT(clickTable[i], clickTable[i - 1]) << "sample " << i;
    for (int i = 256; i < clickTableSize; ++i) {
        ASSERT_LT(clickTable[i], clickTable[i - 1]) << "sample " << i;
        ASSERT_GT(clickTable[i], 0.0f) << "sample " << i;
    }
    // Smooth decay: from 300 on, the ratio of neighbours changes slowly (no kinks).
    for (int i = 302; i < clickTableSize; ++i) {
        const double r1 = clickTable[i] / clickTable[i - 1], r0 = clickTable[i - 1] / clickTable[i - 2];
        ASSERT_NEAR(r1, r0, 2e-3) << "sample " << i;
    }
}

}  // namespace
