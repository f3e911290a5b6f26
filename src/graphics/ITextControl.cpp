// ITextControl and ICaptionControl.
#include "graphics/ITextControl.h"

#include <cstdio>
#include <cstring>

#include "framework/IParam.h"
#include "graphics/IGraphics.h"

ITextControl::ITextControl(IPluginBase* pPlug, IRECT* pR, IText* pText, const char* str)
    : IControl(pPlug, pR) {
  if (pText) mText = *pText;
  StoreText(str);
}

void ITextControl::StoreText(const char* str) {
  std::snprintf(mStr, sizeof(mStr), "%s", str ? str : "");
}

void ITextControl::SetTextFromPlug(const char* str) {
  const char* s = str ? str : "";
  // Compared as stored, so a text longer than the buffer is not "new" every time.
  if (std::strncmp(mStr, s, kMaxTextLength) != 0) {
    SetDirty(false);
    StoreText(s);
  }
}

bool ITextControl::Draw(IGraphics* pGraphics) {
  if (!mStr[0]) return true;
  return pGraphics->DrawIText(&mText, mStr, &mRECT);
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
  if (label[0])
    std::snprintf(mStr, sizeof(mStr), "%s %s", display, label);
  else
    StoreText(display);
}

bool ICaptionControl::Draw(IGraphics* pGraphics) {
  UpdateCaption();
  return ITextControl::Draw(pGraphics);
}
