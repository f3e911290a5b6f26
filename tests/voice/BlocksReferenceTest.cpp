// Building blocks against the straightforward model, including settings the voice never uses.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "voice/Fader.h"
#include "voice/ReferenceVoice.h"
#include "voice/ahd.h"
#include "voice/hp.h"
#include "voice/lp.h"
#include "voice/vco.h"

namespace {

uint32_t bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// Runs the envelope and its model through resets and setting changes at the given hold.
void compareEnvelope(float hold, int startCount)
{
    ahd e;
    reference::Ahd r;
    e.setSamplingRate(44100.0);
    r.samplingRate = 44100.0;
    e.setAttack(0.0007f);
    r.attackTime = 0.0007f;
    e.setHold(hold);
    r.holdTime = hold;
    e.setDecay(0.03f);
    r.decayTime = 0.03f;
    e.setAmp(5.0f);
    r.amp = 5.0f;
    e.setSampleCount(startCount);
    r.sampleCount = startCount;
    for (int n = 0; n < 20000; ++n) {
        if (n % 5000 == 1234) {
            e.reset();
            r.reset();
        }
        if (n == 7000) {
            e.setDecay(0.2f);
            r.decayTime = 0.2f;
            e.setAttack(0.0f);
            r.attackTime = 0.0f;
        }
        ASSERT_EQ(bits(e.getSample()), bits(r.getSample())) << "hold " << hold << " sample " << n;
    }
}

TEST(AhdReference, PhaseBoundaryMatchesForAnyHold)
{
    for (float hold : {0.0f, 0.01f, std::nextafter(0.01f, 1.0f), 0.1234567f, -0.5f, 1e6f, 1e30f,
                       std::numeric_limits<float>::infinity(), std::numeric_limits<float>::quiet_NaN()})
        compareEnvelope(hold, 66666);
}

TEST(AhdReference, MatchesFromNegativeAndHugeCounts)
{
    compareEnvelope(0.01f, -300);
    compareEnvelope(0.01f, INT_MAX - 3000);
    compareEnvelope(-1e30f, INT_MIN + 5);
}

// getBlock against the model sample by sample: runs of many lengths, long holds (the rise settles
// on its level and is held), resets inside the rise and the fall, setting changes between runs,
// and counts about to saturate.
void compareEnvelopeBlocks(float hold, int startCount, float amp)
{
    ahd e;
    reference::Ahd r;
    e.setSamplingRate(48000.0);
    r.samplingRate = 48000.0;
    e.setAttack(0.000594f);
    r.attackTime = 0.000594f;
    e.setHold(hold);
    r.holdTime = hold;
    e.setDecay(0.1805f);
    r.decayTime = 0.1805f;
    e.setAmp(amp);
    r.amp = amp;
    e.setSampleCount(startCount);
    r.sampleCount = startCount;
    std::vector<float> out(700);
    long n = 0;
    for (int run = 0; run < 400; ++run) {
        const int length = (run * 37) % 700 + 1;
        e.getBlock(out.data(), length);
        for (int i = 0; i < length; ++i)
            ASSERT_EQ(bits(out[static_cast<size_t>(i)]), bits(r.getSample()))
                << "hold " << hold << " run " << run << " sample " << n + i;
        n += length;
        ASSERT_EQ(e.getSampleCount(), r.sampleCount);
        if (run % 50 == 7) {
            e.reset();
            r.reset();
        }
        if (run == 120) {
            e.setAttack(0.002f);
            r.attackTime = 0.002f;
            e.setDecay(0.01f);
            r.decayTime = 0.01f;
        }
    }
}

TEST(AhdReference, BlocksMatchSampleBySample)
{
    for (float hold : {0.0f, 0.0023f, 0.105f, 0.205f, 3.0f, -1.0f, 1e30f,
                       std::numeric_limits<float>::quiet_NaN()})
        compareEnvelopeBlocks(hold, 66666, 6.5243f);
    compareEnvelopeBlocks(0.105f, INT_MAX - 5000, 6.5243f);
    compareEnvelopeBlocks(1e30f, INT_MAX - 50000, 1.0f);  // a rise that never ends, count saturating
    compareEnvelopeBlocks(0.105f, 0, -0.9757f);
    compareEnvelopeBlocks(0.105f, 66666, 0.0f);
}

TEST(VcoReference, SweptAndSteadyFrequenciesMatch)
{
    vco o;
    reference::Vco r;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> pitch(20.0f, 2000.0f);
    for (double rate : {44100.0, 48000.0, 88200.0}) {
        o.setSamplingRate(rate);
        r.samplingRate = rate;
        float f = pitch(rng);
        for (int n = 0; n < 100000; ++n) {
            if (n % 700 == 0)
                f = pitch(rng);  // steady stretches
            const float swept = n % 2000 < 300 ? f * (1.0f + 0.001f * (n % 300)) : f;
            if (n % 9000 == 0) {
                o.reset();
                r.phase = 0.0f;
            }
            ASSERT_EQ(bits(o.getSample(swept, 0.5f, 2)), bits(r.getSample(swept, 0.5f)))
                << "rate " << rate << " sample " << n;
        }
    }
}

// The corner polynomial takes its powers from products where that gives the same float: across
// the window, near its edges (where the terms cancel) and near its middle, bit for bit.
TEST(VcoReference, CornerPolynomialMatchesThePowerFunction)
{
    vco o;
    reference::Vco r;
    std::mt19937 rng(7);
    std::uniform_real_distribution<float> window(-1.0f, 1.0f);
    std::uniform_real_distribution<float> edge(0.99f, 1.0f);
    std::uniform_real_distribution<float> middle(-1.0e-3f, 1.0e-3f);
    for (int i = 0; i < 400000; ++i) {
        for (float x : {window(rng), edge(rng), -edge(rng), middle(rng)})
            ASSERT_EQ(bits(o.ftri(x)), bits(r.ftri(x))) << x;
    }
    for (float x : {0.0f, -0.0f, 1.0f, -1.0f, 1.0e-30f, std::nextafter(1.0f, 0.0f), 0.5f})
        EXPECT_EQ(bits(o.ftri(x)), bits(r.ftri(x))) << x;
}

TEST(FilterReference, LowpassHighpassAndFaderMatchAcrossSettings)
{
    lp l;
    hp h;
    Fader fd;
    reference::Lp rl;
    reference::Hp rh;
    reference::Fader rf;
    std::mt19937 rng(11);
    std::uniform_real_distribution<float> in(-1.5f, 1.5f);
    for (double rate : {22050.0, 48000.0, 192000.0}) {
        for (float tau : {0.0f, 0.000285f, 0.0062f}) {
            l.setSampleRate(rate);
            h.setSampleRate(rate);
            fd.setSampleRate(rate);
            rl.sampleRate = rh.sampleRate = rf.sampleRate = rate;
            l.setTau(tau);
            h.setTau(tau);
            fd.setTau(tau * 10.0);
            rl.tau = rh.tau = tau;
            rf.tau = tau * 10.0;
            fd.setStartValue(0.7);
            rf.value = 0.7;
            for (int n = 0; n < 5000; ++n) {
                const float x = in(rng);
                ASSERT_EQ(bits(l.getSample(x)), bits(rl.getSample(x)));
                ASSERT_EQ(bits(h.getSample(x)), bits(rh.getSample(x)));
                ASSERT_EQ(fd.getFaderValue(), rf.getFaderValue());
            }
        }
    }
}

TEST(Vco, OtherShapesGiveThePlainTriangle)
{
    vco o;
    o.setSamplingRate(44100.0);
    float hi = 0.0f;
    for (int i = 0; i < 4410; ++i)
        hi = std::max(hi, o.getSample(1000.0f, 0.5f, 0));
    EXPECT_GT(hi, 0.99f);  // the smoothed shape stays near 0.963 at this pitch
}

}  // namespace
