// IURLControl: opening the address and its fallback through the platform.
#include "graphics/IURLControl.h"

#include <cstdio>

#include "framework/IPluginBase.h"
#include "graphics/IGraphics.h"

namespace {
void CopyCut(char* dest, int size, const char* src) { std::snprintf(dest, (std::size_t)size, "%s", src ? src : ""); }
}  // namespace

IURLControl::IURLControl(IPluginBase* pPlug, IRECT* pR, const char* url, const char* backupURL,
                         const char* errMsgOnFailure)
    : IControl(pPlug, pR) {
  CopyCut(mURL, kURLSize, url);
  CopyCut(mBackupURL, kURLSize, backupURL);
  CopyCut(mErrMsg, kMsgSize, errMsgOnFailure);
}

void IURLControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  IGraphics* pGraphics = mPlug ? dynamic_cast<IGraphics*>(mPlug->GetGUI()) : nullptr;
  if (!pGraphics) return;
  bool opened = false;
  if (mURL[0]) opened = pGraphics->OpenURL(mURL, mErrMsg);
  if (!opened && mBackupURL[0]) pGraphics->OpenURL(mBackupURL, mErrMsg);
  SetDirty(false);
}
