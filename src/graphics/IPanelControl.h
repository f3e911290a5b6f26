// A rectangle filled with one colour (plain backgrounds and panels).
#pragma once

#include "graphics/IColor.h"
#include "graphics/IControl.h"

// No parameter; draws its rectangle in its colour with its blend.
class IPanelControl : public IControl {
public:
  IPanelControl(IPluginBase* pPlug, IRECT* pR, const IColor* pColor)
      : IControl(pPlug, pR), mColor(pColor ? *pColor : COLOR_BLACK) {}

  bool Draw(IGraphics* pGraphics) override;
  const IColor& GetColor() const { return mColor; }

protected:
  IColor mColor;
};
