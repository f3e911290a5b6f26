// Cached-font text: glyph masks rendered once by the platform, then blended; or native drawing.
#include "pix/PIX_CachedFont.h"

#include "pix/PIX_Blit.h"
#include "pix/PIX_Combine.h"
#include "pix/PIX_SysBitmap.h"
#include "platform/gdi/GDI.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <type_traits>

// Our names for the platform's flags must mean what the platform means.
static_assert(PIX_DT_CALCRECT == DT_CALCRECT && PIX_DT_VCENTER == DT_VCENTER && PIX_DT_CENTER == DT_CENTER &&
              PIX_DT_BOTTOM == DT_BOTTOM && PIX_DT_RIGHT == DT_RIGHT && PIX_DT_SINGLELINE == DT_SINGLELINE &&
              PIX_DT_NOPREFIX == DT_NOPREFIX && PIX_DT_NOCLIP == DT_NOCLIP && PIX_DT_TOP == DT_TOP &&
              PIX_DT_LEFT == DT_LEFT);
static_assert(std::is_same_v<PIX_HFONT, HFONT>);

namespace {

// Scratch bitmaps shared by every font: one the platform renders single glyphs
// into, one for native drawing into bitmaps without a context. They are made on
// first use and deleted when the program ends or the library holding this code
// is unloaded (a host unloads an editor library and goes on). The owner of each
// is made just after the bitmap, so it goes before the platform layer's own
// statics that the bitmap's first use made.
std::mutex s_scratchMutex;
PIX_SysBitmap* s_glyphScratch = nullptr;
PIX_SysBitmap* s_nativeScratch = nullptr;

struct ScratchOwner {
  PIX_SysBitmap** bitmap;
  ~ScratchOwner()
  {
    delete *bitmap;
    *bitmap = nullptr;
  }
};

PIX_SysBitmap* GlyphScratch()
{
  if (!s_glyphScratch) {
    s_glyphScratch = new PIX_SysBitmap(256, 256);
    static ScratchOwner owner{&s_glyphScratch};
  }
  return s_glyphScratch;
}

// Grows (never shrinks) a scratch bitmap to at least w x h.
void GrowTo(PIX_SysBitmap* b, int w, int h)
{
  w = std::max(w, b->getWidth());
  h = std::max(h, b->getHeight());
  if (w != b->getWidth() || h != b->getHeight()) b->resize(w, h);
}

PIX_pixel* Row(PIX_IBitmap* b, int y)
{
  PIX_pixel* bits = b->getBits();
  if (!bits) return nullptr;
  const int row = b->isFlipped() ? b->getHeight() - 1 - y : y;
  return bits + (ptrdiff_t)row * b->getRowSpan();
}

int EncodeUTF8(int code, char* out)
{
  if (code < 0x80) {
    out[0] = (char)code;
    return 1;
  }
  if (code < 0x800) {
    out[0] = (char)(0xC0 | (code >> 6));
    out[1] = (char)(0x80 | (code & 0x3F));
    return 2;
  }
  out[0] = (char)(0xE0 | (code >> 12));
  out[1] = (char)(0x80 | ((code >> 6) & 0x3F));
  out[2] = (char)(0x80 | (code & 0x3F));
  return 3;
}

inline bool IsCont(unsigned char c) { return (c & 0xC0) == 0x80; }

constexpr int kColourRGB(PIX_pixel p) { return GDI_RGB(PIX_R(p), PIX_G(p), PIX_B(p)); }

// Coverage above this counts as ink for the monochrome and effect masks.
constexpr int kMonoThreshold = 130;
// Coverage value of effect pixels (shadow and outline) in a mask.
constexpr unsigned char kEffect = 128;

constexpr int kAlignBits = DT_VCENTER | DT_CENTER | DT_BOTTOM | DT_RIGHT;
constexpr int kNoNativeFlags = PIX_FONT_FLAG_VERTICAL | PIX_FONT_FLAG_VERTICAL_BOTTOMUP |
                               PIX_FONT_FLAG_PRECALCALL | PIX_FONT_FLAG_FX_BLUR |
                               PIX_FONT_FLAG_FX_INVERT | PIX_FONT_FLAG_FX_MONO |
                               PIX_FONT_FLAG_FX_SHADOW | PIX_FONT_FLAG_FX_OUTLINE;

}  // namespace

