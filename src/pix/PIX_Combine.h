// Per-pixel combine rules: how one source colour lands on a destination pixel.
//
// Each rule is a class with one static inline doPix(dest, r, g, b, a, w): r, g,
// b, a are the source channels (0-255; a fill passes its weight as a) and w is
// the weight 0-256 (alpha * 256, truncated). The blit and fill kernels are
// templates over these classes, so the rule is picked once per call and each
// inner loop is specialised. Divisions truncate toward zero, as C++ does.
// "NoClamp" rules store the low 8 bits of each result (their results are in
// range for in-range inputs); "Clamp" twins limit each channel to 0-255 for
// callers (gradients) whose inputs may leave the range.
#pragma once

#include "pix/PIX_Bitmap.h"

namespace pix_detail {
constexpr int clamp255(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline PIX_pixel packClamp(int r, int g, int b, int a)
{
  return PIX_RGBA(clamp255(r), clamp255(g), clamp255(b), clamp255(a));
}
// c + (dc - c) * (256 - w) / 256: moves from the source towards the
// destination by the weight left over.
constexpr int mixCopy(int c, int dc, int inv) { return c + (dc - c) * inv / 256; }
}  // namespace pix_detail

// copy, w = 256: every channel replaced.
struct PIX_CombinePixelsClobberNoClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int)
  {
    *dest = PIX_RGBA(r, g, b, a);
  }
};
struct PIX_CombinePixelsClobberClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int)
  {
    *dest = pix_detail::packClamp(r, g, b, a);
  }
};

// copy: c + (dc - c) * (256 - w) / 256 on all four channels.
struct PIX_CombinePixelsCopyNoClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    const int inv = 256 - w;
    *dest = PIX_RGBA(pix_detail::mixCopy(r, PIX_R(d), inv), pix_detail::mixCopy(g, PIX_G(d), inv),
                     pix_detail::mixCopy(b, PIX_B(d), inv), pix_detail::mixCopy(a, PIX_A(d), inv));
  }
};
struct PIX_CombinePixelsCopyClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    const int inv = 256 - w;
    *dest = pix_detail::packClamp(
        pix_detail::mixCopy(r, PIX_R(d), inv), pix_detail::mixCopy(g, PIX_G(d), inv),
        pix_detail::mixCopy(b, PIX_B(d), inv), pix_detail::mixCopy(a, PIX_A(d), inv));
  }
};

// half mix: (c + dc) / 2 per channel.
struct PIX_CombinePixelsHalfMixNoClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int)
  {
    const PIX_pixel d = *dest;
    *dest = PIX_RGBA((r + PIX_R(d)) / 2, (g + PIX_G(d)) / 2, (b + PIX_B(d)) / 2, (a + PIX_A(d)) / 2);
  }
};

// add: dc + c * w / 256, clamped.
struct PIX_CombinePixelsAdd
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    *dest = pix_detail::packClamp(PIX_R(d) + r * w / 256, PIX_G(d) + g * w / 256,
                                  PIX_B(d) + b * w / 256, PIX_A(d) + a * w / 256);
  }
};

// colour dodge: s = c * w / 256; s > 254 gives dc * 256, else dc * 256 / (256 - s);
// clamped. The destination brightens the more, the brighter the source.
struct PIX_CombinePixelsColorDodge
{
  static inline int ch(int c, int dc, int w)
  {
    const int s = c * w / 256;
    return s > 254 ? dc * 256 : dc * 256 / (256 - s);
  }
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    *dest = pix_detail::packClamp(ch(r, PIX_R(d), w), ch(g, PIX_G(d), w), ch(b, PIX_B(d), w),
                                  ch(a, PIX_A(d), w));
  }
};

