// The bass drum voice: setters, tuning, model stages, and the whole voice against its reference.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "util/ScopedFlushDenormals.h"
#include "voice/ReferenceVoice.h"
#include "voice/VoiceSetup.h"
#include "voice/kt412.h"

namespace {

std::unique_ptr<kt412> makeVoice(double rate)
{
    auto v = std::make_unique<kt412>();
    v->setSamplingRate(rate);
    applyDefaultSound(*v);
    return v;
}

uint32_t bits(float f)
{
    uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

TEST(Kt412Tuning, BaseNoteIs55HzAndTuneShiftsBySemitones)
{
    kt412 v;
    v.setSamplingRate(44100.0);
    v.restart();
    EXPECT_FLOAT_EQ(v.getFrequency(), 55.0f);
    v.setTune(12.0f);
    EXPECT_FLOAT_EQ(v.getFrequency(), 55.0f);  // only the next hit is retuned
    v.restart();
    EXPECT_FLOAT_EQ(v.getFrequency(), 110.0f);
    v.setTune(-12.0f);
    v.restart();
    EXPECT_FLOAT_EQ(v.getFrequency(), 27.5f);
}

TEST(Kt412Tuning, MidiNoteTakesOverWhenTheFlagIsSet)
{
    kt412 v;
    v.setMidiNote(45);
    v.restart();
    EXPECT_FLOAT_EQ(v.getFrequency(), 55.0f);  // flag 0: note ignored
    v.setMidiTuneFlag(1);
    v.restart();
    EXPECT_FLOAT_EQ(v.getFrequency(), 110.0f);
    v.setMidiNote(69);
    v.setTune(0.5f);
    v.restart();
    EXPECT_NEAR(v.getFrequency(), 440.0 * std::pow(2.0, 0.5 / 12.0), 1e-4);
    v.setMidiTuneFlag(2);  // any other flag leaves the frequency alone
    v.setMidiNote(33);
    v.restart();
    EXPECT_NEAR(v.getFrequency(), 452.893, 1e-3);
}

TEST(Kt412Setters, AccentSetsToneAndClickAmplitudes)
{
    kt412 v;
    v.setAccent(0.5f);
    EXPECT_FLOAT_EQ(static_cast<float>(v.getAmpEnv().getAmp()), 6.5243f);
    EXPECT_FLOAT_EQ(static_cast<float>(v.getNoiseEnv().getAmp()), 7.5f);
    v.setAccent(0.0f);
    EXPECT_FLOAT_EQ(static_cast<float>(v.getAmpEnv().getAmp()), -0.9757f);
    EXPECT_EQ(v.getNoiseEnv().getAmp(), 0.0);
}

TEST(Kt412Setters, EnvelopeTimesFollowTheCircuitValues)
{
    kt412 v;
    v.setDecay(1.0f);
    EXPECT_NEAR(v.getAmpEnv().getDecay(), 0.18051, 1e-7);
    v.setDecay(0.0f);
    EXPECT_NEAR(v.getAmpEnv().getDecay(), 0.01551, 1e-8);
    v.setDecay(2.0f);
    EXPECT_NEAR(v.getAmpEnv().getDecay(), 0.34551, 1e-7);
    v.setHold(1.0f);
    EXPECT_NEAR(v.getAmpEnv().getHold(), 0.105, 1e-7);
    v.setHold(2.0f);
    EXPECT_NEAR(v.getAmpEnv().getHold(), 0.205, 1e-7);
    v.setTuneDecay(1.0f);
    EXPECT_NEAR(v.getPitchEnv().getDecay(), 0.032208, 1e-8);
    v.setNoiseDecay(0.5f);
    EXPECT_NEAR(v.getNoiseEnv().getDecay(), 0.056133, 1e-7);
    v.setNoiseDecay(1.0f);
    EXPECT_NEAR(v.getNoiseEnv().getDecay(), 0.212058, 1e-7);
    // Stored as single precision, then held as double.
    EXPECT_EQ(v.getAmpEnv().getHold(), static_cast<double>(static_cast<float>(0.205)));
}

TEST(Kt412Setters, FixedEnvelopeSettingsFromInit)
{
    kt412 v;
    EXPECT_EQ(v.getAmpEnv().getAttack(), 0.000594f);
    EXPECT_EQ(v.getNoiseEnv().getAttack(), 0.000726f);
    EXPECT_EQ(v.getNoiseEnv().getHold(), static_cast<double>(0.002f));
    EXPECT_EQ(v.getNoiseEnv().getDecay(), static_cast<double>(0.02079f));
    EXPECT_EQ(v.getPitchEnv().getAttack(), 0.0010164f);
    EXPECT_EQ(v.getPitchEnv().getHold(), static_cast<double>(0.0023f));
    EXPECT_EQ(v.getPitchEnv().getAmp(), static_cast<double>(14.8f));
}

// Switching MIDI accent off returns to the stored accent, not to the last velocity.
TEST(Kt412Setters, MidiVelocityBecomesTheAccentAtTheNextHit)
{
    kt412 v;
    v.setAccent(0.5f);
    v.setMidiAccentFlag(1);
    v.setMidiVelocity(0.9921875);
    EXPECT_FLOAT_EQ(static_cast<float>(v.getNoiseEnv().getAmp()), 7.5f);  // not yet
    v.restart();
    EXPECT_FLOAT_EQ(static_cast<float>(v.getNoiseEnv().getAmp()), 0.9921875f * 15.0f);
    v.setMidiAccentFlag(0);
    v.restart();  // back to the stored accent
    EXPECT_FLOAT_EQ(static_cast<float>(v.getNoiseEnv().getAmp()), 7.5f);
}

TEST(Kt412Stages, ClipperReturnsTheCentreEntryForZeroAndTheLastForFullDrive)
{
    kt412 v;
    for (float d : {0.0f, 0.5f, 1.0f})
        EXPECT_EQ(v.diodeClipper2(0.0f, d), kennlinie[500]);
    EXPECT_EQ(v.diodeClipper2(4.5f, 1.0f), kennlinie[1000]);
    EXPECT_FLOAT_EQ(v.diodeClipper2(4.5f, 1.0f), 0.56053227f);
    EXPECT_EQ(v.diodeClipper2(-4.5f, 1.0f), kennlinie[0]);
}

TEST(Kt412Stages, ClipperInterpolatesBetweenEntries)
{
    kt412 v;
    const float x = 8.991f;  // position 999.5
    const float pos = static_cast<float>((static_cast<double>(x) + 9.0) * 1000.0 / 18.0);
    ASSERT_NEAR(pos, 999.5f, 1e-3f);
    const float half = 0.5f * (kennlinie[999] + kennlinie[1000]);
    EXPECT_NEAR(v.diodeClipper2(x, 0.0f), half, 2e-7f);
    // Entry 520 lies at input 0.36; drive 1 doubles the input.
    EXPECT_NEAR(v.diodeClipper2(0.18f, 1.0f), kennlinie[520], 1e-6f);
    float prev = -1.0f;
    for (int i = -4500; i <= 4500; ++i) {
        const float y = v.diodeClipper2(i * 0.001f, 1.0f);
        ASSERT_GE(y, prev) << i;
        prev = y;
    }
}

TEST(Kt412Stages, ClipperHoldsInputsBeyondItsCurveAtTheEnds)
{
    kt412 v;
    EXPECT_EQ(v.diodeClipper2(100.0f, 0.0f), kennlinie[1000]);
    EXPECT_EQ(v.diodeClipper2(-100.0f, 3.0f), kennlinie[0]);
    EXPECT_EQ(v.diodeClipper2(std::nanf(""), 0.0f), kennlinie[0]);
}

TEST(Kt412Stages, VcasStayShutBelowTheirThresholds)
{
    kt412 v;
    EXPECT_EQ(v.vca1besser(0.3f, 0.449f), 0.0f);
    EXPECT_EQ(v.vca1besser(0.3f, -0.9757f), 0.0f);
    EXPECT_EQ(v.vca2besser(1.859f, 0.01f), 0.0f);
    // Open: g = (env - threshold) / 470000 times the stage's constant term.
    EXPECT_NEAR(v.vca1besser(0.0f, 1.0f), 0.55 / 470000.0 * 0.4633 / 0.000027, 1e-6);
    EXPECT_NEAR(v.vca2besser(3.86f, 0.0f), 2.0 / 470000.0 * 1.161 / 0.000024, 1e-5);
    // The transfer is quadratic in x: -2.251 x^2 - 9.76 x + 0.4633.
    EXPECT_NEAR(v.vca1besser(0.5f, 1.0f), 0.55 / 470000.0 * (-2.251 * 0.25 - 4.88 + 0.4633) / 0.000027, 1e-5);
}

TEST(Kt412Voice, SilentBeforeTheFirstHit)
{
    auto v = makeVoice(48000.0);
    for (int i = 0; i < 48000; ++i)
        ASSERT_EQ(v->getSample(), 0.0f) << i;
}

TEST(Kt412Voice, ZeroAccentHitIsSilentApartFromTheFader)
{
    auto v = makeVoice(48000.0);
    v->setAccent(0.0f);
    v->restart();
    for (int i = 0; i < 48000; ++i)
        ASSERT_EQ(v->getSample(), 0.0f) << i;
}

TEST(Kt412Voice, DefaultHitIsAudibleAndDecays)
{
    auto v = makeVoice(48000.0);
    v->restart();
    double early = 0.0, late = 0.0;
    for (int i = 0; i < 48000; ++i) {
        const double s = v->getSample();
        ASSERT_TRUE(std::isfinite(s));
        if (i < 4800)
            early = std::max(early, std::fabs(s));
        else if (i > 43200)
            late = std::max(late, std::fabs(s));
    }
    EXPECT_GT(early, 0.05);
    EXPECT_LT(late, early / 10.0);
}

// A hit after `idle` samples of a voice given `rate` (after `firstRate`, when that is not 0),
// `length` samples long.
std::vector<float> hitAfter(double rate, long idle, int length, double firstRate = 0.0)
{
    auto v = makeVoice(firstRate > 0.0 ? firstRate : rate);
    v->setSamplingRate(rate);
    for (long i = 0; i < idle; ++i)
        v->getSample();
    v->restart();
    std::vector<float> out(static_cast<size_t>(length));
    v->process(out.data(), length);
    return out;
}

double largestDifference(const std::vector<float>& a, const std::vector<float>& b)
{
    double largest = 0.0;
    for (size_t i = 0; i < a.size(); ++i)
        largest = std::max(largest, std::fabs(static_cast<double>(a[i]) - b[i]));
    return largest;
}

double peak(const std::vector<float>& a)
{
    double largest = 0.0;
    for (float s : a)
        largest = std::max(largest, std::fabs(static_cast<double>(s)));
    return largest;
}

// The first hit of a song lands in the voice's first milliseconds; it must sound like every later
// hit, which differ among themselves only through the noise. A voice given a first rate and then
// the host's rate before rendering starts exactly as one given the host's rate at once.
TEST(Kt412Voice, FirstHitSoundsLikeEveryLaterHit)
{
    for (double rate : {44100.0, 48000.0, 96000.0}) {
        const int length = static_cast<int>(rate * 0.3);
        const auto first = hitAfter(rate, 0, length);
        const auto later = hitAfter(rate, static_cast<long>(rate / 2), length);
        const auto latest = hitAfter(rate, static_cast<long>(rate), length);
        const double spread = largestDifference(later, latest);
        EXPECT_LT(spread, 0.1) << rate;
        EXPECT_LE(largestDifference(first, later), 2.0 * spread) << rate;
        EXPECT_NEAR(20.0 * std::log10(peak(first) / peak(later)), 0.0, 0.2) << rate;
        EXPECT_EQ(hitAfter(rate, 0, length, 44100.0), first) << rate;
    }
}

// Settling changes only where the voice starts: once a voice started the old way has come to
// rest (the envelopes at 0 under flush-to-zero), its hits are the settled voice's, bit for bit.
TEST(Kt412Voice, SettledStartChangesNothingOnceAnUnsettledVoiceHasComeToRest)
{
    ScopedFlushDenormals flush;
    const double rate = 8000.0;
    auto voice = makeVoice(rate);
    reference::Voice unsettled;
    unsettled.fresh = false;  // starts from the presets, as voices did before settling
    unsettled.setSamplingRate(rate);
    applyDefaultSound(unsettled);
    const long idle = static_cast<long>(rate * 20);
    for (long i = 0; i < idle; ++i) {
        voice->getSample();
        unsettled.getSample();
    }
    voice->restart();
    unsettled.restart();
    for (int i = 0; i < 8000; ++i)
        ASSERT_EQ(bits(voice->getSample()), bits(unsettled.getSample())) << i;
}

TEST(Kt412Voice, TwoRestartsInARowActAsOne)
{
    auto once = makeVoice(48000.0), twice = makeVoice(48000.0);
    for (int i = 0; i < 1000; ++i) {
        once->getSample();
        twice->getSample();
    }
    once->restart();
    twice->restart();
    for (int i = 0; i < 3000; ++i)
        ASSERT_EQ(once->getSample(), twice->getSample());
    once->restart();
    twice->restart();
    twice->restart();
    for (int i = 0; i < 20000; ++i)
        ASSERT_EQ(bits(once->getSample()), bits(twice->getSample())) << i;
}

TEST(Kt412Voice, RetriggerIsBridgedByTheFader)
{
    auto v = makeVoice(48000.0);
    v->restart();
    float last = 0.0f;
    for (int i = 0; i < 700; ++i)
        last = v->getSample();
    ASSERT_GT(std::fabs(last), 0.01f);
    v->restart();
    const float next = v->getSample();
    // Without the bridge the output would restart near 0 after a large value.
    EXPECT_LT(std::fabs(next - last), 0.5f * std::fabs(last));
}

TEST(Kt412Voice, SampleCountSaturatesSoTheToneIsNeverMutedAgain)
{
    auto old = makeVoice(48000.0), young = makeVoice(48000.0);
    old->setSampleCount(UINT32_MAX - 10);
    young->setSampleCount(1000000);
    old->restart();
    young->restart();
    for (int i = 0; i < 5000; ++i)
        ASSERT_EQ(bits(old->getSample()), bits(young->getSample())) << i;
    EXPECT_EQ(old->getSampleCount(), UINT32_MAX);
}

// Renders the optimised voice and the reference side by side: long, with parameter changes at
// odd moments, re-triggers in the middle of hits, MIDI tuning and accent, and a rate change.
TEST(Kt412Reference, EverySampleMatchesTheStraightforwardModel)
{
    kt412 voice;
    reference::Voice ref;
    std::mt19937 rng(412);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    const double rates[] = {44100.0, 48000.0, 96000.0, 22050.0, 192000.0};
    long compared = 0;
    for (double rate : rates) {
        voice.setSamplingRate(rate);
        ref.setSamplingRate(rate);
        applyDefaultSound(voice);
        applyDefaultSound(ref);
        const int length = static_cast<int>(rate * 3.0);
        for (int n = 0; n < length; ++n) {
            if (rng() % 2000 == 0) {
                const float a = unit(rng), b = unit(rng);
                switch (rng() % 11) {
                case 0: voice.setTune(a * 24 - 12); ref.setTune(a * 24 - 12); break;
                case 1: voice.setAccent(a); ref.setAccent(a); break;
                case 2: voice.setDecay(2 * a); ref.setDecay(2 * a); break;
                case 3: voice.setTuneDecay(2 * a); ref.setTuneDecay(2 * a); break;
                case 4: voice.setAttack(a); ref.setAttack(a); break;
                case 5: voice.setHold(2 * a); ref.setHold(2 * a); break;
                case 6: voice.setTuneDepth(2 * a); ref.setTuneDepth(2 * a); break;
                case 7: voice.setNoiseDecay(a); ref.setNoiseDecay(a); break;
                case 8: voice.setDistortion(a); ref.setDistortion(a); break;
                case 9: {
                    const int flag = b < 0.5f ? 0 : 1;
                    voice.setMidiTuneFlag(flag);
                    ref.setMidiTuneFlag(flag);
                    voice.setMidiAccentFlag(1 - flag);
                    ref.setMidiAccentFlag(1 - flag);
                    break;
                }
                default: break;
                }
            }
            if (rng() % 9000 == 0) {
                const int note = static_cast<int>(rng() % 60) + 20;
                const double velocity = static_cast<float>(rng() % 128) / 128.0;
                voice.setMidiNote(note);
                ref.setMidiNote(note);
                voice.setMidiVelocity(velocity);
                ref.setMidiVelocity(velocity);
                voice.restart();
                ref.restart();
            }
            const float a = voice.getSample(), b = ref.getSample();
            ASSERT_EQ(bits(a), bits(b)) << "rate " << rate << " sample " << n << ": " << a << " vs " << b;
            ++compared;
        }
    }
    EXPECT_GT(compared, 1000000);
}

// The voice and the reference with the same setter calls, compared sample for sample.
void compareWithReference(double rate, long samples, float accent, float attack)
{
    kt412 voice;
    reference::Voice ref;
    voice.setSamplingRate(rate);
    ref.setSamplingRate(rate);
    applyDefaultSound(voice);
    applyDefaultSound(ref);
    voice.setAccent(accent);
    ref.setAccent(accent);
    voice.setAttack(attack);
    ref.setAttack(attack);
    voice.restart();
    ref.restart();
    for (long n = 0; n < samples; ++n) {
        const float a = voice.getSample(), b = ref.getSample();
        ASSERT_EQ(bits(a), bits(b)) << "accent " << accent << " attack " << attack << " sample " << n;
    }
}

// The click mix is left out while its VCA is shut; the sign of the zero it would add matters once
// the tone is shut too and the de-click fader has decayed to zero, more than a minute after a hit.
TEST(Kt412Reference, LongSilenceAfterAHitMatchesToTheLastBit)
{
    compareWithReference(8000.0, 8000L * 90, 0.0f, 0.5f);   // tone shut from the start
    compareWithReference(8000.0, 8000L * 90, 0.03f, 0.5f);  // both VCAs shut, fader at zero
    compareWithReference(8000.0, 8000L * 90, 0.5f, 0.5f);
}

// Attacks far outside the knob's range overflow the click VCA's transfer (infinite or not a
// number); the voice then forms the click mix in full, as the reference does.
TEST(Kt412Reference, ExtremeAttacksMatchTheReference)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (float attack : {1.0e5f, 3.0e6f, 1.0e12f, 1.0e20f, inf, -inf, std::nanf("")})
        compareWithReference(44100.0, 20000, 0.5f, attack);
}

// Samples are rendered a block ahead; a setter, restart or count change between any two samples
// must act from the very next sample, whatever the position in the block. The gaps between the
// calls run through every length up to beyond the longest block, so that blocks are cut at every
// position and grow back in between.
TEST(Kt412Reference, ChangesBetweenAnyTwoSamplesActFromTheNextSample)
{
    kt412 voice;
    reference::Voice ref;
    voice.setSamplingRate(44100.0);
    ref.setSamplingRate(44100.0);
    applyDefaultSound(voice);
    applyDefaultSound(ref);
    std::mt19937 rng(33);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    int gap = 1, next = 1, action = 0;
    for (int n = 0; n < 60000; ++n) {
        if (n == next) {
            const float a = unit(rng);
            switch (action++ % 8) {
            case 0: voice.restart(); ref.restart(); break;
            case 1: voice.setDistortion(a); ref.setDistortion(a); break;
            case 2: voice.setAccent(a); ref.setAccent(a); break;
            case 3: voice.setTuneDepth(2 * a); ref.setTuneDepth(2 * a); break;
            case 4: voice.setAttack(a); ref.setAttack(a); break;
            case 5: voice.setDecay(2 * a); ref.setDecay(2 * a); break;
            case 6: voice.setNoiseDecay(a); ref.setNoiseDecay(a); break;
            default: {
                const uint32_t count = voice.getSampleCount() + 7;
                voice.setSampleCount(count);
                ref.sampleCount = count;
                break;
            }
            }
            gap = gap % 70 + 1;
            next = n + gap;
        }
        const float out = voice.getSample(), expected = ref.getSample();
        ASSERT_EQ(bits(out), bits(expected)) << "sample " << n;
        ASSERT_EQ(voice.getSampleCount(), ref.sampleCount) << "sample " << n;
        ASSERT_EQ(voice.getLastSample(), ref.lastSample) << "sample " << n;
    }
}

}  // namespace
