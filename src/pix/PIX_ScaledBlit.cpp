// Scaled and rotated blits: source positions stepped in 16.16 fixed point,
// sampled nearest, bilinear or box-averaged into a row buffer that the blit's
// row kernel then combines into the destination.
#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>

#include "pix/PIX_Blit.h"
#include "pix/PIX_Kernels.h"
#include "pix/PIX_View.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

constexpr int kChunk = 256;  // pixels sampled per call of the row kernel

// Bilinear mix of four pixels with 8-bit fractions fx, fy (0-255). Red/blue
// and alpha/green are handled two channels per word: each 8-bit channel
// times a weight of at most 256 still fits its 16-bit lane.
inline PIX_pixel mix2(PIX_pixel a, PIX_pixel b, int f)
{
  const uint32_t fa = 256 - f, fb = f;
  const uint32_t lo = (((a & 0x00FF00FFu) * fa + (b & 0x00FF00FFu) * fb) >> 8) & 0x00FF00FFu;
  const uint32_t hi = ((((a >> 8) & 0x00FF00FFu) * fa + ((b >> 8) & 0x00FF00FFu) * fb)) & 0xFF00FF00u;
  return lo | hi;
}
inline PIX_pixel bilinear(PIX_pixel p00, PIX_pixel p01, PIX_pixel p10, PIX_pixel p11, int fx, int fy)
{
  return mix2(mix2(p00, p01, fx), mix2(p10, p11, fx), fy);
}

inline int clampi(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

// Bilinear mix of r0[x], r0[x + 1], r1[x], r1[x + 1]: the same arithmetic as
// bilinear() (horizontal first, each step (a * (256 - f) + b * f) >> 8 per
// channel, which never exceeds 16 bits), two pixels per 64-bit load.
#if defined(__SSE2__)
// Weights (256 - f) for the first pixel's four lanes and f for the second's.
inline __m128i pairWeights(int f)
{
  return _mm_unpacklo_epi64(_mm_set1_epi16((short)(256 - f)), _mm_set1_epi16((short)f));
}
inline PIX_pixel bilinearPairW(const PIX_pixel* r0, const PIX_pixel* r1, int x, __m128i wx, __m128i wy)
{
  const __m128i zero = _mm_setzero_si128();
  const __m128i t = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(r0 + x)), zero);
  const __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64((const __m128i*)(r1 + x)), zero);
  const __m128i pt = _mm_mullo_epi16(t, wx), pb = _mm_mullo_epi16(b, wx);
  // [top left * wx0 + top right * wx1, bottom likewise] >> 8
  const __m128i h = _mm_srli_epi16(_mm_add_epi16(_mm_unpacklo_epi64(pt, pb), _mm_unpackhi_epi64(pt, pb)), 8);
  const __m128i pv = _mm_mullo_epi16(h, wy);
  const __m128i v = _mm_srli_epi16(_mm_add_epi16(pv, _mm_srli_si128(pv, 8)), 8);
  return (PIX_pixel)_mm_cvtsi128_si32(_mm_packus_epi16(v, zero));
}
#endif
inline PIX_pixel bilinearPair(const PIX_pixel* r0, const PIX_pixel* r1, int x, int fx, int fy)
{
#if defined(__SSE2__)
  return bilinearPairW(r0, r1, x, pairWeights(fx), pairWeights(fy));
#else
  return bilinear(r0[x], r0[x + 1], r1[x], r1[x + 1], fx, fy);
#endif
}

// Source-side description of one axis: 16.16 sample centre of destination
// pixel 0, the step per destination pixel, and the usable source range.
struct Axis
{
  int64_t c0 = 0;    // centre of destination pixel 0, 16.16
  int64_t step = 0;  // per destination pixel, 16.16 (negative when mirrored)
  int lo = 0, hi = 0;  // usable source indices [lo, hi)

  int64_t centre(int i) const { return c0 + step * i; }
  int index(int i) const { return (int)(centre(i) >> 16); }
  bool valid(int i) const
  {
    const int64_t c = centre(i) >> 16;
    return c >= lo && c < hi;
  }
};

// Source axis for destination pixels 0..n-1 over source start..start+len
// (len may be negative: mirrored), clipped to [0, size).
Axis makeAxis(float start, float len, int n, int size)
{
  Axis a;
  const double adv = (double)len / n;
  a.step = (int64_t)llround(adv * 65536.0);
  a.c0 = (int64_t)llround(((double)start + adv * 0.5) * 65536.0);
  const double e0 = len >= 0 ? start : start + len, e1 = len >= 0 ? start + len : start;
  a.lo = (int)std::max(0.0, std::floor(e0));
  a.hi = (int)std::min((double)size, std::ceil(e1));
  return a;
}

