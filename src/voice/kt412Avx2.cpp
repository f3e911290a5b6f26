// The bass drum voice: the AVX2 forms of its block stages, eight samples at a time.
#include "voice/kt412.h"
#include "util/RenderPath.h"

#if KT412_AVX2
#include <cfloat>
#include <cmath>
#include <immintrin.h>

// Only these functions use AVX2; the voice calls them when the processor has it. Each step is the
// IEEE single- or double-precision operation of the scalar path, in the same order: AVX2 brings
// no fused multiply-add (that is a separate extension, not enabled here, and the project builds
// with -ffp-contract=off), and the conversions round as static_cast does in the default mode.
#define KT412_TARGET_AVX2 __attribute__((target("avx2")))

namespace {

KT412_TARGET_AVX2 inline __m256d lowToDouble(__m256 x)
{
    return _mm256_cvtps_pd(_mm256_castps256_ps128(x));
}

KT412_TARGET_AVX2 inline __m256d highToDouble(__m256 x)
{
    return _mm256_cvtps_pd(_mm256_extractf128_ps(x, 1));
}

// The same for eight floats in memory, widened straight from it.
KT412_TARGET_AVX2 inline __m256d lowToDouble(const float* p)
{
    return _mm256_cvtps_pd(_mm_loadu_ps(p));
}

KT412_TARGET_AVX2 inline __m256d highToDouble(const float* p)
{
    return _mm256_cvtps_pd(_mm_loadu_ps(p + 4));
}

// Two groups of four doubles rounded to eight floats.
KT412_TARGET_AVX2 inline __m256 toFloat(__m256d lo, __m256d hi)
{
    return _mm256_insertf128_ps(_mm256_castps128_ps256(_mm256_cvtpd_ps(lo)), _mm256_cvtpd_ps(hi), 1);
}

// Four doubles rounded to float and widened back, without leaving their register half.
KT412_TARGET_AVX2 inline __m256d roundToFloat(__m256d x)
{
    return _mm256_cvtps_pd(_mm256_cvtpd_ps(x));
}

KT412_TARGET_AVX2 inline __m256 absolute(__m256 x)
{
    return _mm256_and_ps(x, _mm256_castsi256_ps(_mm256_set1_epi32(0x7fffffff)));
}

KT412_TARGET_AVX2 inline bool all(__m256 mask)
{
    return _mm256_movemask_ps(mask) == 0xff;
}

KT412_TARGET_AVX2 inline bool any(__m256 mask)
{
    return _mm256_movemask_ps(mask) != 0;
}

// floatQuotient on eight lanes: the products by the reciprocal, rounded to float, and in failed
// the lanes whose bracket rounds to two floats (or is not a number), which need the division.
KT412_TARGET_AVX2 inline __m256 floatQuotient8(__m256d xlo, __m256d xhi, double reciprocal, __m256& failed)
{
    const __m256d r = _mm256_set1_pd(reciprocal);
    const __m256d below = _mm256_set1_pd(1.0 - 0x1p-48);
    const __m256d above = _mm256_set1_pd(1.0 + 0x1p-48);
    const __m256d ylo = _mm256_mul_pd(xlo, r);
    const __m256d yhi = _mm256_mul_pd(xhi, r);
    const __m256 low = toFloat(_mm256_mul_pd(ylo, below), _mm256_mul_pd(yhi, below));
    const __m256 high = toFloat(_mm256_mul_pd(ylo, above), _mm256_mul_pd(yhi, above));
    failed = _mm256_cmp_ps(low, high, _CMP_NEQ_UQ);
    return low;
}

// Two groups of four double masks as eight float masks (the low half of each 64-bit lane).
KT412_TARGET_AVX2 inline __m256 toFloatMask(__m256d lo, __m256d hi)
{
    const __m256i even = _mm256_setr_epi32(0, 2, 4, 6, 0, 2, 4, 6);
    const __m256 l = _mm256_permutevar8x32_ps(_mm256_castpd_ps(lo), even);
    const __m256 h = _mm256_permutevar8x32_ps(_mm256_castpd_ps(hi), even);
    return _mm256_blend_ps(l, h, 0xf0);
}

// Lanes of floatQuotient8 that failed because the quotient lies exactly on the half-way point
// between the two floats its bracket rounds to. That happens often where x is a whole multiple of
// a power of two and c a small whole number: the clipper's (v + 9) * 1000 / 18 lands on one for
// about one sample in 150. The double division then gives that point exactly, and the conversion
// to float rounds it to even, as cvtpd2ps does. x == h * c proves it when h * c is exact, which
// holds for a whole c of at most 28 significant bits (h has 25). Returns the quotients with those
// lanes settled, and clears them in failed.
KT412_TARGET_AVX2 inline __m256 settleTies(__m256 low, __m256d xlo, __m256d xhi, double reciprocal, double c,
                                           __m256& failed)
{
    const __m256d above = _mm256_set1_pd(1.0 + 0x1p-48);
    const __m256d r = _mm256_set1_pd(reciprocal);
    const __m256 high = toFloat(_mm256_mul_pd(_mm256_mul_pd(xlo, r), above),
                                _mm256_mul_pd(_mm256_mul_pd(xhi, r), above));
    const __m256d half = _mm256_set1_pd(0.5);
    const __m256d hlo = _mm256_mul_pd(_mm256_add_pd(lowToDouble(low), lowToDouble(high)), half);
    const __m256d hhi = _mm256_mul_pd(_mm256_add_pd(highToDouble(low), highToDouble(high)), half);
    const __m256d cv = _mm256_set1_pd(c);
    const __m256 ties = _mm256_and_ps(failed, toFloatMask(_mm256_cmp_pd(xlo, _mm256_mul_pd(hlo, cv), _CMP_EQ_OQ),
                                                          _mm256_cmp_pd(xhi, _mm256_mul_pd(hhi, cv), _CMP_EQ_OQ)));
    failed = _mm256_andnot_ps(ties, failed);
    return _mm256_blendv_ps(low, toFloat(hlo, hhi), ties);
}

// vco::wrap on eight lanes: one step of 2 towards -1..1.
KT412_TARGET_AVX2 inline __m256 wrap8(__m256 x)
{
    const __m256 high = _mm256_cmp_ps(x, _mm256_set1_ps(1.0f), _CMP_GE_OS);
    const __m256 low = _mm256_cmp_ps(x, _mm256_set1_ps(-1.0f), _CMP_LT_OS);
    const __m256 down = _mm256_sub_ps(x, _mm256_set1_ps(2.0f));
    const __m256 up = _mm256_add_ps(x, _mm256_set1_ps(2.0f));
    return _mm256_blendv_ps(_mm256_blendv_ps(x, up, low), down, high);
}

// The smallest float not below x: for a float f, double(f) < x exactly when f < that float.
float floatNotBelow(double x)
{
    float f = static_cast<float>(x);
    if (static_cast<double>(f) < x)
        f = std::nextafter(f, INFINITY);
    return f;
}

// The clipper's curve as pairs of neighbouring entries (the last paired with itself), so that
// one 64-bit gather fetches both ends of an interpolation step.
struct ClipperPairs {
    alignas(64) float v[2 * kennlinieSize];
    ClipperPairs()
    {
        for (int i = 0; i < kennlinieSize; ++i) {
            v[2 * i] = kennlinie[i];
            v[2 * i + 1] = kennlinie[i + 1 < kennlinieSize ? i + 1 : kennlinieSize - 1];
        }
    }
};
const ClipperPairs clipperPairs;

}  // namespace