// multiply: dc * ((256 - w) * 256 + c * w) / 65536. The factor runs from 1.0
// (w = 0) to c / 256 (w = 256), so white on white gives 254.
struct PIX_CombinePixelsMulNoClamp
{
  static inline int ch(int c, int dc, int inv, int w) { return dc * (inv * 256 + c * w) / 65536; }
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    const int inv = 256 - w;
    *dest = PIX_RGBA(ch(r, PIX_R(d), inv, w), ch(g, PIX_G(d), inv, w), ch(b, PIX_B(d), inv, w),
                     ch(a, PIX_A(d), inv, w));
  }
};
struct PIX_CombinePixelsMulClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    const int inv = 256 - w;
    using M = PIX_CombinePixelsMulNoClamp;
    *dest = pix_detail::packClamp(M::ch(r, PIX_R(d), inv, w), M::ch(g, PIX_G(d), inv, w),
                                  M::ch(b, PIX_B(d), inv, w), M::ch(a, PIX_A(d), inv, w));
  }
};

// overlay: with m = (256 - w) * 128 and s = c * w,
// dc * (dc * (32768 - s - m) / 256 + s + m) / 32768, clamped. At full weight a
// source of 128 leaves dc, darker sources multiply, brighter ones screen.
struct PIX_CombinePixelsOverlay
{
  static inline int ch(int c, int dc, int m, int w)
  {
    const int s = c * w;
    return dc * (dc * (32768 - s - m) / 256 + s + m) / 32768;
  }
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    const int m = (256 - w) * 128;
    *dest = pix_detail::packClamp(ch(r, PIX_R(d), m, w), ch(g, PIX_G(d), m, w),
                                  ch(b, PIX_B(d), m, w), ch(a, PIX_A(d), m, w));
  }
};

// HSV adjust helpers. Hue runs 0-383 in six sectors of 64, saturation and
// value 0-255. PIX_RGB2HSV_invtab[i] = 65536 / i (rounded), [0] = 0, turns the
// divisions by the channel range into multiplications.
extern const int PIX_RGB2HSV_invtab[256];
void PIX_RGB2HSV(int r, int g, int b, int* h, int* s, int* v);
void PIX_HSV2RGB(int h, int s, int v, int* r, int* g, int* b);

// HSV adjust: hue += w * (r + r/2 - 192) / 256 (wrapped into 0-383),
// saturation += w * (g - 128) / 128, value += w * (b - 128) / 128 (clamped);
// the alpha becomes a. A neutral source (128, 128, 128) keeps the colour
// exactly (the integer HSV round trip would lose a little).
struct PIX_CombinePixelsHSVAdjust
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    const PIX_pixel d = *dest;
    const int dh = w * (r + r / 2 - 192) / 256;
    const int ds = w * (g - 128) / 128;
    const int dv = w * (b - 128) / 128;
    const int alpha = pix_detail::clamp255(a);
    if (dh == 0 && ds == 0 && dv == 0)
    {
      *dest = (d & 0xFFFFFF00u) | (PIX_pixel)alpha;
      return;
    }
    int h, s, v;
    PIX_RGB2HSV(PIX_R(d), PIX_G(d), PIX_B(d), &h, &s, &v);
    h += dh;
    if (h < 0) h += 384;
    else if (h >= 384) h -= 384;
    s = pix_detail::clamp255(s + ds);
    v = pix_detail::clamp255(v + dv);
    int nr, ng, nb;
    PIX_HSV2RGB(h, s, v, &nr, &ng, &nb);
    *dest = PIX_RGBA(nr, ng, nb, alpha);
  }
};

// Source-alpha classes: the source pixel's alpha a scales the weight to
// w * (a + 1) / 256; copy, add and multiply leave the destination alone for a = 0.

