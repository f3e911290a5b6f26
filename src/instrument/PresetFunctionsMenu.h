// The preset browser field of the editor: shows the current preset's name; a click opens the preset menu.
#pragma once

#include <mutex>
#include <string>

#include "graphics/IPanelControl.h"

class IPopupMenu;
class QiKt412;

// A left click scans the instrument's preset folder afresh and shows it as a
// popup menu ("Save File...", a separator, then folders and presets). Picking
// a preset in a folder makes it current (Left and Right then step through
// that folder) and loads it; picking "Save File..." asks for a file name in
// the user folder and saves the current sound there; a preset lying directly
// in the base folder loads nothing. Draws the name, cut to 20 characters.
//
// The field names what is loaded: the instrument tells it (SetLoaded) after
// every preset load or save with the values the sound then had, and its
// timer (UpdateModified) marks the name with a trailing "*" while the sound
// parameters differ from those values, whoever moved them. The menu checks
// the loaded preset's entry.
//
// Threads: the menu runs on the editor's thread; SetDisplayText and
// SetLoaded may also be called from the thread that steps presets, so the
// name is kept under a small mutex of its own.
class PresetFunctionsMenu : public IPanelControl {
public:
  static constexpr size_t kMaxShownChars = 20;

  PresetFunctionsMenu(QiKt412* pPlug, IRECT* pR, const IColor* pColor);
  ~PresetFunctionsMenu() override;
  // The instrument is going: no more calls to it.
  void ForgetInstrument() { mInstrument = nullptr; }

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;

  // Opens the menu and acts on the choice.
  void doPopupMenu();

  // Sets the shown name (at most its first 20 characters) and asks for a redraw.
  void SetDisplayText(const std::string& name);
  // The name as drawn: with a trailing "*" while modified.
  std::string GetDisplayText() const;

  // How many parameters a preset's sound is compared by (the sound
  // controls and the two MIDI switches).
  static constexpr int kComparedParams = 11;
  // The preset at path (named name) is what the sound parameters, with the
  // normalised values given, now hold; clears the modified mark.
  void SetLoaded(const std::string& name, const std::string& path, const double* values);
  // Marks the name modified when values differ from the loaded ones.
  void UpdateModified(const double* values);
  bool IsModified() const;
  std::string LoadedPath() const;

private:
  // Checks the entry of the preset at path (and no other) in menu and its submenus.
  static void MarkLoaded(IPopupMenu* menu, const std::string& path);

  QiKt412* mInstrument;
  mutable std::mutex mTextMutex;
  std::string mDisplayText;
  std::string mLoadedPath;
  double mLoadedValues[kComparedParams] = {};
  bool mHasLoaded = false;
  bool mModified = false;
  IText mTextStyle;
};
