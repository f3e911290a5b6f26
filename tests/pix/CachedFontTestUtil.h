// Helpers for the text tests: a platform font, ink totals and ink bounds of a bitmap.
#pragma once

#include "pix/PIX_Blit.h"
#include "pix/gdi/GDI.h"

#include <algorithm>

namespace pixtextest {

inline HFONT MakeHFont(int height, int quality, int weight)
{
  return CreateFont(height, 0, 0, 0, weight, 0, 0, 0, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                    CLIP_DEFAULT_PRECIS, quality, DEFAULT_PITCH, "DejaVu Sans");
}

// Ink of dark text on white: the sum of (255 - red) over the bitmap.
inline long long Ink(PIX_IBitmap* bm)
{
  long long s = 0;
  for (int y = 0; y < bm->getHeight(); y++)
    for (int x = 0; x < bm->getWidth(); x++) s += 255 - PIX_R(PIX_GetPixel(bm, x, y));
  return s;
}

// Bounding box of pixels that are not opaque white; all zero when there are none.
inline RECT Bounds(PIX_IBitmap* bm)
{
  RECT r{bm->getWidth(), bm->getHeight(), 0, 0};
  for (int y = 0; y < bm->getHeight(); y++)
    for (int x = 0; x < bm->getWidth(); x++)
      if (PIX_GetPixel(bm, x, y) != PIX_RGBA(255, 255, 255, 255)) {
        r.left = std::min(r.left, x);
        r.top = std::min(r.top, y);
        r.right = std::max(r.right, x + 1);
        r.bottom = std::max(r.bottom, y + 1);
      }
  if (r.right == 0) r = RECT{0, 0, 0, 0};
  return r;
}

}  // namespace pixtextest
