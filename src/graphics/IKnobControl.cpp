// Knob drag and wheel gearing, and the drawing of the knob family.
#include "graphics/IKnobControl.h"

#include <algorithm>
#include <cmath>

#include "graphics/IBitmapControl.h"
#include "graphics/IGraphics.h"

namespace {
// Shift or control turns a drag or wheel step ten times finer.
bool FineAdjust(const IMouseMod* pMod) { return pMod && (pMod->S || pMod->C); }
}  // namespace

void IKnobControl::OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) {
  (void)x;
  (void)y;
  double gearing = mGearing;
  if (FineAdjust(pMod)) gearing *= 10.0;
  // Screen y grows downward, so T - B (negative) turns an upward drag into a
  // rise. A knob without extent or gearing would divide by zero: it ignores drags.
  const int extent = mDirection == kVertical ? mRECT.T - mRECT.B : mRECT.R - mRECT.L;
  if (extent == 0 || gearing == 0.0) return;
  const int d = mDirection == kVertical ? dY : dX;
  mValue += (double)d / (double)extent / gearing;
  SetDirty(true);
}

void IKnobControl::OnMouseWheel(int x, int y, IMouseMod* pMod, int d) {
  (void)x;
  (void)y;
  mValue += (FineAdjust(pMod) ? 0.001 : 0.01) * (double)d;
  SetDirty(true);
}

IKnobMultiControl::IKnobMultiControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                                     EDirection direction, double gearing)
    : IKnobControl(pPlug, nullptr, paramIdx, direction, gearing), mBitmap(pBitmap ? *pBitmap : IBitmap()) {
  mRECT = mTargetRECT = FrameRECT(x, y, &mBitmap);
}

bool IKnobMultiControl::Draw(IGraphics* pGraphics) {
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, FilmstripFrame(mValue, mBitmap.N), &mBlend);
}

IKnobLineControl::IKnobLineControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, const IColor* pColor,
                                   double innerRadius, double outerRadius, double minAngle, double maxAngle,
                                   EDirection direction, double gearing)
    : IKnobControl(pPlug, pR, paramIdx, direction, gearing), mColor(pColor ? *pColor : COLOR_BLACK),
      mInnerRadius((float)innerRadius), mOuterRadius((float)outerRadius), mMinAngle(minAngle), mMaxAngle(maxAngle) {
  if (mOuterRadius == 0.0f) mOuterRadius = 0.5f * (float)std::min(mRECT.W(), mRECT.H());
}

bool IKnobLineControl::Draw(IGraphics* pGraphics) {
  const double rad = Angle() * M_PI / 180.0;
  const float s = (float)std::sin(rad), c = (float)std::cos(rad);
  const float cx = mRECT.MW(), cy = mRECT.MH();
  // Clockwise from twelve o'clock on a screen whose y grows downward.
  const float x1 = cx + mInnerRadius * s, y1 = cy - mInnerRadius * c;
  const float x2 = cx + mOuterRadius * s, y2 = cy - mOuterRadius * c;
  return pGraphics->DrawLine(&mColor, x1, y1, x2, y2, &mBlend, true);
}

IKnobRotaterControl::IKnobRotaterControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                                         double minAngle, double maxAngle, int yOffsetZeroDeg, EDirection direction,
                                         double gearing)
    : IKnobControl(pPlug, nullptr, paramIdx, direction, gearing), mBitmap(pBitmap ? *pBitmap : IBitmap()),
      mMinAngle(minAngle), mMaxAngle(maxAngle), mYOffset(yOffsetZeroDeg) {
  mRECT = mTargetRECT = IRECT(x, y, x + mBitmap.W, y + mBitmap.H);
}

bool IKnobRotaterControl::Draw(IGraphics* pGraphics) {
  const int cx = (int)mRECT.MW(), cy = (int)mRECT.MH();
  return pGraphics->DrawRotatedBitmap(&mBitmap, cx, cy, Angle(), mYOffset, &mBlend);
}

IKnobRotatingMaskControl::IKnobRotatingMaskControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBase,
                                                   IBitmap* pMask, IBitmap* pTop, double minAngle, double maxAngle,
                                                   EDirection direction, double gearing)
    : IKnobControl(pPlug, nullptr, paramIdx, direction, gearing), mBase(pBase ? *pBase : IBitmap()),
      mMask(pMask ? *pMask : IBitmap()), mTop(pTop ? *pTop : IBitmap()), mMinAngle(minAngle), mMaxAngle(maxAngle) {
  mRECT = mTargetRECT = IRECT(x, y, x + mBase.W, y + mBase.H);
}

bool IKnobRotatingMaskControl::Draw(IGraphics* pGraphics) {
  return pGraphics->DrawRotatedMask(&mBase, &mMask, &mTop, mRECT.L, mRECT.T, Angle(), &mBlend);
}
