// The bass drum voice: construction, fixed settings, setters, the start of a hit and the block
// render behind getSample and process.
#include "voice/kt412.h"
#include "util/RenderPath.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

kt412::kt412()
{
    init();
}

// Fixed settings; the times are those of the modelled circuit's RC stages.
void kt412::init()
{
    catchUp();
    catchUpAll();
    ampEnv.setAttack(0.000594f);

    noiseEnv.setAttack(0.000726f);
    noiseEnv.setHold(0.002f);
    noiseEnv.setDecay(0.02079f);

    pitchEnv.setAttack(0.0010164f);
    pitchEnv.setHold(0.0023f);
    pitchEnv.setAmp(14.8f);

    // The highpass starts from the circuit's resting state, so the first hit has no settling thump.
    noiseHp.setTau(0.0062f);
    noiseHp.setStateX(1.2383f);
    noiseHp.setStateY(0.5041f);

    noiseLp.setTau(0.000285f);
    noiseLp.setStateX(0.0f);
    noiseLp.setStateY(0.0f);

    clickPlayer.setSamplingRateOriginal(clickTableRate);
    clickPlayer.setSampleCount(0);

    declick.setTau(0.1);
}

void kt412::setSamplingRate(double fs)
{
    catchUp();
    catchUpAll();  // the samples at rest ran at the old rate
    samplingRate = fs;
    ampEnv.setSamplingRate(fs);
    noiseEnv.setSamplingRate(fs);
    pitchEnv.setSamplingRate(fs);
    noiseHp.setSampleRate(fs);
    noiseLp.setSampleRate(fs);
    clickPlayer.setSamplingRate(fs);
    osc.setSamplingRate(fs);
    declick.setSampleRate(fs);
    // n > h for a whole n exactly when n > floor(h); a rate that is not a number never starts
    // the oscillator (every comparison with it is false).
    const double start = 0.002 * samplingRate - 1.0;
    if (std::isnan(start) || start >= 4294967296.0)
        oscStartLastCount = INT64_MAX;
    else if (start < 0.0)
        oscStartLastCount = -1;
    else
        oscStartLastCount = static_cast<int64_t>(std::floor(start));
    if (fresh)
        settle();
}

void kt412::setTune(float semitones)
{
    tune = semitones;
}

// The tone VCA opens only above 0.45, so the amplitude is offset by 0.9757: accents below
// 0.9757 / 15 = 0.065047 leave the tone shut.
void kt412::setAccent(float x)
{
    catchUp();
    accent = x;
    applyAccent(x);
}

void kt412::applyAccent(float x)
{
    const float scaled = x * 15.0f;
    ampEnv.setAmp(static_cast<float>(static_cast<double>(scaled) - 0.9757));
    noiseEnv.setAmp(scaled);
}

// Decay pot (up to 1 megohm, half of it in circuit) in series with 47 kohm, on 330 nF.
void kt412::setDecay(float x)
{
    catchUp();
    decay = x;
    ampEnv.setDecay(static_cast<float>((0.5 * static_cast<double>(x) * 1000000.0 + 47000.0) * 3.3e-7));
}

// Tune-decay pot (100 kohm) in series with 22 kohm, on 330 nF, scaled by 0.8.
void kt412::setTuneDecay(float x)
{
    catchUp();
    tuneDecay = x;
    pitchEnv.setDecay(static_cast<float>(0.8 * (static_cast<double>(x) * 100000.0 + 22000.0) * 3.3e-7));
}

void kt412::setAttack(float x)
{
    catchUp();
    attack = x;
    // |c| <= 12.4 and |w| < 1e6 give |k| < 3.1e4 * attack^2; below 1e10 the quadratic of the
    // click VCA stays far inside the float range.
    clickInputBounded = attack * attack < 1.0e10f;
}

void kt412::setHold(float x)
{
    catchUp();
    hold = x;
    ampEnv.setHold(static_cast<float>(0.005 + static_cast<double>(x) * 0.1));
}

