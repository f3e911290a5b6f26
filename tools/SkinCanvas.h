// Drawing helpers of the skin generator: supersampled layers with a coverage
// channel, fonts measured and drawn in design units, and a reproducible noise
// source. Used only by tools/SkinGenerator.cpp.
//
// Shapes are drawn several times larger than wanted and shrunk with the
// library's averaging scaled blit, which gives every edge smooth
// antialiasing. Images with transparent parts are drawn on an opaque matte of
// panel colour with a second, white-on-black coverage layer beside them; the
// shrunk coverage becomes the alpha channel by a channel-copy blit, so edges
// fade into the panel instead of into black.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "pix/gdi/GDI.h"
#include "pix/PIX_Primitives.h"

namespace skin {

constexpr float kPi = 3.14159265358979f;
// Supersampling factor of the shape layers: 4 x 4 samples per pixel, 2 x 2
// from scale 3 up (the pixels are small there, and the layers stay under
// 70 MB).
constexpr int Super(float scale)
{
  return scale <= 2 ? 4 : 2;
}
const char* const kFace = "DejaVu Sans";

const PIX_pixel kMatte = PIX_RGBA(36, 38, 42, 255);  // colour behind transparent sprite pixels
const PIX_pixel kBlack = PIX_RGBA(0, 0, 0, 255);
const PIX_pixel kWhite = PIX_RGBA(255, 255, 255, 255);

inline PIX_pixel Mix(PIX_pixel a, PIX_pixel b, float t)
{
  t = t < 0 ? 0 : (t > 1 ? 1 : t);
  auto ch = [t](int x, int y) { return (int)std::lround(x + (y - x) * t); };
  return PIX_RGBA(ch(PIX_R(a), PIX_R(b)), ch(PIX_G(a), PIX_G(b)), ch(PIX_B(a), PIX_B(b)), 255);
}

// ---- Reproducible noise ------------------------------------------------------
struct Rng
{
  uint32_t s;
  explicit Rng(uint32_t seed) : s(seed ? seed : 1u) {}
  uint32_t next()  // xorshift32
  {
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
  }
  float uni() { return (float)(next() >> 8) / 16777216.0f * 2.0f - 1.0f; }  // -1..1
};

// ---- Supersampled layers -----------------------------------------------------
// One image being drawn: shapes go into the supersampled colour layer (and,
// for images with transparency, the coverage layer) in design units, i.e.
// pixels of a scale-1 skin; Resolve() shrinks them to the final size.
class Sprite
{
public:
  // Sizes times the scale must be whole pixels (1.5 suits the even sizes of this skin).
  Sprite(int w, int h, float scale, bool transparent, PIX_pixel matte = kMatte)
      : m_w(w), m_h(h), m_scale(scale), m_k(scale * (float)Super(scale)), m_transparent(transparent),
        m_col(Px(w, scale) * Super(scale), Px(h, scale) * Super(scale), 4)
  {
    PIX_Clear(&m_col, matte);
    if (transparent)
    {
      m_cov.resize(m_col.getWidth(), m_col.getHeight());
      PIX_Clear(&m_cov, PIX_RGBA(0, 0, 0, 255));
    }
  }

  float scale() const { return m_scale; }
  // A design size in pixels at a scale.
  static int Px(int size, float scale) { return (int)std::lround((float)size * scale); }

  // Horizontal spans of any shape given as a function row -> [x0, x1) in
  // supersampled pixels, with a colour per row (gradients).
  template <class SpanFn, class ColorFn>
  void spans(float top, float bottom, SpanFn span, ColorFn color, float alpha, float cov)
  {
    const int y0 = (int)std::floor(top * m_k), y1 = (int)std::ceil(bottom * m_k);
    for (int y = y0; y < y1; ++y)
    {
      const float yd = (y + 0.5f) / m_k;  // row centre in design units
      float xl, xr;
      if (!span(yd, &xl, &xr)) continue;
      const int x0 = (int)std::lround(xl * m_k), x1 = (int)std::lround(xr * m_k);
      if (x1 <= x0) continue;
      const float t = (bottom > top) ? (yd - top) / (bottom - top) : 0.0f;
      PIX_FillRect(&m_col, x0, y, x1 - x0, 1, color(t), alpha, 0);
      if (m_transparent && cov > 0) PIX_FillRect(&m_cov, x0, y, x1 - x0, 1, kWhite, cov, 0);
    }
  }

