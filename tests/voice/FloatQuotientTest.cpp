// The multiply-instead-of-divide quotient against the plain division, bit for bit.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>

#include "voice/FloatQuotient.h"

namespace {

uint32_t bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// The divisors the voice uses, and sample rates (the oscillator divides by the rate).
const double divisors[] = {18.0, 100.0, 470000.0, 0.000027, 0.000024, 44100.0, 48000.0, 96000.0,
                           22050.0, 192000.0, 3.0, 7.0};

void expectSame(double x, double c)
{
    const float fast = floatQuotient(x, c, 1.0 / c);
    const float slow = static_cast<float>(x / c);
    if (std::isnan(slow))
        EXPECT_TRUE(std::isnan(fast)) << x << " / " << c;
    else
        ASSERT_EQ(bits(fast), bits(slow)) << x << " / " << c;
}

TEST(FloatQuotient, RandomNumeratorsMatchTheDivision)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> mantissa(-1.0, 1.0);
    std::uniform_int_distribution<int> exponent(-40, 40);
    for (double c : divisors)
        for (int n = 0; n < 200000; ++n)
            expectSame(std::ldexp(mantissa(rng), exponent(rng)), c);
}

// Numerators whose quotient lies on, or a few double steps beside, a point half way between two
// floats: where multiplying by the reciprocal could round the other way.
TEST(FloatQuotient, QuotientsNextToFloatHalfWayPointsMatchTheDivision)
{
    std::mt19937 rng(18);
    std::uniform_real_distribution<float> value(1.0f, 2.0f);
    std::uniform_int_distribution<int> exponent(-30, 30);
    for (double c : divisors) {
        for (int n = 0; n < 3000; ++n) {
            const float f = std::ldexp(value(rng), exponent(rng));
            const double halfWay = 0.5 * (static_cast<double>(f)
                + static_cast<double>(std::nextafter(f, std::numeric_limits<float>::infinity())));
            double x = halfWay * c;
            for (int step = 0; step < 40; ++step)
                x = std::nextafter(x, 0.0);
            for (int step = 0; step < 80; ++step) {
                expectSame(x, c);
                expectSame(-x, c);
                x = std::nextafter(x, std::numeric_limits<double>::infinity());
            }
        }
    }
}

TEST(FloatQuotient, EdgesOfTheFloatRangeMatchTheDivision)
{
    const double inf = std::numeric_limits<double>::infinity();
    const double specials[] = {0.0, -0.0, inf, -inf, std::numeric_limits<double>::quiet_NaN(),
                               1e-50, -1e-50, 1e-38, 1.1754943508222875e-38, 1.4e-45, 0.7e-45,
                               3.4028234663852886e38, 3.4028235677973366e38, 1e39, 1e300,
                               std::numeric_limits<double>::denorm_min()};
    for (double x : specials)
        for (double c : {1.0, 18.0, 0.000027, 48000.0, 0.0, -0.0, inf, 1e-300})
            expectSame(x, c);
    // Quotients walking down through the smallest normal floats into the denormals, and up to the
    // largest float and beyond.
    for (double q = 1e-36; q > 1e-47; q *= 0.9993)
        expectSame(q * 48000.0, 48000.0);
    for (double q = 1e37; q < 1e39; q *= 1.0007)
        expectSame(q * 18.0, 18.0);
    // Denormal floats round at other bits: quotients beside their half-way points.
    for (double c : divisors) {
        for (int k = 1; k < 3000; k += 7) {
            double x = std::ldexp(k + 0.5, -149) * c;
            for (int step = 0; step < 40; ++step)
                x = std::nextafter(x, 0.0);
            for (int step = 0; step < 80; ++step) {
                expectSame(x, c);
                x = std::nextafter(x, inf);
            }
        }
    }
}

}  // namespace
