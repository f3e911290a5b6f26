// Text into bitmaps: a platform font drawn natively or through cached 8-bit glyph masks.
#pragma once

#include "pix/PIX_Bitmap.h"

#include <cstdint>
#include <mutex>
#include <vector>

// The text platform's font and rectangle, named but not defined here: only
// code that makes fonts or rectangles includes the platform header. A
// rectangle is four ints, left, top, right, bottom (right and bottom exclusive).
struct GDI_Font;
struct RECT;
using PIX_HFONT = GDI_Font*;  // the platform's font handle (HFONT)

// Font flags (SetFromHFont).
enum
{
  PIX_FONT_FLAG_VERTICAL = 0x1,           // glyphs rotated, lines advance along x
  PIX_FONT_FLAG_VERTICAL_BOTTOMUP = 0x2,  // with VERTICAL: text runs bottom-up
  PIX_FONT_FLAG_PRECALCALL = 0x4,         // only codes 0-127, all rendered when the font is set
  PIX_FONT_FLAG_FX_BLUR = 0x10,
  PIX_FONT_FLAG_FX_INVERT = 0x20,
  PIX_FONT_FLAG_FX_MONO = 0x40,     // coverage above 130 becomes 255, the rest 0
  PIX_FONT_FLAG_FX_SHADOW = 0x80,   // effect colour below and right of the glyph
  PIX_FONT_FLAG_FX_OUTLINE = 0x100, // effect colour around the glyph
  PIX_FONT_FLAG_OWNS_HFONT = 0x200,
  PIX_FONT_FLAG_FORCE_NATIVE = 0x400,
};

// Format flags of DrawText: the platform's DT_* values, under our own names,
// and two of our own above them.
enum : unsigned
{
  PIX_DT_TOP = 0x0,
  PIX_DT_LEFT = 0x0,
  PIX_DT_CALCRECT = 0x1,     // measure only: rect right/bottom receive the extent
  PIX_DT_VCENTER = 0x2,
  PIX_DT_CENTER = 0x4,
  PIX_DT_BOTTOM = 0x10,
  PIX_DT_RIGHT = 0x20,
  PIX_DT_SINGLELINE = 0x40,
  PIX_DT_NOPREFIX = 0x80,
  PIX_DT_NOCLIP = 0x100,
  PIX_DT_USEFGALPHA = 0x40000000u,  // multiply the weight by the text colour's alpha / 255
  PIX_DT_NEEDALPHA = 0x80000000u,   // force the portable path
};

// A font that draws and measures UTF-8 text into a PIX_IBitmap.
class PIX_IFont
{
public:
  virtual ~PIX_IFont() {}
  virtual void SetFromHFont(PIX_HFONT font, int flags = 0) = 0;
  // Each setter returns the previous value.
  virtual PIX_pixel SetTextColor(PIX_pixel color) = 0;
  virtual PIX_pixel SetBkColor(PIX_pixel color) = 0;
  virtual PIX_pixel SetEffectColor(PIX_pixel color) = 0;
  virtual int SetBkMode(int mode) = 0;  // 1 = opaque, otherwise transparent
  virtual void SetCombineMode(int mode, float alpha = 1.0f) = 0;
  // Draws (or with DT_CALCRECT measures) len bytes of UTF-8 (-1 = to the
  // terminating zero) in rect; returns the text's height (width when vertical).
  virtual int DrawText(PIX_IBitmap* bm, const char* str, int len, RECT* rect, unsigned format) = 0;
  virtual PIX_pixel GetTextColor() = 0;
  virtual PIX_HFONT GetHFont() = 0;
  virtual int GetLineHeight() = 0;
  virtual void SetLineSpacing(int extra) = 0;
};