// The destination range [i0, i1) of 0..n-1 whose pixels lie inside the
// destination (offset org, size dsize) and whose samples fall inside the source.
void validRange(const Axis& a, long long org, int n, int dsize, int* i0, int* i1)
{
  const long long lb = org < 0 ? -org : 0, le = std::min((long long)dsize - org, (long long)n);
  if (lb >= le)
  {
    *i0 = *i1 = 0;
    return;
  }
  int b = (int)lb, e = (int)le;
  while (b < e && !a.valid(b)) ++b;
  while (e > b && !a.valid(e - 1)) --e;
  *i0 = b;
  *i1 = e;
}

struct ScaleJob
{
  PIX_View sv;
  Axis ax, ay;
};

// Nearest source pixel.
void sampleNearest(const ScaleJob& j, int dy, int i0, int n, PIX_pixel* out)
{
  const PIX_pixel* row = j.sv.row(j.ay.index(dy));
  int64_t c = j.ax.centre(i0);
  for (int i = 0; i < n; ++i, c += j.ax.step) out[i] = row[c >> 16];
}

// Bilinear: the four pixels around the sample position (centre - 0.5),
// neighbours held inside the usable source range.
void sampleBilinear(const ScaleJob& j, int dy, int i0, int n, PIX_pixel* out)
{
  const int64_t py = j.ay.centre(dy) - 32768;
  const int y0 = clampi((int)(py >> 16), j.ay.lo, j.ay.hi - 1);
  const int y1 = clampi((int)(py >> 16) + 1, j.ay.lo, j.ay.hi - 1);
  const int fy = py < ((int64_t)j.ay.lo << 16) ? 0 : (int)((py >> 8) & 0xFF);
  const PIX_pixel* r0 = j.sv.row(y0);
  const PIX_pixel* r1 = j.sv.row(y1);
  int64_t px = j.ax.centre(i0) - 32768;
#if defined(__SSE2__)
  const __m128i wy = pairWeights(fy);
#endif
  for (int i = 0; i < n; ++i, px += j.ax.step)
  {
    const int xi = (int)(px >> 16);
    const int fx = (int)((px >> 8) & 0xFF);
    if (xi >= j.ax.lo && xi + 1 < j.ax.hi)
    {
#if defined(__SSE2__)
      out[i] = bilinearPairW(r0, r1, xi, pairWeights(fx), wy);
#else
      out[i] = bilinearPair(r0, r1, xi, fx, fy);
#endif
      continue;
    }
    const int x0 = clampi(xi, j.ax.lo, j.ax.hi - 1), x1 = clampi(xi + 1, j.ax.lo, j.ax.hi - 1);
    out[i] = bilinear(r0[x0], r0[x1], r1[x0], r1[x1], fx, fy);
  }
}

// Shrinking with the filter: the average of the source pixels that the
// destination pixel covers (at least one per axis).
void cover(const Axis& a, int i, int* b, int* e)
{
  int64_t s = a.centre(i) - a.step / 2, t = s + a.step;
  if (t < s) std::swap(s, t);
  int lo = (int)(s >> 16), hi = (int)((t + 65535) >> 16);
  lo = clampi(lo, a.lo, a.hi - 1);
  hi = clampi(hi, lo + 1, a.hi);
  *b = lo;
  *e = hi;
}
void sampleBox(const ScaleJob& j, int dy, int i0, int n, PIX_pixel* out)
{
  int yb, ye;
  cover(j.ay, dy, &yb, &ye);
  for (int i = 0; i < n; ++i)
  {
    int xb, xe;
    cover(j.ax, i0 + i, &xb, &xe);
    uint32_t sa = 0, sr = 0, sg = 0, sb = 0;
    for (int y = yb; y < ye; ++y)
    {
      const PIX_pixel* row = j.sv.row(y);
      for (int x = xb; x < xe; ++x)
      {
        const PIX_pixel p = row[x];
        sa += PIX_A(p);
        sr += PIX_R(p);
        sg += PIX_G(p);
        sb += PIX_B(p);
      }
    }
    const uint32_t cnt = (uint32_t)((ye - yb) * (xe - xb));
    out[i] = PIX_RGBA((int)(sr / cnt), (int)(sg / cnt), (int)(sb / cnt), (int)(sa / cnt));
  }
}

// Source coordinates beyond this cannot address any pixel and would overflow
// the fixed-point arithmetic.
bool usable(float v)
{
  return std::fabs(v) < 1.0e7f;
}

