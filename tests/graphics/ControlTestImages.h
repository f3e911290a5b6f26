// Filmstrip images made in memory for control tests: each frame filled with a colour naming it.
#pragma once

#include <memory>

#include "graphics/IBitmap.h"
#include "graphics/IColor.h"
#include "pix/PIX_Bitmap.h"
#include "pix/PIX_Blit.h"

// Frame k (1-based) of a strip is filled opaquely with red = k, green = 200,
// blue = 7, so a pixel read back from the surface tells which frame was drawn.
inline IColor FrameColor(int k) { return IColor(255, k, 200, 7); }

struct TestStrip {
  std::unique_ptr<PIX_MemBitmap> pixels;
  IBitmap bitmap;

  TestStrip(int frameW, int frameH, int nFrames, bool horizontal = false) {
    const int w = horizontal ? frameW * nFrames : frameW;
    const int h = horizontal ? frameH : frameH * nFrames;
    pixels = std::make_unique<PIX_MemBitmap>(w, h);
    for (int k = 1; k <= nFrames; ++k) {
      const int x = horizontal ? (k - 1) * frameW : 0;
      const int y = horizontal ? 0 : (k - 1) * frameH;
      PIX_FillRect(pixels.get(), x, y, frameW, frameH, FrameColor(k).ToPixel(), 1.0f, PIX_BLIT_MODE_COPY);
    }
    bitmap = IBitmap(pixels.get(), w, h, nFrames, horizontal);
  }
};
