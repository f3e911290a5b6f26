// ITextControl and ICaptionControl.
#include "graphics/ITextControl.h"

#include "framework/IParam.h"
#include "graphics/IGraphics.h"

ITextControl::ITextControl(IPluginBase* pPlug, IRECT* pR, IText* pText, const char* str)
    : IControl(pPlug, pR), mStr(str ? str : "") {
  if (pText) mText = *pText;
}

void ITextControl::SetTextFromPlug(const char* str) {
  const char* s = str ? str : "";
  if (mStr != s) {
    SetDirty(false);
    mStr = s;
  }
}

bool ITextControl::Draw(IGraphics* pGraphics) {
  if (mStr.empty()) return true;
  return pGraphics->DrawIText(&mText, mStr.c_str(), &mRECT);
}

ICaptionControl::ICaptionControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, IText* pText, bool showParamLabel)
    : ITextControl(pPlug, pR, pText), mShowParamLabel(showParamLabel) {
  mParamIdx = paramIdx;
  mDisablePrompt = false;
}

void ICaptionControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  PromptUserInput();
}

void ICaptionControl::OnMouseDblClick(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  PromptUserInput();
}

void ICaptionControl::UpdateCaption() {
  IParam* pParam = GetParam();
  if (!pParam) return;
  char display[IParam::kTextSize];
  pParam->GetDisplayForHost(display, IParam::kTextSize);
  const char* label = mShowParamLabel ? pParam->GetLabelForHost() : "";
  mStr = display;
  if (label[0]) {
    mStr += ' ';
    mStr += label;
  }
}

bool ICaptionControl::Draw(IGraphics* pGraphics) {
  UpdateCaption();
  return ITextControl::Draw(pGraphics);
}