void kt412::setTuneDepth(float x)
{
    catchUp();
    // At rest with the pitch at +0, p * depth + base is base for every finite depth; otherwise
    // the oscillator's steps so far belong to the old depth.
    if (!std::isfinite(x) || pitchEnv.restValue() != 0.0f)
        catchUpOscillator();
    tuneDepth = x;
}

// Click decay: a fixed 4.158 ms plus a square-law pot (630 kohm on 33 nF, times 10).
void kt412::setNoiseDecay(float x)
{
    catchUp();
    noiseDecay = x;
    const float squared = x * x;
    noiseEnv.setDecay(static_cast<float>(
        0.004157999999999999 + static_cast<double>(squared) * 3.3e-8 * 630000.0 * 10.0));
}

void kt412::setDistortion(float x)
{
    catchUp();
    distortion = x;
    distortionDrive = static_cast<double>(x) + 1.0;
}

void kt412::restart()
{
    catchUp();
    oscBehind = 0;  // the phase starts afresh; the noise is brought forward when next rendered
    clickPlayer.setSampleCount(0);
    ampEnv.reset();
    noiseEnv.reset();
    pitchEnv.reset();
    osc.reset();
    declick.setStartValue(lastSample);  // bridge the cut from the last output

    // Equal temperament around A4 = 440 Hz; note 33 with no offset is 55 Hz.
    if (midiTuneFlag == 0 || midiTuneFlag == 1) {
        const int n = midiTuneFlag == 0 ? 33 : midiNote;
        const float semis = (static_cast<float>(n) + tune) - 69.0f;
        frequency = static_cast<float>(440.0 * std::pow(2.0, static_cast<double>(semis) / 12.0));
    }

    // The velocity sets the amplitudes of this hit only; the stored accent stays, so that switching
    // MIDI accent off brings back the accent last given to setAccent.
    if (midiAccentFlag == 0)
        applyAccent(accent);
    else if (midiAccentFlag == 1)
        applyAccent(static_cast<float>(midiVelocity));
}

uint32_t kt412::getSampleCount() const
{
    if (aheadCount == 0)
        return sampleCount;
    const uint64_t count = static_cast<uint64_t>(saved.sampleCount) + static_cast<uint64_t>(aheadPos);
    return count > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(count);
}

UTIL_RENDER_PATH void kt412::process(float* out, int n)
{
    // Samples already rendered ahead for getSample go first, so that the two entries can be mixed.
    while (n > 0 && aheadPos < aheadCount) {
        *out++ = ahead[aheadPos++];
        --n;
    }
    if (n <= 0)
        return;
    // The building blocks stand at the last sample handed out: render straight into the caller's
    // buffer, with nothing kept for a rewind.
    catchUp();
    while (n > 0) {
        const int m = n < maxBlock ? n : maxBlock;
        render(out, m);
        out += m;
        n -= m;
    }
}

void kt412::renderAhead()
{
    // The block before was handed out in full (nothing, after a catch-up).
    if (handedSinceCall < maxAhead)
        handedSinceCall += aheadCount;
    // A whole block without a call: calls are rarer now, so the next block may be longer.
    if (!blockInterrupted && aheadCount == aheadSize)
        aheadSize = aheadSize * 2 < maxAhead ? aheadSize * 2 : maxAhead;
    blockInterrupted = false;
    if (aheadSize == 1) {
        // getSample hands the one sample out at once, so no call can find it unconsumed and the
        // building blocks' state at the block's start is never needed (the count and last sample
        // are, for their getters).
        saved.sampleCount = sampleCount;
        saved.lastSample = lastSample;
        render(ahead, 1);
        aheadPos = 0;
        aheadCount = 1;
        return;
    }
    saved.ampEnv = ampEnv;
    saved.noiseEnv = noiseEnv;
    saved.pitchEnv = pitchEnv;
    saved.noiseHp = noiseHp;
    saved.noiseLp = noiseLp;
    saved.noiseSource = noiseSource;
    saved.osc = osc;
    saved.declick = declick;
    saved.clickCount = clickPlayer.getSampleCount();
    saved.clickAtEnd = clickPlayer.isFinished();
    saved.noiseBehind = noiseBehind;
    saved.oscBehind = oscBehind;
    saved.oscBehindFrom = oscBehindFrom;
    saved.sampleCount = sampleCount;
    saved.lastSample = lastSample;
    render(ahead, aheadSize);
    aheadPos = 0;
    aheadCount = aheadSize;
}

