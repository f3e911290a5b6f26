// Internals shared by the GDI layer's font and context sources; not for callers.
#pragma once

#include "pix/gdi/GDI.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

namespace gdi_detail {

// Every call into FreeType or fontconfig, every glyph-cache lookup and every
// handle check happens under this one lock: FreeType's library and shared faces
// are not safe to use from two threads at once, and holding the lock through a
// whole GDI_DrawText keeps a font alive while its glyphs are being blended.
std::mutex& Lock();

// A rendered glyph: coverage 0-255 (monochrome fonts use only 0 and 255),
// placed relative to the pen on the baseline (screen y grows downwards).
struct Glyph {
  bool present = false;  // false: the face has no glyph for the code
  int left = 0;          // first column relative to the pen
  int top = 0;           // rows above the baseline of the first row
  int width = 0, height = 0;
  std::vector<uint8_t> coverage;  // width x height, row by row
  FT_Pos advance = 0;             // unrotated advance along the line, 26.6 pixels
};

struct SharedFace;

}  // namespace gdi_detail

struct GDI_Font {
  gdi_detail::SharedFace* shared = nullptr;  // FreeType face, shared by fonts of one file
  FT_Size size = nullptr;                    // this font's size object on the shared face
  TEXTMETRIC tm{};
  int underlinePos = 0, underlineThickness = 1;  // pixels below the baseline, thickness
  bool mono = false;
  bool underline = false, strikeOut = false;
  bool emboldenSynthetic = false;
  bool transformed = false;  // rotation, slant or width scaling in matrix
  FT_Matrix matrix{0x10000, 0, 0, 0x10000};  // y-up glyph transform
  double angle = 0.0;                        // escapement in radians, counter-clockwise
  FT_Fixed widthScale = 0x10000;             // horizontal scaling asked for by CreateFont's width
  GDI_FontInfo info{};
  std::unordered_map<uint32_t, std::unique_ptr<gdi_detail::Glyph>> glyphs;
};

struct GDI_GfxContext {
  int width = 0, height = 0;
  uint32_t* pixels = nullptr;
  HFONT font = nullptr;
  int textColor = 0x000000;
  int bkColor = 0xFFFFFF;
  int bkMode = TRANSPARENT;
};

namespace gdi_detail {

// Handle checks; call with Lock() held.
bool IsLiveFont(HFONT f);
bool IsLiveContext(HDC c);
// Forgets the font in every context that has it selected (Lock() held).
void UnselectEverywhere(HFONT f);
// The process-wide fallback font for contexts without one (Lock() held); may be null.
HFONT DefaultFont();
// The glyph of a code point, rendered on first use (Lock() held). Never null.
const Glyph& GetGlyph(HFONT f, uint32_t code);

}  // namespace gdi_detail