// Lifecycle: construct, SetFromHFont, then set colours and draw. Each glyph is
// asked of the platform once per font (a glyph that renders to nothing is
// remembered as missing) and kept as a coverage mask; codes 0-127 sit in a
// fixed table, others in a list sorted by code. Fonts made with
// PIX_FONT_FLAG_FORCE_NATIVE and no effects draw through the platform renderer
// instead (straight into the bitmap's context when it has one).
//
// Threads: meant for the user-interface thread. The scratch bitmaps shared by
// all fonts are guarded by a process-wide mutex and each font guards its own
// glyph cache, so fonts made or used by editors on different threads do not
// corrupt each other; colours and modes set by one thread and drawn by another
// are still the callers' business.
class PIX_CachedFont : public PIX_IFont
{
public:
  PIX_CachedFont() = default;
  ~PIX_CachedFont() override;
  PIX_CachedFont(const PIX_CachedFont&) = delete;
  PIX_CachedFont& operator=(const PIX_CachedFont&) = delete;

  void SetFromHFont(PIX_HFONT font, int flags = 0) override;
  PIX_pixel SetTextColor(PIX_pixel color) override;
  PIX_pixel SetBkColor(PIX_pixel color) override;
  PIX_pixel SetEffectColor(PIX_pixel color) override;
  int SetBkMode(int mode) override;
  void SetCombineMode(int mode, float alpha = 1.0f) override;
  int DrawText(PIX_IBitmap* bm, const char* str, int len, RECT* rect, unsigned format) override;
  PIX_pixel GetTextColor() override { return m_fg; }
  PIX_HFONT GetHFont() override { return m_font; }
  int GetLineHeight() override { return m_lineHeight; }
  void SetLineSpacing(int extra) override { m_lineSpacing = extra; }

  int GetFlags() const { return m_flags; }
  // How many times a glyph was asked of the platform renderer since the font
  // was set (successful or not); lets callers see the cache at work.
  int GetGlyphRenderCount() const { return m_renderCount; }
  // Bytes of coverage masks held.
  size_t GetCacheBytes() const { return m_store.size(); }

  // Decodes the UTF-8 character at s[*pos] (pos < len) into a 16-bit code and
  // moves *pos past it; never reads at or beyond len. Exposed for tests.
  static int DecodeUTF8(const unsigned char* s, int len, int* pos);

private:
  struct GlyphEnt
  {
    int offset = 0;  // position in m_store + 1; 0 = not rendered yet, -1 = cannot be rendered
    int width = 0, height = 0;
    int advance = 0;
    uint16_t code = 0;
  };

  GlyphEnt* FindGlyph(int code, bool create);
  bool RenderGlyph(GlyphEnt* ent);
  void ForgetGlyphs();
  bool UseNative(unsigned format) const;
  int DrawNative(PIX_IBitmap* bm, const char* str, int len, RECT* rect, unsigned format);
  int DrawPortable(PIX_IBitmap* bm, const char* str, int len, RECT* rect, unsigned format);
  // Walks the text; draws when bm is non-null, always returns the extent.
  void Layout(PIX_IBitmap* bm, const unsigned char* s, int len, int x0, int y0, unsigned format,
              const RECT& clip, int weight, int* extW, int* extH);
  void DrawGlyph(PIX_IBitmap* bm, const GlyphEnt& g, int x, int y, const RECT& clip, int weight);

  PIX_pixel m_fg = 0;
  PIX_pixel m_bg = 0xFFFFFFFFu;
  PIX_pixel m_effect = 0xFFFFFFFFu;
  int m_combineMode = 0;
  float m_combineAlpha = 1.0f;
  int m_bkMode = 0;
  int m_flags = 0;
  int m_lineHeight = 0;
  int m_lineSpacing = 0;
  PIX_HFONT m_font = nullptr;
  GlyphEnt m_low[128];
  std::vector<GlyphEnt> m_extra;  // sorted by code
  std::vector<unsigned char> m_store;
  int m_renderCount = 0;
  std::mutex m_mutex;  // guards the glyph cache while drawing
};
