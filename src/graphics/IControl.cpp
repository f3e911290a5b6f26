// IControl: value handling, dirty flags, visibility, prompting and auxiliary parameters.
#include "graphics/IControl.h"

#include <cassert>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "framework/IParam.h"
#include "framework/IPluginBase.h"
#include "graphics/IGraphics.h"
#include "graphics/ITextControl.h"

namespace {
// Display texts and labels are at most 31 characters each (IParam::kTextSize
// with the terminator); the readout gets "<display> <label>".
constexpr int kDisplayTextSize = IParam::kTextSize;
}  // namespace

IControl::IControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, IChannelBlend::EBlendMethod blendMethod)
    : mPlug(pPlug), mRECT(pR ? *pR : IRECT()), mTargetRECT(mRECT), mParamIdx(paramIdx), mBlend(blendMethod, 1.0f) {}

IParam* IControl::GetParam() {
  if (!mPlug || mParamIdx < 0) return nullptr;
  return mPlug->GetParam(mParamIdx);
}

void IControl::SetValueFromPlug(double value) {
  // Not a number cannot be shown or clamped; the control keeps its value.
  if (std::isnan(value)) return;
  // The first value the plug-in pushes is the double-click default.
  if (mDefaultValue < 0.0) mDefaultValue = mValue = value;
  if (mValue != value) {
    mValue = value;
    SetDirty(false);
    Redraw();
  }
}

void IControl::SetValueFromUserInput(double value) {
  // A text entry can yield "nan"; it must not reach the parameter.
  if (std::isnan(value)) return;
  if (mValue != value) {
    mValue = value;
    SetDirty(true);
    Redraw();
  }
}

void IControl::SetDirty(bool pushParamToPlug) {
  // NaN passes both comparisons below; a derived control that computed one
  // falls back to the low end rather than handing NaN to the plug-in.
  if (std::isnan(mValue)) mValue = mClampLo;
  if (mValue < mClampLo)
    mValue = mClampLo;
  else if (mValue > mClampHi)
    mValue = mClampHi;
  mDirty = true;
  if (!pushParamToPlug || !mPlug || mParamIdx < 0) return;

  mPlug->SetParameterFromGUI(mParamIdx, mValue);
  IParam* pParam = GetParam();
  if (!pParam) return;
  if (mValDisplayControl) {
    // Both parts are cut to the parameter text size so that the readout
    // never receives more than "<31 characters> <31 characters>".
    char display[kDisplayTextSize];
    pParam->GetDisplayForHost(display, kDisplayTextSize);
    char text[2 * kDisplayTextSize + 1];
    std::snprintf(text, sizeof(text), "%.*s %.*s", kDisplayTextSize - 1, display, kDisplayTextSize - 1,
                  pParam->GetLabelForHost());
    mValDisplayControl->SetTextFromPlug(text);
  }
  if (mNameDisplayControl) mNameDisplayControl->SetTextFromPlug(pParam->GetNameForHost());
}

void IControl::SetClean() {
  mDirty = mRedraw;
  mRedraw = false;
}

void IControl::Hide(bool hide) {
  mHide = hide;
  mRedraw = true;
  SetDirty(false);
}

void IControl::GrayOut(bool gray) {
  mGrayed = gray;
  mBlend.mWeight = gray ? 0.25f : 1.0f;
  SetDirty(false);
}

void IControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  if (pMod && pMod->R) PromptUserInput();
}

void IControl::OnMouseDblClick(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  if (mDefaultValue >= 0.0) {
    mValue = mDefaultValue;
    SetDirty(true);
  }
}

void IControl::PromptUserInput() {
  IParam* pParam = GetParam();
  if (!pParam || mDisablePrompt) return;
  if (pParam->GetNDisplayTexts()) {
    PromptUserInput(&mRECT);
    return;
  }
  // A text field of 40 x 16 pixels centred on the control.
  const int cX = (int)mRECT.MW(), cY = (int)mRECT.MH();
  IRECT txtRECT(cX - 20, cY - 8, cX + 20, cY + 8);
  PromptUserInput(&txtRECT);
}

void IControl::PromptUserInput(IRECT* pTextRect) {
  IParam* pParam = GetParam();
  if (!pParam || mDisablePrompt || !pTextRect) return;
  IGraphics* pGraphics = mPlug ? dynamic_cast<IGraphics*>(mPlug->GetGUI()) : nullptr;
  if (!pGraphics) return;
  pGraphics->PromptUserInput(this, pParam, pTextRect);
  Redraw();
}

IControl::AuxParam* IControl::GetAuxParam(int i) {
  assert(i >= 0 && i < NAuxParams() && "auxiliary parameter index in range");
  if (i < 0 || i >= NAuxParams()) return nullptr;
  return &mAuxParams[(std::size_t)i];
}

int IControl::AuxParamIdx(int paramIdx) const {
  for (int i = 0; i < NAuxParams(); ++i)
    if (mAuxParams[(std::size_t)i].mParamIdx == paramIdx) return i;
  return -1;
}

void IControl::SetAuxParamValueFromPlug(int auxParamIdx, double value) {
  AuxParam* pAux = GetAuxParam(auxParamIdx);
  if (!pAux || pAux->mValue == value) return;
  pAux->mValue = value;
  SetDirty(false);
  Redraw();
}

void IControl::SetAllAuxParamsFromGUI() {
  if (!mPlug) return;
  for (const AuxParam& aux : mAuxParams) mPlug->SetParameterFromGUI(aux.mParamIdx, aux.mValue);
}
