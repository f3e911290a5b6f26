// Helpers shared by the drawing-library tests: random bitmaps, a bottom-up
// bitmap, and a straightforward reference of every combine rule.
#pragma once

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "pix/PIX_Bitmap.h"
#include "pix/PIX_Combine.h"

namespace pixtest {

inline void fillRandom(PIX_IBitmap* bm, uint32_t seed)
{
  std::mt19937 rng(seed);
  for (int y = 0; y < bm->getHeight(); ++y)
  {
    PIX_pixel* row = bm->getBits() + (ptrdiff_t)y * bm->getRowSpan();
    for (int x = 0; x < bm->getWidth(); ++x)
    {
      PIX_pixel p = rng();
      // A share of fully transparent and fully opaque pixels, as in skins.
      const int kind = (int)(rng() % 8);
      if (kind == 0) p &= 0xFFFFFF00u;
      if (kind == 1) p |= 0xFFu;
      row[x] = p;
    }
  }
}

// Logical pixels top-down (respects isFlipped), for comparing bitmaps.
inline std::vector<PIX_pixel> pixels(PIX_IBitmap* bm)
{
  std::vector<PIX_pixel> v;
  const int h = bm->getHeight(), w = bm->getWidth(), span = bm->getRowSpan();
  for (int y = 0; y < h; ++y)
  {
    const int sy = bm->isFlipped() ? h - 1 - y : y;
    const PIX_pixel* row = bm->getBits() + (ptrdiff_t)sy * span;
    v.insert(v.end(), row, row + w);
  }
  return v;
}

// A bitmap that stores its rows bottom-up.
class FlippedBitmap : public PIX_IBitmap
{
public:
  FlippedBitmap(int w, int h) : m_w(w), m_h(h), m_px((size_t)w * h) {}
  PIX_pixel* getBits() override { return m_px.empty() ? nullptr : m_px.data(); }
  int getWidth() override { return m_w; }
  int getHeight() override { return m_h; }
  int getRowSpan() override { return m_w; }
  bool isFlipped() override { return true; }
  bool resize(int w, int h) override
  {
    if (w == m_w && h == m_h) return false;
    m_w = w;
    m_h = h;
    m_px.assign((size_t)w * h, 0);
    return true;
  }
  // Logical pixel (row 0 = top).
  PIX_pixel& at(int x, int y) { return m_px[(size_t)(m_h - 1 - y) * m_w + x]; }

private:
  int m_w, m_h;
  std::vector<PIX_pixel> m_px;
};

inline PIX_pixel& at(PIX_IBitmap* bm, int x, int y)
{
  const int sy = bm->isFlipped() ? bm->getHeight() - 1 - y : y;
  return bm->getBits()[(ptrdiff_t)sy * bm->getRowSpan() + x];
}

// ---- reference rules, written out channel by channel ------------------------

inline int clamp8(int v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }
inline int ch(PIX_pixel p, int i) { return (int)((p >> (8 * i)) & 0xFF); }
inline PIX_pixel make(const int c[4])
{
  return (PIX_pixel)(c[0] & 255) | ((PIX_pixel)(c[1] & 255) << 8) | ((PIX_pixel)(c[2] & 255) << 16) |
         ((PIX_pixel)(c[3] & 255) << 24);
}

// One source pixel s onto destination d, mode low byte 0-5 with or without
// source alpha (flag), weight w 1-256. Channel index 0 = alpha.
inline PIX_pixel refCombine(PIX_pixel d, PIX_pixel s, int mode, bool flag, int w)
{
  int out[4];
  const int a = ch(s, 0);
  if (flag)
  {
    if (a == 0 && (mode == 0 || mode == 1 || mode == 3)) return d;
    if (mode == 0 && w == 256)
    {
      if (a == 255) return s;
      for (int i = 1; i < 4; ++i) out[i] = ch(s, i) + (ch(d, i) - ch(s, i)) * (255 - a) / 256;
      out[0] = std::min(255, a + ch(d, 0));
      return make(out);
    }
    const int sw = w * (a + 1) / 256;
    if (mode == 0)
    {
      for (int i = 1; i < 4; ++i) out[i] = ch(s, i) + (ch(d, i) - ch(s, i)) * (256 - sw) / 256;
      out[0] = std::min(255, sw + ch(d, 0));
      return make(out);
    }
    w = sw;
  }
  switch (mode)
  {
    case 0:
      if (w == 256) return s;
      for (int i = 0; i < 4; ++i) out[i] = ch(s, i) + (ch(d, i) - ch(s, i)) * (256 - w) / 256;
      return make(out);
    case 1:
      for (int i = 0; i < 4; ++i) out[i] = clamp8(ch(d, i) + ch(s, i) * w / 256);
      return make(out);
    case 2:
      for (int i = 0; i < 4; ++i)
      {
        const int sv = ch(s, i) * w / 256;
        out[i] = clamp8(sv > 254 ? ch(d, i) * 256 : ch(d, i) * 256 / (256 - sv));
      }
      return make(out);
    case 3:
      for (int i = 0; i < 4; ++i) out[i] = ch(d, i) * ((256 - w) * 256 + ch(s, i) * w) / 65536;
      return make(out);
    case 4:
      for (int i = 0; i < 4; ++i)
      {
        const int m = (256 - w) * 128, sv = ch(s, i) * w, dc = ch(d, i);
        out[i] = clamp8(dc * (dc * (32768 - sv - m) / 256 + sv + m) / 32768);
      }
      return make(out);
    case 5:
    {
      const int r = ch(s, 1), g = ch(s, 2), b = ch(s, 3);
      const int dh = w * (r + r / 2 - 192) / 256, ds = w * (g - 128) / 128, dv = w * (b - 128) / 128;
      if (dh == 0 && ds == 0 && dv == 0) return (d & 0xFFFFFF00u) | (PIX_pixel)clamp8(a);
      int h, sat, val;
      PIX_RGB2HSV(ch(d, 1), ch(d, 2), ch(d, 3), &h, &sat, &val);
      h += dh;
      if (h < 0) h += 384;
      if (h >= 384) h -= 384;
      sat = clamp8(sat + ds);
      val = clamp8(val + dv);
      PIX_HSV2RGB(h, sat, val, &out[1], &out[2], &out[3]);
      out[0] = clamp8(a);
      return make(out);
    }
  }
  return d;
}

}  // namespace pixtest
