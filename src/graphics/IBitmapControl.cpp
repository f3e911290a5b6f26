// IBitmapControl and IPanelControl drawing, and the filmstrip frame rule.
#include "graphics/IBitmapControl.h"

#include "graphics/IGraphics.h"
#include "graphics/IPanelControl.h"

int FilmstripFrame(double value, int nFrames) {
  if (nFrames <= 1) return 1;
  // A NaN value cannot come from the clamped control value; it shows frame 1.
  if (!(value == value)) return 1;
  const double f = 0.5 + value * (double)(nFrames - 1);
  if (f < 0.0) return 1;
  if (f >= (double)nFrames) return nFrames;
  const int frame = 1 + (int)f;
  return frame > nFrames ? nFrames : frame;
}

IRECT FrameRECT(int x, int y, const IBitmap* pBitmap) {
  if (!pBitmap) return IRECT(x, y, x, y);
  return IRECT(x, y, x + pBitmap->FrameWidth(), y + pBitmap->FrameHeight());
}

IBitmapControl::IBitmapControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                               IChannelBlend::EBlendMethod blendMethod)
    : IControl(pPlug, nullptr, paramIdx, blendMethod), mBitmap(pBitmap ? *pBitmap : IBitmap()) {
  mRECT = mTargetRECT = FrameRECT(x, y, &mBitmap);
}

bool IBitmapControl::Draw(IGraphics* pGraphics) {
  const int frame = FilmstripFrame(mValue, mBitmap.N);
  return pGraphics->DrawBitmap(&mBitmap, &mRECT, frame, &mBlend);
}

bool IPanelControl::Draw(IGraphics* pGraphics) { return pGraphics->FillIRect(&mColor, &mRECT, &mBlend); }
