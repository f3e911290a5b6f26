// Editor text: the process-wide font cache and drawing or measuring a string with a text style.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "graphics/IGraphics.h"
#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "pix/PIX_SysBitmap.h"
#include "pix/gdi/GDI.h"

namespace {

// Font flags for every editor font: the cached font owns the platform font
// (0x200) and draws through the platform's native renderer (0x400).
constexpr int kEditorFontFlags = PIX_FONT_FLAG_OWNS_HFONT | PIX_FONT_FLAG_FORCE_NATIVE;

// Fonts are made once per style and process and shared by every editor;
// the cache owns them and keeps them until the process ends.
struct FontEntry {
  int size, orientation, style;
  std::string name;
  std::unique_ptr<PIX_CachedFont> font;
};

struct FontCache {
  std::mutex mutex;
  std::vector<FontEntry> entries;
};

FontCache& s_fontCache() {
  static FontCache cache;
  return cache;
}

int PlatformQuality(IText::EQuality q) {
  switch (q) {
    case IText::kQualityNonAntiAliased: return NONANTIALIASED_QUALITY;
    case IText::kQualityAntiAliased:
    case IText::kQualityClearType: return ANTIALIASED_QUALITY;
    default: return DEFAULT_QUALITY;
  }
}

HFONT MakePlatformFont(const IText* pTxt, int h) {
  // Escapement and orientation are given in tenths of a degree.
  const int tenths = pTxt->mOrientation * 10;
  const int weight = pTxt->mStyle == IText::kStyleBold ? FW_BOLD : FW_NORMAL;
  const int italic = pTxt->mStyle == IText::kStyleItalic ? 1 : 0;
  return CreateFont(h, 0, tenths, tenths, weight, italic, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, PlatformQuality(pTxt->mQuality), DEFAULT_PITCH, pTxt->mFont);
}

}  // namespace

int IGraphics::FontRetryHeight(int h, int lineHeight) {
  if (lineHeight <= 0) return h;
  const int h2 = (int)((double)h * (double)h / (double)lineHeight + 0.5);
  return h2 < 2 ? 2 : h2;
}

PIX_CachedFont* IGraphics::CacheFont(IText* pTxt) {
  if (!pTxt) return nullptr;
  FontCache& cache = s_fontCache();
  // Held while a font is made, so that two editors asking for one style at
  // the same time make one font.
  std::lock_guard<std::mutex> lock(cache.mutex);
  for (FontEntry& e : cache.entries) {
    if (e.size == pTxt->mSize && e.orientation == pTxt->mOrientation && e.style == (int)pTxt->mStyle &&
        e.name == pTxt->mFont) {
      pTxt->mCached = e.font.get();
      return pTxt->mCached;
    }
  }

  int h = pTxt->mSize < 2 ? 2 : pTxt->mSize;
  HFONT hFont = MakePlatformFont(pTxt, h);
  if (!hFont) return nullptr;  // nothing cached: the next draw tries again
  auto font = std::make_unique<PIX_CachedFont>();
  font->SetFromHFont(hFont, kEditorFontFlags);

  // A font asked for at height h rarely has a line height of exactly h;
  // scale the request once so that the line height lands on the style's
  // size (one retry only: the ratio is close to constant across sizes).
  const int lineHeight = font->GetLineHeight();
  if (lineHeight > 0 && lineHeight != h) {
    const int h2 = FontRetryHeight(h, lineHeight);
    HFONT hRetry = MakePlatformFont(pTxt, h2);
    // The cached font owns the first platform font and deletes it when
    // given the second; a failed retry keeps the first.
    if (hRetry) font->SetFromHFont(hRetry, kEditorFontFlags);
  }

  FontEntry entry{pTxt->mSize, pTxt->mOrientation, (int)pTxt->mStyle, pTxt->mFont, std::move(font)};
  cache.entries.push_back(std::move(entry));
  pTxt->mCached = cache.entries.back().font.get();
  return pTxt->mCached;
}