PIX_CachedFont::~PIX_CachedFont()
{
  if ((m_flags & PIX_FONT_FLAG_OWNS_HFONT) && m_font) DeleteObject(m_font);
}

int PIX_CachedFont::DecodeUTF8(const unsigned char* s, int len, int* pos)
{
  const int i = *pos;
  const unsigned c = s[i];
  if (c >= 0xC2 && c <= 0xDF && i + 1 < len && IsCont(s[i + 1])) {
    *pos = i + 2;
    return (int)(((c & 0x1F) << 6) | (s[i + 1] & 0x3F));
  }
  if (c >= 0xE0 && c <= 0xEF && i + 2 < len && IsCont(s[i + 1]) && IsCont(s[i + 2])) {
    const int code = (int)(((c & 0x0F) << 12) | ((s[i + 1] & 0x3Fu) << 6) | (s[i + 2] & 0x3Fu));
    // An over-long form (a code below 0x800) is not a character: it could hide a
    // line feed or a zero; its lead byte stands for itself instead.
    if (code >= 0x800) {
      *pos = i + 3;
      return code;
    }
  }
  if (c >= 0xF0 && c <= 0xF4 && i + 3 < len && IsCont(s[i + 1]) && IsCont(s[i + 2]) &&
      IsCont(s[i + 3])) {
    *pos = i + 4;
    return ' ';  // beyond 16-bit codes: keep the spacing, not the character
  }
  *pos = i + 1;
  return (int)c;
}

void PIX_CachedFont::ForgetGlyphs()
{
  for (GlyphEnt& e : m_low) e = GlyphEnt{};
  for (int i = 0; i < 128; i++) m_low[i].code = (uint16_t)i;
  m_extra.clear();
  m_store.clear();
  m_renderCount = 0;
}

void PIX_CachedFont::SetFromHFont(HFONT font, int flags)
{
  std::lock_guard<std::mutex> lock(m_mutex);
  if ((m_flags & PIX_FONT_FLAG_OWNS_HFONT) && m_font && m_font != font) DeleteObject(m_font);
  // A handle the platform no longer knows (already deleted) counts as none,
  // rather than drawing with whatever font a context happens to hold.
  GDI_FontInfo info;
  if (font && !GDI_GetFontInfo(font, &info)) font = nullptr;
  m_font = font;
  m_flags = flags;
  m_lineHeight = 0;
  if (font) {
    std::lock_guard<std::mutex> slock(s_scratchMutex);
    HDC dc = GlyphScratch()->getDC();
    if (dc) {
      SelectObject(dc, font);
      ::SetTextColor(dc, 0xFFFFFF);
      ::SetBkMode(dc, TRANSPARENT);
      TEXTMETRIC tm{};
      if (GetTextMetrics(dc, &tm)) m_lineHeight = tm.tmHeight;
    }
  }
  ForgetGlyphs();
  if (font && (flags & PIX_FONT_FLAG_PRECALCALL))
    for (GlyphEnt& e : m_low) RenderGlyph(&e);
}

PIX_pixel PIX_CachedFont::SetTextColor(PIX_pixel color)
{
  const PIX_pixel prev = m_fg;
  m_fg = color;
  return prev;
}

PIX_pixel PIX_CachedFont::SetBkColor(PIX_pixel color)
{
  const PIX_pixel prev = m_bg;
  m_bg = color;
  return prev;
}

PIX_pixel PIX_CachedFont::SetEffectColor(PIX_pixel color)
{
  const PIX_pixel prev = m_effect;
  m_effect = color;
  return prev;
}

