// Row kernels: one specialised loop per combine rule and source-alpha
// variant, word-wide shortcuts, and SSE2 versions of the busiest rules.
#include "pix/PIX_Kernels.h"

#include <cstring>

#include "pix/PIX_Blit.h"
#include "pix/PIX_Combine.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// ---- generic kernels: the rule inlined into its own loop -------------------

template <class R>
void rowBlit(PIX_pixel* d, const PIX_pixel* s, int n, int w, int)
{
  for (int i = 0; i < n; ++i)
  {
    const PIX_pixel p = s[i];
    R::doPix(d + i, PIX_R(p), PIX_G(p), PIX_B(p), PIX_A(p), w);
  }
}

// A fill passes its weight as the source alpha (clamped by the rules that
// store it directly).
template <class R>
void rowFill(PIX_pixel* d, int n, PIX_pixel c, int w)
{
  const int r = PIX_R(c), g = PIX_G(c), b = PIX_B(c);
  for (int i = 0; i < n; ++i) R::doPix(d + i, r, g, b, w, w);
}

// ---- word-wide shortcuts ----------------------------------------------------

// weight 1.0: the rows as they are (memmove: the source may be the same bitmap).
void rowCopy(PIX_pixel* d, const PIX_pixel* s, int n, int, int)
{
  memmove(d, s, (size_t)n * sizeof(PIX_pixel));
}

// weight 0.5: d/2 + s/2 per byte, the low bit of each byte dropped first so
// that nothing carries into the next channel.
void rowHalf(PIX_pixel* d, const PIX_pixel* s, int n, int, int)
{
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + ((s[i] >> 1) & 0x7F7F7F7Fu);
}

// channel copy: source byte (mode & 3) into destination byte ((mode >> 2) & 3).
void rowChanCopy(PIX_pixel* d, const PIX_pixel* s, int n, int, int mode)
{
  const int ss = (mode & 3) * 8, ds = ((mode >> 2) & 3) * 8;
  const PIX_pixel keep = ~((PIX_pixel)0xFF << ds);
  for (int i = 0; i < n; ++i) d[i] = (d[i] & keep) | (((s[i] >> ss) & 0xFF) << ds);
}

// fill 1.0: the colour.
void fill100(PIX_pixel* d, int n, PIX_pixel c, int)
{
  for (int i = 0; i < n; ++i) d[i] = c;
}
// fill 0.75: d/4 + c/2 + c/4.
void fill75(PIX_pixel* d, int n, PIX_pixel c, int)
{
  const PIX_pixel cc = ((c >> 1) & 0x7F7F7F7Fu) + ((c >> 2) & 0x3F3F3F3Fu);
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 2) & 0x3F3F3F3Fu) + cc;
}
// fill 0.5: d/2 + c/2.
void fill50(PIX_pixel* d, int n, PIX_pixel c, int)
{
  const PIX_pixel cc = (c >> 1) & 0x7F7F7F7Fu;
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + cc;
}
// fill 0.25: d/2 + d/4 + c/4.
void fill25(PIX_pixel* d, int n, PIX_pixel c, int)
{
  const PIX_pixel cc = (c >> 2) & 0x3F3F3F3Fu;
  for (int i = 0; i < n; ++i) d[i] = ((d[i] >> 1) & 0x7F7F7F7Fu) + ((d[i] >> 2) & 0x3F3F3F3Fu) + cc;
}

#if defined(__SSE2__)
// ---- SSE2 kernels, four pixels per step, bit-exact with the rules ----------
//
// Copy-like rules compute c + (dc - c) * k / 256 with truncation toward zero.
// Split by sign it is c + (|dc - c| * k >> 8) where dc > c and
// c - (|c - dc| * k >> 8) where c > dc; |dc - c| * k <= 255 * 256 fits 16 bits,
// so both halves are plain unsigned 16-bit multiplies.

inline __m128i lowByteMask() { return _mm_set1_epi32(0xFF); }

// Spreads one 16-bit factor per pixel (in the low half of each 32-bit lane)
// over the four channel lanes of the low and high pixel pairs.
inline void spreadFactor(__m128i k32, __m128i* klo, __m128i* khi)
{
  const __m128i k16 = _mm_or_si128(k32, _mm_slli_epi32(k32, 16));
  *klo = _mm_unpacklo_epi32(k16, k16);
  *khi = _mm_unpackhi_epi32(k16, k16);
}

// c + (dc - c) * k / 256 on every byte, k per pixel spread by spreadFactor.
inline __m128i mixTowards(__m128i s, __m128i d, __m128i klo, __m128i khi)
{
  const __m128i zero = _mm_setzero_si128();
  const __m128i pos = _mm_subs_epu8(d, s);
  const __m128i neg = _mm_subs_epu8(s, d);
  const __m128i plo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(pos, zero), klo), 8);
  const __m128i phi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(pos, zero), khi), 8);
  const __m128i nlo = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(neg, zero), klo), 8);
  const __m128i nhi = _mm_srli_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(neg, zero), khi), 8);
  return _mm_sub_epi8(_mm_add_epi8(s, _mm_packus_epi16(plo, phi)), _mm_packus_epi16(nlo, nhi));
}

