// The X11 view's tooltips: an override-redirect window drawn at the view's scale.
#include "pix/gdi/GDI.h"
#include "graphics/IControl.h"

#include <X11/Xutil.h>

#include <algorithm>
#include <cstring>

#include "platform/x11/IGraphicsX11.h"
#include "platform/x11/X11ErrorTrap.h"
#include "platform/x11/X11View.h"

namespace {
constexpr double kTooltipDelay = 0.5;  // seconds the pointer rests before a tooltip shows
}

void IGraphicsX11::UpdateTooltips() {
  X11ErrorTrap::Scope trap;
  // The tooltip text is asked for when it shows; a shown one may be stale now.
  HideTooltip();
}

void IGraphicsX11::ShowTooltipIfDue() {
  if (!mView || mView->windowGone || mView->tipWin || mInModal || mView->entry || !TooltipsEnabled()) return;
  X11View& v = *mView;
  if (!v.pointerInside || X11NowSeconds() - v.lastMotion < kTooltipDelay) return;
  int idx = GetMouseOver();
  if (idx < 0) idx = GetMouseControlIdx(v.prevX, v.prevY, true);
  IControl* c = GetControl(idx);
  if (!c || c->IsHidden() || !c->GetTooltip()[0] || c->GetTargetRECT()->Empty()) return;
  // Drawn at the window's scale: the font at the scaled size, the margins
  // and the offset from the pointer scaled.
  IText style(v.Px(12), nullptr, "DejaVu Sans", IText::kStyleNormal, IText::kAlignNear);
  const char* tip = c->GetTooltip();
  int tw = 0, th = 0;
  X11Draw::Measure(&style, tip, (int)std::strlen(tip), &tw, &th);
  const int w = tw + v.Px(10), h = th + v.Px(6), border = std::max(1, v.Px(1));
  int rx = 0, ry = 0;
  Window child;
  XTranslateCoordinates(v.dpy, v.win, v.root, ToDraw(v.prevX), ToDraw(v.prevY), &rx, &ry, &child);
  XSetWindowAttributes swa;
  swa.override_redirect = True;
  swa.save_under = True;
  swa.event_mask = ExposureMask;
  swa.background_pixmap = None;
  swa.colormap = v.colormap;
  swa.border_pixel = 0;
  v.tipWin = XCreateWindow(v.dpy, v.root, rx + v.Px(12), ry + v.Px(18), (unsigned)w, (unsigned)h, 0, v.depth,
                           InputOutput, v.visual, CWOverrideRedirect | CWSaveUnder | CWEventMask | CWBackPixmap |
                           CWColormap | CWBorderPixel, &swa);
  PIX_MemBitmap bm(w, h);
  X11Draw::Fill(&bm, 0, 0, w, h, 80, 80, 80);
  X11Draw::Fill(&bm, border, border, w - 2 * border, h - 2 * border, 255, 255, 225);
  X11Draw::Text(&bm, &style, tip, v.Px(5), v.Px(3));
  X11Screen out;
  XMapRaised(v.dpy, v.tipWin);
  // Drawn once it is mapped; an override-redirect window keeps no contents
  // of its own, but nothing covers it while it is up.
  XSync(v.dpy, False);
  if (out.Create(v.dpy, v.visual, v.depth, w, h, false)) out.Put(v.tipWin, v.gc, &bm, 0, 0, w, h);
  XFlush(v.dpy);
}

void IGraphicsX11::HideTooltip() {
  if (!mView || !mView->tipWin) return;
  XDestroyWindow(mView->dpy, mView->tipWin);
  mView->tipWin = 0;
}
