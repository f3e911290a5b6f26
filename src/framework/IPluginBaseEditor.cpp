// IPluginBase: the calls into the editor surface.
//
// The framework reaches IGraphics only through its virtual operations and
// never links the graphics library. This file is built without the
// sanitizer's dynamic-type check, which would need IGraphics' type information
// from that library.
#include "framework/IPluginBase.h"
#include "graphics/IGraphics.h"

void IPluginBase::AttachGraphics(IGraphics* pGraphics) {
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
