// SSE2 and AVX2 row kernels, bit-exact with the combine rules.
//
// Copy-like rules compute c + (dc - c) * k / 256 truncated toward zero. With
// t = |dc - c| * k >> 8 (|dc - c| * k <= 255 * 256 fits an unsigned 16-bit
// lane) the result is c + t where dc > c and c - t where dc <= c; the sign is
// applied to t with a byte mask m as (t ^ m) - m.
#include "pix/PIX_KernelsSIMD.h"

#include "pix/PIX_KernelsGeneric.h"

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>

using pix_detail::rowBlit;
using pix_detail::rowFill;

namespace {

// ---------------------------------------------------------------- SSE2 -----

// Spreads one factor per pixel (low half of each 32-bit lane) over the four
// channel lanes of the low and high pixel pairs.
inline void spread(__m128i k32, __m128i* klo, __m128i* khi)
{
  const __m128i k16 = _mm_or_si128(k32, _mm_slli_epi32(k32, 16));
  *klo = _mm_unpacklo_epi32(k16, k16);
  *khi = _mm_unpackhi_epi32(k16, k16);
}

inline __m128i mixTowards(__m128i s, __m128i d, __m128i klo, __m128i khi)
{
  const __m128i zero = _mm_setzero_si128();
  const __m128i pos = _mm_subs_epu8(d, s);
  const __m128i diff = _mm_or_si128(pos, _mm_subs_epu8(s, d));
  const __m128i m = _mm_cmpeq_epi8(pos, zero);
  const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(diff, zero), klo), 8);
  const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(diff, zero), khi), 8);
  const __m128i t = _mm_packus_epi16(lo, hi);
  return _mm_add_epi8(s, _mm_sub_epi8(_mm_xor_si128(t, m), m));
}

// copy with source alpha, w = 256: colour c + (dc - c) * (255 - a) / 256,
// alpha min(a + da, 255); a = 0 keeps the pixel, a = 255 gives the source.
void copySAFull4(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i amask = _mm_set1_epi32(0xFF), all255 = _mm_set1_epi32(255);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i a = _mm_and_si128(sv, amask);
    if (_mm_movemask_epi8(_mm_cmpeq_epi32(a, all255)) == 0xFFFF)
    {
      _mm_storeu_si128((__m128i*)(d + i), sv);
      continue;
    }
    const __m128i zeroa = _mm_cmpeq_epi32(a, _mm_setzero_si128());
    if (_mm_movemask_epi8(zeroa) == 0xFFFF) continue;
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    __m128i klo, khi;
    spread(_mm_sub_epi32(all255, a), &klo, &khi);
    __m128i res = mixTowards(sv, dv, klo, khi);
    res = _mm_or_si128(_mm_andnot_si128(amask, res), _mm_and_si128(_mm_adds_epu8(sv, dv), amask));
    res = _mm_or_si128(_mm_and_si128(zeroa, dv), _mm_andnot_si128(zeroa, res));
    _mm_storeu_si128((__m128i*)(d + i), res);
  }
  if (i < n) rowBlit<PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d + i, s + i, n - i, w, mode);
}

// copy with source alpha, w < 256: sw = w * (a + 1) / 256, colour
// c + (dc - c) * (256 - sw) / 256, alpha min(sw + da, 255); a = 0 keeps d.
void copySA4(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i amask = _mm_set1_epi32(0xFF), wv = _mm_set1_epi32(w);
  const __m128i one = _mm_set1_epi32(1), v256 = _mm_set1_epi32(256);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i a = _mm_and_si128(sv, amask);
    const __m128i zeroa = _mm_cmpeq_epi32(a, _mm_setzero_si128());
    if (_mm_movemask_epi8(zeroa) == 0xFFFF) continue;
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    // w * (a + 1) <= 255 * 256 fits the low 16 bits of each lane.
    const __m128i sw = _mm_srli_epi32(_mm_mullo_epi16(_mm_add_epi32(a, one), wv), 8);
    __m128i klo, khi;
    spread(_mm_sub_epi32(v256, sw), &klo, &khi);
    __m128i res = mixTowards(sv, dv, klo, khi);
    res = _mm_or_si128(_mm_andnot_si128(amask, res), _mm_and_si128(_mm_adds_epu8(sw, dv), amask));
    res = _mm_or_si128(_mm_and_si128(zeroa, dv), _mm_andnot_si128(zeroa, res));
    _mm_storeu_si128((__m128i*)(d + i), res);
  }
  if (i < n) rowBlit<PIX_CombinePixelsCopySourceAlphaNoClamp>(d + i, s + i, n - i, w, mode);
}

