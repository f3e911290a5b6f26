// The bass drum voice: construction, fixed settings, setters and the start of a hit.
#include "voice/kt412.h"

#include <cfloat>
#include <cmath>

#if KT412_SSE2
#include <emmintrin.h>
#endif

kt412::kt412()
{
    init();
}

// Fixed settings; the times are those of the modelled circuit's RC stages.
void kt412::init()
{
    catchUp();
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
    saved.sampleCount = sampleCount;
    saved.lastSample = lastSample;
    render(ahead, aheadSize);
    aheadPos = 0;
    aheadCount = aheadSize;
}

void kt412::catchUp()
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
    clickPlayer.setSampleCount(saved.clickCount);
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
void kt412::render(float* out, int n)
{
    float noiseIn[maxAhead], clickIn[maxAhead], noiseLevel[maxAhead], pitch[maxAhead], amp[maxAhead];
    float osc45[maxAhead];

    // Noise (scaled to 0..1.5 as the circuit's noise source, then band-limited), the transient and
    // the three envelopes. The filters run every sample, heard or not, so that their state is right
    // when the click VCA opens. c * 7.5 * 1.5 in double is exact, so the single-precision product
    // with 11.25 rounds the same.
    const auto noiseAndClick = [&](int i) {
        float w = noiseSource.getSample();
        w = static_cast<float>(static_cast<double>(w) * 7.5 + 7.5);
        w = static_cast<float>(static_cast<double>(w) * 0.1);
        w = noiseHp.getSample(w);
        noiseIn[i] = noiseLp.getSample(w);
        clickIn[i] = clickPlayer.getSample() * 11.25f;
    };
    if (noiseEnv.fallsFromHere() && pitchEnv.fallsFromHere() && ampEnv.fallsFromHere()) {
        // All three envelopes in their fall for the whole block: no phase tests.
        ahd::FallChain noiseChain, pitchChain, ampChain;
        int i = 0;
        if (!(noiseEnv.startFallChain(noiseChain) && pitchEnv.startFallChain(pitchChain)
              && ampEnv.startFallChain(ampChain))) {
            // The first sample of the fall (filter input still 1) or a case the chains leave out.
            noiseAndClick(0);
            noiseLevel[0] = noiseEnv.getFallingSample();
            pitch[0] = pitchEnv.getFallingSample();
            amp[0] = ampEnv.getFallingSample();
            i = 1;
        }
        if (i == 0 || (noiseEnv.startFallChain(noiseChain) && pitchEnv.startFallChain(pitchChain)
                       && ampEnv.startFallChain(ampChain))) {
            for (; i < n; ++i) {
                noiseAndClick(i);
                noiseLevel[i] = noiseChain.step();
                pitch[i] = pitchChain.step();
                amp[i] = ampChain.step();
            }
            noiseEnv.endFallChain(noiseChain);
            pitchEnv.endFallChain(pitchChain);
            ampEnv.endFallChain(ampChain);
        } else {
            for (; i < n; ++i) {
                noiseAndClick(i);
                noiseLevel[i] = noiseEnv.getFallingSample();
                pitch[i] = pitchEnv.getFallingSample();
                amp[i] = ampEnv.getFallingSample();
            }
        }
        noiseEnv.advanceCount(n);
        pitchEnv.advanceCount(n);
        ampEnv.advanceCount(n);
    } else {
        for (int i = 0; i < n; ++i) {
            noiseAndClick(i);
            noiseLevel[i] = noiseEnv.getSample();
            pitch[i] = pitchEnv.getSample();
            amp[i] = ampEnv.getSample();
        }
    }

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
        if (n < 4) {
            // Too short for groups of four (a setter between every few samples): sample by sample.
            for (int i = 0; i < n; ++i) {
                const float f = static_cast<float>(static_cast<double>(pitch[i]) * depth + base);
                osc45[i] = running.getSample(f, 0.5f, 2) * 4.5f;
            }
        } else {
            // The frequencies and the oscillator's steps for them first: they depend on the pitch
            // envelope only, so several are formed at once.
            float freq[maxAhead], step[maxAhead], window[maxAhead];
            int i = 0;
#if KT412_SSE2
            for (; i + 4 <= n; i += 4) {
                if (!oscSteps4(running, pitch + i, depth, base, freq + i, step + i, window + i)) {
                    for (int l = i; l < i + 4; ++l) {
                        freq[l] = static_cast<float>(static_cast<double>(pitch[l]) * depth + base);
                        step[l] = running.stepFor(freq[l], window[l]);
                    }
                }
            }
#endif
            for (; i < n; ++i) {
                freq[i] = static_cast<float>(static_cast<double>(pitch[i]) * depth + base);
                step[i] = running.stepFor(freq[i], window[i]);
            }
            // The phase, the one chain from sample to sample, then the triangle with its corners.
            float phase[maxAhead];
            for (i = 0; i < n; ++i)
                phase[i] = running.advancePhase(step[i]);
            running.setStep(freq[n - 1], step[n - 1], window[n - 1]);
            i = 0;
#if KT412_SSE2
            for (; i + 4 <= n; i += 4) {
                if (!oscShape4(phase + i, step + i, window + i, osc45 + i)) {
                    for (int l = i; l < i + 4; ++l)
                        osc45[l] = running.shapeAt(phase[l], step[l], window[l], 0.5f) * 4.5f;
                }
            }
#endif
            for (; i < n; ++i)
                osc45[i] = running.shapeAt(phase[i], step[i], window[i], 0.5f) * 4.5f;
        }
        osc = running;
        sampleCount = sampleCount > UINT32_MAX - static_cast<uint32_t>(n)
            ? UINT32_MAX : sampleCount + static_cast<uint32_t>(n);
    } else {
        uint32_t count = sampleCount;
        for (int i = 0; i < n; ++i) {
            const float f = static_cast<float>(static_cast<double>(pitch[i]) * depth + base);
            float o = 0.0f;
            if (count > oscStartLastCount)
                o = osc.getSample(f, 0.5f, 2);
            osc45[i] = o * 4.5f;
            if (count != UINT32_MAX)
                ++count;
        }
        sampleCount = count;
    }

    // The de-click fader is a chain of double products, one per sample; formed first so that the
    // stage below has no sample-to-sample dependence.
    double fade[maxAhead];
    for (int i = 0; i < n; ++i)
        fade[i] = declick.getFaderValue();

    int i = 0;
