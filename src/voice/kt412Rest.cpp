// The bass drum voice at rest: the settled start, the test for a voice whose every further sample
// is the same, and bringing forward the parts left standing while it was.
#include "voice/kt412.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>

namespace {

// The noise scaled to 0..1.5, as the circuit's noise source feeds its highpass.
inline float scaledNoise(float v)
{
    const float w = static_cast<float>(static_cast<double>(v) * 7.5 + 7.5);
    return static_cast<float>(static_cast<double>(w) * 0.1);
}

// The filters' states stay within +-1.5 plus rounding (the highpass of an input in 0..1.5 stays
// within +-1.5, the lowpass averages it); starting the two bounding runs at +-4 leaves room.
constexpr float noiseBound = 4.0f;

}  // namespace

// The circuit's resting state, as a voice reaches it a few tens of milliseconds after it was
// switched on: without it the first hit of a song (in the first ~5 ms of the voice's life) would
// come out several dB louder and with another waveform than every later one, because the
// oscillator is still muted for the supply's first 2 ms, the noise highpass still swings from its
// preset states and the envelopes take their first small step. The settled voice has the
// envelopes at 0 in their fall, the transient player past its end, the noise filters run over the
// stretch of noise that precedes the generator's start (the sequence runs backwards as well as
// forwards, so the generator itself still starts where it always does) and the count of samples
// past the mute. From there on every sample is what a voice left idle that long would give.
void kt412::settle()
{
    ampEnv.rest();
    noiseEnv.rest();
    pitchEnv.rest();
    clickPlayer.setSampleCount(clickRestCount);
    clickPlayer.getSample();  // finds the end: the player stays silent until restarted

    noiseHp.setStateX(1.2383f);
    noiseHp.setStateY(0.5041f);
    noiseLp.setStateX(0.0f);
    noiseLp.setStateY(0.0f);
    // 0.2 s is 32 time constants of the highpass, after which its presets no longer show in a
    // single bit of its output; rates that are not positive numbers get no settling run.
    const double length = std::ceil(0.2 * samplingRate);
    const uint32_t n = length > 0.0 ? static_cast<uint32_t>(std::min(length, double{maxSettle})) : 0u;
    noise history;
    history.rewind(n);
    for (uint32_t i = 0; i < n; ++i) {
        noiseLp.getSample(noiseHp.getSample(scaledNoise(history.getSample())));
    }
    sampleCount = n;
}

// At rest the envelopes give zeros (or, without flush-to-zero, the smallest subnormals times their
// amplitudes), so both VCAs are shut and pass a zero whose sign follows the
// oscillator and the noise; the de-click bridge, standing still and not at -0, then turns every
// such zero into the same sample. The transient player must have ended (it is restarted by the
// next hit) and the click input be bounded, so that the click VCA's transfer stays finite.
bool kt412::atRest() const
{
    return ampEnv.atRest() && noiseEnv.atRest() && pitchEnv.atRest() && declick.isStill()
        && clickInputBounded && clickPlayer.isFinished()
        && static_cast<double>(ampEnv.restValue()) < 0.45 && static_cast<double>(noiseEnv.restValue()) < 1.86;
}

// The oscillator's phase over the samples at rest: the pitch envelope gave the same value
// throughout, so every step was the same, and the phase moved wherever the count was past the
// start-up mute. There is no shortcut for a running phase; a hit restarts it instead, which is why
// restart drops the lag, and only a change of rate, count or (for a pitch level that is not 0, or
// a depth that is not finite) depth comes here.
void kt412::bringOscillatorForward()
{
    const uint64_t n = oscBehind;
    oscBehind = 0;
    uint64_t muted = n;
    if (oscStartLastCount < static_cast<int64_t>(UINT32_MAX)) {
        const int64_t left = oscStartLastCount + 1 - static_cast<int64_t>(oscBehindFrom);
        muted = left <= 0 ? 0 : std::min<uint64_t>(n, static_cast<uint64_t>(left));
    }
    if (muted == n)
        return;
    const float p = pitchEnv.restValue();
    const float f = static_cast<float>(static_cast<double>(p) * (14.0 * static_cast<double>(tuneDepth))
                                       + static_cast<double>(frequency));
    float window;
    const float dt = osc.stepFor(f, window);
    vco running = osc;
    for (uint64_t i = muted; i < n; ++i)
        running.advancePhase(dt);
    running.setStep(f, dt, window);
    osc = running;
}