UTIL_RENDER_PATH void kt412::catchUp()
{
    if (aheadCount == 0)
        return;
    const int consumed = aheadPos;
    // Blocks as long as the spacing of these calls end where the next call comes, so calls at a
    // steady spacing (down to every sample) find each block just handed out and nothing is
    // rendered twice; when they stop, the blocks grow back.
    const int spacing = handedSinceCall + consumed;
    aheadSize = spacing < 1 ? 1 : spacing > maxAhead ? maxAhead : spacing;
    handedSinceCall = 0;
    blockInterrupted = true;
    aheadPos = 0;
    if (consumed == aheadCount) {
        aheadCount = 0;  // every sample handed out: the building blocks stand where they should
        return;
    }
    // Cut short: back to the block's start and on to the last sample handed out.
    ampEnv = saved.ampEnv;
    noiseEnv = saved.noiseEnv;
    pitchEnv = saved.pitchEnv;
    noiseHp = saved.noiseHp;
    noiseLp = saved.noiseLp;
    noiseSource = saved.noiseSource;
    osc = saved.osc;
    declick = saved.declick;
    clickPlayer.restore(saved.clickCount, saved.clickAtEnd);
    noiseBehind = saved.noiseBehind;
    oscBehind = saved.oscBehind;
    oscBehindFrom = saved.oscBehindFrom;
    sampleCount = saved.sampleCount;
    lastSample = saved.lastSample;
    aheadCount = 0;
    if (consumed > 0) {
        float replay[maxAhead];
        render(replay, consumed);
    }
}

// One block, stage by stage. Each stage advances its own building blocks once per sample in the
// same order as a single sample would, so every value is the one of the sample-by-sample formulas.
// The stages that carry a state from sample to sample (the filters, the envelopes, the fader, the
// oscillator's phase) run as short chains; everything else is worked on several samples at once.
UTIL_RENDER_PATH void kt412::render(float* out, int n)
{
    fresh = false;
    const Rest rest = restHere();
    if (rest == Rest::constant) {
        const float constant = restOutput();
        std::fill(out, out + n, constant);
        ampEnv.advanceCount(n);
        noiseEnv.advanceCount(n);
        pitchEnv.advanceCount(n);
        if (declick.isStill()) {
            if (oscBehind == 0)
                oscBehindFrom = sampleCount;
            oscBehind += static_cast<uint64_t>(n);
        } else {
            advanceOscillatorAtRest(n);  // at -0 (see the class comment)
        }
        noiseBehind += static_cast<uint64_t>(n);
        sampleCount = sampleCount > UINT32_MAX - static_cast<uint32_t>(n)
            ? UINT32_MAX : sampleCount + static_cast<uint32_t>(n);
        lastSample = constant;
        return;
    }
    if (rest == Rest::quiet) {
        renderQuiet(out, n);
        return;
    }
    catchUpAll();
    if (n < 4) {
        // Too short for the stages to pay (a setter between every few samples): sample by sample.
        for (int i = 0; i < n; ++i)
            out[i] = renderOne();
        lastSample = out[n - 1];
        return;
    }
    Lanes l;

    // Noise scaled to 0..1.5 as the circuit's noise source, and the transient. c * 7.5 * 1.5 in
    // double is exact, so the single-precision product with 11.25 rounds the same.
    int i = 0;
    noiseInput(l.noiseIn, n);
    if (clickPlayer.isFinished()) {
        std::fill(l.clickIn, l.clickIn + n, 0.0f);
    } else {
        for (i = 0; i < n; ++i)
            l.clickIn[i] = clickPlayer.getSample() * 11.25f;
    }

    renderEnvelopes(l, n);

    // The oscillator swept by the pitch envelope; silent in the first 2 ms after construction.
    // p * 14 and 14 * tuneDepth are exact in double, so p * (14 * tuneDepth) is the same single
    // rounding of the same product as (p * 14) * tuneDepth. o * 4.5 is exact in double, so the
    // single-precision product rounds the same.
    const double depth = 14.0 * static_cast<double>(tuneDepth);
    const double base = frequency;
    if (sampleCount > oscStartLastCount) {
        // Running for the whole block: the count only grows (and saturates). The oscillator is
        // worked on as a local copy, whose phase the compiler keeps in a register.
        vco running = osc;
        oscSteps(l, running, depth, base, n);
        for (i = 0; i < n; ++i)
            l.phase[i] = running.advancePhase(l.step[i]);
        running.setStep(l.freq[n - 1], l.step[n - 1], l.window[n - 1]);
        oscShapes(l, running, n);
        osc = running;
        sampleCount = sampleCount > UINT32_MAX - static_cast<uint32_t>(n)
            ? UINT32_MAX : sampleCount + static_cast<uint32_t>(n);
    } else {
        uint32_t count = sampleCount;
        for (i = 0; i < n; ++i) {
            const float f = static_cast<float>(static_cast<double>(l.pitch[i]) * depth + base);
            float o = 0.0f;
            if (count > oscStartLastCount)
                o = osc.getSample(f, 0.5f, 2);
            l.osc45[i] = o * 4.5f;
            if (count != UINT32_MAX)
                ++count;
        }
        sampleCount = count;
    }

    mix(l, out, n);
    lastSample = out[n - 1];
}