  // Rounded rectangle with a vertical gradient from c0 (top) to c1 (bottom).
  void roundRect(float x, float y, float w, float h, float r, PIX_pixel c0, PIX_pixel c1,
                 float alpha = 1.0f, float cov = 1.0f)
  {
    r = std::fmin(r, std::fmin(w, h) / 2);
    spans(y, y + h,
          [=](float yd, float* xl, float* xr) {
            float dy = 0;
            if (yd < y + r) dy = y + r - yd;
            else if (yd > y + h - r) dy = yd - (y + h - r);
            if (dy > r) return false;
            const float inset = r - std::sqrt(std::fmax(0.0f, r * r - dy * dy));
            *xl = x + inset;
            *xr = x + w - inset;
            return true;
          },
          [=](float t) { return Mix(c0, c1, t); }, alpha, cov);
  }
  void rect(float x, float y, float w, float h, PIX_pixel c, float alpha = 1.0f, float cov = 1.0f)
  {
    roundRect(x, y, w, h, 0, c, c, alpha, cov);
  }

  // Disc with a vertical gradient.
  void disc(float cx, float cy, float r, PIX_pixel c0, PIX_pixel c1, float alpha = 1.0f,
            float cov = 1.0f)
  {
    spans(cy - r, cy + r,
          [=](float yd, float* xl, float* xr) {
            const float dy = yd - cy;
            if (dy * dy > r * r) return false;
            const float dx = std::sqrt(r * r - dy * dy);
            *xl = cx - dx;
            *xr = cx + dx;
            return true;
          },
          [=](float t) { return Mix(c0, c1, t); }, alpha, cov);
  }
  // Soft glow: concentric discs fading out towards radius r.
  void glow(float cx, float cy, float r, PIX_pixel c, float strength, int rings = 12)
  {
    for (int i = 0; i < rings; ++i)
    {
      const float rr = r * (1.0f - (float)i / rings);
      disc(cx, cy, rr, c, c, strength / rings, strength / rings);
    }
  }

  // Convex polygon in design units.
  void poly(const std::vector<float>& xy, PIX_pixel c, float alpha = 1.0f, float cov = 1.0f)
  {
    std::vector<int> xs, ys;
    for (size_t i = 0; i + 1 < xy.size(); i += 2)
    {
      xs.push_back((int)std::lround(xy[i] * m_k));
      ys.push_back((int)std::lround(xy[i + 1] * m_k));
    }
    PIX_FillConvexPolygon(&m_col, xs.data(), ys.data(), (int)xs.size(), c, alpha, 0);
    if (m_transparent && cov > 0)
      PIX_FillConvexPolygon(&m_cov, xs.data(), ys.data(), (int)xs.size(), kWhite, cov, 0);
  }
  // A straight stroke of the given width with round ends.
  void stroke(float x1, float y1, float x2, float y2, float width, PIX_pixel c, float alpha = 1.0f,
              float cov = 1.0f)
  {
    const float dx = x2 - x1, dy = y2 - y1, len = std::sqrt(dx * dx + dy * dy);
    if (len <= 0) return;
    const float nx = -dy / len * width / 2, ny = dx / len * width / 2;
    poly({x1 + nx, y1 + ny, x2 + nx, y2 + ny, x2 - nx, y2 - ny, x1 - nx, y1 - ny}, c, alpha, cov);
    disc(x1, y1, width / 2, c, c, alpha, cov);
    disc(x2, y2, width / 2, c, c, alpha, cov);
  }
  // Band between radii r0 and r1 from angle a0 to a1 (radians, 0 = up,
  // clockwise), built from small quads.
  void arcBand(float cx, float cy, float r0, float r1, float a0, float a1, PIX_pixel c)
  {
    if (a1 <= a0) return;
    const int n = std::max(1, (int)std::ceil((a1 - a0) / (kPi / 90)));
    for (int i = 0; i < n; ++i)
    {
      const float s = a0 + (a1 - a0) * i / n, e = a0 + (a1 - a0) * (i + 1) / n;
      poly({cx + r0 * std::sin(s), cy - r0 * std::cos(s), cx + r1 * std::sin(s), cy - r1 * std::cos(s),
            cx + r1 * std::sin(e), cy - r1 * std::cos(e), cx + r0 * std::sin(e), cy - r0 * std::cos(e)},
           c);
    }
    // Round caps.
    const float rm = (r0 + r1) / 2, hw = (r1 - r0) / 2;
    disc(cx + rm * std::sin(a0), cy - rm * std::cos(a0), hw, c, c);
    disc(cx + rm * std::sin(a1), cy - rm * std::cos(a1), hw, c, c);
  }