bool IGraphics::DrawIText(IText* pTxt, const char* str, IRECT* pR, bool measure) {
  if (!str || !str[0]) return true;
  if (!pTxt || !pR) return true;
  if (mScale != 1.0f) {
    // Set at the scaled size on the drawing bitmap (never enlarged pixels):
    // the same drawing at scale 1 on scaled rectangles, then measures taken
    // back to editor pixels.
    IText scaled = *pTxt;
    scaled.mSize = ToDraw(pTxt->mSize);
    scaled.mCached = nullptr;
    IRECT r = ToDraw(*pR);
    const IRECT savedDraw = mDrawRECT;
    const float savedScale = mScale;
    if (!mDrawRECT.Empty()) mDrawRECT = ToDraw(mDrawRECT);
    mScale = 1.0f;
    const bool ok = DrawIText(&scaled, str, &r, measure);
    mScale = savedScale;
    mDrawRECT = savedDraw;
    if (measure) {
      auto back = [this](int v) { return (int)std::lround((float)v / mScale); };
      *pR = IRECT(back(r.L), back(r.T), back(r.R), back(r.B));
    }
    return ok;
  }
  PIX_CachedFont* font = pTxt->mCached ? pTxt->mCached : CacheFont(pTxt);
  if (!font) return false;

  unsigned fmt = DT_NOCLIP;
  if (pTxt->mColor.A < 255) fmt |= PIX_DT_USEFGALPHA;
  if (pTxt->mAlign == IText::kAlignCenter) fmt |= DT_CENTER;
  else if (pTxt->mAlign == IText::kAlignFar) fmt |= DT_RIGHT;
  font->SetTextColor(pTxt->mColor.ToPixel());

  if (measure) {
    fmt |= DT_CALCRECT;
    RECT r = {0, 0, 0, 0};
    font->DrawText(mDrawBitmap, str, -1, &r, fmt);
    const int w = r.right - r.left, h = r.bottom - r.top;
    switch (pTxt->mAlign) {
      case IText::kAlignCenter: pR->L = (int)pR->MW() - w / 2; break;
      case IText::kAlignFar: pR->L = pR->R - w; break;
      default: break;
    }
    pR->R = pR->L + w;
    pR->B = pR->T + h;
    return true;
  }

  // There is no vertical alignment: text starts at the rectangle's top.
  RECT r = {pR->L, pR->T, pR->R, pR->B};
  IRECT keep = TextBoxOutsideDrawRect(pTxt, font, str, pR, fmt);
  if (keep.Empty()) {
    font->DrawText(mDrawBitmap, str, -1, &r, fmt);
    return true;
  }
  // The text is not clipped to the rectangle being redrawn, but nothing was
  // repainted under it outside that rectangle: drawing it again there would
  // thicken antialiased edges on every pass. Keep those pixels and put them
  // back after the text is drawn.
  const int kw = keep.W(), kh = keep.H();
  mTmpBitmap->resize(kw, kh);
  PIX_Blit(mTmpBitmap, mDrawBitmap, 0, 0, keep.L, keep.T, kw, kh, 1.0f, PIX_BLIT_MODE_COPY);
  font->DrawText(mDrawBitmap, str, -1, &r, fmt);
  const IRECT& d = mDrawRECT;
  const IRECT strips[4] = {
      IRECT(keep.L, keep.T, keep.R, std::min(keep.B, d.T)),                                   // above
      IRECT(keep.L, std::max(keep.T, d.B), keep.R, keep.B),                                   // below
      IRECT(keep.L, std::max(keep.T, d.T), std::min(keep.R, d.L), std::min(keep.B, d.B)),     // left
      IRECT(std::max(keep.L, d.R), std::max(keep.T, d.T), keep.R, std::min(keep.B, d.B))};    // right
  for (const IRECT& s : strips) {
    if (s.W() <= 0 || s.H() <= 0) continue;
    PIX_Blit(mDrawBitmap, mTmpBitmap, s.L, s.T, s.L - keep.L, s.T - keep.T, s.W(), s.H(), 1.0f, PIX_BLIT_MODE_COPY);
  }
  return true;
}

IRECT IGraphics::TextBoxOutsideDrawRect(IText* pTxt, PIX_CachedFont* font, const char* str, IRECT* pR,
                                        unsigned fmt) {
  // Outside a drawing pass, or for turned text (whose box is placed by the
  // platform), there is nothing to protect.
  if (mDrawRECT.Empty() || !mDrawBitmap || !mTmpBitmap || pTxt->mOrientation != 0) return IRECT();
  RECT m = {0, 0, 0, 0};
  font->DrawText(mDrawBitmap, str, -1, &m, fmt | DT_CALCRECT);
  const int w = m.right - m.left, h = m.bottom - m.top;
  if (w <= 0 || h <= 0) return IRECT();
  int x = pR->L;
  if (pTxt->mAlign == IText::kAlignCenter) x = pR->L + (pR->W() - w) / 2;
  else if (pTxt->mAlign == IText::kAlignFar) x = pR->R - w;
  // Glyphs may reach a little past the measured advance (italic overhang,
  // antialiased edges).
  const int pad = 2 + pTxt->mSize / 4;
  IRECT box(x - pad, pR->T - pad, x + w + pad, pR->T + h + pad);
  IRECT bitmap(0, 0, mDrawBitmap->getWidth(), mDrawBitmap->getHeight());
  box = box.Intersect(&bitmap);
  if (box.W() <= 0 || box.H() <= 0) return IRECT();
  if (mDrawRECT.Contains(&box)) return IRECT();
  return box;
}