// The generator's state j steps on is a_j * seed + c_j (mod 2^32).
struct NoiseJumps {
    alignas(32) uint32_t mul[8];
    alignas(32) uint32_t add[8];
    constexpr NoiseJumps() : mul(), add()
    {
        uint32_t a = 1, c = 0;
        for (int j = 0; j < 8; ++j) {
            a *= 69069u;
            c = c * 69069u + 1u;
            mul[j] = a;
            add[j] = c;
        }
    }
};
constexpr NoiseJumps noiseJumps;

// noise::getSample and the scaling to 0..1.5 for eight samples at once. The seed converts to float
// as its upper and lower 16 bits, each exact, added with a single rounding. s / 2^31 - 1 is exact
// in double (s is a whole number below 2^33, so the difference has at most 32 significant bits),
// so rounding it to float is the single-precision s * 2^-31 - 1 (the product is exact).
KT412_TARGET_AVX2 UTIL_RENDER_PATH int kt412::noiseAvx2(uint32_t& seed, float* w, int n)
{
    if (n < 8)
        return 0;
    const __m256i stepMul = _mm256_set1_epi32(static_cast<int>(noiseJumps.mul[7]));
    const __m256i stepAdd = _mm256_set1_epi32(static_cast<int>(noiseJumps.add[7]));
    __m256i s = _mm256_add_epi32(
        _mm256_mullo_epi32(_mm256_set1_epi32(static_cast<int>(seed)),
                           _mm256_load_si256(reinterpret_cast<const __m256i*>(noiseJumps.mul))),
        _mm256_load_si256(reinterpret_cast<const __m256i*>(noiseJumps.add)));
    const __m256 lowMask = _mm256_castsi256_ps(_mm256_set1_epi32(0xffff));
    const __m256d k75 = _mm256_set1_pd(7.5);
    const __m256d k01 = _mm256_set1_pd(0.1);
    int i = 0;
    __m256i last = s;
    for (; i + 8 <= n; i += 8) {
        const __m256 hi = _mm256_cvtepi32_ps(_mm256_srli_epi32(s, 16));
        const __m256 lo = _mm256_cvtepi32_ps(_mm256_castps_si256(_mm256_and_ps(_mm256_castsi256_ps(s), lowMask)));
        const __m256 f = _mm256_add_ps(_mm256_mul_ps(hi, _mm256_set1_ps(65536.0f)), lo);
        const __m256 v = _mm256_sub_ps(_mm256_mul_ps(f, _mm256_set1_ps(0x1p-31f)), _mm256_set1_ps(1.0f));
        const __m256d ulo = roundToFloat(_mm256_add_pd(_mm256_mul_pd(lowToDouble(v), k75), k75));
        const __m256d uhi = roundToFloat(_mm256_add_pd(_mm256_mul_pd(highToDouble(v), k75), k75));
        _mm256_storeu_ps(w + i, toFloat(_mm256_mul_pd(ulo, k01), _mm256_mul_pd(uhi, k01)));
        last = s;
        s = _mm256_add_epi32(_mm256_mullo_epi32(s, stepMul), stepAdd);
    }
    seed = static_cast<uint32_t>(_mm256_extract_epi32(last, 7));
    return i;
}