// The noise source jumps ahead at once. Its filters carry their states from sample to sample, so
// they cannot jump, but they forget where they started: each is a contraction, the same input
// drawing any two states together. Both filters' outputs never fall when a state rises (with their
// coefficients at every usual rate), and rounding keeps that order, so runs started from the
// lowest and the highest states the filters can hold enclose every run between them; once the two
// meet, bit for bit, every run from any state in between is that same one. A lag longer than such
// a meeting takes is therefore replayed only over its last stretch, from those two bounds. Should
// the filters not keep order, or the bounds not meet even over half the lag, the whole lag is
// replayed.
void kt412::bringNoiseForward()
{
    const uint64_t n = noiseBehind;
    noiseBehind = 0;
    // The runs met after 0.11 to 0.15 s of noise in trials at 44.1 to 192 kHz (exact arithmetic,
    // the same on every processor); a stretch of 0.25 s is tried first, then ones twice as long.
    const double meeting = std::ceil(0.25 * samplingRate);
    uint64_t span = meeting >= 1.0 && meeting < 1.0e9 ? static_cast<uint64_t>(meeting) : n;
    for (; n > 2 * span; span *= 2) {
        if (noiseFromAnyState(n - span, span))
            return;
    }
    noise source = noiseSource;
    hp highpass = noiseHp;
    lp lowpass = noiseLp;
    for (uint64_t i = 0; i < n; ++i)
        lowpass.getSample(highpass.getSample(scaledNoise(source.getSample())));
    noiseSource = source;
    noiseHp = highpass;
    noiseLp = lowpass;
}

bool kt412::noiseFromAnyState(uint64_t skip, uint64_t span)
{
    const auto inBounds = [](float s) { return std::fabs(s) <= noiseBound / 2.0f; };
    if (!noiseHp.keepsOrder() || !noiseLp.keepsOrder() || !inBounds(noiseHp.getStateY())
        || !inBounds(noiseLp.getStateX()) || !inBounds(noiseLp.getStateY()))
        return false;
    noise source = noiseSource;
    source.skip(skip);
    // The highpass's previous input is the value of the state the generator stands in.
    noise previous = source;
    previous.rewind(1);
    const float lastInput = scaledNoise(previous.getSample());
    hp lowHp = noiseHp, highHp = noiseHp;
    lp lowLp = noiseLp, highLp = noiseLp;
    lowHp.setStateX(lastInput);
    highHp.setStateX(lastInput);
    lowHp.setStateY(-noiseBound);
    highHp.setStateY(noiseBound);
    lowLp.setStateX(-noiseBound);
    highLp.setStateX(noiseBound);
    lowLp.setStateY(-noiseBound);
    highLp.setStateY(noiseBound);
    const auto same = [](float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); };
    uint64_t i = 0;
    // Both runs until they meet (checked every 64 samples), then one.
    for (; i < span; i += 64) {
        const uint64_t end = std::min(span, i + 64);
        for (uint64_t k = i; k < end; ++k) {
            const float w = scaledNoise(source.getSample());
            lowLp.getSample(lowHp.getSample(w));
            highLp.getSample(highHp.getSample(w));
        }
        if (same(lowHp.getStateY(), highHp.getStateY()) && same(lowLp.getStateX(), highLp.getStateX())
            && same(lowLp.getStateY(), highLp.getStateY())) {
            i = end;
            break;
        }
    }
    // A zero met from both sides may still differ in its sign in the runs between.
    if (!same(lowHp.getStateY(), highHp.getStateY()) || !same(lowLp.getStateX(), highLp.getStateX())
        || !same(lowLp.getStateY(), highLp.getStateY()) || lowHp.getStateY() == 0.0f
        || lowLp.getStateX() == 0.0f || lowLp.getStateY() == 0.0f)
        return false;
    for (; i < span; ++i)
        lowLp.getSample(lowHp.getSample(scaledNoise(source.getSample())));
    noiseSource = source;
    noiseHp = lowHp;
    noiseLp = lowLp;
    return true;
}
