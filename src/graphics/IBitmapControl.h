// A control that shows one frame of a filmstrip image chosen by its value.
#pragma once

#include "graphics/IBitmap.h"
#include "graphics/IControl.h"

// Frame selection shared by the filmstrip controls: with N > 1 frames,
// 1 + int(0.5 + value * (N - 1)) limited to 1..N, so 0.0 shows the first
// frame, 1.0 the last and values between round to the nearest; one frame
// (or none) gives frame 1.
int FilmstripFrame(double value, int nFrames);

// The rectangle of a control placed at (x, y) showing one frame of the image.
// Frames stacked vertically give (x, y, x + W, y + H / N); side by side
// (x, y, x + W / N, y + H), so that a control never spans several frames.
IRECT FrameRECT(int x, int y, const IBitmap* pBitmap);

// Draws the frame matching its value into its rectangle with its blend. The
// background of an editor is one of these with one frame and no parameter.
// Lifecycle and threads as IControl.
class IBitmapControl : public IControl {
public:
  IBitmapControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);
  IBitmapControl(IPluginBase* pPlug, int x, int y, IBitmap* pBitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone)
      : IBitmapControl(pPlug, x, y, -1, pBitmap, blendMethod) {}

  bool Draw(IGraphics* pGraphics) override;
  const IBitmap& GetBitmap() const { return mBitmap; }

protected:
  IBitmap mBitmap;
};
