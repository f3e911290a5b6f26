// Text drawn from a bitmap font strip, and the control that shows such text.
#pragma once

#include <string>

#include "graphics/IBitmap.h"
#include "graphics/IControl.h"

class IGraphics;

// Draws str with the strip pTextBitmap, whose frames are the characters from
// the space (frame 1) upward, one charWidth x charHeight cell each, placed
// charOffset pixels apart beyond the cell width. Alignment comes from pTxt;
// vCenter centres the line vertically in pR; multiline wraps text wider than
// pR, otherwise what does not fit is cut. Returns true (also for empty text).
bool DrawBitmapedText(IGraphics* pGraphics, IBitmap* pTextBitmap, IRECT* pR, IText* pTxt, const IChannelBlend* pB,
                      const char* str, bool vCenter = true, bool multiline = false, int charWidth = 6,
                      int charHeight = 12, int charOffset = 0);

// A control that shows a string in a bitmap font (a value readout, a preset
// name). It has no parameter of its own; the plug-in writes its text with
// SetTextFromPlug, possibly from the plug-in side, which only stores the text
// and marks the control dirty.
class IBitmapTextControl : public IControl {
public:
  IBitmapTextControl(IPluginBase* pPlug, IRECT* pR, IBitmap* pBitmap, const char* str = "", IText* pText = nullptr,
                     int charWidth = 6, int charHeight = 12, int charOffset = 0, bool multiLine = false,
                     bool vCenter = true);

  bool Draw(IGraphics* pGraphics) override;

  // Stores the text; a change marks the control dirty without telling the plug-in.
  void SetTextFromPlug(const char* str);
  const char* GetTextForPlug() const { return mStr.c_str(); }
  void ClearTextFromPlug() { SetTextFromPlug(""); }

protected:
  int mCharWidth, mCharHeight, mCharOffset;
  IBitmap mTextBitmap;
  bool mMultiLine;
  bool mVCentre;
  std::string mStr;
};
