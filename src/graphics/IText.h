// Text style of the editor: font, size, colours, style, alignment, orientation, quality.
#pragma once

#include "graphics/IColor.h"

class PIX_CachedFont;

inline constexpr int DEFAULT_TEXT_SIZE = 10;
inline constexpr const char* DEFAULT_FONT = "Monaco";
inline constexpr int FONT_LEN = 32;

// A plain record copied into controls. mCached points at the font made from
// the style on first use; the font belongs to the process-wide font cache.
struct IText {
  enum EStyle { kStyleNormal = 0, kStyleBold = 1, kStyleItalic = 2 };
  enum EAlign { kAlignNear = 0, kAlignCenter = 1, kAlignFar = 2 };
  enum EQuality { kQualityDefault = 0, kQualityNonAntiAliased = 1, kQualityAntiAliased = 2, kQualityClearType = 3 };

  char mFont[FONT_LEN];
  int mSize;
  IColor mColor;
  IColor mTextEntryBGColor;
  IColor mTextEntryFGColor;
  EStyle mStyle;
  EAlign mAlign;
  int mOrientation;  // degrees counter-clockwise
  EQuality mQuality;
  PIX_CachedFont* mCached = nullptr;

  IText(int size = DEFAULT_TEXT_SIZE, const IColor* pColor = nullptr, const char* font = nullptr,
        EStyle style = kStyleNormal, EAlign align = kAlignCenter, int orientation = 0,
        EQuality quality = kQualityDefault, const IColor* pTEBGColor = nullptr,
        const IColor* pTEFGColor = nullptr)
      : mSize(size), mColor(pColor ? *pColor : DEFAULT_TEXT_COLOR),
        mTextEntryBGColor(pTEBGColor ? *pTEBGColor : DEFAULT_TEXT_ENTRY_BGCOLOR),
        mTextEntryFGColor(pTEFGColor ? *pTEFGColor : DEFAULT_TEXT_ENTRY_FGCOLOR), mStyle(style), mAlign(align),
        mOrientation(orientation), mQuality(quality) {
    SetFont(font);
  }

  explicit IText(const IColor* pColor) : IText(DEFAULT_TEXT_SIZE, pColor) {}

  // The name is cut to FONT_LEN - 1 characters rather than overrunning the field.
  void SetFont(const char* font) {
    const char* src = (font && font[0]) ? font : DEFAULT_FONT;
    int i = 0;
    for (; i < FONT_LEN - 1 && src[i]; ++i) mFont[i] = src[i];
    for (; i < FONT_LEN; ++i) mFont[i] = 0;
    mCached = nullptr;
  }
};