#if KT412_SSE2
    // Four samples at a time with the same single- and double-precision operations, in the same
    // order, as the scalar mixSample below. A group where any lane leaves the common case (a
    // quotient next to a float half-way point, unbounded click input, an
    // envelope that is not a number) is done by mixSample instead.
    for (; i + 4 <= n; i += 4) {
        if (!mixFour(osc45 + i, amp + i, noiseLevel + i, noiseIn + i, clickIn + i, fade + i, out + i)) {
            for (int l = i; l < i + 4; ++l)
                out[l] = mixSample(osc45[l], amp[l], noiseLevel[l], noiseIn[l], clickIn[l], fade[l]);
        }
    }
#endif
    for (; i < n; ++i)
        out[i] = mixSample(osc45[i], amp[i], noiseLevel[i], noiseIn[i], clickIn[i], fade[i]);
    lastSample = out[n - 1];
}

// Clipper, VCAs, mix and de-click of one sample. A shut click VCA gives 0 * q, a zero whose sign
// follows q, and 0.3 * +-0 + tone is tone itself unless tone is a zero too. q is finite as long as
// the click-path input is, which the bounds on attack^2 and on the filtered noise guarantee (the
// transient is bounded by its table). In that common case the click mix is left out.
inline float kt412::mixSample(float o45, float a, float e, float w, float c, double fade) const
{
    const float d = clipDriven(o45, distortionDrive);
    const float tone = vca1besser(d, a);
    float m;
    // 1.86f is the float next above 1.86, so e < 1.86f is the threshold test in double.
    if (e < 1.86f && tone != 0.0f && clickInputBounded && std::fabs(w) < 1.0e6f) {
        m = tone;
    } else {
        // Click-path input: transient and noise in the circuit's proportions.
        const float k = floatQuotient(static_cast<double>(attack * attack)
            * (static_cast<double>(c) * 0.6496 + static_cast<double>(w) * 3.0409),
            100.0, 1.0 / 100.0);
        const float click = vca2besser(e, k);
        m = static_cast<float>(0.3 * static_cast<double>(click) + static_cast<double>(tone));
    }
    m = m / 4.0f;
    return static_cast<float>(static_cast<double>(m) + fade);
}