// copy, w < 256: c + (dc - c) * (256 - w) / 256 on all four channels.
void copyWeight4(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  __m128i klo, khi;
  spread(_mm_set1_epi32(256 - w), &klo, &khi);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    _mm_storeu_si128((__m128i*)(d + i), mixTowards(sv, dv, klo, khi));
  }
  if (i < n) rowBlit<PIX_CombinePixelsCopyNoClamp>(d + i, s + i, n - i, w, mode);
}

// fill in copy mode, w < 256: the copy rule with a constant source whose
// alpha byte is the weight.
void fillCopy4(PIX_pixel* d, int n, PIX_pixel c, int w)
{
  __m128i klo, khi;
  spread(_mm_set1_epi32(256 - w), &klo, &khi);
  const __m128i sv = _mm_set1_epi32((int)((c & 0xFFFFFF00u) | (PIX_pixel)w));
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    _mm_storeu_si128((__m128i*)(d + i), mixTowards(sv, dv, klo, khi));
  }
  if (i < n) rowFill<PIX_CombinePixelsCopyNoClamp>(d + i, n - i, c, w);
}

// add: dc + c * w / 256, saturated (c * w <= 255 * 256 fits 16 bits).
void add4(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i zero = _mm_setzero_si128(), wv = _mm_set1_epi16((short)w);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    const __m128i lo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(sv, zero), wv), 8);
    const __m128i hi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(sv, zero), wv), 8);
    _mm_storeu_si128((__m128i*)(d + i), _mm_adds_epu8(dv, _mm_packus_epi16(lo, hi)));
  }
  if (i < n) rowBlit<PIX_CombinePixelsAdd>(d + i, s + i, n - i, w, mode);
}

// add, w = 256: c * 256 / 256 = c, so a saturating byte add.
void addFull4(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    _mm_storeu_si128((__m128i*)(d + i), _mm_adds_epu8(dv, sv));
  }
  if (i < n) rowBlit<PIX_CombinePixelsAdd>(d + i, s + i, n - i, w, mode);
}

// multiply: dc * f / 65536 with f = (256 - w) * 256 + c * w = 65536 - (256 - c) * w.
// For w >= 1, f fits 16 bits (f = 0 when c = 0 and w = 256 wraps to 0 as it
// should), so the high half of the unsigned product is the truncated result.
void mul4(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i zero = _mm_setzero_si128(), wv = _mm_set1_epi16((short)w), v256 = _mm_set1_epi16(256);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    const __m128i flo = _mm_sub_epi16(zero, _mm_mullo_epi16(_mm_sub_epi16(v256, _mm_unpacklo_epi8(sv, zero)), wv));
    const __m128i fhi = _mm_sub_epi16(zero, _mm_mullo_epi16(_mm_sub_epi16(v256, _mm_unpackhi_epi8(sv, zero)), wv));
    const __m128i lo = _mm_mulhi_epu16(_mm_unpacklo_epi8(dv, zero), flo);
    const __m128i hi = _mm_mulhi_epu16(_mm_unpackhi_epi8(dv, zero), fhi);
    _mm_storeu_si128((__m128i*)(d + i), _mm_packus_epi16(lo, hi));
  }
  if (i < n) rowBlit<PIX_CombinePixelsMulNoClamp>(d + i, s + i, n - i, w, mode);
}

