// Blits, fills and single pixels over PIX_IBitmap, with the blend mode values.
#pragma once

#include "pix/PIX_Bitmap.h"

// Blend mode: the low byte picks the combine rule, higher bits are flags.
enum
{
  PIX_BLIT_MODE_COPY = 0,      // blend by weight
  PIX_BLIT_MODE_ADD = 1,
  PIX_BLIT_MODE_DODGE = 2,     // colour dodge
  PIX_BLIT_MODE_MUL = 3,       // multiply
  PIX_BLIT_MODE_OVERLAY = 4,
  PIX_BLIT_MODE_HSVADJ = 5,    // source r/g/b rotate hue / scale saturation / value
  PIX_BLIT_MODE_MASK = 0xFF,
  // Low byte 0xF0-0xFF (blits only): copy source channel (mode & 3) into
  // destination channel ((mode >> 2) & 3); see PIX_BLIT_MODE_CHANCOPY.
  PIX_BLIT_MODE_CHANCOPY_BASE = 0xF0,
  PIX_BLIT_FILTER_BILINEAR = 0x100,     // scaled and rotated blits
  PIX_BLIT_USE_SRC_ALPHA = 0x10000,     // each source pixel's alpha scales the weight
};

// Channel copy mode from channel byte positions (PIX_CHAN_A..PIX_CHAN_B).
constexpr int PIX_BLIT_MODE_CHANCOPY(int srcchan, int dstchan)
{
  return PIX_BLIT_MODE_CHANCOPY_BASE | (srcchan & 3) | ((dstchan & 3) << 2);
}

// Rectangle with exclusive right and bottom.
struct PIX_RECT
{
  int left, top, right, bottom;
};

// All operations do nothing on invalid input (missing bitmap or pixels, empty
// or fully clipped rectangle, weight 0, unknown mode); none allocates. "alpha"
// is the weight 0.0-1.0, turned into w = (int)(alpha * 256).

// Unscaled blit of the source rectangle (srcx, srcy, srcw, srch) to (dstx, dsty).
// A zero or negative srcw or srch draws nothing.
void PIX_Blit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int srcx, int srcy,
              int srcw, int srch, float alpha, int mode);
// Same, with the source rectangle as left, top, right, bottom; null = all of it.
void PIX_Blit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, const PIX_RECT* srcrect,
              float alpha, int mode);
// Resizes dest to the source's size and copies all of it.
void PIX_Copy(PIX_IBitmap* dest, PIX_IBitmap* src);

// Scaled blit; a negative dstw or dsth mirrors on that axis.
void PIX_ScaledBlit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                    float srcx, float srcy, float srcw, float srch, float alpha, int mode);

// Blit of the source rectangle rotated by angle (radians) about its centre
// displaced by (rotxcent, rotycent), into the destination rectangle. Pixels
// whose source position falls outside the source bitmap (or, with
// cliptosourcerect, the source rectangle) are left untouched.
void PIX_RotatedBlit(PIX_IBitmap* dest, PIX_IBitmap* src, int dstx, int dsty, int dstw, int dsth,
                     float srcx, float srcy, float srcw, float srch, float angle,
                     bool cliptosourcerect, float alpha, int mode, float rotxcent = 0.0f,
                     float rotycent = 0.0f);

void PIX_FillRect(PIX_IBitmap* dest, int x, int y, int w, int h, PIX_pixel color, float alpha,
                  int mode);
// Sets every pixel of the bitmap to color.
void PIX_Clear(PIX_IBitmap* dest, PIX_pixel color);
// Each pixel of the clipped rectangle becomes (pixel & mask) | orbits.
void PIX_ClearRect(PIX_IBitmap* dest, int x, int y, int w, int h, PIX_pixel mask, PIX_pixel orbits);

// The pixel at (x, y), 0 outside the bitmap.
PIX_pixel PIX_GetPixel(PIX_IBitmap* dest, int x, int y);
void PIX_PutPixel(PIX_IBitmap* dest, int x, int y, PIX_pixel color, float alpha, int mode);
