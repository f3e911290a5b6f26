// Memory drawing contexts and GDI_DrawText: layout, measuring and blending of glyphs.
#include "pix/gdi/GDI_Private.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <unordered_set>

namespace gdi_detail {

namespace {

std::unordered_set<HDC> g_contexts;

// Decodes one UTF-8 character starting at s[i] (i < n) and advances i. Only
// well-formed, shortest-form sequences of code points up to U+10FFFF decode; any
// other byte stands for itself (Latin-1) so that no input is lost or over-read.
uint32_t NextCode(const unsigned char* s, int n, int& i)
{
  unsigned c = s[i];
  int need = 0;
  uint32_t code = 0, min = 0;
  if (c >= 0xC2 && c <= 0xDF) { need = 1; code = c & 0x1F; min = 0x80; }
  else if (c >= 0xE0 && c <= 0xEF) { need = 2; code = c & 0x0F; min = 0x800; }
  else if (c >= 0xF0 && c <= 0xF4) { need = 3; code = c & 0x07; min = 0x10000; }
  if (need == 0 || i + need > n - 1) {
    i++;
    return c;
  }
  for (int k = 1; k <= need; k++) {
    unsigned cc = s[i + k];
    if ((cc & 0xC0) != 0x80) {
      i++;
      return c;
    }
    code = (code << 6) | (cc & 0x3F);
  }
  if (code < min || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    i++;
    return c;
  }
  i += need + 1;
  return code;
}

struct Placed {
  const Glyph* glyph;
  FT_Pos x;  // pen position along the line, 26.6, from the line's start
};

struct Line {
  int first = 0, count = 0;  // range in the placed glyphs
  FT_Pos width = 0;          // 26.6
};

// Blends a coverage value into one pixel: colour channels move towards the
// text colour, alpha towards opaque (text is painted with a solid colour).
inline void Blend(uint32_t& p, int cov, int r, int g, int b)
{
  int a0 = (int)(p & 0xFF), r0 = (int)((p >> 8) & 0xFF), g0 = (int)((p >> 16) & 0xFF),
      b0 = (int)(p >> 24);
  // (x * cov + 127) / 255 rounds to nearest so that full coverage hits the colour exactly.
  r0 += ((r - r0) * cov + (r > r0 ? 127 : -127)) / 255;
  g0 += ((g - g0) * cov + (g > g0 ? 127 : -127)) / 255;
  b0 += ((b - b0) * cov + (b > b0 ? 127 : -127)) / 255;
  a0 += ((255 - a0) * cov + 127) / 255;
  p = (uint32_t)a0 | ((uint32_t)r0 << 8) | ((uint32_t)g0 << 16) | ((uint32_t)b0 << 24);
}

struct Clip {
  int l, t, r, b;
  bool Empty() const { return l >= r || t >= b; }
};

void FillRect(HDC ctx, const Clip& clip, long long l0, long long t0, long long r0, long long b0, int rgb)
{
  const int l = (int)std::max<long long>(l0, clip.l), t = (int)std::max<long long>(t0, clip.t);
  const int r = (int)std::min<long long>(r0, clip.r), b = (int)std::min<long long>(b0, clip.b);
  if (l >= r || t >= b) return;
  uint32_t px = 0xFFu | ((uint32_t)((rgb >> 16) & 255) << 8) | ((uint32_t)((rgb >> 8) & 255) << 16) |
                ((uint32_t)(rgb & 255) << 24);
  for (int y = t; y < b; y++) std::fill(ctx->pixels + (size_t)y * ctx->width + l, ctx->pixels + (size_t)y * ctx->width + r, px);
}

void DrawGlyph(HDC ctx, const Clip& clip, const Glyph& g, int ox, int oy, int rgb)
{
  int r = (rgb >> 16) & 255, gr = (rgb >> 8) & 255, b = rgb & 255;
  int x0 = ox + g.left, y0 = oy - g.top;
  int cx0 = std::max(x0, clip.l), cy0 = std::max(y0, clip.t);
  int cx1 = std::min(x0 + g.width, clip.r), cy1 = std::min(y0 + g.height, clip.b);
  for (int y = cy0; y < cy1; y++) {
    const uint8_t* src = g.coverage.data() + (size_t)(y - y0) * g.width + (cx0 - x0);
    uint32_t* dst = ctx->pixels + (size_t)y * ctx->width + cx0;
    for (int x = cx0; x < cx1; x++, src++, dst++)
      if (*src) Blend(*dst, *src, r, gr, b);
  }
}

}  // namespace

bool IsLiveContext(HDC c) { return c && g_contexts.count(c) != 0; }

void UnselectEverywhere(HFONT f)
{
  for (HDC c : g_contexts)
    if (c->font == f) c->font = nullptr;
}

}  // namespace gdi_detail