UTIL_RENDER_PATH void kt412::noiseInput(float* w, int n)
{
    uint32_t seed = noiseSource.getSeed();
    int i = avx2 ? noiseAvx2(seed, w, n) : noiseSse2(seed, w, n);
    noiseSource.setSeed(seed);
    for (; i < n; ++i) {
        const float v = static_cast<float>(static_cast<double>(noiseSource.getSample()) * 7.5 + 7.5);
        w[i] = static_cast<float>(static_cast<double>(v) * 0.1);
    }
}

// One sample straight from the building blocks, in the order of the formulas.
float kt412::renderOne()
{
    float w = noiseSource.getSample();
    w = static_cast<float>(static_cast<double>(w) * 7.5 + 7.5);
    w = static_cast<float>(static_cast<double>(w) * 0.1);
    w = noiseLp.getSample(noiseHp.getSample(w));
    const float c = clickPlayer.getSample() * 11.25f;
    const float e = noiseEnv.getSample();
    const float p = pitchEnv.getSample();
    float o = 0.0f;
    if (sampleCount > oscStartLastCount) {
        const float f = static_cast<float>(static_cast<double>(p) * 14.0 * static_cast<double>(tuneDepth)
                                           + static_cast<double>(frequency));
        o = osc.getSample(f, 0.5f, 2);
    }
    const float a = ampEnv.getSample();
    if (sampleCount != UINT32_MAX)
        ++sampleCount;
    return mixSample(o * 4.5f, a, e, w, c, declick.getFaderValue());
}