// copy with source alpha at w = 256 (PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp):
// colour c + (dc - c) * (255 - a) / 256, alpha min(a + da, 255), a = 0 keeps d.
// a = 255 gives k = 0, i.e. the source with alpha 255, as the rule's replace.
void rowCopySAFullSSE2(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i amask = lowByteMask();
  const __m128i all255 = _mm_set1_epi32(255);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i a = _mm_and_si128(sv, amask);
    const int opaque = _mm_movemask_epi8(_mm_cmpeq_epi32(a, all255));
    if (opaque == 0xFFFF)
    {
      _mm_storeu_si128((__m128i*)(d + i), sv);
      continue;
    }
    const __m128i zeroa = _mm_cmpeq_epi32(a, _mm_setzero_si128());
    if (_mm_movemask_epi8(zeroa) == 0xFFFF) continue;
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    __m128i klo, khi;
    spreadFactor(_mm_sub_epi32(all255, a), &klo, &khi);
    __m128i res = mixTowards(sv, dv, klo, khi);
    const __m128i na = _mm_and_si128(_mm_adds_epu8(sv, dv), amask);
    res = _mm_or_si128(_mm_andnot_si128(amask, res), na);
    res = _mm_or_si128(_mm_and_si128(zeroa, dv), _mm_andnot_si128(zeroa, res));
    _mm_storeu_si128((__m128i*)(d + i), res);
  }
  if (i < n) rowBlit<PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>(d + i, s + i, n - i, w, mode);
}

// copy with source alpha, w < 256 (PIX_CombinePixelsCopySourceAlphaNoClamp):
// sw = w * (a + 1) / 256, colour c + (dc - c) * (256 - sw) / 256,
// alpha min(sw + da, 255), a = 0 keeps d.
void rowCopySASSE2(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i amask = lowByteMask();
  const __m128i wv = _mm_set1_epi32(w);
  const __m128i one = _mm_set1_epi32(1);
  const __m128i v256 = _mm_set1_epi32(256);
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
    spreadFactor(_mm_sub_epi32(v256, sw), &klo, &khi);
    __m128i res = mixTowards(sv, dv, klo, khi);
    const __m128i na = _mm_and_si128(_mm_adds_epu8(sw, dv), amask);
    res = _mm_or_si128(_mm_andnot_si128(amask, res), na);
    res = _mm_or_si128(_mm_and_si128(zeroa, dv), _mm_andnot_si128(zeroa, res));
    _mm_storeu_si128((__m128i*)(d + i), res);
  }
  if (i < n) rowBlit<PIX_CombinePixelsCopySourceAlphaNoClamp>(d + i, s + i, n - i, w, mode);
}

// copy, w < 256 (PIX_CombinePixelsCopyNoClamp): c + (dc - c) * (256 - w) / 256
// on all four channels.
void rowCopyWeightSSE2(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  __m128i klo, khi;
  spreadFactor(_mm_set1_epi32(256 - w), &klo, &khi);
  int i = 0;
  for (; i + 4 <= n; i += 4)
  {
    const __m128i sv = _mm_loadu_si128((const __m128i*)(s + i));
    const __m128i dv = _mm_loadu_si128((const __m128i*)(d + i));
    _mm_storeu_si128((__m128i*)(d + i), mixTowards(sv, dv, klo, khi));
  }
  if (i < n) rowBlit<PIX_CombinePixelsCopyNoClamp>(d + i, s + i, n - i, w, mode);
}

