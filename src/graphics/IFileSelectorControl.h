// A button that opens the platform's file dialog and keeps the chosen file.
#pragma once

#include <string>

#include "graphics/IBitmap.h"
#include "graphics/IControl.h"
#include "graphics/IGraphics.h"

// A click opens the open or save dialog (PromptForFile) in the start folder
// with the given extensions (separated by spaces). A confirmed choice is kept
// (GetLastSelectedFileForPlug), the folder follows it, and the value toggles
// between 0 and 1 so that the bound parameter, if any, sees a change; a
// cancelled dialog changes nothing.
//
// States: idle shows the image (unblended); while the dialog is up
// (selecting) the image is hidden and only a white outline marks the button;
// done is the idle look again, reported dirty once so that it is redrawn.
class IFileSelectorControl : public IControl {
public:
  enum EFileSelectorState { kFSNone = 0, kFSSelecting = 1, kFSDone = 2 };

  IFileSelectorControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, IBitmap* pBitmap, EFileAction action,
                       const char* dir = "", const char* extensions = "");

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;
  bool IsDirty() override;

  const char* GetLastSelectedFileForPlug() const { return mFile.c_str(); }
  void SetLastSelectedFileFromPlug(const char* file);
  const char* GetDir() const { return mDir.c_str(); }
  EFileSelectorState GetState() const { return mState; }

private:
  IBitmap mBitmap;
  std::string mFile, mDir, mExtensions;
  EFileAction mFileAction;
  EFileSelectorState mState = kFSNone;
};
