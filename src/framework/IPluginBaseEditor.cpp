// IPluginBase: the calls into the editor surface, through IEditor only.
#include "framework/IEditor.h"
#include "framework/IPluginBase.h"

void IPluginBase::AttachGraphics(IEditor* pGraphics) {
  if (!pGraphics) return;
  IMutexLock lock(this);
  for (int i = 0; i < NParams(); ++i) {
    pGraphics->SetParameterFromPlug(i, mParams[static_cast<std::size_t>(i)]->GetNormalized(), true);
  }
  pGraphics->PrepDraw();
  // The base owns its editor: a replaced one is deleted rather than leaked.
  if (mGraphics && mGraphics != pGraphics) delete mGraphics;
  mGraphics = pGraphics;
}

void IPluginBase::RedrawParamControls() {
  if (!mGraphics) return;
  for (int i = 0; i < NParams(); ++i) {
    mGraphics->SetParameterFromPlug(i, mParams[static_cast<std::size_t>(i)]->Value(), false);
  }
}

void IPluginBase::DeleteGraphics() {
  delete mGraphics;
  mGraphics = nullptr;
}