// copy with source alpha: colour as copy at the scaled weight; the alpha
// channel accumulates coverage: min(scaled weight + da, 255).
struct PIX_CombinePixelsCopySourceAlphaNoClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    const PIX_pixel d = *dest;
    const int sw = w * (a + 1) / 256;
    const int inv = 256 - sw;
    const int na = sw + PIX_A(d);
    *dest = PIX_RGBA(pix_detail::mixCopy(r, PIX_R(d), inv), pix_detail::mixCopy(g, PIX_G(d), inv),
                     pix_detail::mixCopy(b, PIX_B(d), inv), na > 255 ? 255 : na);
  }
};
struct PIX_CombinePixelsCopySourceAlphaClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    const PIX_pixel d = *dest;
    const int sw = w * (a + 1) / 256;
    const int inv = 256 - sw;
    *dest = pix_detail::packClamp(
        pix_detail::mixCopy(r, PIX_R(d), inv), pix_detail::mixCopy(g, PIX_G(d), inv),
        pix_detail::mixCopy(b, PIX_B(d), inv), sw + PIX_A(d));
  }
};

// copy with source alpha at w = 256: a = 0 keeps the pixel, a = 255 replaces
// it, otherwise colour c + (dc - c) * (255 - a) / 256 and alpha min(a + da, 255).
struct PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmNoClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int)
  {
    if (a == 0) return;
    if (a == 255)
    {
      *dest = PIX_RGBA(r, g, b, a);
      return;
    }
    const PIX_pixel d = *dest;
    const int inv = 255 - a;
    const int na = a + PIX_A(d);
    *dest = PIX_RGBA(pix_detail::mixCopy(r, PIX_R(d), inv), pix_detail::mixCopy(g, PIX_G(d), inv),
                     pix_detail::mixCopy(b, PIX_B(d), inv), na > 255 ? 255 : na);
  }
};
struct PIX_CombinePixelsCopySourceAlphaIgnoreAlphaParmClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int)
  {
    if (a == 0) return;
    if (a >= 255)
    {
      *dest = pix_detail::packClamp(r, g, b, a);
      return;
    }
    const PIX_pixel d = *dest;
    const int inv = 255 - a;
    *dest = pix_detail::packClamp(
        pix_detail::mixCopy(r, PIX_R(d), inv), pix_detail::mixCopy(g, PIX_G(d), inv),
        pix_detail::mixCopy(b, PIX_B(d), inv), a + PIX_A(d));
  }
};

struct PIX_CombinePixelsAddSourceAlpha
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    PIX_CombinePixelsAdd::doPix(dest, r, g, b, a, w * (a + 1) / 256);
  }
};
struct PIX_CombinePixelsColorDodgeSourceAlpha
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    PIX_CombinePixelsColorDodge::doPix(dest, r, g, b, a, w * (a + 1) / 256);
  }
};
struct PIX_CombinePixelsMulSourceAlphaNoClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    PIX_CombinePixelsMulNoClamp::doPix(dest, r, g, b, a, w * (a + 1) / 256);
  }
};
struct PIX_CombinePixelsMulSourceAlphaClamp
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    if (a == 0) return;
    PIX_CombinePixelsMulClamp::doPix(dest, r, g, b, a, w * (a + 1) / 256);
  }
};
struct PIX_CombinePixelsOverlaySourceAlpha
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    PIX_CombinePixelsOverlay::doPix(dest, r, g, b, a, w * (a + 1) / 256);
  }
};
struct PIX_CombinePixelsHSVAdjustSourceAlpha
{
  static inline void doPix(PIX_pixel* dest, int r, int g, int b, int a, int w)
  {
    PIX_CombinePixelsHSVAdjust::doPix(dest, r, g, b, a, w * (a + 1) / 256);
  }
};

// One combine step through a function pointer, for callers whose weight
// changes per pixel (glyph coverage). Pick it once per call.
typedef void (*PIX_CombineFunc)(PIX_pixel* dest, int r, int g, int b, int a, int w);
// The rule for a mode (low byte 0-5, plus PIX_BLIT_USE_SRC_ALPHA), or null for
// an unknown low byte. Copy at w = 256 is the caller's business (clobber).
PIX_CombineFunc PIX_GetCombineFunc(int mode);
