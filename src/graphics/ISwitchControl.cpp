// Switch family: stepping, momentary, prompt, frame-area, overlay, invisible and radio buttons.
#include "graphics/ISwitchControl.h"

#include <algorithm>

#include "graphics/IGraphics.h"

void ISwitchControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  const double step = mBitmap.N > 1 ? 1.0 / (double)(mBitmap.N - 1) : 1.0;
  mValue += step;
  // The margin keeps the last frame reachable despite rounding in the steps.
  if (mValue > 1.001) mValue = 0.0;
  SetDirty(true);
}

void IContactControl::OnMouseUp(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  mValue = 0.0;
  SetDirty(true);
}

ISwitchPopUpControl::ISwitchPopUpControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                                         IChannelBlend::EBlendMethod blendMethod)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod) {
  mDisablePrompt = false;
}

void ISwitchPopUpControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  PromptUserInput();
  SetDirty(true);
}

ISwitchFramesControl::ISwitchFramesControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                                           bool imagesAreHorizontal, IChannelBlend::EBlendMethod blendMethod)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, blendMethod) {
  const int n = mBitmap.N > 0 ? mBitmap.N : 1;
  for (int i = 0; i < n; ++i) {
    // Areas tile the rectangle exactly: area i spans [i * len / n, (i + 1) * len / n).
    if (imagesAreHorizontal) {
      const int w = mRECT.W();
      mRECTs.emplace_back(mRECT.L + i * w / n, mRECT.T, mRECT.L + (i + 1) * w / n, mRECT.B);
    } else {
      const int h = mRECT.H();
      mRECTs.emplace_back(mRECT.L, mRECT.T + i * h / n, mRECT.R, mRECT.T + (i + 1) * h / n);
    }
  }
}

namespace {
// Areas laid out in order stand for values 0 to 1 in equal steps. Sets value to
// the step of the area under (x, y); false (value untouched) when none is hit.
bool ValueOfAreaAt(const std::vector<IRECT>& areas, int x, int y, double* value) {
  const int n = (int)areas.size();
  for (int i = 0; i < n; ++i) {
    if (areas[(std::size_t)i].Contains(x, y)) {
      *value = n > 1 ? (double)i / (double)(n - 1) : 0.0;
      return true;
    }
  }
  return false;
}
}  // namespace

void ISwitchFramesControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)pMod;
  if (ValueOfAreaAt(mRECTs, x, y, &mValue)) SetDirty(true);
}

IBitmapOverlayControl::IBitmapOverlayControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                                             IRECT* pTargetArea)
    : ISwitchControl(pPlug, x, y, paramIdx, pBitmap), mTargetArea(pTargetArea ? *pTargetArea : IRECT()) {
  mTargetRECT = mTargetArea;
}

bool IBitmapOverlayControl::Draw(IGraphics* pGraphics) {
  if (mValue < 0.5) {
    mTargetRECT = mTargetArea;
    return true;
  }
  mTargetRECT = mRECT;
  return ISwitchControl::Draw(pGraphics);
}

bool IBitmapOverlayControl::IsHit(int x, int y) {
  // Decided by the value itself, so a click right after a change from the
  // plug-in hits the right area even before the next drawing pass.
  return (mValue < 0.5 ? mTargetArea : mRECT).Contains(x, y);
}

void IInvisibleSwitchControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  mValue = mValue < 0.5 ? 1.0 : 0.0;
  SetDirty(true);
}

IRadioButtonsControl::IRadioButtonsControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, int nButtons,
                                           IBitmap* pBitmap, EDirection direction, bool reverse)
    : IControl(pPlug, pR, paramIdx), mBitmap(pBitmap ? *pBitmap : IBitmap()) {
  const int n = nButtons > 0 ? nButtons : 1;
  const int w = mBitmap.FrameWidth(), h = mBitmap.FrameHeight();
  // The free space is shared out evenly between the buttons.
  const int free = direction == kHorizontal ? mRECT.W() - n * w : mRECT.H() - n * h;
  for (int i = 0; i < n; ++i) {
    const int offs = n > 1 ? (int)((long long)free * i / (n - 1)) : 0;
    if (direction == kHorizontal) {
      const int x = mRECT.L + i * w + offs;
      mRECTs.emplace_back(x, mRECT.T, x + w, mRECT.T + h);
    } else {
      const int y = mRECT.T + i * h + offs;
      mRECTs.emplace_back(mRECT.L, y, mRECT.L + w, y + h);
    }
  }
  if (reverse) std::reverse(mRECTs.begin(), mRECTs.end());
}

int IRadioButtonsControl::SelectedButton() const {
  const int n = (int)mRECTs.size();
  int i = (int)(0.5 + mValue * (double)(n - 1));
  return std::clamp(i, 0, n - 1);
}

void IRadioButtonsControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  if (pMod && pMod->R) {
    PromptUserInput();
    return;
  }
  if (ValueOfAreaAt(mRECTs, x, y, &mValue)) SetDirty(true);
}

bool IRadioButtonsControl::Draw(IGraphics* pGraphics) {
  const int selected = SelectedButton();
  for (int i = 0; i < (int)mRECTs.size(); ++i)
    pGraphics->DrawBitmap(&mBitmap, &mRECTs[(std::size_t)i], i == selected ? 2 : 1, &mBlend);
  return true;
}
