// The voice at rest: samples written without computing them are the ones computing every sample
// gives, through long silences, hits after them and setting changes during them.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
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

// The voice and the reference side by side, the voice in blocks of 512 with now and then a few
// samples through getSample (so that rest is also reached inside a block rendered ahead).
struct Pair {
    kt412 voice;
    reference::Voice ref;
    long position = 0;
    int restingBlocks = 0;
    int quietBlocks = 0;
    long negativeZeros = 0;

    explicit Pair(double rate)
    {
        voice.setSamplingRate(rate);
        ref.setSamplingRate(rate);
        applyDefaultSound(voice);
        applyDefaultSound(ref);
    }
    template <typename F>
    void both(F change)
    {
        change(voice);
        change(ref);
    }
    void render(double seconds)
    {
        const long n = static_cast<long>(seconds * voice.getSamplingRate());
        std::vector<float> out(512);
        for (long done = 0; done < n; done += 512) {
            restingBlocks += voice.isResting();
            quietBlocks += voice.isRestingQuietly();
            const int lead = done % 3584 == 0 ? 7 : 0;
            for (int i = 0; i < lead; ++i)
                out[static_cast<size_t>(i)] = voice.getSample();
            voice.process(out.data() + lead, 512 - lead);
            for (int i = 0; i < 512; ++i) {
                ASSERT_EQ(bits(out[static_cast<size_t>(i)]), bits(ref.getSample())) << "sample " << position + i;
                negativeZeros += bits(out[static_cast<size_t>(i)]) == 0x80000000u;
            }
            position += 512;
        }
    }
    // A hit cut by another right after a clearly negative sample: the de-click bridge starts there
    // and, under flush-to-zero, ends at -0.
    void hitCuttingNegative()
    {
        both([](auto& v) { v.restart(); });
        float last = 0.0f;
        for (int i = 0; i < 4000 && !(last < -0.01f); ++i) {
            last = voice.getSample();
            ASSERT_EQ(bits(last), bits(ref.getSample()));
            ++position;
        }
        ASSERT_LT(last, -0.01f);
        both([](auto& v) { v.restart(); });
    }
};

TEST(Kt412Rest, NeverHitVoiceRestsFromItsFirstSampleAndItsFirstHitMatches)
{
    for (double rate : {8000.0, 48000.0}) {
        Pair p(rate);
        EXPECT_TRUE(p.voice.isResting());
        p.render(1.5);  // long enough that only the last stretch of the noise is replayed
        EXPECT_EQ(p.restingBlocks, static_cast<int>(1.5 * rate / 512) + 1);
        p.both([](auto& v) { v.restart(); });
        p.render(0.5);
        EXPECT_FALSE(p.voice.isResting());
    }
}

// A hit dies away under flush-to-zero until the voice rests; settings change during the rest (one
// of them, a hold longer than the time since the hit, starts a rise of its own, so that the
// oscillator is heard without a hit), the rate changes, and hits follow short and long rests.
// A hit that cut a negative sample leaves the de-click bridge at -0, which passes the sign of the
// shut VCAs' zeros on: with a weak attack no noise can turn the click VCA and every sample is +0;
// with a stronger one the output is +0 with a few -0 among it (many at full attack), and the voice
// rests quietly. Attack changes during the rest move it between the two.
TEST(Kt412Rest, HitsAndChangesAfterRestsMatchComputingEverySample)
{
    struct Case {
        const char* name;
        bool cutNegative;
        float attack;
        bool constant;  // rests on one constant; otherwise quietly
    };
    const Case cases[] = {
        {"after a positive sample", false, 0.5f, true},
        {"at -0, weak attack", true, 0.1f, true},
        {"at -0, default attack", true, 0.5f, false},
        {"at -0, full attack", true, 1.0f, false},
    };
    ScopedFlushDenormals flush;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Pair p(8000.0);
        p.both([&](auto& v) { v.setAttack(c.attack); });
        if (c.cutNegative)
            p.hitCuttingNegative();
        else
            p.both([](auto& v) { v.restart(); });
        p.render(80.0);
        ASSERT_EQ(p.voice.isResting(), c.constant);
        ASSERT_EQ(p.voice.isRestingQuietly(), !c.constant);
        const int restedBefore = p.restingBlocks + p.quietBlocks;
        EXPECT_GT(restedBefore, 100);
        if (c.attack == 1.0f) {
            EXPECT_GT(p.negativeZeros, 100);
        }
        const float other = c.attack < 0.3f ? 1.0f : 0.1f;
        const std::vector<std::function<void(kt412&, reference::Voice&)>> changes = {
            [](kt412& v, reference::Voice& r) { v.setAccent(0.9f); r.setAccent(0.9f); },
            [&](kt412& v, reference::Voice& r) { v.setAttack(other); r.setAttack(other); },
            [](kt412& v, reference::Voice& r) { v.setDecay(1.7f); r.setDecay(1.7f); },
            [&](kt412& v, reference::Voice& r) { v.setAttack(c.attack); r.setAttack(c.attack); },
            [](kt412& v, reference::Voice& r) { v.setDistortion(0.2f); r.setDistortion(0.2f); },
            [](kt412& v, reference::Voice& r) { v.setTuneDepth(1.5f); r.setTuneDepth(1.5f); },
            [](kt412& v, reference::Voice& r) { v.setSamplingRate(11025.0); r.setSamplingRate(11025.0); },
            [](kt412& v, reference::Voice& r) { v.setHold(10000.0f); r.setHold(10000.0f); },
            [](kt412& v, reference::Voice& r) { v.setHold(1.0f); r.setHold(1.0f); },
        };
        for (const auto& change : changes) {
            change(p.voice, p.ref);
            p.render(0.2);
        }
        EXPECT_GT(p.restingBlocks + p.quietBlocks, restedBefore + 4);
        for (double rest : {0.05, 3.0}) {
            p.render(rest);
            p.both([](auto& v) { v.restart(); });
            p.render(0.3);
        }
    }
}

}  // namespace
