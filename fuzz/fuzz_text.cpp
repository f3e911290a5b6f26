// Fuzz target: arbitrary bytes drawn and measured as UTF-8 text (preset and file
// names reach the editor's text this way) never read outside the text or the
// bitmaps, and measuring agrees with what the decoder consumed.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "pix/PIX_Blit.h"
#include "pix/PIX_CachedFont.h"
#include "pix/PIX_SysBitmap.h"
#include "pix/gdi/GDI.h"

namespace {

PIX_CachedFont* MakeFont(int height, int flags, int quality)
{
  auto* f = new PIX_CachedFont;
  f->SetFromHFont(CreateFont(height, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                             CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, "DejaVu Sans"),
                  flags | PIX_FONT_FLAG_OWNS_HFONT);
  return f;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Fonts and bitmaps live for the whole run, as the editor's do.
  static PIX_CachedFont* fonts[] = {
      MakeFont(12, 0, ANTIALIASED_QUALITY),
      MakeFont(16, PIX_FONT_FLAG_FORCE_NATIVE, NONANTIALIASED_QUALITY),
      MakeFont(14, PIX_FONT_FLAG_VERTICAL | PIX_FONT_FLAG_VERTICAL_BOTTOMUP | PIX_FONT_FLAG_FX_OUTLINE, 0),
      MakeFont(10, PIX_FONT_FLAG_PRECALCALL | PIX_FONT_FLAG_FX_BLUR | PIX_FONT_FLAG_FX_SHADOW, 0),
  };
  static PIX_MemBitmap mem(64, 32);
  static PIX_SysBitmap sys(64, 32);
  if (size < 6 || size > 4096) return 0;

  PIX_CachedFont* font = fonts[data[0] & 3];
  PIX_IBitmap* bm = (data[0] & 4) ? (PIX_IBitmap*)&sys : (PIX_IBitmap*)&mem;
  const unsigned format = (unsigned)data[1] | ((unsigned)data[2] << 8) | ((unsigned)(data[3] & 0xC0) << 24);
  RECT rect{(int8_t)data[4], (int8_t)data[5], (int8_t)data[4] + 80, (int8_t)data[5] + 40};
  font->SetLineSpacing(data[3] & 7);
  font->SetBkMode(data[3] & 8 ? 1 : 0);
  font->SetTextColor(PIX_RGBA(0, 0, 0, data[3] & 0x30));

  // The text is copied to an exactly sized heap block without a terminator.
  const size_t n = size - 6;
  std::unique_ptr<char[]> text(new char[n ? n : 1]);
  std::memcpy(text.get(), data + 6, n);

  // The decoder consumes every byte, one to four at a time.
  int pos = 0;
  while (pos < (int)n) {
    const int before = pos;
    const int code = PIX_CachedFont::DecodeUTF8((const unsigned char*)text.get(), (int)n, &pos);
    if (pos <= before || pos > before + 4 || pos > (int)n || code < 0 || code > 0xFFFF) std::abort();
  }

  RECT m = rect;
  const int h = font->DrawText(nullptr, text.get(), (int)n, &m, DT_CALCRECT);
  if (m.right < rect.left || m.bottom < rect.top || h < 0) std::abort();
  font->DrawText(bm, text.get(), (int)n, &rect, format & ~(unsigned)DT_CALCRECT);
  return 0;
}
