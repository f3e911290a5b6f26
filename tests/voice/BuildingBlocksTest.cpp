// Building blocks of the drum voice: noise, oscillator, envelope, filters, fader, table player.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>

#include "voice/Fader.h"
#include "voice/VoiceTables.h"
#include "voice/ahd.h"
#include "voice/hp.h"
#include "voice/lp.h"
#include "voice/noise.h"
#include "voice/resampler.h"
#include "voice/vco.h"

namespace {

TEST(Noise, FreshGeneratorStartsWithTheKnownSequence)
{
    noise n;
    EXPECT_EQ(n.getSample(), -1.0f);
    EXPECT_FLOAT_EQ(n.getSample(), -0.99996781f);
    EXPECT_FLOAT_EQ(n.getSample(), -0.7785182f);
    EXPECT_FLOAT_EQ(n.getSample(), 0.52616024f);
}

TEST(Noise, StaysWithinMinusOneToOneAndIsCentred)
{
    noise n;
    double sum = 0.0;
    for (int i = 0; i < 1000000; ++i) {
        const float v = n.getSample();
        ASSERT_GE(v, -1.0f);
        ASSERT_LE(v, 1.0f);
        sum += v;
    }
    EXPECT_NEAR(sum / 1000000.0, 0.0, 0.01);
}

TEST(Noise, EveryGeneratorPlaysTheSameSequence)
{
    noise a, b;
    for (int i = 0; i < 1000; ++i)
        ASSERT_EQ(a.getSample(), b.getSample());
}

TEST(Vco, WrapTakesOneStepOfTwo)
{
    vco o;
    EXPECT_EQ(o.wrap(1.0f), -1.0f);
    EXPECT_EQ(o.wrap(-1.0f), -1.0f);
    EXPECT_EQ(o.wrap(-1.5f), 0.5f);
    EXPECT_EQ(o.wrap(0.25f), 0.25f);
    EXPECT_EQ(o.wrap(3.5f), 1.5f);  // one step only
}

TEST(Vco, CornerPolynomialValues)
{
    vco o;
    EXPECT_FLOAT_EQ(o.ftri(0.0f), 0.20617266f);
    EXPECT_NEAR(o.ftri(0.5f), 0.0031022f, 1e-7);
    EXPECT_EQ(o.ftri(0.5f), o.ftri(-0.5f));
    EXPECT_LT(std::fabs(o.ftri(1.0f)), 1e-6f);
    EXPECT_LT(std::fabs(o.ftri(-1.0f)), 1e-6f);
}

TEST(Vco, StartsAtZeroAndRisesByTwoPhaseSteps)
{
    vco o;
    o.setSamplingRate(44100.0);
    o.reset();
    const float dt = static_cast<float>(2.0 * 55.0 / 44100.0);
    // 2 * |0.5 + phase| - 1: exact but for the rounding of 0.5 + phase (6e-8).
    EXPECT_NEAR(o.getSample(55.0f, 0.5f, 2), 0.0049887f, 1e-7);
    EXPECT_NEAR(o.getSample(55.0f, 0.5f, 2), 4.0f * dt, 1.2e-7);
    EXPECT_NEAR(o.getSample(55.0f, 0.5f, 2), 6.0f * dt, 1.2e-7);
}

TEST(Vco, PeaksAt55HzStayJustInsideUnity)
{
    vco o;
    o.setSamplingRate(44100.0);
    o.reset();
    float lo = 1.0f, hi = -1.0f;
    for (int i = 0; i < 44100 / 55 * 3; ++i) {
        const float v = o.getSample(55.0f, 0.5f, 2);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    EXPECT_NEAR(lo, -0.99794f, 2e-5);
    EXPECT_NEAR(hi, 0.99791f, 2e-5);
}

TEST(Vco, HighFrequencyCornersAreRoundedMore)
{
    vco o;
    o.setSamplingRate(44100.0);
    float hi = 0.0f, lo = 0.0f;
    for (int i = 0; i < 4410; ++i) {
        const float v = o.getSample(1000.0f, 0.5f, 2);
        hi = std::max(hi, v);
        lo = std::min(lo, v);
    }
    EXPECT_NEAR(hi, 0.963f, 2e-3);
    EXPECT_NEAR(lo, -0.963f, 2e-3);
}

TEST(Vco, ResetReturnsPhaseToZero)
{
    vco o;
    o.setSamplingRate(48000.0);
    for (int i = 0; i < 123; ++i)
        o.getSample(80.0f, 0.5f, 2);
    EXPECT_NE(o.getPhase(), 0.0f);
    o.reset();
    EXPECT_EQ(o.getPhase(), 0.0f);
}

TEST(Vco, RateChangeRetunesAtTheSameFrequency)
{
    // The phase step is kept per frequency; a new rate must not reuse the old step.
    vco a;
    a.setSamplingRate(48000.0);
    a.getSample(55.0f, 0.5f, 2);
    a.setSamplingRate(96000.0);
    a.reset();
    vco b;
    b.setSamplingRate(96000.0);
    for (int i = 0; i < 100; ++i)
        ASSERT_EQ(a.getSample(55.0f, 0.5f, 2), b.getSample(55.0f, 0.5f, 2));
}

// Envelope with attack 1 ms and hold 10 ms at 48 kHz, at rest. The hold is the float just above
// 0.01: 0.01f itself lies a hair below 0.01 and would end the rise one sample earlier.
ahd restingEnvelope()
{
    ahd e;
    e.setSamplingRate(48000.0);
    e.setAttack(0.001f);
    e.setHold(std::nextafter(0.01f, 1.0f));
    e.setDecay(0.0001f);
    e.setAmp(1.0f);
    for (int i = 0; i < 2000; ++i)
        e.getSample();
    e.setDecay(0.05f);
    return e;
}

TEST(Ahd, RisesForTheHoldTimeThenFallsOneSampleLate)
{
    ahd e = restingEnvelope();
    e.reset();
    float out[600];
    for (float& v : out)
        v = e.getSample();
    EXPECT_LT(out[0], 1e-30f);  // sample 1 still sees the old target
    EXPECT_GT(out[1], 1e-3f);   // sample 2 is the first to move
    // Samples 2..481 (1-based) rise; near the top the single-precision coefficients settle a
    // hair below 1, so the last steps may be flat.
    for (int n = 2; n <= 481; ++n) {
        if (n <= 300)
            ASSERT_GT(out[n - 1], out[n - 2]) << "sample " << n;
        else
            ASSERT_GE(out[n - 1], out[n - 2]) << "sample " << n;
    }
    EXPECT_NEAR(out[480], 1.0f, 1e-3f);
    for (int n = 482; n <= 600; ++n)  // the fall starts at sample 482
        ASSERT_LT(out[n - 1], out[n - 2]) << "sample " << n;
}

TEST(Ahd, FirstRiseSampleIsTheAttackInputCoefficient)
{
    ahd e = restingEnvelope();
    e.setAmp(2.0f);
    e.reset();
    e.getSample();
    const float coefIn = static_cast<float>(1.0 - std::exp(-1.0 / (48000.0 * 0.001f)));
    EXPECT_FLOAT_EQ(e.getSample(), 2.0f * coefIn);
}

TEST(Ahd, DecaysWithItsTimeConstant)
{
    ahd e = restingEnvelope();
    e.reset();
    float peak = 0.0f;
    for (int i = 0; i < 482; ++i)
        peak = e.getSample();
    for (int i = 0; i < 2400; ++i)  // 50 ms: one time constant
        e.getSample();
    EXPECT_NEAR(e.getSample() / peak, std::exp(-1.0), 2e-3);
}

TEST(Ahd, ResetDuringTheFallRisesFromThePresentLevel)
{
    ahd e = restingEnvelope();
    e.reset();
    for (int i = 0; i < 482 + 2400; ++i)
        e.getSample();
    const float level = e.getSample();
    ASSERT_GT(level, 0.3f);
    e.reset();
    const float first = e.getSample();
    EXPECT_GT(first, 0.97f * level);  // not back to 0
    float v = first;
    for (int i = 0; i < 200; ++i) {
        const float next = e.getSample();
        ASSERT_GT(next, v);
        v = next;
    }
    EXPECT_GT(v, 0.95f);
}

TEST(Ahd, NewEnvelopeIsInItsFallPhase)
{
    ahd e;
    e.setSamplingRate(44100.0);
    e.setAttack(0.001f);
    e.setHold(0.01f);
    e.setDecay(0.05f);
    e.setAmp(3.0f);
    const float coefIn = static_cast<float>(1.0 - std::exp(-1.0 / (44100.0 * 0.05)));
    EXPECT_FLOAT_EQ(e.getSample(), 3.0f * coefIn);  // one small step...
    float prev = e.getSample();
    for (int i = 0; i < 1000; ++i) {  // ...then decay
        const float v = e.getSample();
        ASSERT_LT(v, prev);
        prev = v;
    }
}

TEST(Ahd, CountSaturatesSoALongIdleEnvelopeNeverRisesAgain)
{
    ahd e = restingEnvelope();
    e.reset();
    for (int i = 0; i < 2000; ++i)
        e.getSample();
    e.setSampleCount(INT_MAX - 5);
    float prev = e.getSample();
    for (int i = 0; i < 50; ++i) {
        const float v = e.getSample();
        ASSERT_LE(v, prev) << "rose again after " << i << " samples";
        prev = v;
    }
    EXPECT_EQ(e.getSampleCount(), INT_MAX);
    e.reset();  // still triggers normally
    float v = 0.0f;
    for (int i = 0; i < 20; ++i)
        v = e.getSample();
    EXPECT_GT(v, prev);
}

TEST(Ahd, ZeroTimeConstantJumpsAtOnce)
{
    ahd e;
    e.setSamplingRate(48000.0);
    e.setAttack(0.0f);
    e.setHold(0.001f);
    e.setDecay(0.0f);
    e.setAmp(1.0f);
    e.getSample();
    EXPECT_EQ(e.getSample(), 0.0f);  // fall target reached in one step
    e.reset();
    e.getSample();
    EXPECT_EQ(e.getSample(), 1.0f);
}

TEST(Lowpass, ZeroTauPassesInputPlusPreviousInputMinusPreviousOutput)
{
    lp f;
    f.setSampleRate(48000.0);
    f.setTau(0.0f);
    f.setStateX(0.25f);
    f.setStateY(0.5f);
    EXPECT_EQ(f.getSample(1.0f), 0.75f);  // 1 + 0.25 - 0.5
    EXPECT_EQ(f.getSample(2.0f), 2.25f);  // 2 + 1 - 0.75
}

TEST(Lowpass, FirstStepAndUnityDcGain)
{
    lp f;
    f.setSampleRate(48000.0);
    f.setTau(0.000285f);
    const double T = 1.0 / 48000.0, twoTau = 2.0 * 0.000285;
    EXPECT_NEAR(f.getSample(1.0f), T / (T + twoTau), 1e-6);
    float y = 0.0f;
    for (int i = 0; i < 48000; ++i)
        y = f.getSample(1.0f);
    EXPECT_NEAR(y, 1.0f, 1e-5f);
}

TEST(Lowpass, HalfPowerAtTheCornerFrequency)
{
    const double fs = 48000.0, tau = 0.000285, fc = 1.0 / (2.0 * M_PI * tau);
    lp f;
    f.setSampleRate(fs);
    f.setTau(static_cast<float>(tau));
    double peak = 0.0;
    for (int i = 0; i < 48000; ++i) {
        const float y = f.getSample(static_cast<float>(std::sin(2.0 * M_PI * fc * i / fs)));
        if (i > 24000)
            peak = std::max(peak, std::fabs(static_cast<double>(y)));
    }
    EXPECT_NEAR(peak, std::sqrt(0.5), 0.01);  // bilinear warping is small at 558 Hz
}

TEST(Highpass, FirstStepAndZeroDcGain)
{
    hp f;
    f.setSampleRate(48000.0);
    f.setTau(0.0062f);
    const double T = 1.0 / 48000.0, twoTau = 2.0 * 0.0062;
    EXPECT_NEAR(f.getSample(1.0f), twoTau / (T + twoTau), 1e-6);
    float y = 1.0f;
    for (int i = 0; i < 48000 * 2; ++i)
        y = f.getSample(1.0f);
    EXPECT_NEAR(y, 0.0f, 1e-5f);
}

TEST(Highpass, PresetStatesShapeTheFirstOutput)
{
    hp f;
    f.setSampleRate(44100.0);
    f.setTau(0.0062f);
    f.setStateX(1.2383f);
    f.setStateY(0.5041f);
    const float T = static_cast<float>(1.0 / 44100.0);
    const float a = (T - 2.0f * 0.0062f) / (T + 2.0f * 0.0062f);
    const float b0 = 2.0f * 0.0062f / (T + 2.0f * 0.0062f);
    EXPECT_FLOAT_EQ(f.getSample(0.75f), (b0 * 0.75f - b0 * 1.2383f) - a * 0.5041f);
}

TEST(Fader, FirstValueIsAlreadyScaled)
{
    Fader f;
    f.setTau(0.1);
    f.setSampleRate(44100.0);
    f.setStartValue(1.0);
    EXPECT_NEAR(f.getFaderValue(), 0.99977327, 1e-8);
}

TEST(Fader, FallsToOneOverEAfterOneTimeConstant)
{
    Fader f;
    f.setTau(0.1);
    f.setSampleRate(44100.0);
    f.setStartValue(-0.5);
    double v = 0.0;
    for (int i = 0; i < 4410; ++i)
        v = f.getFaderValue();
    EXPECT_NEAR(v, -0.5 * std::exp(-1.0), 1e-9);
    f.setStartValue(0.25);  // replaces the value
    EXPECT_NEAR(f.getFaderValue(), 0.25 * 0.99977327, 1e-8);
}

int playedLength(double rate)
{
    resampler r;
    r.setSamplingRateOriginal(96000.0);
    r.setSamplingRate(rate);
    r.setSampleCount(0);
    for (int i = 0; i < 5000; ++i)
        r.getSample();
    return r.getSampleCount();
}

TEST(Resampler, PlayedLengthFollowsTheOutputRate)
{
    EXPECT_EQ(playedLength(44100.0), 459);
    EXPECT_EQ(playedLength(48000.0), 500);
    EXPECT_EQ(playedLength(96000.0), 999);
    EXPECT_EQ(playedLength(192000.0), 1998);
}

TEST(Resampler, EqualRatesReturnTheTableThenSilence)
{
    resampler r;
    r.setSamplingRateOriginal(96000.0);
    r.setSamplingRate(96000.0);
    for (int i = 0; i < 999; ++i)
        ASSERT_EQ(r.getSample(), clickTable[i]) << i;
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(r.getSample(), 0.0f);
    r.setSampleCount(0);  // plays again
    EXPECT_EQ(r.getSample(), clickTable[0]);
}

TEST(Resampler, HalfRateInterpolatesBetweenEntries)
{
    resampler r;
    r.setSamplingRateOriginal(96000.0);
    r.setSamplingRate(192000.0);
    EXPECT_EQ(r.getSample(), clickTable[0]);
    EXPECT_FLOAT_EQ(r.getSample(), clickTable[0] + 0.5f * (clickTable[1] - clickTable[0]));
    EXPECT_EQ(r.getSample(), clickTable[1]);
}

TEST(Resampler, ZeroOutputRateIsSilentAndDoesNotAdvance)
{
    resampler r;
    r.setSamplingRateOriginal(96000.0);
    r.setSamplingRate(0.0);
    EXPECT_EQ(r.getSample(), 0.0f);
    EXPECT_EQ(r.getSampleCount(), 0);
    r.setSamplingRate(96000.0);  // a later rate makes it play
    EXPECT_EQ(r.getSample(), clickTable[0]);
}

TEST(Resampler, NegativeRateReadsNothingOutsideTheTable)
{
    resampler r;
    r.setSamplingRateOriginal(96000.0);
    r.setSamplingRate(-48000.0);
    r.setSampleCount(5);
    EXPECT_EQ(r.getSample(), 0.0f);
    EXPECT_EQ(r.getSampleCount(), 5);
}

}  // namespace