using namespace gdi_detail;

HDC GDI_CreateMemContext(HDC /*reference*/, int width, int height)
{
  // 16384 x 16384 pixels (1 GiB) is far beyond any editor and keeps sizes in int.
  if (width <= 0 || height <= 0 || width > 16384 || height > 16384) return nullptr;
  auto* c = new (std::nothrow) GDI_GfxContext;
  if (!c) return nullptr;
  c->pixels = static_cast<uint32_t*>(std::calloc((size_t)width * (size_t)height, sizeof(uint32_t)));
  if (!c->pixels) {
    delete c;
    return nullptr;
  }
  c->width = width;
  c->height = height;
  std::lock_guard<std::mutex> lock(Lock());
  g_contexts.insert(c);
  return c;
}

void GDI_DeleteGfxContext(HDC ctx)
{
  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveContext(ctx)) return;
  g_contexts.erase(ctx);
  std::free(ctx->pixels);
  delete ctx;
}

void* GDI_GetCtxFrameBuffer(HDC ctx)
{
  std::lock_guard<std::mutex> lock(Lock());
  return IsLiveContext(ctx) ? ctx->pixels : nullptr;
}

int GDI_GetCtxWidth(HDC ctx)
{
  std::lock_guard<std::mutex> lock(Lock());
  return IsLiveContext(ctx) ? ctx->width : 0;
}

int GDI_GetCtxHeight(HDC ctx)
{
  std::lock_guard<std::mutex> lock(Lock());
  return IsLiveContext(ctx) ? ctx->height : 0;
}

HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj)
{
  std::lock_guard<std::mutex> lock(Lock());
  auto f = static_cast<HFONT>(obj);
  if (!IsLiveContext(ctx) || !IsLiveFont(f)) return nullptr;
  HFONT prev = ctx->font;
  ctx->font = f;
  return prev;
}

bool GetTextMetrics(HDC ctx, TEXTMETRIC* tm)
{
  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveContext(ctx) || !tm) return false;
  HFONT f = ctx->font ? ctx->font : DefaultFont();
  if (!f) return false;
  *tm = f->tm;
  return true;
}

int SetTextColor(HDC ctx, int rgb)
{
  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveContext(ctx)) return 0;
  int prev = ctx->textColor;
  ctx->textColor = rgb & 0xFFFFFF;
  return prev;
}

int SetBkColor(HDC ctx, int rgb)
{
  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveContext(ctx)) return 0;
  int prev = ctx->bkColor;
  ctx->bkColor = rgb & 0xFFFFFF;
  return prev;
}

int SetBkMode(HDC ctx, int mode)
{
  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveContext(ctx)) return 0;
  int prev = ctx->bkMode;
  ctx->bkMode = mode == OPAQUE ? OPAQUE : TRANSPARENT;
  return prev;
}

