// RGB <-> HSV conversion for the HSV-adjust rule, and the rule lookup by mode.
#include "pix/PIX_Combine.h"

#include "pix/PIX_Blit.h"

namespace {
struct InvTab
{
  int v[256];
  constexpr InvTab() : v()
  {
    v[0] = 0;
    for (int i = 1; i < 256; ++i) v[i] = (65536 + i / 2) / i;
  }
};
constexpr InvTab kInvTab;
}  // namespace

const int PIX_RGB2HSV_invtab[256] = {
#define T(i) kInvTab.v[i]
#define T8(i) T(i), T(i + 1), T(i + 2), T(i + 3), T(i + 4), T(i + 5), T(i + 6), T(i + 7)
#define T64(i) T8(i), T8(i + 8), T8(i + 16), T8(i + 24), T8(i + 32), T8(i + 40), T8(i + 48), T8(i + 56)
    T64(0), T64(64), T64(128), T64(192)
#undef T64
#undef T8
#undef T
};

// Hue sectors of 64 starting at red (0), yellow (64), green (128), cyan (192),
// blue (256), magenta (320). The position inside a sector is 64 * (the
// channel difference) / (max - min), rounded, through the reciprocal table.
void PIX_RGB2HSV(int r, int g, int b, int* h, int* s, int* v)
{
  int mx = r, mn = r;
  if (g > mx) mx = g;
  if (b > mx) mx = b;
  if (g < mn) mn = g;
  if (b < mn) mn = b;
  *v = mx;
  const int delta = mx - mn;
  if (delta == 0)
  {
    *h = 0;
    *s = 0;
    return;
  }
  // (delta * 255 / max), rounded.
  *s = (delta * 255 * PIX_RGB2HSV_invtab[mx] + 32768) >> 16;
  if (*s > 255) *s = 255;
  const int inv = PIX_RGB2HSV_invtab[delta];
  int hue;
  if (mx == r)
    hue = (64 * (g - b) * inv + 32768) >> 16;  // -64..64 around red
  else if (mx == g)
    hue = 128 + ((64 * (b - r) * inv + 32768) >> 16);
  else
    hue = 256 + ((64 * (r - g) * inv + 32768) >> 16);
  if (hue < 0) hue += 384;
  if (hue >= 384) hue -= 384;
  *h = hue;
}

void PIX_HSV2RGB(int h, int s, int v, int* r, int* g, int* b)
{
  if (s <= 0)
  {
    *r = *g = *b = v;
    return;
  }
  const int sector = h >> 6;  // 0..5
  const int f = h & 63;
  // p: the smallest channel; q falls and t rises across the sector.
  const int p = (v * (255 - s) + 127) / 255;
  const int q = (v * (255 * 64 - s * f) + 255 * 32) / (255 * 64);
  const int t = (v * (255 * 64 - s * (64 - f)) + 255 * 32) / (255 * 64);
  switch (sector)
  {
    case 0: *r = v; *g = t; *b = p; break;
    case 1: *r = q; *g = v; *b = p; break;
    case 2: *r = p; *g = v; *b = t; break;
    case 3: *r = p; *g = q; *b = v; break;
    case 4: *r = t; *g = p; *b = v; break;
    default: *r = v; *g = p; *b = q; break;
  }
}

PIX_CombineFunc PIX_GetCombineFunc(int mode)
{
  const bool sa = (mode & PIX_BLIT_USE_SRC_ALPHA) != 0;
  switch (mode & PIX_BLIT_MODE_MASK)
  {
    case PIX_BLIT_MODE_COPY:
      return sa ? &PIX_CombinePixelsCopySourceAlphaNoClamp::doPix : &PIX_CombinePixelsCopyNoClamp::doPix;
    case PIX_BLIT_MODE_ADD:
      return sa ? &PIX_CombinePixelsAddSourceAlpha::doPix : &PIX_CombinePixelsAdd::doPix;
    case PIX_BLIT_MODE_DODGE:
      return sa ? &PIX_CombinePixelsColorDodgeSourceAlpha::doPix : &PIX_CombinePixelsColorDodge::doPix;
    case PIX_BLIT_MODE_MUL:
      return sa ? &PIX_CombinePixelsMulSourceAlphaNoClamp::doPix : &PIX_CombinePixelsMulNoClamp::doPix;
    case PIX_BLIT_MODE_OVERLAY:
      return sa ? &PIX_CombinePixelsOverlaySourceAlpha::doPix : &PIX_CombinePixelsOverlay::doPix;
    case PIX_BLIT_MODE_HSVADJ:
      return sa ? &PIX_CombinePixelsHSVAdjustSourceAlpha::doPix : &PIX_CombinePixelsHSVAdjust::doPix;
    default:
      return nullptr;
  }
}