int PIX_CachedFont::SetBkMode(int mode)
{
  const int prev = m_bkMode;
  m_bkMode = mode;
  return prev;
}

void PIX_CachedFont::SetCombineMode(int mode, float alpha)
{
  m_combineMode = mode;
  m_combineAlpha = alpha;
}

PIX_CachedFont::GlyphEnt* PIX_CachedFont::FindGlyph(int code, bool create)
{
  if (code >= 0 && code < 128) return &m_low[code];
  if (m_flags & PIX_FONT_FLAG_PRECALCALL) return nullptr;
  auto it = std::lower_bound(m_extra.begin(), m_extra.end(), code,
                             [](const GlyphEnt& e, int c) { return (int)e.code < c; });
  if (it != m_extra.end() && it->code == code) return &*it;
  if (!create) return nullptr;
  GlyphEnt e;
  e.code = (uint16_t)code;
  return &*m_extra.insert(it, e);
}

bool PIX_CachedFont::RenderGlyph(GlyphEnt* ent)
{
  m_renderCount++;
  ent->offset = -1;
  ent->width = ent->height = ent->advance = 0;
  // Lone surrogate halves have no glyph of their own.
  if (!m_font || (ent->code >= 0xD800 && ent->code <= 0xDFFF)) return false;

  char text[4];
  const int n = EncodeUTF8(ent->code, text);
  const int lh = std::max(m_lineHeight, 1);

  std::lock_guard<std::mutex> slock(s_scratchMutex);
  PIX_SysBitmap* sb = GlyphScratch();
  GrowTo(sb, lh, lh);
  HDC dc = sb->getDC();
  if (!dc) return false;
  SelectObject(dc, m_font);
  ::SetTextColor(dc, 0xFFFFFF);
  ::SetBkMode(dc, TRANSPARENT);

  RECT r{0, 0, 0, 0};
  GDI_DrawText(dc, text, n, &r, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
  const int advance = r.right - r.left, h = r.bottom - r.top;
  if (advance <= 0 || h <= 0) return false;
  // Capitals often reach past their advance (serifs, slanted strokes): keep two
  // more columns so that their right edge is not cut.
  const int w = advance + ((ent->code >= 'A' && ent->code <= 'Z') ? 2 : 0);

  GrowTo(sb, w, h);
  dc = sb->getDC();
  if (!dc || sb->getWidth() < w || sb->getHeight() < h) return false;
  SelectObject(dc, m_font);
  ::SetTextColor(dc, 0xFFFFFF);
  ::SetBkMode(dc, TRANSPARENT);
  PIX_FillRect(sb, 0, 0, w, h, PIX_RGBA(0, 0, 0, 255), 1.0f, PIX_BLIT_MODE_COPY);
  r = RECT{0, 0, w, h};
  GDI_DrawText(dc, text, n, &r, DT_SINGLELINE | DT_NOPREFIX);

  std::vector<unsigned char> m((size_t)w * h);
  for (int y = 0; y < h; y++) {
    const PIX_pixel* row = Row(sb, y);
    for (int x = 0; x < w; x++) m[(size_t)y * w + x] = (unsigned char)PIX_R(row[x]);
  }

  if (m_flags & PIX_FONT_FLAG_FX_BLUR) {
    // 3 x 3 box blur; pixels outside the mask count as empty, so the glyph
    // softens without moving.
    std::vector<unsigned char> b(m.size());
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        int sum = 0;
        for (int dy = -1; dy <= 1; dy++)
          for (int dx = -1; dx <= 1; dx++) {
            const int xx = x + dx, yy = y + dy;
            if (xx >= 0 && xx < w && yy >= 0 && yy < h) sum += m[(size_t)yy * w + xx];
          }
        b[(size_t)y * w + x] = (unsigned char)(sum / 9);
      }
    m.swap(b);
  }
  if (m_flags & PIX_FONT_FLAG_FX_INVERT)
    for (unsigned char& c : m) c = (unsigned char)(255 - c);

  int mw = w, mh = h;
  if (m_flags & PIX_FONT_FLAG_VERTICAL) {
    // Turn the glyph a quarter: clockwise (reads top-down), or counter-clockwise
    // for bottom-up text.
    std::vector<unsigned char> t(m.size());
    mw = h;
    mh = w;
    const bool up = (m_flags & PIX_FONT_FLAG_VERTICAL_BOTTOMUP) != 0;
    for (int y = 0; y < mh; y++)
      for (int x = 0; x < mw; x++) {
        const int sx = up ? w - 1 - y : y, sy = up ? x : h - 1 - x;
        t[(size_t)y * mw + x] = m[(size_t)sy * w + sx];
      }
    m.swap(t);
  }

  const bool fx = (m_flags & (PIX_FONT_FLAG_FX_SHADOW | PIX_FONT_FLAG_FX_OUTLINE)) != 0;
  if ((m_flags & PIX_FONT_FLAG_FX_MONO) || fx)
    for (unsigned char& c : m) c = c > kMonoThreshold ? 255 : 0;
  if (fx) {
    const bool outline = (m_flags & PIX_FONT_FLAG_FX_OUTLINE) != 0;
    auto full = [&](int x, int y) {
      return x >= 0 && y >= 0 && x < mw && y < mh && m[(size_t)y * mw + x] == 255;
    };
    for (int y = 0; y < mh; y++)
      for (int x = 0; x < mw; x++) {
        unsigned char& c = m[(size_t)y * mw + x];
        if (c) continue;
        const bool near = outline ? (full(x - 1, y) || full(x + 1, y) || full(x, y - 1) || full(x, y + 1))
                                  : (full(x - 1, y) || full(x, y - 1) || full(x - 1, y - 1));
        if (near) c = kEffect;
      }
  }

  if (m_store.size() + m.size() >= (size_t)INT_MAX) return false;
  ent->offset = (int)m_store.size() + 1;
  ent->width = mw;
  ent->height = mh;
  ent->advance = advance;
  m_store.insert(m_store.end(), m.begin(), m.end());
  return true;
}