#if KT412_SSE2
namespace {

// Four floats widened to double, two at a time.
inline __m128d lowToDouble(__m128 x) { return _mm_cvtps_pd(x); }
inline __m128d highToDouble(__m128 x) { return _mm_cvtps_pd(_mm_movehl_ps(x, x)); }
// Two pairs of doubles rounded to four floats (as static_cast<float>, in the current rounding).
inline __m128 toFloat(__m128d lo, __m128d hi)
{
    return _mm_movelh_ps(_mm_cvtpd_ps(lo), _mm_cvtpd_ps(hi));
}
// Two pairs of double masks as four float masks.
inline __m128 toFloatMask(__m128d lo, __m128d hi)
{
    return _mm_shuffle_ps(_mm_castpd_ps(lo), _mm_castpd_ps(hi), _MM_SHUFFLE(2, 0, 2, 0));
}

// floatQuotient for four quotients: the products by the reciprocal, rounded to float, and in
// failed the lanes whose bracket rounds to two floats (or is not a number), which need the
// division.
inline __m128 floatQuotient4(__m128d xlo, __m128d xhi, double reciprocal, __m128& failed)
{
    const __m128d r = _mm_set1_pd(reciprocal);
    const __m128d below = _mm_set1_pd(1.0 - 0x1p-48);
    const __m128d above = _mm_set1_pd(1.0 + 0x1p-48);
    const __m128d ylo = _mm_mul_pd(xlo, r);
    const __m128d yhi = _mm_mul_pd(xhi, r);
    const __m128 low = toFloat(_mm_mul_pd(ylo, below), _mm_mul_pd(yhi, below));
    const __m128 high = toFloat(_mm_mul_pd(ylo, above), _mm_mul_pd(yhi, above));
    failed = _mm_cmpneq_ps(low, high);
    return low;
}

}  // namespace

// The frequency float(p * depth + base) and vco::stepFor of four pitch samples; false (outputs
// untouched) when a step needs the division or its window is not twice the step.
bool kt412::oscSteps4(const vco& o, const float* pitch, double depth, double base, float* freq,
                      float* step, float* window)
{
    const __m128 p = _mm_loadu_ps(pitch);
    const __m128d dv = _mm_set1_pd(depth);
    const __m128d bv = _mm_set1_pd(base);
    const __m128 f = toFloat(_mm_add_pd(_mm_mul_pd(lowToDouble(p), dv), bv),
                             _mm_add_pd(_mm_mul_pd(highToDouble(p), dv), bv));
    const __m128d two = _mm_set1_pd(2.0);
    __m128 failed;
    const __m128 dt = floatQuotient4(_mm_mul_pd(two, lowToDouble(f)), _mm_mul_pd(two, highToDouble(f)),
                                     o.getReciprocalRate(), failed);
    const __m128 size = _mm_and_ps(dt, _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff)));
    const __m128 normal = _mm_and_ps(_mm_cmpge_ps(size, _mm_set1_ps(FLT_MIN)),
                                     _mm_cmplt_ps(size, _mm_set1_ps(0x1p126f)));
    if (_mm_movemask_ps(_mm_andnot_ps(failed, normal)) != 0xf)
        return false;
    _mm_storeu_ps(freq, f);
    _mm_storeu_ps(step, dt);
    _mm_storeu_ps(window, _mm_mul_ps(_mm_set1_ps(2.0f), dt));
    return true;
}

// wrap of the oscillator on four lanes: one step of 2 towards -1..1.
inline __m128 wrap4(__m128 x)
{
    const __m128 one = _mm_set1_ps(1.0f);
    const __m128 two = _mm_set1_ps(2.0f);
    const __m128 high = _mm_cmpge_ps(x, one);
    const __m128 low = _mm_andnot_ps(high, _mm_cmplt_ps(x, _mm_sub_ps(_mm_setzero_ps(), one)));
    const __m128 down = _mm_and_ps(high, _mm_sub_ps(x, two));
    const __m128 up = _mm_and_ps(low, _mm_add_ps(x, two));
    return _mm_or_ps(_mm_or_ps(down, up), _mm_andnot_ps(_mm_or_ps(high, low), x));
}

