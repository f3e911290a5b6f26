// The flush-to-zero guard: what it does to subnormals, and that it gives the caller's mode back.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>

#include "util/ScopedFlushDenormals.h"

namespace {

// Products through volatile operands, so that the compiler cannot fold them at build time with
// its own (non-flushing) arithmetic.
float product(float a, float b)
{
    volatile float x = a;
    volatile float y = b;
    return x * y;
}

double widened(float a)
{
    volatile float x = a;
    return static_cast<double>(x) * 1.0;
}

#if UTIL_HAS_MXCSR

TEST(ScopedFlushDenormals, FlushesSubnormalResultsAndInputsWhileItLives)
{
    const float subnormal = FLT_MIN / 8.0f;
    ASSERT_FALSE(ScopedFlushDenormals::active());
    EXPECT_GT(product(FLT_MIN, 0.25f), 0.0f);  // gradual underflow by default
    EXPECT_EQ(widened(subnormal), static_cast<double>(FLT_MIN) / 8.0);
    {
        ScopedFlushDenormals guard;
        EXPECT_TRUE(ScopedFlushDenormals::active());
        EXPECT_EQ(product(FLT_MIN, 0.25f), 0.0f);     // result flushed
        EXPECT_EQ(product(subnormal, 1.0e30f), 0.0f); // input taken as zero
        EXPECT_EQ(product(FLT_MIN, 2.0f), 2.0f * FLT_MIN);  // normal values untouched
        EXPECT_TRUE(std::signbit(product(-FLT_MIN, 0.25f)));  // the sign of the zero stays
    }
    EXPECT_FALSE(ScopedFlushDenormals::active());
    EXPECT_GT(product(FLT_MIN, 0.25f), 0.0f);
}

TEST(ScopedFlushDenormals, NestedGuardsAndACallerInFlushModeGetTheirModeBack)
{
    const unsigned before = _mm_getcsr();
    {
        ScopedFlushDenormals outer;
        {
            ScopedFlushDenormals inner;
            EXPECT_TRUE(ScopedFlushDenormals::active());
        }
        // The inner guard found the modes set and leaves them set.
        EXPECT_TRUE(ScopedFlushDenormals::active());
    }
    EXPECT_EQ(_mm_getcsr() & 0x8040u, before & 0x8040u);

    // Only one of the two modes set by the caller: both come back exactly.
    _mm_setcsr(before | 0x8000u);
    {
        ScopedFlushDenormals guard;
        EXPECT_TRUE(ScopedFlushDenormals::active());
    }
    EXPECT_EQ(_mm_getcsr() & 0x8040u, 0x8000u);
    _mm_setcsr(before);
}

TEST(ScopedFlushDenormals, LeavesRoundingModeAndFlagsRaisedInsideAlone)
{
    const unsigned before = _mm_getcsr();
    _mm_setcsr(before & ~0x3Fu);  // clear the sticky exception flags
    {
        ScopedFlushDenormals guard;
        // Round toward zero, set inside the scope: the guard must not undo it.
        _mm_setcsr((_mm_getcsr() & ~0x6000u) | 0x6000u);
        volatile float third = 1.0f;
        third = third / 3.0f;  // inexact
    }
    const unsigned after = _mm_getcsr();
    EXPECT_EQ(after & 0x6000u, 0x6000u);
    EXPECT_NE(after & 0x20u, 0u);  // the inexact flag raised inside is still there
    _mm_setcsr(before);
}

#else

TEST(ScopedFlushDenormals, DoesNothingWithoutAControlWord)
{
    ScopedFlushDenormals guard;
    EXPECT_FALSE(ScopedFlushDenormals::active());
    EXPECT_GT(product(FLT_MIN, 0.25f), 0.0f);
}

#endif

}  // namespace