void PIX_CachedFont::DrawGlyph(PIX_IBitmap* bm, const GlyphEnt& g, int x, int y, const RECT& clip,
                               int weight)
{
  const int x0 = std::max(x, clip.left), y0 = std::max(y, clip.top);
  const int x1 = std::min(x + g.width, clip.right), y1 = std::min(y + g.height, clip.bottom);
  if (x0 >= x1 || y0 >= y1) return;

  if (m_bkMode == 1)
    PIX_FillRect(bm, x0, y0, x1 - x0, y1 - y0, m_bg, weight / 256.0f,
                 m_combineMode & ~PIX_BLIT_USE_SRC_ALPHA);

  const PIX_CombineFunc combine = PIX_GetCombineFunc(m_combineMode);
  if (!combine) return;
  const bool fx = (m_flags & (PIX_FONT_FLAG_FX_SHADOW | PIX_FONT_FLAG_FX_OUTLINE)) != 0;
  const bool mono = (m_flags & PIX_FONT_FLAG_FX_MONO) != 0;
  // Two-level masks at full weight in copy mode need no blending at all.
  const bool direct = (mono || fx) && weight == 256 && m_combineMode == PIX_BLIT_MODE_COPY;
  const int r = PIX_R(m_fg), gg = PIX_G(m_fg), b = PIX_B(m_fg), a = PIX_A(m_fg);
  const int er = PIX_R(m_effect), eg = PIX_G(m_effect), eb = PIX_B(m_effect), ea = PIX_A(m_effect);
  const unsigned char* mask = m_store.data() + (g.offset - 1);

  for (int yy = y0; yy < y1; yy++) {
    PIX_pixel* out = Row(bm, yy);
    if (!out) return;
    const unsigned char* src = mask + (size_t)(yy - y) * g.width;
    for (int xx = x0; xx < x1; xx++) {
      const int c = src[xx - x];
      if (!c) continue;
      PIX_pixel* p = out + xx;
      if (fx) {
        const bool ink = c == 255;
        if (direct) *p = ink ? m_fg : m_effect;
        else if (ink) combine(p, r, gg, b, a, weight);
        else combine(p, er, eg, eb, ea, weight);
      } else if (mono) {
        if (direct) *p = m_fg;
        else combine(p, r, gg, b, a, weight);
      } else {
        const int cw = weight == 256 ? c + 1 : std::min(256, weight * c / 256);
        combine(p, r, gg, b, a, cw);
      }
    }
  }
}

