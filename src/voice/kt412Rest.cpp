// The bass drum voice at rest: the settled start, the test for a voice whose every further sample
// is the same, and bringing forward the parts left standing while it was.
#include "voice/kt412.h"
#include "util/RenderPath.h"

#include <algorithm>
#include <bit>
#include <cfloat>
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
// next hit) and the click input be bounded, so that the click VCA's transfer stays finite. A
// bridge at -0 passes the zero's sign on (see updateClickTurn): the voice then rests quietly,
// unless no noise the filters can give turns the click VCA, which makes every sample +0.
UTIL_RENDER_PATH kt412::Rest kt412::restHere() const
{
    // While a hit sounds the first test of shutAtRest already fails.
    if (!shutAtRest())
        return Rest::none;
    if (declick.isStill())
        return Rest::constant;
    if (!declick.staysAtNegativeZero() || !(sampleCount > oscStartLastCount))
        return Rest::none;
    return clickNeverTurns() ? Rest::constant : Rest::quiet;
}

UTIL_RENDER_PATH bool kt412::shutAtRest() const
{
    return ampEnv.atRest() && noiseEnv.atRest() && pitchEnv.atRest() && clickInputBounded
        && clickPlayer.isFinished()
        && static_cast<double>(ampEnv.restValue()) < 0.45 && static_cast<double>(noiseEnv.restValue()) < 1.86;
}

// With the bridge at -0, a sample at rest is float(m / 4 + -0), which is m itself, and m is the
// mix 0.3 * click + tone of two zeros whose signs are those of the VCAs' transfers: -0 only where
// both are negative. With the transient ended the click VCA's input is k(w) = attack^2 * w *
// 3.0409 / 100 (as mixSample rounds it), which never falls as the filtered noise w rises. Its
// transfer clickTransfer(k) = (-9275k * k - 523.7k) + 1.161 never rises with k >= 0 (each rounded
// step keeps the order of the exact one), so from w = 0 upwards it is negative exactly from the
// first float w at which it is: clickTurnUp. Below 0 the transfer is no longer monotonic in single
// precision, but for -0.05 <= k <= 0 the exact sum of its two terms is at least 0 and their
// rounding errors stay below 1e-5, so it is at least 1.16: clickTurnDown is the lowest w whose k is
// at least -0.05. Both are found by halving intervals of float bit patterns; near the thresholds
// every step is a normal float, so the flush modes do not move them. A w outside the interval (or
// not a number) is not proven to give +0 and is mixed in full.
void kt412::updateClickTurn() const
{
    if (std::bit_cast<uint32_t>(clickTurnAttack) == std::bit_cast<uint32_t>(attack))
        return;
    clickTurnAttack = attack;
    const auto turns = [this](uint32_t bits) { return clickTransfer(clickInput(0.0f, std::bit_cast<float>(bits))) < 0.0f; };
    uint32_t low = 0;  // +0: k = 0, transfer 1.161
    uint32_t high = std::bit_cast<uint32_t>(FLT_MAX);
    if (turns(high)) {
        while (high - low > 1) {
            const uint32_t mid = low + (high - low) / 2;
            (turns(mid) ? high : low) = mid;
        }
    }
    clickTurnUp = std::bit_cast<float>(high);
    const auto open = [this](uint32_t bits) { return clickInput(0.0f, std::bit_cast<float>(bits)) >= -0.05f; };
    low = std::bit_cast<uint32_t>(-0.0f);
    high = std::bit_cast<uint32_t>(-FLT_MAX);
    if (open(high)) {
        low = high;
    } else {
        while (high - low > 1) {
            const uint32_t mid = low + (high - low) / 2;
            (open(mid) ? low : high) = mid;
        }
    }
    clickTurnDown = std::bit_cast<float>(low);
}