// vco::shapeAt (phase offset 0.5) times 4.5 for four samples away from both corners, with a
// positive finite step; false (out untouched) when any lane is near a corner or has another
// step, which shapeAt then handles.
bool kt412::oscShape4(const float* phase, const float* step, const float* window, float* out)
{
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 p = wrap4(_mm_add_ps(_mm_loadu_ps(phase), _mm_set1_ps(0.5f)));
    const __m128 q = wrap4(_mm_add_ps(p, _mm_set1_ps(1.0f)));
    const __m128 w = _mm_loadu_ps(window);
    const __m128 dt = _mm_loadu_ps(step);
    // w > |p| is |p| < w.
    const __m128 corner = _mm_or_ps(_mm_cmplt_ps(_mm_and_ps(p, absMask), w),
                                    _mm_cmplt_ps(_mm_and_ps(q, absMask), w));
    const __m128 plain = _mm_and_ps(_mm_cmpgt_ps(dt, _mm_setzero_ps()),
                                    _mm_cmple_ps(dt, _mm_set1_ps(FLT_MAX)));
    if (_mm_movemask_ps(_mm_andnot_ps(corner, plain)) != 0xf)
        return false;
    const __m128 t = _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(2.0f), _mm_and_ps(p, absMask)), _mm_set1_ps(1.0f));
    _mm_storeu_ps(out, _mm_mul_ps(t, _mm_set1_ps(4.5f)));
    return true;
}

