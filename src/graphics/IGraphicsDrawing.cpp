// The drawing operations controls use: thin wrappers over the drawing library with blend mapping.
#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "graphics/IGraphics.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_Primitives.h"
#include "pix/PIX_SysBitmap.h"

namespace {

// Floating coordinates are rounded by adding 0.5 and truncating, where the
// drawing library takes ints. Truncation goes toward zero, so a point just
// left of or above the editor (-1 < v < -0.5) lands on its first pixel.
int Round(float v) { return (int)(v + 0.5f); }

}  // namespace

// Blits clip to the region being redrawn. Outside a drawing pass (no draw
// rectangle yet, e.g. a control drawn directly) the whole editor is the region.
static IRECT ClipRegion(const IRECT& drawRect, int w, int h) {
  return drawRect.Empty() ? IRECT(0, 0, w, h) : drawRect;
}

bool IGraphics::DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int frame, const IChannelBlend* pBlend) {
  if (!pBitmap || !pDest) return true;
  int srcX = 0, srcY = 0;
  const int n = pBitmap->N;
  if (n > 1 && frame > 1) {
    // A frame past the strip's end shows the last frame, not an empty area.
    if (frame > n) frame = n;
    if (pBitmap->mFramesAreHorizontal) {
      srcX = (int)(0.5 + (double)pBitmap->W * (double)(frame - 1) / (double)n);
    } else {
      srcY = (int)(0.5 + (double)pBitmap->H * (double)(frame - 1) / (double)n);
    }
  }
  return DrawBitmap(pBitmap, pDest, srcX, srcY, pBlend);
}

bool IGraphics::DrawBitmap(IBitmap* pBitmap, IRECT* pDest, int srcX, int srcY, const IChannelBlend* pBlend) {
  if (!pBitmap || !pDest || !pBitmap->mData) return true;
  IRECT clip = ClipRegion(mDrawRECT, mWidth, mHeight);
  IRECT r = pDest->Intersect(&clip);
  if (r.W() <= 0 || r.H() <= 0) return true;
  if (mScale != 1.0f) return DrawScaledBitmap(pBitmap, pDest, r, srcX, srcY, pBlend);
  srcX += r.L - pDest->L;
  srcY += r.T - pDest->T;
  PIX_Blit(mDrawBitmap, pBitmap->mData, r.L, r.T, srcX, srcY, r.W(), r.H(), BlendToPixWeight(pBlend),
           BlendToPixMode(pBlend));
  return true;
}

bool IGraphics::DrawScaledBitmap(IBitmap* pBitmap, IRECT* pDest, const IRECT& r, int srcX, int srcY,
                                 const IChannelBlend* pBlend) {
  // Offsets are taken on the drawing bitmap from the destination's own
  // corner, so that a clipped part lands on the same pixels as a whole draw
  // (at 1.5 the rounding of a difference is not the difference of roundings).
  const IRECT whole = ToDraw(*pDest), d = ToDraw(r);
  if (d.W() <= 0 || d.H() <= 0) return true;
  if (PIX_IBitmap* art = ScaledArtwork(pBitmap->mData)) {
    PIX_Blit(mDrawBitmap, art, d.L, d.T, ToDraw(srcX) + d.L - whole.L, ToDraw(srcY) + d.T - whole.T, d.W(), d.H(),
             BlendToPixWeight(pBlend), BlendToPixMode(pBlend));
    return true;
  }
  // No artwork for this scale: the 1x pixels enlarged, each repeated at a
  // whole scale, interpolated at 1.5.
  const bool whole2 = mScale == std::floor(mScale);
  const float sx = (float)srcX + (float)(d.L - whole.L) / mScale, sy = (float)srcY + (float)(d.T - whole.T) / mScale;
  PIX_ScaledBlit(mDrawBitmap, pBitmap->mData, d.L, d.T, d.W(), d.H(), sx, sy, (float)d.W() / mScale,
                 (float)d.H() / mScale, BlendToPixWeight(pBlend),
                 BlendToPixMode(pBlend) | (whole2 ? 0 : PIX_BLIT_FILTER_BILINEAR));
  return true;
}