bool nearWhole(float v, float tol)
{
  return std::fabs(v - std::floor(v + 0.5f)) < tol;
}

}  // namespace

void PIX_ScaledBlit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, float alpha, int mode)
{
  if (!dest || !src || dstw == 0 || dsth == 0 || !(alpha > 0.0f)) return;
  if (!usable(srcx) || !usable(srcy) || !usable(srcw) || !usable(srch)) return;
  const bool filter = (mode & PIX_BLIT_FILTER_BILINEAR) != 0;

  // Same size: a plain blit, unless the filter would have to interpolate
  // between source pixels.
  if (std::fabs(dstw - srcw) < 0.001f && std::fabs(dsth - srch) < 0.001f &&
      (!filter || (nearWhole(srcx, 0.03f) && nearWhole(srcy, 0.03f))))
  {
    // Rounded to the nearest pixel (floor, so that negative positions round
    // the same way as positive ones).
    PIX_Blit(dest, src, dstx, dsty, (int)std::floor(srcx + 0.5f), (int)std::floor(srcy + 0.5f), dstw,
             dsth, alpha, mode);
    return;
  }

  ScaleJob j;
  PIX_View dv;
  if (!dv.from(dest) || !j.sv.from(src)) return;
  if (dstw == INT_MIN || dsth == INT_MIN) return;

  // A negative destination size mirrors: the rectangle extends the other
  // way and the source is walked backwards. 64-bit: the moved origin may
  // leave the int range.
  long long ox = dstx, oy = dsty;
  if (dstw < 0)
  {
    dstw = -dstw;
    ox -= dstw;
    srcx += srcw;
    srcw = -srcw;
  }
  if (dsth < 0)
  {
    dsth = -dsth;
    oy -= dsth;
    srcy += srch;
    srch = -srch;
  }
  if (srcw == 0.0f || srch == 0.0f) return;

  int w = 0;
  const PIX_RowBlitFn fn = PIX_SelectRowBlit(alpha, mode, &w);
  if (!fn) return;

  j.ax = makeAxis(srcx, srcw, dstw, j.sv.w);
  j.ay = makeAxis(srcy, srch, dsth, j.sv.h);
  if (j.ax.lo >= j.ax.hi || j.ay.lo >= j.ay.hi) return;
  int x0, x1, y0, y1;
  validRange(j.ax, ox, dstw, dv.w, &x0, &x1);
  validRange(j.ay, oy, dsth, dv.h, &y0, &y1);
  if (x0 >= x1 || y0 >= y1) return;

  void (*sample)(const ScaleJob&, int, int, int, PIX_pixel*) = sampleNearest;
  if (filter)
  {
    const bool shrink = j.ax.step > 65536 || j.ax.step < -65536 || j.ay.step > 65536 || j.ay.step < -65536;
    sample = shrink ? sampleBox : sampleBilinear;
  }

  PIX_pixel buf[kChunk];
  for (int y = y0; y < y1; ++y)
  {
    PIX_pixel* drow = dv.row((int)(oy + y));
    for (int x = x0; x < x1; x += kChunk)
    {
      const int n = x1 - x < kChunk ? x1 - x : kChunk;
      sample(j, y, x, n, buf);
      fn(drow + (ox + x), buf, n, w, mode);
    }
  }
}