// add (PIX_CombinePixelsAdd): dc + c * w / 256, saturated.
void rowAddSSE2(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i zero = _mm_setzero_si128();
  const __m128i wv = _mm_set1_epi16((short)w);
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

// multiply (PIX_CombinePixelsMulNoClamp): dc * f / 65536 with
// f = (256 - w) * 256 + c * w = 65536 - (256 - c) * w. For w >= 1 f fits 16
// bits (f = 0 when c = 0 and w = 256 wraps to 0 as it should), so the high
// half of an unsigned 16-bit product is exactly the truncated quotient.
void rowMulSSE2(PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  const __m128i zero = _mm_setzero_si128();
  const __m128i wv = _mm_set1_epi16((short)w);
  const __m128i v256 = _mm_set1_epi16(256);
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
#endif

PIX_RowBlitFn selectRule(int mode, int w, bool fast)
{
  const bool sa = (mode & PIX_BLIT_USE_SRC_ALPHA) != 0;
  (void)fast;
  switch (mode & PIX_BLIT_MODE_MASK)
  {
    case PIX_BLIT_MODE_COPY:
      if (sa)
      {
        if (w >= 256)
        {
#if defined(__SSE2__)
          if (fast) return rowCopySAFullSSE2;
#endif
          return rowBlit<PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp>;
        }
#if defined(__SSE2__)
        if (fast) return rowCopySASSE2;
#endif
        return rowBlit<PIX_CombinePixelsCopySourceAlphaNoClamp>;
      }
      if (w >= 256) return rowBlit<PIX_CombinePixelsClobberNoClamp>;
#if defined(__SSE2__)
      if (fast) return rowCopyWeightSSE2;
#endif
      return rowBlit<PIX_CombinePixelsCopyNoClamp>;
    case PIX_BLIT_MODE_ADD:
      if (sa) return rowBlit<PIX_CombinePixelsAddSourceAlpha>;
#if defined(__SSE2__)
      if (fast) return rowAddSSE2;
#endif
      return rowBlit<PIX_CombinePixelsAdd>;
    case PIX_BLIT_MODE_DODGE:
      return sa ? rowBlit<PIX_CombinePixelsColorDodgeSourceAlpha> : rowBlit<PIX_CombinePixelsColorDodge>;
    case PIX_BLIT_MODE_MUL:
      if (sa) return rowBlit<PIX_CombinePixelsMulSourceAlphaNoClamp>;
#if defined(__SSE2__)
      if (fast) return rowMulSSE2;
#endif
      return rowBlit<PIX_CombinePixelsMulNoClamp>;
    case PIX_BLIT_MODE_OVERLAY:
      return sa ? rowBlit<PIX_CombinePixelsOverlaySourceAlpha> : rowBlit<PIX_CombinePixelsOverlay>;
    case PIX_BLIT_MODE_HSVADJ:
      return sa ? rowBlit<PIX_CombinePixelsHSVAdjustSourceAlpha> : rowBlit<PIX_CombinePixelsHSVAdjust>;
    default:
      return nullptr;
  }
}

// Integer weight from a float weight; NaN and negative weights give 0, and
// weights above 1.0 are held at 256 so that no rule extrapolates.
int weightOf(float alpha)
{
  if (!(alpha > 0.0f)) return 0;
  if (alpha >= 1.0f) return 256;
  return (int)(alpha * 256.0f);
}

}  // namespace

PIX_RowBlitFn PIX_SelectRowBlit(float alpha, int mode, int* w)
{
  *w = 0;
  if (!(alpha > 0.0f)) return nullptr;
  const int low = mode & PIX_BLIT_MODE_MASK;
  if (low >= PIX_BLIT_MODE_CHANCOPY_BASE)
  {
    *w = 256;
    return rowChanCopy;
  }
  if (low == PIX_BLIT_MODE_COPY && !(mode & PIX_BLIT_USE_SRC_ALPHA))
  {
    if (alpha == 1.0f)
    {
      *w = 256;
      return rowCopy;
    }
    if (alpha == 0.5f)
    {
      *w = 128;
      return rowHalf;
    }
  }
  *w = weightOf(alpha);
  if (*w == 0) return nullptr;
  return selectRule(mode, *w, true);
}

PIX_RowBlitFn PIX_SelectRowBlitReference(int mode, int w)
{
  if (w <= 0) return nullptr;
  if ((mode & PIX_BLIT_MODE_MASK) >= PIX_BLIT_MODE_CHANCOPY_BASE) return rowChanCopy;
  return selectRule(mode, w > 256 ? 256 : w, false);
}

PIX_RowFillFn PIX_SelectRowFill(float alpha, int mode, int* w)
{
  *w = weightOf(alpha);
  if (*w == 0) return nullptr;
  const bool sa = (mode & PIX_BLIT_USE_SRC_ALPHA) != 0;
  (void)sa;  // the caller has already folded the colour's alpha into the weight
  switch (mode & PIX_BLIT_MODE_MASK)
  {
    case PIX_BLIT_MODE_COPY:
      if (alpha == 1.0f || *w >= 256) return fill100;
      if (alpha == 0.75f) return fill75;
      if (alpha == 0.5f) return fill50;
      if (alpha == 0.25f) return fill25;
      return rowFill<PIX_CombinePixelsCopyNoClamp>;
    case PIX_BLIT_MODE_ADD: return rowFill<PIX_CombinePixelsAdd>;
    case PIX_BLIT_MODE_DODGE: return rowFill<PIX_CombinePixelsColorDodge>;
    case PIX_BLIT_MODE_MUL: return rowFill<PIX_CombinePixelsMulNoClamp>;
    case PIX_BLIT_MODE_OVERLAY: return rowFill<PIX_CombinePixelsOverlay>;
    case PIX_BLIT_MODE_HSVADJ: return rowFill<PIX_CombinePixelsHSVAdjust>;
    default: return nullptr;
  }
}
