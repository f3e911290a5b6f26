// The voice's block entry against getSample and the reference, the flush-to-zero mode the
// instrument renders in, and frequencies beyond half the sample rate.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "util/ScopedFlushDenormals.h"
#include "voice/ReferenceVoice.h"
#include "voice/VoiceSetup.h"
#include "voice/kt412.h"

namespace {

uint32_t bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

// One random change, applied alike to every voice given: a sound setter, a MIDI setting or a hit.
struct Changes {
    std::mt19937 rng;
    explicit Changes(unsigned seed) : rng(seed) {}

    template <typename... Voices>
    void apply(Voices&... v)
    {
        std::uniform_real_distribution<float> unit(0.0f, 1.0f);
        const float a = unit(rng);
        const int note = static_cast<int>(rng() % 70) + 20;
        const double velocity = static_cast<float>(rng() % 128) / 128.0;
        switch (rng() % 12) {
        case 0: (v.setTune(a * 24 - 12), ...); break;
        case 1: (v.setAccent(a), ...); break;
        case 2: (v.setDecay(2 * a), ...); break;
        case 3: (v.setTuneDecay(2 * a), ...); break;
        case 4: (v.setAttack(a), ...); break;
        case 5: (v.setHold(2 * a), ...); break;
        case 6: (v.setTuneDepth(2 * a), ...); break;
        case 7: (v.setNoiseDecay(a), ...); break;
        case 8: (v.setDistortion(a), ...); break;
        case 9:
            (v.setMidiTuneFlag(a < 0.5f ? 1 : 0), ...);
            (v.setMidiAccentFlag(a < 0.3f ? 1 : 0), ...);
            break;
        default:
            (v.setMidiNote(note), ...);
            (v.setMidiVelocity(velocity), ...);
            (v.restart(), ...);
            break;
        }
    }
};

// process(out, n) against n getSample calls and the reference: runs of every length from 1 to
// past the longest internal block, setters and hits between the runs, both entries mixed on one
// voice, and the count and last sample the getters report.
void compareRuns(double rate, unsigned seed, long total, bool avx2 = true)
{
    kt412 blocks, single;
    blocks.allowAvx2(avx2);
    single.allowAvx2(avx2);
    reference::Voice ref;
    for (auto* v : {&blocks, &single}) {
        v->setSamplingRate(rate);
        applyDefaultSound(*v);
    }
    ref.setSamplingRate(rate);
    applyDefaultSound(ref);
    Changes changes(seed);
    std::mt19937 rng(seed + 1);
    std::vector<float> out(300);
    long done = 0;
    int run = 0;
    while (done < total) {
        // Lengths 1..200 in turn, and now and then a long one.
        int n = run % 200 + 1;
        if (run % 37 == 0)
            n = 1000 + static_cast<int>(rng() % 3000);
        ++run;
        if (static_cast<int>(out.size()) < n)
            out.resize(static_cast<size_t>(n));
        // Now and then the block voice takes a few samples through getSample first, so that
        // process starts inside a block rendered ahead.
        const int lead = run % 5 == 0 ? std::min(n, static_cast<int>(rng() % 40)) : 0;
        for (int i = 0; i < lead; ++i)
            out[static_cast<size_t>(i)] = blocks.getSample();
        blocks.process(out.data() + lead, n - lead);
        for (int i = 0; i < n; ++i) {
            const float s = single.getSample();
            const float r = ref.getSample();
            ASSERT_EQ(bits(s), bits(r)) << "rate " << rate << " sample " << done + i;
            ASSERT_EQ(bits(out[static_cast<size_t>(i)]), bits(r))
                << "rate " << rate << " run of " << n << " sample " << done + i;
        }
        done += n;
        ASSERT_EQ(blocks.getSampleCount(), ref.sampleCount);
        ASSERT_EQ(blocks.getLastSample(), ref.lastSample);
        if (rng() % 3 == 0)
            changes.apply(blocks, single, ref);
    }
}

TEST(Kt412Process, RunsOfAnyLengthMatchGetSampleAndTheReference)
{
    compareRuns(48000.0, 5, 48000L * 6);
    compareRuns(44100.0, 6, 44100L * 3);
}

TEST(Kt412Process, RunsMatchUnderFlushToZeroToo)
{
    ScopedFlushDenormals flush;
    compareRuns(48000.0, 7, 48000L * 6);
    compareRuns(22050.0, 8, 22050L * 4);
}

// The SSE2 and scalar forms of the stages, which processors without AVX2 take.
TEST(Kt412Process, RunsMatchWithoutAvx2)
{
    compareRuns(48000.0, 9, 48000L * 4, false);
    ScopedFlushDenormals flush;
    compareRuns(96000.0, 10, 96000L * 2, false);
}

TEST(Kt412Process, AnEmptyRunChangesNothing)
{
    kt412 a, b;
    for (auto* v : {&a, &b}) {
        v->setSamplingRate(48000.0);
        applyDefaultSound(*v);
        v->restart();
    }
    float none = 0.0f;
    a.process(&none, 0);
    a.process(&none, -3);
    for (int i = 0; i < 2000; ++i)
        ASSERT_EQ(bits(a.getSample()), bits(b.getSample())) << i;
}

// The tail of a hit under the instrument's flush modes: the envelopes and the fader reach zero
// instead of creeping through subnormals, the same way in the voice and in the reference. A hit
// that cuts a negative sample leaves the fader at -0 in the end, where the sign of a shut tone's
// zero (and so the click path's) reaches the output.
TEST(Kt412Process, LongTailUnderFlushToZeroMatchesTheReference)
{
    ScopedFlushDenormals flush;
    for (bool cutNegative : {false, true}) {
        for (float accent : {0.0f, 0.03f, 0.5f}) {
            kt412 voice;
            reference::Voice ref;
            voice.setSamplingRate(8000.0);
            ref.setSamplingRate(8000.0);
            applyDefaultSound(voice);
            applyDefaultSound(ref);
            if (cutNegative) {
                voice.restart();
                ref.restart();
                float last = 0.0f;
                for (int i = 0; i < 4000 && !(last < -0.01f); ++i) {
                    last = voice.getSample();
                    ASSERT_EQ(bits(last), bits(ref.getSample()));
                }
                ASSERT_LT(last, -0.01f);
            }
            voice.setAccent(accent);
            ref.setAccent(accent);
            voice.restart();
            ref.restart();
            std::vector<float> out(512);
            long negativeZeros = 0;
            for (long n = 0; n < 8000L * 90; n += 512) {
                voice.process(out.data(), 512);
                for (int i = 0; i < 512; ++i) {
                    const float y = out[static_cast<size_t>(i)];
                    ASSERT_EQ(bits(y), bits(ref.getSample()))
                        << "accent " << accent << " cut " << cutNegative << " sample " << n + i;
                    negativeZeros += bits(y) == 0x80000000u;
                }
            }
            // The fader's double has long reached zero: silence is exact zeros, of either sign
            // once the fader has ended at -0.
            EXPECT_EQ(std::fabs(out.back()), 0.0f);
            if (cutNegative && accent < 0.1f) {
                EXPECT_GT(negativeZeros, 0) << accent;
            }
        }
    }
}

// Every oscillator frequency at or over half the sample rate plays as the highest one below it,
// so the step never passes the one-step wrap; below it the oscillator is the reference's.
TEST(Kt412Nyquist, FrequenciesOverHalfTheRateAreHeldJustBelowIt)
{
    vco o;
    o.setSamplingRate(8000.0);
    const float limit = o.getMaxFrequency();
    EXPECT_LT(static_cast<double>(limit), 4000.0);
    EXPECT_GE(static_cast<double>(std::nextafter(limit, 1e9f)), 4000.0);
    for (float f : {4000.0f, 5000.0f, 8000.0f, 25088.0f, 1.0e9f, -9000.0f}) {
        vco held;
        reference::Vco atLimit, free;
        held.setSamplingRate(8000.0);
        atLimit.samplingRate = free.samplingRate = 8000.0;
        const float clamped = f < 0 ? -limit : limit;
        float freeMax = 0.0f;
        for (int n = 0; n < 4000; ++n) {
            const float y = held.getSample(f, 0.5f, 2);
            ASSERT_EQ(bits(y), bits(atLimit.getSample(clamped, 0.5f))) << f << " sample " << n;
            ASSERT_LE(std::fabs(held.getPhase()), 1.0f) << f << " sample " << n;
            ASSERT_LT(std::fabs(y), 3.0f);
            freeMax = std::max(freeMax, std::fabs(free.getSample(f, 0.5f)));
        }
        if (std::fabs(f) > 8000.0f) {
            EXPECT_GT(freeMax, 100.0f) << f;  // without the limit the phase runs away
        }
    }
    // Just below the limit nothing changes.
    vco below;
    reference::Vco ref;
    below.setSamplingRate(8000.0);
    ref.samplingRate = 8000.0;
    for (int n = 0; n < 4000; ++n) {
        const float f = std::nextafter(limit, 0.0f) - static_cast<float>(n % 50);
        ASSERT_EQ(bits(below.getSample(f, 0.5f, 2)), bits(ref.getSample(f, 0.5f))) << n;
    }
}

// A high MIDI note at a low rate: with the limit, every note over half the rate sounds the same
// bounded tone (without it the phase runs away and pins the clipper at one end, and the
// reference even reads its curve out of bounds); notes below it stay identical to the reference,
// sweep included.
TEST(Kt412Nyquist, HighNotesAtLowRatesStayBoundedAndNormalNotesMatch)
{
    auto makeHit = [](kt412& v, int note) {
        v.setSamplingRate(8000.0);
        applyDefaultSound(v);
        v.setMidiTuneFlag(1);
        v.setTune(12.0f);
        v.setTuneDepth(2.0f);
        v.setMidiNote(note);
        v.setSampleCount(100);
        v.restart();
    };
    kt412 highest, high;
    makeHit(highest, 127);  // 25 kHz
    makeHit(high, 112);     // 10.5 kHz
    std::vector<float> a(8000), b(8000);
    highest.process(a.data(), 8000);
    high.process(b.data(), 8000);
    float lowest = 0.0f, highestValue = 0.0f;
    for (int i = 0; i < 8000; ++i) {
        ASSERT_EQ(bits(a[static_cast<size_t>(i)]), bits(b[static_cast<size_t>(i)])) << i;
        ASSERT_TRUE(std::isfinite(a[static_cast<size_t>(i)]));
        if (i < 800) {
            lowest = std::min(lowest, a[static_cast<size_t>(i)]);
            highestValue = std::max(highestValue, a[static_cast<size_t>(i)]);
        }
    }
    // A tone that swings both ways, not a clipper pinned at one end.
    EXPECT_LT(lowest, -0.01f);
    EXPECT_GT(highestValue, 0.01f);
    EXPECT_LT(highestValue - lowest, 2.0f);

    // Note 92 with the sweep stays below 4 kHz (1661 Hz + up to 414 Hz): bit for bit.
    kt412 normal;
    reference::Voice refNormal;
    normal.setSamplingRate(8000.0);
    refNormal.setSamplingRate(8000.0);
    for (auto* v : {&normal}) {
        applyDefaultSound(*v);
        v->setMidiTuneFlag(1);
        v->setTuneDepth(2.0f);
        v->setMidiNote(92);
        v->restart();
    }
    applyDefaultSound(refNormal);
    refNormal.setMidiTuneFlag(1);
    refNormal.setTuneDepth(2.0f);
    refNormal.setMidiNote(92);
    refNormal.restart();
    normal.process(a.data(), 8000);
    for (int i = 0; i < 8000; ++i)
        ASSERT_EQ(bits(a[static_cast<size_t>(i)]), bits(refNormal.getSample())) << i;
}

}  // namespace
