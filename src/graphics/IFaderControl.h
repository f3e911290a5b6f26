// A fader: a handle image moved along a straight track by clicks, drags and the wheel.
#pragma once

#include "graphics/IBitmap.h"
#include "graphics/IControl.h"

// The track is `len` pixels long from (x, y), as wide as the handle. The
// handle's position follows the value (bottom = 0 for vertical faders, left
// = 0 for horizontal ones). A left click or any drag puts the handle centre
// under the mouse; a right click prompts; the wheel moves as a knob's. With
// onlyHandle the control is hit only on the handle.
class IFaderControl : public IControl {
public:
  IFaderControl(IPluginBase* pPlug, int x, int y, int len, int paramIdx, IBitmap* pBitmap,
                EDirection direction = kVertical, bool onlyHandle = false);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDrag(int x, int y, int dX, int dY, IMouseMod* pMod) override;
  void OnMouseWheel(int x, int y, IMouseMod* pMod, int d) override;
  bool Draw(IGraphics* pGraphics) override;
  bool IsHit(int x, int y) override;
  // Sets the value from a mouse position on the track.
  virtual void SnapToMouse(int x, int y);

  int GetLength() const { return mLen; }
  // Where the handle is drawn for a value (the current one when below 0).
  IRECT GetHandleRECT(double value = -1.0) const;

protected:
  int mLen, mHandleHeadroom;
  IBitmap mBitmap;
  EDirection mDirection;
  bool mOnlyHandle;
};
