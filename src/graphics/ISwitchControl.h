// Switches: stepping and momentary buttons, prompt and frame-area switches, overlays, radio buttons.
#pragma once

#include <vector>

#include "graphics/IBitmapControl.h"

// Each mouse-down (left or right button) steps the value by 1 / (N - 1) for a
// strip of N >= 2 frames (1.0 otherwise) and wraps to 0.0 past 1.001: a
// two-frame switch toggles 0 and 1, a three-frame one steps 0, 0.5, 1, 0.
// A double click is one more step. Every step goes to the plug-in.
class ISwitchControl : public IBitmapControl {
public:
  ISwitchControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                 IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone)
      : IBitmapControl(pPlug, x, y, paramIdx, pBitmap, blendMethod) {}

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  void OnMouseDblClick(int x, int y, IMouseMod* pMod) override { OnMouseDown(x, y, pMod); }
};

// A momentary button: pressed as a switch (0 becomes 1 on a two-frame image),
// back to 0.0 on mouse-up, so the parameter sees 1.0 on press and 0.0 on
// release and the pressed frame shows only while the button is held.
class IContactControl : public ISwitchControl {
public:
  IContactControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap)
      : ISwitchControl(pPlug, x, y, paramIdx, pBitmap, IChannelBlend::kBlendNone) {}

  void OnMouseUp(int x, int y, IMouseMod* pMod) override;
};

// A switch whose click opens the parameter's prompt (a menu of its display
// texts or a text field) instead of stepping.
class ISwitchPopUpControl : public ISwitchControl {
public:
  ISwitchPopUpControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                      IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
};

// A switch whose rectangle is cut into one area per frame (side by side when
// imagesAreHorizontal, stacked otherwise); a click on area i selects
// value i / (N - 1) and the image shows the matching frame.
class ISwitchFramesControl : public ISwitchControl {
public:
  ISwitchFramesControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap,
                       bool imagesAreHorizontal = false,
                       IChannelBlend::EBlendMethod blendMethod = IChannelBlend::kBlendNone);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  const std::vector<IRECT>& GetAreas() const { return mRECTs; }

private:
  std::vector<IRECT> mRECTs;
};

// A switch image shown over other controls from value 0.5 on. While hidden
// (below 0.5) it draws nothing and is hit only in its target area, the place
// that opens it; while shown it is hit in its own rectangle.
class IBitmapOverlayControl : public ISwitchControl {
public:
  IBitmapOverlayControl(IPluginBase* pPlug, int x, int y, int paramIdx, IBitmap* pBitmap, IRECT* pTargetArea);
  IBitmapOverlayControl(IPluginBase* pPlug, int x, int y, IBitmap* pBitmap, IRECT* pTargetArea)
      : IBitmapOverlayControl(pPlug, x, y, -1, pBitmap, pTargetArea) {}

  bool Draw(IGraphics* pGraphics) override;
  bool IsHit(int x, int y) override;

private:
  IRECT mTargetArea;
};

// Draws nothing; a click toggles the value (1.0 below 0.5, else 0.0).
class IInvisibleSwitchControl : public IControl {
public:
  IInvisibleSwitchControl(IPluginBase* pPlug, IRECT* pR, int paramIdx) : IControl(pPlug, pR, paramIdx) {}

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override { (void)pGraphics; return true; }
};

// nButtons buttons of one frame's size, spread evenly along the direction
// over the rectangle (the first at its start, the last at its end; reversed
// when asked). A left click on button i selects value i / (count - 1); a
// right click prompts. The selected button, int(0.5 + value * (count - 1)),
// shows frame 2 and the others frame 1.
class IRadioButtonsControl : public IControl {
public:
  IRadioButtonsControl(IPluginBase* pPlug, IRECT* pR, int paramIdx, int nButtons, IBitmap* pBitmap,
                       EDirection direction = kVertical, bool reverse = false);

  void OnMouseDown(int x, int y, IMouseMod* pMod) override;
  bool Draw(IGraphics* pGraphics) override;
  const std::vector<IRECT>& GetButtons() const { return mRECTs; }
  // The button drawn as selected for the current value.
  int SelectedButton() const;

private:
  std::vector<IRECT> mRECTs;
  IBitmap mBitmap;
};
