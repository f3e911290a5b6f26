// IFileSelectorControl: the file dialog round trip and its two looks.
#include "graphics/IFileSelectorControl.h"

#include "framework/IPluginBase.h"
#include "graphics/IGraphics.h"

IFileSelectorControl::IFileSelectorControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, IBitmap* pBitmap,
                                           EFileAction action, const char* dir, const char* extensions)
    : IControl(pPlug, pR, paramIdx), mBitmap(pBitmap ? *pBitmap : IBitmap()), mDir(dir ? dir : ""),
      mExtensions(extensions ? extensions : ""), mFileAction(action) {}

void IFileSelectorControl::OnMouseDown(int x, int y, IMouseMod* pMod) {
  (void)x;
  (void)y;
  (void)pMod;
  IGraphics* pGraphics = mPlug ? dynamic_cast<IGraphics*>(mPlug->GetGUI()) : nullptr;
  if (!pGraphics) return;
  mState = kFSSelecting;
  SetDirty(false);
  // The answer comes later, while the editor runs on; the control lives as
  // long as the view, whose closing drops the answer.
  pGraphics->PromptForFileAsync(mFile, mFileAction, mDir, mExtensions.empty() ? nullptr : mExtensions.c_str(),
                                [this](const std::string& file, const std::string& dir) {
                                  mState = kFSDone;
                                  if (!file.empty()) {
                                    mFile = file;
                                    mDir = dir;
                                    mValue = mValue < 0.5 ? 1.0 : 0.0;
                                    SetDirty(true);
                                  } else {
                                    SetDirty(false);
                                  }
                                });
}

bool IFileSelectorControl::Draw(IGraphics* pGraphics) {
  if (mState == kFSSelecting) return pGraphics->DrawRect(&COLOR_WHITE, &mRECT);
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, 1, nullptr);
}

bool IFileSelectorControl::IsDirty() {
  if (mState == kFSDone) {
    mState = kFSNone;
    return true;
  }
  return IControl::IsDirty();
}

void IFileSelectorControl::SetLastSelectedFileFromPlug(const char* file) {
  mFile = file ? file : "";
  SetDirty(false);
}
