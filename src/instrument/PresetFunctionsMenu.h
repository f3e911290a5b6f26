// The preset browser field of the editor: shows the current preset's name; a click opens the preset menu.
#pragma once

#include <mutex>
#include <string>

#include "graphics/IPanelControl.h"

class QiKt412;

// A left click scans the instrument's preset folder afresh and shows it as a
// popup menu ("Save File...", a separator, then folders and presets). Picking
// a preset in a folder makes it current (Left and Right then step through
// that folder) and loads it; picking "Save File..." asks for a file name in
// the user folder and saves the current sound there; a preset lying directly
// in the base folder loads nothing. Draws the name, cut to 20 characters.
//
// Threads: the menu runs on the editor's thread; SetDisplayText may also be
// called from the thread that steps presets, so the name is kept under a
// small mutex of its own.
class PresetFunctionsMenu : public IPanelControl {
public:
  static constexpr size_t kMaxShownChars = 20;

  PresetFunctionsMenu(QiKt412* pPlug, IRECT* pR, const IColor* pColor);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;

  // Opens the menu and acts on the choice.
  void doPopupMenu();

  // Sets the shown name (at most its first 20 characters) and asks for a redraw.
  void SetDisplayText(const std::string& name);
  std::string GetDisplayText() const;

private:
  QiKt412* mInstrument;
  mutable std::mutex mTextMutex;
  std::string mDisplayText;
  IText mTextStyle;
};