int GDI_DrawText(HDC ctx, const char* text, int len, RECT* rect, int format)
{
  if (!text || !rect) return 0;
  if (len < 0) len = (int)std::min<size_t>(std::strlen(text), INT_MAX);

  std::lock_guard<std::mutex> lock(Lock());
  if (!IsLiveContext(ctx)) return 0;
  HFONT font = ctx->font ? ctx->font : DefaultFont();
  if (!font) return 0;

  // Lay the text out in unrotated block coordinates: lines of glyphs along x.
  std::vector<Placed> placed;
  std::vector<Line> lines(1);
  const auto* s = reinterpret_cast<const unsigned char*>(text);
  const bool single = (format & DT_SINGLELINE) != 0;
  for (int i = 0; i < len;) {
    uint32_t code = NextCode(s, len, i);
    if (code == '\r') continue;
    if (code == '\n') {
      if (!single) {
        lines.push_back(Line{(int)placed.size(), 0, 0});
        continue;
      }
      code = ' ';
    }
    const Glyph& g = GetGlyph(font, code);
    if (!g.present) continue;
    Line& ln = lines.back();
    placed.push_back(Placed{&g, ln.width});
    ln.count++;
    ln.width += g.advance;
  }

  const int lh = font->tm.tmHeight;
  FT_Pos blockW26 = 0;
  for (const Line& ln : lines) blockW26 = std::max(blockW26, ln.width);
  const double blockW = (double)((blockW26 + 32) >> 6);
  const double blockH = (double)lh * (double)lines.size();

  // Bounding box of the (rotated) block; the block's origin is its top-left corner.
  const double ca = std::cos(font->angle), sa = std::sin(font->angle);
  auto rotX = [&](double x, double y) { return x * ca + y * sa; };
  auto rotY = [&](double x, double y) { return -x * sa + y * ca; };
  double minX = 0, minY = 0, maxX = 0, maxY = 0;
  if (font->angle != 0.0) {
    const double cx[4] = {0, blockW, 0, blockW}, cy[4] = {0, 0, blockH, blockH};
    minX = maxX = rotX(0, 0);
    minY = maxY = rotY(0, 0);
    for (int k = 1; k < 4; k++) {
      minX = std::min(minX, rotX(cx[k], cy[k]));
      maxX = std::max(maxX, rotX(cx[k], cy[k]));
      minY = std::min(minY, rotY(cx[k], cy[k]));
      maxY = std::max(maxY, rotY(cx[k], cy[k]));
    }
  } else {
    maxX = blockW;
    maxY = blockH;
  }
  const int extW = (int)std::min(std::ceil(maxX - minX - 1e-9), (double)(INT_MAX / 2));
  const int extH = (int)std::min(std::ceil(maxY - minY - 1e-9), (double)(INT_MAX / 2));

  if (format & DT_CALCRECT) {
    rect->right = (int)std::min<long long>((long long)rect->left + extW, INT_MAX);
    rect->bottom = (int)std::min<long long>((long long)rect->top + extH, INT_MAX);
    return extH;
  }

  // Place the block's bounding box in the rectangle.
  const double rw = (double)rect->right - rect->left, rh = (double)rect->bottom - rect->top;
  double bx = rect->left, by = rect->top;
  if (format & DT_RIGHT) bx += rw - extW;
  else if (format & DT_CENTER) bx += std::floor((rw - extW) / 2);
  if (format & DT_BOTTOM) by += rh - extH;
  else if (format & DT_VCENTER) by += std::floor((rh - extH) / 2);
  const double originX = bx - minX, originY = by - minY;

  Clip clip{0, 0, ctx->width, ctx->height};
  if (!(format & DT_NOCLIP)) {
    clip.l = std::max(clip.l, rect->left);
    clip.t = std::max(clip.t, rect->top);
    clip.r = std::min(clip.r, rect->right);
    clip.b = std::min(clip.b, rect->bottom);
  }
  if (clip.Empty()) return extH;

  if (ctx->bkMode == OPAQUE)
    FillRect(ctx, clip, (long long)bx, (long long)by, (long long)bx + extW, (long long)by + extH,
             ctx->bkColor);

  // Glyphs further than this from the frame buffer cannot touch it; skipping
  // them keeps every pixel coordinate well inside int.
  constexpr double kFar = 1 << 28;

  for (size_t li = 0; li < lines.size(); li++) {
    const Line& ln = lines[li];
    // Each line is aligned on its own inside the block, as GDI does.
    double lineX = 0;
    const double lw = (double)((ln.width + 32) >> 6);
    if (format & DT_RIGHT) lineX = blockW - lw;
    else if (format & DT_CENTER) lineX = std::floor((blockW - lw) / 2);
    const double baseY = (double)li * lh + font->tm.tmAscent;
    for (int k = 0; k < ln.count; k++) {
      const Placed& p = placed[(size_t)(ln.first + k)];
      const double px = lineX + p.x / 64.0;
      const double gx = originX + rotX(px, baseY), gy = originY + rotY(px, baseY);
      if (std::fabs(gx) > kFar || std::fabs(gy) > kFar) continue;
      DrawGlyph(ctx, clip, *p.glyph, (int)std::lround(gx), (int)std::lround(gy), ctx->textColor);
    }
    if ((font->underline || font->strikeOut) && font->angle == 0.0 && ln.width > 0 &&
        std::fabs(originX) < kFar && std::fabs(originY + baseY) < kFar) {
      const long long x0 = std::llround(originX + lineX), x1 = x0 + (long long)lw;
      const long long base = std::llround(originY + baseY);
      const int th = font->underlineThickness;
      if (font->underline)
        FillRect(ctx, clip, x0, base + font->underlinePos, x1, base + font->underlinePos + th,
                 ctx->textColor);
      if (font->strikeOut) {
        const long long sy = base - font->tm.tmAscent / 3;
        FillRect(ctx, clip, x0, sy, x1, sy + th, ctx->textColor);
      }
    }
  }
  return extH;
}