bool IGraphics::DrawRotatedBitmap(IBitmap* pBitmap, int destCtrX, int destCtrY, double angle, int yOffsetZeroDeg,
                                  const IChannelBlend* pBlend) {
  if (!pBitmap || !pBitmap->mData) return true;
  const int w = pBitmap->W, h = pBitmap->H;
  const float radians = (float)(angle * M_PI / 180.0);
  PIX_RotatedBlit(mDrawBitmap, pBitmap->mData, destCtrX - w / 2, destCtrY - h / 2, w, h, 0.0f, 0.0f, (float)w,
                  (float)h, radians, false, BlendToPixWeight(pBlend), BlendToPixMode(pBlend) | kPixModeBilinear,
                  0.0f, (float)yOffsetZeroDeg);
  return true;
}

bool IGraphics::DrawRotatedMask(IBitmap* pBase, IBitmap* pMask, IBitmap* pTop, int x, int y, double angle,
                                const IChannelBlend* pBlend) {
  if (!pBase || !pBase->mData || !mTmpBitmap) return true;
  const int w = pBase->W, h = pBase->H;
  // Compose in the scratch bitmap: the base, the mask turned about the
  // image centre over it, then the fixed top layer; blit the result once.
  mTmpBitmap->resize(w, h);
  PIX_Blit(mTmpBitmap, pBase->mData, 0, 0, 0, 0, w, h, 1.0f, PIX_BLIT_MODE_COPY);
  if (pMask && pMask->mData) {
    const float radians = (float)(angle * M_PI / 180.0);
    PIX_RotatedBlit(mTmpBitmap, pMask->mData, 0, 0, w, h, 0.0f, 0.0f, (float)pMask->W, (float)pMask->H, radians,
                    false, 1.0f, PIX_BLIT_MODE_COPY | PIX_BLIT_USE_SRC_ALPHA | PIX_BLIT_FILTER_BILINEAR);
  }
  if (pTop && pTop->mData) {
    PIX_Blit(mTmpBitmap, pTop->mData, 0, 0, 0, 0, pTop->W, pTop->H, 1.0f,
             PIX_BLIT_MODE_COPY | PIX_BLIT_USE_SRC_ALPHA);
  }
  IBitmap composed(mTmpBitmap, w, h);
  IRECT dest(x, y, x + w, y + h);
  return DrawBitmap(&composed, &dest, 0, 0, pBlend);
}

bool IGraphics::DrawPoint(const IColor* pColor, float x, float y, const IChannelBlend* pBlend, bool antiAlias) {
  (void)antiAlias;  // a single pixel has no edge to smooth
  if (mScale != 1.0f) {
    const IRECT d = ToDraw(IRECT(Round(x), Round(y), Round(x) + 1, Round(y) + 1));
    PIX_FillRect(mDrawBitmap, d.L, d.T, d.W(), d.H(), pColor->ToPixel(), BlendToPixWeight(pBlend),
                 BlendToPixMode(pBlend));
    return true;
  }
  PIX_PutPixel(mDrawBitmap, Round(x), Round(y), pColor->ToPixel(), BlendToPixWeight(pBlend), BlendToPixMode(pBlend));
  return true;
}

bool IGraphics::ForcePixel(const IColor* pColor, int x, int y) {
  // Weight 1.0 in plain copy mode stores the colour as it is.
  if (mScale != 1.0f) {
    const IRECT d = ToDraw(IRECT(x, y, x + 1, y + 1));
    PIX_FillRect(mDrawBitmap, d.L, d.T, d.W(), d.H(), pColor->ToPixel(), 1.0f, PIX_BLIT_MODE_COPY);
    return true;
  }
  PIX_PutPixel(mDrawBitmap, x, y, pColor->ToPixel(), 1.0f, PIX_BLIT_MODE_COPY);
  return true;
}

