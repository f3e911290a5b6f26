// The bass drum voice: the SSE2 forms of its block stages, four samples at a time.
#include "voice/kt412.h"
#include "util/RenderPath.h"

#if KT412_SSE2
#include <cfloat>
#include <emmintrin.h>

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

// Lanes of floatQuotient4 that failed because the quotient lies exactly on a float half-way
// point, settled as the division would (see settleTies in kt412Avx2.cpp); a whole c of at most 28
// significant bits.
inline __m128 settleTies4(__m128 low, __m128d xlo, __m128d xhi, double reciprocal, double c, __m128& failed)
{
    const __m128d above = _mm_set1_pd(1.0 + 0x1p-48);
    const __m128d r = _mm_set1_pd(reciprocal);
    const __m128 high = toFloat(_mm_mul_pd(_mm_mul_pd(xlo, r), above), _mm_mul_pd(_mm_mul_pd(xhi, r), above));
    const __m128d half = _mm_set1_pd(0.5);
    const __m128d hlo = _mm_mul_pd(_mm_add_pd(lowToDouble(low), lowToDouble(high)), half);
    const __m128d hhi = _mm_mul_pd(_mm_add_pd(highToDouble(low), highToDouble(high)), half);
    const __m128d cv = _mm_set1_pd(c);
    const __m128 ties = _mm_and_ps(failed, toFloatMask(_mm_cmpeq_pd(xlo, _mm_mul_pd(hlo, cv)),
                                                       _mm_cmpeq_pd(xhi, _mm_mul_pd(hhi, cv))));
    failed = _mm_andnot_ps(ties, failed);
    const __m128 settled = toFloat(hlo, hhi);
    return _mm_or_ps(_mm_and_ps(ties, settled), _mm_andnot_ps(ties, low));
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

}  // namespace

// noise::getSample and the scaling to 0..1.5 for four samples at once, as noiseAvx2 does for
// eight (see there): the generator four steps on is a_4 * seed + c_4, the products of 32-bit
// lanes formed two at a time, since SSE2 has no 32-bit lane product.
int kt412::noiseSse2(uint32_t& seed, float* w, int n)
{
    if (n < 4)
        return 0;
    uint32_t mul[4], add[4];
    uint32_t a = 1, c = 0;
    for (int j = 0; j < 4; ++j) {
        a *= 69069u;
        c = c * 69069u + 1u;
        mul[j] = a;
        add[j] = c;
    }
    const auto product = [](__m128i x, __m128i y) {
        const __m128i even = _mm_mul_epu32(x, y);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(x, 32), _mm_srli_epi64(y, 32));
        return _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(0, 0, 2, 0)),
                                  _mm_shuffle_epi32(odd, _MM_SHUFFLE(0, 0, 2, 0)));
    };
    const __m128i stepMul = _mm_set1_epi32(static_cast<int>(mul[3]));
    const __m128i stepAdd = _mm_set1_epi32(static_cast<int>(add[3]));
    __m128i s = _mm_add_epi32(product(_mm_set1_epi32(static_cast<int>(seed)),
                                      _mm_setr_epi32(static_cast<int>(mul[0]), static_cast<int>(mul[1]),
                                                     static_cast<int>(mul[2]), static_cast<int>(mul[3]))),
                              _mm_setr_epi32(static_cast<int>(add[0]), static_cast<int>(add[1]),
                                             static_cast<int>(add[2]), static_cast<int>(add[3])));
    const __m128i lowMask = _mm_set1_epi32(0xffff);
    const __m128d k75 = _mm_set1_pd(7.5);
    const __m128d k01 = _mm_set1_pd(0.1);
    int i = 0;
    __m128i last = s;
    for (; i + 4 <= n; i += 4) {
        const __m128 hi = _mm_cvtepi32_ps(_mm_srli_epi32(s, 16));
        const __m128 lo = _mm_cvtepi32_ps(_mm_and_si128(s, lowMask));
        const __m128 f = _mm_add_ps(_mm_mul_ps(hi, _mm_set1_ps(65536.0f)), lo);
        const __m128 v = _mm_sub_ps(_mm_mul_ps(f, _mm_set1_ps(0x1p-31f)), _mm_set1_ps(1.0f));
        const __m128 u = toFloat(_mm_add_pd(_mm_mul_pd(lowToDouble(v), k75), k75),
                                 _mm_add_pd(_mm_mul_pd(highToDouble(v), k75), k75));
        _mm_storeu_ps(w + i, toFloat(_mm_mul_pd(lowToDouble(u), k01), _mm_mul_pd(highToDouble(u), k01)));
        last = s;
        s = _mm_add_epi32(product(s, stepMul), stepAdd);
    }
    seed = static_cast<uint32_t>(_mm_cvtsi128_si32(_mm_shuffle_epi32(last, _MM_SHUFFLE(3, 3, 3, 3))));
    return i;
}

// b0 * x[i] + b1 * x[i - 1] (x[-1] the filter's last input) four at a time.
UTIL_RENDER_PATH void kt412::highpassParts(const hp& filter, const float* x, float* part, int n)
{
    part[0] = filter.inputPart(x[0], filter.getStateX());
    const __m128 b0 = _mm_set1_ps(filter.getB0());
    const __m128 b1 = _mm_set1_ps(filter.getB1());
    int i = 1;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(part + i, _mm_add_ps(_mm_mul_ps(b0, _mm_loadu_ps(x + i)), _mm_mul_ps(b1, _mm_loadu_ps(x + i - 1))));
    for (; i < n; ++i)
        part[i] = filter.inputPart(x[i], x[i - 1]);
}