// The frequency float(p * depth + base) and vco::stepFor of eight pitch samples; a group where a
// step needs the division, its window is not twice the step or a frequency is over the
// oscillator's limit goes through stepFor.
KT412_TARGET_AVX2 UTIL_RENDER_PATH int kt412::oscStepsAvx2(const vco& o, const float* pitch, double depth, double base,
                                          float* freq, float* step, float* window, int n)
{
    const __m256d dv = _mm256_set1_pd(depth);
    const __m256d bv = _mm256_set1_pd(base);
    const __m256d two = _mm256_set1_pd(2.0);
    const __m256 limit = _mm256_set1_ps(o.getMaxFrequency());
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256d flo = roundToFloat(_mm256_add_pd(_mm256_mul_pd(lowToDouble(pitch + i), dv), bv));
        const __m256d fhi = roundToFloat(_mm256_add_pd(_mm256_mul_pd(highToDouble(pitch + i), dv), bv));
        const __m256 f = toFloat(flo, fhi);  // exact: both halves are floats already
        __m256 failed;
        const __m256 dt = floatQuotient8(_mm256_mul_pd(two, flo), _mm256_mul_pd(two, fhi),
                                         o.getReciprocalRate(), failed);
        const __m256 size = absolute(dt);
        const __m256 ok = _mm256_and_ps(
            _mm256_and_ps(_mm256_cmp_ps(size, _mm256_set1_ps(FLT_MIN), _CMP_GE_OS),
                          _mm256_cmp_ps(size, _mm256_set1_ps(0x1p126f), _CMP_LT_OS)),
            _mm256_andnot_ps(failed, _mm256_cmp_ps(absolute(f), limit, _CMP_LE_OS)));
        if (all(ok)) {
            _mm256_storeu_ps(freq + i, f);
            _mm256_storeu_ps(step + i, dt);
            _mm256_storeu_ps(window + i, _mm256_mul_ps(_mm256_set1_ps(2.0f), dt));
        } else {
            for (int k = i; k < i + 8; ++k) {
                freq[k] = static_cast<float>(static_cast<double>(pitch[k]) * depth + base);
                step[k] = o.stepFor(freq[k], window[k]);
            }
        }
    }
    return i;
}

