// Lines, arcs, circles, rounded rectangles and convex polygons.
#include "pix/PIX_Primitives.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "pix/PIX_Combine.h"
#include "pix/PIX_Kernels.h"
#include "pix/PIX_View.h"

namespace {

constexpr double kTwoPi = 6.283185307179586;

// Shapes are drawn only with coordinates and sizes within this range, so
// that no integer arithmetic on them can overflow; farther ones cannot touch
// a bitmap anyway.
constexpr double kFar = 16777216.0;
bool near(double v)
{
  return std::fabs(v) < kFar;
}

// A solid colour with its weight and rule, chosen once per call: spans and
// full-coverage pixels use the fill kernel (with its shortcuts), partially
// covered antialiased pixels the rule at a reduced weight.
struct Pen
{
  PIX_View v;
  PIX_pixel color = 0;
  PIX_RowFillFn span = nullptr;
  PIX_CombineFunc rule = nullptr;
  int w = 0;
  // Pixels outside [cx0, cx1) x [cy0, cy1) are left alone: the bitmap, or a
  // smaller rectangle of it (a clip that leaves the shape's geometry as it is).
  int cx0 = 0, cy0 = 0, cx1 = 0, cy1 = 0;

  bool init(PIX_IBitmap* dest, PIX_pixel c, float alpha, int mode)
  {
    if (!v.from(dest)) return false;
    if (mode & PIX_BLIT_USE_SRC_ALPHA) alpha = alpha * (float)PIX_A(c) / 255.0f;
    color = c;
    span = PIX_SelectRowFill(alpha, mode, &w);
    rule = PIX_GetCombineFunc(mode & PIX_BLIT_MODE_MASK);
    cx1 = v.w;
    cy1 = v.h;
    return span && rule;
  }
  void clip(int x, int y, int cw, int ch)
  {
    cx0 = std::max(cx0, x);
    cy0 = std::max(cy0, y);
    cx1 = std::min(cx1, x + std::max(cw, 0));
    cy1 = std::min(cy1, y + std::max(ch, 0));
  }
  bool inside(int x, int y) const { return x >= cx0 && y >= cy0 && x < cx1 && y < cy1; }
  void hspan(int y, int x0, int x1)  // [x0, x1)
  {
    if (y < cy0 || y >= cy1) return;
    x0 = std::max(x0, cx0);
    x1 = std::min(x1, cx1);
    if (x0 < x1) span(v.row(y) + x0, x1 - x0, color, w);
  }
  void plot(int x, int y)
  {
    if (inside(x, y)) span(v.row(y) + x, 1, color, w);
  }
  // cov: coverage 0-256.
  void plotAA(int x, int y, int cov)
  {
    if (cov >= 256) return plot(x, y);
    if (cov <= 0 || !inside(x, y)) return;
    const int wp = w * cov / 256;
    if (wp > 0) rule(v.row(y) + x, PIX_R(color), PIX_G(color), PIX_B(color), wp, wp);
  }
};

// Clips the segment to the rectangle [xmin, xmax] x [ymin, ymax]
// (Liang-Barsky); false when nothing is left.
bool clipSegment(double& x1, double& y1, double& x2, double& y2, double xmin, double ymin,
                 double xmax, double ymax)
{
  double t0 = 0.0, t1 = 1.0;
  const double dx = x2 - x1, dy = y2 - y1;
  const double p[4] = {-dx, dx, -dy, dy};
  const double q[4] = {x1 - xmin, xmax - x1, y1 - ymin, ymax - y1};
  for (int i = 0; i < 4; ++i)
  {
    if (p[i] == 0.0)
    {
      if (q[i] < 0.0) return false;
      continue;
    }
    const double t = q[i] / p[i];
    if (p[i] < 0.0)
      t0 = std::max(t0, t);
    else
      t1 = std::min(t1, t);
    if (t0 > t1) return false;
  }
  const double nx1 = x1 + t0 * dx, ny1 = y1 + t0 * dy;
  x2 = x1 + t1 * dx;
  y2 = y1 + t1 * dy;
  x1 = nx1;
  y1 = ny1;
  return true;
}

// Pixels at distance r (ring one pixel wide) from (cx, cy) whose direction
// passes accept(angle); antialiased rings fade over one pixel on each side.
template <class Accept>
void ring(Pen& pen, double cx, double cy, double r, bool aa, Accept accept)
{
  if (!(r >= 0.0) || !near(cx) || !near(cy) || !near(r)) return;
  const double reach = r + 1.0;
  const int y0 = std::max(0, (int)std::floor(cy - reach)), y1 = std::min(pen.v.h - 1, (int)std::ceil(cy + reach));
  for (int y = y0; y <= y1; ++y)
  {
    const double dy = y - cy;
    const double outer = reach * reach - dy * dy;
    if (outer < 0.0) continue;
    const double xo = std::sqrt(outer);
    const int xa = std::max(0, (int)std::floor(cx - xo)), xb = std::min(pen.v.w - 1, (int)std::ceil(cx + xo));
    const double inner2 = (r - 1.0) > 0.0 ? (r - 1.0) * (r - 1.0) - dy * dy : -1.0;
    const double xi = inner2 > 0.0 ? std::sqrt(inner2) : -1.0;
    for (int x = xa; x <= xb; ++x)
    {
      const double dx = x - cx;
      if (xi > 0.0 && std::fabs(dx) < xi - 1.0) continue;  // well inside the ring
      const double dist = std::sqrt(dx * dx + dy * dy);
      const double off = std::fabs(dist - r);
      if (off >= 1.0) continue;
      if (!accept(std::atan2(dx, -dy))) continue;
      if (aa)
        pen.plotAA(x, y, (int)((1.0 - off) * 256.0));
      else if (off < 0.5)
        pen.plot(x, y);
    }
  }
}

// Fills the polygon given by n corners (convex, either winding) row by row,
// taking the pixels whose centres lie inside or on the edge.
template <class T>
void fillConvex(Pen& pen, const T* xs, const T* ys, int n)
{
  double ymin = ys[0], ymax = ys[0];
  for (int i = 1; i < n; ++i)
  {
    ymin = std::min(ymin, (double)ys[i]);
    ymax = std::max(ymax, (double)ys[i]);
  }
  const int ya = std::max(0, (int)std::ceil(ymin)), yb = std::min(pen.v.h - 1, (int)std::floor(ymax));
  for (int y = ya; y <= yb; ++y)
  {
    double xl = 1e300, xr = -1e300;
    for (int i = 0; i < n; ++i)
    {
      const double ax = xs[i], ay = ys[i];
      const double bx = xs[(i + 1) % n], by = ys[(i + 1) % n];
      if ((y < ay && y < by) || (y > ay && y > by)) continue;
      if (ay == by)
      {
        xl = std::min(xl, std::min(ax, bx));
        xr = std::max(xr, std::max(ax, bx));
      }
      else
      {
        const double x = ax + (bx - ax) * (y - ay) / (by - ay);
        xl = std::min(xl, x);
        xr = std::max(xr, x);
      }
    }
    if (xl > xr) continue;
    const double lo = std::max(xl, -1.0), hi = std::min(xr, (double)pen.v.w);
    pen.hspan(y, (int)std::ceil(lo - 1e-9), (int)std::floor(hi + 1e-9) + 1);
  }
}

}  // namespace