UTIL_RENDER_PATH void kt412::scaleLane(float* lane, float amp, int n)
{
    const __m128 a = _mm_set1_ps(amp);
    int i = 0;
    for (; i + 4 <= n; i += 4)
        _mm_storeu_ps(lane + i, _mm_mul_ps(a, _mm_loadu_ps(lane + i)));
    for (; i < n; ++i)
        lane[i] = amp * lane[i];
}

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
    const __m128 absMask = _mm_castsi128_ps(_mm_set1_epi32(0x7fffffff));
    const __m128 size = _mm_and_ps(dt, absMask);
    // Every frequency below the oscillator's limit (not a number fails too).
    const __m128 playable = _mm_cmple_ps(_mm_and_ps(f, absMask), _mm_set1_ps(o.getMaxFrequency()));
    const __m128 normal = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(size, _mm_set1_ps(FLT_MIN)),
                                                _mm_cmplt_ps(size, _mm_set1_ps(0x1p126f))),
                                     playable);
    if (_mm_movemask_ps(_mm_andnot_ps(failed, normal)) != 0xf)
        return false;
    _mm_storeu_ps(freq, f);
    _mm_storeu_ps(step, dt);
    _mm_storeu_ps(window, _mm_mul_ps(_mm_set1_ps(2.0f), dt));
    return true;
}


// vco::shapeAt (phase offset 0.5) times 4.5 for four samples away from both corners, with a
// positive finite step; the lanes near a corner or with another step are returned for shapeAt.
int kt412::oscShape4(const float* phase, const float* step, const float* window, float* out)
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
    const __m128 t = _mm_sub_ps(_mm_mul_ps(_mm_set1_ps(2.0f), _mm_and_ps(p, absMask)), _mm_set1_ps(1.0f));
    _mm_storeu_ps(out, _mm_mul_ps(t, _mm_set1_ps(4.5f)));
    return _mm_movemask_ps(_mm_andnot_ps(corner, plain)) ^ 0xf;
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
    const __m128d xlo = _mm_mul_pd(_mm_add_pd(lowToDouble(v), nine), thousand);
    const __m128d xhi = _mm_mul_pd(_mm_add_pd(highToDouble(v), nine), thousand);
    __m128 pos = floatQuotient4(xlo, xhi, 1.0 / 18.0, failed);
    if (_mm_movemask_ps(failed) != 0)
        pos = settleTies4(pos, xlo, xhi, 1.0 / 18.0, 18.0, failed);
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

// The stages four samples at a time, from sample i on; each returns where it stopped. The loops
// sit beside the four-lane forms, which the compiler then works into them, constants and all.
UTIL_RENDER_PATH int kt412::oscStepsSse2(Lanes& l, const vco& running, double depth, double base, int i, int n)
{
    for (; i + 4 <= n; i += 4) {
        if (!oscSteps4(running, l.pitch + i, depth, base, l.freq + i, l.step + i, l.window + i)) {
            for (int k = i; k < i + 4; ++k) {
                l.freq[k] = static_cast<float>(static_cast<double>(l.pitch[k]) * depth + base);
                l.step[k] = running.stepFor(l.freq[k], l.window[k]);
            }
        }
    }
    return i;
}

UTIL_RENDER_PATH int kt412::oscShapesSse2(Lanes& l, const vco& running, int i, int n)
{
    for (; i + 4 <= n; i += 4) {
        for (int other = oscShape4(l.phase + i, l.step + i, l.window + i, l.osc45 + i); other != 0;
             other &= other - 1) {
            const int k = i + __builtin_ctz(static_cast<unsigned>(other));
            l.osc45[k] = running.shapeAt(l.phase[k], l.step[k], l.window[k], 0.5f) * 4.5f;
        }
    }
    return i;
}

UTIL_RENDER_PATH int kt412::mixSse2(const Lanes& l, float* out, int i, int n) const
{
    for (; i + 4 <= n; i += 4) {
        if (!mixFour(l.osc45 + i, l.amp + i, l.noiseLevel + i, l.noiseIn + i, l.clickIn + i,
                     l.fade + i, out + i)) {
            for (int k = i; k < i + 4; ++k)
                out[k] = mixSample(l.osc45[k], l.amp[k], l.noiseLevel[k], l.noiseIn[k], l.clickIn[k],
                                   l.fade[k]);
        }
    }
    return i;
}

#else

int kt412::noiseSse2(uint32_t&, float*, int) { return 0; }
int kt412::oscStepsSse2(Lanes&, const vco&, double, double, int i, int) { return i; }
int kt412::oscShapesSse2(Lanes&, const vco&, int i, int) { return i; }
int kt412::mixSse2(const Lanes&, float*, int i, int) const { return i; }

void kt412::highpassParts(const hp& filter, const float* x, float* part, int n)
{
    part[0] = filter.inputPart(x[0], filter.getStateX());
    for (int i = 1; i < n; ++i)
        part[i] = filter.inputPart(x[i], x[i - 1]);
}

void kt412::scaleLane(float* lane, float amp, int n)
{
    for (int i = 0; i < n; ++i)
        lane[i] = amp * lane[i];
}

#endif
