// Bitmap font strip text: the layout of characters into cells and the control that shows it.
#include "graphics/IBitmapTextControl.h"

#include <cstring>

#include "graphics/IGraphics.h"

bool DrawBitmapedText(IGraphics* pGraphics, IBitmap* pTextBitmap, IRECT* pR, IText* pTxt, const IChannelBlend* pB,
                      const char* str, bool vCenter, bool multiline, int charWidth, int charHeight, int charOffset) {
  if (!pGraphics || !pTextBitmap || !pR || !str || !str[0]) return true;
  // A cell without width cannot advance the pen, and a line count would divide by it.
  if (charWidth <= 0 || charHeight <= 0) return true;

  const int len = (int)std::strlen(str);
  const int rectW = pR->W(), rectH = pR->H();
  const int textW = len * charWidth;

  const int basicYOffset = vCenter ? pR->T + (rectH - charHeight) / 2 : pR->T;
  int basicXOffset = pR->L;
  const IText::EAlign align = pTxt ? pTxt->mAlign : IText::kAlignNear;
  if (align == IText::kAlignCenter) basicXOffset = pR->L + (rectW - textW) / 2;
  else if (align == IText::kAlignFar) basicXOffset = pR->R - textW;

  int charsPerLine, nLines;
  if (multiline && textW > rectW) {
    charsPerLine = rectW / charWidth;
    // A rectangle narrower than one cell holds no character; it also keeps
    // the line count below from dividing by a width of 0.
    if (charsPerLine <= 0) return true;
    nLines = textW / rectW + 1;
  } else if (multiline) {
    charsPerLine = len;
    nLines = 1;
  } else {
    charsPerLine = rectW / charWidth;
    nLines = 1;
  }
  if (charsPerLine <= 0) return true;

  int strIdx = 0;
  for (int line = 0; line < nLines && strIdx < len; ++line) {
    const int y = basicYOffset + line * charHeight;
    for (int col = 0; col < charsPerLine && strIdx < len; ++col, ++strIdx) {
      // The strip starts at the space character (code 32) as frame 1;
      // codes below it give frames below 1, which draw the first frame.
      const int frame = (int)(unsigned char)str[strIdx] - 31;
      const int x = basicXOffset + col * (charWidth + charOffset);
      IRECT cell(x, y, x + charWidth, y + charHeight);
      pGraphics->DrawBitmap(pTextBitmap, &cell, frame, pB);
    }
  }
  return true;
}

IBitmapTextControl::IBitmapTextControl(IPluginBase* pPlug, IRECT* pR, IBitmap* pBitmap, const char* str,
                                       IText* pText, int charWidth, int charHeight, int charOffset, bool multiLine,
                                       bool vCenter)
    : IControl(pPlug, pR), mCharWidth(charWidth), mCharHeight(charHeight), mCharOffset(charOffset),
      mTextBitmap(pBitmap ? *pBitmap : IBitmap()), mMultiLine(multiLine), mVCentre(vCenter),
      mStr(str ? str : "") {
  if (pText) mText = *pText;
}

void IBitmapTextControl::SetTextFromPlug(const char* str) {
  const char* s = str ? str : "";
  if (mStr != s) {
    SetDirty(false);
    mStr = s;
  }
}

bool IBitmapTextControl::Draw(IGraphics* pGraphics) {
  if (mStr.empty()) return true;
  return DrawBitmapedText(pGraphics, &mTextBitmap, &mRECT, &mText, &mBlend, mStr.c_str(), mVCentre, mMultiLine,
                          mCharWidth, mCharHeight, mCharOffset);
}
