// Internal: a bitmap seen as rows top-down, whatever its storage order.
#pragma once

#include <cstddef>

#include "pix/PIX_Bitmap.h"

struct PIX_View
{
  PIX_pixel* top = nullptr;  // row 0 (the top row)
  ptrdiff_t step = 0;        // pixels from one row to the next one down
  int w = 0, h = 0;

  PIX_pixel* row(int y) const { return top + step * y; }

  // False when the bitmap is missing, empty or has no pixels.
  bool from(PIX_IBitmap* bm)
  {
    if (!bm) return false;
    PIX_pixel* bits = bm->getBits();
    w = bm->getWidth();
    h = bm->getHeight();
    if (!bits || w <= 0 || h <= 0) return false;
    const ptrdiff_t span = bm->getRowSpan();
    if (bm->isFlipped())
    {
      top = bits + span * (h - 1);
      step = -span;
    }
    else
    {
      top = bits;
      step = span;
    }
    return true;
  }
};