void PIX_CachedFont::Layout(PIX_IBitmap* bm, const unsigned char* s, int len, int x0, int y0,
                            unsigned format, const RECT& clip, int weight, int* extW, int* extH)
{
  const bool vertical = (m_flags & PIX_FONT_FLAG_VERTICAL) != 0;
  const bool up = vertical && (m_flags & PIX_FONT_FLAG_VERTICAL_BOTTOMUP);
  const bool single = (format & DT_SINGLELINE) != 0;

  // Bottom-up text starts at the bottom of its box: measure the box first.
  int boxAlong = 0;
  if (bm && up) {
    int w = 0, h = 0;
    Layout(nullptr, s, len, x0, y0, format, clip, weight, &w, &h);
    boxAlong = h;
  }

  long long along = 0, across = 0, maxAlong = 0;
  int lineThick = 0;  // thickest glyph of the current line
  for (int i = 0; i < len;) {
    int code = DecodeUTF8(s, len, &i);
    if (code == '\r') continue;
    if (code == '\n') {
      if (!single) {
        maxAlong = std::max(maxAlong, along);
        along = 0;
        across += m_lineHeight + m_lineSpacing;
        lineThick = 0;
        continue;
      }
      code = ' ';
    }
    GlyphEnt* g = FindGlyph(code, true);
    if (!g) continue;
    if (g->offset == 0) RenderGlyph(g);
    if (g->offset < 0) continue;
    lineThick = std::max(lineThick, vertical ? g->width : g->height);
    if (bm) {
      long long x, y;
      if (!vertical) {
        x = x0 + along;
        y = y0 + across;
      } else {
        x = x0 + across;
        y = up ? y0 + boxAlong - along - g->height : y0 + along;
      }
      if (x > INT_MIN / 2 && x < INT_MAX / 2 && y > INT_MIN / 2 && y < INT_MAX / 2)
        DrawGlyph(bm, *g, (int)x, (int)y, clip, weight);
    }
    along += g->advance;
  }
  maxAlong = std::max(maxAlong, along);
  const long long thick = across + lineThick;
  const int a = (int)std::min<long long>(maxAlong, INT_MAX / 2);
  const int t = (int)std::min<long long>(thick, INT_MAX / 2);
  *extW = vertical ? t : a;
  *extH = vertical ? a : t;
}

bool PIX_CachedFont::UseNative(unsigned format) const
{
  return (m_flags & PIX_FONT_FLAG_FORCE_NATIVE) && m_font && !(format & PIX_DT_NEEDALPHA) &&
         !(format & PIX_DT_USEFGALPHA) && !(m_flags & kNoNativeFlags) &&
         (m_lineSpacing == 0 || (format & DT_SINGLELINE));
}

int PIX_CachedFont::DrawText(PIX_IBitmap* bm, const char* str, int len, RECT* rect, unsigned format)
{
  if (!str || !rect) return 0;
  if (len < 0) len = (int)std::min<size_t>(std::strlen(str), INT_MAX);
  std::lock_guard<std::mutex> lock(m_mutex);
  if (UseNative(format)) return DrawNative(bm, str, len, rect, format);
  return DrawPortable(bm, str, len, rect, format);
}

