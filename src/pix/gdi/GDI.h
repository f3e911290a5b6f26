// The drawing library's text back end: GDI-style fonts and memory drawing contexts, rendered with FreeType and matched with fontconfig.
#pragma once

#include <cstdint>

// The drawing library and the editor were written against a small set of
// Win32-style GDI calls (font objects, memory contexts with a 32-bit frame
// buffer, DrawText). This layer provides exactly those calls on Linux.
//
// Handles: a font (HFONT) is made by CreateFont and destroyed by DeleteObject;
// a context (HDC) is made by GDI_CreateMemContext and destroyed by
// GDI_DeleteGfxContext. Every call checks its handles against the set of live
// objects, so a stale or foreign handle makes the call fail (false, 0 or null)
// instead of touching freed memory. Deleting a font clears it from every context
// that has it selected.
//
// Frame buffer: one 32-bit word per pixel, bytes in memory alpha, red, green,
// blue (the drawing library's pixel order), rows top-down, row span = the
// context's width in pixels; a new context is all zero.
//
// Threads: fonts and contexts may be created, used and deleted from any thread;
// the shared FreeType and fontconfig state is guarded internally. One context is
// drawn into by one thread at a time.

struct GDI_Font;
struct GDI_GfxContext;
using HFONT = GDI_Font*;
using HDC = GDI_GfxContext*;
using HGDIOBJ = void*;

struct RECT {
  int left, top, right, bottom;  // right and bottom exclusive
};

struct TEXTMETRIC {
  int tmHeight;           // line height in pixels: ascent + descent
  int tmAscent;           // pixels above the baseline
  int tmDescent;          // pixels below the baseline
  int tmInternalLeading;  // tmHeight minus the em size
  int tmExternalLeading;  // extra gap the font suggests between lines
  int tmAveCharWidth;     // advance of "x"
  int tmMaxCharWidth;     // largest advance in the face
  int tmWeight;           // 100-900, as requested
  int tmItalic;           // non-zero when italic was requested
};

// Format flags of GDI_DrawText. Left and top alignment are the zero default.
constexpr int DT_TOP = 0x0;
constexpr int DT_LEFT = 0x0;
constexpr int DT_CALCRECT = 0x1;     // measure only: rect.right/bottom receive the extent
constexpr int DT_VCENTER = 0x2;      // centre the text block vertically in rect
constexpr int DT_CENTER = 0x4;       // centre each line horizontally in rect
constexpr int DT_BOTTOM = 0x10;      // text block against rect's bottom
constexpr int DT_RIGHT = 0x20;       // each line against rect's right edge
constexpr int DT_SINGLELINE = 0x40;  // line feeds count as spaces
constexpr int DT_NOPREFIX = 0x80;    // "&" is plain text (this layer never treats it otherwise)
constexpr int DT_NOCLIP = 0x100;     // clip to the frame buffer only, not to rect

// Background modes (SetBkMode).
constexpr int TRANSPARENT = 0;  // only the glyphs are drawn
constexpr int OPAQUE = 1;       // the text's extent is first filled with the background colour

// CreateFont weights and qualities.
constexpr int FW_DONTCARE = 0;
constexpr int FW_NORMAL = 400;
constexpr int FW_BOLD = 700;
constexpr int DEFAULT_QUALITY = 0;
constexpr int DRAFT_QUALITY = 1;
constexpr int PROOF_QUALITY = 2;
constexpr int NONANTIALIASED_QUALITY = 3;  // FreeType's monochrome glyphs
constexpr int ANTIALIASED_QUALITY = 4;
constexpr int CLEARTYPE_QUALITY = 5;       // rendered like ANTIALIASED_QUALITY
constexpr int DEFAULT_CHARSET = 1;
constexpr int OUT_DEFAULT_PRECIS = 0;
constexpr int CLIP_DEFAULT_PRECIS = 0;
constexpr int DEFAULT_PITCH = 0;

// Colours are 0xRRGGBB.
constexpr int GDI_RGB(int r, int g, int b) { return ((r & 255) << 16) | ((g & 255) << 8) | (b & 255); }

// height: pixels; negative = em size, positive = cell (ascent + descent), 0 = 13 px em.
// width: 0 keeps the face's proportions, otherwise the em width in pixels.
// escapement: text direction in tenths of a degree, counter-clockwise; orientation
// is accepted and ignored (glyphs always stand on the escapement's baseline).
// weight 0-1000 (0 = 400), italic non-zero for italic; a style the family lacks is
// synthesised (emboldened outlines, slanted glyphs). faceName is matched by
// fontconfig, which always yields the nearest installed family; null or "" asks
// for "sans-serif". Returns null when no font file could be opened.
HFONT CreateFont(int height, int width, int escapement, int orientation, int weight,
                 int italic, int underline, int strikeOut, int charset, int outPrecision,
                 int clipPrecision, int quality, int pitchAndFamily, const char* faceName);

// Deletes a font; false for null or unknown handles (contexts are deleted with
// GDI_DeleteGfxContext).
bool DeleteObject(HGDIOBJ obj);

// Selects a font into a context and returns the font selected before (null when
// none, or when ctx or obj is not live, in which case nothing changes).
HGDIOBJ SelectObject(HDC ctx, HGDIOBJ obj);

// Metrics of the context's font (a process-wide default font when none is
// selected). False, with *tm untouched, for a bad context or null tm.
bool GetTextMetrics(HDC ctx, TEXTMETRIC* tm);

// Each returns the previous value; a bad context returns 0 and changes nothing.
int SetTextColor(HDC ctx, int rgb);  // default 0x000000
int SetBkColor(HDC ctx, int rgb);    // default 0xFFFFFF
int SetBkMode(HDC ctx, int mode);    // default TRANSPARENT

// Draws (or with DT_CALCRECT measures) len bytes of UTF-8 text (-1 = up to the
// terminating zero) in rect with the context's font, colours and background mode.
// Carriage returns are skipped, line feeds start a new line unless DT_SINGLELINE.
// Malformed UTF-8 bytes stand for themselves (Latin-1). Measuring sets
// rect.right = left + widest line and rect.bottom = top + lines x line height
// (for rotated fonts: the bounding box of the rotated block). Returns the text's
// height, 0 for bad arguments. Unknown flag bits are ignored.
int GDI_DrawText(HDC ctx, const char* text, int len, RECT* rect, int format);

// A memory context with a zeroed width x height frame buffer; reference is
// accepted for GDI compatibility and ignored. Null when width or height is not
// positive, too large, or the memory cannot be had.
HDC GDI_CreateMemContext(HDC reference, int width, int height);
void GDI_DeleteGfxContext(HDC ctx);
// The context's pixels (see Frame buffer above), or null for a bad context.
void* GDI_GetCtxFrameBuffer(HDC ctx);
// Size of a context's frame buffer; 0 for a bad context.
int GDI_GetCtxWidth(HDC ctx);
int GDI_GetCtxHeight(HDC ctx);

// What fontconfig chose for a font: family name and file. False for a bad font.
struct GDI_FontInfo {
  char family[128];
  char file[512];
  bool syntheticBold;
  bool syntheticItalic;
};
bool GDI_GetFontInfo(HFONT font, GDI_FontInfo* info);
