// Unscaled blits, fills and single pixels.
#include "pix/PIX_Blit.h"

#include <algorithm>
#include <climits>

#include "pix/PIX_Kernels.h"
#include "pix/PIX_View.h"

namespace {

// Runs a row kernel over one row where source and destination overlap in the
// same bitmap with the destination to the right: the source is staged through
// a small stack buffer from the right end so no pixel is read after it was
// written.
void blitRowBackwards(PIX_RowBlitFn fn, PIX_pixel* d, const PIX_pixel* s, int n, int w, int mode)
{
  PIX_pixel buf[256];
  while (n > 0)
  {
    const int k = n < 256 ? n : 256;
    n -= k;
    for (int i = 0; i < k; ++i) buf[i] = s[n + i];
    fn(d + n, buf, k, w, mode);
  }
}

}  // namespace

void PIX_Blit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
              int srcw, int srch, float alpha, int mode)
{
  if (!dest || !src || !(alpha > 0.0f)) return;
  PIX_View dv, sv;
  if (!dv.from(dest) || !sv.from(src)) return;

  // 64-bit arithmetic: extreme coordinates must clip, not overflow.
  // A negative size is an empty rectangle, as in the rectangle form: it must
  // not stand for "the rest of the source", which a width computed from a
  // reversed rectangle would otherwise draw.
  if (srcw <= 0 || srch <= 0) return;
  long long sx = srcx, sy = srcy, sw = srcw, sh = srch, dx = dstx, dy = dsty;
  // Clip the source rectangle to the source bitmap, keeping every visible
  // source pixel at its place relative to (dstx, dsty).
  if (sx < 0)
  {
    sw += sx;
    dx -= sx;
    sx = 0;
  }
  if (sy < 0)
  {
    sh += sy;
    dy -= sy;
    sy = 0;
  }
  if (sw > sv.w - sx) sw = sv.w - sx;
  if (sh > sv.h - sy) sh = sv.h - sy;
  // Negative destination coordinates move the source start.
  if (dx < 0)
  {
    sx -= dx;
    sw += dx;
    dx = 0;
  }
  if (dy < 0)
  {
    sy -= dy;
    sh += dy;
    dy = 0;
  }
  if (sw > dv.w - dx) sw = dv.w - dx;
  if (sh > dv.h - dy) sh = dv.h - dy;
  if (sw <= 0 || sh <= 0) return;
  srcx = (int)sx;
  srcy = (int)sy;
  srcw = (int)sw;
  srch = (int)sh;
  dstx = (int)dx;
  dsty = (int)dy;

  int w = 0;
  const PIX_RowBlitFn fn = PIX_SelectRowBlit(alpha, mode, &w);
  if (!fn) return;

  PIX_pixel* d = dv.row(dsty) + dstx;
  const PIX_pixel* s = sv.row(srcy) + srcx;
  ptrdiff_t dstep = dv.step, sstep = sv.step;
  bool backwards = false;
  if (dv.top == sv.top && dest == src)
  {
    // Same pixels: walk rows from the bottom when the destination lies below,
    // and stage rows when it lies to the right on the same row.
    if (dsty > srcy)
    {
      d += dstep * (srch - 1);
      s += sstep * (srch - 1);
      dstep = -dstep;
      sstep = -sstep;
    }
    else if (dsty == srcy && dstx > srcx)
    {
      backwards = true;
    }
  }
  for (int y = 0; y < srch; ++y)
  {
    if (backwards)
      blitRowBackwards(fn, d, s, srcw, w, mode);
    else
      fn(d, s, srcw, w, mode);
    d += dstep;
    s += sstep;
  }
}