int PIX_CachedFont::DrawPortable(PIX_IBitmap* bm, const char* str, int len, RECT* rect,
                                 unsigned format)
{
  const auto* s = reinterpret_cast<const unsigned char*>(str);
  const bool vertical = (m_flags & PIX_FONT_FLAG_VERTICAL) != 0;
  const RECT none{0, 0, 0, 0};
  if (format & DT_CALCRECT) {
    int w = 0, h = 0;
    Layout(nullptr, s, len, rect->left, rect->top, format, none, 0, &w, &h);
    rect->right = (int)std::min<long long>((long long)rect->left + w, INT_MAX);
    rect->bottom = (int)std::min<long long>((long long)rect->top + h, INT_MAX);
    return vertical ? w : h;
  }
  if (!bm || !bm->getBits()) return 0;

  float alpha = m_combineAlpha;
  if (format & PIX_DT_USEFGALPHA) alpha *= PIX_A(m_fg) / 255.0f;
  // Converted like every blit weight: NaN and non-positive weights draw
  // nothing, and weights of 1.0 or more are full (a float far above 1.0
  // times 256 would not fit an int).
  if (!(alpha > 0.0f)) return 0;
  const int weight = alpha >= 1.0f ? 256 : (int)(alpha * 256.0f);
  if (weight <= 0) return 0;

  int x0 = rect->left, y0 = rect->top;
  if (format & kAlignBits) {
    int w = 0, h = 0;
    Layout(nullptr, s, len, x0, y0, format, none, 0, &w, &h);
    const long long rw = (long long)rect->right - rect->left, rh = (long long)rect->bottom - rect->top;
    if (format & DT_RIGHT) x0 = (int)std::clamp<long long>(rect->right - (long long)w, INT_MIN / 2, INT_MAX / 2);
    else if (format & DT_CENTER) x0 = (int)std::clamp<long long>(rect->left + (rw - w) / 2, INT_MIN / 2, INT_MAX / 2);
    if (format & DT_BOTTOM) y0 = (int)std::clamp<long long>(rect->bottom - (long long)h, INT_MIN / 2, INT_MAX / 2);
    else if (format & DT_VCENTER) y0 = (int)std::clamp<long long>(rect->top + (rh - h) / 2, INT_MIN / 2, INT_MAX / 2);
  }

  RECT clip{0, 0, bm->getWidth(), bm->getHeight()};
  if (!(format & DT_NOCLIP)) {
    clip.left = std::max(clip.left, rect->left);
    clip.top = std::max(clip.top, rect->top);
    clip.right = std::min(clip.right, rect->right);
    clip.bottom = std::min(clip.bottom, rect->bottom);
  }
  if (clip.left >= clip.right || clip.top >= clip.bottom) return 0;

  int w = 0, h = 0;
  Layout(bm, s, len, x0, y0, format, clip, weight, &w, &h);
  return vertical ? w : h;
}