  // Shrinks the layers into a new final-size bitmap (caller owns it); text
  // may be drawn onto it before FinishAlpha().
  PIX_MemBitmap* Resolve()
  {
    const int W = Px(m_w, m_scale), H = Px(m_h, m_scale);
    auto* out = new PIX_MemBitmap(W, H, 4);
    PIX_ScaledBlit(out, &m_col, 0, 0, W, H, 0, 0, (float)m_col.getWidth(), (float)m_col.getHeight(),
                   1.0f, PIX_BLIT_FILTER_BILINEAR);
    if (m_transparent)
    {
      m_covSmall.resize(W, H);
      PIX_ScaledBlit(&m_covSmall, &m_cov, 0, 0, W, H, 0, 0, (float)m_cov.getWidth(),
                     (float)m_cov.getHeight(), 1.0f, PIX_BLIT_FILTER_BILINEAR);
    }
    return out;
  }
  // Sets the alpha channel: the shrunk coverage, or opaque without one.
  void FinishAlpha(PIX_IBitmap* out)
  {
    if (m_transparent)
      PIX_Blit(out, &m_covSmall, 0, 0, 0, 0, out->getWidth(), out->getHeight(), 1.0f,
               PIX_BLIT_MODE_CHANCOPY(PIX_CHAN_R, PIX_CHAN_A));
    else
      PIX_ClearRect(out, 0, 0, out->getWidth(), out->getHeight(), 0xFFFFFF00u, 0xFFu);
  }

private:
  int m_w, m_h;
  float m_scale;
  float m_k;
  bool m_transparent;
  PIX_MemBitmap m_col, m_cov, m_covSmall;
};

// ---- Text ----------------------------------------------------------------
class Font
{
public:
  // The type size in pixels is the design size times the scale, rounded.
  Font(int px, bool bold, float scale)
  {
    m_font.SetFromHFont(CreateFont(-(int)std::lround((float)px * scale), 0, 0, 0, bold ? FW_BOLD : FW_NORMAL, 0, 0, 0,
                                   DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                                   ANTIALIASED_QUALITY, DEFAULT_PITCH, kFace),
                        PIX_FONT_FLAG_OWNS_HFONT);
    m_scale = scale;
  }
  bool ok() { return m_font.GetHFont() != nullptr; }
  // Width of the text in design units.
  float width(const char* s)
  {
    RECT r{0, 0, 4096, 4096};
    m_font.DrawText(nullptr, s, -1, &r, DT_CALCRECT | DT_SINGLELINE);
    return (float)(r.right - r.left) / m_scale;
  }
  float height() { return (float)m_font.GetLineHeight() / m_scale; }
  // Draws s with its box's left edge at x, centred vertically on cy; with
  // a shadow colour, a 1-pixel drop shadow goes first.
  void draw(PIX_IBitmap* bm, const char* s, float x, float cy, PIX_pixel c, PIX_pixel shadow = 0)
  {
    const int lh = m_font.GetLineHeight();
    const int px = (int)std::lround(x * m_scale), py = (int)std::lround(cy * m_scale) - lh / 2;
    if (shadow)
    {
      m_font.SetTextColor(shadow);
      const int d = (int)std::lround(m_scale);
      RECT r{px + d, py + d, px + 4096, py + lh + d};
      m_font.DrawText(bm, s, -1, &r, DT_SINGLELINE | DT_NOCLIP);
    }
    m_font.SetTextColor(c);
    RECT r{px, py, px + 4096, py + lh};
    m_font.DrawText(bm, s, -1, &r, DT_SINGLELINE | DT_NOCLIP);
  }
  void centred(PIX_IBitmap* bm, const char* s, float cx, float cy, PIX_pixel c, PIX_pixel shadow = 0)
  {
    draw(bm, s, cx - width(s) / 2, cy, c, shadow);
  }

private:
  PIX_CachedFont m_font;
  float m_scale = 1;
};

}  // namespace skin