// Each step is the scalar one of mixSample on four lanes: SSE2 arithmetic is IEEE single and
// double precision with the same rounding, and the conversions round as static_cast does.
bool kt412::mixFour(const float* o45, const float* a, const float* e, const float* w, const float* c,
                    const double* fade, float* out) const
{
    // The click-path input bounded in every lane, or the group goes scalar.
    const __m128 ev = _mm_loadu_ps(e);
    const __m128 wv = _mm_loadu_ps(w);
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    if (!clickInputBounded
        || _mm_movemask_ps(_mm_cmplt_ps(_mm_and_ps(wv, absMask), _mm_set1_ps(1.0e6f))) != 0xf)
        return false;

    // Clipper: drive in double, position on the curve, clamp, interpolate.
    const __m128 x = _mm_loadu_ps(o45);
    const __m128d drive = _mm_set1_pd(distortionDrive);
    const __m128 v = toFloat(_mm_mul_pd(lowToDouble(x), drive), _mm_mul_pd(highToDouble(x), drive));
    const __m128d nine = _mm_set1_pd(9.0);
    const __m128d thousand = _mm_set1_pd(1000.0);
    __m128 failed;
    __m128 pos = floatQuotient4(_mm_mul_pd(_mm_add_pd(lowToDouble(v), nine), thousand),
                                _mm_mul_pd(_mm_add_pd(highToDouble(v), nine), thousand),
                                1.0 / 18.0, failed);
    __m128 bad = failed;
    // !(pos >= 0) gives +0 (not-a-number included), then at most 1000.
    pos = _mm_and_ps(_mm_cmpge_ps(pos, _mm_setzero_ps()), pos);
    pos = _mm_min_ps(pos, _mm_set1_ps(1000.0f));
    const __m128i iv = _mm_cvttps_epi32(pos);
    const __m128 frac = _mm_sub_ps(pos, _mm_cvtepi32_ps(iv));
    alignas(16) int idx[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(idx), iv);
    float lo[4], hi[4];
    for (int l = 0; l < 4; ++l) {
        const int j = idx[l] + 1 > kennlinieSize - 1 ? kennlinieSize - 1 : idx[l] + 1;
        lo[l] = kennlinie[idx[l]];
        hi[l] = kennlinie[j];
    }
    const __m128 klo = _mm_loadu_ps(lo);
    const __m128 khi = _mm_loadu_ps(hi);
    const __m128 d = _mm_add_ps(klo, _mm_mul_ps(frac, _mm_sub_ps(khi, klo)));

    // Tone VCA.
    const __m128 q = _mm_add_ps(
        _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_set1_ps(-2.251f), d), d), _mm_mul_ps(_mm_set1_ps(-9.76f), d)),
        _mm_set1_ps(0.4633f));
    const __m128 av = _mm_loadu_ps(a);
    const __m128d alo = lowToDouble(av);
    const __m128d ahi = highToDouble(av);
    const __m128d threshold = _mm_set1_pd(0.45);
    // Open unless double(env) < 0.45 (so open for not-a-number, as in the scalar test).
    const __m128 open = toFloatMask(_mm_cmpnlt_pd(alo, threshold), _mm_cmpnlt_pd(ahi, threshold));
    const __m128 g = floatQuotient4(_mm_sub_pd(alo, threshold), _mm_sub_pd(ahi, threshold),
                                    1.0 / 470000.0, failed);
    bad = _mm_or_ps(bad, _mm_and_ps(open, failed));
    const __m128 gq = _mm_mul_ps(g, q);
    const __m128 opened = floatQuotient4(lowToDouble(gq), highToDouble(gq), 1.0 / 0.000027, failed);
    bad = _mm_or_ps(bad, _mm_and_ps(open, failed));
    const __m128 shut = _mm_mul_ps(_mm_setzero_ps(), q);
    const __m128 tone = _mm_or_ps(_mm_and_ps(open, opened), _mm_andnot_ps(open, shut));

    // The click path where mixSample takes it: an open click VCA (1.86f is the float next above
    // 1.86, so e < 1.86f is the threshold test in double) or a zero tone.
    __m128 m = tone;
    const __m128 mixLanes = _mm_or_ps(_mm_cmpnlt_ps(ev, _mm_set1_ps(1.86f)),
                                      _mm_cmpeq_ps(tone, _mm_setzero_ps()));
    if (_mm_movemask_ps(mixLanes) != 0) {
        const __m128d att = _mm_set1_pd(static_cast<double>(attack * attack));
        const __m128 cv = _mm_loadu_ps(c);
        const __m128d ck = _mm_set1_pd(0.6496);
        const __m128d wk = _mm_set1_pd(3.0409);
        const __m128d inLo = _mm_mul_pd(att, _mm_add_pd(_mm_mul_pd(lowToDouble(cv), ck),
                                                        _mm_mul_pd(lowToDouble(wv), wk)));
        const __m128d inHi = _mm_mul_pd(att, _mm_add_pd(_mm_mul_pd(highToDouble(cv), ck),
                                                        _mm_mul_pd(highToDouble(wv), wk)));
        const __m128 k = floatQuotient4(inLo, inHi, 1.0 / 100.0, failed);
        bad = _mm_or_ps(bad, _mm_and_ps(mixLanes, failed));
        // Click VCA, as vca2besser.
        const __m128 q2 = _mm_add_ps(
            _mm_add_ps(_mm_mul_ps(_mm_mul_ps(_mm_set1_ps(-9275.0f), k), k), _mm_mul_ps(_mm_set1_ps(-523.7f), k)),
            _mm_set1_ps(1.161f));
        const __m128d elo = lowToDouble(ev);
        const __m128d ehi = highToDouble(ev);
        const __m128d threshold2 = _mm_set1_pd(1.86);
        const __m128 open2 = _mm_and_ps(mixLanes, toFloatMask(_mm_cmpnlt_pd(elo, threshold2),
                                                               _mm_cmpnlt_pd(ehi, threshold2)));
        __m128 click = _mm_mul_ps(_mm_setzero_ps(), q2);
        if (_mm_movemask_ps(open2) != 0) {
            const __m128 g2 = floatQuotient4(_mm_sub_pd(elo, threshold2), _mm_sub_pd(ehi, threshold2),
                                             1.0 / 470000.0, failed);
            bad = _mm_or_ps(bad, _mm_and_ps(open2, failed));
            const __m128 g2q2 = _mm_mul_ps(g2, q2);
            const __m128 opened2 = floatQuotient4(lowToDouble(g2q2), highToDouble(g2q2), 1.0 / 0.000024,
                                                  failed);
            bad = _mm_or_ps(bad, _mm_and_ps(open2, failed));
            click = _mm_or_ps(_mm_and_ps(open2, opened2), _mm_andnot_ps(open2, click));
        }
        const __m128d mix = _mm_set1_pd(0.3);
        const __m128 mixed = toFloat(_mm_add_pd(_mm_mul_pd(mix, lowToDouble(click)), lowToDouble(tone)),
                                     _mm_add_pd(_mm_mul_pd(mix, highToDouble(click)), highToDouble(tone)));
        m = _mm_or_ps(_mm_and_ps(mixLanes, mixed), _mm_andnot_ps(mixLanes, tone));
    }
    if (_mm_movemask_ps(bad) != 0)
        return false;

    // m / 4 is exact scaling, the same float as m * 0.25; then the de-click bridge in double.
    m = _mm_mul_ps(m, _mm_set1_ps(0.25f));
    const __m128d f01 = _mm_loadu_pd(fade);
    const __m128d f23 = _mm_loadu_pd(fade + 2);
    _mm_storeu_ps(out, toFloat(_mm_add_pd(lowToDouble(m), f01), _mm_add_pd(highToDouble(m), f23)));
    return true;
}
#endif
