// IFaderControl: handle placement, snapping to the mouse and wheel steps.
#include "graphics/IFaderControl.h"

#include "graphics/IGraphics.h"

IFaderControl::IFaderControl(IPluginBase* pPlug, int x, int y, int len, int paramIdx, IBitmap* pBitmap,
                             EDirection direction, bool onlyHandle)
    : IControl(pPlug, nullptr, paramIdx), mLen(len), mBitmap(pBitmap ? *pBitmap : IBitmap()),
      mDirection(direction), mOnlyHandle(onlyHandle) {
  const int hw = mBitmap.FrameWidth(), hh = mBitmap.FrameHeight();
  if (direction == kVertical) {
    mHandleHeadroom = hh;
    mRECT = mTargetRECT = IRECT(x, y, x + hw, y + len);
  } else {
    mHandleHeadroom = hw;
    mRECT = mTargetRECT = IRECT(x, y, x + len, y + hh);
  }
}

IRECT IFaderControl::GetHandleRECT(double value) const {
  if (value < 0.0) value = mValue;
  IRECT r(mRECT.L, mRECT.T, mRECT.L + mBitmap.FrameWidth(), mRECT.T + mBitmap.FrameHeight());
  // The handle travels over the track length minus its own size.
  const double travel = (double)(mLen - mHandleHeadroom);
  if (mDirection == kVertical) {
    const int offs = (int)((1.0 - value) * travel);
    r.T += offs;
    r.B += offs;
  } else {
    const int offs = (int)(value * travel);
    r.L += offs;
    r.R += offs;
  }
  return r;
}

void IFaderControl::SnapToMouse(int x, int y) {
  const int travel = mLen - mHandleHeadroom;
  // A track no longer than the handle has nowhere to move it.
  if (travel <= 0) return;
  if (mDirection == kVertical)
    mValue = 1.0 - (double)(y - mRECT.T - mHandleHeadroom / 2) / (double)travel;
  else
    mValue = (double)(x - mRECT.L - mHandleHeadroom / 2) / (double)travel;
  SetDirty(true);
}

void IFaderControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  if (pMod && pMod->R) {
    PromptUserInput();
    return;
  }
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) {
  (void)dX;
  (void)dY;
  (void)pMod;
  SnapToMouse(x, y);
}

void IFaderControl::OnMouseWheel(int x, int y, IMouseMod* pMod, int d) {
  (void)x;
  (void)y;
  mValue += (pMod && (pMod->S || pMod->C) ? 0.001 : 0.01) * (double)d;
  SetDirty(true);
}

bool IFaderControl::Draw(IGraphics* pGraphics) {
  IRECT r = GetHandleRECT();
  return pGraphics->DrawBitmap(&mBitmap, &r, 1, &mBlend);
}

bool IFaderControl::IsHit(int x, int y) {
  if (mOnlyHandle) return GetHandleRECT().Contains(x, y);
  return mTargetRECT.Contains(x, y);
}
