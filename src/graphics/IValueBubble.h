// A small box beside a control that shows its parameter's name and value while it is dragged or pointed at.
#pragma once

#include <functional>
#include <string>

#include "graphics/IColor.h"
#include "graphics/IRECT.h"
#include "graphics/IText.h"

class IControl;
class IGraphics;

// The graphics core draws the bubble over every control, so it is not one of
// them (the control list stays the layout's). What it says comes from the
// plug-in, which alone knows what its values mean: a text function turns a
// parameter index and its normalised value into the line shown.
//
// Geometry comes from the style the layout hands over (text size, padding,
// gap to the control, corner), so a scaled layout scales the bubble too.
//
// Threads: the editor's thread only.
class IValueBubble {
public:
  struct Style {
    IText text;
    IColor fill;
    IColor border;
    int padding = 0;  // between the text and the box's edge
    int gap = 0;      // between the control and the box
    int corner = 0;   // corner radius
  };
  using TextFunc = std::function<std::string(int paramIdx, double normalizedValue)>;

  // Without a text function the bubble never shows.
  void Enable(const Style& style, TextFunc text);
  bool Enabled() const { return static_cast<bool>(mTextFunc); }

  // Shows the bubble for pControl (when it has a parameter) or hides it
  // (null); Refresh re-reads the value of the control followed. Both lay the
  // box out in pGraphics and return the area to repaint (empty: no change).
  IRECT Follow(IGraphics* pGraphics, IControl* pControl);
  IRECT Refresh(IGraphics* pGraphics);

  bool Visible() const { return mControl != nullptr; }
  IControl* Followed() const { return mControl; }
  const std::string& Text() const { return mShown; }
  const IRECT& Rect() const { return mRect; }

  void Draw(IGraphics* pGraphics);

private:
  IRECT Layout(IGraphics* pGraphics, const std::string& text);

  Style mStyle;
  TextFunc mTextFunc;
  IControl* mControl = nullptr;
  std::string mShown;
  IRECT mRect;
};
