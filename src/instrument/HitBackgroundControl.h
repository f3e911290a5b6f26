// The editor's background: the panel image with the picture of the current hit drawn on it.
#pragma once

#include "graphics/IBitmapControl.h"
#include "graphics/IRECT.h"
#include "instrument/HitPicture.h"

// Draws the panel image and, in the strip above the knobs, the waveform of
// one hit of the current settings with its envelope. On each editor timer
// tick it compares the sound parameters with those of its picture; when one
// moved it renders the hit again (HitPicture, on this thread) and marks
// itself dirty, so that the tick's redraw shows the new picture.
//
// It stays the surface's background (index 0, no parameter), so the
// editor keeps its control entries. Threads: the editor's, as any control.
class HitBackgroundControl : public IBitmapControl {
public:
  // The strip the picture fills, in editor pixels, and its centre line.
  static constexpr int kLeft = 30, kRight = 452, kMid = 94, kAmplitude = 20;

  HitBackgroundControl(IPluginBase* pPlug, IBitmap* pBitmap);

  bool Draw(IGraphics* pGraphics) override;
  void OnGUIIdle() override;

  // Renders the picture afresh if a parameter moved since the last one;
  // true when it did. OnGUIIdle calls it.
  bool Update();
  const HitPicture& Picture() const { return mPicture; }

private:
  HitPicture mPicture;
};