// ---------------------------------------------------------------- AVX2 -----
// The same arithmetic on eight pixels; unpack and pack work within 128-bit
// halves, so pixel order is kept.

#define PIX_AVX2 __attribute__((target("avx2")))

PIX_AVX2 inline void spread8(__m256i k32, __m256i* klo, __m256i* khi)
{
  const __m256i k16 = _mm256_or_si256(k32, _mm256_slli_epi32(k32, 16));
  *klo = _mm256_unpacklo_epi32(k16, k16);
  *khi = _mm256_unpackhi_epi32(k16, k16);
}

PIX_AVX2 inline __m256i mixTowards8(__m256i s, __m256i d, __m256i klo, __m256i khi)
{
  const __m256i zero = _mm256_setzero_si256();
  const __m256i pos = _mm256_subs_epu8(d, s);
  const __m256i diff = _mm256_or_si256(pos, _mm256_subs_epu8(s, d));
  const __m256i m = _mm256_cmpeq_epi8(pos, zero);
  const __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(diff, zero), klo), 8);
  const __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(diff, zero), khi), 8);
  const __m256i t = _mm256_packus_epi16(lo, hi);
  return _mm256_add_epi8(s, _mm256_sub_epi8(_mm256_xor_si256(t, m), m));
}

PIX_AVX2 void copySAFull8(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m256i amask = _mm256_set1_epi32(0xFF), all255 = _mm256_set1_epi32(255);
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i sv = _mm256_loadu_si256((const __m256i*)(s + i));
    const __m256i a = _mm256_and_si256(sv, amask);
    if (_mm256_movemask_epi8(_mm256_cmpeq_epi32(a, all255)) == -1)
    {
      _mm256_storeu_si256((__m256i*)(d + i), sv);
      continue;
    }
    const __m256i zeroa = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
    if (_mm256_movemask_epi8(zeroa) == -1) continue;
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    __m256i klo, khi;
    spread8(_mm256_sub_epi32(all255, a), &klo, &khi);
    __m256i res = mixTowards8(sv, dv, klo, khi);
    res = _mm256_or_si256(_mm256_andnot_si256(amask, res), _mm256_and_si256(_mm256_adds_epu8(sv, dv), amask));
    res = _mm256_blendv_epi8(res, dv, zeroa);
    _mm256_storeu_si256((__m256i*)(d + i), res);
  }
  if (i < n) copySAFull4(d + i, s + i, n - i, w, mode);
}

PIX_AVX2 void copySA8(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m256i amask = _mm256_set1_epi32(0xFF), wv = _mm256_set1_epi32(w);
  const __m256i one = _mm256_set1_epi32(1), v256 = _mm256_set1_epi32(256);
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i sv = _mm256_loadu_si256((const __m256i*)(s + i));
    const __m256i a = _mm256_and_si256(sv, amask);
    const __m256i zeroa = _mm256_cmpeq_epi32(a, _mm256_setzero_si256());
    if (_mm256_movemask_epi8(zeroa) == -1) continue;
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    const __m256i sw = _mm256_srli_epi32(_mm256_mullo_epi16(_mm256_add_epi32(a, one), wv), 8);
    __m256i klo, khi;
    spread8(_mm256_sub_epi32(v256, sw), &klo, &khi);
    __m256i res = mixTowards8(sv, dv, klo, khi);
    res = _mm256_or_si256(_mm256_andnot_si256(amask, res), _mm256_and_si256(_mm256_adds_epu8(sw, dv), amask));
    res = _mm256_blendv_epi8(res, dv, zeroa);
    _mm256_storeu_si256((__m256i*)(d + i), res);
  }
  if (i < n) copySA4(d + i, s + i, n - i, w, mode);
}