// vco::shapeAt (phase offset 0.5) times 4.5 for eight samples; a lane near a corner, or with a
// step that is not positive and finite, goes through shapeAt.
KT412_TARGET_AVX2 UTIL_RENDER_PATH int kt412::oscShapeAvx2(const vco& o, const float* phase, const float* step,
                                          const float* window, float* out, int n)
{
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 p = wrap8(_mm256_add_ps(_mm256_loadu_ps(phase + i), _mm256_set1_ps(0.5f)));
        const __m256 q = wrap8(_mm256_add_ps(p, _mm256_set1_ps(1.0f)));
        const __m256 w = _mm256_loadu_ps(window + i);
        const __m256 dt = _mm256_loadu_ps(step + i);
        const __m256 corner = _mm256_or_ps(_mm256_cmp_ps(absolute(p), w, _CMP_LT_OS),
                                           _mm256_cmp_ps(absolute(q), w, _CMP_LT_OS));
        const __m256 plain = _mm256_and_ps(_mm256_cmp_ps(dt, _mm256_setzero_ps(), _CMP_GT_OS),
                                           _mm256_cmp_ps(dt, _mm256_set1_ps(FLT_MAX), _CMP_LE_OS));
        // The plain triangle for every lane; lanes near a corner (or with another step) are then
        // put right one by one.
        const __m256 t = _mm256_sub_ps(_mm256_mul_ps(_mm256_set1_ps(2.0f), absolute(p)), _mm256_set1_ps(1.0f));
        _mm256_storeu_ps(out + i, _mm256_mul_ps(t, _mm256_set1_ps(4.5f)));
        int other = _mm256_movemask_ps(_mm256_andnot_ps(_mm256_andnot_ps(corner, plain), _mm256_castsi256_ps(_mm256_set1_epi32(-1))));
        while (other != 0) {
            const int k = i + __builtin_ctz(static_cast<unsigned>(other));
            out[k] = o.shapeAt(phase[k], step[k], window[k], 0.5f) * 4.5f;
            other &= other - 1;
        }
    }
    return i;
}