// The three envelopes, the de-click fader and the noise filters, side by side in a single loop,
// each chain reduced to the operations that carry it from sample to sample: the envelopes'
// amplitudes and the highpass's input terms are applied over the block outside it. An envelope
// that falls through the whole block (all of a hit but its first 105 ms or so, for the amplitude)
// runs as a chain in the loop; one that rises, or takes the first step of its fall, is worked out
// on its own first, and its place in the loop is taken by a stand-in writing to a scratch lane.
// The filters run every sample, heard or not, so that their state is right when the click VCA
// opens.
UTIL_RENDER_PATH void kt412::renderEnvelopes(Lanes& l, int n)
{
    float scratch[maxBlock];
    const auto prepare = [&](ahd& env, float* lane, ahd::FallChain& chain) {
        if (env.fallsFromHere() && env.startFallChain(chain))
            return lane;
        env.getBlock(lane, n);
        chain = ahd::FallChain{0.0f, 0.0f, 0.0f};
        return static_cast<float*>(scratch);
    };
    const auto finish = [&](ahd& env, float* lane, float* chainLane, ahd::FallChain& chain, float y) {
        if (chainLane != lane)
            return;
        scaleLane(lane, chain.amp, n);
        chain.y = y;
        env.endFallChain(chain);
        env.advanceCount(n);
    };
    ahd::FallChain noiseChain, pitchChain, ampChain;
    float* noiseLane = prepare(noiseEnv, l.noiseLevel, noiseChain);
    float* pitchLane = prepare(pitchEnv, l.pitch, pitchChain);
    float* ampLane = prepare(ampEnv, l.amp, ampChain);
    highpassParts(noiseHp, l.noiseIn, l.hpPart, n);
    hp::Chain highpass = noiseHp.startChain();
    lp::Chain lowpass = noiseLp.startChain();
    Fader fader = declick;
    const float lastInput = l.noiseIn[n - 1];
    float noiseY = noiseChain.y, pitchY = pitchChain.y, ampY = ampChain.y;
    for (int i = 0; i < n; ++i) {
        noiseY = noiseChain.fb * noiseY;
        noiseLane[i] = noiseY;
        pitchY = pitchChain.fb * pitchY;
        pitchLane[i] = pitchY;
        ampY = ampChain.fb * ampY;
        ampLane[i] = ampY;
        l.fade[i] = fader.getFaderValue();
        l.noiseIn[i] = lowpass.run(highpass.run(l.hpPart[i]));
    }
    finish(noiseEnv, l.noiseLevel, noiseLane, noiseChain, noiseY);
    finish(pitchEnv, l.pitch, pitchLane, pitchChain, pitchY);
    finish(ampEnv, l.amp, ampLane, ampChain, ampY);
    noiseHp.endChain(highpass, lastInput);
    noiseLp.endChain(lowpass);
    declick = fader;
}

// The frequency float(p * depth + base) of each pitch sample and the oscillator's step and corner
// window for it.
UTIL_RENDER_PATH void kt412::oscSteps(Lanes& l, const vco& running, double depth, double base, int n) const
{
    int i = 0;
    if (avx2)
        i = oscStepsAvx2(running, l.pitch, depth, base, l.freq, l.step, l.window, n);
    i = oscStepsSse2(l, running, depth, base, i, n);
    for (; i < n; ++i) {
        l.freq[i] = static_cast<float>(static_cast<double>(l.pitch[i]) * depth + base);
        l.step[i] = running.stepFor(l.freq[i], l.window[i]);
    }
}

// The triangle with its corners for each phase, times 4.5.
UTIL_RENDER_PATH void kt412::oscShapes(Lanes& l, const vco& running, int n) const
{
    int i = 0;
    if (avx2)
        i = oscShapeAvx2(running, l.phase, l.step, l.window, l.osc45, n);
    i = oscShapesSse2(l, running, i, n);
    for (; i < n; ++i)
        l.osc45[i] = running.shapeAt(l.phase[i], l.step[i], l.window[i], 0.5f) * 4.5f;
}

// Clipper, VCAs, mix and de-click, several samples at a time with the same single- and
// double-precision operations, in the same order, as mixSample. A group where any lane leaves the
// common case (a quotient next to a float half-way point, unbounded click input, an envelope that
// is not a number) is done by mixSample instead.
UTIL_RENDER_PATH void kt412::mix(const Lanes& l, float* out, int n) const
{
    int i = 0;
    if (avx2)
        i = mixAvx2(l, out, n);
    i = mixSse2(l, out, i, n);
    for (; i < n; ++i)
        out[i] = mixSample(l.osc45[i], l.amp[i], l.noiseLevel[i], l.noiseIn[i], l.clickIn[i], l.fade[i]);
}

bool kt412::cpuHasAvx2()
{
#if KT412_AVX2
    // The compiler's check covers the operating system's support for the wide registers too.
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2");
#else
    return false;
#endif
}