void PIX_Blit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, const PIX_RECT* srcrect,
              float alpha, int mode)
{
  if (!src) return;
  if (!srcrect)
  {
    PIX_Blit(dest, src, dstx, dsty, 0, 0, src->getWidth(), src->getHeight(), alpha, mode);
    return;
  }
  const long long w = (long long)srcrect->right - srcrect->left;
  const long long h = (long long)srcrect->bottom - srcrect->top;
  if (w <= 0 || h <= 0) return;
  PIX_Blit(dest, src, dstx, dsty, srcrect->left, srcrect->top, (int)std::min(w, (long long)INT_MAX),
           (int)std::min(h, (long long)INT_MAX), alpha, mode);
}

void PIX_Copy(PIX_IBitmap* dest, PIX_IBitmap* src)
{
  if (!dest || !src) return;
  dest->resize(src->getWidth(), src->getHeight());
  PIX_Blit(dest, src, 0, 0, 0, 0, src->getWidth(), src->getHeight(), 1.0f, PIX_BLIT_MODE_COPY);
}

namespace {
// Clips the rectangle (x, y, w, h) to the bitmap in 64-bit arithmetic;
// false when nothing is left.
bool clipRect(const PIX_View& v, int& x, int& y, int& w, int& h)
{
  long long x0 = x, y0 = y, x1 = (long long)x + w, y1 = (long long)y + h;
  if (x0 < 0) x0 = 0;
  if (y0 < 0) y0 = 0;
  if (x1 > v.w) x1 = v.w;
  if (y1 > v.h) y1 = v.h;
  if (x1 <= x0 || y1 <= y0) return false;
  x = (int)x0;
  y = (int)y0;
  w = (int)(x1 - x0);
  h = (int)(y1 - y0);
  return true;
}

// Fill weight: with the source-alpha flag the colour's alpha scales it.
float fillAlpha(PIX_pixel color, float alpha, int mode)
{
  if (mode & PIX_BLIT_USE_SRC_ALPHA) alpha = alpha * (float)PIX_A(color) / 255.0f;
  return alpha;
}
}  // namespace

void PIX_FillRect(PIX_IBitmap* dest, int x, int y, int w, int h, PIX_pixel color, float alpha,
                  int mode)
{
  PIX_View dv;
  if (!dv.from(dest)) return;
  alpha = fillAlpha(color, alpha, mode);
  if (!clipRect(dv, x, y, w, h)) return;
  int weight = 0;
  const PIX_RowFillFn fn = PIX_SelectRowFill(alpha, mode, &weight);
  if (!fn) return;
  for (int row = 0; row < h; ++row) fn(dv.row(y + row) + x, w, color, weight);
}

void PIX_Clear(PIX_IBitmap* dest, PIX_pixel color)
{
  PIX_View dv;
  if (!dv.from(dest)) return;
  for (int y = 0; y < dv.h; ++y)
  {
    PIX_pixel* d = dv.row(y);
    for (int x = 0; x < dv.w; ++x) d[x] = color;
  }
}

void PIX_ClearRect(PIX_IBitmap* dest, int x, int y, int w, int h, PIX_pixel mask, PIX_pixel orbits)
{
  PIX_View dv;
  if (!dv.from(dest)) return;
  if (!clipRect(dv, x, y, w, h)) return;
  for (int row = 0; row < h; ++row)
  {
    PIX_pixel* d = dv.row(y + row) + x;
    for (int i = 0; i < w; ++i) d[i] = (d[i] & mask) | orbits;
  }
}

PIX_pixel PIX_GetPixel(PIX_IBitmap* dest, int x, int y)
{
  PIX_View dv;
  if (!dv.from(dest) || x < 0 || y < 0 || x >= dv.w || y >= dv.h) return 0;
  return dv.row(y)[x];
}

void PIX_PutPixel(PIX_IBitmap* dest, int x, int y, PIX_pixel color, float alpha, int mode)
{
  PIX_View dv;
  if (!dv.from(dest) || x < 0 || y < 0 || x >= dv.w || y >= dv.h) return;
  int weight = 0;
  const PIX_RowFillFn fn = PIX_SelectRowFill(fillAlpha(color, alpha, mode), mode, &weight);
  if (fn) fn(dv.row(y) + x, 1, color, weight);
}