// mixSample on eight lanes, as mixFour on four (see there for each step).
KT412_TARGET_AVX2 UTIL_RENDER_PATH int kt412::mixAvx2(const Lanes& l, float* out, int n) const
{
    if (!clickInputBounded)
        return 0;
    // The VCAs' thresholds as floats: double(env) < threshold exactly when env < these.
    const __m256 toneThreshold = _mm256_set1_ps(floatNotBelow(0.45));
    const __m256 clickThreshold = _mm256_set1_ps(floatNotBelow(1.86));
    const __m256d drive = _mm256_set1_pd(distortionDrive);
    const __m256d nine = _mm256_set1_pd(9.0);
    const __m256d thousand = _mm256_set1_pd(1000.0);
    const __m256d toneOffset = _mm256_set1_pd(0.45);
    const __m256d clickOffset = _mm256_set1_pd(1.86);
    const __m256d attackSquared = _mm256_set1_pd(static_cast<double>(attack * attack));
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m256 ev = _mm256_loadu_ps(l.noiseLevel + i);
        const __m256 wv = _mm256_loadu_ps(l.noiseIn + i);
        __m256 bad = _mm256_cmp_ps(absolute(wv), _mm256_set1_ps(1.0e6f), _CMP_NLT_UQ);

        // Clipper: drive in double, position on the curve, clamp, interpolate.
        const __m256d vlo = roundToFloat(_mm256_mul_pd(lowToDouble(l.osc45 + i), drive));
        const __m256d vhi = roundToFloat(_mm256_mul_pd(highToDouble(l.osc45 + i), drive));
        __m256 failed;
        const __m256d xlo = _mm256_mul_pd(_mm256_add_pd(vlo, nine), thousand);
        const __m256d xhi = _mm256_mul_pd(_mm256_add_pd(vhi, nine), thousand);
        __m256 pos = floatQuotient8(xlo, xhi, 1.0 / 18.0, failed);
        if (any(failed))
            pos = settleTies(pos, xlo, xhi, 1.0 / 18.0, 18.0, failed);
        bad = _mm256_or_ps(bad, failed);
        pos = _mm256_and_ps(_mm256_cmp_ps(pos, _mm256_setzero_ps(), _CMP_GE_OS), pos);
        pos = _mm256_min_ps(pos, _mm256_set1_ps(1000.0f));
        const __m256i iv = _mm256_cvttps_epi32(pos);
        const __m256 frac = _mm256_sub_ps(pos, _mm256_cvtepi32_ps(iv));
        // Each pair as one double's bits; the masked form (every lane on) starts from defined zeros.
        const double* pairs = reinterpret_cast<const double*>(clipperPairs.v);
        const __m256d everyLane = _mm256_castsi256_pd(_mm256_set1_epi64x(-1));
        const __m256 pa = _mm256_castpd_ps(_mm256_mask_i32gather_pd(_mm256_setzero_pd(), pairs,
                                                                    _mm256_castsi256_si128(iv), everyLane, 8));
        const __m256 pb = _mm256_castpd_ps(_mm256_mask_i32gather_pd(_mm256_setzero_pd(), pairs,
                                                                    _mm256_extracti128_si256(iv, 1), everyLane, 8));
        // (lo0 hi0 lo1 hi1 | lo2 hi2 lo3 hi3) and the same for lanes 4..7: even and odd floats,
        // then the 64-bit quarters back in order.
        const __m256 klo = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(pa, pb, 0x88)), 0xd8));
        const __m256 khi = _mm256_castpd_ps(_mm256_permute4x64_pd(_mm256_castps_pd(_mm256_shuffle_ps(pa, pb, 0xdd)), 0xd8));
        const __m256 d = _mm256_add_ps(klo, _mm256_mul_ps(frac, _mm256_sub_ps(khi, klo)));

        // Tone VCA.
        const __m256 q = _mm256_add_ps(
            _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(-2.251f), d), d),
                          _mm256_mul_ps(_mm256_set1_ps(-9.76f), d)),
            _mm256_set1_ps(0.4633f));
        const __m256 av = _mm256_loadu_ps(l.amp + i);
        const __m256 open = _mm256_cmp_ps(av, toneThreshold, _CMP_NLT_UQ);  // open for not-a-number
        const __m256 g = floatQuotient8(_mm256_sub_pd(lowToDouble(l.amp + i), toneOffset),
                                        _mm256_sub_pd(highToDouble(l.amp + i), toneOffset), 1.0 / 470000.0, failed);
        bad = _mm256_or_ps(bad, _mm256_and_ps(open, failed));
        const __m256 gq = _mm256_mul_ps(g, q);
        const __m256 opened = floatQuotient8(lowToDouble(gq), highToDouble(gq), 1.0 / 0.000027, failed);
        bad = _mm256_or_ps(bad, _mm256_and_ps(open, failed));
        const __m256 tone = _mm256_blendv_ps(_mm256_mul_ps(_mm256_setzero_ps(), q), opened, open);

        // The click path where mixSample takes it: an open click VCA or a zero tone.
        const __m256 clickOpen = _mm256_cmp_ps(ev, clickThreshold, _CMP_NLT_UQ);
        // A zero tone needs the click mix only where the fader stands at -0 (see mixSample); a
        // group with such a fader takes it for every zero tone, which gives the same samples.
        const __m256i negativeZero = _mm256_set1_epi64x(static_cast<long long>(0x8000000000000000ull));
        const __m256i fadeLo = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l.fade + i));
        const __m256i fadeHi = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(l.fade + i + 4));
        const bool fadeAtNegativeZero =
            !_mm256_testz_si256(_mm256_or_si256(_mm256_cmpeq_epi64(fadeLo, negativeZero),
                                                _mm256_cmpeq_epi64(fadeHi, negativeZero)),
                                _mm256_set1_epi32(-1));
        const __m256 mixLanes = fadeAtNegativeZero
            ? _mm256_or_ps(clickOpen, _mm256_cmp_ps(tone, _mm256_setzero_ps(), _CMP_EQ_OQ))
            : clickOpen;
        __m256 m = tone;
        if (any(mixLanes)) {
            const __m256d ck = _mm256_set1_pd(0.6496);
            const __m256d wk = _mm256_set1_pd(3.0409);
            const float* cp = l.clickIn + i;
            const float* wp = l.noiseIn + i;
            const __m256d inLo = _mm256_mul_pd(attackSquared, _mm256_add_pd(_mm256_mul_pd(lowToDouble(cp), ck),
                                                                            _mm256_mul_pd(lowToDouble(wp), wk)));
            const __m256d inHi = _mm256_mul_pd(attackSquared, _mm256_add_pd(_mm256_mul_pd(highToDouble(cp), ck),
                                                                            _mm256_mul_pd(highToDouble(wp), wk)));
            const __m256 k = floatQuotient8(inLo, inHi, 1.0 / 100.0, failed);
            bad = _mm256_or_ps(bad, _mm256_and_ps(mixLanes, failed));
            // Click VCA, as vca2besser.
            const __m256 q2 = _mm256_add_ps(
                _mm256_add_ps(_mm256_mul_ps(_mm256_mul_ps(_mm256_set1_ps(-9275.0f), k), k),
                              _mm256_mul_ps(_mm256_set1_ps(-523.7f), k)),
                _mm256_set1_ps(1.161f));
            const __m256 open2 = _mm256_and_ps(mixLanes, clickOpen);
            __m256 click = _mm256_mul_ps(_mm256_setzero_ps(), q2);
            if (any(open2)) {
                const __m256 g2 = floatQuotient8(_mm256_sub_pd(lowToDouble(l.noiseLevel + i), clickOffset),
                                                 _mm256_sub_pd(highToDouble(l.noiseLevel + i), clickOffset),
                                                 1.0 / 470000.0, failed);
                bad = _mm256_or_ps(bad, _mm256_and_ps(open2, failed));
                const __m256 g2q2 = _mm256_mul_ps(g2, q2);
                const __m256 opened2 = floatQuotient8(lowToDouble(g2q2), highToDouble(g2q2), 1.0 / 0.000024, failed);
                bad = _mm256_or_ps(bad, _mm256_and_ps(open2, failed));
                click = _mm256_blendv_ps(click, opened2, open2);
            }
            const __m256d mixK = _mm256_set1_pd(0.3);
            const __m256 mixed = toFloat(_mm256_add_pd(_mm256_mul_pd(mixK, lowToDouble(click)), lowToDouble(tone)),
                                         _mm256_add_pd(_mm256_mul_pd(mixK, highToDouble(click)), highToDouble(tone)));
            m = _mm256_blendv_ps(tone, mixed, mixLanes);
        }
        if (any(bad)) {
            for (int k = i; k < i + 8; ++k)
                out[k] = mixSample(l.osc45[k], l.amp[k], l.noiseLevel[k], l.noiseIn[k], l.clickIn[k], l.fade[k]);
            continue;
        }
        // m / 4 is exact scaling, the same float as m * 0.25; then the de-click bridge in double.
        m = _mm256_mul_ps(m, _mm256_set1_ps(0.25f));
        _mm256_storeu_ps(out + i, toFloat(_mm256_add_pd(lowToDouble(m), _mm256_loadu_pd(l.fade + i)),
                                          _mm256_add_pd(highToDouble(m), _mm256_loadu_pd(l.fade + i + 4))));
    }
    return i;
}

#else

// Without AVX2 the voice never calls these (cpuHasAvx2 is false); every sample takes the other path.
int kt412::noiseAvx2(uint32_t&, float*, int) { return 0; }
int kt412::oscStepsAvx2(const vco&, const float*, double, double, float*, float*, float*, int) { return 0; }
int kt412::oscShapeAvx2(const vco&, const float*, const float*, const float*, float*, int) { return 0; }
int kt412::mixAvx2(const Lanes&, float*, int) const { return 0; }

#endif
