// An invisible area that opens a web address (or a fallback address) when clicked.
#pragma once

#include "graphics/IControl.h"

// Draws nothing. A click asks the platform to open the address, passing the
// message as the second argument; when that fails or the address is empty,
// the backup address is tried the same way. Texts longer than their fields
// (255, 255 and 1023 characters) are cut.
class IURLControl : public IControl {
public:
  static constexpr int kURLSize = 256;
  static constexpr int kMsgSize = 1024;

  IURLControl(IPluginBase* pPlug, IRECT* pR, const char* url, const char* backupURL = nullptr,
              const char* errMsgOnFailure = nullptr);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override { (void)pGraphics; return true; }

  const char* GetURL() const { return mURL; }
  const char* GetBackupURL() const { return mBackupURL; }

private:
  char mURL[kURLSize];
  char mBackupURL[kURLSize];
  char mErrMsg[kMsgSize];
};
