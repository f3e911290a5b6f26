// Handle to a cached, decoded skin image used as a filmstrip of N frames.
#pragma once

class PIX_IBitmap;

// Copied by value into every control that draws the image; it never owns or
// copies pixels. The pixels belong to the process-wide bitmap cache of
// IGraphics and live as long as the process (run-time images until released).
struct IBitmap {
  PIX_IBitmap* mData = nullptr;
  int W = 0, H = 0;  // the whole image
  int N = 1;         // frames in the strip
  bool mFramesAreHorizontal = false;

  IBitmap() = default;
  IBitmap(PIX_IBitmap* pData, int w, int h, int n = 1, bool framesAreHorizontal = false)
      : mData(pData), W(w), H(h), N(n), mFramesAreHorizontal(framesAreHorizontal) {}

  int FrameWidth() const { return mFramesAreHorizontal && N > 0 ? W / N : W; }
  int FrameHeight() const { return !mFramesAreHorizontal && N > 0 ? H / N : H; }
};
