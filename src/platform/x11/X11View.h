// The X11 side of an open editor view: connection, window, output image, open text entry.
#pragma once

#include <X11/Xlib.h>

#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <string>

#include "graphics/IRECT.h"
#include "graphics/IText.h"
#include "pix/PIX_Bitmap.h"
#include "platform/x11/X11Input.h"
#include "platform/x11/X11Screen.h"
#include "platform/x11/X11Session.h"
#include "platform/x11/X11TextField.h"

class IControl;
class IParam;

// The own-drawn single-line field of a text entry, a child window over the
// control's rectangle.
struct X11TextEntry {
  Window win = 0;
  IControl* control = nullptr;
  IParam* param = nullptr;
  IText style;
  IRECT rect;  // editor pixels; the window covers them at the view's scale
  X11TextField field;
  PIX_MemBitmap bitmap;
  X11Screen out;
  int scroll = 0;  // pixels of text hidden on the left
  // What had the keyboard before the entry took it, and its revert mode.
  Window prevFocus = 0;
  int prevRevert = 0;
};

// Everything that exists only while the view is open. Owned by IGraphicsX11.
class X11View {
public:
  Display* dpy = nullptr;
  int screen = 0;
  Window root = 0, win = 0;
  bool topLevel = false;
  bool windowGone = false;    // destroyed under us (its parent went away)
  bool closePending = false;  // close request or window gone, handled outside event dispatch
  Visual* visual = nullptr;
  int depth = 0;
  Colormap colormap = 0;
  GC gc = nullptr;
  Atom wmProtocols = 0, wmDelete = 0;
  X11Screen out;
  float scale = 1.0f;  // window pixels per editor pixel: 1, 1.5 or 2
  // A length of the own-drawn menus, boxes, tooltips and field, laid out in
  // editor pixels, in window pixels: they are drawn at the window's scale
  // (fonts at the scaled size), never enlarged.
  int Px(int v) const { return (int)std::lround((float)v * scale); }
  X11DoubleClick dblClick;
  int prevX = 0, prevY = 0;  // last pointer position, editor pixels
  int cursorRootX = -1, cursorRootY = -1;
  std::unique_ptr<X11TextEntry> entry;
  // Tooltip: shown after the pointer rests over a control with a tooltip.
  Window tipWin = 0;
  double lastMotion = 0.0;  // seconds, steady clock
  bool pointerInside = false;
  // The open menu, message box or file prompt, which sees every event first.
  std::unique_ptr<X11Session> session;
};

// Seconds on the steady clock: the redraw timer and the tooltip delay.
inline double X11NowSeconds() {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

// Font drawing helpers shared by the own-drawn menus, fields and boxes.
namespace X11Draw {
// Width and height of text in the style's font (0, 0 when no font).
void Measure(IText* style, const char* str, int len, int* w, int* h);
// Draws text with its top-left corner at (x, y) in the style's colour.
void Text(PIX_IBitmap* bm, IText* style, const char* str, int x, int y);
void Fill(PIX_IBitmap* bm, int x, int y, int w, int h, int r, int g, int b);
}  // namespace X11Draw
