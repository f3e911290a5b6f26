// A bitmap control that shows the frame of its value and ignores the mouse (the trigger LED).
#pragma once

#include "graphics/IBitmapControl.h"

// Drawing and values as IBitmapControl; every mouse handler does nothing, so
// a click never changes the bound parameter. Lifecycle and threads as IControl.
class INonClickable : public IBitmapControl {
public:
  INonClickable(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                IChannelBlend::EBlendMethod blendMethod)
      : IBitmapControl(pPlug, x, y, paramIdx, pBitmap, blendMethod) {}

  void OnMouseDown(int, int, IMouseMod*) override {}
  void OnMouseUp(int, int, IMouseMod*) override {}
  void OnMouseDrag(int, int, int, int, IMouseMod*) override {}
  void OnMouseDblClick(int, int, IMouseMod*) override {}
  void OnMouseWheel(int, int, IMouseMod*, int) override {}
};