bool IGraphics::DrawLine(const IColor* pColor, float x1, float y1, float x2, float y2, const IChannelBlend* pBlend,
                         bool antiAlias) {
  // Lines stay one pixel of the drawing bitmap wide: hairlines at every scale.
  const float s = mScale;
  PIX_Line(mDrawBitmap, Round(x1 * s), Round(y1 * s), Round(x2 * s), Round(y2 * s), pColor->ToPixel(), BlendToPixWeight(pBlend),
           BlendToPixMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::DrawLineInRegion(const IColor* pColor, float x1, float y1, float x2, float y2,
                                 const IChannelBlend* pBlend, bool antiAlias) {
  // Outside a drawing pass there is no region: the whole bitmap.
  if (mDrawRECT.Empty()) return DrawLine(pColor, x1, y1, x2, y2, pBlend, antiAlias);
  const float s = mScale;
  const IRECT r = ToDraw(mDrawRECT);
  PIX_LineClipped(mDrawBitmap, Round(x1 * s), Round(y1 * s), Round(x2 * s), Round(y2 * s), pColor->ToPixel(),
                  BlendToPixWeight(pBlend), BlendToPixMode(pBlend), antiAlias, r.L, r.T, r.W(), r.H());
  return true;
}

bool IGraphics::DrawArc(const IColor* pColor, float cx, float cy, float r, float minAngle, float maxAngle,
                        const IChannelBlend* pBlend, bool antiAlias) {
  PIX_Arc(mDrawBitmap, cx * mScale, cy * mScale, r * mScale, minAngle, maxAngle, pColor->ToPixel(), BlendToPixWeight(pBlend),
          BlendToPixMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::DrawCircle(const IColor* pColor, float cx, float cy, float r, const IChannelBlend* pBlend,
                           bool antiAlias) {
  PIX_Circle(mDrawBitmap, cx * mScale, cy * mScale, r * mScale, pColor->ToPixel(), BlendToPixWeight(pBlend), BlendToPixMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::RoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerRadius,
                          bool antiAlias) {
  const IRECT d = ToDraw(*pR);
  PIX_RoundRect(mDrawBitmap, d.L, d.T, d.W(), d.H(), ToDraw(cornerRadius), pColor->ToPixel(),
                BlendToPixWeight(pBlend), BlendToPixMode(pBlend), antiAlias);
  return true;
}

bool IGraphics::FillRoundRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend, int cornerRadius,
                              bool antiAlias) {
  (void)antiAlias;
  const IRECT d = ToDraw(*pR);
  pR = const_cast<IRECT*>(&d);
  const int w = pR->W(), h = pR->H();
  if (w <= 0 || h <= 0) return true;
  int cr = ToDraw(cornerRadius);
  if (cr > w / 2) cr = w / 2;
  if (cr > h / 2) cr = h / 2;
  if (cr < 0) cr = 0;
  const PIX_pixel px = pColor->ToPixel();
  const float weight = BlendToPixWeight(pBlend);
  const int mode = BlendToPixMode(pBlend);
  // One span per row so that no pixel is blended twice (a weight below 1
  // would otherwise show the seams between corner discs and the body).
  for (int row = 0; row < h; ++row) {
    int inset = 0;
    int dy = -1;
    if (row < cr) dy = cr - row;
    else if (row >= h - cr) dy = row - (h - cr - 1);
    if (dy > 0) {
      const double fy = (double)dy - 0.5;
      const double dx = std::sqrt(std::max(0.0, (double)cr * cr - fy * fy));
      inset = cr - (int)(dx + 0.5);
    }
    PIX_FillRect(mDrawBitmap, pR->L + inset, pR->T + row, w - 2 * inset, 1, px, weight, mode);
  }
  return true;
}

bool IGraphics::FillIRect(const IColor* pColor, IRECT* pR, const IChannelBlend* pBlend) {
  if (!pColor || !pR) return true;
  // Clipped like the blits: a panel repainted under a dirty neighbour must
  // not paint over controls outside the region being redrawn.
  IRECT clip = ClipRegion(mDrawRECT, mWidth, mHeight);
  IRECT r = pR->Intersect(&clip);
  if (r.W() <= 0 || r.H() <= 0) return true;
  r = ToDraw(r);
  PIX_FillRect(mDrawBitmap, r.L, r.T, r.W(), r.H(), pColor->ToPixel(), BlendToPixWeight(pBlend),
               BlendToPixMode(pBlend));
  return true;
}

bool IGraphics::FillCircle(const IColor* pColor, int cx, int cy, float r, const IChannelBlend* pBlend,
                           bool antiAlias) {
  PIX_FillCircle(mDrawBitmap, ToDraw(cx), ToDraw(cy), Round(r * mScale), pColor->ToPixel(), BlendToPixWeight(pBlend), BlendToPixMode(pBlend),
                 antiAlias);
  return true;
}

bool IGraphics::FillTriangle(const IColor* pColor, int x1, int y1, int x2, int y2, int x3, int y3,
                             const IChannelBlend* pBlend) {
  PIX_FillTriangle(mDrawBitmap, ToDraw(x1), ToDraw(y1), ToDraw(x2), ToDraw(y2), ToDraw(x3), ToDraw(y3), pColor->ToPixel(), BlendToPixWeight(pBlend),
                   BlendToPixMode(pBlend));
  return true;
}

bool IGraphics::FillIConvexPolygon(const IColor* pColor, int* x, int* y, int nPoints, const IChannelBlend* pBlend) {
  if (!x || !y || nPoints < 3) return true;
  std::vector<int> sx, sy;
  if (mScale != 1.0f) {
    for (int i = 0; i < nPoints; ++i) {
      sx.push_back(ToDraw(x[i]));
      sy.push_back(ToDraw(y[i]));
    }
    x = sx.data();
    y = sy.data();
  }
  PIX_FillConvexPolygon(mDrawBitmap, x, y, nPoints, pColor->ToPixel(), BlendToPixWeight(pBlend),
                        BlendToPixMode(pBlend));
  return true;
}

bool IGraphics::DrawRect(const IColor* pColor, IRECT* pR) {
  // The outline lies on the rectangle's own outermost pixels (right and
  // bottom exclusive), each pixel drawn once.
  // Scaled, the outline is as thick as one editor pixel on the drawing bitmap.
  const IRECT d = ToDraw(*pR);
  const int w = d.W(), h = d.H(), t = ToDraw(1);
  if (w <= 0 || h <= 0) return true;
  const PIX_pixel px = pColor->ToPixel();
  const int mode = BlendToPixMode(nullptr);
  PIX_FillRect(mDrawBitmap, d.L, d.T, w, std::min(t, h), px, 1.0f, mode);
  if (h > t) PIX_FillRect(mDrawBitmap, d.L, d.B - t, w, t, px, 1.0f, mode);
  if (h > 2 * t) {
    PIX_FillRect(mDrawBitmap, d.L, d.T + t, std::min(t, w), h - 2 * t, px, 1.0f, mode);
    if (w > t) PIX_FillRect(mDrawBitmap, d.R - t, d.T + t, t, h - 2 * t, px, 1.0f, mode);
  }
  return true;
}

bool IGraphics::DrawVerticalLine(const IColor* pColor, int xi, int yLo, int yHi) {
  if (mScale != 1.0f) {
    if (yHi < yLo) std::swap(yLo, yHi);
    const IRECT d = ToDraw(IRECT(xi, yLo, xi + 1, yHi + 1));
    PIX_FillRect(mDrawBitmap, d.L, d.T, d.W(), d.H(), pColor->ToPixel(), 1.0f, BlendToPixMode(nullptr));
    return true;
  }
  PIX_Line(mDrawBitmap, xi, yLo, xi, yHi, pColor->ToPixel(), 1.0f, BlendToPixMode(nullptr), false);
  return true;
}

bool IGraphics::DrawHorizontalLine(const IColor* pColor, int yi, int xLo, int xHi) {
  if (mScale != 1.0f) {
    if (xHi < xLo) std::swap(xLo, xHi);
    const IRECT d = ToDraw(IRECT(xLo, yi, xHi + 1, yi + 1));
    PIX_FillRect(mDrawBitmap, d.L, d.T, d.W(), d.H(), pColor->ToPixel(), 1.0f, BlendToPixMode(nullptr));
    return true;
  }
  PIX_Line(mDrawBitmap, xLo, yi, xHi, yi, pColor->ToPixel(), 1.0f, BlendToPixMode(nullptr), false);
  return true;
}

bool IGraphics::DrawRadialLine(const IColor* pColor, float cx, float cy, float angle, float rMin, float rMax,
                               const IChannelBlend* pBlend, bool antiAlias) {
  const float s = std::sin(angle), c = std::cos(angle);
  return DrawLine(pColor, cx + rMin * s, cy - rMin * c, cx + rMax * s, cy - rMax * c, pBlend, antiAlias);
}

IColor IGraphics::GetPoint(int x, int y) {
  if (!mDrawBitmap) return COLOR_TRANSPARENT;
  return IColor::FromPixel(PIX_GetPixel(mDrawBitmap, ToDraw(x), ToDraw(y)));
}
