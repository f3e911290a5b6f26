// Text controls: a label drawn with a text style, and a caption showing a parameter's display text.
#pragma once

#include "graphics/IControl.h"

// Draws its string in its rectangle with its style; an empty string draws
// nothing. Used as the value readout: other controls write into it through
// SetTextFromPlug, which only stores the text and marks the control dirty
// (it never informs the plug-in).
//
// Threads: the plug-in may call SetTextFromPlug from its audio thread (a
// learned MIDI controller writes its value into the readout), so the string
// lives in a fixed buffer: storing never allocates, and a draw that races a
// store reads a possibly mixed text for one frame but never freed memory.
// Longer texts are cut to kMaxTextLength characters.
class ITextControl : public IControl {
public:
  static constexpr int kMaxTextLength = 255;

  ITextControl(IPluginBase* pPlug, IRECT* pR, IText* pText, const char* str = "");

  // A different text is stored and the control marked dirty; the same text does nothing.
  void SetTextFromPlug(const char* str);
  void ClearTextFromPlug() { SetTextFromPlug(""); }
  const char* GetTextForPlug() const { return mStr; }

  bool Draw(IGraphics* pGraphics) override;

protected:
  // Copies str, cut to the buffer, without marking anything.
  void StoreText(const char* str);

  char mStr[kMaxTextLength + 1];
};

// Shows the bound parameter's display text (and, when asked, its label).
// Mouse-down and double click open the parameter's prompt, so prompting is
// enabled for this class.
class ICaptionControl : public ITextControl {
public:
  ICaptionControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, IText* pText, bool showParamLabel = true);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;
  // Rebuilds the string from the parameter's current display text; Draw does it first.
  void UpdateCaption();

private:
  bool mShowParamLabel;
};