// The noise scaled to 0..1.5 feeds the highpass y' = b0 (x' - x) + |a| y with b0 <= 1 and
// 0 <= |a| < 1: in exact arithmetic v = y - b0 x moves to |a| v - b0 (1 - |a|) x, so once
// -1.5 b0 <= v <= 0 it stays there and |y| <= 1.5. The lowpass
// y' = b (x' + x) + |a| y with 2b + |a| = 1 is an average, never beyond its inputs and states.
// Each float step adds at most about 6e-7 to that, and each filter forgets it by the factor |a|
// per sample: with 1 - |a| at least 1e-5 (rates up to about 16 MHz) the drift stays below 0.06 per
// filter. States within the margins below therefore keep every filtered sample within +-2.
bool kt412::clickNeverTurns() const
{
    constexpr float reach = 2.0f;
    const float hpFeedback = noiseHp.getFeedback();
    const float lpFeedback = noiseLp.getFeedback();
    if (!noiseHp.keepsOrder() || !noiseLp.keepsOrder() || !(hpFeedback > -0.99999f)
        || !(lpFeedback > -0.99999f) || !(noiseHp.getB0() <= 1.0f))
        return false;
    const double v = static_cast<double>(noiseHp.getStateY())
        - static_cast<double>(noiseHp.getB0()) * static_cast<double>(noiseHp.getStateX());
    const auto within = [](float s, float bound) { return std::fabs(s) <= bound; };
    if (!(v >= -1.6 && v <= 0.1) || !within(noiseHp.getStateX(), 1.5f) || !within(noiseLp.getStateX(), 1.7f)
        || !within(noiseLp.getStateY(), 1.7f))
        return false;
    updateClickTurn();
    return clickTurnDown <= -reach && clickTurnUp > reach;
}

void kt412::advanceOscillatorAtRest(int n)
{
    catchUpOscillator();
    const float f = static_cast<float>(static_cast<double>(pitchEnv.restValue()) * (14.0 * static_cast<double>(tuneDepth))
                                       + static_cast<double>(frequency));
    float window;
    const float dt = osc.stepFor(f, window);
    vco running = osc;
    float phase = running.getPhase();
    if (dt > 0.0f && dt < 1.0f && phase >= -1.0f && phase < 1.0f) {
        // A step between 0 and 1 from a phase in -1..1 lands in -1..2, so of the wrap's two tests
        // only the upper one can ever hold.
        for (int i = 0; i < n; ++i) {
            phase = dt + phase;
            if (phase >= 1.0f)
                phase -= 2.0f;
        }
        running.setPhase(phase);
    } else {
        for (int i = 0; i < n; ++i)
            running.advancePhase(dt);
    }
    running.setStep(f, dt, window);
    osc = running;
}

// The noise filters and the oscillator's phase side by side, as in render; every sample whose
// noise lies where the click VCA cannot turn is +0 (see updateClickTurn), the others are mixed as
// render would mix them.
void kt412::renderQuiet(float* out, int n)
{
    catchUpAll();
    updateClickTurn();
    float w[maxBlock], part[maxBlock], phase[maxBlock];
    noiseInput(w, n);
    highpassParts(noiseHp, w, part, n);
    const float lastInput = w[n - 1];
    hp::Chain highpass = noiseHp.startChain();
    lp::Chain lowpass = noiseLp.startChain();
    const float f = static_cast<float>(static_cast<double>(pitchEnv.restValue()) * (14.0 * static_cast<double>(tuneDepth))
                                       + static_cast<double>(frequency));
    float window;
    const float dt = osc.stepFor(f, window);
    vco running = osc;
    for (int i = 0; i < n; ++i) {
        w[i] = lowpass.run(highpass.run(part[i]));
        phase[i] = running.advancePhase(dt);
    }
    noiseHp.endChain(highpass, lastInput);
    noiseLp.endChain(lowpass);
    running.setStep(f, dt, window);
    osc = running;
    const float down = clickTurnDown;
    const float up = clickTurnUp;
    int turning = 0;
    for (int i = 0; i < n; ++i) {
        out[i] = 0.0f;
        turning |= !(w[i] >= down && w[i] < up);
    }
    if (turning) {
        const float a = ampEnv.restValue();
        const float e = noiseEnv.restValue();
        const double fade = declick.getValue();
        for (int i = 0; i < n; ++i) {
            if (!(w[i] >= down && w[i] < up))
                out[i] = mixSample(running.shapeAt(phase[i], dt, window, 0.5f) * 4.5f, a, e, w[i], 0.0f, fade);
        }
    }
    ampEnv.advanceCount(n);
    noiseEnv.advanceCount(n);
    pitchEnv.advanceCount(n);
    sampleCount = sampleCount > UINT32_MAX - static_cast<uint32_t>(n) ? UINT32_MAX : sampleCount + static_cast<uint32_t>(n);
    lastSample = out[n - 1];
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