void PIX_RotatedBlit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                     float srcx, float srcy, float srcw, float srch, float angle,
                     bool cliptosourcerect, float alpha, int mode, float rotxcent, float rotycent)
{
  if (!dest || !src || dstw == 0 || dsth == 0) return;
  if (!usable(srcx) || !usable(srcy) || !usable(srcw) || !usable(srch) || !std::isfinite(angle) ||
      !usable(rotxcent) || !usable(rotycent))
    return;
  if (srcw == 0.0f || srch == 0.0f) return;
  PIX_View dv, sv;
  if (!dv.from(dest) || !sv.from(src)) return;
  int w = 0;
  const PIX_RowBlitFn fn = PIX_SelectRowBlit(alpha, mode, &w);
  if (!fn) return;

  const double xsc = (double)srcw / dstw, ysc = (double)srch / dsth;
  // The destination rectangle in 64 bits (mirroring moves its origin).
  long long ox = dstx, oy = dsty, ow = dstw, oh = dsth;
  if (ow < 0)
  {
    ow = -ow;
    ox -= ow;
  }
  if (oh < 0)
  {
    oh = -oh;
    oy -= oh;
  }

  // Usable source area: the bitmap, or its intersection with the rectangle.
  int lx = 0, ly = 0, hx = sv.w, hy = sv.h;
  if (cliptosourcerect)
  {
    const float ax = std::min(srcx, srcx + srcw), bx = std::max(srcx, srcx + srcw);
    const float ay = std::min(srcy, srcy + srch), by = std::max(srcy, srcy + srch);
    lx = std::max(lx, (int)std::floor(ax));
    ly = std::max(ly, (int)std::floor(ay));
    hx = std::min(hx, (int)std::ceil(bx));
    hy = std::min(hy, (int)std::ceil(by));
    if (lx >= hx || ly >= hy) return;
  }

  // Source position s = Cs + R(-angle) * S * (p - Cd): Cs the source
  // rectangle's centre plus the displacement, Cd the destination's centre
  // plus the displacement in destination pixels, S the scale (negative when
  // mirrored). A positive angle turns the image clockwise on screen.
  const double ca = std::cos((double)angle), sa = std::sin((double)angle);
  const double csx = srcx + srcw * 0.5 + rotxcent, csy = srcy + srch * 0.5 + rotycent;
  // The pivot is where the unrotated blit puts the displaced source centre:
  // on the mirrored side when that axis is mirrored (signed scale), so that
  // at angle 0 the rectangles map onto each other whatever the displacement.
  const double cdx = ox + ow * 0.5 + rotxcent / xsc;
  const double cdy = oy + oh * 0.5 + rotycent / ysc;
  const double dxdi = ca * xsc, dydi = -sa * xsc;  // per destination column
  const double dxdj = sa * ysc, dydj = ca * ysc;   // per destination row
  const int64_t sxi = (int64_t)(dxdi * 65536.0), syi = (int64_t)(dydi * 65536.0);
  const bool filter = (mode & PIX_BLIT_FILTER_BILINEAR) != 0;
  // Bilinear samples sit half a pixel up and left of the centre.
  const double half = filter ? 0.5 : 0.0;

  const int bx0 = (int)std::max(ox, 0LL), bx1 = (int)std::min(ox + ow, (long long)dv.w);
  const int by0 = (int)std::max(oy, 0LL), by1 = (int)std::min(oy + oh, (long long)dv.h);
  if (bx0 >= bx1 || by0 >= by1) return;

  PIX_pixel buf[kChunk];
  for (int y = by0; y < by1; ++y)
  {
    const double py = y + 0.5 - cdy, px = bx0 + 0.5 - cdx;
    const double fx = std::floor((csx + dxdi * px + dxdj * py - half) * 65536.0 + 0.5);
    const double fy = std::floor((csy + dydi * px + dydj * py - half) * 65536.0 + 0.5);
    if (std::fabs(fx) > 1.0e18 || std::fabs(fy) > 1.0e18) continue;  // far outside the source
    int64_t sx = (int64_t)fx, sy = (int64_t)fy;
    PIX_pixel* drow = dv.row(y);
    int run = 0, runStart = bx0;
    for (int x = bx0; x < bx1; ++x, sx += sxi, sy += syi)
    {
      // Validity is judged at the sample centre.
      const int64_t cx = filter ? sx + 32768 : sx, cy = filter ? sy + 32768 : sy;
      const int ix = (int)(cx >> 16), iy = (int)(cy >> 16);
      const bool ok = (cx >> 16) >= lx && (cx >> 16) < hx && (cy >> 16) >= ly && (cy >> 16) < hy;
      if (ok)
      {
        if (run == 0) runStart = x;
        if (filter)
        {
          const int fx = (int)((sx >> 8) & 0xFF), fy = (int)((sy >> 8) & 0xFF);
          const int y0 = clampi((int)(sy >> 16), ly, hy - 1), y1 = clampi((int)(sy >> 16) + 1, ly, hy - 1);
          const PIX_pixel* r0 = sv.row(y0);
          const PIX_pixel* r1 = sv.row(y1);
          const int xi = (int)(sx >> 16);
          if (xi >= lx && xi + 1 < hx)
          {
            buf[run] = bilinearPair(r0, r1, xi, fx, fy);
          }
          else
          {
            const int x0 = clampi(xi, lx, hx - 1), x1 = clampi(xi + 1, lx, hx - 1);
            buf[run] = bilinear(r0[x0], r0[x1], r1[x0], r1[x1], fx, fy);
          }
        }
        else
        {
          buf[run] = sv.row(iy)[ix];
        }
        ++run;
      }
      if ((!ok || run == kChunk || x + 1 == bx1) && run > 0)
      {
        fn(drow + runStart, buf, run, w, mode);
        run = 0;
      }
    }
  }
}