namespace
{
void line(Pen& pen, int x1, int y1, int x2, int y2, bool aa)
{
  double fx1 = x1, fy1 = y1, fx2 = x2, fy2 = y2;
  if (!clipSegment(fx1, fy1, fx2, fy2, -1.0, -1.0, pen.v.w, pen.v.h)) return;
  const double dx = fx2 - fx1, dy = fy2 - fy1;
  const bool steep = std::fabs(dy) > std::fabs(dx);
  const double len = std::max(std::fabs(dx), std::fabs(dy));
  const int steps = (int)std::lround(len);
  if (steps == 0)
  {
    pen.plot((int)std::lround(fx1), (int)std::lround(fy1));
    return;
  }
  // Walk the major axis one pixel at a time; the minor position is exact.
  for (int i = 0; i <= steps; ++i)
  {
    const double t = (double)i / steps;
    const double x = fx1 + dx * t, y = fy1 + dy * t;
    if (!aa)
    {
      pen.plot((int)std::lround(x), (int)std::lround(y));
      continue;
    }
    // Two pixels across the line share the coverage by distance.
    if (steep)
    {
      const double fl = std::floor(x);
      const int c = (int)((x - fl) * 256.0);
      const int yy = (int)std::lround(y);
      pen.plotAA((int)fl, yy, 256 - c);
      pen.plotAA((int)fl + 1, yy, c);
    }
    else
    {
      const double fl = std::floor(y);
      const int c = (int)((y - fl) * 256.0);
      const int xx = (int)std::lround(x);
      pen.plotAA(xx, (int)fl, 256 - c);
      pen.plotAA(xx, (int)fl + 1, c);
    }
  }
}
}  // namespace

void PIX_Line(PIX_IBitmap* dest, int x1, int y1, int x2, int y2, PIX_pixel color, float alpha,
              int mode, bool aa)
{
  Pen pen;
  if (pen.init(dest, color, alpha, mode)) line(pen, x1, y1, x2, y2, aa);
}

void PIX_LineClipped(PIX_IBitmap* dest, int x1, int y1, int x2, int y2, PIX_pixel color,
                     float alpha, int mode, bool aa, int clipX, int clipY, int clipW, int clipH)
{
  Pen pen;
  if (!pen.init(dest, color, alpha, mode)) return;
  pen.clip(clipX, clipY, clipW, clipH);
  line(pen, x1, y1, x2, y2, aa);
}