int PIX_CachedFont::DrawNative(PIX_IBitmap* bm, const char* str, int len, RECT* rect, unsigned format)
{
  const int rgb = kColourRGB(m_fg);
  if (bm && bm->getDC()) {
    HDC dc = bm->getDC();
    SelectObject(dc, m_font);
    ::SetTextColor(dc, rgb);
    if (m_bkMode == 1) ::SetBkColor(dc, kColourRGB(m_bg));
    ::SetBkMode(dc, m_bkMode == 1 ? OPAQUE : TRANSPARENT);
    return GDI_DrawText(dc, str, len, rect, (int)(format | DT_NOPREFIX));
  }
  if (!bm && !(format & DT_CALCRECT)) return 0;

  std::lock_guard<std::mutex> slock(s_scratchMutex);
  if (!s_nativeScratch) {
    s_nativeScratch = new PIX_SysBitmap(1, 1);
    static ScratchOwner owner{&s_nativeScratch};
  }
  PIX_SysBitmap* sb = s_nativeScratch;
  const long long rw = (long long)rect->right - rect->left, rh = (long long)rect->bottom - rect->top;
  GrowTo(sb, (int)std::clamp<long long>(rw, 1, 4096), (int)std::clamp<long long>(rh, 1, 4096));
  HDC dc = sb->getDC();
  if (!dc) return 0;
  SelectObject(dc, m_font);
  RECT mr{0, 0, 0, 0};
  GDI_DrawText(dc, str, len, &mr, (int)((format & ~(unsigned)kAlignBits) | DT_CALCRECT | DT_NOPREFIX));
  const int mw = mr.right, mh = mr.bottom;
  if (format & DT_CALCRECT) {
    rect->right = (int)std::min<long long>((long long)rect->left + mw, INT_MAX);
    rect->bottom = (int)std::min<long long>((long long)rect->top + mh, INT_MAX);
    return mh;
  }
  if (mw <= 0 || mh <= 0) return mh;

  // Place the text box: alignment moves it inside the rectangle. Without
  // clipping it may stick out on either side (centred text wider than its
  // rectangle spreads both ways); with clipping it starts no further left or up
  // than the rectangle.
  const bool noclip = (format & DT_NOCLIP) != 0;
  long long ox = 0, oy = 0;
  if (format & DT_RIGHT) ox = rw - mw;
  else if (format & DT_CENTER) ox = (rw - mw) / 2;
  if (format & DT_BOTTOM) oy = rh - mh;
  else if (format & DT_VCENTER) oy = (rh - mh) / 2;
  if (!noclip) {
    ox = std::max(0LL, ox);
    oy = std::max(0LL, oy);
  }
  const long long tx = rect->left + ox, ty = rect->top + oy;
  long long l = tx, t = ty, r = tx + mw, b = ty + mh;
  if (!noclip) {
    l = std::max<long long>(l, rect->left);
    t = std::max<long long>(t, rect->top);
    r = std::min<long long>(r, rect->right);
    b = std::min<long long>(b, rect->bottom);
  }
  l = std::max(l, 0LL);
  t = std::max(t, 0LL);
  r = std::min<long long>(r, bm->getWidth());
  b = std::min<long long>(b, bm->getHeight());
  if (l >= r || t >= b) return mh;

  // The scratch holds only the visible part of the text box (a long text in
  // a small bitmap must not cost a scratch the size of the whole text); the
  // destination's pixels go under the text first so that antialiased edges
  // blend with the real background.
  const int sx = (int)(l - tx), sy = (int)(t - ty), cw = (int)(r - l), ch = (int)(b - t);
  GrowTo(sb, cw, ch);
  dc = sb->getDC();
  if (!dc || sb->getWidth() < cw || sb->getHeight() < ch) return mh;
  for (int y = 0; y < ch; y++) {
    const PIX_pixel* from = Row(bm, (int)t + y);
    PIX_pixel* to = Row(sb, y);
    if (!from || !to) return mh;
    std::memcpy(to, from + l, (size_t)cw * sizeof(PIX_pixel));
  }
  SelectObject(dc, m_font);
  ::SetTextColor(dc, rgb);
  if (m_bkMode == 1) ::SetBkColor(dc, kColourRGB(m_bg));
  ::SetBkMode(dc, m_bkMode == 1 ? OPAQUE : TRANSPARENT);
  // The box is drawn shifted so that its visible part lands at the scratch's
  // origin; lines keep their horizontal alignment inside the box.
  RECT dr{-sx, -sy, mw - sx, mh - sy};
  GDI_DrawText(dc, str, len, &dr, (int)((format & ~(unsigned)DT_CALCRECT) | DT_NOPREFIX));
  PIX_Blit(bm, sb, (int)l, (int)t, 0, 0, cw, ch, m_combineAlpha, PIX_BLIT_MODE_COPY);
  return mh;
}
