// A small box beside a control that shows its parameter's name and value while it is dragged or pointed at.
#include "graphics/IValueBubble.h"

#include "graphics/IControl.h"
#include "graphics/IGraphics.h"

void IValueBubble::Enable(const Style& style, TextFunc text) {
  mStyle = style;
  mTextFunc = std::move(text);
}

IRECT IValueBubble::Follow(IGraphics* pGraphics, IControl* pControl) {
  if (!mTextFunc || (pControl && pControl->ParamIdx() < 0)) pControl = nullptr;
  if (pControl == mControl) return Refresh(pGraphics);
  const IRECT old = mControl ? mRect : IRECT();
  mControl = pControl;
  if (!mControl) {
    mShown.clear();
    mRect = IRECT();
    return old;
  }
  mShown = mTextFunc(mControl->ParamIdx(), mControl->GetValue());
  mRect = Layout(pGraphics, mShown);
  return old.Empty() ? mRect : old.Union(&mRect);
}

IRECT IValueBubble::Refresh(IGraphics* pGraphics) {
  if (!mControl) return IRECT();
  std::string text = mTextFunc(mControl->ParamIdx(), mControl->GetValue());
  if (text == mShown) return IRECT();
  const IRECT old = mRect;
  mShown = std::move(text);
  mRect = Layout(pGraphics, mShown);
  return old.Union(&mRect);
}

IRECT IValueBubble::Layout(IGraphics* pGraphics, const std::string& text) {
  IRECT measured;
  pGraphics->MeasureIText(&mStyle.text, text.c_str(), &measured);
  const int w = measured.W() + 2 * mStyle.padding;
  const int h = measured.H() + 2 * mStyle.padding;
  // Right of the control, centred on it; left of it where the editor ends.
  const IRECT* c = mControl->GetRECT();
  int left = c->R + mStyle.gap;
  if (left + w > pGraphics->Width()) left = c->L - mStyle.gap - w;
  if (left < 0) left = 0;
  int top = (c->T + c->B - h) / 2;
  if (top + h > pGraphics->Height()) top = pGraphics->Height() - h;
  if (top < 0) top = 0;
  return IRECT(left, top, left + w, top + h);
}

void IValueBubble::Draw(IGraphics* pGraphics) {
  if (!mControl) return;
  pGraphics->FillRoundRect(&mStyle.fill, &mRect, nullptr, mStyle.corner, true);
  pGraphics->RoundRect(&mStyle.border, &mRect, nullptr, mStyle.corner, true);
  IRECT textRect(mRect.L + mStyle.padding, mRect.T + mStyle.padding, mRect.R - mStyle.padding,
                 mRect.B - mStyle.padding);
  pGraphics->DrawIText(&mStyle.text, mShown.c_str(), &textRect);
}