void PIX_Arc(PIX_IBitmap* dest, float cx, float cy, float r, float minAngle, float maxAngle,
             PIX_pixel color, float alpha, int mode, bool aa)
{
  Pen pen;
  if (!pen.init(dest, color, alpha, mode)) return;
  if (!std::isfinite(minAngle) || !std::isfinite(maxAngle)) return;
  if (maxAngle < minAngle) std::swap(minAngle, maxAngle);
  const double span = (double)maxAngle - minAngle;
  const double start = minAngle;
  ring(pen, cx, cy, r, aa, [&](double a) {
    if (span >= kTwoPi) return true;
    double rel = std::fmod(a - start, kTwoPi);
    if (rel < 0.0) rel += kTwoPi;
    return rel <= span;
  });
}

void PIX_Circle(PIX_IBitmap* dest, float cx, float cy, float r, PIX_pixel color, float alpha,
                int mode, bool aa)
{
  Pen pen;
  if (!pen.init(dest, color, alpha, mode)) return;
  ring(pen, cx, cy, r, aa, [](double) { return true; });
}

void PIX_FillCircle(PIX_IBitmap* dest, int cx, int cy, int r, PIX_pixel color, float alpha,
                    int mode, bool aa)
{
  Pen pen;
  if (!pen.init(dest, color, alpha, mode) || r < 0 || !near(cx) || !near(cy) || !near(r)) return;
  const double rr = r + 0.5;  // the centre pixel's own half-width
  const int y0 = std::max(0, (int)std::floor(cy - rr - 1)), y1 = std::min(pen.v.h - 1, (int)std::ceil(cy + rr + 1));
  for (int y = y0; y <= y1; ++y)
  {
    const double dy = y - cy;
    if (!aa)
    {
      const double h2 = rr * rr - dy * dy;
      if (h2 < 0.0) continue;
      const int half = (int)std::floor(std::sqrt(h2));
      pen.hspan(y, cx - half, cx + half + 1);
      continue;
    }
    // Full pixels inside r - 0.5, fading coverage out to r + 0.5.
    const double in2 = (rr - 1.0) * (rr - 1.0) - dy * dy;
    const int inner = in2 > 0.0 ? (int)std::floor(std::sqrt(in2)) : -1;
    if (inner >= 0) pen.hspan(y, cx - inner, cx + inner + 1);
    const double out2 = (rr + 0.5) * (rr + 0.5) - dy * dy;
    if (out2 < 0.0) continue;
    const int outer = (int)std::ceil(std::sqrt(out2));
    for (int dx = inner + 1; dx <= outer; ++dx)
    {
      const double dist = std::sqrt((double)dx * dx + dy * dy);
      const double cov = std::min(1.0, std::max(0.0, rr - dist + 0.5));
      if (cov <= 0.0) continue;
      pen.plotAA(cx + dx, y, (int)(cov * 256.0));
      pen.plotAA(cx - dx, y, (int)(cov * 256.0));
    }
  }
}

void PIX_RoundRect(PIX_IBitmap* dest, int x, int y, int w, int h, int cornerradius,
                   PIX_pixel color, float alpha, int mode, bool aa)
{
  Pen pen;
  if (!pen.init(dest, color, alpha, mode) || w <= 0 || h <= 0) return;
  if (!near(x) || !near(y) || !near(w) || !near(h)) return;
  const int cr = std::max(0, std::min(cornerradius, std::min(w, h) / 2));
  const int x2 = x + w - 1, y2 = y + h - 1;
  // Straight edges between the corners.
  pen.hspan(y, x + cr, x2 - cr + 1);
  if (y2 != y) pen.hspan(y2, x + cr, x2 - cr + 1);
  for (int yy = std::max(y + cr, y + 1); yy <= std::min(y2 - cr, y2 - 1); ++yy)
  {
    pen.plot(x, yy);
    if (x2 != x) pen.plot(x2, yy);
  }
  if (cr == 0) return;
  // Quarter rings; each corner accepts the directions pointing away from the
  // rectangle's inside.
  constexpr double q = kTwoPi / 4;
  ring(pen, x + cr, y + cr, cr, aa, [](double a) { return a <= 0.0 && a >= -q; });  // top left
  ring(pen, x2 - cr, y + cr, cr, aa, [](double a) { return a >= 0.0 && a <= q; });    // top right
  ring(pen, x2 - cr, y2 - cr, cr, aa, [](double a) { return a > q && a <= 2 * q; });  // bottom right
  ring(pen, x + cr, y2 - cr, cr, aa, [](double a) { return a <= -q || a >= 2 * q; });  // bottom left
}

void PIX_FillTriangle(PIX_IBitmap* dest, int x1, int y1, int x2, int y2, int x3, int y3,
                      PIX_pixel color, float alpha, int mode)
{
  Pen pen;
  if (!pen.init(dest, color, alpha, mode)) return;
  const int xs[3] = {x1, x2, x3}, ys[3] = {y1, y2, y3};
  fillConvex(pen, xs, ys, 3);
}

void PIX_FillConvexPolygon(PIX_IBitmap* dest, const int* xs, const int* ys, int npoints,
                           PIX_pixel color, float alpha, int mode)
{
  Pen pen;
  if (!xs || !ys || npoints < 1 || !pen.init(dest, color, alpha, mode)) return;
  fillConvex(pen, xs, ys, npoints);
}