PIX_AVX2 void copyWeight8(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  __m256i klo, khi;
  spread8(_mm256_set1_epi32(256 - w), &klo, &khi);
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i sv = _mm256_loadu_si256((const __m256i*)(s + i));
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    _mm256_storeu_si256((__m256i*)(d + i), mixTowards8(sv, dv, klo, khi));
  }
  if (i < n) copyWeight4(d + i, s + i, n - i, w, mode);
}

PIX_AVX2 void fillCopy8(PIX_pixel* d, int n, PIX_pixel c, int w)
{
  __m256i klo, khi;
  spread8(_mm256_set1_epi32(256 - w), &klo, &khi);
  const __m256i sv = _mm256_set1_epi32((int)((c & 0xFFFFFF00u) | (PIX_pixel)w));
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    _mm256_storeu_si256((__m256i*)(d + i), mixTowards8(sv, dv, klo, khi));
  }
  if (i < n) fillCopy4(d + i, n - i, c, w);
}

PIX_AVX2 void add8(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m256i zero = _mm256_setzero_si256(), wv = _mm256_set1_epi16((short)w);
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i sv = _mm256_loadu_si256((const __m256i*)(s + i));
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    const __m256i lo = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpacklo_epi8(sv, zero), wv), 8);
    const __m256i hi = _mm256_srli_epi16(_mm256_mullo_epi16(_mm256_unpackhi_epi8(sv, zero), wv), 8);
    _mm256_storeu_si256((__m256i*)(d + i), _mm256_adds_epu8(dv, _mm256_packus_epi16(lo, hi)));
  }
  if (i < n) add4(d + i, s + i, n - i, w, mode);
}

PIX_AVX2 void addFull8(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i sv = _mm256_loadu_si256((const __m256i*)(s + i));
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    _mm256_storeu_si256((__m256i*)(d + i), _mm256_adds_epu8(dv, sv));
  }
  if (i < n) addFull4(d + i, s + i, n - i, w, mode);
}

PIX_AVX2 void mul8(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m256i zero = _mm256_setzero_si256(), wv = _mm256_set1_epi16((short)w), v256 = _mm256_set1_epi16(256);
  int i = 0;
  for (; i + 8 <= n; i += 8)
  {
    const __m256i sv = _mm256_loadu_si256((const __m256i*)(s + i));
    const __m256i dv = _mm256_loadu_si256((const __m256i*)(d + i));
    const __m256i flo = _mm256_sub_epi16(zero, _mm256_mullo_epi16(_mm256_sub_epi16(v256, _mm256_unpacklo_epi8(sv, zero)), wv));
    const __m256i fhi = _mm256_sub_epi16(zero, _mm256_mullo_epi16(_mm256_sub_epi16(v256, _mm256_unpackhi_epi8(sv, zero)), wv));
    const __m256i lo = _mm256_mulhi_epu16(_mm256_unpacklo_epi8(dv, zero), flo);
    const __m256i hi = _mm256_mulhi_epu16(_mm256_unpackhi_epi8(dv, zero), fhi);
    _mm256_storeu_si256((__m256i*)(d + i), _mm256_packus_epi16(lo, hi));
  }
  if (i < n) mul4(d + i, s + i, n - i, w, mode);
}

constexpr PIX_SimdKernels kSSE2 = {copySAFull4, copySA4, copyWeight4, add4, addFull4, mul4, fillCopy4};
constexpr PIX_SimdKernels kAVX2 = {copySAFull8, copySA8, copyWeight8, add8, addFull8, mul8, fillCopy8};

}  // namespace

int PIX_BestKernelLevel()
{
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2") ? 2 : 1;
}

const PIX_SimdKernels* PIX_GetSimdKernels(int level)
{
  if (level == 1) return &kSSE2;
  if (level == 2 && PIX_BestKernelLevel() >= 2) return &kAVX2;
  return nullptr;
}

#else  // no x86 vector unit: the generic loops serve

int PIX_BestKernelLevel()
{
  return 0;
}
const PIX_SimdKernels* PIX_GetSimdKernels(int)
{
  return nullptr;
}

#endif
